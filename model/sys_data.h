// CSysData: the system store with the schema operations. Creating a user, account, box or
// address-book folder builds the standard nodes below it, writes them and shows them in a tree
// control; deleting removes the object with everything below it, its tree item and the contents
// it keeps in the user's mail store.
#pragma once

#include <cstdint>

#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "model/sys_mail_box.h"
#include "model/sys_schema.h"
#include "store/data_manager.h"

namespace korvo {

class CSysData : public CBaseDataManage {
  public:
    // The mail store that keeps the containers' contents lives and dies with this store.
    CSysData() : mail_(*this) {}

    CSysMailBox& mailBox() { return mail_; }

    // The tree arguments may be null: nothing is shown then.

    // Completes a user node that is already in the tree: its standard subtree. Returns 0.
    int SysCreateUser(baseDataStruct* ptUser, CBaseTreeControl* pcTree, TreeItem hParent);
    // Completes an account: its standard subtree, the default template and the six system
    // boxes. Returns 0, or -1 for no node.
    int SysCreateAccount(baseDataStruct* ptAccount, CBaseTreeControl* pcTree, TreeItem hParent);
    // Completes a box that was appended to the tree: its link node, then writes and shows it.
    // Returns 0, or -1 when the link cannot be made; the box is then removed again.
    int SysCreateBox(baseDataStruct* ptBox, CBaseTreeControl* pcTree, TreeItem hParent);
    // The same for an address-book folder; a folder without parent is ignored (-1).
    int SysCreateBookFolder(baseDataStruct* ptBookFolder, int nParentPointId,
                            CBaseTreeControl* pcTree, TreeItem hParent);

    // Delete the node with everything below it from both stores, memory and the tree.
    int SysDeleteUser(baseDataStruct* ptUser, CBaseTreeControl* pcTree);
    int SysDeleteAccount(baseDataStruct* ptAccount, CBaseTreeControl* pcTree);
    int SysDeletePointItem(baseDataStruct* ptItem, CBaseTreeControl* pcTree);
    // Also empties the list that showed the folder's persons.
    int SysDeleteBookFolder(baseDataStruct* ptBookFolder, CBaseTreeControl* pcTree,
                            CBaseListControl* pcList);

    // Removes the link nodes (with their contents) of `ptItem` and all its descendants from the
    // mail store; with `firstCall` false the walk also covers `ptItem`'s later brothers.
    int SysDeleteLinkItem(baseDataStruct* ptItem, bool firstCall);
    // Removes the tree item of a node; its parent item becomes selected.
    void SysDeleteShowTree(uint32_t nodeId, CBaseTreeControl* pcTree);

    // Shows `ptNode` (null: the root), unless `onlyOne` its later brothers, and all their
    // descendants under `hParent`. A valid node gets an item when it has a category bit of
    // `dwShowType` or is the top node; the sons of a node without item go under the same parent.
    int SysShowSysTree(baseDataStruct* ptNode, CBaseTreeControl* pcTree, TreeItem hParent,
                       uint32_t dwShowType, bool onlyOne);
    // The address-book tree of `ptNode`'s user: the shared book and the private folders of the
    // current account (of all accounts with `allAccounts`). -1 when the schema lacks them.
    int SysShowBookTree(baseDataStruct* ptNode, CBaseTreeControl* pcTree, bool allAccounts);
    // The template tree of `ptNode`'s user: the shared templates and every account's.
    int SysShowTemplateTree(baseDataStruct* ptNode, CBaseTreeControl* pcTree);

  private:
    // Creates the link of a box or folder appended by a dialog, writes and shows it.
    int CreateContainer(baseDataStruct* node, uint32_t category, std::string_view type,
                        std::string_view kind, CBaseTreeControl* tree, TreeItem parent);
    int DeleteWithLinks(baseDataStruct* node, CBaseTreeControl* tree);
    void AddDefaultTemplate(baseDataStruct* account);

    CSysMailBox mail_;
};

// Image index of a node's tree item, from its category bits (selected image: one more).
int SysTreeImage(const baseDataStruct* node);

}  // namespace korvo
