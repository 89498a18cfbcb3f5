// Letters arrive from anyone: the walk, the classification and the list columns must finish
// on any text, stay inside it and keep their promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "content/letter_node.h"
#include "content/mime_walk.h"
#include "store/node_tree.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string storage;
    const std::string_view seen = WithCrLfLineEnds(text, storage);

    auto root = CreateRootNode();
    baseDataStruct* view = AddSonText(root.get(), "type =view");
    mailProcess(text, view, false);
    for (const baseDataStruct* son = view->firstSon(); son; son = son->nextBrother()) {
        const std::string type = getinfo(son, kThisNode, "type");
        if (type == "-1") abort();
        // Raw parts are cut out of the letter, never made up.
        if (type != "text" && seen.find(getdata(son, "SDATA").value_or("")) == std::string::npos)
            abort();
    }

    const int kind = mailTestAttachment(text);
    if (kind < 0 || kind > 2) abort();

    baseDataStruct* letter = AddSonText(root.get(), "type =letter ,mailLong =1 ,read =1");
    setinfo(letter, kThisNode, "SDATA", text);
    mailInitProperty(letter, nullptr);
    const auto block = getdata(letter, "STRDATA");
    if (!block || block->size() != kColumnBlockSize) abort();
    const bool multipart = teststate(letter, STATE_MAIL_MULTIPART);
    if ((kind != 0) != multipart) abort();
    const auto columns = ReadColumnBlock(*block);
    if (!columns.empty() && (columns.size() != 6 || !columns[0].empty())) abort();
    if (columns.empty() == (getinfo(letter, kThisNode, "ColumnData") == "-1")) abort();
    return 0;
}
