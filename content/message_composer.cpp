#include "content/message_composer.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>

#include "content/header_encode.h"
#include "content/mail_codec.h"
#include "platform/string_format.h"
#include "store/diag_log.h"

namespace korvo {
namespace {

constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

// A header value goes out on one line: a line break typed into a field would end the field
// early and let the rest pass for header lines of its own.
std::string OneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

bool EndsWithCrLf(std::string_view text) {
    return text.size() >= 2 && text.substr(text.size() - 2) == "\r\n";
}

// The ten letters of an id run through the 26^10 possible values by an invertible affine map,
// so consecutive counters give unrelated-looking, never repeated letters.
constexpr uint64_t kIdSpace = 141167095653376ULL;  // 26^10
constexpr uint64_t kIdFactor = 25214903917ULL;
static_assert(std::gcd(kIdFactor, kIdSpace) == 1);

}  // namespace

std::string MailDateText(std::time_t when) {
    const std::tm t = LocalTime(when);
    const char* zone = t.tm_zone ? t.tm_zone : "";
    return StrPrintf("%s, %02d %s %02d %02d:%02d:%02d %s", kDays[t.tm_wday % 7], t.tm_mday,
                     kMonths[t.tm_mon % 12], t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec, zone);
}

std::string NewMessageId(std::time_t when) {
    static std::mutex mutex;
    static uint64_t next = 0;
    static bool seeded = false;
    uint64_t counter;
    {
        std::lock_guard lock(mutex);
        if (!seeded) {
            std::random_device device;
            const uint64_t high = device();
            next = ((high << 32) ^ device() ^ static_cast<uint64_t>(when)) % kIdSpace;
            seeded = true;
        }
        counter = next;
        next = (next + 1) % kIdSpace;
    }
    uint64_t value = static_cast<uint64_t>(
        (static_cast<unsigned __int128>(counter) * kIdFactor + 12345) % kIdSpace);
    char letters[10];
    for (char& c : letters) {
        c = static_cast<char>('A' + value % 26);
        value /= 26;
    }
    const std::tm t = LocalTime(when);
    return StrPrintf("KORVO=%.10s=%04d%02d%02d%02d%02d%02d", letters, t.tm_year + 1900,
                     t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

std::string textTo64(SendParam& param, std::string_view boundary) {
    LogLine(DiagLog::kMessage, "++CNetRP::textTo64(SendParam *ptData) begin");
    // A line of a single dot would end the data of a plain-text transfer; the body is base64,
    // but the form keeps the text as it will be read.
    std::string& body = param.Body;
    size_t line = 0;
    while (line <= body.size()) {
        size_t end = body.find("\r\n", line);
        const size_t length = (end == std::string::npos ? body.size() : end) - line;
        if (length == 1 && body[line] == '.') {
            body.insert(line, 1, ' ');
            if (end != std::string::npos) ++end;
        }
        if (end == std::string::npos) break;
        line = end + 2;
    }
    std::string part = "\r\n--";
    part += boundary;
    // A text that is not ASCII is UTF-8, which its part says; ASCII letters stay as they were.
    part += IsAscii(body) ? "\r\nContent-Type: text/plain;"
                          : "\r\nContent-Type: text/plain; charset=UTF-8";
    part += "\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    part += CMailCodec::EncodeBase64(body);
    if (!EndsWithCrLf(part)) part += "\r\n";
    LogLine(DiagLog::kMessage, "--CNetRP::textTo64 over");
    return part;
}

void attach_file(const std::string& path, std::string& out, std::string_view boundary) {
    LogLine(DiagLog::kMessage,
            "++CNetRP::attach_file(LPCTSTR szContent, CString &sDestination) begin");
    out.clear();
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        LogLine(DiagLog::kMessage, "--CNetRP::attach_file over");
        return;
    }
    std::string name = path.substr(path.rfind('/') + 1);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    std::string part =
        IsAscii(name)
            ? StrPrintf(
                  "\r\n--%.*s\r\nContent-Type: application/octet-stream; file=%s\r\n"
                  "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
                  "filename=%s\r\n\r\n",
                  static_cast<int>(boundary.size()), boundary.data(), name.c_str(), name.c_str())
            // RFC 2231 for readers that know it, an encoded-word name for those that do not.
            : StrPrintf(
                  "\r\n--%.*s\r\nContent-Type: application/octet-stream%s\r\n"
                  "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment%s"
                  "\r\n\r\n",
                  static_cast<int>(boundary.size()), boundary.data(),
                  EncodeWordParam("name", name).c_str(),
                  EncodeExtendedParam("filename", name).c_str());
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) == 0 && info.st_size > 0) {
        part.reserve(part.size() + static_cast<size_t>(info.st_size) / 57 * 78 + 160);
    }
    auto chunk = std::make_unique<char[]>(kAttachChunk);
    for (;;) {
        const size_t got = std::fread(chunk.get(), 1, kAttachChunk, file.get());
        if (got > 0) {
            part += CMailCodec::EncodeBase64(std::string_view(chunk.get(), got));
            if (!EndsWithCrLf(part)) part += "\r\n";
        }
        if (got < kAttachChunk) break;
    }
    // A file that fails half way (a directory, a vanished disk) would go out cut short.
    if (std::ferror(file.get())) {
        LogLine(DiagLog::kWarning, "CNetRP::attach_file , can't read %s", path.c_str());
        LogLine(DiagLog::kMessage, "--CNetRP::attach_file over");
        return;
    }
    part += "\r\n";
    out = std::move(part);
    LogLine(DiagLog::kMessage, "--CNetRP::attach_file over");
}

namespace {

// The carried-over part after its own delimiter line, or all of it when it has none.
std::string_view AfterDelimiterLine(std::string_view raw) {
    if (!raw.starts_with("--")) return raw;
    const size_t lf = raw.find('\n');
    return lf == std::string_view::npos ? std::string_view() : raw.substr(lf + 1);
}

bool IsCarriedOver(const baseDataStruct* item) {
    return getinfo(item, kThisNode, "fileFullName") == "attachment";
}

}  // namespace

std::string CarriedOverPart(std::string_view raw, std::string_view boundary) {
    const std::string_view rest = AfterDelimiterLine(raw);
    if (rest.empty()) return {};
    std::string part = "\r\n--";
    part += boundary;
    part += "\r\n";
    part += rest;
    if (!EndsWithCrLf(part)) part += "\r\n";
    return part;
}

std::string ChooseBoundary(const SendParam& param) {
    std::string boundary(kMailBoundary);
    for (int suffix = 1;; ++suffix) {
        const std::string delimiter = "--" + boundary;
        bool clash = false;
        for (const baseDataStruct* item = param.Attachments ? param.Attachments->firstSon()
                                                            : nullptr;
             item && !clash; item = item->nextBrother()) {
            if (!IsCarriedOver(item)) continue;
            const std::string_view raw = getdata(item, "SDATA").value_or(std::string_view());
            clash = AfterDelimiterLine(raw).find(delimiter) != std::string_view::npos;
        }
        if (!clash) return boundary;
        boundary = std::string(kMailBoundary) + "_" + std::to_string(suffix);
    }
}

std::string fileTo64(const SendParam& param, std::string_view boundary) {
    LogLine(DiagLog::kMessage, "++CNetRP::fileTo64(SendParam *ptData) begin");
    std::string parts;
    for (const baseDataStruct* item = param.Attachments ? param.Attachments->firstSon() : nullptr;
         item; item = item->nextBrother()) {
        if (IsCarriedOver(item)) {
            parts += CarriedOverPart(getdata(item, "SDATA").value_or(std::string_view()), boundary);
            continue;
        }
        const std::string path = getinfo(item, kThisNode, "fileFullName");
        struct stat info {};
        if (path == kAbsent || ::stat(path.c_str(), &info) != 0) continue;
        std::string part;
        attach_file(path, part, boundary);
        parts += part;
    }
    parts += "\r\n--";
    parts += boundary;
    parts += "--\r\n";
    LogLine(DiagLog::kMessage, "--CNetRP::fileTo64 over");
    return parts;
}

std::string ComposeMessage(SendParam& param, std::time_t now) {
    const std::string boundary = ChooseBoundary(param);
    const std::string cc = param.CC.empty()
                               ? std::string()
                               : "CC:" + EncodeAddressList("CC:", OneLine(param.CC)) + "\r\n";
    std::string message = StrPrintf(
        "Date: %s\r\nFrom: %s\r\nTo: %s\r\n%sSubject: %s\r\n%sMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=%s\r\n",
        MailDateText(now).c_str(), EncodeAddressList("From: ", OneLine(param.From)).c_str(),
        EncodeAddressList("To: ", OneLine(param.To)).c_str(), cc.c_str(),
        EncodeUnstructured("Subject: ", OneLine(param.Subject)).c_str(), param.ExtraHeaders.c_str(),
        boundary.c_str());
    message += kMailerLine;
    message += textTo64(param, boundary);
    message += fileTo64(param, boundary);
    if (!EndsWithCrLf(message)) message += "\r\n";
    return message;
}

void BuildLetter(SendParam& param, std::time_t now, CBaseDataManage* mailStore) {
    std::string message = ComposeMessage(param, now);
    const std::string pointId = getinfo(param.Letter, kThisNode, "pointId");
    std::string mailId = getinfo(param.Letter, kThisNode, "MailId");
    if (mailId == kAbsent) mailId = NewMessageId(now);
    const size_t length = message.size();
    setinfo(param.Letter, kThisNode, "SDATA", message);
    setinfo(param.Letter, kThisNode, "PROPERTY",
            StrPrintf("type =letter ,pType =100 ,mailLong =%zu ,MailId =%s ,read =%d ,pointId =%s",
                      length, encodeinfo(mailId).c_str(), 1, encodeinfo(pointId).c_str()));
    mailInitProperty(param.Letter, param.Box, mailStore);
}

}  // namespace korvo
