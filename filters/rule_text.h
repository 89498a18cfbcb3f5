// The rule text of a filter rule and the five operations through which everything reads and
// changes it.
//
// A rule text is "<Condition>...</Condition><Action>...</Action>": elements "<Name>inner</Name>"
// found by plain, case-sensitive substring search for the exact tags. No attributes, no entity
// references, and an element never holds another of the same name. The inner text of an
// element is a list of items "key =value" joined by " ," (keys OP, Value, Marco, State).
//
// Values inside element texts are escaped (EncodeRuleValue): "%" becomes "%25", "<" "%3C" and
// ">" "%3E", and then the property-text escape puts a backslash before "=", ":", "," and "-".
// So a value may hold " ,", " =", tags and backslashes and still read back whole
// (ReadRuleItem). A text written without escaping reads the same as long as its values hold
// none of "<", ">", "\" and the three-character sequences "%25", "%3C", "%3E".
//
// Every operation has no state, never fails and ends on any input; "-1" stands for not found.
#pragma once

#include <string>
#include <string_view>

namespace korvo {

inline constexpr std::string_view kConditionTag = "<Condition>";
inline constexpr std::string_view kActionTag = "<Action>";

struct FoundElement {
    bool found = false;
    std::string value;   // the inner text, "-1" when not found
    std::string before;  // the text before the opening tag (the whole text when not found)
    std::string after;   // the text after the closing tag
};

// The element called `name` ("Subject" or "<Subject>"): from the first opening tag to the first
// closing tag of the whole text; a closing tag before the opening one means not found.
FoundElement FindElement(std::string_view text, std::string_view name);

struct ExtractedElement {
    bool found = false;
    std::string value;  // "-1" when not found
    std::string rest;   // the text without the element (the whole text when not found)
};
ExtractedElement ExtractElement(std::string_view text, std::string_view name);

struct NextElementResult {
    bool found = false;
    std::string name;   // "-1" when not found
    std::string value;  // "-1" when not found
    std::string rest;
};
// The element whose opening tag is the text's first "<...>".
NextElementResult NextElement(std::string_view text);

// "<Name>" when the whole text is one element "<Name>...</Name>", else empty.
std::string OuterTag(std::string_view text);

// Puts `element` (possibly with nested elements) into `base`: an element already there keeps
// its place and gets the merged inner text, a new one is appended; a text that is no element
// replaces the base.
std::string MergeElement(std::string_view base, std::string_view element);

// The rule text rebuilt without the element `name` of one part (`part` kConditionTag or
// kActionTag): "<Condition>" conditions "</Condition><Action>" actions "</Action>". A missing
// part is written empty.
std::string RuleWithoutElement(std::string_view rule, std::string_view part, std::string_view name);

// "<part>element</part>" merged into the rule.
std::string MergeIntoPart(std::string_view rule, std::string_view part, std::string_view element);

// The inner text of one part ("-1" when the part is missing).
std::string PartText(std::string_view rule, std::string_view part);
// The inner text of element `name` in `part` of the rule ("-1" when either is missing).
std::string PartElement(std::string_view rule, std::string_view part, std::string_view name);

// Values in element texts.
std::string EncodeRuleValue(std::string_view value);
// An item of an element's inner text, unescaped; "-1" when absent.
std::string ReadRuleItem(std::string_view inner, std::string_view key);

}  // namespace korvo
