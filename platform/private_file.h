// Files the program makes in its data directory: the log, the page files and the copies of
// attachments handed to other programs.
//
// The data directory itself is checked once at start-up (data_dir.h). Below it nothing is
// trusted to have stayed as we left it: no link is followed, neither for a folder on the way
// nor for the file; folders are made 0700 and files 0600 whatever the umask; a new temporary
// file never takes over a name that exists; only regular files are written.
#pragma once

#include <string>
#include <string_view>

namespace korvo {

// A file descriptor, closed with the object.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(UniqueFd&& other) noexcept;
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now; false when there was nothing to close or close reported an error (a
    // write that failed late).
    bool Close();

  private:
    int fd_ = -1;
};

enum class PrivateOpen {
    kReplace,    // created, or emptied when it exists
    kAppend,     // created, or written at its end
    kCreateNew,  // created; fails with EEXIST when the name is taken, link or not
};

// Opens `relative` ("Cache/html/korvo.html": below `dir`, no "." or ".." parts) for writing,
// O_CLOEXEC. Missing folders on the way are made. Fails (errno set) when any part is a link
// or the file is not a regular file; an empty `dir` fails too.
UniqueFd OpenPrivateFile(const std::string& dir, std::string_view relative, PrivateOpen how);

// Replaces the content of `relative` below `dir` with `bytes`.
bool WritePrivateFile(const std::string& dir, std::string_view relative, std::string_view bytes);

// `name` for n <= 1, else "stem (n).ext" (the extension after the last dot, none when the name
// starts with its only dot): the names tried, in order, when `name` is taken.
std::string NumberedFileName(const std::string& name, int n);

// Creates a new file named `name`, or the first free NumberedFileName, in `folder` below `dir`
// and sets `*made` to its path relative to `dir`.
UniqueFd CreateFreshPrivateFile(const std::string& dir, std::string_view folder,
                                const std::string& name, std::string* made);

// Removes the file `relative` below `dir`; a link there is removed itself. False when nothing
// was removed.
bool RemovePrivateFile(const std::string& dir, std::string_view relative);

// Removes everything inside the folder `relative` below `dir`, which stays; nothing is
// followed. Returns the number of entries removed from the folder itself.
int EmptyPrivateFolder(const std::string& dir, std::string_view relative);

// Writes all of `bytes`, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace korvo
