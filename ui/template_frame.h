// The template window titled "Template": the user's template folders in a tree, the templates
// of the chosen folder in a list (the default one with its own icon; names are edited in
// place), the macro and format drop-downs, the text editor and the preview of HTML templates
// in the hardened browser. Every command goes to CViewTemplate.
#pragma once

#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/treectrl.h>

#include <memory>

#include "shell/template_window.h"
#include "ui/hardened_web_view.h"
#include "ui/wx_edit_views.h"
#include "ui/wx_list_view.h"
#include "ui/wx_tree_view.h"

namespace korvo {

class TemplateFrame : public wxFrame, public TemplatePageView {
  public:
    enum Command {
        kNew = wxID_HIGHEST + 800,
        kInsertMacro,
        kSave,
        kRename,
        kDelete,
        kSetDefault,
        kPreview,
    };

    // `sys` must outlive the window.
    TemplateFrame(wxWindow* parent, CSysData& sys, HardenedWebView::LinkOpener links = {});
    ~TemplateFrame() override;

    // TemplatePageView
    void ShowPage(const std::string& file, std::string_view page) override;
    void SetVisible(bool visible) override;

    // Fills the window for the user of `node`; -1 when `node` is not inside a user.
    int Start(baseDataStruct* node);

    // Runs a command as its button does.
    void Run(int command);

    CViewTemplate& logic() { return *logic_; }
    WxTreeView& tree() { return *treeView_; }
    WxListView& list() { return *listView_; }
    WxTextView& editor() { return *editor_; }
    WxComboView& macros() { return *macros_; }
    WxComboView& formats() { return *formats_; }
    HardenedWebView& preview() { return *preview_; }

  private:
    void OnTreeSelection(wxTreeEvent& event);
    void OnListSelection(wxListEvent& event);
    void SyncListSelection();
    void OnEndLabelEdit(wxListEvent& event);
    void OnButton(wxCommandEvent& event);
    void OnFormat(wxCommandEvent& event);

    std::unique_ptr<WxTreeView> treeView_;
    std::unique_ptr<CBaseTreeControl> treeLogic_;
    std::unique_ptr<WxListView> listView_;
    std::unique_ptr<CBaseListControl> listLogic_;
    std::unique_ptr<WxTextView> editor_;
    std::unique_ptr<WxComboView> macros_;
    std::unique_ptr<WxComboView> formats_;
    std::unique_ptr<HardenedWebView> preview_;
    std::unique_ptr<CViewTemplate> logic_;
    wxWindow* editArea_ = nullptr;
    // Set while the logic changes the widgets, whose events are then not news.
    bool busy_ = false;
    bool syncPending_ = false;
};

// Opens the template window for the user of `node` (an account, box or the user), or raises
// the one already open. Null when `node` is not inside a user.
TemplateFrame* OpenTemplateWindow(wxWindow* parent, CSysData& sys, baseDataStruct* node);

}  // namespace korvo
