// A temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <sys/types.h>

#include <string>

namespace korvo::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, ending in '/'.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Sets the process data directory for the life of the object, restoring the old one after.
class ScopedDataDir {
  public:
    explicit ScopedDataDir(const std::string& dir);
    ~ScopedDataDir();

  private:
    std::string previous_;
};

// The permission bits of `path` itself (a link is not followed); 0 when it does not exist.
mode_t ModeOf(const std::string& path);

// Sets the process umask for the life of the object.
class ScopedUmask {
  public:
    explicit ScopedUmask(mode_t mask);
    ~ScopedUmask();

  private:
    mode_t previous_;
};

}  // namespace korvo::test
