// CBaseListControl: the report list of every list in the shell. Views never address columns by
// index; they describe columns and rows as texts (column_spec.h) and this class turns them into
// columns and cells of a ListView, and sorts the rows on header clicks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controls/list_view.h"

namespace korvo {

// What the last HitTest found.
struct ListHitRecord {
    int row = -1;
    uint32_t itemData = 0;
    int subItem = -1;
    bool onIcon = false;
    bool onLabel = false;
    bool onStateImage = false;
};

class CBaseListControl {
  public:
    // `view` must outlive the control.
    explicit CBaseListControl(ListView& view) : view_(view) {}

    ListView& view() { return view_; }
    int columnCount() const { return columnCount_; }
    int rowCount() const { return rowCount_; }

    // Appends the columns of a spec ("Task =65 ,Account =215 ,State =80 ,Info =30").
    void InsertColumns(std::string_view spec);
    // Items "old name -new item" joined by " ,"; only the parts present in the new item change.
    void ModifyColumns(std::string_view spec);
    // Header names joined by ","; "-1" deletes every column.
    void DeleteColumns(std::string_view spec);
    // Index of the first column titled exactly `name`, or -1.
    int FindColumn(std::string_view name) const;

    // Inserts a row at `position` (-1 or past the end appends) and fills it from row texts.
    // Returns the row's index, or -1.
    int InsertRow(std::string_view texts, uint32_t itemData, int position = -1, int image = 0,
                  int stateImage = 0);
    // Sets a row's images and cells; nothing happens for a row that does not exist.
    void SetRowTexts(std::string_view texts, int row, int image = 0, int stateImage = 0);
    // Inserts a row whose cells come from a packed buffer; the row is selected and
    // drop-highlighted.
    int InsertPackedRow(std::string_view packed, uint32_t itemData, int position = -1,
                        int image = 0, int stateImage = 0);

    // The row under a client point, or -1; the details stay in lastHit().
    int HitTest(ViewPoint point);
    const ListHitRecord& lastHit() const { return lastHit_; }

    // A header click: the clicked column sorts ascending, descending, ascending...; every
    // other column becomes unsorted. -1 leaves no column sorted.
    void SortByColumn(int column);
    // Empties the list and sets it up afresh with the columns of `spec`.
    void Reset(std::string_view spec);

  private:
    int PrepareRow(uint32_t itemData, int position, int image, int stateImage);

    ListView& view_;
    int columnCount_ = 0;
    int rowCount_ = 0;
    ListHitRecord lastHit_;
};

}  // namespace korvo
