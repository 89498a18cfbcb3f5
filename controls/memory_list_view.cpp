#include "controls/memory_list_view.h"

#include <algorithm>

namespace korvo {

const MemoryListView::Column* MemoryListView::ColumnAt(int column) const {
    if (column < 0 || column >= ColumnCount()) return nullptr;
    return &columns_[static_cast<size_t>(column)];
}

MemoryListView::Column* MemoryListView::ColumnAt(int column) {
    if (column < 0 || column >= ColumnCount()) return nullptr;
    return &columns_[static_cast<size_t>(column)];
}

const MemoryListView::Row* MemoryListView::RowAt(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    return &rows_[static_cast<size_t>(row)];
}

MemoryListView::Row* MemoryListView::RowAt(int row) {
    if (row < 0 || row >= RowCount()) return nullptr;
    return &rows_[static_cast<size_t>(row)];
}

int MemoryListView::InsertColumn(int column, std::string_view title, int width, ColumnAlign align) {
    if (column < 0 || column > ColumnCount()) return -1;
    columns_.insert(columns_.begin() + column, Column{std::string(title), width, align, 0, 2});
    for (Row& row : rows_) row.cells.insert(row.cells.begin() + column, std::string());
    return column;
}

bool MemoryListView::DeleteColumn(int column) {
    if (!ColumnAt(column)) return false;
    columns_.erase(columns_.begin() + column);
    for (Row& row : rows_) row.cells.erase(row.cells.begin() + column);
    return true;
}

std::string MemoryListView::ColumnTitle(int column) const {
    const Column* c = ColumnAt(column);
    return c ? c->title : std::string();
}

void MemoryListView::SetColumnTitle(int column, std::string_view title) {
    if (Column* c = ColumnAt(column)) c->title = title;
}

int MemoryListView::ColumnWidth(int column) const {
    const Column* c = ColumnAt(column);
    return c ? c->width : 0;
}

void MemoryListView::SetColumnWidth(int column, int width) {
    if (Column* c = ColumnAt(column)) c->width = width;
}

ColumnAlign MemoryListView::ColumnAlignment(int column) const {
    const Column* c = ColumnAt(column);
    return c ? c->align : ColumnAlign::kLeft;
}

void MemoryListView::SetColumnAlignment(int column, ColumnAlign align) {
    if (Column* c = ColumnAt(column)) c->align = align;
}

int MemoryListView::HeaderSortCounter(int column) const {
    const Column* c = ColumnAt(column);
    return c ? c->sortCounter : 0;
}

void MemoryListView::SetHeaderSortCounter(int column, int counter) {
    if (Column* c = ColumnAt(column)) c->sortCounter = counter;
}

int MemoryListView::HeaderImage(int column) const {
    const Column* c = ColumnAt(column);
    return c ? c->image : 2;
}

void MemoryListView::SetHeaderImage(int column, int image) {
    if (Column* c = ColumnAt(column)) c->image = image;
}

int MemoryListView::InsertRow(int row, uint32_t itemData, int image, int stateImage) {
    if (row < 0 || row > RowCount()) return -1;
    Row r;
    r.cells.resize(columns_.size());
    r.itemData = itemData;
    r.image = image;
    r.stateImage = stateImage;
    rows_.insert(rows_.begin() + row, std::move(r));
    if (focused_ >= row) ++focused_;
    return row;
}

bool MemoryListView::DeleteRow(int row) {
    if (!RowAt(row)) return false;
    rows_.erase(rows_.begin() + row);
    if (focused_ == row) {
        focused_ = -1;
    } else if (focused_ > row) {
        --focused_;
    }
    return true;
}

void MemoryListView::DeleteAllRows() {
    rows_.clear();
    focused_ = -1;
}

void MemoryListView::KeepRows(const std::vector<int>& rows) {
    // In place: rows only move up.
    size_t kept = 0;
    int focused = -1;
    int last = -1;
    for (int from : rows) {
        if (from <= last || !RowAt(from)) continue;
        last = from;
        if (from == focused_) focused = static_cast<int>(kept);
        if (static_cast<size_t>(from) != kept)
            rows_[kept] = std::move(rows_[static_cast<size_t>(from)]);
        ++kept;
    }
    rows_.erase(rows_.begin() + static_cast<long>(kept), rows_.end());
    focused_ = focused;
}

void MemoryListView::TakeRowsOut(const std::vector<int>& keep, std::vector<ListRow>& taken) {
    MoveRowsNotKept(rows_, keep, taken);
    KeepRows(keep);
}

void MemoryListView::ReplaceRows(std::vector<ListRow> rows) {
    rows_.clear();
    rows_.reserve(rows.size());
    for (ListRow& from : rows) {
        Row r;
        static_cast<ListRow&>(r) = std::move(from);
        r.cells.resize(columns_.size());
        r.stateImage &= 0xF;
        rows_.push_back(std::move(r));
    }
    focused_ = -1;
}

void MemoryListView::ReorderRows(const std::vector<int>& order) {
    if (order.size() != rows_.size()) return;
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    std::vector<bool> used(rows_.size(), false);
    int focused = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        const int from = order[i];
        if (from < 0 || from >= RowCount() || used[static_cast<size_t>(from)]) return;
        used[static_cast<size_t>(from)] = true;
        if (from == focused_) focused = static_cast<int>(i);
    }
    for (int from : order) sorted.push_back(std::move(rows_[static_cast<size_t>(from)]));
    rows_ = std::move(sorted);
    focused_ = focused;
}

std::string MemoryListView::CellText(int row, int column) const {
    const Row* r = RowAt(row);
    if (!r || !ColumnAt(column)) return std::string();
    return r->cells[static_cast<size_t>(column)];
}

void MemoryListView::SetCellText(int row, int column, std::string_view text) {
    Row* r = RowAt(row);
    if (r && ColumnAt(column)) r->cells[static_cast<size_t>(column)] = text;
}

uint32_t MemoryListView::ItemData(int row) const {
    const Row* r = RowAt(row);
    return r ? r->itemData : 0;
}

void MemoryListView::SetItemData(int row, uint32_t data) {
    if (Row* r = RowAt(row)) r->itemData = data;
}

int MemoryListView::RowImage(int row) const {
    const Row* r = RowAt(row);
    return r ? r->image : 0;
}

void MemoryListView::SetRowImage(int row, int image) {
    if (Row* r = RowAt(row)) r->image = image;
}

int MemoryListView::RowStateImage(int row) const {
    const Row* r = RowAt(row);
    return r ? r->stateImage : 0;
}

void MemoryListView::SetRowStateImage(int row, int stateImage) {
    if (Row* r = RowAt(row)) r->stateImage = stateImage & 0xF;
}

bool MemoryListView::IsRowSelected(int row) const {
    const Row* r = RowAt(row);
    return r && r->selected;
}

void MemoryListView::SetRowSelected(int row, bool selected) {
    if (Row* r = RowAt(row)) r->selected = selected;
}

void MemoryListView::SetFocusedRow(int row) {
    focused_ = RowAt(row) ? row : -1;
}

bool MemoryListView::IsRowDropHighlighted(int row) const {
    const Row* r = RowAt(row);
    return r && r->dropHighlighted;
}

void MemoryListView::SetRowDropHighlighted(int row, bool on) {
    if (Row* r = RowAt(row)) r->dropHighlighted = on;
}

ListHit MemoryListView::HitTest(ViewPoint p) const {
    ListHit hit;
    if (p.x < 0 || p.y < kHeaderHeight) return hit;
    const int row = (p.y - kHeaderHeight) / kRowHeight;
    if (row >= RowCount()) return hit;
    int left = 0;
    for (int c = 0; c < ColumnCount(); ++c) {
        const int width = columns_[static_cast<size_t>(c)].width;
        if (p.x < left + width) {
            hit.row = row;
            hit.subItem = c;
            const int dx = p.x - left;
            if (c != 0 || dx >= 2 * kImageWidth) {
                hit.onLabel = true;
            } else if (dx >= kImageWidth) {
                hit.onIcon = true;
            } else {
                hit.onStateImage = true;
            }
            return hit;
        }
        left += width;
    }
    return hit;
}

}  // namespace korvo
