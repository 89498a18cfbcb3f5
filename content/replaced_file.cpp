#include "content/replaced_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace korvo {
namespace {

constexpr size_t kFlushBytes = size_t(1) << 20;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ReplacedFile::~ReplacedFile() {
    Abandon();
}

bool ReplacedFile::Open(const std::string& path) {
    Abandon();
    error_.clear();
    path_ = path;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return Fail("cannot write " + path, EISDIR);
    // Hidden, and named after the process so that two writers never share one.
    temp_ = path.substr(0, path.size() - name.size()) + "." + name + "." +
            std::to_string(::getpid()) + ".tmp";
    const int error = CurrentStoreEnv().Open(temp_, true, &file_);
    if (error != 0) {
        file_.reset();
        return Fail("cannot create " + temp_, error);
    }
    buffer_.clear();
    offset_ = 0;
    return true;
}

bool ReplacedFile::Write(std::string_view bytes) {
    if (!file_) return false;
    buffer_.append(bytes);
    return buffer_.size() < kFlushBytes || Flush();
}

bool ReplacedFile::Flush() {
    if (buffer_.empty()) return true;
    const int error = file_->WriteAt(offset_, buffer_.data(), buffer_.size());
    if (error != 0) return Fail("cannot write " + temp_, error);
    offset_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool ReplacedFile::Commit() {
    if (!file_ || !Flush()) return false;
    if (const int error = file_->Sync(); error != 0) return Fail("cannot sync " + temp_, error);
    file_.reset();
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        return Fail("cannot rename to " + path_, error);
    }
    temp_.clear();
    // The new name is durable only once its folder is synced.
    if (const int error = CurrentStoreEnv().SyncDirectory(FolderOf(path_)); error != 0) {
        return Fail("cannot sync the folder of " + path_, error);
    }
    return true;
}

bool ReplacedFile::Fail(const std::string& what, int error) {
    if (error_.empty()) error_ = what + ": " + StoreErrorText(error);
    Abandon();
    return false;
}

void ReplacedFile::Abandon() {
    file_.reset();
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    buffer_.clear();
}

}  // namespace korvo
