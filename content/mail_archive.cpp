#include "content/mail_archive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "content/mail_header.h"
#include "platform/private_file.h"
#include "platform/string_format.h"

namespace korvo {
namespace {

constexpr size_t kBufferBytes = size_t(1) << 20;
constexpr std::string_view kEnvelope = "From ";

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (AsciiLower(text[i]) != lowerPrefix[i]) return false;
    }
    return true;
}

// ">From ", ">>From ", ...: a line a writer quoted (mboxrd).
bool IsQuotedEnvelope(std::string_view line) {
    const size_t marks = line.find_first_not_of('>');
    return marks != std::string_view::npos && marks > 0 &&
           line.substr(marks).substr(0, kEnvelope.size()) == kEnvelope;
}

// A file read in pieces of at most kBufferBytes: whole lines where they fit, so that memory
// stays bounded by the buffer whatever the line lengths are.
class LineSource {
  public:
    bool Open(const std::string& path, std::string* error) {
        fd_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (!fd_ || fstat(fd_.get(), &st) != 0) {
            *error = path + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            *error = path + ": not a regular file";
            return false;
        }
        total_ = uint64_t(st.st_size);
        mtime_ = st.st_mtime;
        buffer_.resize(kBufferBytes);
        return true;
    }

    // The next piece of text without its line end (and without the CR of a CRLF end).
    // `start`: the piece begins a line; `end`: the line ends with it. False at the end of the
    // file or on a read error (error() not empty).
    bool Next(std::string_view* piece, bool* start, bool* end) {
        for (;;) {
            const char* from = buffer_.data() + pos_;
            const void* nl = std::memchr(from, '\n', end_ - pos_);
            if (nl) {
                const size_t length = static_cast<const char*>(nl) - from;
                return Give(piece, start, end, length, length + 1, true);
            }
            if (!eof_ && end_ - pos_ < buffer_.size()) {
                Fill();
                continue;
            }
            if (pos_ == end_) return false;
            // A full buffer without line end, or a last line without one.
            return Give(piece, start, end, end_ - pos_, end_ - pos_, eof_);
        }
    }

    const std::string& error() const { return error_; }
    uint64_t done() const { return done_; }
    uint64_t total() const { return total_; }
    time_t mtime() const { return mtime_; }

  private:
    bool Give(std::string_view* piece, bool* start, bool* end, size_t length, size_t used,
              bool lineEnds) {
        *piece = std::string_view(buffer_.data() + pos_, length);
        // Every CR before the line end goes: a stray one would read back as a line of its own
        // once the letter is written out with plain line ends.
        while (lineEnds && !piece->empty() && piece->back() == '\r') piece->remove_suffix(1);
        *start = atLineStart_;
        *end = lineEnds;
        atLineStart_ = lineEnds;
        pos_ += used;
        return true;
    }

    void Fill() {
        if (pos_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        for (;;) {
            const ssize_t got = ::read(fd_.get(), buffer_.data() + end_, buffer_.size() - end_);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error_ = std::strerror(errno);
            if (got <= 0) {
                eof_ = true;
                return;
            }
            end_ += size_t(got);
            done_ += uint64_t(got);
            return;
        }
    }

    UniqueFd fd_;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool atLineStart_ = true;
    std::string error_;
    uint64_t done_ = 0;
    uint64_t total_ = 0;
    time_t mtime_ = -1;
};

// Puts a letter together from pieces of lines: CRLF ends, Status and X-Status taken from the
// header into marks, nothing kept past the size limit.
class LetterBuilder {
  public:
    explicit LetterBuilder(size_t max) : max_(max) {}

    void Reset() {
        letter_ = ArchiveLetter();
        inHeader_ = true;
        tooLarge_ = false;
        dropping_ = false;
    }

    void Add(std::string_view piece, bool start, bool end) {
        if (start) {
            dropping_ = false;
            if (inHeader_) {
                if (end && piece.empty()) {
                    inHeader_ = false;
                } else if (end && TakeStatus(piece)) {
                    dropping_ = true;  // a folded continuation of it goes too
                    return;
                } else if (!piece.empty() && (piece[0] == ' ' || piece[0] == '\t')) {
                    if (dropping_) return;
                }
            }
        } else if (dropping_) {
            return;
        }
        if (tooLarge_) return;
        if (letter_.text.size() + piece.size() + 2 > max_) {
            tooLarge_ = true;
            letter_.text = std::string();  // gives the memory back
            return;
        }
        letter_.text.append(piece);
        if (end) letter_.text.append("\r\n");
    }

    bool tooLarge() const { return tooLarge_; }
    // Nothing but mark fields is no letter either.
    bool empty() const { return letter_.text.empty(); }
    ArchiveLetter& letter() { return letter_; }

  private:
    // Status / X-Status: the marks, and the line stays out of the letter.
    bool TakeStatus(std::string_view line) {
        std::string_view value;
        bool extended;
        if (StartsWithNoCase(line, "status:")) {
            value = line.substr(7);
            extended = false;
        } else if (StartsWithNoCase(line, "x-status:")) {
            value = line.substr(9);
            extended = true;
        } else {
            return false;
        }
        for (char c : value) {
            if (!extended && c == 'R') letter_.read = true;
            if (extended && c == 'A') letter_.replied = true;
            if (extended && c == 'D') letter_.deleted = true;
        }
        return true;
    }

    const size_t max_;
    ArchiveLetter letter_;
    bool inHeader_ = true;
    bool tooLarge_ = false;
    bool dropping_ = false;
};

std::string SizeText(size_t max) {
    return StrPrintf("a letter larger than %zu bytes was skipped", max);
}

class FailedReader : public ArchiveReader {
  public:
    explicit FailedReader(std::string error) : error_(std::move(error)) {}
    ArchiveRead Next(ArchiveLetter*) override {
        if (told_) return ArchiveRead::kEnd;
        told_ = true;
        return ArchiveRead::kFailed;
    }
    std::string error() const override { return error_; }
    uint64_t done() const override { return 0; }
    uint64_t total() const override { return 0; }

  private:
    std::string error_;
    bool told_ = false;
};

class MboxReader : public ArchiveReader {
  public:
    MboxReader(LineSource source, size_t max)
        : source_(std::move(source)), builder_(max), max_(max) {}

    ArchiveRead Next(ArchiveLetter* out) override {
        if (ended_) return ArchiveRead::kEnd;
        if (!inLetter_) {
            // Text before the first envelope line belongs to no letter.
            bool junk = false;
            for (;;) {
                if (!Read())
                    return End(junk ? Skip("text without a \"From \" line") : ArchiveRead::kEnd);
                if (start_ && piece_.substr(0, kEnvelope.size()) == kEnvelope) break;
                junk = true;
            }
            Begin();
            if (junk) return Skip("text without a \"From \" line");
        }
        for (;;) {
            if (!Read()) {
                const ArchiveRead result = Finish(out);
                return result == ArchiveRead::kSkipped ? result : End(result);
            }
            if (start_ && piece_.substr(0, kEnvelope.size()) == kEnvelope) {
                const ArchiveRead result = Finish(out);
                Begin();
                return result;
            }
            if (inEnvelope_) {
                inEnvelope_ = !end_;
                continue;
            }
            if (start_ && end_ && piece_.empty()) {
                // Held back: the blank line before an envelope line is the writer's.
                if (blankHeld_) builder_.Add({}, true, true);
                blankHeld_ = true;
                continue;
            }
            if (blankHeld_) {
                builder_.Add({}, true, true);
                blankHeld_ = false;
            }
            if (start_ && IsQuotedEnvelope(piece_)) piece_.remove_prefix(1);
            builder_.Add(piece_, start_, end_);
        }
    }

    std::string error() const override { return error_; }
    uint64_t done() const override { return source_.done(); }
    uint64_t total() const override { return source_.total(); }

  private:
    bool Read() { return source_.Next(&piece_, &start_, &end_); }

    void Begin() {
        inLetter_ = true;
        envelope_.assign(piece_.substr(0, 256));
        inEnvelope_ = !end_;
        blankHeld_ = false;
        builder_.Reset();
    }

    ArchiveRead Skip(std::string why) {
        error_ = std::move(why);
        return ArchiveRead::kSkipped;
    }

    ArchiveRead End(ArchiveRead result) {
        inLetter_ = false;
        if (!source_.error().empty()) {
            error_ = source_.error();
            ended_ = true;
            return ArchiveRead::kFailed;
        }
        if (result == ArchiveRead::kEnd) ended_ = true;
        return result;
    }

    // The letter read since its envelope line.
    ArchiveRead Finish(ArchiveLetter* out) {
        inLetter_ = false;
        if (builder_.tooLarge()) return Skip(SizeText(max_));
        if (builder_.empty()) return Skip("an empty letter");
        *out = std::move(builder_.letter());
        out->receiveTime = EnvelopeTime(envelope_);
        if (out->receiveTime < 0) out->receiveTime = source_.mtime();
        return ArchiveRead::kLetter;
    }

    LineSource source_;
    LetterBuilder builder_;
    const size_t max_;
    std::string_view piece_;
    bool start_ = false;
    bool end_ = false;
    bool inLetter_ = false;
    bool inEnvelope_ = false;
    bool blankHeld_ = false;
    bool ended_ = false;
    std::string envelope_;
    std::string error_;
};

// One letter from one whole file (.eml, a Maildir file).
ArchiveRead ReadWholeFile(const std::string& path, size_t max, ArchiveLetter* out,
                          std::string* error) {
    LineSource source;
    if (!source.Open(path, error)) return ArchiveRead::kSkipped;
    LetterBuilder builder(max);
    std::string_view piece;
    bool start, end;
    while (source.Next(&piece, &start, &end)) builder.Add(piece, start, end);
    if (!source.error().empty()) {
        *error = path + ": " + source.error();
        return ArchiveRead::kSkipped;
    }
    if (builder.tooLarge()) {
        *error = path + ": " + SizeText(max);
        return ArchiveRead::kSkipped;
    }
    if (builder.empty()) {
        *error = path + ": an empty letter";
        return ArchiveRead::kSkipped;
    }
    *out = std::move(builder.letter());
    out->receiveTime = source.mtime();
    return ArchiveRead::kLetter;
}

class EmlReader : public ArchiveReader {
  public:
    EmlReader(std::string path, size_t max) : path_(std::move(path)), max_(max) {}
    ArchiveRead Next(ArchiveLetter* out) override {
        if (read_) return ArchiveRead::kEnd;
        read_ = true;
        const ArchiveRead result = ReadWholeFile(path_, max_, out, &error_);
        return result == ArchiveRead::kLetter ? result : ArchiveRead::kFailed;
    }
    std::string error() const override { return error_; }
    uint64_t done() const override { return read_ ? 1 : 0; }
    uint64_t total() const override { return 1; }

  private:
    std::string path_;
    size_t max_;
    bool read_ = false;
    std::string error_;
};

std::vector<std::string> FolderFiles(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* entry = readdir(d)) {
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

class MaildirReader : public ArchiveReader {
  public:
    MaildirReader(const std::string& dir, size_t max) : max_(max) {
        // cur/ before new/: the order in which the letters arrived, as far as the names tell.
        for (const char* part : {"/cur/", "/new/"}) {
            for (std::string& name : FolderFiles(dir + part)) {
                files_.push_back({dir + part + name, std::move(name), part[1] == 'n'});
            }
        }
    }
    ArchiveRead Next(ArchiveLetter* out) override {
        if (next_ >= files_.size()) return ArchiveRead::kEnd;
        const File& file = files_[next_++];
        const ArchiveRead result = ReadWholeFile(file.path, max_, out, &error_);
        if (result == ArchiveRead::kLetter && !file.isNew) MaildirFlags(file.name, out);
        return result;
    }
    std::string error() const override { return error_; }
    uint64_t done() const override { return next_; }
    uint64_t total() const override { return files_.size(); }

  private:
    struct File {
        std::string path;
        std::string name;
        bool isNew;
    };
    std::vector<File> files_;
    size_t next_ = 0;
    size_t max_;
    std::string error_;
};

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::unique_ptr<ArchiveReader> OpenArchive(const std::string& path, size_t maxLetter) {
    if (IsDirectory(path)) {
        if (!IsDirectory(path + "/cur") && !IsDirectory(path + "/new")) {
            return std::make_unique<FailedReader>(path + ": a folder without cur/ or new/");
        }
        return std::make_unique<MaildirReader>(path, maxLetter);
    }
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && AsciiLowerCopy(path.substr(dot)) == ".eml") {
        return std::make_unique<EmlReader>(path, maxLetter);
    }
    LineSource source;
    std::string error;
    if (!source.Open(path, &error)) return std::make_unique<FailedReader>(error);
    return std::make_unique<MboxReader>(std::move(source), maxLetter);
}

void MaildirFlags(std::string_view fileName, ArchiveLetter* letter) {
    const size_t info = fileName.rfind(":2,");
    if (info == std::string_view::npos) return;
    for (char c : fileName.substr(info + 3)) {
        if (c == 'S') letter->read = true;
        if (c == 'R') letter->replied = true;
        if (c == 'T') letter->deleted = true;
    }
}

time_t EnvelopeTime(std::string_view fromLine) {
    if (fromLine.substr(0, kEnvelope.size()) != kEnvelope) return -1;
    std::string_view rest = TrimWhite(fromLine.substr(kEnvelope.size()));
    const size_t space = rest.find(' ');
    if (space == std::string_view::npos) return -1;
    const std::string date(TrimWhite(rest.substr(space)));
    tm when{};
    const char* end = strptime(date.c_str(), "%a %b %d %H:%M:%S %Y", &when);
    if (!end) return -1;
    return timegm(&when);
}

std::string EnvelopeSender(std::string_view raw) {
    const size_t blank = raw.find("\r\n\r\n");
    const std::string_view header =
        raw.substr(0, blank == std::string_view::npos ? raw.size() : blank + 2);
    for (const char* field : {"Return-Path", "From"}) {
        std::string address = GetAddressEmail(MailGetHeaderItem(header, field));
        if (!address.empty() && address.find_first_of(" \t\r\n") == std::string::npos)
            return address;
    }
    return "MAILER-DAEMON";
}

void AppendMboxLetter(std::string& out, std::string_view raw, std::string_view sender, time_t when,
                      bool read, bool replied, bool deleted) {
    tm utc{};
    if (when < 0) when = 0;
    gmtime_r(&when, &utc);
    char date[64];
    strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y", &utc);
    out += "From ";
    out += sender;
    out += ' ';
    out += date;
    out += '\n';

    auto marks = [&] {
        if (read) out += "Status: RO\n";
        if (replied || deleted) {
            out += "X-Status: ";
            if (replied) out += 'A';
            if (deleted) out += 'D';
            out += '\n';
        }
    };
    bool inHeader = true;
    bool dropping = false;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t nl = raw.find('\n', pos);
        const bool hasEnd = nl != std::string_view::npos;
        if (!hasEnd) nl = raw.size();
        std::string_view line = raw.substr(pos, nl - pos);
        pos = nl + 1;
        if (hasEnd && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (inHeader) {
            if (line.empty()) {
                marks();
                inHeader = false;
            } else if (StartsWithNoCase(line, "status:") || StartsWithNoCase(line, "x-status:")) {
                dropping = true;
                continue;
            } else if (dropping && (line[0] == ' ' || line[0] == '\t')) {
                continue;
            } else {
                dropping = false;
            }
        }
        if (line.substr(0, kEnvelope.size()) == kEnvelope || IsQuotedEnvelope(line)) out += '>';
        out += line;
        out += '\n';
    }
    if (inHeader) marks();
    out += '\n';
}

}  // namespace korvo
