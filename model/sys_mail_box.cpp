#include "model/sys_mail_box.h"

#include <filesystem>
#include <system_error>

#include "model/settings_forms.h"
#include "model/sys_schema.h"
#include "platform/data_dir.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

std::string PointIdText(const baseDataStruct* node) {
    return getinfo(node, kThisNode, "pointId");
}

// Two spellings of one file compare equal once resolved.
std::string Canonical(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

}  // namespace

std::string StorePath(std::string_view name) {
    std::string path(name);
    if (path.empty() || path.front() != '/') path = DataDirectory() + path;
    return path;
}

bool CSysMailBox::SysOpenUserFile(baseDataStruct* ptItem) {
    LogScope scope("CSysMailBox::SysOpenUserFile(baseDataStruct *ptItem)", "end");
    baseDataStruct* user = system_.DataGetSysPoint(ptItem, kKindUser);
    if (!user) return false;
    ApplyUserCharset(user);  // the user whose mail is opened reads undeclared text their way
    const std::string saveFile = getinfo(user, kThisNode, "SaveFile");
    if (saveFile == kAbsent || saveFile.empty()) return false;
    const std::string path = Canonical(StorePath(saveFile));
    if (path == openPath_ && isOpen()) return true;
    // Two writers on one file would overwrite each other's blocks.
    if (system_.isOpen() && Canonical(system_.file().path()) == path) {
        LogLine(DiagLog::kWarning, "SaveFile %s is the system store", path.c_str());
        return false;
    }
    openPath_ = path;
    if (!DataOpen(path, "open")) {
        openPath_.clear();
        return false;
    }
    return true;
}

int CSysMailBox::SysCreateLinkItem(baseDataStruct* ptLinkItem, std::string_view type,
                                   std::string_view kind) {
    LogScope scope("CSysMailBox::SysCreateLinkItem(baseDataStruct *ptLinkItem)", "end");
    if (!ptLinkItem || !SysOpenUserFile(ptLinkItem)) return 0;
    baseDataStruct* link =
        AddSonText(root(), "type =" + std::string(type) + " ,pType =" + std::string(kind));
    changestate(link, 0, STATE_LAZY_SONS);
    const long linkPoint = DataSaveList(link, 1);
    if (linkPoint == -1) {
        deletepoint(link);
        return 0;
    }
    setinfo(ptLinkItem, kThisNode, "LinkId", LongToText(linkPoint));
    system_.DataSaveList(ptLinkItem, 1);
    const std::string containerPoint = PointIdText(ptLinkItem);
    if (containerPoint == kAbsent) {
        // A link node nobody points back at would stay in the file for good.
        DataDeletePoint(link, 0);
        return 0;
    }
    setinfo(link, kThisNode, "LinkId", containerPoint);
    DataSaveList(link, 1);
    return 1;
}

baseDataStruct* CSysMailBox::SysGetLinkItem(baseDataStruct* ptLinkItem) {
    LogScope scope("*CSysMailBox::SysGetLinkItem(baseDataStruct *ptLinkItem)", "end");
    if (!ptLinkItem || !SysOpenUserFile(ptLinkItem)) return nullptr;
    const std::string linkId = LongToText(TextToLong(getinfo(ptLinkItem, kThisNode, "LinkId")));
    const std::string containerPoint = PointIdText(ptLinkItem);
    for (baseDataStruct* son = root()->firstSon(); son; son = son->nextBrother()) {
        if (PointIdText(son) == linkId && getinfo(son, kThisNode, "LinkId") == containerPoint) {
            return son;
        }
    }
    return nullptr;
}

int CSysMailBox::SysDeleteLinkItem(baseDataStruct* ptLinkItem) {
    LogScope scope("CSysMailBox::SysDeleteLinkItem(baseDataStruct *ptLinkItem)", "end");
    if (baseDataStruct* link = SysGetLinkItem(ptLinkItem)) DataDeletePoint(link, 0);
    return 1;
}

baseDataStruct* CSysMailBox::SysReadLinkTree(baseDataStruct* ptLinkItem, int mask) {
    LogScope scope("CSysMailBox::SysReadLinkTree(baseDataStruct *ptLinkItem)", "end");
    if (!ptLinkItem) return nullptr;
    if (baseDataStruct* link = SysGetLinkItem(ptLinkItem)) {
        if (!link->firstSon()) DataLoadTree(link, -1, mask | kLoadProperty | kLoadLazySons, true);
        return link;
    }
    const std::string type = getinfo(ptLinkItem, kThisNode, "type");
    const std::string kind = getinfo(ptLinkItem, kThisNode, "pType");
    SysCreateLinkItem(ptLinkItem, type, kind);
    return SysGetLinkItem(ptLinkItem);
}

}  // namespace korvo
