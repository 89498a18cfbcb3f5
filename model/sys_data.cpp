#include "model/sys_data.h"

#include <cctype>

#include "controls/data_tree_items.h"
#include "model/default_template.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

// "<literal><number>", the way every standard node text ends in its kind code.
baseDataStruct* AddKind(baseDataStruct* parent, const char* literal, int kind, uint32_t state = 0) {
    baseDataStruct* node = addson(parent, "%s%d", literal, kind);
    if (state != 0) changestate(node, 0, state);
    return node;
}

constexpr const char* kTemplateFolders[] = {
    "type =TFolder ,caption =NewLetter ,style =sys ,subType =NewLetter ,pType =",
    "type =TFolder ,caption =Write back ,style =sys ,subType =Write back ,pType =",
    "type =TFolder ,caption =Forward ,style =sys ,subType =Forward ,pType =",
};

struct SystemBox {
    const char* literal;
    long showColumn;
};
constexpr SystemBox kSystemBoxes[] = {
    {"type =Box ,caption =Preview ,subType =preview ,style =sys ,showColumn =", 46835},
    {"type =Box ,caption =Receive ,subType =receive ,style =sys ,showColumn =", 46835},
    {"type =Box ,caption =Prepare ,subType =prepare ,style =sys ,showColumn =", 46947},
    {"type =Box ,caption =Drafts ,subType =drafts ,style =sys ,showColumn =", 46947},
    {"type =Box ,caption =Sended ,subType =send ,style =sys ,showColumn =", 46947},
    {"type =Box ,caption =Trash ,subType =trash ,style =sys ,showColumn =", 49151},
};

constexpr uint32_t kShowUserTree = CATEGORY_USER | CATEGORY_BOX | CATEGORY_ACCOUNT;

// The item of the nearest ancestor of `node` that is shown in the tree. Nodes without category
// (the account and box folders) have no item of their own; their sons are shown under the
// item of the next shown ancestor, so new sons go there too. `fallback` when no ancestor is
// shown.
TreeItem ShownAncestorItem(const baseDataStruct* node, CBaseTreeControl* tree, TreeItem fallback) {
    if (!tree || tree->view().FirstTopItem() == kNoItem) return fallback;
    for (const baseDataStruct* p = node->parent(); p; p = p->parent()) {
        const TreeItem item = tree->FindItem(kNoItem, p->nodeId());
        if (item != kNoItem) return item;
    }
    return fallback;
}

long LinkIdOf(const baseDataStruct* node) {
    return TextToLong(getinfo(node, kThisNode, "LinkId"));
}

}  // namespace

int SysTreeImage(const baseDataStruct* node) {
    const std::string type = getinfo(node, kThisNode, "type");
    switch (getstate(node) & kCategoryField) {
        case CATEGORY_USER:
            return 2;
        case CATEGORY_FILTER:
            if (type == "FilterSetBook") return 18;
            return type == "FilterSet" ? 22 : 20;
        case CATEGORY_BOOK:
            if (type == "UBook" || type == "PBook") return 18;
            return type == "BookFolder" ? 16 : 20;
        case CATEGORY_TEMPLATE:
        case CATEGORY_ACCOUNT:
            return 4;
        case CATEGORY_BOX: {
            const std::string sub = getinfo(node, kThisNode, "subType");
            if (sub == "preview") return 6;
            if (sub == "receive") return 8;
            if (sub == "prepare") return 10;
            if (sub == "send") return 12;
            if (sub == "trash") return 14;
            return 16;
        }
        default:
            return 0;
    }
}

int CSysData::SysCreateUser(baseDataStruct* ptUser, CBaseTreeControl* pcTree, TreeItem hParent) {
    LogScope scope(
        "CSysData::SysCreateUser(baseDataStruct *ptUser , CBaseTreeControl *pcTree , "
        "HTREEITEM hParent)",
        "end");
    if (!ptUser) return -1;
    setinfo(ptUser, kThisNode, "pType", LongToText(kKindUser));
    changestate(ptUser, 0, CATEGORY_USER | STATE_EXPANDED | STATE_VALID);

    AddKind(ptUser, "type =UATree ,caption =Private ,pType =", kKindUATree);
    baseDataStruct* books = AddKind(ptUser, "type =UBTree ,pType =", kKindUBTree);
    baseDataStruct* book =
        AddKind(books, "type =UBook ,caption =Share ,pType =", kKindUBook, CATEGORY_BOOK);
    AddKind(book, "type =BookFolder ,style =sys ,caption =Public ,pType =", kKindBookFolder,
            CATEGORY_BOOK);
    baseDataStruct* templates = AddKind(ptUser, "type =UTTree ,pType =", kKindUTTree);
    baseDataStruct* shared =
        AddKind(templates, "type =UTemplate ,style =sys ,caption =Share ,pType =", kKindUTemplate,
                CATEGORY_TEMPLATE);
    for (const char* folder : kTemplateFolders) {
        AddKind(shared, folder, kKindTFolder, CATEGORY_TEMPLATE);
    }
    baseDataStruct* filters = AddKind(ptUser, "type =UFTree ,pType =", kKindUFTree);
    baseDataStruct* set =
        AddKind(filters, "type =FilterSetBook ,style =sys ,caption =Set ,subType =Pool ,pType =",
                kKindFilterSetBook, CATEGORY_FILTER);
    AddKind(set, "type =FilterSet ,caption =Keyword table 1 ,pType =", kKindFilterSet,
            CATEGORY_FILTER);

    DataSaveList(ptUser, 2);
    SysShowSysTree(ptUser, pcTree, hParent, kShowUserTree, true);
    return 0;
}

int CSysData::SysCreateAccount(baseDataStruct* ptAccount, CBaseTreeControl* pcTree,
                               TreeItem hParent) {
    LogScope scope(
        "CSysData::SysCreateAccount(baseDataStruct *ptAccount , CBaseTreeControl *pcTree , "
        "HTREEITEM hParent)",
        "end");
    if (!ptAccount) return -1;
    changestate(ptAccount, 0, CATEGORY_ACCOUNT | STATE_EXPANDED | STATE_VALID);
    // The caption goes into other nodes' texts: escaped like any value, so that a name with
    // "," or "=" cannot break them.
    const std::string caption = encodeinfo(getinfo(ptAccount, kThisNode, "caption"));

    baseDataStruct* books = AddKind(ptAccount, "type =ABTree ,pType =", kKindABTree);
    baseDataStruct* book = AddSonText(books, "type =PBook ,style =sys ,caption =" + caption +
                                                 " ,pType =" + LongToText(kKindPBook));
    changestate(book, 0, CATEGORY_BOOK);
    AddKind(book, "type =BookFolder ,SysMark =NowBookFolder ,caption =Private ,style =sys ,pType =",
            kKindBookFolder, CATEGORY_BOOK);
    baseDataStruct* templates = AddKind(ptAccount, "type =PTTree ,pType =", kKindPTTree);
    baseDataStruct* own = AddSonText(templates, "type =Template ,style =sys ,caption =" + caption +
                                                    " ,pType =" + LongToText(kKindTemplate));
    changestate(own, 0, CATEGORY_TEMPLATE);
    for (const char* folder : kTemplateFolders) {
        AddKind(own, folder, kKindTFolder, CATEGORY_TEMPLATE);
    }
    baseDataStruct* filters = AddKind(ptAccount, "type =PFTree ,pType =", kKindPFTree);
    AddKind(filters, "type =FilterFolder ,caption =Select ,subType =Select ,style =sys ,pType =",
            kKindFilterFolder, CATEGORY_FILTER);
    baseDataStruct* boxes = AddKind(ptAccount, "type =PBoxTree ,pType =", kKindPBoxTree);

    hParent = ShownAncestorItem(ptAccount, pcTree, hParent);
    DataSaveList(ptAccount, 2);
    SysShowSysTree(ptAccount, pcTree, hParent, kShowUserTree, true);

    AddDefaultTemplate(ptAccount);

    for (const SystemBox& sys : kSystemBoxes) {
        baseDataStruct* box =
            addson(boxes, "%s%ld ,pType =%d", sys.literal, sys.showColumn, int(kKindBox));
        changestate(box, 0, CATEGORY_BOX);
        SysCreateBox(box, pcTree, hParent);
    }
    return 0;
}

void CSysData::AddDefaultTemplate(baseDataStruct* account) {
    baseDataStruct* folder = DataGetSysPoint(account, kKindTFolder, kTFolderNewLetter);
    baseDataStruct* link = mail_.SysReadLinkTree(folder, kLoadProperty | kLoadStrdata | kLoadSdata);
    if (!link) return;
    const std::string_view text = DefaultTemplateText();
    const size_t lineEnd = text.find('\n');
    std::string_view first = text.substr(0, lineEnd);
    const std::string_view body =
        lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 1);
    while (!first.empty() && std::isspace(static_cast<unsigned char>(first.back()))) {
        first.remove_suffix(1);
    }
    while (!first.empty() && std::isspace(static_cast<unsigned char>(first.front()))) {
        first.remove_prefix(1);
    }
    baseDataStruct* item =
        AddSonText(link, "type =TemplateInfo ,caption =" + encodeinfo(first) +
                             " ,pType =" + LongToText(kKindTemplateInfo) + " ,format =text module");
    setinfo(item, kThisNode, "SDATA", body);
    mail_.DataSaveList(link, 2);
}

int CSysData::CreateContainer(baseDataStruct* node, uint32_t category, std::string_view type,
                              std::string_view kind, CBaseTreeControl* tree, TreeItem parent) {
    changestate(node, 0, category);
    parent = ShownAncestorItem(node, tree, parent);
    if (!mail_.SysCreateLinkItem(node, type, kind)) {
        if (getinfo(node, kThisNode, "pointId") == kAbsent) {
            deletepoint(node);
        } else {
            DataDeletePoint(node, 0);
        }
        return -1;
    }
    DataSaveList(node, 2);
    SysShowSysTree(node, tree, parent, category, true);
    return 0;
}

int CSysData::SysCreateBox(baseDataStruct* ptBox, CBaseTreeControl* pcTree, TreeItem hParent) {
    LogScope scope(
        "CSysData::SysCreateBox(baseDataStruct *ptBox , CBaseTreeControl *pcTree , HTREEITEM "
        "hParent)",
        "end");
    if (!ptBox) return -1;
    return CreateContainer(ptBox, CATEGORY_BOX, "Box", LongToText(kKindBox), pcTree, hParent);
}

int CSysData::SysCreateBookFolder(baseDataStruct* ptBookFolder, int /*nParentPointId*/,
                                  CBaseTreeControl* pcTree, TreeItem hParent) {
    LogScope scope(
        "CSysData::SysCreateBookFolder(baseDataStruct *ptBookFolder  , int nParentPointId , "
        "CBaseTreeControl *pcTree , HTREEITEM hParent)",
        "end");
    // The folder's point goes under its parent's: the parent link already says which.
    if (!ptBookFolder || !ptBookFolder->parent()) return -1;
    return CreateContainer(ptBookFolder, CATEGORY_BOOK, "BookFolder", LongToText(kKindBookFolder),
                           pcTree, hParent);
}

int CSysData::DeleteWithLinks(baseDataStruct* node, CBaseTreeControl* tree) {
    if (!node) return 0;
    SysDeleteLinkItem(node, true);
    SysDeleteShowTree(node->nodeId(), tree);
    return DataDeletePoint(node, 0) ? 1 : 0;
}

int CSysData::SysDeleteUser(baseDataStruct* ptUser, CBaseTreeControl* pcTree) {
    LogScope scope("CSysData::SysDeleteUser(baseDataStruct *ptUser, CBaseTreeControl *pcTree)",
                   "end");
    return DeleteWithLinks(ptUser, pcTree);
}

int CSysData::SysDeleteAccount(baseDataStruct* ptAccount, CBaseTreeControl* pcTree) {
    LogScope scope(
        "CSysData::SysDeleteAccount(baseDataStruct *ptAccount, CBaseTreeControl *pcTree)", "end");
    return DeleteWithLinks(ptAccount, pcTree);
}

int CSysData::SysDeletePointItem(baseDataStruct* ptItem, CBaseTreeControl* pcTree) {
    LogScope scope("CSysData::SysDeletePointItem(baseDataStruct *ptItem, CBaseTreeControl *pcTree)",
                   "end");
    return DeleteWithLinks(ptItem, pcTree);
}

int CSysData::SysDeleteBookFolder(baseDataStruct* ptBookFolder, CBaseTreeControl* pcTree,
                                  CBaseListControl* pcList) {
    if (!ptBookFolder) return 0;
    SysDeleteShowTree(ptBookFolder->nodeId(), pcTree);
    SysDeleteLinkItem(ptBookFolder, true);
    if (pcList) pcList->view().DeleteAllRows();
    return DataDeletePoint(ptBookFolder, 0) ? 1 : 0;
}

int CSysData::SysDeleteLinkItem(baseDataStruct* ptItem, bool firstCall) {
    if (!ptItem) return 0;
    baseDataStruct* start = ptItem;
    if (firstCall) {
        if (LinkIdOf(ptItem) > 0) mail_.SysDeleteLinkItem(ptItem);
        start = ptItem->firstSon();
    }
    for (baseDataStruct* n = start; n; n = n->nextBrother()) {
        if (LinkIdOf(n) > 0) mail_.SysDeleteLinkItem(n);
        SysDeleteLinkItem(n->firstSon(), false);
    }
    return 1;
}

void CSysData::SysDeleteShowTree(uint32_t nodeId, CBaseTreeControl* pcTree) {
    if (!pcTree) return;
    const TreeItem item = pcTree->FindItem(kNoItem, nodeId);
    if (item == kNoItem) return;
    const TreeItem parent = pcTree->view().Parent(item);
    if (parent != kNoItem) pcTree->SelectNodeItem(parent);
    pcTree->view().DeleteItem(item);
}

int CSysData::SysShowSysTree(baseDataStruct* ptNode, CBaseTreeControl* pcTree, TreeItem hParent,
                             uint32_t dwShowType, bool onlyOne) {
    if (!ptNode) {
        ptNode = root();
        changestate(ptNode, 0, STATE_EXPANDED);
    }
    if (!pcTree) return 0;
    for (baseDataStruct* q = ptNode; q; q = onlyOne ? nullptr : q->nextBrother()) {
        TreeItem item = kNoItem;
        const bool top = !q->parent() && !q->prevBrother();
        if (teststate(q, STATE_VALID) && ((getstate(q) & dwShowType & kCategoryField) || top)) {
            const int image = SysTreeImage(q);
            item = DataInsertTreeItem(*this, q, pcTree, hParent, image, image + 1);
        }
        if (q->firstSon()) {
            SysShowSysTree(q->firstSon(), pcTree, item != kNoItem ? item : hParent, dwShowType,
                           false);
        }
        if (item != kNoItem && teststate(q, STATE_EXPANDED) &&
            getinfo(q, kThisNode, "LockState") != "lock") {
            pcTree->view().Expand(item);
        }
    }
    return 0;
}

int CSysData::SysShowBookTree(baseDataStruct* ptNode, CBaseTreeControl* pcTree, bool allAccounts) {
    if (!pcTree) return -1;
    TreeView& view = pcTree->view();
    view.DeleteAllItems();
    baseDataStruct* book = DataGetSysPoint(ptNode, kKindUBook);
    baseDataStruct* accounts = DataGetSysPoint(ptNode, kKindUATree);
    if (!book || !accounts) return -1;
    const TreeItem top =
        view.InsertItem(kNoItem, getinfo(root(), kThisNode, "caption"), 0, 1, root()->nodeId());
    SysShowSysTree(book, pcTree, top, CATEGORY_BOOK, true);
    const TreeItem accountsItem = DataInsertTreeItem(*this, accounts, pcTree, top, 18, 19);
    baseDataStruct* current = DataGetSysPoint(ptNode, kKindAccount);
    for (baseDataStruct* a = accounts->firstSon(); a; a = a->nextBrother()) {
        if (!allAccounts && a != current) continue;
        baseDataStruct* privateBook = DataGetSysPoint(a, kKindPBook);
        if (privateBook && privateBook->firstSon()) {
            SysShowSysTree(privateBook->firstSon(), pcTree, accountsItem, CATEGORY_BOOK, true);
        }
    }
    view.Expand(top);
    if (teststate(accounts, STATE_EXPANDED)) view.Expand(accountsItem);
    return 0;
}

int CSysData::SysShowTemplateTree(baseDataStruct* ptNode, CBaseTreeControl* pcTree) {
    if (!pcTree) return -1;
    TreeView& view = pcTree->view();
    view.DeleteAllItems();
    baseDataStruct* shared = DataGetSysPoint(ptNode, kKindUTemplate);
    baseDataStruct* accounts = DataGetSysPoint(ptNode, kKindUATree);
    if (!shared || !accounts) return -1;
    const TreeItem top = view.InsertItem(kNoItem, "Korvo", 0, 1, 0);
    view.InsertItem(top, getinfo(shared, kThisNode, "caption"), 2, 3, shared->nodeId());
    for (baseDataStruct* a = accounts->firstSon(); a; a = a->nextBrother()) {
        SysShowSysTree(a, pcTree, top, CATEGORY_TEMPLATE, true);
    }
    view.Expand(top);
    return 0;
}

}  // namespace korvo
