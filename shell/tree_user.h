// CTreeUser: the user tree on the left of the main window. It shows the system store's users,
// accounts and boxes, remembers the last selected object, shows the selected box (or account
// summary) in the letter list, and carries out the user, account and box commands: create,
// change properties, delete, lock with a password, unlock and clear a lock.
//
// The widget is reached through CBaseTreeControl, the dialogs through ShellDialogs and the
// platform (start-up registration, the frame's create-user command) through TreeUserHost.
// The widget forwards its events: selection changes, expanding, clicks on the lock icon and
// right clicks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "controls/tree_control.h"
#include "model/data_stores.h"
#include "shell/desktop_interfaces.h"
#include "shell/letter_list.h"

namespace korvo {

inline constexpr std::string_view kPasswordInputError = "Error password input!";
inline constexpr std::string_view kDeleteCaptionPrefix = "WARN : ";
inline constexpr std::string_view kDeleteUserText =
    "\nwill delete this user , user's account and box,\n\n                    are you sure?      "
    "\n";
inline constexpr std::string_view kDeleteAccountText =
    "\nwill delete this account , user's box,\n\n              are you sure?      \n";
inline constexpr std::string_view kDeleteBoxText =
    "\nwill delete this mail box and mail,\n\n                    are you sure?      \n";
inline constexpr std::string_view kAddAccountTitleSuffix = " : add new account";
inline constexpr std::string_view kAddUserTitle = "Add new user";
// Title of the tree's own message boxes.
inline constexpr std::string_view kTreeMessageTitle = "Korvo";

// showColumn bits that change what a letter's row holds, and bits that change which rows show.
inline constexpr long kBoxColumnBits = 0x2FC0;
inline constexpr long kBoxShowBits = 0x801C;

// What the tree asks of the frame and the platform.
class TreeUserHost {
  public:
    virtual ~TreeUserHost() = default;
    // First run: the program is registered to start with the system.
    virtual void RegisterAutostart() = 0;
    // The store holds no user yet: the frame runs its create-user command.
    virtual void RequestCreateUser() = 0;
    // The selection has no letters to show: the address view is emptied too.
    virtual void ClearAddressView() = 0;
    // Shows the progress of a long piece of work on the UI thread: the returned function hears
    // the percentage done and returns false once the user cancelled. The display ends with it.
    virtual std::function<bool(int)> ShowProgress(std::string_view title) {
        (void)title;
        return {};
    }
};

// The sub-menu of the tree's context menu a node gets.
enum class TreeMenu { kNone, kSystem, kUser, kAccount, kBox };
// "System", "User", "Account", "Box", or empty for none.
std::string_view TreeMenuName(TreeMenu menu);

class CTreeUser : public UserTree {
  public:
    // All references must outlive the tree.
    CTreeUser(CDataStores& stores, CBaseTreeControl& tree, CLetterList& letters,
              ShellDialogs& dialogs, TreeUserHost& host);

    // Opens the system store and shows the tree. False when the store cannot be opened.
    bool InitialUpdate();

    // UserTree.
    baseDataStruct* selectedNode() override;
    void RunCommand(TreeCommand command) override;
    bool IsCommandEnabled(TreeCommand command) override;
    bool IsCommandChecked(TreeCommand command) override;
    bool askMenuState(std::string_view question) override;

    // The widget's selection moved to `item`.
    void OnSelectionChanged(TreeItem item);
    // The item is about to expand (`expanding`) or collapse. False when it must stay as it is.
    bool OnItemExpanding(TreeItem item, bool expanding);
    // A click on an item's state image (the lock icon).
    void OnStateImageClick(TreeItem item, bool doubleClick);
    // A right click: the selection follows it; returns the sub-menu to show.
    TreeMenu OnRightClick(ViewPoint clientPoint, int64_t nowMs);
    TreeMenu MenuFor(const baseDataStruct* node) const;

    // The letter list and the frame: a node's label after its counters changed, and selecting
    // a node's item (which shows its list).
    void RefreshNodeLabel(baseDataStruct* node);
    void SelectNode(baseDataStruct* node);

    // The node of `kind` (kinds of the schema) at or above the selection, with its item;
    // kind -1 is the selected node itself. `subKind` as for DataGetSysPoint.
    baseDataStruct* getTypeItem(int kind, int subKind = 0, TreeItem* item = nullptr);

    // The commands, on the selection.
    void CreateUser();
    void CreateAccount();
    void OnPAddBox();
    void OnPModifyUser();
    void OnPModifyAccount();
    void OnPModifyBox();
    void OnPDelUser();
    void OnPDeleteAccount();
    void OnPDelBox();
    // Runs the account's filter rules over the selected box's letters.
    void ApplyFilters();
    // Lock and clear-lock of the user, account or box at or above the selection.
    void LockItem(uint32_t category);
    void ClearItemLock(uint32_t category);

    baseDataStruct* NodeOfItem(TreeItem item) const;
    TreeItem ItemOfNode(const baseDataStruct* node) const;

  private:
    struct ViewState {
        bool system = false, user = false, account = false, box = false;
        bool userLocked = false, accountLocked = false, boxLocked = false;
        bool boxHaveLock = false, accountHaveLock = false, userHaveLock = false;
    };
    ViewState ComputeViewState();

    // The user, account or box (by category bit) at or above `node`; never the root.
    baseDataStruct* Above(baseDataStruct* node, uint32_t category) const;
    baseDataStruct* Selected(uint32_t category) { return Above(selectedNode(), category); }

    // Lock handling of one node.
    void LockNode(baseDataStruct* node);
    void ClearNodeLock(baseDataStruct* node);
    // Asks for the node's password; true when it matched and the node is now "unLock".
    bool UnlockNode(baseDataStruct* node);
    // The guard of the commands: a locked node must be unlocked first.
    bool EnsureUnlocked(baseDataStruct* node);
    void Refresh(baseDataStruct* node);
    // Runs the selection change again for the caret, after a lock changed.
    void Reselect();
    void ShowSelection(baseDataStruct* node);
    void ClearList();

    bool AskDelete(baseDataStruct* node, std::string_view text);
    void AfterDelete();
    // Rebuilds every letter's row data of `box` from its raw text.
    void RebuildLetterRows(baseDataStruct* box);

    CDataStores& stores_;
    CBaseTreeControl& tree_;
    CLetterList& letters_;
    ShellDialogs& dialogs_;
    TreeUserHost& host_;
};

}  // namespace korvo
