// The compiled form of a filter rule, kept as the rule node's STRDATA block, and the compiler.
//
// Byte form of a CompiledRule (version 1), written by SerializeCompiledRule:
//
//   "KFR"  3 bytes, then the version byte 0x01;
//   incomplete, all conditions                      1 byte each;
//   Sender, SenderMail, CC, CCMail, Subject, Text,
//   Attachment, Receiver, ReceiverMail, Size        10 texts;
//   have attachment, delete at once, do nothing,
//   auto hide, delete after, message, play icon     1 byte each (0 or 1);
//   CopyTo, MoveTo, Voice, Forward, AutoBack,
//   MarkStyle, MarkColor                            7 texts;
//
// where a text is its length as a 32-bit little-endian number followed by its bytes. Nothing
// follows the last text. A later version changes the version byte; readers refuse versions
// they do not know.
//
// A condition code is "[E]" (in force) or "[D]" (switched off), then for an element with an
// operator "[%02d]" of its operator number and "[Value]" + value or "[Value][Marco]" + macro
// key; for an element without operator the value itself ("[E][09][Value]10 and 200",
// "[E]Archive"). An absent element's code is "-1".
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "model/prompter.h"
#include "store/node.h"

namespace korvo {

struct CompiledRule {
    bool incomplete = true;  // the rule is not valid, or compiling stopped early
    bool allConditions = true;
    // Field codes in the order Sender, SenderMail, CC, CCMail, Subject, Text, Attachment,
    // Receiver, ReceiverMail, Size.
    std::array<std::string, 10> fields;
    bool haveAttachment = false;
    bool deleteAtOnce = false;
    bool doNothing = false;
    bool autoHide = false;
    bool deleteAfter = false;
    bool message = false;
    bool playIcon = false;
    // Action codes in the order CopyTo, MoveTo, Voice, Forward, AutoBack, MarkStyle, MarkColor.
    std::array<std::string, 7> actions;

    bool operator==(const CompiledRule&) const = default;
};

// The element names of CompiledRule::fields and ::actions, in their order.
inline constexpr std::string_view kCompiledFieldNames[] = {
    "Sender", "SenderMail", "CC",       "CCMail",       "Subject",
    "Text",   "Attachment", "Receiver", "ReceiverMail", "Size"};
inline constexpr std::string_view kCompiledActionNames[] = {
    "CopyTo", "MoveTo", "Voice", "Forward", "AutoBack", "MarkStyle", "MarkColor"};

inline constexpr unsigned char kCompiledRuleVersion = 1;

std::string SerializeCompiledRule(const CompiledRule& rule);
// None for bytes that are not a whole record of a known version.
std::optional<CompiledRule> ParseCompiledRule(std::string_view bytes);

// The code of one element's inner text, or none (absent, empty, or an unknown operator, which
// is told through `prompter` when there is one).
std::optional<std::string> CompileCondition(std::string_view inner, Prompter* prompter);

// The record of a rule text, compiled in memory only.
CompiledRule CompileRuleText(std::string_view text);

// Compiles the node's rule text (SDATA) and makes the record its STRDATA block; the record is
// in place, marked incomplete, before anything is read. A missing node is ignored.
void CompileRule(baseDataStruct* node, Prompter* prompter);

// The message for an operator that is none of the twelve; the inner text follows it.
inline constexpr std::string_view kUnknownConditionMessage = "No this condition!";

}  // namespace korvo
