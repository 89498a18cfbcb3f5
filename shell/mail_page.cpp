#include "shell/mail_page.h"

#include <vector>

#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "platform/data_dir.h"
#include "platform/private_file.h"

namespace korvo {
namespace {

constexpr size_t npos = std::string_view::npos;

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
    return text.size() >= lowerPrefix.size() &&
           FindNoCase(text.substr(0, lowerPrefix.size()), lowerPrefix) == 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// A media type safe to put into an attribute; anything else is taken as opaque bytes.
std::string SafeMediaType(std::string_view type) {
    std::string lower = AsciiLowerCopy(TrimWhite(type));
    const size_t slash = lower.find('/');
    bool ok = slash != npos && slash > 0 && slash + 1 < lower.size() &&
              lower.find('/', slash + 1) == npos;
    for (const char c : lower)
        ok = ok && (IsAsciiAlnum(c) || c == '/' || c == '.' || c == '+' || c == '-' || c == '_');
    return ok ? lower : std::string("application/octet-stream");
}

struct InlinePart {
    std::string id;  // lower case, without angle brackets
    std::string dataUri;
};

std::string StripAngles(std::string_view id) {
    id = TrimWhite(id);
    if (!id.empty() && id.front() == '<') id.remove_prefix(1);
    if (!id.empty() && id.back() == '>') id.remove_suffix(1);
    return std::string(TrimWhite(id));
}

// The Content-ID, media type and data: URI of one "cid" son's raw part.
InlinePart ReadInlinePart(std::string_view block, std::string_view encoding,
                          const CMailCodec& codec) {
    const size_t end = block.find("\r\n\r\n");
    const std::string_view header = end == npos ? block : block.substr(0, end);
    std::string_view body = end == npos ? std::string_view() : block.substr(end + 4);

    MailPartHead head;
    mailGetContent(block, head, codec);
    std::string id = head.contentId;
    if (id.empty()) id = StripAngles(MailGetHeaderItem(header, "Content-ID", 0, codec));
    std::string type = head.contentType;
    if (type.empty()) {
        type = MailGetHeaderItem(header, "Content-Type", 0, codec);
        type = type.substr(0, type.find(';'));
    }

    std::string bytes;
    if (codec.DecodeContent(body, encoding, bytes) < 0) {
        // Not transfer-encoded: the bytes stand as they are, up to the CR LF that belongs to
        // the next delimiter.
        if (body.ends_with("\r\n")) body.remove_suffix(2);
        bytes.assign(body);
    }
    std::string base64;
    for (const char c : CMailCodec::EncodeBase64(bytes))
        if (c != '\r' && c != '\n') base64 += c;
    return {AsciiLowerCopy(StripAngles(id)), "data:" + SafeMediaType(type) + ";base64," + base64};
}

bool EndsReference(char c) {
    return c == '"' || c == '\'' || c == '(' || c == ')' || c == '<' || c == '>' || c == ' ' ||
           c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

}  // namespace

std::string MailPagePath() {
    return DataDirectory() + std::string(kMailPageFile);
}

LetterBody ChooseLetterBody(const baseDataStruct* letter) {
    LetterBody body;
    if (!letter) return body;
    for (const baseDataStruct* son = letter->firstSon(); son; son = son->nextBrother()) {
        if (getinfo(son, kThisNode, "type") != "text") continue;
        const std::string style = getinfo(son, kThisNode, "style");
        if (style != "html" && style != "text") continue;
        body.text = std::string(getdata(son, "SDATA").value_or(""));
        body.fromHtmlPart = style == "html";
    }
    return body;
}

bool HasHtmlTag(std::string_view text) {
    for (size_t at = FindNoCase(text, "<html"); at != npos;
         at = FindNoCase(text, "<html", at + 1)) {
        if (at + 5 >= text.size()) return false;
        const char next = text[at + 5];
        if (next == '>' || next == ' ' || next == '\t' || next == '\r' || next == '\n' ||
            next == '\f' || next == '/')
            return true;
    }
    return false;
}

std::string GreyTextPage(std::string_view text) {
    std::string page = "<html><head><title>null</title></head><body bgcolor=#eeeeee>";
    page.reserve(page.size() + text.size() + text.size() / 8 + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            page += "<br>";
            ++i;
        } else if (c == '<') {
            page += "&lt;";
        } else if (c == '>') {
            page += "&gt;";
        } else if (c == '&') {
            page += "&amp;";
        } else {
            page += c;
        }
    }
    return page + "</body></html>";
}

std::string GuardPage(std::string_view html) {
    size_t at = 0;
    if (html.starts_with("\xEF\xBB\xBF")) at = 3;
    size_t afterBlank = at;
    while (afterBlank < html.size() && (html[afterBlank] == ' ' || html[afterBlank] == '\t' ||
                                        html[afterBlank] == '\r' || html[afterBlank] == '\n'))
        ++afterBlank;
    if (StartsWithNoCase(html.substr(afterBlank), "<!doctype")) {
        const size_t close = html.find('>', afterBlank);
        // A doctype that never closes is left behind the policy.
        if (close != npos) at = close + 1;
    }
    std::string page;
    page.reserve(html.size() + kPageSecurityMeta.size() + kPageCharsetMeta.size());
    page.append(html.substr(0, at));
    page.append(kPageSecurityMeta);
    page.append(kPageCharsetMeta);
    page.append(html.substr(at));
    return page;
}

std::string InlineCidImages(std::string_view html, const baseDataStruct* letter,
                            const CMailCodec& codec, size_t maxPageBytes) {
    std::vector<InlinePart> parts;
    if (letter) {
        for (const baseDataStruct* son = letter->firstSon(); son; son = son->nextBrother()) {
            if (getinfo(son, kThisNode, "type") != "cid") continue;
            InlinePart part = ReadInlinePart(getdata(son, "SDATA").value_or(""),
                                             getinfo(son, kThisNode, "transferEncoding"), codec);
            if (!part.id.empty()) parts.push_back(std::move(part));
        }
    }
    if (parts.empty()) return std::string(html);

    std::string out;
    out.reserve(html.size());
    size_t copied = 0;
    for (size_t at = FindNoCase(html, "cid:"); at != npos; at = FindNoCase(html, "cid:", at + 1)) {
        if (at < copied) continue;
        if (at > 0 && IsAsciiAlnum(html[at - 1])) continue;
        size_t end = at + 4;
        while (end < html.size() && !EndsReference(html[end])) ++end;
        const std::string_view reference = html.substr(at + 4, end - at - 4);
        if (reference.empty()) continue;
        const std::string plain = AsciiLowerCopy(StripAngles(reference));
        const std::string decoded = AsciiLowerCopy(StripAngles(PercentDecode(reference)));
        const InlinePart* found = nullptr;
        for (const InlinePart& part : parts) {
            if (part.id == plain || part.id == decoded) {
                found = &part;
                break;
            }
        }
        if (!found) continue;
        // What the page would be with this copy and the rest of the letter as it is.
        const size_t grown =
            out.size() + (at - copied) + found->dataUri.size() + (html.size() - end);
        if (grown > maxPageBytes) continue;
        out.append(html.substr(copied, at - copied));
        out.append(found->dataUri);
        copied = end;
    }
    out.append(html.substr(copied));
    return out;
}

bool WritePageFile(std::string_view html) {
    return WritePrivateFile(DataDirectory(), kMailPageFile, GuardPage(html));
}

}  // namespace korvo
