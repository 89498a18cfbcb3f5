// The user, box and address-book folder settings forms without widgets, and the lock handling
// of the box form's tree. Each form validates on OK and writes its node's keys only when every
// check passed; a failed check shows its message and leaves the form open.
#pragma once

#include <array>
#include <string>

#include "content/charset.h"
#include "controls/tree_control.h"
#include "model/prompter.h"
#include "store/data_manager.h"

namespace korvo {

// File filter of the user form's save-file browser.
inline constexpr std::string_view kSaveFileFilter = "Dat Files (*.sdb)||";

class UserForm {
  public:
    // A new user: the default mail store file, no automatic checking, no lock.
    UserForm() = default;
    explicit UserForm(const baseDataStruct* user);

    std::string Title() const;
    // Writes the user keys and sets the user and valid bits.
    bool Apply(baseDataStruct* user, Prompter& prompter);

    std::string name;
    bool check = false;
    std::string checkTimer = "0";
    std::string saveFile = "system.sdb";
    std::string lockPassword, lockConfirm;
    // The character set of letter text that declares none and is not UTF-8.
    std::string fallbackCharset{kDefaultFallbackCharset};
    // A desktop notification when a receive brings new letters.
    bool newMailNotice = true;

  private:
    std::string caption_;
    bool existing_ = false;
};

// The key of the user's new-mail notification: "0" is off, anything else (absent) on.
inline constexpr std::string_view kNewMailNoticeKey = "NewMailNotice";

// The key of the user's fallback charset; absent means kDefaultFallbackCharset.
inline constexpr std::string_view kFallbackCharsetKey = "FallbackCharset";
inline constexpr std::string_view kUnknownCharsetMessage = "Unknown character set!";

// Makes the user's fallback charset the one conversions use.
void ApplyUserCharset(const baseDataStruct* user);

class BoxForm {
  public:
    // The `showColumn` bits that have a check box, in the order of the check boxes.
    static constexpr std::array<long, 12> kColumnBits = {
        0x4, 0x8, 0x10, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800, 0x2000, 0x4000, 0x8000};

    // A new box shows the columns of 46835.
    BoxForm();
    explicit BoxForm(const baseDataStruct* box);

    // The value the check boxes stand for; bits without check box are dropped.
    long ShowColumn() const;
    // Writes the box keys and sets the box, changed and valid bits.
    bool Apply(baseDataStruct* box, Prompter& prompter);
    // Made from a box that exists (its place is shown, not chosen).
    bool existing() const { return existing_; }

    std::string name;
    std::array<bool, 12> columns{};
    std::string lockPassword, lockConfirm;
    // Where the box is: for a new box the node it goes under (a box, or an account's box
    // folder), proposed by the caller and chosen in the dialog's place tree.
    baseDataStruct* place = nullptr;

  private:
    void SetColumns(long showColumn);
    bool existing_ = false;
};

class FolderForm {
  public:
    FolderForm() = default;
    explicit FolderForm(const baseDataStruct* folder);

    std::string Title() const;
    bool Apply(baseDataStruct* folder, Prompter& prompter);

    std::string name;
    std::string lockPassword, lockConfirm;

  private:
    std::string caption_;
    bool existing_ = false;
};

// The box form's tree, where the place of a box is chosen. It keeps its own lock state in the
// key `lock` of each node ("lock", "unLock", absent) and shows it with the state images of the
// main tree; the node's `LockState` is never touched, so a branch opened here stays locked in
// the main tree.
class CBoxLockTree {
  public:
    // The nodes of the tree's items are looked up below `store`'s root.
    CBoxLockTree(CBaseDataManage& store, CBaseTreeControl& tree, Prompter& prompter)
        : store_(store), tree_(tree), prompter_(prompter) {}

    // Double clicks lock and unlock only when switched on.
    void EnableLockHandling(bool on) { lockHandling_ = on; }

    // An item is about to expand: a locked one asks for the password first. False when the
    // item must stay closed.
    bool OnItemExpanding(TreeItem item);
    void OnItemDoubleClick(TreeItem item);

  private:
    baseDataStruct* NodeOf(TreeItem item) const;
    // Asks for the node's password; on a match `lock` becomes "unLock" and the item shows
    // state image 2.
    bool Unlock(baseDataStruct* node, TreeItem item);

    CBaseDataManage& store_;
    CBaseTreeControl& tree_;
    Prompter& prompter_;
    bool lockHandling_ = false;
};

}  // namespace korvo
