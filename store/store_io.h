// The one seam through which a store file touches the disk.
//
// Every read, write, size query, truncation and sync of a store file goes through a
// StoreFileIo, which a StoreEnv opens. The POSIX environment is what the program uses; tests
// put in their own (store/faulty_store_env.h) to fail any single write or sync, or to cut the
// power. Results are errno values: 0 is success, anything else says what went wrong.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvo {

class StoreFileIo {
  public:
    virtual ~StoreFileIo() = default;
    // Reads up to `size` bytes at `offset`; `*got` says how many (fewer only at the end).
    virtual int ReadAt(uint64_t offset, void* data, size_t size, size_t* got) = 0;
    // Writes all `size` bytes at `offset`. On failure some prefix may have been written.
    virtual int WriteAt(uint64_t offset, const void* data, size_t size) = 0;
    virtual int Size(uint64_t* size) = 0;
    virtual int Truncate(uint64_t size) = 0;
    // Makes everything written so far durable.
    virtual int Sync() = 0;
};

class StoreEnv {
  public:
    virtual ~StoreEnv() = default;
    // Opens `path` for reading and writing; with `create`, makes it new and empty (mode 0600).
    // The file is locked for this process alone while it stays open: a second opener gets
    // EWOULDBLOCK. A symbolic link is never followed.
    virtual int Open(const std::string& path, bool create, std::unique_ptr<StoreFileIo>* file) = 0;
    // Makes a new directory entry in `dir` durable.
    virtual int SyncDirectory(const std::string& dir) = 0;
};

// The real file system.
StoreEnv& PosixStoreEnv();

// The environment store files open through from now on (tests swap in their own; none: the
// POSIX one). The previous one is returned. Not for use while stores are opening.
StoreEnv* SetStoreEnv(StoreEnv* env);
StoreEnv& CurrentStoreEnv();

// The text of an errno value as the user reads it ("No space left on device").
std::string StoreErrorText(int error);

}  // namespace korvo
