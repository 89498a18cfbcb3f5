// A TreeView kept in memory: for tests and for runs without a display. Geometry for hit tests:
// every visible item (top items, and children of expanded items) is one line of kLineHeight
// pixels in display order, starting at the scroll position; an item at depth n is indented by
// n * kIndent. On its line: the expand button, the state image, the icon, each kPartWidth
// pixels wide, then the label up to kLabelWidth pixels.
#pragma once

#include <vector>

#include "controls/tree_view.h"

namespace korvo {

class MemoryTreeView : public TreeView {
  public:
    static constexpr int kLineHeight = 16;
    static constexpr int kIndent = 16;
    static constexpr int kPartWidth = 16;
    static constexpr int kLabelWidth = 100;

    explicit MemoryTreeView(ViewRect client = {0, 0, 200, 160}) : client_(client) {}

    TreeItem InsertItem(TreeItem parent, std::string_view label, int image, int selectedImage,
                        uint32_t itemData) override;
    void DeleteItem(TreeItem item) override;
    void DeleteAllItems() override;

    TreeItem FirstTopItem() const override;
    TreeItem Parent(TreeItem item) const override;
    TreeItem FirstChild(TreeItem item) const override;
    TreeItem NextSibling(TreeItem item) const override;

    std::string Label(TreeItem item) const override;
    void SetLabel(TreeItem item, std::string_view label) override;
    int Image(TreeItem item) const override;
    int SelectedImage(TreeItem item) const override;
    void SetImages(TreeItem item, int image, int selectedImage) override;
    int StateImage(TreeItem item) const override;
    void SetStateImage(TreeItem item, int stateImage) override;
    uint32_t ItemData(TreeItem item) const override;
    void SetItemData(TreeItem item, uint32_t data) override;

    bool IsExpanded(TreeItem item) const override;
    void Expand(TreeItem item) override;
    void Collapse(TreeItem item) override;

    TreeItem Caret() const override { return caret_; }
    void SetCaret(TreeItem item) override;
    TreeItem DropHighlight() const override { return drop_; }
    void SetDropHighlight(TreeItem item) override;

    TreeHit HitTest(ViewPoint clientPoint) const override;
    ViewPoint ScreenToClient(ViewPoint p) const override {
        return {p.x - screenOrigin_.x, p.y - screenOrigin_.y};
    }
    ViewRect ClientRect() const override { return client_; }
    TreeItem FirstVisibleItem() const override;
    TreeItem LastVisibleItem() const override;
    void ScrollLines(int lines) override;
    void Redraw() override { ++redraws_; }

    void SetScreenOrigin(ViewPoint origin) { screenOrigin_ = origin; }
    int scrollLine() const { return scrollLine_; }
    int redraws() const { return redraws_; }

  private:
    struct Item {
        bool live = false;
        TreeItem parent = kNoItem;
        TreeItem firstChild = kNoItem;
        TreeItem lastChild = kNoItem;
        TreeItem prev = kNoItem;
        TreeItem next = kNoItem;
        std::string label;
        int image = 0;
        int selectedImage = 0;
        int stateImage = 0;
        uint32_t data = 0;
        bool expanded = false;
    };

    const Item* At(TreeItem item) const;
    Item* At(TreeItem item);
    // Visible items in display order, with their depth.
    std::vector<std::pair<TreeItem, int>> VisibleLines() const;

    std::vector<Item> items_;  // handle h is items_[h - 1]
    TreeItem firstTop_ = kNoItem;
    TreeItem lastTop_ = kNoItem;
    TreeItem caret_ = kNoItem;
    TreeItem drop_ = kNoItem;
    ViewRect client_;
    ViewPoint screenOrigin_;
    int scrollLine_ = 0;
    int redraws_ = 0;
};

}  // namespace korvo
