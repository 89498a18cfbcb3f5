#include "content/template_macros.h"

#include "content/mail_header.h"
#include "platform/string_format.h"

namespace korvo {
namespace {

constexpr std::string_view kMacroMark = "@@";

// Index of the macro whose key stands at `pos` (which holds "@@"), or -1. Every key ends in
// "@@" and has no "@" inside, so no key is the start of another and at most one matches.
int MacroAt(std::string_view text, size_t pos) {
    for (int i = 0; i < kMacroCount; ++i) {
        if (text.substr(pos).starts_with(kMacroTable[i].key)) return i;
    }
    return -1;
}

// One pass over `text`. With `caret` the cursor key is removed and the position of its first
// occurrence in the result is stored; without, it is left like a key without value.
std::string Substitute(std::string_view text, const std::array<std::string, kMacroCount>& values,
                       size_t* caret) {
    std::string out;
    out.reserve(text.size());
    bool cursorFound = false;
    size_t from = 0;
    while (from < text.size()) {
        const size_t at = text.find(kMacroMark, from);
        if (at == std::string_view::npos) break;
        out.append(text, from, at - from);
        const int macro = MacroAt(text, at);
        if (macro < 0) {
            // Not a key: keep one "@" and look again from the next byte, so "@@@SENDER@@"
            // still finds its key.
            out += '@';
            from = at + 1;
            continue;
        }
        const std::string_view key = kMacroTable[macro].key;
        if (macro == kMacroCursor && caret) {
            if (!cursorFound) *caret = out.size();
            cursorFound = true;
        } else if (values[macro].empty() || macro == kMacroCursor) {
            out += key;
        } else {
            out += values[macro];
        }
        from = at + key.size();
    }
    if (from < text.size()) out.append(text, from);
    if (caret && !cursorFound) *caret = 0;
    return out;
}

void SetAddress(std::array<std::string, kMacroCount>& values, int nameKey, std::string_view line) {
    if (line.empty()) return;
    values[nameKey] = GetAddressName(line);
    values[nameKey + 1] = GetAddressEmail(line);
}

}  // namespace

std::array<std::string, kMacroCount> MacroValues(const TemplateContext& context) {
    std::array<std::string, kMacroCount> values;
    std::tm local{};
    const std::time_t now = context.now;
    if (localtime_r(&now, &local)) {
        values[kMacroSendDate] =
            StrPrintf("%d-%d-%d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
        values[kMacroSendTime] = StrPrintf("%d:%d", local.tm_hour, local.tm_min);
    }
    SetAddress(values, kMacroReturn, context.returnAddress);
    SetAddress(values, kMacroSender, context.senderAddress);
    SetAddress(values, kMacroReceiver, context.to);
    SetAddress(values, kMacroCc, context.cc);
    // The date form of an empty date is "- :", which would replace the macro of a new letter.
    if (!TrimWhite(context.oldDate).empty()) {
        values[kMacroOldDate] = context.oldDate;
        StrGetDate(values[kMacroOldDate]);
    }
    values[kMacroOldSubject] = context.oldSubject;
    values[kMacroOldText] = context.oldText;
    SetAddress(values, kMacroOldFrom, context.oldFrom);
    SetAddress(values, kMacroOldTo, context.oldTo);
    SetAddress(values, kMacroOldCc, context.oldCc);
    return values;
}

FilledTemplate FillTemplate(std::string_view text, const TemplateContext& context) {
    FilledTemplate filled;
    filled.text = Substitute(text, MacroValues(context), &filled.caret);
    return filled;
}

std::string ReplaceMacros(std::string_view text,
                          const std::array<std::string, kMacroCount>& values) {
    return Substitute(text, values, nullptr);
}

std::string FillAddressMacros(std::string_view text, MacroIndex nameKey, std::string_view line) {
    std::array<std::string, kMacroCount> values;
    if (nameKey >= 0 && nameKey + 1 < kMacroCount) SetAddress(values, nameKey, line);
    return ReplaceMacros(text, values);
}

}  // namespace korvo
