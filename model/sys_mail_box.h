// CSysMailBox: the mail store and its links to the system store.
//
// A container of the system store (box, address-book folder, template folder) keeps its
// contents under a link node, a son of the mail store's root with STATE_LAZY_SONS set. The
// container's `LinkId` is the link node's point id and the link node's `LinkId` the container's;
// the two belong together only when both point at each other. The mail store holds the file
// named by the `SaveFile` of the user being worked on and switches files as needed: switching
// reloads the root tree, so nodes taken from the previous file are gone afterwards.
#pragma once

#include <string>
#include <string_view>

#include "store/data_manager.h"

namespace korvo {

class CSysMailBox : public CBaseDataManage {
  public:
    // `systemStore` holds the containers; it must outlive this object.
    explicit CSysMailBox(CBaseDataManage& systemStore) : system_(systemStore) {}

    // Makes this store hold the file of `ptItem`'s user; a file that is already open is kept.
    // A missing file is created. False without user, without `SaveFile`, when the file is the
    // system store's own, or when it cannot be opened.
    bool SysOpenUserFile(baseDataStruct* ptItem);

    // Creates the link node ("type =<type> ,pType =<kind>") of a container and ties both
    // together; the container is written in the system store. 1 on success, 0 otherwise.
    int SysCreateLinkItem(baseDataStruct* ptLinkItem, std::string_view type, std::string_view kind);

    // The container's link node, or null.
    baseDataStruct* SysGetLinkItem(baseDataStruct* ptLinkItem);

    // Deletes the container's link node with all its contents from the store. Returns 1.
    int SysDeleteLinkItem(baseDataStruct* ptLinkItem);

    // The container's link node with its contents loaded (blocks of `mask`, as DataLoadTree),
    // made first when the container has none. Contents already in memory are not read again.
    baseDataStruct* SysReadLinkTree(baseDataStruct* ptLinkItem, int mask);

    // Full path of the open user file; empty when none.
    const std::string& userFilePath() const { return openPath_; }

  private:
    CBaseDataManage& system_;
    std::string openPath_;
};

// The full path a store name stands for: relative names are taken in the data directory.
std::string StorePath(std::string_view name);

}  // namespace korvo
