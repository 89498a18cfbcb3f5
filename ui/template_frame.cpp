#include "ui/template_frame.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/imaglist.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/stattext.h>

#include "store/node.h"
#include "ui/busy_flag.h"
#include "ui/view_images.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

constexpr int kIconSize = 16;

wxBitmap Art(const char* id) {
    return wxArtProvider::GetBitmap(id, wxART_LIST, wxSize(kIconSize, kIconSize));
}

// Adds `bitmap` (or an empty picture when the theme has none) so indexes stay in order.
void AddImage(wxImageList* list, const wxBitmap& bitmap) {
    if (bitmap.IsOk() && bitmap.GetSize() == wxSize(kIconSize, kIconSize)) {
        list->Add(bitmap);
        return;
    }
    wxImage image = bitmap.IsOk() ? bitmap.ConvertToImage().Scale(kIconSize, kIconSize)
                                  : wxImage(kIconSize, kIconSize);
    list->Add(wxBitmap(image));
}

// kTemplateImage and kDefaultTemplateImage.
wxImageList* ListImages() {
    auto* list = new wxImageList(kIconSize, kIconSize, true);
    AddImage(list, Art(wxART_NORMAL_FILE));
    AddImage(list, Art(wxART_TICK_MARK));
    return list;
}

}  // namespace

TemplateFrame::TemplateFrame(wxWindow* parent, CSysData& sys, HardenedWebView::LinkOpener links)
    : wxFrame(parent, wxID_ANY, WxFromBytes(kTemplateWindowTitle), wxDefaultPosition,
              wxSize(820, 600)) {
    auto* split = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                       wxSP_3D | wxSP_LIVE_UPDATE);
    treeView_ = std::make_unique<WxTreeView>(split);
    treeView_->control()->AssignImageList(MakeTreeImages());
    treeLogic_ = std::make_unique<CBaseTreeControl>(*treeView_);

    auto* right = new wxPanel(split);
    listView_ = std::make_unique<WxListView>(right);
    wxListCtrl* listControl = listView_->control();
    listControl->SetWindowStyleFlag(listControl->GetWindowStyleFlag() | wxLC_EDIT_LABELS);
    listControl->AssignImageList(ListImages(), wxIMAGE_LIST_SMALL);
    listLogic_ = std::make_unique<CBaseListControl>(*listView_);

    auto button = [&](int id, const char* label) {
        auto* b = new wxButton(right, id, label, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
        b->Bind(wxEVT_BUTTON, &TemplateFrame::OnButton, this);
        return b;
    };
    auto* templateRow = new wxBoxSizer(wxHORIZONTAL);
    templateRow->Add(button(kNew, "New"), 0, wxRIGHT, 4);
    templateRow->Add(button(kRename, "Rename"), 0, wxRIGHT, 4);
    templateRow->Add(button(kDelete, "Delete"), 0, wxRIGHT, 4);
    templateRow->Add(button(kSetDefault, "Set default"), 0, wxRIGHT, 12);
    templateRow->Add(button(kSave, "Save"), 0, wxRIGHT, 4);
    templateRow->Add(button(kPreview, "Preview"), 0);

    macros_ = std::make_unique<WxComboView>(new wxChoice(right, wxID_ANY));
    formats_ = std::make_unique<WxComboView>(new wxChoice(right, wxID_ANY));
    formats_->control()->Bind(wxEVT_CHOICE, &TemplateFrame::OnFormat, this);
    auto* textRow = new wxBoxSizer(wxHORIZONTAL);
    textRow->Add(new wxStaticText(right, wxID_ANY, "Macro:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
                 4);
    textRow->Add(macros_->control(), 0, wxRIGHT, 4);
    textRow->Add(button(kInsertMacro, "Insert"), 0, wxRIGHT, 12);
    textRow->Add(new wxStaticText(right, wxID_ANY, "Format:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
                 4);
    textRow->Add(formats_->control(), 0);

    editArea_ = right;
    editor_ = std::make_unique<WxTextView>(new wxTextCtrl(
        right, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxTE_MULTILINE));
    preview_ = std::make_unique<HardenedWebView>(right, std::move(links));
    preview_->view()->Hide();

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(listControl, 1, wxEXPAND);
    column->Add(templateRow, 0, wxALL, 4);
    column->Add(textRow, 0, wxALL, 4);
    column->Add(editor_->control(), 2, wxEXPAND);
    column->Add(preview_->view(), 2, wxEXPAND);
    right->SetSizer(column);
    split->SplitVertically(treeView_->control(), right, 200);
    split->SetMinimumPaneSize(40);

    treeView_->control()->Bind(wxEVT_TREE_SEL_CHANGED, &TemplateFrame::OnTreeSelection, this);
    listControl->Bind(wxEVT_LIST_ITEM_SELECTED, &TemplateFrame::OnListSelection, this);
    listControl->Bind(wxEVT_LIST_ITEM_DESELECTED, &TemplateFrame::OnListSelection, this);
    listControl->Bind(wxEVT_LIST_END_LABEL_EDIT, &TemplateFrame::OnEndLabelEdit, this);

    logic_ = std::make_unique<CViewTemplate>(sys, *treeLogic_, *listLogic_, *editor_, *macros_,
                                             *formats_, *this);
}

TemplateFrame::~TemplateFrame() {
    // The widgets go with the window; events they send while going are not news.
    busy_ = true;
    treeView_->control()->Unbind(wxEVT_TREE_SEL_CHANGED, &TemplateFrame::OnTreeSelection, this);
    wxListCtrl* listControl = listView_->control();
    listControl->Unbind(wxEVT_LIST_ITEM_SELECTED, &TemplateFrame::OnListSelection, this);
    listControl->Unbind(wxEVT_LIST_ITEM_DESELECTED, &TemplateFrame::OnListSelection, this);
    listControl->Unbind(wxEVT_LIST_END_LABEL_EDIT, &TemplateFrame::OnEndLabelEdit, this);
}

void TemplateFrame::ShowPage(const std::string& file, std::string_view page) {
    if (file.empty()) {
        preview_->LoadHtml(WxFromBytes(page));
    } else {
        preview_->LoadFile(file);
    }
}

void TemplateFrame::SetVisible(bool visible) {
    preview_->view()->Show(visible);
    editArea_->Layout();
}

int TemplateFrame::Start(baseDataStruct* node) {
    BusyFlag busy(busy_);
    return logic_->InitialUpdate(node);
}

void TemplateFrame::Run(int command) {
    BusyFlag busy(busy_);
    switch (command) {
        case kNew:
            logic_->NewTemplate();
            break;
        case kInsertMacro:
            logic_->InsertMacro();
            break;
        case kSave:
            logic_->SaveText();
            break;
        case kRename: {
            const long row =
                listView_->control()->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
            if (row >= 0) listView_->control()->EditLabel(row);
            break;
        }
        case kDelete:
            logic_->DeleteSelected();
            break;
        case kSetDefault:
            logic_->SetDefault();
            break;
        case kPreview:
            logic_->TogglePreview();
            break;
        default:
            break;
    }
}

void TemplateFrame::OnButton(wxCommandEvent& event) {
    Run(event.GetId());
}

void TemplateFrame::OnFormat(wxCommandEvent&) {
    BusyFlag busy(busy_);
    logic_->SetFormat();
}

void TemplateFrame::OnTreeSelection(wxTreeEvent& event) {
    if (busy_) return;
    BusyFlag busy(busy_);
    logic_->OnTreeSelection(WxTreeView::FromWx(event.GetItem()));
}

void TemplateFrame::OnListSelection(wxListEvent&) {
    // A click deselects the old row before it selects the new one: look once both are done.
    if (busy_ || syncPending_) return;
    syncPending_ = true;
    CallAfter(&TemplateFrame::SyncListSelection);
}

void TemplateFrame::SyncListSelection() {
    syncPending_ = false;
    BusyFlag busy(busy_);
    const int row = static_cast<int>(
        listView_->control()->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
    // Choosing the template already shown keeps the text being edited.
    baseDataStruct* shown = logic_->currentTemplate();
    if (row >= 0 && shown &&
        static_cast<long>(listView_->ItemData(row)) ==
            TextToLong(getinfo(shown, kThisNode, "pointId")))
        return;
    logic_->OnListSelection(row);
}

void TemplateFrame::OnEndLabelEdit(wxListEvent& event) {
    if (event.IsEditCancelled()) return;
    BusyFlag busy(busy_);
    if (!logic_->Rename(static_cast<int>(event.GetIndex()), BytesFromWx(event.GetLabel())))
        event.Veto();
}

TemplateFrame* OpenTemplateWindow(wxWindow* parent, CSysData& sys, baseDataStruct* node) {
    static wxWeakRef<TemplateFrame> open;
    if (open) {
        open->Raise();
        return open.get();
    }
    auto* frame = new TemplateFrame(parent, sys);
    if (frame->Start(node) != 0) {
        frame->Destroy();
        return nullptr;
    }
    frame->Show();
    open = frame;
    return frame;
}

}  // namespace korvo
