// The data manager: joins the in-memory tree to a store file.
//
// It owns the root node and the open store file, maps every node onto one point record (the
// point id is the node's `pointId`), writes nodes back when they changed, rebuilds nodes from
// records, deletes them, and finds the well-known nodes of the schema.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "store/node.h"
#include "store/store_file.h"

namespace korvo {

// The node's sons exist in the store but are loaded on demand, not with the tree.
inline constexpr uint32_t STATE_LAZY_SONS = 0x00000080;

// Block masks of DataLoadPoint / DataLoadTree.
inline constexpr int kLoadProperty = 1;
inline constexpr int kLoadStrdata = 2;
inline constexpr int kLoadSdata = 4;
inline constexpr int kLoadLazySons = 0x80;

class CBaseDataManage {
  public:
    CBaseDataManage();
    virtual ~CBaseDataManage();
    CBaseDataManage(const CBaseDataManage&) = delete;
    CBaseDataManage& operator=(const CBaseDataManage&) = delete;

    // Opens (or with mode "New", or when missing, creates) the store at `path` and loads the
    // root tree. A relative path is taken inside the data directory. On failure the manager is
    // left without file and its tree holds only the root.
    bool DataOpen(const std::string& path, std::string_view mode = "");

    // Writes a modified node into its record. 1 when written or nothing to write, 0 when the
    // node has no point id or the write failed.
    int DataSavePoint(baseDataStruct* node);
    // Gives the node a point under `parentPoint` (-1: its parent's point, written first if it
    // has none; no parent: the root point) and writes it. Returns the point id or -1.
    long DataNewPoint(baseDataStruct* node, long parentPoint = -1);
    // Mode 1: the node; 0: it and its later brothers; 2: those and all their descendants.
    // Returns the last point id handled.
    long DataSaveList(baseDataStruct* node, int mode);
    // Reads a record (-1: the node's own) into the node; `mask` of kLoad* bits.
    bool DataLoadPoint(baseDataStruct* node, long pointId, int mask);
    // Rebuilds nodes from the store: without a node, the root and all it holds; with one, the
    // node from `pointId` (-1: its own) with its sons and, unless `onlyOne`, its later brothers.
    // Points that cannot be read are left out; false only when the first one cannot.
    bool DataLoadTree(baseDataStruct* node, long pointId, int mask, bool onlyOne);
    // Mode 1 hides the node and keeps its point; other modes delete the point and all below it.
    // The node is always removed from the tree and destroyed.
    bool DataDeletePoint(baseDataStruct* node, int mode);
    // The well-known nodes of the schema, found relative to `start` (kinds of the schema).
    baseDataStruct* DataGetSysPoint(baseDataStruct* start, int kind, int subKind = 0);
    bool DataGetPointBlock(long pointId);

    // Makes every write so far durable; false when it could not (see failureText()). Whatever
    // acts outside the store on the strength of a write (deleting a letter on its server)
    // syncs first.
    bool DataSync();
    // Writes what is pending, syncs and closes the file; false when something was not written.
    bool DataClose();
    // Once a write to the file has failed, nothing more is written until it is reopened:
    // failed() says so, failureText() gives the system's reason ("No space left on device").
    bool failed() const { return file_.writeError() != 0; }
    std::string failureText() const;

    baseDataStruct* root() const { return root_.get(); }
    StoreFile& file() { return file_; }
    bool isOpen() const { return file_.isOpen(); }

  private:
    bool LoadOne(baseDataStruct* node, long pointId, int mask, PointLinks* links);
    void ApplyRecord(baseDataStruct* node, const PointRecord& record);
    void ResetRoot();

    StoreFile file_;
    std::unique_ptr<baseDataStruct> root_;
};

}  // namespace korvo
