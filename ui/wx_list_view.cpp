#include "ui/wx_list_view.h"

#include <algorithm>
#include <utility>

#include "ui/wx_text.h"

namespace korvo {
namespace {

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

// The control in virtual mode: it asks its view for what it draws.
class WxListView::Control : public wxListCtrl {
  public:
    Control(WxListView* view, wxWindow* parent, wxWindowID id)
        : wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize,
                     wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES),
          view_(view) {}

    void Detach() {
        view_ = nullptr;
        SetItemCount(0);
    }

  protected:
    wxString OnGetItemText(long row, long column) const override {
        return view_ ? view_->TextOf(row, column) : wxString();
    }
    int OnGetItemImage(long row) const override { return view_ ? view_->ImageOf(row, 0) : -1; }
    int OnGetItemColumnImage(long row, long column) const override {
        return view_ ? view_->ImageOf(row, column) : -1;
    }
    wxItemAttr* OnGetItemAttr(long row) const override {
        return view_ ? view_->LookOf(row) : nullptr;
    }

  private:
    WxListView* view_;
};

WxListView::WxListView(wxWindow* parent, wxWindowID id) : list_(new Control(this, parent, id)) {}

WxListView::~WxListView() {
    if (list_) list_->Detach();
}

wxListCtrl* WxListView::control() const {
    return list_.get();
}

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
    for (Row& r : rows_) {
        if (static_cast<size_t>(at) < r.cells.size())
            r.cells.insert(r.cells.begin() + at, std::string());
    }
    return static_cast<int>(at);
}

bool WxListView::DeleteColumn(int column) {
    if (!ValidColumn(column) || !list_->DeleteColumn(column)) return false;
    sortCounters_.erase(sortCounters_.begin() + column);
    for (Row& r : rows_) {
        if (static_cast<size_t>(column) < r.cells.size()) r.cells.erase(r.cells.begin() + column);
    }
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
    return static_cast<int>(rows_.size());
}

void WxListView::RefreshRow(int row) {
    if (!frozen_) list_->RefreshItem(row);
}

std::vector<int> WxListView::SelectedRows() const {
    std::vector<int> selected;
    for (long r = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); r >= 0;
         r = list_->GetNextItem(r, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        selected.push_back(static_cast<int>(r));
    }
    return selected;
}

void WxListView::MoveSelection(const std::vector<int>& selected, int focused,
                               const std::function<int(int)>& to) {
    std::vector<int> moved;
    for (int r : selected) moved.push_back(to(r));
    std::sort(moved.begin(), moved.end());
    for (int r : selected) {
        if (!std::binary_search(moved.begin(), moved.end(), r)) SetRowSelected(r, false);
    }
    for (int r : moved) {
        if (!std::binary_search(selected.begin(), selected.end(), r)) SetRowSelected(r, true);
    }
    if (focused >= 0) SetFocusedRow(to(focused));
}

int WxListView::InsertRow(int row, uint32_t itemData, int image, int stateImage) {
    if (row < 0 || row > RowCount()) return -1;
    Row added;
    added.itemData = itemData;
    added.image = image;
    added.stateImage = stateImage & 0xF;
    const bool appended = row == RowCount();
    // The control keeps selection and focus by position: rows after the new one move down.
    const std::vector<int> selected = appended ? std::vector<int>() : SelectedRows();
    const int focused = appended ? -1 : FocusedRow();
    rows_.insert(rows_.begin() + row, std::move(added));
    list_->SetItemCount(RowCount());
    if (!appended) MoveSelection(selected, focused, [row](int r) { return r < row ? r : r + 1; });
    RefreshRow(row);
    return row;
}

bool WxListView::DeleteRow(int row) {
    if (!ValidRow(row)) return false;
    rows_.erase(rows_.begin() + row);
    list_->DeleteItem(row);  // moves the control's selection and focus along
    return true;
}

void WxListView::DeleteAllRows() {
    rows_.clear();
    list_->DeleteAllItems();
}

void WxListView::KeepRows(const std::vector<int>& rows) {
    const std::vector<int> selected = SelectedRows();
    const int focused = FocusedRow();
    for (int r : selected) SetRowSelected(r, false);
    // In place: rows only move up.
    size_t kept = 0;
    int last = -1;
    for (int from : rows) {
        if (from <= last || !ValidRow(from)) continue;
        last = from;
        if (static_cast<size_t>(from) != kept)
            rows_[kept] = std::move(rows_[static_cast<size_t>(from)]);
        ++kept;
    }
    rows_.erase(rows_.begin() + static_cast<long>(kept), rows_.end());
    list_->SetItemCount(RowCount());
    // The control keeps selection and focus by position: they follow their rows.
    const auto newRow = [&rows](int old) {
        const auto at = std::lower_bound(rows.begin(), rows.end(), old);
        return at != rows.end() && *at == old ? static_cast<int>(at - rows.begin()) : -1;
    };
    for (int r : selected)
        if (newRow(r) >= 0) SetRowSelected(newRow(r), true);
    if (focused >= 0 && newRow(focused) >= 0) SetFocusedRow(newRow(focused));
    if (!frozen_) list_->Refresh();
}

void WxListView::TakeRowsOut(const std::vector<int>& keep, std::vector<ListRow>& taken) {
    MoveRowsNotKept(rows_, keep, taken);
    KeepRows(keep);
}

void WxListView::ReplaceRows(std::vector<ListRow> rows) {
    list_->DeleteAllItems();  // selection and focus go with the old rows
    rows_.clear();
    rows_.reserve(rows.size());
    for (ListRow& from : rows) {
        Row r;
        static_cast<ListRow&>(r) = std::move(from);
        r.stateImage &= 0xF;
        rows_.push_back(std::move(r));
    }
    list_->SetItemCount(RowCount());
    if (!frozen_) list_->Refresh();
}

void WxListView::ReorderRows(const std::vector<int>& order) {
    const int rows = RowCount();
    if (static_cast<int>(order.size()) != rows) return;
    std::vector<int> rank(order.size(), -1);
    for (int i = 0; i < rows; ++i) {
        const int from = order[static_cast<size_t>(i)];
        if (from < 0 || from >= rows || rank[static_cast<size_t>(from)] >= 0) return;
        rank[static_cast<size_t>(from)] = i;
    }
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (int from : order) sorted.push_back(std::move(rows_[static_cast<size_t>(from)]));
    rows_ = std::move(sorted);
    MoveSelection(SelectedRows(), FocusedRow(),
                  [&rank](int r) { return rank[static_cast<size_t>(r)]; });
    if (!frozen_) list_->Refresh();
}

std::string WxListView::CellText(int row, int column) const {
    if (!ValidRow(row) || !ValidColumn(column)) return std::string();
    const std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)]
                                                      : std::string();
}

void WxListView::SetCellText(int row, int column, std::string_view text) {
    if (!ValidRow(row) || !ValidColumn(column)) return;
    std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
    if (static_cast<size_t>(column) >= cells.size()) cells.resize(static_cast<size_t>(column) + 1);
    cells[static_cast<size_t>(column)] = text;
    RefreshRow(row);
}

uint32_t WxListView::ItemData(int row) const {
    return ValidRow(row) ? rows_[static_cast<size_t>(row)].itemData : 0;
}

void WxListView::SetItemData(int row, uint32_t data) {
    if (!ValidRow(row)) return;
    rows_[static_cast<size_t>(row)].itemData = data;
    RefreshRow(row);  // the look may follow the data
}

int WxListView::RowImage(int row) const {
    return ValidRow(row) ? std::max(rows_[static_cast<size_t>(row)].image, 0) : 0;
}

void WxListView::SetRowImage(int row, int image) {
    if (!ValidRow(row)) return;
    rows_[static_cast<size_t>(row)].image = image;
    RefreshRow(row);
}

int WxListView::RowStateImage(int row) const {
    return ValidRow(row) ? rows_[static_cast<size_t>(row)].stateImage : 0;
}

void WxListView::SetRowStateImage(int row, int stateImage) {
    if (ValidRow(row)) rows_[static_cast<size_t>(row)].stateImage = stateImage & 0xF;
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
    return ValidRow(row) && rows_[static_cast<size_t>(row)].dropHighlighted;
}

void WxListView::SetRowDropHighlighted(int row, bool on) {
    if (!ValidRow(row)) return;
    rows_[static_cast<size_t>(row)].dropHighlighted = on;
    RefreshRow(row);
}

void WxListView::SetRowStyler(RowStyler styler) {
    styler_ = std::move(styler);
    if (!frozen_) list_->Refresh();
}

wxItemAttr WxListView::RowLook(int row) const {
    wxItemAttr look;
    if (styler_ && ValidRow(row)) styler_(rows_[static_cast<size_t>(row)].itemData, look);
    return look;
}

wxString WxListView::TextOf(long row, long column) const {
    if (row < 0 || row >= RowCount()) return wxString();
    const std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
    return column >= 0 && static_cast<size_t>(column) < cells.size()
               ? WxFromBytes(cells[static_cast<size_t>(column)])
               : wxString();
}

int WxListView::ImageOf(long row, long column) const {
    if (column != 0 || row < 0 || row >= RowCount()) return -1;
    return rows_[static_cast<size_t>(row)].image;
}

wxItemAttr* WxListView::LookOf(long row) const {
    if (!styler_ || row < 0 || row >= RowCount()) return nullptr;
    look_ = RowLook(static_cast<int>(row));
    return &look_;
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
