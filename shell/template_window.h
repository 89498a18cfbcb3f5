// CViewTemplate: the template window. A tree of the user's template folders (the shared ones
// and every account's), the templates of the selected folder in a list with the default one
// marked, an editor for the selected template's text, a combo of macros to insert at the
// caret, a combo of the template's format, and a preview of HTML templates in the embedded
// browser. The widgets are reached through the small views of controls/ and TemplatePageView.
//
// The window keeps no node pointers between calls: the mail store switches files (and rebuilds
// its nodes) when another user's contents are needed. The folder is remembered by its node id
// in the system store and templates by their point ids, which are also the list's item data.
// Every entry point takes the model lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controls/combo_view.h"
#include "controls/list_control.h"
#include "controls/text_view.h"
#include "controls/tree_control.h"
#include "model/sys_data.h"
#include "store/node.h"

namespace korvo {

inline constexpr std::string_view kTemplateWindowTitle = "Template";
inline constexpr std::string_view kTemplateListColumns = "Template =160 ,Format =100";
// Row images of the template list.
inline constexpr int kTemplateImage = 0;
inline constexpr int kDefaultTemplateImage = 1;
// The preview page, in the data directory; "template.jpg" beside it is its background.
inline constexpr std::string_view kTemplatePageFile = "Cache/html/template.html";

// The embedded browser of the preview.
class TemplatePageView {
  public:
    virtual ~TemplatePageView() = default;
    // Shows `page`; `file` is where it was written (empty when it could not be), so relative
    // references resolve beside it.
    virtual void ShowPage(const std::string& file, std::string_view page) = 0;
    virtual void SetVisible(bool visible) = 0;
};

class CViewTemplate {
  public:
    // All references must outlive the window.
    CViewTemplate(CSysData& stores, CBaseTreeControl& tree, CBaseListControl& list,
                  TextView& editor, ComboView& macros, ComboView& formats, TemplatePageView& page);

    // Fills the tree with the template folders of `node`'s user and sets up the list and the
    // combos. -1 when `node` is not inside a user.
    int InitialUpdate(baseDataStruct* node);

    // The tree's selection changed: a template folder shows its templates, anything else an
    // empty list.
    void OnTreeSelection(TreeItem item);
    // The list's selection changed (-1: none): the template's text and format are shown.
    void OnListSelection(int row);

    // A new template in the selected folder, shown and selected.
    void NewTemplate();
    // Replaces the editor's selection by the macro of the macro combo and a line break.
    void InsertMacro();
    // The editor's text becomes the template's text.
    void SaveText();
    // The format combo's entry becomes the template's format.
    void SetFormat();
    // A label edit of the list ended with `caption`; false when the name is not taken.
    bool Rename(int row, std::string_view caption);
    // Deletes the templates of the selected rows.
    void DeleteSelected();
    // The selected template becomes its folder's default.
    void SetDefault();
    // Switches an HTML template between editing and preview.
    void TogglePreview();

    // The folder and template shown, found afresh; null when none.
    baseDataStruct* folder();
    baseDataStruct* currentTemplate();
    bool previewing() const { return preview_; }

  private:
    baseDataStruct* Link();
    baseDataStruct* TemplateOfPoint(long point);
    void ShowTemplates();
    void ShowCurrent();
    void ClearCurrent();
    void LeavePreview();
    void RefreshRow(int row, baseDataStruct* node);
    int RowOfPoint(long point) const;

    CSysData& sys_;
    CBaseTreeControl& tree_;
    CBaseListControl& list_;
    TextView& editor_;
    ComboView& macros_;
    ComboView& formats_;
    TemplatePageView& page_;

    uint32_t folderId_ = 0;  // 0: no folder (the root's id)
    long current_ = -1;      // point id of the shown template
    bool preview_ = false;
};

}  // namespace korvo
