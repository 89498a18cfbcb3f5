// A file that appears under its name only once all of it is on the disk: written to a temporary
// name in the same folder through the store environment (store/store_io.h, so that tests can
// fail any write or sync), synced, renamed over the name, and the folder synced. A failure
// removes the temporary file and leaves whatever had the name before untouched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/store_io.h"

namespace korvo {

class ReplacedFile {
  public:
    ReplacedFile() = default;
    ~ReplacedFile();
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;

    // Starts the temporary file beside `path`.
    bool Open(const std::string& path);
    // Appends (buffered); false once anything failed.
    bool Write(std::string_view bytes);
    // Writes the rest, syncs, renames and syncs the folder. False on any failure: the name is
    // then as it was.
    bool Commit();

    // Why it failed ("cannot write /x/.y.tmp: No space left on device").
    const std::string& error() const { return error_; }

  private:
    bool Flush();
    bool Fail(const std::string& what, int error);
    void Abandon();

    std::unique_ptr<StoreFileIo> file_;
    std::string path_;
    std::string temp_;
    std::string buffer_;
    uint64_t offset_ = 0;
    std::string error_;
};

}  // namespace korvo
