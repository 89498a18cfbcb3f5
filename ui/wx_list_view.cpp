#include "ui/wx_list_view.h"

#include <algorithm>

#include "ui/wx_text.h"

namespace korvo {
namespace {

static_assert(sizeof(wxUIntPtr) >= 8, "the row word needs 64 bits");

// The row word: item data in bits 0-31, state image in 32-35, drop highlight in bit 36.
constexpr int kStateShift = 32;
constexpr uint64_t kStateMask = uint64_t{0xF} << kStateShift;
constexpr uint64_t kDropBit = uint64_t{1} << 36;

// Header image 2 means no arrow: the control shows none.
constexpr int kNoHeaderImage = 2;

wxListColumnFormat ToFormat(ColumnAlign align) {
    switch (align) {
        case ColumnAlign::kCenter:
            return wxLIST_FORMAT_CENTRE;
        case ColumnAlign::kRight:
            return wxLIST_FORMAT_RIGHT;
        case ColumnAlign::kLeft:
            break;
    }
    return wxLIST_FORMAT_LEFT;
}

}  // namespace

WxListView::WxListView(wxWindow* parent, wxWindowID id)
    : list_(new wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize,
                           wxLC_REPORT | wxLC_HRULES | wxLC_VRULES)) {}

void WxListView::SetReportStyle() {
    list_->SetWindowStyleFlag((list_->GetWindowStyleFlag() & ~wxLC_MASK_TYPE) | wxLC_REPORT |
                              wxLC_HRULES | wxLC_VRULES);
}

void WxListView::SetRedraw(bool on) {
    if (on && frozen_) {
        list_->Thaw();
        list_->Refresh();
    } else if (!on && !frozen_) {
        list_->Freeze();
    }
    frozen_ = !on;
}

int WxListView::ClientWidth() const {
    return list_->GetClientSize().GetWidth();
}

int WxListView::ColumnCount() const {
    return list_->GetColumnCount();
}

int WxListView::InsertColumn(int column, std::string_view title, int width, ColumnAlign align) {
    if (column < 0 || column > ColumnCount()) return -1;
    const long at =
        list_->InsertColumn(column, WxFromBytes(title), ToFormat(align), std::max(width, 0));
    if (at < 0) return -1;
    sortCounters_.insert(sortCounters_.begin() + at, 0);
    return static_cast<int>(at);
}

bool WxListView::DeleteColumn(int column) {
    if (!ValidColumn(column) || !list_->DeleteColumn(column)) return false;
    sortCounters_.erase(sortCounters_.begin() + column);
    return true;
}

wxListItem WxListView::ColumnItem(int column, long mask) const {
    wxListItem item;
    item.SetMask(mask);
    list_->GetColumn(column, item);
    return item;
}

std::string WxListView::ColumnTitle(int column) const {
    if (!ValidColumn(column)) return std::string();
    return BytesFromWx(ColumnItem(column, wxLIST_MASK_TEXT).GetText());
}

void WxListView::SetColumnTitle(int column, std::string_view title) {
    if (!ValidColumn(column)) return;
    wxListItem item;
    item.SetMask(wxLIST_MASK_TEXT);
    item.SetText(WxFromBytes(title));
    list_->SetColumn(column, item);
}

int WxListView::ColumnWidth(int column) const {
    return ValidColumn(column) ? list_->GetColumnWidth(column) : 0;
}

void WxListView::SetColumnWidth(int column, int width) {
    if (ValidColumn(column)) list_->SetColumnWidth(column, std::max(width, 0));
}

ColumnAlign WxListView::ColumnAlignment(int column) const {
    if (!ValidColumn(column)) return ColumnAlign::kLeft;
    switch (ColumnItem(column, wxLIST_MASK_FORMAT).GetAlign()) {
        case wxLIST_FORMAT_CENTRE:
            return ColumnAlign::kCenter;
        case wxLIST_FORMAT_RIGHT:
            return ColumnAlign::kRight;
        default:
            return ColumnAlign::kLeft;
    }
}

void WxListView::SetColumnAlignment(int column, ColumnAlign align) {
    if (!ValidColumn(column)) return;
    wxListItem item;
    item.SetMask(wxLIST_MASK_FORMAT);
    item.SetAlign(ToFormat(align));
    list_->SetColumn(column, item);
}

int WxListView::HeaderSortCounter(int column) const {
    return ValidColumn(column) ? sortCounters_[static_cast<size_t>(column)] : 0;
}

void WxListView::SetHeaderSortCounter(int column, int counter) {
    if (ValidColumn(column)) sortCounters_[static_cast<size_t>(column)] = counter;
}

int WxListView::HeaderImage(int column) const {
    if (!ValidColumn(column)) return kNoHeaderImage;
    const int image = ColumnItem(column, wxLIST_MASK_IMAGE).GetImage();
    return image < 0 ? kNoHeaderImage : image - headerArrowFirst_;
}

void WxListView::SetHeaderImage(int column, int image) {
    if (!ValidColumn(column)) return;
    wxListItem item;
    item.SetMask(wxLIST_MASK_IMAGE);
    item.SetImage(image == kNoHeaderImage || image < 0 ? -1 : headerArrowFirst_ + image);
    list_->SetColumn(column, item);
}

int WxListView::RowCount() const {
    return list_->GetItemCount();
}

uint64_t WxListView::Word(int row) const {
    return list_->GetItemData(row);
}

void WxListView::SetWord(int row, uint64_t word) {
    list_->SetItemPtrData(row, static_cast<wxUIntPtr>(word));
}

int WxListView::InsertRow(int row, uint32_t itemData, int image, int stateImage) {
    if (row < 0 || row > RowCount()) return -1;
    const long at = list_->InsertItem(row, wxString(), image);
    if (at < 0) return -1;
    SetWord(static_cast<int>(at),
            itemData | (static_cast<uint64_t>(stateImage & 0xF) << kStateShift));
    ApplyStyle(static_cast<int>(at));
    return static_cast<int>(at);
}

void WxListView::ApplyStyle(int row) {
    if (!styler_) return;
    wxItemAttr look;
    styler_(ItemData(row), look);
    wxFont font = list_->GetFont();
    if (look.HasFont()) font = look.GetFont();
    list_->SetItemFont(row, font);
    list_->SetItemTextColour(
        row, look.HasTextColour() ? look.GetTextColour() : list_->GetForegroundColour());
}

bool WxListView::DeleteRow(int row) {
    return ValidRow(row) && list_->DeleteItem(row);
}

void WxListView::DeleteAllRows() {
    list_->DeleteAllItems();
}

void WxListView::ReorderRows(const std::vector<int>& order) {
    const int rows = RowCount();
    if (static_cast<int>(order.size()) != rows) return;
    std::vector<uint64_t> words(order.size());
    std::vector<int> rank(order.size(), -1);
    for (int i = 0; i < rows; ++i) {
        const int from = order[static_cast<size_t>(i)];
        if (from < 0 || from >= rows || rank[static_cast<size_t>(from)] >= 0) return;
        rank[static_cast<size_t>(from)] = i;
    }
    // The control forgets selection and focus when it sorts: carry them over by hand.
    std::vector<bool> selected(order.size());
    const int focused = FocusedRow();
    for (int r = 0; r < rows; ++r) {
        words[static_cast<size_t>(r)] = Word(r);
        selected[static_cast<size_t>(r)] = IsRowSelected(r);
        SetWord(r, static_cast<uint64_t>(rank[static_cast<size_t>(r)]));
    }
    list_->SortItems(
        [](wxIntPtr a, wxIntPtr b, wxIntPtr) -> int { return a < b ? -1 : (a > b ? 1 : 0); }, 0);
    for (int i = 0; i < rows; ++i) {
        const size_t from = static_cast<size_t>(order[static_cast<size_t>(i)]);
        SetWord(i, words[from]);
        SetRowSelected(i, selected[from]);
    }
    if (focused >= 0) SetFocusedRow(rank[static_cast<size_t>(focused)]);
}

std::string WxListView::CellText(int row, int column) const {
    if (!ValidRow(row) || !ValidColumn(column)) return std::string();
    return BytesFromWx(list_->GetItemText(row, column));
}

void WxListView::SetCellText(int row, int column, std::string_view text) {
    if (ValidRow(row) && ValidColumn(column)) list_->SetItem(row, column, WxFromBytes(text));
}

uint32_t WxListView::ItemData(int row) const {
    return ValidRow(row) ? static_cast<uint32_t>(Word(row)) : 0;
}

void WxListView::SetItemData(int row, uint32_t data) {
    if (!ValidRow(row)) return;
    SetWord(row, (Word(row) & ~uint64_t{0xFFFFFFFF}) | data);
    ApplyStyle(row);
}

int WxListView::RowImage(int row) const {
    if (!ValidRow(row)) return 0;
    wxListItem item;
    item.SetId(row);
    item.SetMask(wxLIST_MASK_IMAGE);
    list_->GetItem(item);
    return std::max(item.GetImage(), 0);
}

void WxListView::SetRowImage(int row, int image) {
    if (ValidRow(row)) list_->SetItemImage(row, image);
}

int WxListView::RowStateImage(int row) const {
    return ValidRow(row) ? static_cast<int>((Word(row) & kStateMask) >> kStateShift) : 0;
}

void WxListView::SetRowStateImage(int row, int stateImage) {
    if (!ValidRow(row)) return;
    SetWord(row,
            (Word(row) & ~kStateMask) | (static_cast<uint64_t>(stateImage & 0xF) << kStateShift));
}

bool WxListView::IsRowSelected(int row) const {
    return ValidRow(row) && list_->GetItemState(row, wxLIST_STATE_SELECTED) != 0;
}

void WxListView::SetRowSelected(int row, bool selected) {
    if (ValidRow(row)) {
        list_->SetItemState(row, selected ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
    }
}

int WxListView::FocusedRow() const {
    return static_cast<int>(list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED));
}

void WxListView::SetFocusedRow(int row) {
    if (ValidRow(row)) list_->SetItemState(row, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
}

bool WxListView::IsRowDropHighlighted(int row) const {
    return ValidRow(row) && (Word(row) & kDropBit) != 0;
}

void WxListView::SetRowDropHighlighted(int row, bool on) {
    if (!ValidRow(row)) return;
    SetWord(row, on ? Word(row) | kDropBit : Word(row) & ~kDropBit);
    list_->RefreshItem(row);
}

ListHit WxListView::HitTest(ViewPoint p) const {
    ListHit hit;
    int flags = 0;
    long subItem = -1;
    const long row = list_->HitTest(wxPoint(p.x, p.y), flags, &subItem);
    if (row < 0 || !ValidRow(static_cast<int>(row))) return hit;
    hit.row = static_cast<int>(row);
    hit.onIcon = (flags & wxLIST_HITTEST_ONITEMICON) != 0;
    hit.onLabel = (flags & wxLIST_HITTEST_ONITEMLABEL) != 0;
    hit.onStateImage = (flags & wxLIST_HITTEST_ONITEMSTATEICON) != 0;
    if (subItem >= 0 && subItem < ColumnCount()) {
        hit.subItem = static_cast<int>(subItem);
        return hit;
    }
    // Otherwise the column under the point, from the column widths and the scroll position
    // (the control scrolls sideways in steps of 15 pixels).
    int x = p.x + list_->GetScrollPos(wxHORIZONTAL) * 15;
    for (int c = 0; c < ColumnCount(); ++c) {
        const int width = list_->GetColumnWidth(c);
        if (x < width) {
            hit.subItem = c;
            break;
        }
        x -= width;
    }
    return hit;
}

}  // namespace korvo
