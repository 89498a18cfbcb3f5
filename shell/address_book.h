// CViewBookAddress: the address book window's logic. The tree on the left shows the user's
// address books, folders and teams; the list on the right the persons of the chosen one. The
// tool bar's commands create, change and delete folders, teams and persons. Persons live in the
// mail store, under the link node of their folder; new ones get a point of their own, so they
// are there at the next start.
#pragma once

#include <string_view>

#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "model/settings_forms.h"
#include "model/sys_data.h"
#include "shell/person_editor.h"

namespace korvo {

// The address book tool bar's commands, by their ids.
enum class BookCommand : int {
    kShowAllAccounts = 32772,
    kDeleteItem = 32773,
    kModifyItem = 32774,
    kModifyPerson = 32782,
    kDeletePerson = 32783,
    kAddFolder = 33077,
    kAddPerson = 33079,
    kAddTeam = 33080,
    kImportVCard = 33100,  // persons from a vCard file into the chosen folder
    kExportVCard = 33101,  // the chosen folder's persons out to a vCard file
};

inline constexpr std::string_view kDeleteFolderQuestion =
    "\nwill delete this address book?              \n\n                    are you sure?      \n";
inline constexpr std::string_view kDeletePersonsQuestion =
    "\nAre you want delete those address book?";
inline constexpr std::string_view kNewTeamTitle = "Add new Team";

// The address book's dialogs: the folder dialog and the warning questions.
class AddressDialogs {
  public:
    virtual ~AddressDialogs() = default;
    // The folder dialog titled `title` over `form`; on OK the form is applied to `node`. True
    // for OK.
    virtual bool EditFolder(FolderForm& form, baseDataStruct* node, std::string_view title) = 0;
    // A Yes/No question with the exclamation icon; true for Yes.
    virtual bool AskWarning(std::string_view text, std::string_view caption) = 0;
    // The vCard file to read, or to write (`suggested` being the name offered); empty when
    // the user cancelled.
    virtual std::string ChooseVCardFile(bool write, const std::string& suggested) {
        (void)write;
        (void)suggested;
        return {};
    }
    // Tells the user how a transfer went.
    virtual void Report(std::string_view text) { (void)text; }
};

class CViewBookAddress {
  public:
    CViewBookAddress(CSysData& sys, CBaseTreeControl& tree, CBaseListControl& persons,
                     AddressDialogs& dialogs, PersonEditor& editor)
        : sys_(sys), tree_(tree), persons_(persons), dialogs_(dialogs), editor_(editor) {}

    // Shows the address books of the user of `current` (the main window's node) and the
    // remembered folder's persons. False without a user.
    bool Open(baseDataStruct* current);
    // The user chose a tree item: it is remembered and its persons are listed.
    void OnSelectTree(TreeItem item);
    // Expanding or collapsing keeps the state in the node.
    void OnItemExpanded(TreeItem item, bool expanded);
    void RunCommand(BookCommand command);
    bool IsCommandEnabled(BookCommand command) const;

    baseDataStruct* user() const { return user_; }
    baseDataStruct* chosen() const { return chosen_; }
    bool showingAllAccounts() const { return allAccounts_; }

  private:
    baseDataStruct* NodeOf(TreeItem item) const;
    void ShowPersons(baseDataStruct* node);
    void AddFolder(bool team);
    void ModifyItem();
    void DeleteItem();
    void AddPerson();
    void ModifyPerson();
    void DeletePersons();
    void TransferVCards(bool in);

    CSysData& sys_;
    CBaseTreeControl& tree_;
    CBaseListControl& persons_;
    AddressDialogs& dialogs_;
    PersonEditor& editor_;
    baseDataStruct* current_ = nullptr;
    baseDataStruct* user_ = nullptr;
    baseDataStruct* chosen_ = nullptr;
    bool allAccounts_ = false;
};

// Adds a person edited into `fresh` under the node that holds `folder`'s persons and gives it
// its point in the mail store. The new person, or none.
baseDataStruct* AddPersonTo(CSysMailBox& mail, baseDataStruct* folder, const baseDataStruct& fresh);

// The node whose `pointId` is `pointId`, below `root`.
baseDataStruct* FindByPoint(baseDataStruct* root, std::string_view pointId);

}  // namespace korvo
