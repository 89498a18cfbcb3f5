// Small pieces the settings forms share: trimming, number fields and the lock keys.
#pragma once

#include <string>
#include <string_view>

#include "store/node.h"

namespace korvo {

// The title of every validation message box.
inline constexpr std::string_view kErrorTitle = "Error message";

// Blanks, tabs and line breaks removed from both ends.
std::string TrimField(std::string_view text);

// A whole decimal number from `low` to `high`; false for anything else (empty, signs, blanks,
// other characters, out of range).
bool ReadNumberField(std::string_view text, long low, long high, long* value);

// A field's value, or "-1" when it is empty.
std::string ValueOrAbsent(const std::string& text);
// A key's value for a field: empty when absent.
std::string FieldFromKey(const baseDataStruct* node, std::string_view key);

// Writes `lockPassword` ("-1" without password) and `LockState` ("unLock" with one, "-1"
// without).
void WriteLockKeys(baseDataStruct* node, const std::string& password);

}  // namespace korvo
