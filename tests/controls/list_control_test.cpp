#include "controls/list_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/column_spec.h"
#include "controls/memory_list_view.h"

namespace korvo {
namespace {

class ListControlTest : public ::testing::Test {
  protected:
    // "title/width/L|C|R" for every column.
    std::string Columns() const {
        std::string out;
        for (int c = 0; c < view.ColumnCount(); ++c) {
            const ColumnAlign a = view.ColumnAlignment(c);
            out += view.ColumnTitle(c) + "/" + std::to_string(view.ColumnWidth(c)) + "/" +
                   (a == ColumnAlign::kLeft     ? "L"
                    : a == ColumnAlign::kCenter ? "C"
                                                : "R") +
                   ";";
        }
        return out;
    }
    // The cells of a row joined by "|".
    std::string Row(int row) const {
        std::string out;
        for (int c = 0; c < view.ColumnCount(); ++c) out += (c ? "|" : "") + view.CellText(row, c);
        return out;
    }
    std::string Column(int column) const {
        std::string out;
        for (int r = 0; r < view.RowCount(); ++r) out += (r ? "," : "") + view.CellText(r, column);
        return out;
    }

    MemoryListView view;
    CBaseListControl list{view};
};

TEST_F(ListControlTest, ColumnItemsGiveTitleWidthAndAlignment) {
    list.InsertColumns(
        "ST =40 ,Sender =130 ,Size =80 :RIGHT ,Bare ,Mid = 70 : center ,"
        "Lft =9 :LEFT ,Odd =5 :diagonal ,OnlyAlign :right");
    EXPECT_EQ(Columns(),
              "ST/40/L;Sender/130/L;Size/80/R;Bare/50/L;Mid/70/C;Lft/9/L;Odd/5/L;"
              "OnlyAlign/50/R;");
    EXPECT_EQ(list.columnCount(), 8);
}

TEST_F(ListControlTest, TitlesLoseTheirEscapes) {
    list.InsertColumns("A\\,B =60 ,x\\=y\\:z\\-w ,keep\\n");
    EXPECT_EQ(Columns(), "A,B/60/L;x=y:z-w/50/L;keep\\n/50/L;");
    EXPECT_EQ(list.FindColumn("A,B"), 0);
}

TEST_F(ListControlTest, OddSpecsInsertNothingHarmful) {
    list.InsertColumns(" , , ,");
    EXPECT_EQ(view.ColumnCount(), 0);
    list.InsertColumns("");
    EXPECT_EQ(view.ColumnCount(), 0);
    list.InsertColumns("Huge =99999999999999999999999 ,Neg =-20 ,NoNum =abc , =30 ,Empty =");
    EXPECT_EQ(Columns(), "Huge/10000/L;Neg/0/L;NoNum/0/L;/30/L;Empty/0/L;");
}

TEST_F(ListControlTest, ModifyChangesOnlyThePartsPresent) {
    list.InsertColumns("Show Filter =80 :CENTER ,Note =60 :RIGHT ,Other =10");
    list.ModifyColumns(
        "Show Filter -Show Filter =120 ,Note -Note =100 ,Missing -X =5 ,NoDash =7 ,Other -Renamed");
    EXPECT_EQ(Columns(), "Show Filter/120/C;Note/100/R;Renamed/10/L;");
    list.ModifyColumns("Renamed -Renamed :RIGHT");
    EXPECT_EQ(Columns(), "Show Filter/120/C;Note/100/R;Renamed/10/R;");
}

TEST_F(ListControlTest, DeleteByNameOrAll) {
    list.InsertColumns("A ,B ,C ,D");
    list.DeleteColumns("B,D,Nope");
    EXPECT_EQ(Columns(), "A/50/L;C/50/L;");
    EXPECT_EQ(list.columnCount(), 2);
    list.DeleteColumns("-1");
    EXPECT_EQ(view.ColumnCount(), 0);
    EXPECT_EQ(list.columnCount(), 0);
}

TEST_F(ListControlTest, FindColumnIsExactAndBounded) {
    list.InsertColumns("Name ,name ,Name");
    EXPECT_EQ(list.FindColumn("name"), 1);
    EXPECT_EQ(list.FindColumn("Name"), 0);
    EXPECT_EQ(list.FindColumn("Nam"), -1);
    const std::string longTitle(1000, 'x');
    view.InsertColumn(3, longTitle, 10, ColumnAlign::kLeft);
    EXPECT_EQ(list.FindColumn(longTitle), -1);
    EXPECT_EQ(list.FindColumn(std::string(999, 'x')), -1);
}

TEST_F(ListControlTest, RowTextsFillColumnsWithJumps) {
    list.InsertColumns("C0 ,C1 ,C2 ,C3 ,C4 ,C5 ,C6");
    EXPECT_EQ(list.InsertRow("a ,b ,5 :five ,six", 7), 0);
    EXPECT_EQ(Row(0), "a|b||||five|six");
    EXPECT_EQ(list.InsertRow("2 :x ,0 :y ,z\\,q ,12:30", 8), 1);
    EXPECT_EQ(Row(1), "y|z,q|12:30||||");
    // Pieces past the last column and column numbers out of range are dropped.
    EXPECT_EQ(list.InsertRow("a ,6 :six ,seven ,99999999999999999999 :big ,7 :x", 9), 2);
    EXPECT_EQ(Row(2), "a||||||six");
    EXPECT_EQ(list.rowCount(), 3);
}

TEST_F(ListControlTest, RowsInsertAtPositionWithClampedImages) {
    list.InsertColumns("A");
    list.InsertRow("first", 1);
    list.InsertRow("second", 2, 99);
    list.InsertRow("zero", 3, 0, -4, -1);
    list.InsertRow("mid", 4, 2, 5, 3);
    list.InsertRow("tail", 5, -7);
    EXPECT_EQ(Column(0), "zero,first,mid,second,tail");
    EXPECT_EQ(view.ItemData(2), 4u);
    EXPECT_EQ(view.RowImage(0), 0);
    EXPECT_EQ(view.RowStateImage(0), 0);
    EXPECT_EQ(view.RowImage(2), 5);
    EXPECT_EQ(view.RowStateImage(2), 3);

    list.SetRowTexts("changed", 1, 2, 1);
    EXPECT_EQ(view.CellText(1, 0), "changed");
    EXPECT_EQ(view.RowImage(1), 2);
    list.SetRowTexts("ghost", 5);
    list.SetRowTexts("ghost", -1);
    EXPECT_EQ(Column(0), "zero,changed,mid,second,tail");
}

TEST_F(ListControlTest, PackedRowsAreSelectedAndDropHighlighted) {
    list.InsertColumns("A ,B ,C");
    list.InsertRow("plain", 1);
    const int row =
        list.InsertPackedRow(PackCells({"x", "y,z \\,", "w", "past"}), 0x80000005, 0, 1);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(Row(0), "x|y,z \\,|w");  // packed cells are not unescaped
    EXPECT_TRUE(view.IsRowSelected(0));
    EXPECT_TRUE(view.IsRowDropHighlighted(0));
    EXPECT_FALSE(view.IsRowSelected(1));
    EXPECT_EQ(view.ItemData(0), 0x80000005u);
}

// Every packed buffer is read only within its bounds (ASan checks the reads: each case gets a
// heap copy of exactly its own size).
TEST(UnpackCells, StopsAtBadLengthsWithoutReadingPast) {
    auto unpack = [](std::string bytes) {
        std::vector<char> exact(bytes.begin(), bytes.end());
        return UnpackCells(std::string_view(exact.data(), exact.size()));
    };
    const std::string two = PackCells({"ab", "c"});
    EXPECT_EQ(unpack(two), (std::vector<std::string>{"ab", "c"}));
    // Zero length ends the row; so does a negative one.
    EXPECT_EQ(unpack(PackCells({"ab"}) + std::string("\0\0\0\0", 4) + PackCells({"x"})),
              (std::vector<std::string>{"ab"}));
    EXPECT_EQ(unpack(PackCells({"ab"}) + std::string("\xff\xff\xff\xff", 4) + "abc"),
              (std::vector<std::string>{"ab"}));
    EXPECT_EQ(unpack(std::string("\x00\x00\x00\x80zzzz", 8)), std::vector<std::string>{});
    // An entry running past the end, by one byte and by a lot.
    EXPECT_EQ(unpack(two.substr(0, two.size() - 1)), (std::vector<std::string>{"ab"}));
    EXPECT_EQ(unpack(PackCells({"ab"}) + std::string("\xff\xff\xff\x7f", 4) + "q"),
              (std::vector<std::string>{"ab"}));
    // A length field cut short, and a cell without its zero byte.
    EXPECT_EQ(unpack(PackCells({"ab"}) + std::string("\x05\x00", 2)),
              (std::vector<std::string>{"ab"}));
    EXPECT_EQ(unpack(std::string("\x03\x00\x00\x00xyz", 7)), std::vector<std::string>{"xyz"});
    // Text after the zero byte inside an entry is not part of the cell.
    EXPECT_EQ(unpack(std::string("\x04\x00\x00\x00k\0zz", 8)), std::vector<std::string>{"k"});
    EXPECT_EQ(unpack(""), std::vector<std::string>{});
}

TEST(CompareCells, NumbersOnlyWhenTheyPrintBackAsThemselves) {
    EXPECT_LT(CompareCells("9", "10"), 0);
    EXPECT_GT(CompareCells("10", "9"), 0);
    EXPECT_LT(CompareCells("-3", "2"), 0);
    EXPECT_EQ(CompareCells("7", "7"), 0);
    // Not printed back as read: compared as text.
    EXPECT_LT(CompareCells("010", "9"), 0);
    EXPECT_LT(CompareCells("+5", "40"), 0);
    EXPECT_GT(CompareCells("5 ", "40"), 0);
    EXPECT_LT(CompareCells("-0", "-1"), 0);
    EXPECT_LT(CompareCells("3000000000", "4"), 0) << "beyond 32 bits";
    EXPECT_LT(CompareCells("-2147483648", "2147483647"), 0);
    EXPECT_GT(CompareCells("\xe4\xb8\xad", "z"), 0) << "bytes compare unsigned";
    EXPECT_LT(CompareCells("", "0"), 0);
}

TEST_F(ListControlTest, HeaderClicksToggleAndResetOtherColumns) {
    list.InsertColumns("Num ,Text");
    const char* rows[] = {"10 ,b", "9 ,a", "010 ,c", "100 ,a"};
    for (const char* r : rows) list.InsertRow(r, 0);

    // Mixed numbers and text: each pair is compared on its own.
    list.SortByColumn(1);
    EXPECT_EQ(Column(1), "a,a,b,c");
    EXPECT_EQ(Column(0), "9,100,10,010") << "equal keys keep their order";
    EXPECT_EQ(view.HeaderSortCounter(1), 1);
    EXPECT_EQ(view.HeaderImage(1), 1);
    EXPECT_EQ(view.HeaderSortCounter(0), 0);
    EXPECT_EQ(view.HeaderImage(0), 2);

    list.SortByColumn(1);
    EXPECT_EQ(Column(1), "c,b,a,a");
    EXPECT_EQ(view.HeaderSortCounter(1), 2);
    EXPECT_EQ(view.HeaderImage(1), 0);
    list.SortByColumn(1);
    EXPECT_EQ(Column(1), "a,a,b,c");
    EXPECT_EQ(view.HeaderSortCounter(1), 1);

    // Another column starts ascending and the first one is unsorted again.
    list.SortByColumn(0);
    EXPECT_EQ(view.HeaderSortCounter(0), 1);
    EXPECT_EQ(view.HeaderSortCounter(1), 0);
    EXPECT_EQ(view.HeaderImage(1), 2);
    EXPECT_EQ(Column(0), "010,9,10,100");
    list.SortByColumn(0);
    EXPECT_EQ(Column(0), "100,10,9,010");
}

TEST_F(ListControlTest, SortMovesWholeRows) {
    list.InsertColumns("K ,V");
    list.InsertRow("3 ,three", 3, -1, 3);
    list.InsertRow("1 ,one", 1, -1, 1);
    list.InsertRow("2 ,two", 2, -1, 2);
    view.SetFocusedRow(0);
    view.SetRowSelected(2, true);
    list.SortByColumn(0);
    EXPECT_EQ(Column(1), "one,two,three");
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(view.ItemData(r), static_cast<uint32_t>(r + 1));
        EXPECT_EQ(view.RowImage(r), r + 1);
    }
    EXPECT_EQ(view.FocusedRow(), 2);
    EXPECT_TRUE(view.IsRowSelected(1));
    list.SortByColumn(-1);
    EXPECT_EQ(Column(1), "one,two,three");
    EXPECT_EQ(view.HeaderSortCounter(0), 0);
}

TEST_F(ListControlTest, ResetEmptiesAndRebuilds) {
    list.InsertColumns("Old ,Older");
    list.InsertRow("x ,y", 1);
    list.SortByColumn(0);
    list.Reset("ST =40 ,Subject =210 ,Size =80 :RIGHT");
    EXPECT_TRUE(view.reportStyle());
    EXPECT_EQ(Columns(), "ST/40/L;Subject/210/L;Size/80/R;");
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.columnCount(), 3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(view.HeaderSortCounter(c), 0);
        EXPECT_EQ(view.HeaderImage(c), 2);
    }
    list.SortByColumn(2);
    EXPECT_EQ(view.HeaderSortCounter(2), 1) << "a fresh column starts ascending";
}

TEST_F(ListControlTest, HitTestRecordsTheRowAndPart) {
    list.InsertColumns("A =60 ,B =40");
    list.InsertRow("a ,b", 0x1234);
    list.InsertRow("c ,d", 0x5678);
    const int y1 = MemoryListView::kHeaderHeight + MemoryListView::kRowHeight + 2;
    EXPECT_EQ(list.HitTest({70, y1}), 1);
    EXPECT_EQ(list.lastHit().itemData, 0x5678u);
    EXPECT_EQ(list.lastHit().subItem, 1);
    EXPECT_TRUE(list.lastHit().onLabel);
    EXPECT_EQ(list.HitTest({20, y1}), 1);
    EXPECT_TRUE(list.lastHit().onIcon);
    EXPECT_FALSE(list.lastHit().onLabel);
    EXPECT_EQ(list.HitTest({3, MemoryListView::kHeaderHeight}), 0);
    EXPECT_TRUE(list.lastHit().onStateImage);
    EXPECT_EQ(list.HitTest({3, 500}), -1);
    EXPECT_EQ(list.lastHit().itemData, 0u);
    EXPECT_FALSE(list.lastHit().onStateImage);
}

}  // namespace
}  // namespace korvo
