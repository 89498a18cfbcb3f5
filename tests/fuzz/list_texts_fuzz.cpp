// Column specs, row texts and packed rows come from views and from letters' stored column
// blocks, which may be damaged: every one of them must stay inside its bytes and leave the
// list consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "controls/column_spec.h"
#include "controls/list_control.h"
#include "controls/memory_list_view.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Lines: a column spec, a modification, row texts; the rest is a packed row. The packed part
    // is copied into a buffer of its exact size so any read past it is caught.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    std::string_view rest = input;
    for (std::string_view& part : parts) {
        const size_t nl = rest.find('\n');
        part = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    }
    const std::unique_ptr<char[]> packed(new char[rest.size()]);
    if (!rest.empty()) std::memcpy(packed.get(), rest.data(), rest.size());

    MemoryListView view;
    CBaseListControl list(view);
    list.Reset(parts[0]);
    list.ModifyColumns(parts[1]);
    for (int c = 0; c < view.ColumnCount(); ++c) {
        if (view.ColumnWidth(c) < 0 || view.ColumnWidth(c) > kMaxColumnWidth) std::abort();
    }
    list.InsertRow(parts[2], 1);
    list.InsertPackedRow(std::string_view(packed.get(), rest.size()), 2, 0);
    if (view.RowCount() != 2 || list.rowCount() != 2) std::abort();

    // Packing what was unpacked gives the same cells back.
    const auto cells = UnpackCells(std::string_view(packed.get(), rest.size()));
    if (UnpackCells(PackCells(cells)) != cells) std::abort();

    list.SortByColumn(0);
    list.SortByColumn(0);
    list.FindColumn(parts[1]);
    list.DeleteColumns(parts[1]);
    return 0;
}
