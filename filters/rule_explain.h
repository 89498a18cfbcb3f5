// The plain-language explanation of a filter rule: one row per condition and per action in a
// list whose item data are row codes, plus the summary keys written on the rule node.
//
// Row codes: 0 the rows about the whole condition part, 1 to 10 a field condition (its index
// in the field table), 100 "Do last action", 101 to 106 the flag actions, 107 + n the action
// of entry n of the action table.
#pragma once

#include <string_view>

#include "controls/list_control.h"
#include "store/node.h"

namespace korvo {

inline constexpr int kLastActionRow = 100;
inline constexpr int kFirstActionRow = 107;

// Resets `list` and fills it from the node's rule text. Writes the node's summary keys
// `CheckCondition` and `HaveAttachment` (when the rule has a valid check condition) and
// `DeleteAtonce`, `NothingToDo`, `DeleteAfter`, `AutoHide` ("true" or "false", as the action
// part says now). A missing node leaves an empty list.
void ExplainRule(baseDataStruct* node, CBaseListControl& list);

}  // namespace korvo
