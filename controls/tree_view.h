// The tree widget as the tree logic sees it. The wx program implements it over a tree control;
// MemoryTreeView (memory_tree_view.h) keeps the items in memory for tests and headless runs.
// Items are opaque handles; kNoItem stands for none (and for the top level as a parent).
// Operations on kNoItem or a deleted item do nothing and read as none, empty or 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controls/list_view.h"

namespace korvo {

using TreeItem = std::uintptr_t;
inline constexpr TreeItem kNoItem = 0;

// Parts of an item a point can hit.
inline constexpr unsigned kTreeHitLabel = 0x01;
inline constexpr unsigned kTreeHitIcon = 0x02;
inline constexpr unsigned kTreeHitStateImage = 0x04;
inline constexpr unsigned kTreeHitButton = 0x08;
inline constexpr unsigned kTreeHitIndent = 0x10;

struct TreeHit {
    TreeItem item = kNoItem;
    unsigned parts = 0;
};

class TreeView {
  public:
    virtual ~TreeView() = default;

    // Appends an item as the last child of `parent` (kNoItem: at the top level).
    virtual TreeItem InsertItem(TreeItem parent, std::string_view label, int image,
                                int selectedImage, uint32_t itemData) = 0;
    // Deletes the item with its subtree.
    virtual void DeleteItem(TreeItem item) = 0;
    virtual void DeleteAllItems() = 0;

    virtual TreeItem FirstTopItem() const = 0;
    virtual TreeItem Parent(TreeItem item) const = 0;
    virtual TreeItem FirstChild(TreeItem item) const = 0;
    virtual TreeItem NextSibling(TreeItem item) const = 0;

    virtual std::string Label(TreeItem item) const = 0;
    virtual void SetLabel(TreeItem item, std::string_view label) = 0;
    virtual int Image(TreeItem item) const = 0;
    virtual int SelectedImage(TreeItem item) const = 0;
    virtual void SetImages(TreeItem item, int image, int selectedImage) = 0;
    // 0 to 15, 0: none; 1 marks a locked branch.
    virtual int StateImage(TreeItem item) const = 0;
    virtual void SetStateImage(TreeItem item, int stateImage) = 0;
    virtual uint32_t ItemData(TreeItem item) const = 0;
    virtual void SetItemData(TreeItem item, uint32_t data) = 0;

    virtual bool IsExpanded(TreeItem item) const = 0;
    virtual void Expand(TreeItem item) = 0;
    virtual void Collapse(TreeItem item) = 0;

    // The caret (selected) item and the drop-highlighted item; at most one of each.
    virtual TreeItem Caret() const = 0;
    virtual void SetCaret(TreeItem item) = 0;
    virtual TreeItem DropHighlight() const = 0;
    virtual void SetDropHighlight(TreeItem item) = 0;

    virtual TreeHit HitTest(ViewPoint clientPoint) const = 0;
    virtual ViewPoint ScreenToClient(ViewPoint screenPoint) const = 0;
    virtual ViewRect ClientRect() const = 0;
    virtual TreeItem FirstVisibleItem() const = 0;
    virtual TreeItem LastVisibleItem() const = 0;
    // Scrolls by whole lines, negative up.
    virtual void ScrollLines(int lines) = 0;
    virtual void Redraw() = 0;
};

}  // namespace korvo
