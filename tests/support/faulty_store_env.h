// A store environment for tests that makes the disk misbehave on purpose: the k-th write or
// sync fails (ENOSPC, EIO, ...), a failing write may first put down part of its bytes, and the
// power can be cut, which keeps what was synced and a prefix of the writes since (the last of
// them possibly torn at a sector boundary). Files open through the real file system; every
// write and sync, over all files opened through it, is counted in one sequence.
#pragma once

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "store/store_io.h"

namespace korvo::test {

class FaultyStoreEnv : public StoreEnv {
  public:
    // Swaps itself in as the current environment for its lifetime.
    FaultyStoreEnv();
    ~FaultyStoreEnv() override;

    // The `k`-th write from now (1 = the next one) fails with `error`; with `shortWrite` it
    // first writes half of its bytes.
    void FailWrite(long k, int error = ENOSPC, bool shortWrite = false);
    // The `k`-th sync from now fails with `error` and makes nothing durable.
    void FailSync(long k, int error = EIO);
    // The power goes at the `k`-th write from now: that write and all later I/O fail with EIO
    // until CutPower() has been applied.
    void PowerOffAtWrite(long k);

    // Applies the power cut to every file: what was synced stays, of the writes since the
    // last sync a random prefix survives, and the write after that prefix may be torn (only
    // its first sectors reach the disk). Then the files work again.
    void CutPower(std::mt19937& random, bool tear = true);

    long writes() const;
    long syncs() const;
    bool poweredOff() const;

    int Open(const std::string& path, bool create, std::unique_ptr<StoreFileIo>* file) override;
    int SyncDirectory(const std::string& dir) override;

    // What a file's writes since its last sync looked like (for the power cut).
    struct Undo {
        uint64_t offset = 0;
        std::string before;  // the bytes the write replaced (shorter where it extended the file)
        std::string after;   // the bytes it wrote
        uint64_t sizeBefore = 0;
    };
    struct FileLog {
        std::vector<Undo> sinceSync;
    };

    // For the file objects.
    int BeforeWrite(const std::string& path, StoreFileIo& real, uint64_t offset, const void* data,
                    size_t size, size_t* partial);
    int BeforeSync(const std::string& path);
    void Synced(const std::string& path);
    bool off() const { return poweredOff_; }

  private:
    StoreEnv* previous_ = nullptr;
    mutable std::mutex mutex_;
    long writes_ = 0;
    long syncs_ = 0;
    long failWriteAt_ = 0;
    int writeError_ = 0;
    bool shortWrite_ = false;
    long failSyncAt_ = 0;
    int syncError_ = 0;
    long powerOffAt_ = 0;
    bool poweredOff_ = false;
    std::map<std::string, FileLog> logs_;
};

}  // namespace korvo::test
