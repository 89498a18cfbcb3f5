#include "filters/rule_explain.h"

#include "filters/rule_tables.h"
#include "filters/rule_text.h"
#include "platform/string_format.h"

namespace korvo {
namespace {

constexpr std::string_view kIndent = "    ";
constexpr std::string_view kClosedByDeleteAtOnce =
    ", thise item was closed by itme that Delete at once!";

// Rows carry texts as they are: values are not column texts and must not be split.
void AddRow(CBaseListControl& list, std::string_view text, int code) {
    const int row = list.InsertRow("", static_cast<uint32_t>(code));
    list.view().SetCellText(row, 0, text);
}

std::string_view OperatorName(std::string_view op) {
    for (int kind : {kTextOperatorKind, kStateOperatorKind, kNumberOperatorKind}) {
        if (RuleTableIndex(kind, op) >= 0) return RuleDisplayName(kind, op);
    }
    return op;
}

bool FlagOn(std::string_view actions, std::string_view name) {
    return ReadRuleItem(ExtractElement(actions, name).value, "Value") == "true";
}

void WriteSummaryFlags(baseDataStruct* node, std::string_view actions) {
    const std::pair<std::string_view, std::string_view> keys[] = {{"DeleteAtonce", "DeleteAtonce"},
                                                                  {"NothingToDo", "DoNothing"},
                                                                  {"DeleteAfter", "DeleteAfter"},
                                                                  {"AutoHide", "AutoHide"}};
    for (const auto& [key, element] : keys)
        setinfo(node, kThisNode, key, FlagOn(actions, element) ? "true" : "false");
}

void ExplainConditions(std::string rest, CBaseListControl& list) {
    for (NextElementResult e = NextElement(rest); e.found; e = NextElement(rest)) {
        rest = std::move(e.rest);
        const std::string op = ReadRuleItem(e.value, "OP");
        const std::string value = ReadRuleItem(e.value, "Value");
        const std::string marco = ReadRuleItem(e.value, "Marco");
        if (op == kAbsent || (value == kAbsent && marco == kAbsent)) continue;
        const int field = RuleTableIndex(kFieldKind, e.name);
        std::string row = std::string(kIndent) + std::string(RuleDisplayName(kFieldKind, e.name)) +
                          " " + std::string(OperatorName(op)) + " ";
        row +=
            marco != kAbsent ? "marco " + std::string(RuleDisplayName(kMacroKind, marco)) : value;
        if (ReadRuleItem(e.value, "State") == "true") row += ", condition is disabled!";
        AddRow(list, row, field < 0 ? 0 : field);
    }
}

void ExplainActions(std::string_view actions, CBaseListControl& list) {
    std::string suffix;
    struct Flag {
        std::string_view element;
        std::string_view text;
        int code;
    };
    static constexpr Flag kFlags[] = {
        {"DeleteAtonce", "Do't receive this letter and delete it at server!", 101},
        {"DoNothing", "Nothing to do", 102},
        {"DeleteAfter",
         "receive this letter and delete it at server(refuse account set keep on sever set)", 103},
        {"AutoHide", "automation hide this letter", 104},
        {"Message", "Notice method: Popup Daiolog!", 105},
        {"PlayIcon", "Notice method: Play Icon!", 106},
    };
    std::string rest(actions);
    for (const Flag& flag : kFlags) {
        ExtractedElement e = ExtractElement(rest, flag.element);
        rest = std::move(e.rest);
        if (ReadRuleItem(e.value, "Value") != "true") continue;
        if (flag.code == 101) {
            AddRow(list, std::string(kIndent) + std::string(flag.text), flag.code);
            suffix = kClosedByDeleteAtOnce;
        } else {
            AddRow(list, std::string(kIndent) + std::string(flag.text) + suffix, flag.code);
        }
    }
    for (NextElementResult e = NextElement(rest); e.found; e = NextElement(rest)) {
        rest = std::move(e.rest);
        const std::string value = ReadRuleItem(e.value, "Value");
        if (value == kAbsent) continue;
        const int action = RuleTableIndex(kActionKind, e.name);
        AddRow(
            list,
            std::string(kIndent) + std::string(RuleDisplayName(kActionKind, e.name)) + " " + value,
            action < 0 ? kLastActionRow : kFirstActionRow + action);
    }
}

}  // namespace

void ExplainRule(baseDataStruct* node, CBaseListControl& list) {
    ListView& view = list.view();
    view.SetRedraw(false);
    view.DeleteAllRows();
    list.Reset(StrPrintf("Show Filter =%d ,Note =100", view.ClientWidth() - 100));
    if (node) {
        const std::string text = getinfo(node, kThisNode, "SDATA");
        const ExtractedElement actions = ExtractElement(text, kActionTag);
        WriteSummaryFlags(node, actions.found ? actions.value : std::string());

        const ExtractedElement conditions = ExtractElement(text, kConditionTag);
        const ExtractedElement check = ExtractElement(conditions.value, "CheckCondition");
        const std::string how = ReadRuleItem(check.value, "Value");
        if (conditions.found && check.found && (how == "AllCondition" || how == "AnyCondition")) {
            setinfo(node, kThisNode, "CheckCondition", how);
            AddRow(list,
                   how == "AllCondition" ? "All condition is TRUE!" : "Any condition is TRUE!", 0);
            const ExtractedElement attachment = ExtractElement(check.rest, "HaveAttachment");
            const bool have = ReadRuleItem(attachment.value, "Value") == "true";
            setinfo(node, kThisNode, "HaveAttachment", have ? "true" : "false");
            if (have) AddRow(list, "    Letter have attachment!", 0);
            ExplainConditions(attachment.rest, list);
            AddRow(list, "Do last action", kLastActionRow);
            if (actions.found) {
                ExplainActions(actions.value, list);
            } else {
                AddRow(list, "    Nothing to do!", 102);
            }
        } else if (conditions.found && check.found) {
            // A check condition of another value is stored but explains nothing.
            setinfo(node, kThisNode, "CheckCondition", how);
        }
    }
    view.SetRedraw(true);
}

}  // namespace korvo
