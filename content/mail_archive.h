// Letters in the files other mail programs keep: mbox files, Maildir folders and single .eml
// files, read one letter at a time, and the mbox form of a letter for writing one.
//
// Reading streams the file: memory stays bounded by the largest letter taken (kMaxLetterBytes),
// whatever the file holds. Every letter comes out as its raw text with CRLF line ends and at
// least one line, the mailbox-state fields Status and X-Status taken out of its header and
// turned into marks.
//
// mbox: a letter starts at every line beginning "From " (the envelope line, which is not part
// of the letter); ">From ", ">>From " ... lose one ">" (mboxrd; for an mboxo file this restores
// the lines its writer quoted). The blank line a writer puts before the next envelope line is
// not part of the letter. Text before the first envelope line is no letter.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// Letters above this size are skipped, not taken in part.
inline constexpr size_t kMaxLetterBytes = size_t(64) << 20;

struct ArchiveLetter {
    std::string text;  // CRLF line ends, without Status / X-Status
    bool read = false;
    bool replied = false;
    bool deleted = false;
    time_t receiveTime = -1;  // -1: not known
};

// What a reader gave.
enum class ArchiveRead {
    kLetter,   // *letter holds the next letter
    kSkipped,  // a letter (or text that is no letter) was passed over; error() says why
    kEnd,      // nothing more
    kFailed,   // the file cannot be read; error() says why
};

class ArchiveReader {
  public:
    virtual ~ArchiveReader() = default;
    virtual ArchiveRead Next(ArchiveLetter* letter) = 0;
    virtual std::string error() const = 0;
    // Bytes of the source read so far and in all (for a progress bar).
    virtual uint64_t done() const = 0;
    virtual uint64_t total() const = 0;
};

// A reader for `path`: a Maildir folder (with cur/ or new/), an mbox file (first line
// "From "), otherwise a single letter. Never null; a path that cannot be read gives a reader
// whose first Next is kFailed.
std::unique_ptr<ArchiveReader> OpenArchive(const std::string& path,
                                           size_t maxLetter = kMaxLetterBytes);

// The marks of a Maildir file name's info part (":2," followed by flag letters).
void MaildirFlags(std::string_view fileName, ArchiveLetter* letter);

// The time of an mbox envelope line ("From sender Thu Dec  8 19:13:13 2026", taken as UTC);
// -1 when it has none.
time_t EnvelopeTime(std::string_view fromLine);

// Appends the mbox form of `raw` (CRLF or LF line ends): the envelope line with `sender` and
// `when`, the header with fresh Status / X-Status fields for the marks, the lines mboxrd-quoted
// with LF ends, a line end if the letter lacks one and the blank separator line.
void AppendMboxLetter(std::string& out, std::string_view raw, std::string_view sender, time_t when,
                      bool read, bool replied, bool deleted);

// The envelope sender of a letter: the Return-Path address, else the From address, else
// "MAILER-DAEMON". Never holds a blank.
std::string EnvelopeSender(std::string_view raw);

}  // namespace korvo
