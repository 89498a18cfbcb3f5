// The name tables of filter rules: keys as stored in rule texts and shown in the editor's
// lists, with the display names the explanation uses. Kinds are the numbers by which the
// editor picks a list.
#pragma once

#include <span>
#include <string_view>

namespace korvo {

struct RuleName {
    std::string_view key;
    std::string_view name;  // shown in explanations
};

enum RuleTableKind : int {
    kFieldKind = 1,
    kTextOperatorKind = 2,
    kNumberOperatorKind = 3,
    kStateOperatorKind = 4,
    kMacroKind = 6,
    kActionKind = 7,
    kMarkStyleKind = 9,
    kMarkColorKind = 10,
    kReplyTemplateKind = 13,  // not a table: the captions of the reply templates
};

// The table of a kind; empty for kinds without one.
std::span<const RuleName> RuleTable(int kind);

// Fields: entry 0 and the last entry are not offered by the editor; entries 1 to 10 are the
// field conditions in their fixed order, `Size` (kSizeField) last.
inline constexpr int kFirstField = 1;
inline constexpr int kSizeField = 10;
// Index of `key` in the table of `kind`, or -1.
int RuleTableIndex(int kind, std::string_view key);
// The display name of `key` in the table of `kind`, or the key itself.
std::string_view RuleDisplayName(int kind, std::string_view key);

// Operator number of an `OP` value: 1 to 6 text, 7 to 11 number, 12 state operators; 0 for
// none of them.
int OperatorNumber(std::string_view op);
inline constexpr std::string_view kBetween = "between";
inline constexpr std::string_view kBetweenJoin = " and ";

// The actions whose value is typed or chosen in a dialog (the rest pick from a list).
bool ActionTakesEdit(std::string_view action);

// The flag actions, in the order the compiler reads them.
inline constexpr std::string_view kFlagActions[] = {"DeleteAtonce", "DoNothing", "DeleteAfter",
                                                    "Message",      "PlayIcon",  "AutoHide"};

}  // namespace korvo
