#include "content/mail_header.h"

#include <cstring>

#include "platform/string_format.h"
#include "store/diag_log.h"

namespace korvo {
namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Does `text` at `pos` hold `lowerNeedle`, ignoring ASCII case?
bool MatchesNoCase(std::string_view text, size_t pos, std::string_view lowerNeedle) {
    if (pos > text.size() || text.size() - pos < lowerNeedle.size()) return false;
    for (size_t i = 0; i < lowerNeedle.size(); ++i)
        if (AsciiLower(text[pos + i]) != lowerNeedle[i]) return false;
    return true;
}

// S up to its first space (all of S when there is none).
std::string_view UpToSpace(std::string_view s) {
    return s.substr(0, s.find(' '));
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsWhite(s.front())) s.remove_prefix(1);
    return s;
}

std::string PadOneDigit(std::string_view s) {
    std::string out;
    if (s.size() == 1 && IsDigit(s[0])) out += '0';
    out += s;
    return out;
}

}  // namespace

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLowerCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

size_t FindNoCase(std::string_view text, std::string_view lowerNeedle, size_t from) {
    if (lowerNeedle.empty()) return from <= text.size() ? from : std::string_view::npos;
    const char first = lowerNeedle[0];
    const char firstUpper = first >= 'a' && first <= 'z' ? static_cast<char>(first - 32) : first;
    for (size_t pos = from; pos < text.size();) {
        // Jump to the next byte that can start a match.
        const void* a = std::memchr(text.data() + pos, first, text.size() - pos);
        const void* b = firstUpper == first
                            ? nullptr
                            : std::memchr(text.data() + pos, firstUpper, text.size() - pos);
        if (!a && !b) return std::string_view::npos;
        const char* hit = static_cast<const char*>(!a ? b : !b ? a : (a < b ? a : b));
        const size_t at = static_cast<size_t>(hit - text.data());
        if (MatchesNoCase(text, at, lowerNeedle)) return at;
        pos = at + 1;
    }
    return std::string_view::npos;
}

std::string_view TrimWhite(std::string_view s) {
    while (!s.empty() && IsWhite(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsWhite(s.back())) s.remove_suffix(1);
    return s;
}

std::string MailGetHeaderItem(std::string_view text, std::string_view name, int occurrence,
                              const CMailCodec& codec) {
    // The field is "\r\n" + name + ":" searched in "\r\n" + text. Positions below are in
    // that joined text, where a match at w has its name at text position w.
    const std::string key = AsciiLowerCopy(name) + ":";
    auto findField = [&](size_t from) -> size_t {
        if (from == 0 && MatchesNoCase(text, 0, key)) return 0;
        for (size_t nl = text.find("\r\n", from >= 2 ? from - 2 : 0); nl != std::string_view::npos;
             nl = text.find("\r\n", nl + 1)) {
            if (MatchesNoCase(text, nl + 2, key)) return nl + 2;
        }
        return std::string_view::npos;
    };
    size_t match = occurrence < 0 ? std::string_view::npos : findField(0);
    for (int k = 0; k < occurrence && match != std::string_view::npos; ++k)
        match = findField(match + 1);
    const size_t valueStart = match == std::string_view::npos ? match : match + key.size();

    std::string value;
    if (valueStart != std::string_view::npos) {
        // Up to the first CR LF not followed by a space or tab (a folded line continues).
        size_t end = valueStart;
        for (;;) {
            end = text.find("\r\n", end);
            if (end == std::string_view::npos) {
                end = text.size();
                break;
            }
            if (end + 2 < text.size() && (text[end + 2] == ' ' || text[end + 2] == '\t')) {
                end += 2;
                continue;
            }
            break;
        }
        const std::string_view raw = text.substr(valueStart, end - valueStart);
        value.reserve(raw.size());
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
                ++i;
                continue;
            }
            value += raw[i] == '\t' ? ' ' : raw[i];
        }
        value = std::string(TrimWhite(value));
        value = codec.DecodeText(value, "subject");
    }
    LogLine(DiagLog::kMessage, "--CSysMailBox::MailGetHeaderItem over");
    return value;
}

std::string HeaderParamValue(std::string_view text, size_t valueStart) {
    if (valueStart > text.size()) return {};
    std::string_view value = text.substr(valueStart);
    value = value.substr(0, value.find_first_of("\r;"));
    if (!value.empty() && ((value.front() == '"' && value.back() == '"') ||
                           (value.front() == '<' && value.back() == '>'))) {
        value = value.size() >= 2 ? value.substr(1, value.size() - 2) : std::string_view();
    }
    return std::string(value);
}

std::string mailGetHeaderParam(std::string_view text, std::string_view key) {
    const size_t at = FindNoCase(text, AsciiLowerCopy(key));
    if (at == std::string_view::npos) return {};
    return HeaderParamValue(text, at + key.size());
}

void StrGetDate(std::string& date) {
    LogLine(DiagLog::kMessage, "++CSysMailBox::StrGetDate(&str=%s) begin", date.c_str());
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string_view s = date;
    const size_t comma = s.find(',');
    if (comma != std::string_view::npos) s.remove_prefix(comma + 1);
    s = TrimWhite(s);

    const std::string_view dayText = UpToSpace(s);
    const std::string day = PadOneDigit(dayText) + " ";
    s = TrimLeft(s.substr(dayText.size()));

    const std::string_view monthText = UpToSpace(s);
    std::string month(monthText);
    for (int m = 0; m < 12; ++m)
        if (monthText == kMonths[m]) month = StrPrintf("%02d-", m + 1);
    s = TrimLeft(s.substr(monthText.size()));

    const std::string_view yearText = UpToSpace(s);
    std::string year(yearText);
    if (year.size() == 2 && IsDigit(year[0]) && IsDigit(year[1]))
        year.insert(0, year[0] == '8' || year[0] == '9' ? "19" : "20");
    year += "-";
    s = TrimLeft(s.substr(yearText.size()));

    s = UpToSpace(s);
    const size_t colon = s.find(':');
    std::string hours;
    std::string minutes;
    if (colon != std::string_view::npos) {
        hours = PadOneDigit(s.substr(0, colon));
        const std::string_view afterColon = s.substr(colon + 1);
        // A time written without seconds keeps its minutes.
        minutes = PadOneDigit(afterColon.substr(0, afterColon.find(':')));
    }
    date = year + month + day + hours + ":" + minutes;
    LogLine(DiagLog::kMessage, "--CSysMailBox::StrGetDate over");
}

std::string GetAddressEmail(std::string_view text) {
    const size_t open = text.find('<');
    const size_t close = text.find('>');
    if (open != std::string_view::npos && close != std::string_view::npos && close > 0) {
        const std::string_view inside =
            close > open ? text.substr(open + 1, close - open - 1) : std::string_view();
        return std::string(TrimWhite(inside));
    }
    return std::string(TrimWhite(text));
}

std::string GetAddressName(std::string_view text) {
    const size_t open = text.find('<');
    const size_t close = text.find('>');
    const size_t at = text.find('@');
    std::string name;
    if (open != std::string_view::npos && close != std::string_view::npos && close > 0) {
        name = text.substr(0, open);
    } else if (at != std::string_view::npos && at > 0) {
        name = text.substr(0, at);
    } else {
        name = text;
    }
    for (char& c : name)
        if (c == '"') c = ' ';
    return std::string(TrimWhite(name));
}

}  // namespace korvo
