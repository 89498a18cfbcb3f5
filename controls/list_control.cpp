#include "controls/list_control.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "controls/column_spec.h"
#include "store/node.h"

namespace korvo {
namespace {

constexpr std::string_view kItemSep = " ,";
constexpr std::string_view kRenameSep = " -";

// Header texts longer than this are never looked up.
constexpr size_t kMaxHeaderName = 999;

}  // namespace

void CBaseListControl::InsertColumns(std::string_view spec) {
    for (std::string_view text : SplitText(spec, kItemSep)) {
        if (text.empty()) continue;  // stray separators add no columns
        const ColumnItem item = ParseColumnItem(text);
        view_.InsertColumn(view_.ColumnCount(), item.title, item.width, item.align);
    }
    columnCount_ = view_.ColumnCount();
}

void CBaseListControl::ModifyColumns(std::string_view spec) {
    for (std::string_view text : SplitText(spec, kItemSep)) {
        const size_t sep = text.find(kRenameSep);
        if (sep == std::string_view::npos) continue;
        const int column = FindColumn(decodeinfo(text.substr(0, sep)));
        if (column < 0) continue;
        const ColumnItem item = ParseColumnItem(text.substr(sep + kRenameSep.size()));
        view_.SetColumnTitle(column, item.title);
        if (item.hasWidth) view_.SetColumnWidth(column, item.width);
        if (item.hasAlign) view_.SetColumnAlignment(column, item.align);
    }
}

void CBaseListControl::DeleteColumns(std::string_view spec) {
    if (spec == "-1") {
        for (int c = view_.ColumnCount() - 1; c >= 0; --c) view_.DeleteColumn(c);
        columnCount_ = 0;
        return;
    }
    for (std::string_view name : SplitText(spec, ",")) {
        const int column = FindColumn(name);
        if (column >= 0) view_.DeleteColumn(column);
    }
    columnCount_ = view_.ColumnCount();
}

int CBaseListControl::FindColumn(std::string_view name) const {
    if (name.size() > kMaxHeaderName) return -1;
    const int count = view_.ColumnCount();
    for (int c = 0; c < count; ++c) {
        if (view_.ColumnTitle(c) == name) return c;
    }
    return -1;
}

int CBaseListControl::PrepareRow(uint32_t itemData, int position, int image, int stateImage) {
    const int count = view_.RowCount();
    if (position < 0 || position > count) position = count;
    const int row =
        view_.InsertRow(position, itemData, std::max(image, 0), std::max(stateImage, 0));
    rowCount_ = view_.RowCount();
    return row;
}

int CBaseListControl::InsertRow(std::string_view texts, uint32_t itemData, int position, int image,
                                int stateImage) {
    const int row = PrepareRow(itemData, position, image, stateImage);
    if (row >= 0) SetRowTexts(texts, row, image, stateImage);
    return row;
}

void CBaseListControl::SetRowTexts(std::string_view texts, int row, int image, int stateImage) {
    if (row < 0 || row >= view_.RowCount()) return;
    view_.SetRowImage(row, std::max(image, 0));
    view_.SetRowStateImage(row, std::max(stateImage, 0));
    const int columns = view_.ColumnCount();
    for (const RowPiece& piece : ParseRowTexts(texts)) {
        if (piece.column >= 0 && piece.column < columns) {
            view_.SetCellText(row, static_cast<int>(piece.column), piece.text);
        }
    }
}

int CBaseListControl::InsertPackedRow(std::string_view packed, uint32_t itemData, int position,
                                      int image, int stateImage) {
    const int row = PrepareRow(itemData, position, image, stateImage);
    if (row < 0) return row;
    const std::vector<std::string> cells = UnpackCells(packed);
    const int columns = std::min(static_cast<int>(cells.size()), view_.ColumnCount());
    for (int c = 0; c < columns; ++c) view_.SetCellText(row, c, cells[static_cast<size_t>(c)]);
    view_.SetRowSelected(row, true);
    view_.SetRowDropHighlighted(row, true);
    return row;
}

int CBaseListControl::HitTest(ViewPoint point) {
    const ListHit hit = view_.HitTest(point);
    lastHit_ = ListHitRecord{};
    lastHit_.row = hit.row;
    if (hit.row >= 0) {
        lastHit_.itemData = view_.ItemData(hit.row);
        lastHit_.subItem = hit.subItem;
        lastHit_.onIcon = hit.onIcon;
        lastHit_.onLabel = hit.onLabel;
        lastHit_.onStateImage = hit.onStateImage;
    }
    return hit.row;
}

void CBaseListControl::SortByColumn(int column) {
    const int columns = view_.ColumnCount();
    int sorted = -1;
    int counter = 0;
    for (int c = 0; c < columns; ++c) {
        if (c == column) {
            const int next = view_.HeaderSortCounter(c) % 2 + 1;
            view_.SetHeaderSortCounter(c, next);
            view_.SetHeaderImage(c, next % 2);
        } else {
            view_.SetHeaderSortCounter(c, 0);
            view_.SetHeaderImage(c, 2);
        }
        if (sorted < 0 && view_.HeaderSortCounter(c) > 0) {
            sorted = c;
            counter = view_.HeaderSortCounter(c);
        }
    }
    if (sorted < 0) return;  // every pair compares equal: the order stays

    const int rows = view_.RowCount();
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) keys.push_back(view_.CellText(r, sorted));
    std::vector<int> order(static_cast<size_t>(rows));
    std::iota(order.begin(), order.end(), 0);
    const bool descending = counter == 2;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = CompareCells(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)]);
        return descending ? c > 0 : c < 0;
    });
    view_.ReorderRows(order);
}

void CBaseListControl::Reset(std::string_view spec) {
    view_.DeleteAllRows();
    rowCount_ = 0;
    DeleteColumns("-1");
    view_.SetReportStyle();
    InsertColumns(spec);
    for (int c = 0; c < columnCount_; ++c) view_.SetHeaderImage(c, 2);
    SortByColumn(-1);
}

}  // namespace korvo
