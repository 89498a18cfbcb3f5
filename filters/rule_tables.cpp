#include "filters/rule_tables.h"

#include <array>

#include "content/template_macros.h"

namespace korvo {
namespace {

constexpr RuleName kFields[] = {
    {"CheckCondition", "Condition"},
    {"Subject", "Subject"},
    {"Sender", "Sender name"},
    {"SenderMail", "Sender address"},
    {"CC", "CC name"},
    {"CCMail", "CC address"},
    {"Receiver", "Receiver name"},
    {"ReceiverMail", "Receiver address"},
    {"Text", "Mail text"},
    {"Attachment", "Attachment name"},
    {"Size", "Mail size"},
    {"HaveAttachment", "Have attachment"},
};

constexpr RuleName kTextOperators[] = {
    {"equal", "is"},
    {"unequal", "is not"},
    {"comprise", "contains"},
    {"uncomprise", "does not contain"},
    {"CompriseAny", "contains any of"},
    {"CompriseAll", "contains all of"},
};

constexpr RuleName kNumberOperators[] = {
    {"=", "is"}, {"!=", "is not"}, {"between", "between"}, {"<=", "at most"}, {">=", "at least"},
};

constexpr RuleName kStateOperators[] = {{"is", "is"}};

// Entry 0 stands for no macro; the others are the template macros.
constexpr auto kMacros = [] {
    std::array<RuleName, kMacroCount + 1> table{};
    table[0] = {"no macro", "no macro"};
    for (int i = 0; i < kMacroCount; ++i) table[i + 1] = {kMacroTable[i].key, kMacroTable[i].name};
    return table;
}();

constexpr RuleName kActions[] = {
    {"MoveTo", "Move to"},       {"CopyTo", "Copy to"},        {"Forward", "Forward to"},
    {"Voice", "Play sound"},     {"MarkColor", "Mark colour"}, {"MarkStyle", "Mark style"},
    {"AutoBack", "Auto answer"},
};

constexpr RuleName kMarkStyles[] = {
    {"Bold", "Bold"},
    {"Italic", "Italic"},
    {"Underline", "Underline"},
    {"StrikeOut", "Strike out"},
};

constexpr RuleName kMarkColors[] = {
    {"Red", "Red"},   {"Orange", "Orange"}, {"Yellow", "Yellow"}, {"Green", "Green"},
    {"Blue", "Blue"}, {"Purple", "Purple"}, {"Gray", "Gray"},
};

}  // namespace

std::span<const RuleName> RuleTable(int kind) {
    switch (kind) {
        case kFieldKind:
            return kFields;
        case kTextOperatorKind:
            return kTextOperators;
        case kNumberOperatorKind:
            return kNumberOperators;
        case kStateOperatorKind:
            return kStateOperators;
        case kMacroKind:
            return kMacros;
        case kActionKind:
            return kActions;
        case kMarkStyleKind:
            return kMarkStyles;
        case kMarkColorKind:
            return kMarkColors;
        default:
            return {};
    }
}

int RuleTableIndex(int kind, std::string_view key) {
    const std::span<const RuleName> table = RuleTable(kind);
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].key == key) return static_cast<int>(i);
    }
    return -1;
}

std::string_view RuleDisplayName(int kind, std::string_view key) {
    const int i = RuleTableIndex(kind, key);
    return i < 0 ? key : RuleTable(kind)[i].name;
}

int OperatorNumber(std::string_view op) {
    int number = 1;
    for (int kind : {kTextOperatorKind, kNumberOperatorKind, kStateOperatorKind}) {
        for (const RuleName& entry : RuleTable(kind)) {
            if (entry.key == op) return number;
            ++number;
        }
    }
    return 0;
}

bool ActionTakesEdit(std::string_view action) {
    return action == "MoveTo" || action == "CopyTo" || action == "Forward" || action == "Voice";
}

}  // namespace korvo
