// The macros of letter templates and their substitution.
//
// A template text holds macro keys such as "@@RECEIVER@@"; when a template is applied each key
// is replaced by a value taken from the composer's context. A key whose value is empty stays
// in the text as it was, so the user sees what could not be filled in. "@@CURSOR@@" is removed
// and marks where the caret goes.
//
// Substitution runs in one pass over the template text: a value (a received letter's text, a
// display name) is never searched for keys again, so macro-like text inside it is kept as it
// is and cannot move the caret.
#pragma once

#include <array>
#include <ctime>
#include <string>
#include <string_view>

namespace korvo {

struct MacroEntry {
    std::string_view key;
    std::string_view name;  // shown in the macro combo
};

enum MacroIndex : int {
    kMacroCursor,
    kMacroSendDate,
    kMacroSendTime,
    kMacroHaveAttachment,
    kMacroReturn,
    kMacroReturnEmail,
    kMacroSender,
    kMacroSenderEmail,
    kMacroReceiver,
    kMacroReceiverEmail,
    kMacroCc,
    kMacroCcEmail,
    kMacroOldDate,
    kMacroOldSubject,
    kMacroOldText,
    kMacroOldFrom,
    kMacroOldFromEmail,
    kMacroOldTo,
    kMacroOldToEmail,
    kMacroOldCc,
    kMacroOldCcEmail,
    kMacroCount
};

// The macro table in the order of the macro combo.
inline constexpr std::array<MacroEntry, kMacroCount> kMacroTable = {{
    {"@@CURSOR@@", "cursor"},
    {"@@SEND_DATE@@", "now date"},
    {"@@SEND_TIME@@", "now time"},
    {"@@HAVE_ATTACHMENT@@", "attachment mark"},
    {"@@RETURN@@", "return"},
    {"@@RETURN_EMAIL@@", "return email"},
    {"@@SENDER@@", "sender"},
    {"@@SENDER_EMAIL@@", "sender email"},
    {"@@RECEIVER@@", "receiver"},
    {"@@RECEIVER_EMAIL@@", "receiver email"},
    {"@@CC@@", "CC to"},
    {"@@CC_EMAIL@@", "CC to email"},
    {"@@OLD_MAIL_DATE@@", "old date"},
    {"@@OLD_MAIL_SUBJECT@@", "old mail subject"},
    {"@@OLD_MAIL_TEXT@@", "old mail text"},
    {"@@OLD_MAIL_FROM@@", "old mail from"},
    {"@@OLD_MAIL_FROMEMAIL@@", "old mail from email"},
    {"@@OLD_MAIL_TO@@", "old mail to"},
    {"@@OLD_MAIL_TOEMAIL@@", "old mail to email"},
    {"@@OLD_MAIL_CC@@", "old mail CC to"},
    {"@@OLD_MAIL_CCEMAIL@@", "old mail CC to emal"},
}};

// The last entry of the macro combo: no macro.
inline constexpr std::string_view kMacroNoSelect = "no select";

// What the composer knows when it fills a template. For a new letter the answered letter's
// fields are empty.
struct TemplateContext {
    std::time_t now = 0;        // the send date and time, taken in local time
    std::string returnAddress;  // the account's return address
    std::string senderAddress;  // the account's address
    std::string to;             // the To line as typed
    std::string cc;             // the CC line as typed
    std::string oldDate;        // the answered letter's Date field as written
    std::string oldSubject;
    std::string oldText;
    std::string oldFrom;
    std::string oldTo;
    std::string oldCc;
};

// The value of every macro for `context`; empty where the macro stays standing. The cursor
// and the attachment mark are always empty here.
std::array<std::string, kMacroCount> MacroValues(const TemplateContext& context);

struct FilledTemplate {
    std::string text;
    size_t caret = 0;  // byte position of the first "@@CURSOR@@", 0 without one
};

// Fills in every macro of `text` with the values of `context` and removes every
// "@@CURSOR@@".
FilledTemplate FillTemplate(std::string_view text, const TemplateContext& context);

// Replaces every key whose value is not empty (the cursor key is never touched). Keys that
// touch or overlap are taken from left to right.
std::string ReplaceMacros(std::string_view text,
                          const std::array<std::string, kMacroCount>& values);

// The name macro `nameKey` and its e-mail companion (the next entry of the table) filled from
// an address line, as the composer does when the To or CC line changes. An empty line, or an
// empty name or address part, leaves that macro standing.
std::string FillAddressMacros(std::string_view text, MacroIndex nameKey, std::string_view line);

}  // namespace korvo
