#include "filters/compiled_rule.h"

#include <cstdint>
#include <cstdio>

#include "filters/rule_tables.h"
#include "filters/rule_text.h"

namespace korvo {
namespace {

constexpr std::string_view kMagic = "KFR";

void PutText(std::string& out, std::string_view text) {
    const uint32_t n = static_cast<uint32_t>(text.size());
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((n >> shift) & 0xFF);
    out += text;
}

class Reader {
  public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    bool Byte(bool* flag) {
        if (rest_.empty() || static_cast<unsigned char>(rest_[0]) > 1) return false;
        *flag = rest_[0] == 1;
        rest_.remove_prefix(1);
        return true;
    }
    bool Text(std::string* text) {
        if (rest_.size() < 4) return false;
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(rest_[i]);
        rest_.remove_prefix(4);
        if (n > rest_.size()) return false;
        text->assign(rest_.substr(0, n));
        rest_.remove_prefix(n);
        return true;
    }
    bool done() const { return rest_.empty(); }

  private:
    std::string_view rest_;
};

void Store(baseDataStruct* node, const CompiledRule& rule) {
    setdata(node, SerializeCompiledRule(rule));
}

}  // namespace

std::string SerializeCompiledRule(const CompiledRule& rule) {
    std::string out(kMagic);
    out += static_cast<char>(kCompiledRuleVersion);
    out += static_cast<char>(rule.incomplete);
    out += static_cast<char>(rule.allConditions);
    for (const std::string& code : rule.fields) PutText(out, code);
    for (bool flag : {rule.haveAttachment, rule.deleteAtOnce, rule.doNothing, rule.autoHide,
                      rule.deleteAfter, rule.message, rule.playIcon})
        out += static_cast<char>(flag);
    for (const std::string& code : rule.actions) PutText(out, code);
    return out;
}

std::optional<CompiledRule> ParseCompiledRule(std::string_view bytes) {
    if (bytes.size() < kMagic.size() + 1 || bytes.substr(0, kMagic.size()) != kMagic ||
        static_cast<unsigned char>(bytes[kMagic.size()]) != kCompiledRuleVersion)
        return std::nullopt;
    Reader in(bytes.substr(kMagic.size() + 1));
    CompiledRule rule;
    bool ok = in.Byte(&rule.incomplete) && in.Byte(&rule.allConditions);
    for (std::string& code : rule.fields) ok = ok && in.Text(&code);
    for (bool* flag : {&rule.haveAttachment, &rule.deleteAtOnce, &rule.doNothing, &rule.autoHide,
                       &rule.deleteAfter, &rule.message, &rule.playIcon})
        ok = ok && in.Byte(flag);
    for (std::string& code : rule.actions) ok = ok && in.Text(&code);
    if (!ok || !in.done()) return std::nullopt;
    return rule;
}

std::optional<std::string> CompileCondition(std::string_view inner, Prompter* prompter) {
    if (inner.empty() || inner == kAbsent) return std::nullopt;
    std::string code = ReadRuleItem(inner, "State") == "true" ? "[D]" : "[E]";
    const std::string op = ReadRuleItem(inner, "OP");
    if (op == kAbsent) {
        const std::string value = ReadRuleItem(inner, "Value");
        if (value == kAbsent) return std::nullopt;
        return code + value;
    }
    const int number = OperatorNumber(op);
    if (number == 0) {
        if (prompter) {
            prompter->Message(std::string(kUnknownConditionMessage) + std::string(inner), "Filter");
        }
        return std::nullopt;
    }
    char numberText[8];
    std::snprintf(numberText, sizeof numberText, "[%02d]", number);
    code += numberText;
    const std::string marco = ReadRuleItem(inner, "Marco");
    if (marco != kAbsent) return code + "[Value][Marco]" + marco;
    return code + "[Value]" + ReadRuleItem(inner, "Value");
}

// Fills `rule` from a rule text; stops where the text stops being a valid rule.
static void FillRecord(std::string_view text, CompiledRule& rule, Prompter* prompter) {
    const ExtractedElement conditions = ExtractElement(text, kConditionTag);
    if (!conditions.found) return;
    const ExtractedElement check = ExtractElement(conditions.value, "CheckCondition");
    if (!check.found) return;
    const std::string how = ReadRuleItem(check.value, "Value");
    if (how != "AllCondition" && how != "AnyCondition") return;
    rule.allConditions = how == "AllCondition";
    ExtractedElement attachment = ExtractElement(check.rest, "HaveAttachment");
    rule.haveAttachment = ReadRuleItem(attachment.value, "Value") == "true";
    std::string rest = std::move(attachment.rest);
    // The fields are read in their table order and kept in the record's order.
    for (int f = kFirstField; f <= kSizeField; ++f) {
        const std::string_view name = RuleTable(kFieldKind)[f].key;
        ExtractedElement element = ExtractElement(rest, name);
        rest = std::move(element.rest);
        for (size_t i = 0; i < rule.fields.size(); ++i) {
            if (kCompiledFieldNames[i] == name)
                rule.fields[i] = CompileCondition(element.value, prompter).value_or("-1");
        }
    }
    const ExtractedElement actions = ExtractElement(text, kActionTag);
    if (!actions.found) return;
    bool* flags[] = {&rule.deleteAtOnce, &rule.doNothing, &rule.deleteAfter,
                     &rule.message,      &rule.playIcon,  &rule.autoHide};
    for (size_t i = 0; i < std::size(kFlagActions); ++i) {
        const std::string inner = ExtractElement(actions.value, kFlagActions[i]).value;
        if (ReadRuleItem(inner, "Value") == "true") *flags[i] = true;
    }
    std::string actionRest = actions.value;
    for (std::string_view name :
         {"Forward", "CopyTo", "MoveTo", "Voice", "MarkColor", "MarkStyle", "AutoBack"}) {
        ExtractedElement element = ExtractElement(actionRest, name);
        actionRest = std::move(element.rest);
        for (size_t i = 0; i < rule.actions.size(); ++i) {
            if (kCompiledActionNames[i] == name)
                rule.actions[i] = CompileCondition(element.value, prompter).value_or("-1");
        }
    }
    rule.incomplete = false;
}

CompiledRule CompileRuleText(std::string_view text) {
    CompiledRule rule;
    FillRecord(text, rule, nullptr);
    return rule;
}

void CompileRule(baseDataStruct* node, Prompter* prompter) {
    if (!node) return;
    CompiledRule rule;
    // The node holds a record, marked incomplete, before anything is read.
    Store(node, rule);
    FillRecord(getinfo(node, kThisNode, "SDATA"), rule, prompter);
    Store(node, rule);
}

}  // namespace korvo
