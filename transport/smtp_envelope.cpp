#include "transport/smtp_envelope.h"

#include "content/mail_header.h"

namespace korvo {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool SameAddress(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// Walks `text` and calls `visit(i, depthZero)` for each byte, telling whether it stands
// outside quotes, comments and (with `brackets`) angle brackets.
template <typename Visit>
void WalkOutside(std::string_view text, bool brackets, Visit visit) {
    bool quoted = false;
    int comment = 0;
    bool angle = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool outside = !quoted && comment == 0 && (!brackets || !angle);
        visit(i, outside);
        if ((quoted || comment > 0) && c == '\\') {
            if (i + 1 < text.size()) visit(++i, false);
            continue;
        }
        if (quoted) {
            if (c == '"') quoted = false;
        } else if (comment > 0) {
            if (c == '(') ++comment;
            if (c == ')') --comment;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            comment = 1;
        } else if (brackets && c == '<') {
            angle = true;
        } else if (brackets && c == '>') {
            angle = false;
        }
    }
}

}  // namespace

std::string RawHeaderField(std::string_view header, std::string_view name) {
    size_t line = 0;
    while (line < header.size()) {
        size_t end = header.find('\n', line);
        if (end == std::string_view::npos) end = header.size();
        std::string_view text = header.substr(line, end - line);
        if (text.size() > name.size() && text[name.size()] == ':' &&
            SameAddress(text.substr(0, name.size()), name)) {
            std::string value(text.substr(name.size() + 1));
            // Folded continuation lines belong to the field.
            while (end < header.size() && end + 1 < header.size() && IsBlank(header[end + 1])) {
                const size_t next = header.find('\n', end + 1);
                const size_t stop = next == std::string_view::npos ? header.size() : next;
                if (!value.empty() && value.back() == '\r') value.pop_back();
                value += header.substr(end + 1, stop - end - 1);
                end = stop;
            }
            return std::string(TrimWhite(value));
        }
        line = end + 1;
    }
    return {};
}

std::vector<std::string> SplitAddressList(std::string_view list) {
    std::vector<std::string> entries;
    size_t start = 0;
    auto take = [&](size_t end) {
        std::string_view entry = TrimWhite(list.substr(start, end - start));
        // "group name:" before the first member.
        size_t colon = std::string_view::npos;
        WalkOutside(entry, true, [&](size_t i, bool outside) {
            if (outside && colon == std::string_view::npos && entry[i] == ':') colon = i;
        });
        if (colon != std::string_view::npos && entry.find('@') > colon && entry.find('<') > colon) {
            entry = TrimWhite(entry.substr(colon + 1));
        }
        if (!entry.empty()) entries.emplace_back(entry);
        start = end + 1;
    };
    WalkOutside(list, true, [&](size_t i, bool outside) {
        if (outside && (list[i] == ',' || list[i] == ';')) take(i);
    });
    if (start <= list.size()) take(list.size());
    return entries;
}

std::string EntryAddress(std::string_view entry) {
    // Quoted names and comments are dropped first, so brackets inside them do not count.
    std::string plain;
    WalkOutside(entry, false, [&](size_t i, bool outside) {
        const char c = entry[i];
        if (outside && c != '"' && c != '(') plain += c;
    });
    return GetAddressEmail(plain);
}

bool IsEnvelopeAddress(std::string_view address) {
    if (address.empty()) return false;
    for (const char c : address) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F || c == '<' || c == '>' || c == '"' || c == '(' || c == ')') {
            return false;
        }
    }
    return true;
}

SmtpEnvelope ReadEnvelope(std::string_view message) {
    const size_t blank = message.find("\r\n\r\n");
    // Keep the line end of the last field so that its value ends there.
    const std::string_view header =
        blank == std::string_view::npos ? message : message.substr(0, blank + 2);
    SmtpEnvelope envelope;
    for (const std::string& entry : SplitAddressList(RawHeaderField(header, "From"))) {
        const std::string address = EntryAddress(entry);
        if (IsEnvelopeAddress(address)) {
            envelope.from = address;
            break;
        }
    }
    for (const char* field : {"To", "CC"}) AddRecipients(envelope, RawHeaderField(header, field));
    return envelope;
}

void AddRecipients(SmtpEnvelope& envelope, std::string_view list) {
    for (const std::string& entry : SplitAddressList(list)) {
        const std::string address = EntryAddress(entry);
        if (!IsEnvelopeAddress(address)) {
            envelope.unusable.push_back(entry);
            continue;
        }
        bool seen = false;
        for (const std::string& r : envelope.recipients) seen = seen || SameAddress(r, address);
        if (!seen) envelope.recipients.push_back(address);
    }
}

void DataStuffer::Add(std::string_view piece, std::string& out) {
    out.reserve(out.size() + piece.size() + piece.size() / 64 + 8);
    size_t run = 0;  // start of bytes copied unchanged
    for (size_t i = 0; i < piece.size(); ++i) {
        const char c = piece[i];
        if (c == '\n' && afterCr_) {
            // The CR before it already went out as CR LF.
            out.append(piece.substr(run, i - run));
            run = i + 1;
            afterCr_ = false;
            continue;
        }
        afterCr_ = false;
        if (c == '\r' || c == '\n') {
            out.append(piece.substr(run, i - run));
            out += "\r\n";
            run = i + 1;
            afterCr_ = c == '\r';
            atLineStart_ = true;
            continue;
        }
        if (atLineStart_ && c == '.') {
            out.append(piece.substr(run, i - run));
            out += '.';
            run = i;
        }
        atLineStart_ = false;
    }
    out.append(piece.substr(run));
}

std::string_view DataStuffer::Terminator() const {
    return atLineStart_ ? ".\r\n" : "\r\n.\r\n";
}

}  // namespace korvo
