// ListView over a wx list control in report mode. The view creates the control as a child of
// `parent`; the parent window owns the control (keep the view as a member of the window that
// holds the control; a view that goes first leaves the control empty). The rows live here and
// the control only draws the ones on screen and keeps selection and focus: filling a list of
// many thousand rows costs no drawing work per row.
#pragma once

#include <wx/listctrl.h>
#include <wx/weakref.h>

#include <functional>
#include <string>
#include <vector>

#include "controls/list_view.h"

namespace korvo {

class WxListView : public ListView {
  public:
    explicit WxListView(wxWindow* parent, wxWindowID id = wxID_ANY);
    ~WxListView() override;

    WxListView(const WxListView&) = delete;
    WxListView& operator=(const WxListView&) = delete;

    wxListCtrl* control() const;
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
    int FocusedRow() const override;
    void SetFocusedRow(int row) override;
    bool IsRowDropHighlighted(int row) const override;
    void SetRowDropHighlighted(int row, bool on) override;

    // `clientPoint` in the coordinates of the rows area, as list events report them.
    ListHit HitTest(ViewPoint clientPoint) const override;

    // How a row looks by its item data (font, colours); none: every row looks alike.
    using RowStyler = std::function<void(uint32_t itemData, wxItemAttr& look)>;
    void SetRowStyler(RowStyler styler);
    // The look the styler gives the row now (empty without a styler or row).
    wxItemAttr RowLook(int row) const;

  private:
    class Control;
    friend class Control;
    struct Row : ListRow {
        bool dropHighlighted = false;
    };

    bool ValidColumn(int column) const { return column >= 0 && column < ColumnCount(); }
    bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }
    wxListItem ColumnItem(int column, long mask) const;
    void RefreshRow(int row);
    // The selected rows, in order.
    std::vector<int> SelectedRows() const;
    // The control's selection and focus after rows moved: `to` gives each old row's new place.
    void MoveSelection(const std::vector<int>& selected, int focused,
                       const std::function<int(int)>& to);

    // Asked by the control for the rows on screen.
    wxString TextOf(long row, long column) const;
    int ImageOf(long row, long column) const;
    wxItemAttr* LookOf(long row) const;

    wxWeakRef<Control> list_;
    std::vector<Row> rows_;
    std::vector<int> sortCounters_;  // one per column
    int headerArrowFirst_ = 0;
    bool frozen_ = false;
    RowStyler styler_;
    mutable wxItemAttr look_;  // the last row look handed to the control
};

}  // namespace korvo
