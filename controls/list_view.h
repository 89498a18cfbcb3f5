// The report-style list widget as the list logic sees it. The wx program implements it over a
// list control in report mode; MemoryListView (memory_list_view.h) keeps everything in memory
// for tests and headless runs. Rows and columns are counted from 0; an index out of range is
// ignored by setters and reads as empty, 0 or false.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

enum class ColumnAlign { kLeft, kCenter, kRight };

struct ViewPoint {
    int x = 0;
    int y = 0;
};

struct ViewRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A row's contents, as a list takes it out and puts it back (selection and focus are not part
// of it).
struct ListRow {
    std::vector<std::string> cells;  // fewer than the columns: the rest are empty
    uint32_t itemData = 0;
    int image = 0;
    int stateImage = 0;
};

// What lies under a point of the list's client area.
struct ListHit {
    int row = -1;      // -1: no row
    int subItem = -1;  // column under the point, -1 when none
    bool onIcon = false;
    bool onLabel = false;
    bool onStateImage = false;
};

class ListView {
  public:
    virtual ~ListView() = default;

    // Report style with full-row selection, grid lines and movable headers.
    virtual void SetReportStyle() = 0;
    // Off while many rows change; on again repaints.
    virtual void SetRedraw(bool on) = 0;

    virtual int ColumnCount() const = 0;
    // Inserts before `column` (ColumnCount() appends); returns the new index or -1.
    virtual int InsertColumn(int column, std::string_view title, int width, ColumnAlign align) = 0;
    virtual bool DeleteColumn(int column) = 0;
    virtual std::string ColumnTitle(int column) const = 0;
    virtual void SetColumnTitle(int column, std::string_view title) = 0;
    virtual int ColumnWidth(int column) const = 0;
    virtual void SetColumnWidth(int column, int width) = 0;
    virtual ColumnAlign ColumnAlignment(int column) const = 0;
    virtual void SetColumnAlignment(int column, ColumnAlign align) = 0;

    // Header items: the sort counter (0 unsorted, 1 ascending, 2 descending) and the arrow
    // image (0 or 1, 2 for none).
    virtual int HeaderSortCounter(int column) const = 0;
    virtual void SetHeaderSortCounter(int column, int counter) = 0;
    virtual int HeaderImage(int column) const = 0;
    virtual void SetHeaderImage(int column, int image) = 0;

    virtual int RowCount() const = 0;
    // Inserts an empty row before `row` (RowCount() appends); returns its index or -1.
    virtual int InsertRow(int row, uint32_t itemData, int image, int stateImage) = 0;
    virtual bool DeleteRow(int row) = 0;
    virtual void DeleteAllRows() = 0;
    // Keeps only the rows `rows` (ascending), in their order; kept rows stay selected and
    // focused. Views with many rows override it to do this in one pass.
    virtual void KeepRows(const std::vector<int>& rows) {
        size_t next = rows.size();
        for (int row = RowCount() - 1; row >= 0; --row) {
            if (next > 0 && rows[next - 1] == row)
                --next;
            else
                DeleteRow(row);
        }
    }
    // KeepRows that appends the rows it drops to `taken`, in their order, with their cells: a
    // filter sets them aside and brings them back with ReplaceRows instead of building them
    // again.
    virtual void TakeRowsOut(const std::vector<int>& keep, std::vector<ListRow>& taken) = 0;
    // Every row replaced by `rows`, in one pass; afterwards no row is selected or focused.
    virtual void ReplaceRows(std::vector<ListRow> rows) = 0;
    // Moves the rows so that new row i is the old row order[i]; `order` is a permutation.
    virtual void ReorderRows(const std::vector<int>& order) = 0;

    virtual std::string CellText(int row, int column) const = 0;
    virtual void SetCellText(int row, int column, std::string_view text) = 0;
    virtual uint32_t ItemData(int row) const = 0;
    virtual void SetItemData(int row, uint32_t data) = 0;
    virtual int RowImage(int row) const = 0;
    virtual void SetRowImage(int row, int image) = 0;
    // The check-box style image, 0 to 15 (0: none).
    virtual int RowStateImage(int row) const = 0;
    virtual void SetRowStateImage(int row, int stateImage) = 0;

    virtual bool IsRowSelected(int row) const = 0;
    virtual void SetRowSelected(int row, bool selected) = 0;
    virtual int FocusedRow() const = 0;  // -1: none
    virtual void SetFocusedRow(int row) = 0;
    virtual bool IsRowDropHighlighted(int row) const = 0;
    virtual void SetRowDropHighlighted(int row, bool on) = 0;

    virtual ListHit HitTest(ViewPoint clientPoint) const = 0;

    // Width of the client area in pixels.
    virtual int ClientWidth() const { return 0; }
};

// For views that keep their rows, derived from ListRow, in a vector: moves every row not in
// `keep` (ascending) to the end of `taken`, in order, leaving it empty for KeepRows to drop.
template <typename Row>
void MoveRowsNotKept(std::vector<Row>& rows, const std::vector<int>& keep,
                     std::vector<ListRow>& taken) {
    size_t next = 0;
    for (size_t row = 0; row < rows.size(); ++row) {
        while (next < keep.size() && keep[next] < static_cast<int>(row)) ++next;
        if (next < keep.size() && keep[next] == static_cast<int>(row)) continue;
        taken.push_back(std::move(static_cast<ListRow&>(rows[row])));
    }
}

}  // namespace korvo
