#include "store/store_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace korvo {
namespace {

class PosixFile : public StoreFileIo {
  public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }  // also releases the lock

    int ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override {
        auto* p = static_cast<uint8_t*>(data);
        *got = 0;
        while (*got < size) {
            const ssize_t n = ::pread(fd_, p + *got, size - *got, off_t(offset + *got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (n == 0) break;
            *got += size_t(n);
        }
        return 0;
    }

    int WriteAt(uint64_t offset, const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, p + done, size - done, off_t(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (n == 0) return EIO;
            done += size_t(n);
        }
        return 0;
    }

    int Size(uint64_t* size) override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return errno;
        *size = uint64_t(st.st_size);
        return 0;
    }

    int Truncate(uint64_t size) override {
        while (::ftruncate(fd_, off_t(size)) != 0) {
            if (errno != EINTR) return errno;
        }
        return 0;
    }

    int Sync() override {
        while (::fdatasync(fd_) != 0) {
            if (errno != EINTR) return errno;
        }
        return 0;
    }

  private:
    int fd_;
};

class PosixEnv : public StoreEnv {
  public:
    int Open(const std::string& path, bool create, std::unique_ptr<StoreFileIo>* file) override {
        // Locked before it is truncated, so a store another process has open is never emptied.
        const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
        const int fd = ::open(path.c_str(), flags, 0600);
        if (fd < 0) return errno;
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (create && ::ftruncate(fd, 0) != 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        *file = std::make_unique<PosixFile>(fd);
        return 0;
    }

    int SyncDirectory(const std::string& dir) override {
        const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        const int result = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        return result;
    }
};

std::atomic<StoreEnv*>& EnvSlot() {
    static std::atomic<StoreEnv*> env{nullptr};
    return env;
}

}  // namespace

StoreEnv& PosixStoreEnv() {
    static PosixEnv env;
    return env;
}

StoreEnv* SetStoreEnv(StoreEnv* env) {
    return EnvSlot().exchange(env);
}

StoreEnv& CurrentStoreEnv() {
    StoreEnv* env = EnvSlot().load();
    return env ? *env : PosixStoreEnv();
}

std::string StoreErrorText(int error) {
    if (error == EWOULDBLOCK) return "the file is in use by another Korvo";
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace korvo
