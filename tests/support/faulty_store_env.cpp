#include "tests/support/faulty_store_env.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace korvo::test {
namespace {

constexpr uint64_t kSector = 512;

class FaultyFile : public StoreFileIo {
  public:
    FaultyFile(FaultyStoreEnv& env, std::string path, std::unique_ptr<StoreFileIo> real)
        : env_(env), path_(std::move(path)), real_(std::move(real)) {}

    int ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override {
        if (env_.off()) return EIO;
        return real_->ReadAt(offset, data, size, got);
    }
    int WriteAt(uint64_t offset, const void* data, size_t size) override {
        size_t partial = 0;
        const int error = env_.BeforeWrite(path_, *real_, offset, data, size, &partial);
        if (partial > 0) real_->WriteAt(offset, data, partial);
        if (error != 0) return error;
        return real_->WriteAt(offset, data, size);
    }
    int Size(uint64_t* size) override { return env_.off() ? EIO : real_->Size(size); }
    int Truncate(uint64_t size) override { return env_.off() ? EIO : real_->Truncate(size); }
    int Sync() override {
        if (const int error = env_.BeforeSync(path_); error != 0) return error;
        const int error = real_->Sync();
        if (error == 0) env_.Synced(path_);
        return error;
    }

  private:
    FaultyStoreEnv& env_;
    std::string path_;
    std::unique_ptr<StoreFileIo> real_;
};

}  // namespace

FaultyStoreEnv::FaultyStoreEnv() : previous_(SetStoreEnv(this)) {}

FaultyStoreEnv::~FaultyStoreEnv() {
    SetStoreEnv(previous_);
}

void FaultyStoreEnv::FailWrite(long k, int error, bool shortWrite) {
    std::lock_guard<std::mutex> lock(mutex_);
    failWriteAt_ = writes_ + k;
    writeError_ = error;
    shortWrite_ = shortWrite;
}

void FaultyStoreEnv::FailSync(long k, int error) {
    std::lock_guard<std::mutex> lock(mutex_);
    failSyncAt_ = syncs_ + k;
    syncError_ = error;
}

void FaultyStoreEnv::PowerOffAtWrite(long k) {
    std::lock_guard<std::mutex> lock(mutex_);
    powerOffAt_ = writes_ + k;
}

long FaultyStoreEnv::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

long FaultyStoreEnv::syncs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return syncs_;
}

bool FaultyStoreEnv::poweredOff() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return poweredOff_;
}

int FaultyStoreEnv::Open(const std::string& path, bool create, std::unique_ptr<StoreFileIo>* file) {
    if (poweredOff()) return EIO;
    std::unique_ptr<StoreFileIo> real;
    if (const int error = PosixStoreEnv().Open(path, create, &real); error != 0) return error;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A file made new has nothing synced yet: a cut may take all of it back.
        if (create) {
            logs_[path].sinceSync.clear();
            logs_[path].sinceSync.push_back({0, {}, {}, 0});
        }
    }
    *file = std::make_unique<FaultyFile>(*this, path, std::move(real));
    return 0;
}

int FaultyStoreEnv::SyncDirectory(const std::string& dir) {
    if (poweredOff()) return EIO;
    return PosixStoreEnv().SyncDirectory(dir);
}

int FaultyStoreEnv::BeforeWrite(const std::string& path, StoreFileIo& real, uint64_t offset,
                                const void* data, size_t size, size_t* partial) {
    std::lock_guard<std::mutex> lock(mutex_);
    *partial = 0;
    if (poweredOff_) return EIO;
    ++writes_;
    if (writes_ == powerOffAt_) {
        poweredOff_ = true;
        return EIO;
    }
    if (writes_ == failWriteAt_) {
        if (shortWrite_) *partial = size / 2;
        if (*partial > 0) {
            Undo undo{offset, std::string(*partial, '\0'),
                      std::string(static_cast<const char*>(data), *partial), 0};
            size_t got = 0;
            real.Size(&undo.sizeBefore);
            real.ReadAt(offset, undo.before.data(), *partial, &got);
            undo.before.resize(got);
            logs_[path].sinceSync.push_back(std::move(undo));
        }
        return writeError_;
    }
    Undo undo{offset, std::string(size, '\0'), std::string(static_cast<const char*>(data), size),
              0};
    size_t got = 0;
    real.Size(&undo.sizeBefore);
    real.ReadAt(offset, undo.before.data(), size, &got);
    undo.before.resize(got);
    logs_[path].sinceSync.push_back(std::move(undo));
    return 0;
}

int FaultyStoreEnv::BeforeSync(const std::string&) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (poweredOff_) return EIO;
    ++syncs_;
    if (syncs_ == failSyncAt_) return syncError_;
    return 0;
}

void FaultyStoreEnv::Synced(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    logs_[path].sinceSync.clear();
}

void FaultyStoreEnv::CutPower(std::mt19937& random, bool tear) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [path, log] : logs_) {
        auto& writes = log.sinceSync;
        if (writes.empty()) continue;
        const size_t keep = std::uniform_int_distribution<size_t>(0, writes.size())(random);
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        // Undo the lost writes newest first, then give the file back its size of that moment.
        for (size_t i = writes.size(); i-- > keep;) {
            const Undo& w = writes[i];
            if (!w.before.empty()) {
                (void)!::pwrite(fd, w.before.data(), w.before.size(), off_t(w.offset));
            }
        }
        if (keep < writes.size()) {
            const Undo& first = writes[keep];
            (void)!::ftruncate(fd, off_t(first.sizeBefore));
            // A torn write: its first sectors made it, the rest did not.
            if (tear && !first.after.empty()) {
                const uint64_t end = first.offset + first.after.size();
                const uint64_t sectors = (end - first.offset) / kSector;
                const uint64_t cut =
                    std::uniform_int_distribution<uint64_t>(0, sectors)(random) * kSector;
                const uint64_t upTo =
                    std::min<uint64_t>(end, (first.offset / kSector) * kSector + cut);
                if (upTo > first.offset) {
                    (void)!::pwrite(fd, first.after.data(), upTo - first.offset,
                                    off_t(first.offset));
                }
            }
        }
        ::close(fd);
        writes.clear();
    }
    poweredOff_ = false;
    powerOffAt_ = 0;
}

}  // namespace korvo::test
