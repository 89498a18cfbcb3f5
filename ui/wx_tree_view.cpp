#include "ui/wx_tree_view.h"

#include <algorithm>

#include "controls/data_tree_items.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

class NodeItemData : public wxTreeItemData {
  public:
    explicit NodeItemData(uint32_t value) : value(value) {}
    uint32_t value;
};

}  // namespace

WxTreeView::WxTreeView(wxWindow* parent, wxWindowID id)
    : tree_(new wxTreeCtrl(parent, id, wxDefaultPosition, wxDefaultSize,
                           wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT | wxTR_SINGLE)) {
    tree_->Bind(wxEVT_TREE_DELETE_ITEM, &WxTreeView::OnItemDeleted, this);
    MakeRoot();
}

WxTreeView::~WxTreeView() {
    // The control may still send deletions after the view is gone.
    if (tree_) tree_->Unbind(wxEVT_TREE_DELETE_ITEM, &WxTreeView::OnItemDeleted, this);
}

void WxTreeView::MakeRoot() {
    root_ = FromWx(tree_->AddRoot(wxString()));
    live_.insert(root_);
}

void WxTreeView::OnItemDeleted(wxTreeEvent& event) {
    const TreeItem item = FromWx(event.GetItem());
    live_.erase(item);
    if (drop_ == item) drop_ = kNoItem;
    event.Skip();
}

TreeItem WxTreeView::InsertItem(TreeItem parent, std::string_view label, int image,
                                int selectedImage, uint32_t itemData) {
    if (!tree_) return kNoItem;
    if (parent == kNoItem) parent = root_;
    if (!Live(parent)) return kNoItem;
    const wxTreeItemId id = tree_->AppendItem(ToWx(parent), WxFromBytes(label), image,
                                              selectedImage, new NodeItemData(itemData));
    if (!id.IsOk()) return kNoItem;
    live_.insert(FromWx(id));
    return FromWx(id);
}

void WxTreeView::DeleteItem(TreeItem item) {
    if (Live(item) && item != root_) tree_->Delete(ToWx(item));
}

void WxTreeView::DeleteAllItems() {
    tree_->DeleteAllItems();
    live_.clear();
    drop_ = kNoItem;
    MakeRoot();
}

TreeItem WxTreeView::FirstTopItem() const {
    return FirstChild(root_);
}

TreeItem WxTreeView::Parent(TreeItem item) const {
    if (!Live(item) || item == root_) return kNoItem;
    const TreeItem parent = FromWx(tree_->GetItemParent(ToWx(item)));
    return parent == root_ ? kNoItem : parent;
}

TreeItem WxTreeView::FirstChild(TreeItem item) const {
    if (!Live(item)) return kNoItem;
    wxTreeItemIdValue cookie;
    return FromWx(tree_->GetFirstChild(ToWx(item), cookie));
}

TreeItem WxTreeView::NextSibling(TreeItem item) const {
    if (!Live(item) || item == root_) return kNoItem;
    return FromWx(tree_->GetNextSibling(ToWx(item)));
}

std::string WxTreeView::Label(TreeItem item) const {
    return Live(item) ? BytesFromWx(tree_->GetItemText(ToWx(item))) : std::string();
}

void WxTreeView::SetLabel(TreeItem item, std::string_view label) {
    if (Live(item)) tree_->SetItemText(ToWx(item), WxFromBytes(label));
}

int WxTreeView::Image(TreeItem item) const {
    return Live(item) ? std::max(tree_->GetItemImage(ToWx(item), wxTreeItemIcon_Normal), 0) : 0;
}

int WxTreeView::SelectedImage(TreeItem item) const {
    return Live(item) ? std::max(tree_->GetItemImage(ToWx(item), wxTreeItemIcon_Selected), 0) : 0;
}

void WxTreeView::SetImages(TreeItem item, int image, int selectedImage) {
    if (!Live(item)) return;
    tree_->SetItemImage(ToWx(item), image, wxTreeItemIcon_Normal);
    tree_->SetItemImage(ToWx(item), selectedImage, wxTreeItemIcon_Selected);
}

// State image n is the control's state n; 0 is none.
int WxTreeView::StateImage(TreeItem item) const {
    if (!Live(item)) return 0;
    return std::max(tree_->GetItemState(ToWx(item)), 0);
}

void WxTreeView::SetStateImage(TreeItem item, int stateImage) {
    if (!Live(item)) return;
    stateImage &= 0xF;
    tree_->SetItemState(ToWx(item), stateImage == 0 ? wxTREE_ITEMSTATE_NONE : stateImage);
}

uint32_t WxTreeView::ItemData(TreeItem item) const {
    if (!Live(item)) return 0;
    const auto* data = static_cast<const NodeItemData*>(tree_->GetItemData(ToWx(item)));
    return data ? data->value : 0;
}

void WxTreeView::SetItemData(TreeItem item, uint32_t data) {
    if (!Live(item) || item == root_) return;
    const wxTreeItemId id = ToWx(item);
    // The control does not free the data it is replacing.
    wxTreeItemData* old = tree_->GetItemData(id);
    tree_->SetItemData(id, new NodeItemData(data));
    delete old;
    // Items holding unread letters show in bold.
    tree_->SetItemBold(id, (data & kTreeItemUnread) != 0);
}

bool WxTreeView::IsExpanded(TreeItem item) const {
    return Live(item) && item != root_ && tree_->IsExpanded(ToWx(item));
}

void WxTreeView::Expand(TreeItem item) {
    if (Live(item) && item != root_ && tree_->ItemHasChildren(ToWx(item))) {
        tree_->Expand(ToWx(item));
    }
}

void WxTreeView::Collapse(TreeItem item) {
    if (Live(item) && item != root_ && tree_->IsExpanded(ToWx(item))) {
        tree_->Collapse(ToWx(item));
    }
}

TreeItem WxTreeView::Caret() const {
    const TreeItem item = FromWx(tree_->GetSelection());
    return Live(item) && item != root_ ? item : kNoItem;
}

void WxTreeView::SetCaret(TreeItem item) {
    if (Live(item) && item != root_) {
        tree_->SelectItem(ToWx(item));
    } else if (item == kNoItem) {
        tree_->Unselect();
    }
}

void WxTreeView::SetDropHighlight(TreeItem item) {
    if (Live(drop_)) tree_->SetItemDropHighlight(ToWx(drop_), false);
    drop_ = Live(item) && item != root_ ? item : kNoItem;
    if (drop_ != kNoItem) tree_->SetItemDropHighlight(ToWx(drop_), true);
}

TreeHit WxTreeView::HitTest(ViewPoint p) const {
    TreeHit hit;
    int flags = 0;
    const TreeItem item = FromWx(tree_->HitTest(wxPoint(p.x, p.y), flags));
    if (!Live(item) || item == root_) return hit;
    hit.item = item;
    if (flags & wxTREE_HITTEST_ONITEMLABEL) hit.parts |= kTreeHitLabel;
    if (flags & wxTREE_HITTEST_ONITEMICON) hit.parts |= kTreeHitIcon;
    if (flags & wxTREE_HITTEST_ONITEMSTATEICON) hit.parts |= kTreeHitStateImage;
    if (flags & wxTREE_HITTEST_ONITEMBUTTON) hit.parts |= kTreeHitButton;
    if (flags & wxTREE_HITTEST_ONITEMINDENT) hit.parts |= kTreeHitIndent;
    return hit;
}

ViewPoint WxTreeView::ScreenToClient(ViewPoint p) const {
    const wxPoint c = tree_->ScreenToClient(wxPoint(p.x, p.y));
    return {c.x, c.y};
}

ViewRect WxTreeView::ClientRect() const {
    const wxRect r = tree_->GetClientRect();
    return {r.GetLeft(), r.GetTop(), r.GetLeft() + r.GetWidth(), r.GetTop() + r.GetHeight()};
}

TreeItem WxTreeView::FirstVisibleItem() const {
    const TreeItem item = FromWx(tree_->GetFirstVisibleItem());
    return Live(item) && item != root_ ? item : kNoItem;
}

TreeItem WxTreeView::LastVisibleItem() const {
    wxTreeItemId item = tree_->GetFirstVisibleItem();
    if (!item.IsOk()) return kNoItem;
    for (wxTreeItemId next = tree_->GetNextVisible(item); next.IsOk();
         next = tree_->GetNextVisible(next)) {
        item = next;
    }
    const TreeItem last = FromWx(item);
    return Live(last) && last != root_ ? last : kNoItem;
}

void WxTreeView::ScrollLines(int lines) {
    const wxTreeItemId first = tree_->GetFirstVisibleItem();
    wxRect line;
    if (!first.IsOk() || !tree_->GetBoundingRect(first, line)) return;
    int unitX = 0;
    int unitY = 0;
    tree_->GetScrollPixelsPerUnit(&unitX, &unitY);
    if (unitY <= 0) return;
    const int step = (line.GetHeight() + unitY - 1) / unitY;
    int x = 0;
    int y = 0;
    tree_->GetViewStart(&x, &y);
    tree_->Scroll(x, std::max(0, y + lines * step));
}

void WxTreeView::Redraw() {
    tree_->Refresh();
}

}  // namespace korvo
