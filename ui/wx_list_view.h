// ListView over a wx list control in report mode. The view creates the control as a child of
// `parent`; the parent window owns the control and the view must not outlive it (keep the
// view as a member of the window that holds the control). The control's per-row data word
// carries the row's item data, its state image and its drop highlight, so they move with the
// row when the control sorts or deletes rows.
#pragma once

#include <wx/listctrl.h>

#include <functional>
#include <vector>

#include "controls/list_view.h"

namespace korvo {

class WxListView : public ListView {
  public:
    explicit WxListView(wxWindow* parent, wxWindowID id = wxID_ANY);

    wxListCtrl* control() const { return list_; }
    // The sorted column's arrow: header image i (0 or 1) is drawn as image `first` + i of the
    // control's small image list. Until this is set, header image i is image i.
    void SetHeaderArrowImages(int first) { headerArrowFirst_ = first; }

    void SetReportStyle() override;
    void SetRedraw(bool on) override;

    int ColumnCount() const override;
    int ClientWidth() const override;
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

    int RowCount() const override;
    int InsertRow(int row, uint32_t itemData, int image, int stateImage) override;
    bool DeleteRow(int row) override;
    void DeleteAllRows() override;
    void ReorderRows(const std::vector<int>& order) override;

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
    int FocusedRow() const override;
    void SetFocusedRow(int row) override;
    bool IsRowDropHighlighted(int row) const override;
    void SetRowDropHighlighted(int row, bool on) override;

    // `clientPoint` in the coordinates of the rows area, as list events report them.
    ListHit HitTest(ViewPoint clientPoint) const override;

    // How a row looks by its item data (font, colours); none: every row looks alike. Applied
    // whenever a row's item data is set.
    using RowStyler = std::function<void(uint32_t itemData, wxItemAttr& look)>;
    void SetRowStyler(RowStyler styler) { styler_ = std::move(styler); }

  private:
    void ApplyStyle(int row);
    bool ValidColumn(int column) const { return column >= 0 && column < ColumnCount(); }
    bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }
    wxListItem ColumnItem(int column, long mask) const;
    uint64_t Word(int row) const;
    void SetWord(int row, uint64_t word);

    wxListCtrl* list_;
    std::vector<int> sortCounters_;  // one per column
    int headerArrowFirst_ = 0;
    bool frozen_ = false;
    RowStyler styler_;
};

}  // namespace korvo
