#include "shell/template_window.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "content/template_macros.h"
#include "content/template_store.h"
#include "platform/data_dir.h"
#include "platform/model_lock.h"
#include "platform/private_file.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Rows' item data: the template's point id.
long PointOf(const baseDataStruct* node) {
    return TextToLong(getinfo(node, kThisNode, "pointId"));
}

// Writes the preview page (created or emptied). The full path, or empty on failure.
std::string WritePage(std::string_view page) {
    const std::string dir = DataDirectory();
    if (!WritePrivateFile(dir, kTemplatePageFile, page)) return {};
    return dir + std::string(kTemplatePageFile);
}

}  // namespace

CViewTemplate::CViewTemplate(CSysData& stores, CBaseTreeControl& tree, CBaseListControl& list,
                             TextView& editor, ComboView& macros, ComboView& formats,
                             TemplatePageView& page)
    : sys_(stores),
      tree_(tree),
      list_(list),
      editor_(editor),
      macros_(macros),
      formats_(formats),
      page_(page) {}

int CViewTemplate::InitialUpdate(baseDataStruct* node) {
    Lock lock(ModelLock());
    macros_.Clear();
    for (const MacroEntry& macro : kMacroTable) macros_.Append(macro.name);
    macros_.Append(kMacroNoSelect);
    macros_.Select(kMacroCount);
    formats_.Clear();
    for (std::string_view format : kTemplateFormats) formats_.Append(format);
    formats_.Select(0);
    list_.Reset(kTemplateListColumns);
    folderId_ = 0;
    ClearCurrent();

    if (sys_.SysShowTemplateTree(node, &tree_) != 0) return -1;
    // The shared folders hang under the user's shared template item.
    baseDataStruct* shared = sys_.DataGetSysPoint(node, kKindUTemplate);
    const TreeItem sharedItem = tree_.FindItem(kNoItem, shared->nodeId() & kNodeIdMask);
    if (sharedItem != kNoItem && shared->firstSon()) {
        sys_.SysShowSysTree(shared->firstSon(), &tree_, sharedItem, CATEGORY_TEMPLATE, false);
        tree_.view().Expand(sharedItem);
    }
    return 0;
}

baseDataStruct* CViewTemplate::folder() {
    Lock lock(ModelLock());
    if (folderId_ == 0) return nullptr;
    baseDataStruct* node = findid(sys_.root(), folderId_);
    return node && getinfo(node, kThisNode, "type") == "TFolder" ? node : nullptr;
}

baseDataStruct* CViewTemplate::Link() {
    baseDataStruct* f = folder();
    return f ? sys_.mailBox().SysReadLinkTree(f, kLoadProperty | kLoadStrdata | kLoadSdata)
             : nullptr;
}

baseDataStruct* CViewTemplate::TemplateOfPoint(long point) {
    if (point < 0) return nullptr;
    for (baseDataStruct* node : ListedTemplates(Link())) {
        if (PointOf(node) == point) return node;
    }
    return nullptr;
}

baseDataStruct* CViewTemplate::currentTemplate() {
    Lock lock(ModelLock());
    return TemplateOfPoint(current_);
}

void CViewTemplate::OnTreeSelection(TreeItem item) {
    Lock lock(ModelLock());
    const uint32_t id = tree_.view().ItemData(item) & kNodeIdMask;
    folderId_ = item == kNoItem ? 0 : id;
    if (!folder()) folderId_ = 0;
    ClearCurrent();
    ShowTemplates();
}

void CViewTemplate::ShowTemplates() {
    list_.Reset(kTemplateListColumns);
    for (baseDataStruct* node : ListedTemplates(Link())) {
        const int row = list_.InsertRow("", static_cast<uint32_t>(PointOf(node)));
        RefreshRow(row, node);
    }
}

void CViewTemplate::RefreshRow(int row, baseDataStruct* node) {
    ListView& view = list_.view();
    view.SetCellText(row, 0, getinfo(node, kThisNode, "caption"));
    view.SetCellText(row, 1, getinfo(node, kThisNode, "format"));
    view.SetRowImage(row, IsDefaultTemplate(node) ? kDefaultTemplateImage : kTemplateImage);
}

int CViewTemplate::RowOfPoint(long point) const {
    const ListView& view = list_.view();
    for (int row = 0; row < view.RowCount(); ++row) {
        if (static_cast<long>(view.ItemData(row)) == point) return row;
    }
    return -1;
}

void CViewTemplate::OnListSelection(int row) {
    Lock lock(ModelLock());
    LeavePreview();
    const ListView& view = list_.view();
    current_ = row >= 0 && row < view.RowCount() ? static_cast<long>(view.ItemData(row)) : -1;
    ShowCurrent();
}

void CViewTemplate::ShowCurrent() {
    baseDataStruct* node = TemplateOfPoint(current_);
    if (!node) {
        ClearCurrent();
        return;
    }
    editor_.SetText(TemplateText(sys_.mailBox(), node));
    editor_.SetEditable(true);
    formats_.Select(TemplateFormatIndex(getinfo(node, kThisNode, "format")));
}

void CViewTemplate::ClearCurrent() {
    LeavePreview();
    current_ = -1;
    editor_.SetText("");
    editor_.SetEditable(false);
}

void CViewTemplate::NewTemplate() {
    Lock lock(ModelLock());
    baseDataStruct* node = korvo::NewTemplate(sys_.mailBox(), Link());
    if (!node) return;
    LeavePreview();
    const long point = PointOf(node);
    ShowTemplates();
    ListView& view = list_.view();
    for (int row = 0; row < view.RowCount(); ++row) view.SetRowSelected(row, false);
    const int row = RowOfPoint(point);
    view.SetRowSelected(row, true);
    view.SetFocusedRow(row);
    current_ = point;
    ShowCurrent();
}

void CViewTemplate::InsertMacro() {
    Lock lock(ModelLock());
    const int macro = macros_.Selection();
    if (macro < 0 || macro >= kMacroCount || preview_) return;
    baseDataStruct* node = TemplateOfPoint(current_);
    if (!node) return;
    const std::string text = editor_.Text();
    size_t start = 0, end = 0;
    editor_.GetSelection(&start, &end);
    start = std::min(start, text.size());
    end = std::clamp(end, start, text.size());
    const std::string inserted = std::string(kMacroTable[macro].key) + " \r\n";
    const std::string changed = text.substr(0, start) + inserted + text.substr(end);
    editor_.SetText(changed);
    editor_.SetSelection(start + inserted.size(), start + inserted.size());
    SaveTemplateText(sys_.mailBox(), node, changed);
}

void CViewTemplate::SaveText() {
    Lock lock(ModelLock());
    if (preview_) return;
    if (baseDataStruct* node = TemplateOfPoint(current_)) {
        SaveTemplateText(sys_.mailBox(), node, editor_.Text());
    }
}

void CViewTemplate::SetFormat() {
    Lock lock(ModelLock());
    baseDataStruct* node = TemplateOfPoint(current_);
    if (!node) return;
    if (!SetTemplateFormat(sys_.mailBox(), node, formats_.Text(formats_.Selection()))) return;
    RefreshRow(RowOfPoint(current_), node);
    // A plain-text template has no preview.
    if (getinfo(node, kThisNode, "format") == kTextFormat) LeavePreview();
}

bool CViewTemplate::Rename(int row, std::string_view caption) {
    Lock lock(ModelLock());
    const ListView& view = list_.view();
    if (row < 0 || row >= view.RowCount()) return false;
    baseDataStruct* node = TemplateOfPoint(static_cast<long>(view.ItemData(row)));
    if (!RenameTemplate(sys_.mailBox(), node, caption)) return false;
    RefreshRow(row, node);
    return true;
}

void CViewTemplate::DeleteSelected() {
    Lock lock(ModelLock());
    const ListView& view = list_.view();
    std::vector<long> points;
    for (int row = 0; row < view.RowCount(); ++row) {
        if (view.IsRowSelected(row)) points.push_back(static_cast<long>(view.ItemData(row)));
    }
    if (points.empty()) return;
    for (long point : points) {
        if (point == current_) ClearCurrent();
        DeleteTemplate(sys_.mailBox(), TemplateOfPoint(point));
    }
    ShowTemplates();
    const int row = RowOfPoint(current_);
    if (row >= 0) list_.view().SetRowSelected(row, true);
}

void CViewTemplate::SetDefault() {
    Lock lock(ModelLock());
    baseDataStruct* node = TemplateOfPoint(current_);
    if (!SetDefaultTemplate(sys_.mailBox(), node)) return;
    ListView& view = list_.view();
    for (int row = 0; row < view.RowCount(); ++row) {
        if (baseDataStruct* t = TemplateOfPoint(static_cast<long>(view.ItemData(row)))) {
            RefreshRow(row, t);
        }
    }
}

void CViewTemplate::TogglePreview() {
    Lock lock(ModelLock());
    if (preview_) {
        LeavePreview();
        return;
    }
    baseDataStruct* node = TemplateOfPoint(current_);
    if (!node || getinfo(node, kThisNode, "format") == kTextFormat) return;
    // What the editor holds is what the user sees previewed, and it is kept.
    const std::string text = editor_.Text();
    SaveTemplateText(sys_.mailBox(), node, text);
    const std::string page = TemplatePreviewPage(text);
    page_.ShowPage(WritePage(page), page);
    editor_.SetVisible(false);
    page_.SetVisible(true);
    preview_ = true;
}

void CViewTemplate::LeavePreview() {
    if (!preview_) return;
    preview_ = false;
    page_.SetVisible(false);
    if (baseDataStruct* node = TemplateOfPoint(current_)) {
        editor_.SetText(TemplateText(sys_.mailBox(), node));
        editor_.SetEditable(true);
    }
    editor_.SetVisible(true);
}

}  // namespace korvo
