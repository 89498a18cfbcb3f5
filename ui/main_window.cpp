#include "ui/main_window.h"

#include <wx/aboutdlg.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/srchctrl.h>
#include <wx/statusbr.h>

#include "shell/command_line.h"
#include "shell/desktop_interfaces.h"
#include "shell/letter_list.h"
#include "ui/letter_row_style.h"
#include "ui/tool_art.h"
#include "ui/view_images.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

constexpr CommandSet kNone = CommandSet::kNone;
constexpr CommandSet kTree = CommandSet::kTree;
constexpr CommandSet kFrame = CommandSet::kFrame;
constexpr CommandSet kLetter = CommandSet::kLetter;

constexpr int T(TreeCommand c) {
    return static_cast<int>(c);
}
constexpr int F(FrameCommand c) {
    return static_cast<int>(c);
}

struct ToolButton {
    const char* label;
    int command;  // a FrameCommand; 0 for a separator
    int menu;     // index into the drop-down menus below, or -1
};

}  // namespace

struct MainWindow::Item {
    const char* text;
    CommandSet set;
    int command;
    bool checkable = false;
    const char* keys = nullptr;  // the keyboard shortcut, shown beside the text
};

namespace {

using Item = MainWindow::Item;

// The menus of the menu bar that the tool bar's buttons carry as drop-downs too.
std::vector<Item> UserItems() {
    return {{"Create user", kTree, T(TreeCommand::kAddUser)},
            {"Delete user", kTree, T(TreeCommand::kDeleteUser)},
            {"Lock user", kTree, T(TreeCommand::kLockUser), true},
            {"Clear user lock", kTree, T(TreeCommand::kClearUserLock)},
            {"Property", kTree, T(TreeCommand::kUserOption)}};
}

std::vector<Item> AccountItems() {
    return {{"Create account", kTree, T(TreeCommand::kAddAccount)},
            {"Delete account", kTree, T(TreeCommand::kDeleteAccount)},
            {"Lock account", kTree, T(TreeCommand::kLockAccount), true},
            {"Accout clear lock", kTree, T(TreeCommand::kClearAccountLock)},
            {"Account property", kTree, T(TreeCommand::kAccountOption)}};
}

std::vector<Item> BoxItems() {
    return {{"Create box", kTree, T(TreeCommand::kAddBox)},
            {"Delete box", kTree, T(TreeCommand::kDeleteBox)},
            {"Lock box", kTree, T(TreeCommand::kLockBox), true},
            {"Box clear lock", kTree, T(TreeCommand::kClearBoxLock)},
            {"Box property", kTree, T(TreeCommand::kBoxOption)}};
}

// "Set password", "Refuse mail" and "mail option" do nothing anywhere: shown disabled.
std::vector<Item> MailItems() {
    return {{"Set readed", kLetter, kCmdSetRead},
            {"Set unread", kLetter, kCmdSetUnread},
            {"Set write back", kLetter, kCmdSetWriteBack},
            {"Set not write back", kLetter, kCmdSetNotWriteBack},
            {"Set hidden", kLetter, kCmdSetHidden},
            {"Set unhidden", kLetter, kCmdSetUnhidden},
            {nullptr, kNone, 0},
            {"Show normal", kLetter, kCmdShowNormal, true},
            {"Show hidden", kLetter, kCmdShowHidden, true},
            {"Show deleted", kLetter, kCmdShowDeleted, true},
            {nullptr, kNone, 0},
            {"Delete", kLetter, kCmdDelete},
            {"Undelete", kLetter, kCmdUndelete},
            {"Compress box", kLetter, kCmdCompressBox},
            {"Show Mail Text", kLetter, kCmdShowMailText, true},
            {"Keep on the server", kLetter, kCmdKeep},
            {"Cancel keep on", kLetter, kCmdCancelKeep},
            {nullptr, kNone, 0},
            {"Set password", kNone, 0},
            {"Refuse mail", kNone, 0},
            {"mail option", kNone, 0},
            {nullptr, kNone, 0},
            {"Add all to address book", kLetter, kCmdAddAllToBook},
            {"Receiver to address book", kLetter, kCmdReceiverToBook},
            {"Sender to address book", kLetter, kCmdSenderToBook},
            {nullptr, kNone, 0},
            {"Show text by WEB", kFrame, F(FrameCommand::kShowTextByWeb), true}};
}

// The sub-menus of the tree's context menu. "&System option" has no handler.
std::vector<Item> TreeContextItems(ContextMenu which) {
    switch (which) {
        case ContextMenu::kSystem:
            return {{"&Add new user", kTree, T(TreeCommand::kAddUser)},
                    {"&System option", kNone, 0}};
        case ContextMenu::kUser:
            return {{"&Add new user", kTree, T(TreeCommand::kAddUser)},
                    {"User &optoin", kTree, T(TreeCommand::kUserOption)},
                    {"&Delete user", kTree, T(TreeCommand::kDeleteUser)},
                    {"&Locked user", kTree, T(TreeCommand::kLockUser), true},
                    {"&Clear user lock", kTree, T(TreeCommand::kClearUserLock)},
                    {nullptr, kNone, 0},
                    {"&Add new account", kTree, T(TreeCommand::kAddAccount)}};
        case ContextMenu::kAccount:
            return {{"Account &option", kTree, T(TreeCommand::kAccountOption)},
                    {"&Delete account", kTree, T(TreeCommand::kDeleteAccount)},
                    {"Lock account", kTree, T(TreeCommand::kLockAccount), true},
                    {"Clear account lock", kTree, T(TreeCommand::kClearAccountLock)},
                    {nullptr, kNone, 0},
                    {"&Add new box", kTree, T(TreeCommand::kAddBox)}};
        case ContextMenu::kBox:
            return {{"&Add new box", kTree, T(TreeCommand::kAddBox)},
                    {"Box &option", kTree, T(TreeCommand::kBoxOption)},
                    {"Delete box", kTree, T(TreeCommand::kDeleteBox)},
                    {"Lock box", kTree, T(TreeCommand::kLockBox), true},
                    {"&Clear box lock", kTree, T(TreeCommand::kClearBoxLock)},
                    {nullptr, kNone, 0},
                    {"Apply &filters", kTree, T(TreeCommand::kApplyFilters)}};
        case ContextMenu::kMail:
            return MailItems();
    }
    return {};
}

}  // namespace

MainWindow::MainWindow(CommandSink& sink)
    : wxFrame(nullptr, wxID_ANY, "Korvo", wxDefaultPosition, wxSize(1100, 720)), sink_(&sink) {
    BuildMenuBar();
    BuildToolBar();
    BuildContextMenus();
    CreateStatusBar(1);
    SetStatusText("Ready");
    BuildLayout();
    SetMinClientSize(wxSize(kMinClientWidth, kMinClientHeight));
    Centre();

    Bind(wxEVT_MENU, &MainWindow::OnCommand, this, table_.firstId(), table_.endId() - 1);
    Bind(wxEVT_UPDATE_UI, &MainWindow::OnUpdateUI, this, table_.firstId(), table_.endId() - 1);
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            search_->SetFocus();
            search_->SelectAll();
        },
        kQuickSearchId);
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            wxAboutDialogInfo about;
            about.SetName("Korvo");
            about.SetVersion(WxFromBytes(ProgramVersion()));
            about.SetDescription(
                "A fast, dependable POP3/SMTP mail client that keeps all your mail in local "
                "files you own.");
            wxAboutBox(about, this);
        },
        wxID_ABOUT);
    Bind(wxEVT_CLOSE_WINDOW, &MainWindow::OnClose, this);
}

// The views refer to widgets that the window destroys after this body; drop them first.
MainWindow::~MainWindow() {
    tree_.reset();
    letters_.reset();
    attachments_.reset();
}

wxMenu* MainWindow::MakeMenu(const std::vector<Item>& items) {
    auto* menu = new wxMenu;
    for (const Item& item : items) {
        if (!item.text) {
            menu->AppendSeparator();
            continue;
        }
        const int id = table_.Add({item.set, item.command});
        wxString text = WxFromBytes(item.text);
        if (item.keys) text += wxString("\t") + item.keys;
        if (item.checkable) {
            menu->AppendCheckItem(id, text);
            checkable_.insert(id);
        } else {
            menu->Append(id, text);
        }
        if (item.set == kNone) menu->Enable(id, false);
    }
    return menu;
}

void MainWindow::BuildMenuBar() {
    auto* bar = new wxMenuBar;
    // Of the File menu's items Receive, Preview, Send and E&xit work; the others have no handler.
    wxMenu* file = MakeMenu({{"Open(O)...", kNone, 0},
                             {"Save as(S)...", kNone, 0},
                             {"Save attachment(A)", kNone, 0},
                             {nullptr, kNone, 0},
                             {"receive all account", kNone, 0},
                             {"Preview all account", kNone, 0},
                             {"Send all account", kNone, 0},
                             {nullptr, kNone, 0},
                             {"Receive", kFrame, F(FrameCommand::kReceive), false, "F5"},
                             {"Preview", kFrame, F(FrameCommand::kPreview)},
                             {"Send", kFrame, F(FrameCommand::kSend)},
                             {nullptr, kNone, 0},
                             {"Import(I)...", kNone, 0},
                             {"Export(O)...", kNone, 0},
                             {"set check option", kNone, 0},
                             {"Import letters...", CommandSet::kTransfer,
                              int(TransferCommand::kImportLetters)},
                             {"Export box...", CommandSet::kTransfer,
                              int(TransferCommand::kExportBox)},
                             {"Save letter as...", CommandSet::kTransfer,
                              int(TransferCommand::kSaveLetter)},
                             {nullptr, kNone, 0},
                             {"&Print...", kNone, 0},
                             {"Print Pre&view", kNone, 0},
                             {"P&rint Setup...", kNone, 0},
                             {nullptr, kNone, 0},
                             // Leaves the program, as the tray menu's "exit" does.
                             {"E&xit", kFrame, F(FrameCommand::kExit), false, "Ctrl+Q"}});
    bar->Append(file, "&File");
    wxMenu* edit = MakeMenu({{"Write new letter", kFrame, F(FrameCommand::kNew), false, "Ctrl+N"},
                             {"Write back", kFrame, F(FrameCommand::kBack), false, "Ctrl+R"},
                             {"WriteBack to Send , CC...", kFrame, F(FrameCommand::kWriteBackAll),
                              false, "Ctrl+Shift+R"},
                             {"Forward", kFrame, F(FrameCommand::kForward), false, "Ctrl+L"}});
    edit->AppendSeparator();
    edit->Append(kQuickSearchId, "Quick search\tCtrl+F");
    edit->Append(kFindId, "Find...\tCtrl+Shift+F");
    bar->Append(edit, "&Edit");
    auto* help = new wxMenu;
    help->Append(wxID_ABOUT, "&About Korvo");
    bar->Append(help, "&Help");
    bar->Append(MakeMenu(UserItems()), "&User");
    bar->Append(MakeMenu(AccountItems()), "&Account");
    bar->Append(MakeMenu(BoxItems()), "&Box");
    bar->Append(MakeMenu(MailItems()), "&mail");
    SetMenuBar(bar);
}

void MainWindow::BuildToolBar() {
    // The drop-down menus, in the order the buttons use them.
    const std::vector<std::vector<Item>> menus = {
        {{"Receive", kNone, 0}, {"Receive All", kNone, 0}},
        {{"Preview", kNone, 0},
         {"Preview All", kNone, 0},
         {"Preview Option", kNone, 0},
         {nullptr, kNone, 0},
         {"Receive and delete", kFrame, F(FrameCommand::kReceiveAndDelete)},
         {"Receive letter", kFrame, F(FrameCommand::kReceiveLetter)},
         {"Delete Letter", kFrame, F(FrameCommand::kDeleteLetter)}},
        {{"Send", kNone, 0}, {"Send All", kNone, 0}},
        {{"Write new letter", kNone, 0}, {"Write backup", kNone, 0}, {"Receive notify", kNone, 0}},
        {{"WriteBack to Send , CC...", kFrame, F(FrameCommand::kWriteBackAll)},
         {"WriteBack to Sender", kFrame, F(FrameCommand::kWriteBackSender)},
         {"WriteBack to CC", kFrame, F(FrameCommand::kWriteBackCc)}},
        {{"Normal forward", kNone, 0},
         {"Make Old to attachemt", kNone, 0},
         {"Delete old attachment", kNone, 0}},
        UserItems(),
        AccountItems(),
        BoxItems(),
        MailItems(),
    };
    static const ToolButton kButtons[] = {
        {"Receive", F(FrameCommand::kReceive), 0},
        {"Preview", F(FrameCommand::kPreview), 1},
        {"Send", F(FrameCommand::kSend), 2},
        {nullptr, 0, -1},
        {"New", F(FrameCommand::kNew), 3},
        {"Back", F(FrameCommand::kBack), 4},
        {"Forward", F(FrameCommand::kForward), 5},
        {nullptr, 0, -1},
        {"User", F(FrameCommand::kUserProperty), 6},
        {"Account", F(FrameCommand::kAccountProperty), 7},
        {"Box", F(FrameCommand::kBoxProperty), 8},
        {"Email", F(FrameCommand::kEmail), 9},
        {nullptr, 0, -1},
        {"Address", F(FrameCommand::kAddress), -1},
        {"Template", F(FrameCommand::kTemplate), -1},
        {"Filter", F(FrameCommand::kFilter), -1},
    };

    // Pictures with tool tips, no labels under them: with labels the bar is wider than the
    // window and its last buttons would fall into an overflow menu.
    wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT, wxID_ANY, "Standard");
    bar->SetToolBitmapSize(wxSize(kToolImageWidth, kToolImageHeight));
    int hue = 0;
    for (const ToolButton& button : kButtons) {
        if (!button.label) {
            bar->AddSeparator();
            continue;
        }
        const int id = table_.Add({kFrame, button.command});
        bar->AddTool(id, button.label, ToolIcon(button.label, hue++), button.label,
                     button.menu >= 0 ? wxITEM_DROPDOWN : wxITEM_NORMAL);
        if (button.menu >= 0) {
            wxMenu* menu = MakeMenu(menus[size_t(button.menu)]);
            bar->SetDropdownMenu(id, menu);
            dropdowns_.push_back(menu);
        }
    }
    bar->Realize();
}

void MainWindow::BuildLayout() {
    auto* columns = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                         wxSP_3D | wxSP_LIVE_UPDATE);
    auto* left = new wxSplitterWindow(columns, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                      wxSP_3D | wxSP_LIVE_UPDATE);
    tree_ = std::make_unique<WxTreeView>(left);
    tree_->control()->AssignImageList(MakeTreeImages());
    tree_->control()->AssignStateImageList(MakeLockStateImages());
    addresses_ = new wxPanel(left);
    left->SplitHorizontally(tree_->control(), addresses_, 300);

    auto* right = new wxSplitterWindow(columns, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                       wxSP_3D | wxSP_LIVE_UPDATE);
    // The quick search field sits above the letter list, in one pane of the splitter.
    auto* listPane = new wxPanel(right);
    search_ = new wxSearchCtrl(listPane, wxID_ANY);
    search_->ShowCancelButton(true);
    search_->SetDescriptiveText("Search sender, receiver, subject");
    letters_ = std::make_unique<WxListView>(listPane);
    letters_->control()->AssignImageList(MakeLetterRowImages(), wxIMAGE_LIST_SMALL);
    letters_->SetHeaderArrowImages(kLetterRowImageCount);
    StyleLetterRows(*letters_);
    auto* listColumn = new wxBoxSizer(wxVERTICAL);
    listColumn->Add(search_, 0, wxEXPAND | wxBOTTOM, 2);
    listColumn->Add(letters_->control(), 1, wxEXPAND);
    listPane->SetSizer(listColumn);
    auto* lower = new wxSplitterWindow(right, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                       wxSP_3D | wxSP_LIVE_UPDATE);
    viewer_ = new wxPanel(lower);
    viewer_->SetBackgroundColour(*wxWHITE);
    attachments_ = std::make_unique<WxListView>(lower);
    // The attachment list keeps its height when the window grows; the viewer takes the rest.
    lower->SetSashGravity(1.0);
    lower->SplitHorizontally(viewer_, attachments_->control(), kViewerHeight);
    right->SplitHorizontally(listPane, lower, kLetterListHeight);
    columns->SplitVertically(left, right, kLeftColumnWidth);
    splitters_ = {columns, left, right, lower};
    for (wxSplitterWindow* s : splitters_) s->SetMinimumPaneSize(20);
}

void MainWindow::BuildContextMenus() {
    for (ContextMenu which : {ContextMenu::kSystem, ContextMenu::kUser, ContextMenu::kAccount,
                              ContextMenu::kBox, ContextMenu::kMail}) {
        context_[size_t(which)].reset(MakeMenu(TreeContextItems(which)));
    }
}

void MainWindow::PopupContextMenu(ContextMenu which) {
    wxMenu* menu = contextMenu(which);
    menu->UpdateUI(this);
    if (popupHook_) {
        popupHook_(which);
        return;
    }
    PopupMenu(menu);
}

wxMenu* MainWindow::DropdownMenu(int toolId) const {
    wxToolBar* bar = GetToolBar();
    wxToolBarToolBase* tool = bar ? bar->FindById(toolId) : nullptr;
    return tool ? tool->GetDropdownMenu() : nullptr;
}

void MainWindow::UpdateCommandStates() {
    wxMenuBar* bar = GetMenuBar();
    for (size_t i = 0; bar && i < bar->GetMenuCount(); ++i) bar->GetMenu(i)->UpdateUI(this);
    for (wxMenu* menu : dropdowns_) menu->UpdateUI(this);
    if (GetToolBar()) GetToolBar()->UpdateWindowUI();
}

void MainWindow::OnCommand(wxCommandEvent& event) {
    const std::optional<MenuCommand> command = table_.Find(event.GetId());
    if (!command || command->set == kNone) return;
    sink_->RunCommand(*command);
}

void MainWindow::OnUpdateUI(wxUpdateUIEvent& event) {
    const std::optional<MenuCommand> command = table_.Find(event.GetId());
    if (!command) return;
    if (command->set == kNone) {
        event.Enable(false);
        return;
    }
    event.Enable(sink_->IsCommandEnabled(*command));
    if (checkable_.count(event.GetId())) event.Check(sink_->IsCommandChecked(*command));
}

void MainWindow::OnClose(wxCloseEvent& event) {
    if (!event.CanVeto()) {
        Destroy();
        return;
    }
    event.Veto();
    sink_->CloseRequested();
}

}  // namespace korvo
