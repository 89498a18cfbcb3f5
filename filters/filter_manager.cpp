#include "filters/filter_manager.h"

#include <mutex>

#include "model/sys_schema.h"
#include "platform/model_lock.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr int kLinkBlocks = kLoadProperty | kLoadStrdata | kLoadSdata;

long PointOf(const baseDataStruct* node) {
    return TextToLong(getinfo(node, kThisNode, "pointId"));
}

void AddRuleRow(CBaseListControl& list, const baseDataStruct* node) {
    // The caption is shown as it is, not read as row texts.
    const int row = list.InsertRow("", static_cast<uint32_t>(PointOf(node)));
    list.view().SetCellText(row, 0, getinfo(node, kThisNode, "caption"));
}

}  // namespace

CFilterManager::CFilterManager(CSysData& sys, CBaseTreeControl& tree, CBaseListControl& rules,
                               CFilterEditor& editor)
    : sys_(sys), tree_(tree), rules_(rules), editor_(editor) {}

int CFilterManager::InitialUpdate(baseDataStruct* current) {
    Lock lock(ModelLock());
    rules_.Reset(kFilterListColumns);
    folderId_ = 0;
    editor_.SetRule(0, -1);
    if (!current || getinfo(current, kThisNode, "type") == "Root") return -1;
    baseDataStruct* user = sys_.DataGetSysPoint(current, kKindUser);
    if (!user) return -1;
    TreeView& view = tree_.view();
    view.DeleteAllItems();
    const TreeItem top = view.InsertItem(kNoItem, "Korvo", 0, 1, 0);
    if (baseDataStruct* sets = sys_.DataGetSysPoint(user, kKindFilterSetBook))
        sys_.SysShowSysTree(sets, &tree_, top, CATEGORY_FILTER, true);
    if (baseDataStruct* accounts = sys_.DataGetSysPoint(user, kKindUATree))
        sys_.SysShowSysTree(accounts, &tree_, top, CATEGORY_FILTER | CATEGORY_ACCOUNT, true);
    view.Expand(top);
    view.Redraw();
    return 0;
}

void CFilterManager::OnExpanded(TreeItem item, bool expanded) {
    Lock lock(ModelLock());
    if (item == kNoItem) return;
    baseDataStruct* node = findid(sys_.root(), tree_.view().ItemData(item) & kNodeIdMask);
    if (!node) return;
    if (expanded) {
        changestate(node, 0, STATE_EXPANDED);
    } else {
        changestate(node, STATE_EXPANDED, 0);
    }
    sys_.DataSaveList(node, 1);
}

void CFilterManager::OnTreeSelection(TreeItem item) {
    Lock lock(ModelLock());
    // Any other item shows no rules, so that "add new filter" has nowhere to add.
    ShowFolder(item == kNoItem ? 0 : tree_.view().ItemData(item) & kNodeIdMask);
}

baseDataStruct* CFilterManager::folder() {
    Lock lock(ModelLock());
    if (folderId_ == 0) return nullptr;
    baseDataStruct* node = findid(sys_.root(), folderId_);
    return node && getinfo(node, kThisNode, "type") == "FilterFolder" ? node : nullptr;
}

baseDataStruct* CFilterManager::Link() {
    baseDataStruct* f = folder();
    return f ? sys_.mailBox().SysReadLinkTree(f, kLinkBlocks) : nullptr;
}

void CFilterManager::ShowFolder(uint32_t folderId) {
    Lock lock(ModelLock());
    rules_.Reset(kFilterListColumns);
    folderId_ = 0;
    editor_.SetRule(0, -1);
    baseDataStruct* node = folderId == 0 ? nullptr : findid(sys_.root(), folderId);
    if (!node || getinfo(node, kThisNode, "type") != "FilterFolder") return;
    baseDataStruct* link = sys_.mailBox().SysReadLinkTree(node, kLinkBlocks);
    if (!link) return;
    folderId_ = folderId;
    for (baseDataStruct* son = link->lastSon(); son; son = son->prevBrother()) {
        if (teststate(son, STATE_VALID)) AddRuleRow(rules_, son);
    }
}

void CFilterManager::OnRuleSelection(int row) {
    Lock lock(ModelLock());
    const ListView& view = rules_.view();
    const long point =
        row >= 0 && row < view.RowCount() ? static_cast<long>(view.ItemData(row)) : -1;
    editor_.SetRule(point < 0 ? 0 : folderId_, point);
}

void CFilterManager::AddFilter() {
    Lock lock(ModelLock());
    baseDataStruct* link = Link();
    if (!link) return;
    baseDataStruct* node = AddSonText(link, std::string(kNewRuleNode));
    setinfo(node, kThisNode, "SDATA", kNewRuleText);
    // Written first: the row carries the point id the write gives it.
    sys_.mailBox().DataSaveList(node, 1);
    AddRuleRow(rules_, node);
}

}  // namespace korvo
