#include "platform/private_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace korvo {
namespace {

bool IsPlainName(std::string_view part) {
    return !part.empty() && part != "." && part != "..";
}

// Splits "a/b/c" into "a/b" and "c".
std::pair<std::string_view, std::string_view> SplitLeaf(std::string_view relative) {
    const size_t slash = relative.rfind('/');
    if (slash == std::string_view::npos) return {{}, relative};
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

// The folder `relative` below `dir`, each part opened without following a link; missing parts
// are made 0700 when `create`.
UniqueFd OpenFolder(const std::string& dir, std::string_view relative, bool create) {
    if (dir.empty()) {
        errno = ENOENT;
        return {};
    }
    UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    while (folder && !relative.empty()) {
        const size_t slash = relative.find('/');
        const std::string part(relative.substr(0, slash));
        relative =
            slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
        if (part.empty()) continue;
        if (!IsPlainName(part)) {
            errno = EINVAL;
            return {};
        }
        if (create && ::mkdirat(folder.get(), part.c_str(), 0700) != 0 && errno != EEXIST)
            return {};
        folder = UniqueFd(
            ::openat(folder.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return folder;
}

UniqueFd OpenIn(int folder, const std::string& leaf, PrivateOpen how) {
    // O_NONBLOCK keeps a FIFO planted at the name from blocking the open; it is refused below.
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    if (how == PrivateOpen::kReplace) flags |= O_TRUNC;
    if (how == PrivateOpen::kAppend) flags |= O_APPEND;
    if (how == PrivateOpen::kCreateNew) flags |= O_EXCL;
    UniqueFd file(::openat(folder, leaf.c_str(), flags, 0600));
    if (!file) return file;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(file.get(), F_SETFL, flags & O_APPEND) != 0) {
        errno = EINVAL;
        return {};
    }
    return file;
}

// Removes what `folder` holds, depth first; the number of its own entries removed.
int RemoveEntries(int folder) {
    const int listFd = ::dup(folder);
    DIR* list = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!list) {
        if (listFd >= 0) ::close(listFd);
        return 0;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(list)) {
        if (IsPlainName(entry->d_name)) names.emplace_back(entry->d_name);
    }
    ::closedir(list);
    int removed = 0;
    for (const std::string& name : names) {
        if (::unlinkat(folder, name.c_str(), 0) == 0) {
            ++removed;
            continue;
        }
        if (errno != EISDIR) continue;
        UniqueFd sub(
            ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!sub) continue;
        RemoveEntries(sub.get());
        if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0) ++removed;
    }
    return removed;
}

}  // namespace

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool UniqueFd::Close() {
    if (fd_ < 0) return false;
    // Keeps errno of a failure that led here: callers report that one.
    const int saved = errno;
    const bool closed = ::close(std::exchange(fd_, -1)) == 0;
    if (closed) errno = saved;
    return closed;
}

UniqueFd OpenPrivateFile(const std::string& dir, std::string_view relative, PrivateOpen how) {
    const auto [parent, leaf] = SplitLeaf(relative);
    if (!IsPlainName(leaf)) {
        errno = EINVAL;
        return {};
    }
    const UniqueFd folder = OpenFolder(dir, parent, true);
    if (!folder) return {};
    return OpenIn(folder.get(), std::string(leaf), how);
}

bool WritePrivateFile(const std::string& dir, std::string_view relative, std::string_view bytes) {
    UniqueFd file = OpenPrivateFile(dir, relative, PrivateOpen::kReplace);
    return file && WriteAll(file.get(), bytes) && file.Close();
}

std::string NumberedFileName(const std::string& name, int n) {
    if (n <= 1) return name;
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    return stem + " (" + std::to_string(n) + ")" + extension;
}

UniqueFd CreateFreshPrivateFile(const std::string& dir, std::string_view folder,
                                const std::string& name, std::string* made) {
    if (!IsPlainName(name) || name.find('/') != std::string::npos) {
        errno = EINVAL;
        return {};
    }
    const UniqueFd parent = OpenFolder(dir, folder, true);
    if (!parent) return {};
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate = NumberedFileName(name, n);
        UniqueFd file = OpenIn(parent.get(), candidate, PrivateOpen::kCreateNew);
        if (file) {
            std::string path(folder);
            if (!path.empty() && path.back() != '/') path += '/';
            if (made) *made = path + candidate;
            return file;
        }
        if (errno != EEXIST) return {};
    }
    errno = EEXIST;
    return {};
}

bool RemovePrivateFile(const std::string& dir, std::string_view relative) {
    const auto [parent, leaf] = SplitLeaf(relative);
    if (!IsPlainName(leaf)) return false;
    const UniqueFd folder = OpenFolder(dir, parent, false);
    return folder && ::unlinkat(folder.get(), std::string(leaf).c_str(), 0) == 0;
}

int EmptyPrivateFolder(const std::string& dir, std::string_view relative) {
    const UniqueFd folder = OpenFolder(dir, relative, false);
    return folder ? RemoveEntries(folder.get()) : 0;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace korvo
