#include "controls/memory_tree_view.h"

#include <algorithm>

namespace korvo {

const MemoryTreeView::Item* MemoryTreeView::At(TreeItem item) const {
    if (item == kNoItem || item > items_.size()) return nullptr;
    const Item* it = &items_[item - 1];
    return it->live ? it : nullptr;
}

MemoryTreeView::Item* MemoryTreeView::At(TreeItem item) {
    return const_cast<Item*>(static_cast<const MemoryTreeView*>(this)->At(item));
}

TreeItem MemoryTreeView::InsertItem(TreeItem parent, std::string_view label, int image,
                                    int selectedImage, uint32_t itemData) {
    if (parent != kNoItem && !At(parent)) return kNoItem;
    Item item;
    item.live = true;
    item.parent = parent;
    item.label = label;
    item.image = image;
    item.selectedImage = selectedImage;
    item.data = itemData;
    items_.push_back(std::move(item));
    const TreeItem handle = items_.size();
    TreeItem& first = parent ? At(parent)->firstChild : firstTop_;
    TreeItem& last = parent ? At(parent)->lastChild : lastTop_;
    if (last != kNoItem) {
        At(last)->next = handle;
        At(handle)->prev = last;
    } else {
        first = handle;
    }
    last = handle;
    return handle;
}

void MemoryTreeView::DeleteItem(TreeItem item) {
    Item* it = At(item);
    if (!it) return;
    TreeItem& first = it->parent ? At(it->parent)->firstChild : firstTop_;
    TreeItem& last = it->parent ? At(it->parent)->lastChild : lastTop_;
    if (it->prev)
        At(it->prev)->next = it->next;
    else
        first = it->next;
    if (it->next)
        At(it->next)->prev = it->prev;
    else
        last = it->prev;
    // Mark the subtree dead without recursion.
    std::vector<TreeItem> pending{item};
    while (!pending.empty()) {
        const TreeItem h = pending.back();
        pending.pop_back();
        Item* dead = At(h);
        for (TreeItem c = dead->firstChild; c != kNoItem; c = At(c)->next) pending.push_back(c);
        dead->live = false;
        if (caret_ == h) caret_ = kNoItem;
        if (drop_ == h) drop_ = kNoItem;
    }
}

void MemoryTreeView::DeleteAllItems() {
    items_.clear();
    firstTop_ = lastTop_ = caret_ = drop_ = kNoItem;
    scrollLine_ = 0;
}

TreeItem MemoryTreeView::FirstTopItem() const {
    return firstTop_;
}

TreeItem MemoryTreeView::Parent(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->parent : kNoItem;
}

TreeItem MemoryTreeView::FirstChild(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->firstChild : kNoItem;
}

TreeItem MemoryTreeView::NextSibling(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->next : kNoItem;
}

std::string MemoryTreeView::Label(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->label : std::string();
}

void MemoryTreeView::SetLabel(TreeItem item, std::string_view label) {
    if (Item* it = At(item)) it->label = label;
}

int MemoryTreeView::Image(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->image : 0;
}

int MemoryTreeView::SelectedImage(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->selectedImage : 0;
}

void MemoryTreeView::SetImages(TreeItem item, int image, int selectedImage) {
    if (Item* it = At(item)) {
        it->image = image;
        it->selectedImage = selectedImage;
    }
}

int MemoryTreeView::StateImage(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->stateImage : 0;
}

void MemoryTreeView::SetStateImage(TreeItem item, int stateImage) {
    if (Item* it = At(item)) it->stateImage = stateImage & 0xF;
}

uint32_t MemoryTreeView::ItemData(TreeItem item) const {
    const Item* it = At(item);
    return it ? it->data : 0;
}

void MemoryTreeView::SetItemData(TreeItem item, uint32_t data) {
    if (Item* it = At(item)) it->data = data;
}

bool MemoryTreeView::IsExpanded(TreeItem item) const {
    const Item* it = At(item);
    return it && it->expanded;
}

void MemoryTreeView::Expand(TreeItem item) {
    if (Item* it = At(item)) it->expanded = true;
}

void MemoryTreeView::Collapse(TreeItem item) {
    if (Item* it = At(item)) it->expanded = false;
}

void MemoryTreeView::SetCaret(TreeItem item) {
    caret_ = At(item) ? item : kNoItem;
}

void MemoryTreeView::SetDropHighlight(TreeItem item) {
    drop_ = At(item) ? item : kNoItem;
}

std::vector<std::pair<TreeItem, int>> MemoryTreeView::VisibleLines() const {
    std::vector<std::pair<TreeItem, int>> lines;
    std::vector<std::pair<TreeItem, int>> pending;
    for (TreeItem t = lastTop_; t != kNoItem; t = At(t)->prev) pending.push_back({t, 0});
    while (!pending.empty()) {
        const auto [item, depth] = pending.back();
        pending.pop_back();
        lines.push_back({item, depth});
        const Item* it = At(item);
        if (!it->expanded) continue;
        for (TreeItem c = it->lastChild; c != kNoItem; c = At(c)->prev) {
            pending.push_back({c, depth + 1});
        }
    }
    return lines;
}

TreeHit MemoryTreeView::HitTest(ViewPoint p) const {
    TreeHit hit;
    if (p.y < client_.top || p.y >= client_.bottom || p.x < client_.left) return hit;
    const auto lines = VisibleLines();
    const long line = scrollLine_ + (p.y - client_.top) / kLineHeight;
    if (line < 0 || line >= static_cast<long>(lines.size())) return hit;
    const auto [item, depth] = lines[static_cast<size_t>(line)];
    const int x = p.x - client_.left - depth * kIndent;
    if (x < 0) {
        hit.parts = kTreeHitIndent;
    } else if (x < kPartWidth) {
        hit.parts = kTreeHitButton;
    } else if (x < 2 * kPartWidth) {
        hit.parts = kTreeHitStateImage;
    } else if (x < 3 * kPartWidth) {
        hit.parts = kTreeHitIcon;
    } else if (x < 3 * kPartWidth + kLabelWidth) {
        hit.parts = kTreeHitLabel;
    } else {
        return hit;
    }
    hit.item = item;
    return hit;
}

TreeItem MemoryTreeView::FirstVisibleItem() const {
    const auto lines = VisibleLines();
    if (scrollLine_ >= static_cast<int>(lines.size())) return kNoItem;
    return lines[static_cast<size_t>(scrollLine_)].first;
}

TreeItem MemoryTreeView::LastVisibleItem() const {
    const auto lines = VisibleLines();
    const int shown = std::max(1, (client_.bottom - client_.top) / kLineHeight);
    const int last = std::min(scrollLine_ + shown, static_cast<int>(lines.size())) - 1;
    if (last < scrollLine_) return kNoItem;
    return lines[static_cast<size_t>(last)].first;
}

void MemoryTreeView::ScrollLines(int lines) {
    const int count = static_cast<int>(VisibleLines().size());
    const int shown = std::max(1, (client_.bottom - client_.top) / kLineHeight);
    scrollLine_ = std::clamp(scrollLine_ + lines, 0, std::max(0, count - shown));
}

}  // namespace korvo
