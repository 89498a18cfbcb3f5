// Where the box dialog puts a box: a user selector and a tree of the chosen user's accounts and
// boxes. A new box goes into the box chosen in the tree, or into the box folder of the chosen
// account. The tree keeps the dialog's own lock state (CBoxLockTree): a place inside a branch
// that is locked there is only given once that branch is opened with its password.
//
// An existing box is not moved: the store has no way to move a record to another parent in one
// step, and copying a box and deleting the old one would, between the two, leave two boxes on
// one letter container (deleting either deletes the letters of both).
#pragma once

#include <vector>

#include "model/prompter.h"
#include "model/settings_forms.h"
#include "model/sys_data.h"

namespace korvo {

class BoxPlaceTree {
  public:
    BoxPlaceTree(CSysData& sys, CBaseTreeControl& tree, Prompter& prompter);

    // The users to choose from, in tree order.
    std::vector<baseDataStruct*> Users() const;
    // The user that `node` belongs to (the user itself for a user), or none.
    baseDataStruct* UserOf(baseDataStruct* node) const;

    // Shows `user`'s accounts and boxes under the user's item and selects the item of `start`
    // (or the user's) when it is shown.
    void ShowUser(baseDataStruct* user, baseDataStruct* start);
    baseDataStruct* shownUser() const { return user_; }

    // The node a new box goes under for the tree's selection: a box itself, the box folder of
    // an account. None for any other item (the prompter says so), and none when an item on the
    // way that is locked in this tree is not opened with its password.
    baseDataStruct* ChosenPlace();

    // The tree's expand and double-click rules (double clicks lock and unlock: always on here).
    bool OnItemExpanding(TreeItem item) { return locks_.OnItemExpanding(item); }
    void OnItemDoubleClick(TreeItem item) { locks_.OnItemDoubleClick(item); }

  private:
    baseDataStruct* NodeOf(TreeItem item) const;

    CSysData& sys_;
    CBaseTreeControl& tree_;
    Prompter& prompter_;
    CBoxLockTree locks_;
    baseDataStruct* user_ = nullptr;
};

}  // namespace korvo
