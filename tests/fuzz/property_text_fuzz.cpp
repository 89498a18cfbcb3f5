// Property texts come from store files, which may be damaged: every read and write over an
// arbitrary text must stay inside it and keep the grammar's promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/node.h"
#include "store/node_tree.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The first line is a key, the rest a property text.
    const size_t nl = input.find('\n');
    const std::string key = nl == std::string::npos ? input : input.substr(0, nl);
    const std::string text = nl == std::string::npos ? std::string() : input.substr(nl + 1);

    auto root = CreateRootNode();
    baseDataStruct* node = AddSonText(root.get(), text);
    getinfo(node, kThisNode, key);
    getinfofromtext(text, key);
    TextToLong(text);

    // Whatever the text around it, a value written under an ordinary key reads back whole:
    // the first "key =" keeps its place and an escaped value never holds " ,".
    const bool special =
        key == "LockState" || key == "SDATA" || key == "PROPERTY" || key == "sumSon";
    if (!key.empty() && !special && key.find(" =") == std::string::npos &&
        key.find(" ,") == std::string::npos) {
        if (setinfo(node, kThisNode, key, text) != 0) abort();
        if (getinfo(node, kThisNode, key) != text) abort();
    }
    if (decodeinfo(encodeinfo(text)) != text) abort();
    return 0;
}
