// Rule texts come from store files and from what users type: every scan over an arbitrary
// text ends, and an element merged into a text is found there again.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "controls/memory_list_view.h"
#include "filters/compiled_rule.h"
#include "filters/rule_explain.h"
#include "filters/rule_text.h"
#include "store/node_tree.h"

using namespace korvo;

namespace {

bool PlainName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // Line 1: an element name; line 2: a value; the rest: a rule text.
    const size_t nl1 = input.find('\n');
    const size_t nl2 = nl1 == std::string::npos ? std::string::npos : input.find('\n', nl1 + 1);
    const std::string name = input.substr(0, nl1);
    const std::string value =
        nl1 == std::string::npos ? std::string() : input.substr(nl1 + 1, nl2 - nl1 - 1);
    const std::string text = nl2 == std::string::npos ? std::string() : input.substr(nl2 + 1);

    FindElement(text, name);
    OuterTag(text);
    // Walking the elements shortens the rest every time.
    std::string rest = text;
    for (NextElementResult e = NextElement(rest); e.found; e = NextElement(rest)) {
        if (e.rest.size() >= rest.size()) abort();
        rest = e.rest;
    }
    MergeElement(text, value);
    RuleWithoutElement(text, kConditionTag, name);

    if (PlainName(name)) {
        const std::string encoded = EncodeRuleValue(value);
        if (encoded.find_first_of("<>") != std::string::npos) abort();
        const std::string inner = "Value =" + encoded;
        const std::string element = "<" + name + ">" + inner + "</" + name + ">";
        // A text that holds one such element, or no tag of that name, has the element findable
        // after the merge.
        const bool noTag = text.find("<" + name + ">") == std::string::npos &&
                           text.find("</" + name + ">") == std::string::npos;
        if (FindElement(text, name).found || noTag) {
            const FoundElement after = FindElement(MergeElement(text, element), name);
            if (!after.found || after.value != inner) abort();
            if (ReadRuleItem(after.value, "Value") != value) abort();
        }
    }

    auto root = CreateRootNode();
    baseDataStruct* node = AddSonText(root.get(), "type =FilterInfo");
    setinfo(node, kThisNode, "SDATA", text);
    CompileRule(node, nullptr);
    const auto bytes = getdata(node, "STRDATA");
    if (!bytes || !ParseCompiledRule(*bytes)) abort();
    ParseCompiledRule(input);
    MemoryListView view;
    CBaseListControl list(view);
    ExplainRule(node, list);
    return 0;
}
