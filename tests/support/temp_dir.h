// A temporary directory for one test, removed with everything in it afterwards.
#pragma once

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

}  // namespace korvo::test
