#include "filters/answer_guard.h"

#include "content/mail_header.h"

namespace korvo {
namespace {

std::string Field(std::string_view header, std::string_view name) {
    return AsciiLowerCopy(TrimWhite(MailGetHeaderItem(header, name)));
}

// The dated list of the key, or "" when it is of another day.
std::string_view TodaysList(std::string_view answered, std::string_view today) {
    if (answered.substr(0, today.size()) != today) return {};
    answered.remove_prefix(today.size());
    return answered;
}

bool Listed(std::string_view list, std::string_view address) {
    size_t at = 0;
    while (at < list.size()) {
        const size_t end = std::min(list.find(' ', at), list.size());
        if (list.substr(at, end - at) == address) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

std::string AnswerAddress(std::string_view header) {
    const std::string path = MailGetHeaderItem(header, "Return-Path");
    const std::string from = path.empty() ? MailGetHeaderItem(header, "From") : path;
    return AsciiLowerCopy(TrimWhite(GetAddressEmail(from)));
}

AnswerBar AutoAnswerBar(std::string_view header, std::string_view ownAddress,
                        std::string_view answered, std::string_view today) {
    const std::string submitted = Field(header, "Auto-Submitted");
    if (!submitted.empty() && submitted != "no") return AnswerBar::kAutoSubmitted;
    const std::string precedence = Field(header, "Precedence");
    if (precedence == "bulk" || precedence == "list" || precedence == "junk" ||
        !MailGetHeaderItem(header, "List-Id").empty())
        return AnswerBar::kMassMail;
    const std::string address = AnswerAddress(header);
    const std::string local = address.substr(0, address.find('@'));
    if (address.empty() || address.find(' ') != std::string::npos || local == "mailer-daemon" ||
        local == "postmaster")
        return AnswerBar::kNoSender;
    if (address == AsciiLowerCopy(TrimWhite(GetAddressEmail(ownAddress))))
        return AnswerBar::kOwnAddress;
    if (Listed(TodaysList(answered, today), address)) return AnswerBar::kAnsweredToday;
    return AnswerBar::kNone;
}

std::string AnsweredWith(std::string_view answered, std::string_view today,
                         std::string_view address) {
    std::string value(today);
    value += TodaysList(answered, today);
    if (!Listed(TodaysList(value, today), address)) value += " " + std::string(address);
    return value;
}

bool ForwardedByRule(std::string_view header) {
    const std::string_view line = kRuleForwardedHeader;
    return !MailGetHeaderItem(header, line.substr(0, line.find(':'))).empty();
}

}  // namespace korvo
