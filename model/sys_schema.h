// The schema of the system store: kind codes, state bits and the texts of the standard nodes.
#pragma once

#include <cstdint>
#include <string_view>

namespace korvo {

// State bits of schema nodes. Letter nodes reuse the category positions for their own flags.
inline constexpr uint32_t STATE_EXPANDED = 0x00000010;
inline constexpr uint32_t CATEGORY_USER = 0x00010000;
inline constexpr uint32_t CATEGORY_FILTER = 0x00020000;
inline constexpr uint32_t CATEGORY_BOOK = 0x00040000;
inline constexpr uint32_t CATEGORY_TEMPLATE = 0x00080000;
inline constexpr uint32_t CATEGORY_BOX = 0x00100000;
inline constexpr uint32_t CATEGORY_ACCOUNT = 0x00200000;
inline constexpr uint32_t kCategoryField = 0x003F0000;

// Kind codes (`pType`), also the kinds of DataGetSysPoint.
enum SysKind : int {
    kKindRoot = 1,
    kKindUser = 2,
    kKindUATree = 3,
    kKindAccount = 4,
    kKindABTree = 5,
    kKindPBook = 6,
    kKindBookFolder = 7,
    kKindBookTeam = 8,
    kKindPBoxTree = 9,
    kKindBox = 10,
    kKindPTTree = 11,
    kKindTemplate = 12,
    kKindTFolder = 13,
    kKindPFTree = 14,
    kKindFilterFolder = 15,
    kKindUBTree = 16,
    kKindUBook = 17,
    kKindUTTree = 18,
    kKindUTemplate = 19,
    kKindUFTree = 20,
    kKindFilterSetBook = 21,
    kKindFilterSet = 22,
    kKindTemplateInfo = 100,
};

// Sub-kinds of the boxes and template folders for DataGetSysPoint.
enum BoxSubKind : int {
    kBoxPreview = 1,
    kBoxReceive = 2,
    kBoxPrepare = 3,
    kBoxSend = 4,
    kBoxTrash = 5,
    kBoxDrafts = 6,
};
enum TFolderSubKind : int { kTFolderNewLetter = 1, kTFolderWriteBack = 2, kTFolderForward = 3 };

// The files of the two stores; relative names are taken in the data directory.
inline constexpr std::string_view kSystemStoreFile = "Korvo.dat";
inline constexpr std::string_view kDefaultSaveFile = "system.sdb";

// State images of tree items: a locked node, a node whose lock is open.
inline constexpr int kLockedStateImage = 1;
inline constexpr int kUnlockedStateImage = 2;

// `showColumn` of a new box.
inline constexpr long kNewBoxShowColumn = 46835;

}  // namespace korvo
