// The address book window ("Address Book"): the user's address books, folders and teams in a
// tree on the left, the persons of the chosen one on the right, and a tool bar with the
// commands of CViewBookAddress. The folder dialog and the warnings are its own.
#pragma once

#include <wx/frame.h>
#include <wx/weakref.h>

#include <memory>
#include <string>

#include "shell/address_book.h"
#include "ui/transfer_dialogs.h"
#include "ui/wx_list_view.h"
#include "ui/wx_tree_view.h"

namespace korvo {

class WxShellDialogs;

class AddressBookFrame : public wxFrame, private AddressDialogs {
  public:
    // The File menu's items.
    static constexpr int kImportVCardItem = 32700;
    static constexpr int kExportVCardItem = 32701;

    // `sys` and `editor` must outlive the window. `files` replaces the vCard file dialogs
    // (tests).
    AddressBookFrame(wxWindow* parent, const std::string& title, CSysData& sys,
                     PersonEditor& editor, TransferChooser files = {});
    ~AddressBookFrame() override;

    // Shows the address books of the user of `node`; false without one.
    bool Start(baseDataStruct* node);
    // Runs a tool bar command as its button does.
    void Run(BookCommand command);

    CViewBookAddress& logic() { return *logic_; }
    WxTreeView& tree() { return *treeView_; }
    WxListView& persons() { return *listView_; }

  private:
    bool EditFolder(FolderForm& form, baseDataStruct* node, std::string_view title) override;
    bool AskWarning(std::string_view text, std::string_view caption) override;
    std::string ChooseVCardFile(bool write, const std::string& suggested) override;
    void Report(std::string_view text) override;

    void OnTreeSelection(wxTreeEvent& event);
    void OnTreeExpanded(wxTreeEvent& event);
    void OnPersonActivated(wxListEvent& event);
    void OnTool(wxCommandEvent& event);
    void OnToolUpdate(wxUpdateUIEvent& event);

    std::unique_ptr<WxShellDialogs> prompter_;
    std::unique_ptr<WxTreeView> treeView_;
    std::unique_ptr<CBaseTreeControl> treeLogic_;
    std::unique_ptr<WxListView> listView_;
    std::unique_ptr<CBaseListControl> listLogic_;
    std::unique_ptr<CViewBookAddress> logic_;
    TransferChooser files_;
    // Set while the logic changes the widgets, whose events are then not the user's.
    bool busy_ = false;
};

// Opens the address book window for the user of `node`, or raises the one already open. Null
// when `node` is not inside a user.
AddressBookFrame* OpenAddressBookWindow(wxWindow* parent, const std::string& title, CSysData& sys,
                                        PersonEditor& editor, baseDataStruct* node,
                                        TransferChooser files = {});

}  // namespace korvo
