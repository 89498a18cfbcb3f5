#include "ui/filter_dialogs.h"

#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <memory>

#include "controls/tree_control.h"
#include "store/node_tree.h"
#include "ui/view_images.h"
#include "ui/wx_text.h"
#include "ui/wx_tree_view.h"

namespace korvo {
namespace {

// The wildcard of a filter text: its trailing "||" ends the list and is not a pair.
wxString Wildcard(std::string_view filter) {
    while (!filter.empty() && filter.back() == '|') filter.remove_suffix(1);
    return WxFromBytes(filter);
}

}  // namespace

bool WxFilterDialogs::ChooseBox(baseDataStruct* node, baseDataStruct** chosen) {
    *chosen = nullptr;
    baseDataStruct* accounts = sys_.DataGetSysPoint(node, kKindUATree);
    wxDialog dialog(parent_, wxID_ANY, WxFromBytes(kBoxSelectTitle), wxDefaultPosition,
                    wxSize(320, 400), wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    WxTreeView view(&dialog);
    view.control()->AssignImageList(MakeTreeImages());
    CBaseTreeControl tree(view);
    if (accounts)
        sys_.SysShowSysTree(accounts, &tree, kNoItem, CATEGORY_ACCOUNT | CATEGORY_BOX, true);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(&dialog, wxID_ANY, WxFromBytes(kBoxSelectPrompt)), 0, wxALL, 6);
    column->Add(view.control(), 1, wxEXPAND | wxLEFT | wxRIGHT, 6);
    column->Add(dialog.CreateButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 6);
    dialog.SetSizer(column);
    dialog.CentreOnParent();
    if (dialog.ShowModal() != wxID_OK) return false;
    const wxTreeItemId item = view.control()->GetSelection();
    if (item.IsOk())
        *chosen = findid(sys_.root(), view.ItemData(WxTreeView::FromWx(item)) & kNodeIdMask);
    return true;
}

bool WxFilterDialogs::ChooseSoundFile(std::string* path) {
    wxFileDialog dialog(parent_, "Open", wxGetHomeDir(), wxString(), Wildcard(kSoundFileFilter),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return false;
    *path = BytesFromWx(dialog.GetPath());
    return true;
}

bool WxFilterDialogs::PickReceivers(baseDataStruct* account, ForwardReceivers* lines) {
    if (!receivers_) return false;
    ReceiverLines picked{lines->to, lines->cc, lines->hidden};
    if (!receivers_->PickReceivers(account, picked)) return false;
    *lines = {picked.to, picked.cc, picked.hidden};
    return true;
}

}  // namespace korvo
