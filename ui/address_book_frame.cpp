#include "ui/address_book_frame.h"

#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/splitter.h>
#include <wx/toolbar.h>

#include "ui/busy_flag.h"
#include "ui/settings_dialogs.h"
#include "ui/tool_art.h"
#include "ui/view_images.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

struct Tool {
    BookCommand command;
    const char* text;
};

// The tool bar, in order; "Write new mail" has no handler and stays disabled.
constexpr Tool kTools[] = {
    {BookCommand::kAddFolder, "Add new folder"},
    {BookCommand::kAddTeam, "Add new term"},
    {BookCommand::kModifyItem, "Modify item"},
    {BookCommand::kDeleteItem, "Delete item"},
    {BookCommand::kAddPerson, "Address new person"},
    {BookCommand::kModifyPerson, "Modify person"},
    {BookCommand::kDeletePerson, "Delete person"},
    {BookCommand::kShowAllAccounts, "Show all account"},
};
constexpr int kWriteMailTool = 32810;

struct VCardItem {
    int id;
    BookCommand command;
    const char* text;
};
constexpr VCardItem kVCardItems[] = {
    {AddressBookFrame::kImportVCardItem, BookCommand::kImportVCard, "Import vCard..."},
    {AddressBookFrame::kExportVCardItem, BookCommand::kExportVCard, "Export vCard..."},
};

}  // namespace

AddressBookFrame::AddressBookFrame(wxWindow* parent, const std::string& title, CSysData& sys,
                                   PersonEditor& editor, TransferChooser files)
    : wxFrame(parent, wxID_ANY, WxFromBytes(title), wxDefaultPosition, wxSize(760, 520)),
      files_(std::move(files)) {
    prompter_ = std::make_unique<WxShellDialogs>(this);
    wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT | wxTB_TEXT);
    bar->SetToolBitmapSize(wxSize(kToolImageWidth, kToolImageHeight));
    int hue = 0;
    for (const Tool& tool : kTools) {
        bar->AddTool(int(tool.command), tool.text, ToolBitmap(tool.text, hue++), tool.text);
        Bind(wxEVT_TOOL, &AddressBookFrame::OnTool, this, int(tool.command));
        Bind(wxEVT_UPDATE_UI, &AddressBookFrame::OnToolUpdate, this, int(tool.command));
    }
    bar->AddSeparator();
    bar->AddTool(kWriteMailTool, "Write new mail", ToolBitmap("Write new mail", hue), "");
    bar->EnableTool(kWriteMailTool, false);
    bar->Realize();

    // Persons in and out as vCards. Menu ids must stay below 0x7fff, which the commands' own
    // numbers do not.
    auto* file = new wxMenu;
    auto* menus = new wxMenuBar;
    for (const auto& [id, command, text] : kVCardItems) {
        file->Append(id, text);
        Bind(
            wxEVT_MENU,
            [this, command = command](wxCommandEvent&) {
                if (!busy_) Run(command);
            },
            id);
        Bind(
            wxEVT_UPDATE_UI,
            [this, command = command](wxUpdateUIEvent& event) {
                event.Enable(logic_->IsCommandEnabled(command));
            },
            id);
    }
    menus->Append(file, "&File");
    SetMenuBar(menus);
    CreateStatusBar();

    auto* split = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                       wxSP_3D | wxSP_LIVE_UPDATE);
    treeView_ = std::make_unique<WxTreeView>(split);
    treeView_->control()->AssignImageList(MakeTreeImages());
    treeLogic_ = std::make_unique<CBaseTreeControl>(*treeView_);
    listView_ = std::make_unique<WxListView>(split);
    listLogic_ = std::make_unique<CBaseListControl>(*listView_);
    split->SplitVertically(treeView_->control(), listView_->control(), 220);
    split->SetMinimumPaneSize(40);

    AddressDialogs& dialogs = *this;
    logic_ = std::make_unique<CViewBookAddress>(sys, *treeLogic_, *listLogic_, dialogs, editor);

    wxTreeCtrl* tree = treeView_->control();
    tree->Bind(wxEVT_TREE_SEL_CHANGED, &AddressBookFrame::OnTreeSelection, this);
    tree->Bind(wxEVT_TREE_ITEM_EXPANDED, &AddressBookFrame::OnTreeExpanded, this);
    tree->Bind(wxEVT_TREE_ITEM_COLLAPSED, &AddressBookFrame::OnTreeExpanded, this);
    listView_->control()->Bind(wxEVT_LIST_ITEM_ACTIVATED, &AddressBookFrame::OnPersonActivated,
                               this);
}

AddressBookFrame::~AddressBookFrame() {
    // The widgets go with the window; what they report while going is not news.
    busy_ = true;
    wxTreeCtrl* tree = treeView_->control();
    tree->Unbind(wxEVT_TREE_SEL_CHANGED, &AddressBookFrame::OnTreeSelection, this);
    tree->Unbind(wxEVT_TREE_ITEM_EXPANDED, &AddressBookFrame::OnTreeExpanded, this);
    tree->Unbind(wxEVT_TREE_ITEM_COLLAPSED, &AddressBookFrame::OnTreeExpanded, this);
    listView_->control()->Unbind(wxEVT_LIST_ITEM_ACTIVATED, &AddressBookFrame::OnPersonActivated,
                                 this);
}

bool AddressBookFrame::Start(baseDataStruct* node) {
    BusyFlag busy(busy_);
    return logic_->Open(node);
}

void AddressBookFrame::Run(BookCommand command) {
    BusyFlag busy(busy_);
    logic_->RunCommand(command);
}

bool AddressBookFrame::EditFolder(FolderForm& form, baseDataStruct* node, std::string_view title) {
    FolderDialog dialog(this, form, node, *prompter_);
    dialog.SetTitle(WxFromBytes(title));
    return dialog.ShowModal() == wxID_OK;
}

bool AddressBookFrame::AskWarning(std::string_view text, std::string_view caption) {
    return wxMessageBox(WxFromBytes(text), WxFromBytes(caption), wxYES_NO | wxICON_EXCLAMATION,
                        this) == wxYES;
}

std::string AddressBookFrame::ChooseVCardFile(bool write, const std::string& suggested) {
    const std::vector<std::string> chosen = ChooseTransferPaths(
        files_, this, write ? TransferDialog::kExportVCard : TransferDialog::kImportVCard,
        suggested);
    return chosen.empty() ? std::string() : chosen.front();
}

void AddressBookFrame::Report(std::string_view text) {
    SetStatusText(WxFromBytes(text));
}

void AddressBookFrame::OnTreeSelection(wxTreeEvent& event) {
    event.Skip();
    if (busy_) return;
    BusyFlag busy(busy_);
    const TreeItem item = WxTreeView::FromWx(event.GetItem());
    treeLogic_->SelectNodeItem(item);
    logic_->OnSelectTree(item);
}

void AddressBookFrame::OnTreeExpanded(wxTreeEvent& event) {
    event.Skip();
    if (busy_) return;
    BusyFlag busy(busy_);
    logic_->OnItemExpanded(WxTreeView::FromWx(event.GetItem()),
                           event.GetEventType() == wxEVT_TREE_ITEM_EXPANDED);
}

void AddressBookFrame::OnPersonActivated(wxListEvent& event) {
    event.Skip();
    if (busy_) return;
    listView_->SetFocusedRow(int(event.GetIndex()));
    Run(BookCommand::kModifyPerson);
}

void AddressBookFrame::OnTool(wxCommandEvent& event) {
    if (!busy_) Run(BookCommand(event.GetId()));
}

void AddressBookFrame::OnToolUpdate(wxUpdateUIEvent& event) {
    event.Enable(logic_->IsCommandEnabled(BookCommand(event.GetId())));
}

AddressBookFrame* OpenAddressBookWindow(wxWindow* parent, const std::string& title, CSysData& sys,
                                        PersonEditor& editor, baseDataStruct* node,
                                        TransferChooser files) {
    static wxWeakRef<AddressBookFrame> open;
    if (open) {
        open->Raise();
        return open.get();
    }
    auto* frame = new AddressBookFrame(parent, title, sys, editor, std::move(files));
    if (!frame->Start(node)) {
        frame->Destroy();
        return nullptr;
    }
    frame->Show();
    open = frame;
    return frame;
}

}  // namespace korvo
