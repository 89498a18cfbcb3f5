// TreeView over a wx tree control. The view creates the control as a child of `parent` with a
// hidden root, so that the tree can hold several top items. The parent window owns the control;
// the view must not outlive it. The view tracks which items are alive, so a stale handle is
// ignored instead of reaching freed memory.
#pragma once

#include <wx/treectrl.h>
#include <wx/weakref.h>

#include <unordered_set>

#include "controls/tree_view.h"

namespace korvo {

class WxTreeView : public TreeView {
  public:
    explicit WxTreeView(wxWindow* parent, wxWindowID id = wxID_ANY);
    ~WxTreeView() override;

    WxTreeView(const WxTreeView&) = delete;
    WxTreeView& operator=(const WxTreeView&) = delete;

    wxTreeCtrl* control() const { return tree_.get(); }
    static wxTreeItemId ToWx(TreeItem item) { return wxTreeItemId(reinterpret_cast<void*>(item)); }
    static TreeItem FromWx(const wxTreeItemId& id) {
        return reinterpret_cast<TreeItem>(id.GetID());
    }

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

    TreeItem Caret() const override;
    void SetCaret(TreeItem item) override;
    TreeItem DropHighlight() const override { return drop_; }
    void SetDropHighlight(TreeItem item) override;

    TreeHit HitTest(ViewPoint clientPoint) const override;
    ViewPoint ScreenToClient(ViewPoint screenPoint) const override;
    ViewRect ClientRect() const override;
    TreeItem FirstVisibleItem() const override;
    TreeItem LastVisibleItem() const override;
    void ScrollLines(int lines) override;
    void Redraw() override;

  private:
    bool Live(TreeItem item) const { return item != kNoItem && live_.count(item) != 0; }
    void MakeRoot();
    void OnItemDeleted(wxTreeEvent& event);

    wxWeakRef<wxTreeCtrl> tree_;
    TreeItem root_ = kNoItem;  // hidden
    TreeItem drop_ = kNoItem;
    std::unordered_set<TreeItem> live_;
};

}  // namespace korvo
