// A ListView kept in memory: for tests and for runs without a display. Hit tests use a fixed
// geometry: rows of kRowHeight pixels below a header of kHeaderHeight, columns side by side at
// their widths; in column 0 the state image takes the first kImageWidth pixels, the icon the
// next kImageWidth, the label the rest.
#pragma once

#include <vector>

#include "controls/list_view.h"

namespace korvo {

class MemoryListView : public ListView {
  public:
    static constexpr int kHeaderHeight = 20;
    static constexpr int kRowHeight = 16;
    static constexpr int kImageWidth = 16;

    void SetReportStyle() override { reportStyle_ = true; }
    void SetRedraw(bool on) override { redraw_ = on; }
    bool reportStyle() const { return reportStyle_; }
    bool redraw() const { return redraw_; }

    int ColumnCount() const override { return static_cast<int>(columns_.size()); }
    int InsertColumn(int column, std::string_view title, int width, ColumnAlign align) override;
    bool DeleteColumn(int column) override;
    std::string ColumnTitle(int column) const override;
    void SetColumnTitle(int column, std::string_view title) override;
    int ColumnWidth(int column) const override;
    void SetColumnWidth(int column, int width) override;
    ColumnAlign ColumnAlignment(int column) const override;
    void SetColumnAlignment(int column, ColumnAlign align) override;
    int HeaderSortCounter(int column) const override;
    void SetHeaderSortCounter(int column, int counter) override;
    int HeaderImage(int column) const override;
    void SetHeaderImage(int column, int image) override;

    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int InsertRow(int row, uint32_t itemData, int image, int stateImage) override;
    bool DeleteRow(int row) override;
    void DeleteAllRows() override;
    void ReorderRows(const std::vector<int>& order) override;
    void KeepRows(const std::vector<int>& rows) override;
    void TakeRowsOut(const std::vector<int>& keep, std::vector<ListRow>& taken) override;
    void ReplaceRows(std::vector<ListRow> rows) override;

    std::string CellText(int row, int column) const override;
    void SetCellText(int row, int column, std::string_view text) override;
    uint32_t ItemData(int row) const override;
    void SetItemData(int row, uint32_t data) override;
    int RowImage(int row) const override;
    void SetRowImage(int row, int image) override;
    int RowStateImage(int row) const override;
    void SetRowStateImage(int row, int stateImage) override;
    bool IsRowSelected(int row) const override;
    void SetRowSelected(int row, bool selected) override;
    int FocusedRow() const override { return focused_; }
    void SetFocusedRow(int row) override;
    bool IsRowDropHighlighted(int row) const override;
    void SetRowDropHighlighted(int row, bool on) override;

    ListHit HitTest(ViewPoint clientPoint) const override;

    int ClientWidth() const override { return clientWidth_; }
    void SetClientWidth(int width) { clientWidth_ = width; }

  private:
    struct Column {
        std::string title;
        int width = 0;
        ColumnAlign align = ColumnAlign::kLeft;
        int sortCounter = 0;
        int image = 2;
    };
    struct Row : ListRow {  // cells: one per column
        bool selected = false;
        bool dropHighlighted = false;
    };

    const Column* ColumnAt(int column) const;
    Column* ColumnAt(int column);
    const Row* RowAt(int row) const;
    Row* RowAt(int row);

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    int focused_ = -1;
    bool reportStyle_ = false;
    bool redraw_ = true;
    int clientWidth_ = 600;
};

}  // namespace korvo
