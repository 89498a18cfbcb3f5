#include "filters/rule_text.h"

#include "store/node.h"

namespace korvo {
namespace {

// One leading "<" and one trailing ">" are taken off a name.
std::string_view BareName(std::string_view name) {
    if (!name.empty() && name.front() == '<') name.remove_prefix(1);
    if (!name.empty() && name.back() == '>') name.remove_suffix(1);
    return name;
}

std::string ClosingTag(std::string_view bare) {
    return "</" + std::string(bare) + ">";
}

}  // namespace

FoundElement FindElement(std::string_view text, std::string_view name) {
    FoundElement result;
    result.value = std::string(kAbsent);
    result.before = std::string(text);
    if (text.empty() || name.empty()) return result;
    const std::string_view bare = BareName(name);
    const std::string open = "<" + std::string(bare) + ">";
    const std::string close = ClosingTag(bare);
    const size_t o = text.find(open);
    const size_t k = text.find(close);
    if (o == std::string_view::npos || k == std::string_view::npos || k < o + open.size()) {
        // A closing tag overlapping the opening one counts as one before it.
        return result;
    }
    result.found = true;
    result.value = std::string(text.substr(o + open.size(), k - o - open.size()));
    result.before = std::string(text.substr(0, o));
    result.after = std::string(text.substr(k + close.size()));
    return result;
}

ExtractedElement ExtractElement(std::string_view text, std::string_view name) {
    FoundElement found = FindElement(text, name);
    ExtractedElement result;
    result.found = found.found;
    result.value = std::move(found.value);
    result.rest = found.found ? found.before + found.after : std::string(text);
    return result;
}

NextElementResult NextElement(std::string_view text) {
    NextElementResult result;
    result.name = std::string(kAbsent);
    result.value = std::string(kAbsent);
    result.rest = std::string(text);
    const size_t lt = text.find('<');
    const size_t gt = text.find('>');
    if (text.empty() || lt == std::string_view::npos || gt == std::string_view::npos || gt <= lt)
        return result;
    const std::string_view name = text.substr(lt + 1, gt - lt - 1);
    ExtractedElement element = ExtractElement(text, name);
    if (!element.found) return result;
    result.found = true;
    result.name = std::string(BareName(name));
    result.value = std::move(element.value);
    result.rest = std::move(element.rest);
    return result;
}

std::string OuterTag(std::string_view text) {
    if (text.empty() || text.front() != '<') return {};
    const size_t gt = text.find('>');
    if (gt == std::string_view::npos) return {};
    const std::string_view tag = text.substr(0, gt + 1);
    const std::string close = "</" + std::string(tag.substr(1));
    const size_t k = text.find(close);
    // The tag "<>" would find its own closing "</>" inside itself; it needs room for both.
    if (k == std::string_view::npos || k < tag.size() || k + close.size() != text.size()) return {};
    return std::string(tag);
}

std::string MergeElement(std::string_view base, std::string_view element) {
    // Each level of nesting strips one pair of tags, so the recursion ends.
    const std::string tag = OuterTag(element);
    if (tag.empty()) return std::string(element);
    const FoundElement found = FindElement(base, tag);
    if (!found.found) return std::string(base) + std::string(element);
    const std::string inner = ExtractElement(element, tag).value;
    const std::string merged = MergeElement(found.value, inner);
    return found.before + tag + merged + ClosingTag(BareName(tag)) + found.after;
}

std::string PartText(std::string_view rule, std::string_view part) {
    return ExtractElement(rule, part).value;
}

std::string PartElement(std::string_view rule, std::string_view part, std::string_view name) {
    const ExtractedElement p = ExtractElement(rule, part);
    if (!p.found) return std::string(kAbsent);
    return ExtractElement(p.value, name).value;
}

std::string RuleWithoutElement(std::string_view rule, std::string_view part,
                               std::string_view name) {
    auto inner = [&](std::string_view which) {
        const ExtractedElement p = ExtractElement(rule, which);
        if (!p.found) return std::string();
        return which == part ? ExtractElement(p.value, name).rest : p.value;
    };
    return std::string(kConditionTag) + inner(kConditionTag) + "</Condition>" +
           std::string(kActionTag) + inner(kActionTag) + "</Action>";
}

std::string MergeIntoPart(std::string_view rule, std::string_view part, std::string_view element) {
    const std::string_view bare = BareName(part);
    return MergeElement(rule,
                        "<" + std::string(bare) + ">" + std::string(element) + ClosingTag(bare));
}

std::string EncodeRuleValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '<':
                out += "%3C";
                break;
            case '>':
                out += "%3E";
                break;
            default:
                out += c;
        }
    }
    return encodeinfo(out);
}

std::string ReadRuleItem(std::string_view inner, std::string_view key) {
    const std::string raw = getinfofromtext(inner, key);
    if (raw == kAbsent) return raw;
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size()) {
            const std::string_view code = std::string_view(raw).substr(i + 1, 2);
            const char c = code == "25" ? '%' : code == "3C" ? '<' : code == "3E" ? '>' : 0;
            if (c) {
                out += c;
                i += 2;
                continue;
            }
        }
        out += raw[i];
    }
    return out;
}

}  // namespace korvo
