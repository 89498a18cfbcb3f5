// mbox files and single letters come from other programs and from anyone who sends mail: the
// reader must finish on any bytes, give letters with CRLF line ends, and read back what it
// read once written out again as an mbox file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "content/mail_archive.h"

using namespace korvo;

namespace {

// Small, so that the limit's own path is fuzzed too.
constexpr size_t kMaxLetter = 1 << 16;

const std::string& ScratchPath() {
    static const std::string path = [] {
        char name[] = "/tmp/korvo-archive-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) abort();
        close(fd);
        return std::string(name);
    }();
    return path;
}

void WriteScratch(const uint8_t* data, size_t size) {
    FILE* file = fopen(ScratchPath().c_str(), "wb");
    if (!file || fwrite(data, 1, size, file) != size || fclose(file) != 0) abort();
}

std::vector<ArchiveLetter> ReadAll(size_t maxLetter) {
    std::unique_ptr<ArchiveReader> reader = OpenArchive(ScratchPath(), maxLetter);
    std::vector<ArchiveLetter> letters;
    ArchiveLetter letter;
    for (;;) {
        const ArchiveRead got = reader->Next(&letter);
        if (reader->done() > reader->total()) abort();
        if (got == ArchiveRead::kEnd || got == ArchiveRead::kFailed) break;
        if (got != ArchiveRead::kLetter) continue;
        const std::string& text = letter.text;
        if (text.empty()) abort();
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) abort();
        }
        letters.push_back(std::move(letter));
        letter = ArchiveLetter();
    }
    return letters;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteScratch(data, size);
    const std::vector<ArchiveLetter> first = ReadAll(kMaxLetter);
    if (first.empty()) return 0;

    // Written out as an mbox file and read again: the same letters with the same marks.
    std::string mbox;
    for (const ArchiveLetter& letter : first) {
        AppendMboxLetter(mbox, letter.text, EnvelopeSender(letter.text),
                         letter.receiveTime >= 0 ? letter.receiveTime : 0, letter.read,
                         letter.replied, letter.deleted);
    }
    WriteScratch(reinterpret_cast<const uint8_t*>(mbox.data()), mbox.size());
    // The mark fields added may take a letter over the first reading's limit.
    const std::vector<ArchiveLetter> again = ReadAll(2 * kMaxLetter);
    if (again.size() != first.size()) abort();
    for (size_t i = 0; i < first.size(); ++i) {
        if (again[i].text != first[i].text || again[i].read != first[i].read ||
            again[i].replied != first[i].replied || again[i].deleted != first[i].deleted) {
            abort();
        }
    }
    return 0;
}
