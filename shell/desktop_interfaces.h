// What the parts of the desktop shell ask of each other and of the screen: the command ids of
// the user tree and the main frame, the user tree as the frame sees it, the dialogs of the
// tree's commands and the tray icon. The wx program implements the screen side; tests use
// scripted implementations.
//
// Menu ids overlap between menus (32788 is "Box &option" in the tree's menu and "Receive
// letter" in the Preview drop-down), so the tree's commands and the frame's commands are two
// separate enums and every menu knows which of the two it carries.
#pragma once

#include <string>
#include <string_view>

#include "model/account_form.h"
#include "model/prompter.h"
#include "model/settings_forms.h"
#include "store/node.h"

namespace korvo {

// The commands of the user tree's context menu, by their menu ids. The frame's "User",
// "Account" and "Box" drop-downs carry the same commands.
enum class TreeCommand : int {
    kAddUser = 32780,
    kSystemOption = 33160,
    kUserOption = 32778,
    kDeleteUser = 32779,
    kLockUser = 32784,
    kClearUserLock = 32785,
    kAddAccount = 32777,
    kAccountOption = 32781,
    kDeleteAccount = 32782,
    kLockAccount = 32783,
    kClearAccountLock = 32787,
    kAddBox = 33131,
    kBoxOption = 32788,
    kDeleteBox = 32789,
    kLockBox = 32790,
    kClearBoxLock = 32791,
    kApplyFilters = 34100,
};

// The main frame's own commands: tool bar buttons, drop-down items with a handler, the tray
// menu and the requests other windows post to the frame. Ids the menus of the frame do not
// give are numbered from 34000.
enum class FrameCommand : int {
    kReceive = 32771,
    kPreview = 32995,
    kSend = 32820,
    kReceiveAndDelete = 32790,
    kReceiveLetter = 32788,
    kDeleteLetter = 32789,
    kNew = 32810,
    kBack = 32813,
    kWriteBackAll = 32968,
    kWriteBackSender = 33070,
    kWriteBackCc = 33071,
    kForward = 32814,
    kUserProperty = 32815,
    kAccountProperty = 32817,
    kBoxProperty = 32816,
    kEmail = 32977,
    kAddress = 32812,
    kTemplate = 32819,
    kFilter = 33095,
    kShowMainAndTasks = 33779,  // also the tray's "Show"
    kCreateUser = 33784,
    kExit = 33783,  // also the tray's "exit"
    kShowTextByWeb = 34000,
    kTrayHide = 34001,
    kTrayShowTask = 34002,
    kTrayCheck = 34003,
};

// The user tree as the main frame sees it.
class UserTree {
  public:
    virtual ~UserTree() = default;
    // The node of the tree's selection, or none.
    virtual baseDataStruct* selectedNode() = 0;
    virtual void RunCommand(TreeCommand command) = 0;
    virtual bool IsCommandEnabled(TreeCommand command) = 0;
    // The lock commands show a check mark while the object is locked.
    virtual bool IsCommandChecked(TreeCommand command) = 0;
    // "HaveSystem", "HaveUser", ... of the view state; false for any other question.
    virtual bool askMenuState(std::string_view question) = 0;
};

// The dialogs of the tree's commands. Each settings dialog is shown over its form; on OK it
// calls the form's Apply on `node` and stays open while Apply refuses. True when the dialog
// ended with OK (the node was written), false when it was cancelled.
class ShellDialogs : public Prompter {
  public:
    virtual bool EditUser(UserForm& form, baseDataStruct* node) = 0;
    // The account dialog's title is given: a new account is titled after its user.
    virtual bool EditAccount(AccountForm& form, baseDataStruct* node, std::string_view title) = 0;
    virtual bool EditBox(BoxForm& form, baseDataStruct* node) = 0;
    // The lock dialog for a new lock, titled with the object's caption: a password typed
    // twice. False when cancelled.
    virtual bool AskNewLock(std::string_view caption, std::string* password,
                            std::string* repeated) = 0;
    // A yes/no message box; true for yes.
    virtual bool AskYesNo(std::string_view text, std::string_view caption) = 0;
    // The unlock dialog (one password) is Prompter::AskPassword.
};

// The tray icon. `image` is an index into the 30 images of the icon strip.
class TrayView {
  public:
    virtual ~TrayView() = default;
    // Hands the icon and its tip to the desktop: added the first time, changed later.
    virtual void ShowImage(int image, std::string_view tip) = 0;
    virtual void Remove() = 0;
};

}  // namespace korvo
