#include "content/mime_walk.h"

#include <chrono>

#include "content/mail_header.h"
#include "platform/string_format.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

constexpr size_t npos = std::string_view::npos;

long TickCount() {
    using namespace std::chrono;
    return static_cast<long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void LogTime(const char* step, long since) {
    LogLine(DiagLog::kMessage, "%s time count is %ld", step, TickCount() - since);
}

// Where the next block starts and ends for a boundary, found once per step.
struct Delimiters {
    size_t start = npos;
    size_t next = npos;
};

Delimiters FindDelimiters(std::string_view text, std::string_view boundary) {
    Delimiters d;
    if (boundary.empty() || text.empty()) return d;
    d.start = text.find(boundary);
    if (d.start != npos) d.next = text.find(boundary, d.start + 1);
    return d;
}

void CutBlock(std::string_view& text, std::string_view& block, std::string_view boundary,
              const Delimiters& d) {
    block = {};
    if (boundary.empty()) {
        block = text;
        text = {};
        return;
    }
    if (text.empty()) return;
    if (d.start == npos || d.next == npos) {
        text = {};
        return;
    }
    block = text.substr(d.start, d.next - d.start);
    const std::string_view after = text.substr(d.next + boundary.size());
    if (after.starts_with("--")) {
        text = {};  // closing delimiter: the epilogue is dropped
    } else {
        text.remove_prefix(d.next);
    }
}

// The head of a part: up to its first empty line, but never into the next part of its level
// and never beyond kMaxPartHeaderBytes, so that a part without an empty line cannot make
// every later step re-read the rest of the letter.
std::string_view HeaderRegion(std::string_view text, const Delimiters& d) {
    size_t limit = std::min(text.size(), kMaxPartHeaderBytes);
    if (d.next != npos) limit = std::min(limit, d.next);
    const std::string_view region = text.substr(0, limit);
    return region.substr(0, region.find("\r\n\r\n"));
}

// Where `key` starts as a whole name: a field name ("content-type:") at a line start, a
// parameter name ("name=") not as the tail of a longer one ("filename=").
size_t FindKey(std::string_view lower, std::string_view key) {
    const bool field = !key.empty() && key.back() == ':';
    for (size_t at = lower.find(key); at != npos; at = lower.find(key, at + 1)) {
        if (at == 0) return at;
        const char before = lower[at - 1];
        const bool partOfName = (before >= 'a' && before <= 'z') ||
                                (before >= '0' && before <= '9') || before == '-' ||
                                before == '_' || before == '*' || before == '.';
        if (field ? before == '\n' : !partOfName) return at;
    }
    return npos;
}

std::string ParamValue(std::string_view text, std::string_view lower, std::string_view key) {
    const size_t at = FindKey(lower, key);
    return at == npos ? std::string() : HeaderParamValue(text, at + key.size());
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = AsciiLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A parameter in its extended form: key*=charset'language'%XX... or split over key*0=,
// key*1*=, ... Many senders write file names this way only.
std::string ExtendedParam(std::string_view text, std::string_view lower, std::string_view key,
                          const CMailCodec& codec) {
    constexpr int kMaxSections = 64;
    std::string value;
    std::string charset;
    bool found = false;
    for (int section = -1; section < kMaxSections; ++section) {
        const std::string stem =
            std::string(key) + "*" + (section < 0 ? "" : std::to_string(section));
        const bool encoded = FindKey(lower, stem + (section < 0 ? "=" : "*=")) != npos;
        const std::string full = stem + (section < 0 ? "=" : encoded ? "*=" : "=");
        const size_t at = FindKey(lower, full);
        if (at == npos) {
            if (section < 0) continue;
            break;
        }
        std::string piece = ParamValue(text, lower, full);
        if (encoded || section < 0) {
            if (!found) {
                // The first encoded piece names its charset and language.
                const size_t first = piece.find('\'');
                const size_t second = first == npos ? npos : piece.find('\'', first + 1);
                if (second != npos) {
                    charset = piece.substr(0, first);
                    piece.erase(0, second + 1);
                }
            }
            piece = PercentDecode(piece);
        }
        value += piece;
        found = true;
        if (section < 0) break;
    }
    if (value.empty()) return value;
    return codec.DecodeText(value, "", charset);
}

bool ReadHead(std::string_view header, MailPartHead& head, const CMailCodec& codec) {
    if (FindNoCase(header, "content-type:") == npos) return false;
    std::string bare;
    bare.reserve(header.size());
    for (size_t i = 0; i < header.size(); ++i) {
        // Folded lines are unfolded, so that a value written over several lines (a long
        // encoded name) reads whole.
        if (header[i] == '\r' && i + 2 < header.size() && header[i + 1] == '\n' &&
            (header[i + 2] == ' ' || header[i + 2] == '\t')) {
            i += 2;
            continue;
        }
        if (header[i] != ' ') bare += header[i];
    }
    const std::string lower = AsciiLowerCopy(bare);
    auto param = [&](std::string_view key) {
        const long since = TickCount();
        std::string value = ParamValue(bare, lower, key);
        LogTime("sField.Find(sFind)", since);
        return value;
    };
    head.contentType = param("content-type:");
    if (std::string boundary = param("boundary="); !boundary.empty())
        head.boundary = "--" + boundary;
    head.transferEncoding = param("content-transfer-encoding:");
    head.fileName = param("filename=");
    if (!head.fileName.empty()) {
        head.fileName = codec.DecodeText(head.fileName, "subject");
    } else {
        head.fileName = ExtendedParam(bare, lower, "filename", codec);
    }
    head.name = param("name=");
    if (!head.name.empty()) head.name = codec.DecodeText(head.name, "subject");
    if (head.name.empty()) head.name = ExtendedParam(bare, lower, "name", codec);
    head.disposition = param("content-disposition:");
    head.contentId = param("content-id:");
    head.typeParam = param("type=");
    head.charset = param("charset=");
    return true;
}

// Media types and dispositions compare without regard to case or surrounding blanks.
std::string Norm(std::string_view value) {
    return AsciiLowerCopy(TrimWhite(value));
}

bool IsMultipart(std::string_view type) {
    return type == "multipart/mixed" || type == "multipart/report" || type == "multipart/related" ||
           type == "multipart/alternative";
}

// Step shared by both walks: a part that names no type we know, with no boundary to cut by,
// is plain text (a letter without MIME header is a text/plain letter).
bool TakeAsPlainText(const MailPartHead& h) {
    const std::string type = Norm(h.contentType);
    return h.boundary.empty() && type != "text/plain" && type != "text/html" &&
           type != "message/delivery-status" && type != "message/rfc822" &&
           Norm(h.disposition) != "attachment" && h.contentId.empty();
}

// A text or html part shown in the letter. Parts marked "inline" are shown too: many senders
// mark every text part so.
bool IsTextPart(std::string_view type, std::string_view disposition, const MailPartHead& h) {
    return (type == "text/plain" || type == "text/html") &&
           (disposition.empty() || disposition == "inline") && h.contentId.empty();
}

// Reads the head of the rest of a level and cuts its next block in one go, finding the
// delimiters only once when the head keeps the boundary.
class Step {
  public:
    Step(MailPartHead& head, std::string_view& text) : head(head), text(text) {}

    void ReadHead(const CMailCodec& codec) {
        const long since = TickCount();
        delims_ = FindDelimiters(text, head.boundary);
        boundaryUsed_ = head.boundary;
        korvo::ReadHead(HeaderRegion(text, delims_), head, codec);
        LogTime("mailGetContent", since);
    }

    std::string_view Cut() {
        if (head.boundary != boundaryUsed_) delims_ = FindDelimiters(text, head.boundary);
        std::string_view block;
        CutBlock(text, block, head.boundary, delims_);
        return block;
    }

  private:
    MailPartHead& head;
    std::string_view& text;
    Delimiters delims_;
    std::string boundaryUsed_;
};

struct ProcessState {
    baseDataStruct* node;
    const CMailCodec& codec;
    bool readText;
    bool flagSet[5] = {};
    std::string filenames;  // as found in the node, then each attachment name and ";"
    int attachments = 0;
};

enum Flag { kHaveText, kHaveHtml, kHaveAttachment, kHaveMessage, kHaveError };
constexpr const char* kFlagKeys[5] = {"haveText", "haveHtml", "haveAttachment", "haveMessage",
                                      "haveError"};

void SetFlag(ProcessState& st, Flag flag) {
    if (st.flagSet[flag]) return;
    st.flagSet[flag] = true;
    setinfo(st.node, kThisNode, kFlagKeys[flag], "yes");
}

baseDataStruct* AddPart(ProcessState& st, std::string text, std::string_view data) {
    baseDataStruct* son = AddSonText(st.node, std::move(text));
    setinfo(son, kThisNode, "SDATA", data);
    return son;
}

void AddTextPart(ProcessState& st, std::string_view block, const MailPartHead& h, bool html) {
    AddPart(st, html ? "type =text ,style =html" : "type =text ,style =text",
            st.codec.DecodeBody(block, h.transferEncoding, h.charset, html));
    SetFlag(st, html ? kHaveHtml : kHaveText);
}

void Process(std::string_view text, ProcessState& st, int depth) {
    const long start = TickCount();
    LogLine(DiagLog::kMessage,
            "++CSysMailBox::mailProcess(sText=... , *ptMailData=%p , bReadText=%s) begin",
            static_cast<void*>(st.node), st.readText ? "true" : "false");
    MailPartHead h;
    Step step{h, text};
    if (depth > kMaxMimeDepth && !text.empty()) {
        // Too deep to follow: the rest is shown as text.
        AddTextPart(st, text, h, false);
        text = {};
    }
    while (!text.empty()) {
        step.ReadHead(st.codec);
        if (TakeAsPlainText(h)) h.contentType = "text/plain";
        const std::string type = Norm(h.contentType);
        const std::string disposition = Norm(h.disposition);

        if (IsMultipart(type)) {
            const std::string_view block = step.Cut();
            LogTime("mailGetContentBlock multipart/mixed", start);
            Process(block, st, depth + 1);
            LogTime("mailProcess", start);
            continue;
        }
        if (IsTextPart(type, disposition, h)) {
            AddTextPart(st, step.Cut(), h, type == "text/html");
            continue;
        }
        if (type == "message/delivery-status") {
            AddPart(st, "type =message", step.Cut());
            SetFlag(st, kHaveMessage);
        } else if (disposition == "attachment") {
            const std::string_view block = step.Cut();
            LogTime("mailGetContentBlock attachment", start);
            LogTime("mailGetContentBlock end", start);
            AddPart(st,
                    "type =attachment ,fileName =" + encodeinfo(h.fileName) +
                        " ,transferEncoding =" + encodeinfo(h.transferEncoding),
                    block);
            SetFlag(st, kHaveAttachment);
            st.filenames += h.fileName;
            st.filenames += ';';
            // The first name fixes the key's place in the property text; the rest is written
            // once at the end, so many attachments do not rewrite a growing text each time.
            if (st.attachments++ == 0) setinfo(st.node, kThisNode, "filename", st.filenames);
        } else if (!h.contentId.empty()) {
            AddPart(st,
                    "type =cid ,fileName =" + encodeinfo(h.name) +
                        " ,transferEncoding =" + encodeinfo(h.transferEncoding),
                    step.Cut());
        } else if (type == "message/rfc822") {
            AddPart(st, "type =rfc822.eml ,transferEncoding =" + encodeinfo(h.transferEncoding),
                    step.Cut());
        } else if (type.empty() || h.boundary.empty()) {
            AddPart(st, "type =text ,style =error", step.Cut());
            SetFlag(st, kHaveError);
            break;
        } else {
            Process(step.Cut(), st, depth + 1);
        }
    }
    LogTime("mailProcess end", start);
    LogLine(DiagLog::kMessage, "--CSysMailBox::mailProcess over");
}

int TestAttachment(std::string_view text, int depth) {
    LogLine(DiagLog::kMessage, "++CSysMailBox::mailTestAttachment(sMailText=...) begin");
    int result = 0;
    MailPartHead h;
    Step step{h, text};
    if (depth > kMaxMimeDepth) text = {};
    while (!text.empty()) {
        step.ReadHead(DefaultMailCodec());
        if (TakeAsPlainText(h)) {
            h.contentType = "text/plain";
            result = 0;
        }
        const std::string type = Norm(h.contentType);
        const std::string disposition = Norm(h.disposition);
        if (IsMultipart(type)) {
            // An attachment found inside a nested part counts for the whole letter.
            if (TestAttachment(step.Cut(), depth + 1) == 1) {
                result = 1;
                break;
            }
            result = 2;
            continue;
        }
        if (IsTextPart(type, disposition, h)) {
            step.Cut();
            result = 0;
            continue;
        }
        if (type == "message/delivery-status" || disposition == "attachment") {
            result = 1;
            break;
        }
        if (!h.contentId.empty()) {
            step.Cut();
            result = 0;
            continue;
        }
        if (type == "message/rfc822") {
            result = 1;
            break;
        }
        if (type.empty() || h.boundary.empty()) break;
        if (TestAttachment(step.Cut(), depth + 1) == 1) {
            result = 1;
            break;
        }
    }
    LogLine(DiagLog::kMessage, "--CSysMailBox::mailTestAttachment over");
    return result;
}

}  // namespace

std::string_view WithCrLfLineEnds(std::string_view text, std::string& storage) {
    if (text.find("\r\n") != npos || text.find('\n') == npos) return text;
    storage.clear();
    storage.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') storage += '\r';
        storage += c;
    }
    return storage;
}

std::string mailGetContent(std::string_view text, MailPartHead& head, const CMailCodec& codec) {
    return ReadHead(HeaderRegion(text, Delimiters{}), head, codec) ? "0" : "-1";
}

void mailGetContentBlock(std::string_view& text, std::string_view& block,
                         std::string_view boundary) {
    const long since = TickCount();
    CutBlock(text, block, boundary, FindDelimiters(text, boundary));
    LogTime("sBlock = sMailText.Mid", since);
}

void mailProcess(std::string_view text, baseDataStruct* node, bool readText,
                 const CMailCodec& codec) {
    std::string storage;
    text = WithCrLfLineEnds(text, storage);
    ProcessState st{node, codec, readText, {}, {}, 0};
    const std::string before = getinfo(node, kThisNode, "filename");
    if (before != kAbsent) st.filenames = before;
    Process(text, st, 0);
    if (st.attachments > 1) setinfo(node, kThisNode, "filename", st.filenames);
}

int mailTestAttachment(std::string_view text) {
    std::string storage;
    return TestAttachment(WithCrLfLineEnds(text, storage), 0);
}

}  // namespace korvo
