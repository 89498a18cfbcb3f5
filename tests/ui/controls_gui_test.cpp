// The wx views driven through the list and tree logic, checked against what the widgets hold.
#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include <memory>

#include "controls/column_spec.h"
#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "ui/wx_control_events.h"
#include "ui/wx_list_view.h"
#include "ui/wx_text.h"
#include "ui/wx_tree_view.h"

namespace korvo {
namespace {

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "controls", wxDefaultPosition, wxSize(600, 400));
        frame->Show();
    }
    void TearDown() override { frame->Destroy(); }

    wxFrame* frame = nullptr;
};

std::string Cells(wxListCtrl* list, int column) {
    std::string out;
    for (int r = 0; r < list->GetItemCount(); ++r) {
        out += (r ? "," : "") + BytesFromWx(list->GetItemText(r, column));
    }
    return out;
}

TEST_F(GuiTest, ListViewHoldsColumnsCellsDataAndSortOrder) {
    auto view = std::make_unique<WxListView>(frame);
    wxListCtrl* list = view->control();
    CBaseListControl control(*view);

    control.Reset("ST =40 ,Sender =130 ,Size =80 :RIGHT ,A\\,B :center");
    ASSERT_EQ(list->GetColumnCount(), 4);
    wxListItem col;
    col.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT | wxLIST_MASK_IMAGE);
    list->GetColumn(2, col);
    EXPECT_EQ(col.GetText(), "Size");
    EXPECT_EQ(col.GetAlign(), wxLIST_FORMAT_RIGHT);
    EXPECT_EQ(list->GetColumnWidth(2), 80);
    EXPECT_EQ(col.GetImage(), -1) << "no arrow on an unsorted column";
    list->GetColumn(3, col);
    EXPECT_EQ(col.GetText(), "A,B");
    EXPECT_EQ(col.GetAlign(), wxLIST_FORMAT_CENTRE);
    EXPECT_EQ(control.FindColumn("Sender"), 1);

    control.InsertRow(" ,bob ,10", 0x80000001, -1, 1, 2);
    control.InsertRow(" ,carol ,9", 2);
    const std::string raw = "ann \xff\xfe";  // not UTF-8: kept byte for byte
    control.InsertPackedRow(PackCells({"", raw, "010"}), 3, 0);
    ASSERT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(Cells(list, 1), raw + ",bob,carol");
    EXPECT_EQ(view->CellText(0, 1), raw);
    EXPECT_EQ(view->ItemData(1), 0x80000001u);
    EXPECT_NE(list->GetItemState(0, wxLIST_STATE_SELECTED), 0);

    control.SortByColumn(2);
    view->control()->SetSize(0, 0, 500, 300);
    wxYield();  // paints the header with its arrow and the highlighted rows
    EXPECT_EQ(Cells(list, 2), "010,9,10");
    list->GetColumn(2, col);
    EXPECT_EQ(col.GetImage(), 1);
    control.SortByColumn(2);
    EXPECT_EQ(Cells(list, 2), "10,9,010");
    list->GetColumn(2, col);
    EXPECT_EQ(col.GetImage(), 0);
    // Data, images and marks moved with their rows.
    EXPECT_EQ(view->ItemData(0), 0x80000001u);
    EXPECT_EQ(view->RowStateImage(0), 2);
    EXPECT_EQ(view->RowImage(0), 1);
    EXPECT_NE(list->GetItemState(2, wxLIST_STATE_SELECTED), 0);
    EXPECT_TRUE(view->IsRowDropHighlighted(2));
    EXPECT_EQ(list->GetItemState(0, wxLIST_STATE_SELECTED), 0);
    control.SortByColumn(1);
    list->GetColumn(2, col);
    EXPECT_EQ(col.GetImage(), -1);

    control.ModifyColumns("Size -Bytes =95");
    list->GetColumn(2, col);
    EXPECT_EQ(col.GetText(), "Bytes");
    EXPECT_EQ(col.GetAlign(), wxLIST_FORMAT_RIGHT);
    EXPECT_EQ(list->GetColumnWidth(2), 95);
    control.DeleteColumns("ST");
    EXPECT_EQ(list->GetColumnCount(), 3);
    EXPECT_EQ(Cells(list, 0), raw + ",bob,carol") << "sorted by sender";
    EXPECT_EQ(view->HeaderSortCounter(0), 1) << "counters follow their columns";
}

TEST_F(GuiTest, TreeViewHoldsLabelsStatesAndData) {
    auto view = std::make_unique<WxTreeView>(frame);
    wxTreeCtrl* tree = view->control();
    CBaseTreeControl control(*view);

    const TreeItem root = view->InsertItem(kNoItem, "Korvo", 0, 1, 0);
    const TreeItem alice = view->InsertItem(root, "alice", 2, 3, 1);
    const TreeItem inbox = view->InsertItem(alice, "Inbox (2/5)", 4, 5, 0x80000002);
    const TreeItem bob = view->InsertItem(root, "bob", 2, 3, 3);
    const TreeItem second = view->InsertItem(kNoItem, "second top", 0, 1, 4);
    view->SetStateImage(alice, 1);
    view->SetStateImage(bob, 2);
    view->Expand(root);
    tree->SetSize(0, 0, 300, 200);
    wxYield();  // paints items that carry state images

    EXPECT_EQ(tree->GetItemText(WxTreeView::ToWx(alice)), "alice");
    EXPECT_EQ(tree->GetItemState(WxTreeView::ToWx(alice)), 1);
    EXPECT_EQ(tree->GetItemState(WxTreeView::ToWx(bob)), 2);
    EXPECT_EQ(tree->GetItemState(WxTreeView::ToWx(root)), wxTREE_ITEMSTATE_NONE);
    EXPECT_EQ(tree->GetItemImage(WxTreeView::ToWx(inbox), wxTreeItemIcon_Selected), 5);
    EXPECT_EQ(view->Parent(root), kNoItem);
    EXPECT_EQ(view->NextSibling(root), second);

    EXPECT_EQ(control.FindItem(kNoItem, 2), inbox);
    EXPECT_EQ(control.FindItem(kNoItem, 4), second);
    EXPECT_EQ(BytesFromWx(tree->GetItemText(WxTreeView::ToWx(control.FindItem(root, 3)))), "bob");
    EXPECT_EQ(control.FindItem(kNoItem, 9), kNoItem);

    view->Expand(root);
    view->Expand(alice);
    EXPECT_TRUE(tree->IsExpanded(WxTreeView::ToWx(alice)));
    control.SelectNodeItem(inbox);
    EXPECT_EQ(tree->GetSelection(), WxTreeView::ToWx(alice)) << "locked branch: its top";
    EXPECT_EQ(control.selectionPath(), "1,0");
    view->Collapse(alice);
    EXPECT_FALSE(tree->IsExpanded(WxTreeView::ToWx(alice)));
    view->SetStateImage(alice, 0);
    EXPECT_EQ(tree->GetItemState(WxTreeView::ToWx(alice)), wxTREE_ITEMSTATE_NONE);

    view->SetDropHighlight(bob);
    view->DeleteItem(alice);
    EXPECT_EQ(view->Label(inbox), "") << "handles of deleted items are ignored";
    EXPECT_EQ(control.FindItem(kNoItem, 2), kNoItem);
    EXPECT_EQ(view->DropHighlight(), bob);
    view->DeleteAllItems();
    EXPECT_EQ(view->FirstTopItem(), kNoItem);
    EXPECT_EQ(view->DropHighlight(), kNoItem);
    EXPECT_NE(view->InsertItem(kNoItem, "again", 0, 0, 7), kNoItem);
}

TEST_F(GuiTest, HeaderClickSortsTheList) {
    auto view = std::make_unique<WxListView>(frame);
    view->SetHeaderArrowImages(4);  // the arrows follow four row images
    CBaseListControl control(*view);
    WxListEvents events(*view, control);
    control.Reset("Name ,Count :RIGHT");
    control.InsertRow("b ,10", 1);
    control.InsertRow("a ,9", 2);
    control.InsertRow("c ,100", 3);

    auto click = [&](int column) {
        wxListEvent event(wxEVT_LIST_COL_CLICK, view->control()->GetId());
        event.SetEventObject(view->control());
        event.m_col = column;
        view->control()->GetEventHandler()->ProcessEvent(event);
    };
    // The arrow the control draws, as an index into its image list (-1: none).
    auto drawnArrow = [&](int column) {
        wxListItem item;
        item.SetMask(wxLIST_MASK_IMAGE);
        view->control()->GetColumn(column, item);
        return item.GetImage();
    };
    click(1);
    EXPECT_EQ(Cells(view->control(), 1), "9,10,100");
    EXPECT_EQ(view->HeaderImage(1), 1);
    EXPECT_EQ(drawnArrow(1), 5);
    click(1);
    EXPECT_EQ(Cells(view->control(), 1), "100,10,9");
    EXPECT_EQ(view->HeaderImage(1), 0);
    EXPECT_EQ(drawnArrow(1), 4);
    click(0);
    EXPECT_EQ(Cells(view->control(), 0), "a,b,c");
    EXPECT_EQ(view->HeaderImage(1), 2) << "no arrow";
    EXPECT_EQ(drawnArrow(1), -1);
    EXPECT_EQ(drawnArrow(0), 5);
}

// The rows live in the view; the control keeps selection and focus by position, so inserting
// and deleting rows must carry them along. A view that goes before its control leaves it empty.
TEST_F(GuiTest, SelectionFollowsItsRowsAndTheControlOutlivesItsView) {
    auto view = std::make_unique<WxListView>(frame);
    wxListCtrl* list = view->control();
    CBaseListControl control(*view);
    constexpr uint32_t kBold = 0x80000000;
    view->SetRowStyler([list](uint32_t data, wxItemAttr& look) {
        if (data & kBold) look.SetFont(list->GetFont().Bold());
    });
    control.Reset("Name ,Size");
    for (const char* name : {"a", "b", "c", "d"}) control.InsertRow(std::string(name) + " ,1", 0);
    view->SetItemData(2, kBold | 7);
    view->SetRowSelected(1, true);
    view->SetRowSelected(3, true);
    view->SetFocusedRow(3);
    list->SetSize(0, 0, 400, 200);
    wxYield();  // paints the rows through the view

    control.InsertRow("new ,2", 0, 0);
    control.InsertRow("mid ,2", 0, 3);
    EXPECT_EQ(Cells(list, 0), "new,a,b,mid,c,d");
    EXPECT_FALSE(view->IsRowSelected(1));
    EXPECT_TRUE(view->IsRowSelected(2)) << "b";
    EXPECT_TRUE(view->IsRowSelected(5)) << "d";
    EXPECT_EQ(view->FocusedRow(), 5);
    EXPECT_EQ(view->ItemData(4), kBold | 7) << "c";
    EXPECT_EQ(view->RowLook(4).GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_FALSE(view->RowLook(1).HasFont());

    view->DeleteRow(0);
    view->DeleteRow(2);  // mid
    EXPECT_EQ(Cells(list, 0), "a,b,c,d");
    EXPECT_TRUE(view->IsRowSelected(1));
    EXPECT_TRUE(view->IsRowSelected(3));
    EXPECT_FALSE(view->IsRowSelected(2));
    EXPECT_EQ(view->FocusedRow(), 3);

    // Columns inserted between filled ones push the cells along.
    view->InsertColumn(1, "Gap", 30, ColumnAlign::kLeft);
    EXPECT_EQ(view->CellText(2, 1), "");
    EXPECT_EQ(view->CellText(2, 2), "1");
    view->DeleteColumn(0);
    EXPECT_EQ(Cells(list, 1), "1,1,1,1");

    // Rows taken out keep their cells and data; put back, they come unselected.
    std::vector<ListRow> taken;
    view->TakeRowsOut({1, 3}, taken);
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_TRUE(view->IsRowSelected(0) && view->IsRowSelected(1)) << "b and d";
    EXPECT_EQ(view->FocusedRow(), 1);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[1].itemData, kBold | 7) << "c";
    view->ReplaceRows(std::move(taken));
    EXPECT_EQ(Cells(list, 1), "1,1");
    EXPECT_FALSE(view->IsRowSelected(0) || view->IsRowSelected(1));
    EXPECT_EQ(view->FocusedRow(), -1);
    EXPECT_EQ(view->RowLook(1).GetFont().GetWeight(), wxFONTWEIGHT_BOLD);

    view.reset();
    EXPECT_EQ(list->GetItemCount(), 0);
    list->Refresh();
    wxYield();  // paints with the view gone
}

// Mouse events sent to the tree reach the logic with the widget's geometry and the given clock.
TEST_F(GuiTest, TreeEventsDriveSelectionAndDrag) {
    auto view = std::make_unique<WxTreeView>(frame);
    wxTreeCtrl* tree = view->control();
    tree->SetSize(0, 0, 400, 300);
    CBaseTreeControl control(*view);
    control.EnableDrag(true);
    int64_t now = 1000;
    WxTreeEvents events(*view, control, [&] { return now; });

    const TreeItem top = view->InsertItem(kNoItem, "top", 0, 0, 0);
    const TreeItem a = view->InsertItem(top, "a", 0, 0, 1);
    const TreeItem b = view->InsertItem(top, "b", 0, 0, 2);
    view->InsertItem(b, "b1", 0, 0, 3);
    view->Expand(top);
    wxYield();

    auto centre = [&](TreeItem item) {
        wxRect rect;
        EXPECT_TRUE(tree->GetBoundingRect(WxTreeView::ToWx(item), rect, true));
        return rect.GetPosition() + wxPoint(rect.GetWidth() / 2, rect.GetHeight() / 2);
    };
    auto mouse = [&](wxEventType type, wxPoint at) {
        wxMouseEvent event(type);
        event.SetEventObject(tree);
        event.SetPosition(at);
        tree->GetEventHandler()->ProcessEvent(event);
    };

    mouse(wxEVT_LEFT_DOWN, centre(a));
    EXPECT_EQ(control.currentItem(), a);
    EXPECT_EQ(control.selectionPath(), "1,0");
    EXPECT_NE(control.lastHitParts() & kTreeHitLabel, 0u);
    mouse(wxEVT_LEFT_UP, centre(a));

    // Too soon after the press: no drag.
    wxTreeEvent drag(wxEVT_TREE_BEGIN_DRAG, tree, WxTreeView::ToWx(a));
    drag.SetPoint(centre(a));
    now += kDragMinPressMs - 1;
    tree->GetEventHandler()->ProcessEvent(drag);
    EXPECT_FALSE(control.dragging());

    mouse(wxEVT_LEFT_DOWN, centre(a));
    now += kDragMinPressMs;
    tree->GetEventHandler()->ProcessEvent(drag);
    ASSERT_TRUE(control.dragging());
    EXPECT_EQ(control.draggedItem(), a);

    mouse(wxEVT_MOTION, centre(b));
    EXPECT_EQ(control.dropTarget(), b);
    EXPECT_EQ(view->DropHighlight(), b);
    EXPECT_FALSE(tree->IsExpanded(WxTreeView::ToWx(b)));
    now += kDragHoverMs;
    events.Tick();
    EXPECT_TRUE(tree->IsExpanded(WxTreeView::ToWx(b))) << "hovering opens the branch";
    EXPECT_EQ(tree->GetSelection(), WxTreeView::ToWx(b));

    mouse(wxEVT_LEFT_UP, centre(b));
    EXPECT_FALSE(control.dragging());
    EXPECT_EQ(wxWindow::GetCapture(), nullptr);
}

}  // namespace
}  // namespace korvo
