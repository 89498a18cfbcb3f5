#include "ui/attachment_views.h"

#include <wx/artprov.h>
#include <wx/bmpbndl.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/image.h>
#include <wx/imaglist.h>
#include <wx/log.h>
#include <wx/mimetype.h>
#include <wx/utils.h>

#include <memory>

#include "platform/message_hook.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

std::string LowerExtension(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

wxBitmap Scaled(const wxImage& image) {
    if (!image.IsOk()) return wxNullBitmap;
    if (image.GetWidth() == kAttachmentIconSize && image.GetHeight() == kAttachmentIconSize)
        return wxBitmap(image);
    return wxBitmap(image.Scale(kAttachmentIconSize, kAttachmentIconSize, wxIMAGE_QUALITY_HIGH));
}

// The desktop's icon file for the extension's type, read as a picture.
wxBitmap DesktopIcon(const std::string& ext) {
    if (ext.empty()) return wxNullBitmap;
    wxLogNull quiet;  // a missing type or unreadable icon is no news
    std::unique_ptr<wxFileType> type(
        wxTheMimeTypesManager->GetFileTypeFromExtension(WxFromBytes(ext)));
    wxIconLocation location;
    if (!type || !type->GetIcon(&location) || !location.IsOk()) return wxNullBitmap;
    const wxString file = location.GetFileName();
    if (!wxFileExists(file)) return wxNullBitmap;
    if (file.Lower().EndsWith(".svg")) {
        return wxBitmapBundle::FromSVGFile(file, wxSize(kAttachmentIconSize, kAttachmentIconSize))
            .GetBitmap(wxSize(kAttachmentIconSize, kAttachmentIconSize));
    }
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    return Scaled(wxImage(file, wxBITMAP_TYPE_ANY));
}

}  // namespace

wxBitmap FileTypeBitmap(std::string_view name) {
    const wxBitmap icon = DesktopIcon(LowerExtension(name));
    if (icon.IsOk()) return icon;
    const wxSize size(kAttachmentIconSize, kAttachmentIconSize);
    wxBitmap art = wxArtProvider::GetBitmap(
        IsRunnableFileName(name) ? wxART_EXECUTABLE_FILE : wxART_NORMAL_FILE, wxART_LIST, size);
    if (art.IsOk() && art.GetSize() != size) art = Scaled(art.ConvertToImage());
    if (art.IsOk()) return art;
    // No theme at all: a plain white page.
    wxImage blank(size);
    blank.SetRGB(wxRect(size), 255, 255, 255);
    return wxBitmap(blank);
}

WxAttachmentListView::WxAttachmentListView(WxListView& list)
    : list_(list), images_(new wxImageList(kAttachmentIconSize, kAttachmentIconSize, true)) {
    list_.control()->AssignImageList(images_, wxIMAGE_LIST_SMALL);
    if (list_.ColumnCount() == 0) list_.InsertColumn(0, "Name", 300, ColumnAlign::kLeft);
}

int WxAttachmentListView::ImageOf(std::string_view name) {
    // Icons are kept per extension; runnable names get their own picture whatever the case.
    const std::string key = LowerExtension(name) + (IsRunnableFileName(name) ? "!" : "");
    const auto found = byExtension_.find(key);
    if (found != byExtension_.end()) return found->second;
    const int index = images_->Add(FileTypeBitmap(name));
    byExtension_.emplace(key, index);
    return index;
}

void WxAttachmentListView::ClearRows() {
    list_.DeleteAllRows();
}

void WxAttachmentListView::AddRow(std::string_view name) {
    const int row = list_.InsertRow(list_.RowCount(), 0, ImageOf(name), 0);
    list_.SetCellText(row, 0, name);
}

std::vector<int> WxAttachmentListView::SelectedRows() {
    std::vector<int> rows;
    for (int row = 0; row < list_.RowCount(); ++row)
        if (list_.IsRowSelected(row)) rows.push_back(row);
    return rows;
}

wxString WildcardOfFilter(std::string_view filter) {
    // The trailing "||" ends the list in the filter text; the toolkit takes pairs only. A
    // pattern "*.*" would hide names without a dot here: every file is "*".
    while (!filter.empty() && filter.back() == '|') filter.remove_suffix(1);
    wxString wildcard = WxFromBytes(filter);
    wxString out;
    wxArrayString parts = wxSplit(wildcard, '|', '\0');
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '|';
        out += (i % 2 == 1 && parts[i] == "*.*") ? wxString("*") : parts[i];
    }
    return out;
}

WxAttachmentDialogs::WxAttachmentDialogs(wxWindow* parent, FileOpener opener)
    : parent_(parent), opener_(std::move(opener)) {}

void WxAttachmentDialogs::Message(std::string_view text) {
    ShowMessage(std::string(text));
}

bool WxAttachmentDialogs::AskSaveFile(std::string_view presetName, std::string* path) {
    wxFileDialog dialog(parent_.get(), "Save As", wxGetHomeDir(), WxFromBytes(presetName),
                        WildcardOfFilter(kSaveAttachmentFilter), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return false;
    *path = BytesFromWx(dialog.GetPath());
    return true;
}

bool WxAttachmentDialogs::AskFolder(std::string* folder) {
    wxDirDialog dialog(parent_.get(), "Save all attachments into", wxGetHomeDir(),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return false;
    *folder = BytesFromWx(dialog.GetPath());
    return true;
}

void WxAttachmentDialogs::OpenWithDefaultApplication(const std::string& path) {
    if (opener_) {
        opener_(path);
    } else {
        wxLaunchDefaultApplication(WxFromBytes(path));
    }
}

WxAttachmentCommands::WxAttachmentCommands(WxListView& list, CFileList& files)
    : list_(list.control()), files_(files) {
    list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, &WxAttachmentCommands::OnActivated, this);
    list_->Bind(wxEVT_CONTEXT_MENU, &WxAttachmentCommands::OnContextMenu, this);
}

WxAttachmentCommands::~WxAttachmentCommands() {
    if (!list_) return;
    list_->Unbind(wxEVT_LIST_ITEM_ACTIVATED, &WxAttachmentCommands::OnActivated, this);
    list_->Unbind(wxEVT_CONTEXT_MENU, &WxAttachmentCommands::OnContextMenu, this);
}

wxMenu* WxAttachmentCommands::MakeMenu() {
    auto* menu = new wxMenu;
    menu->Append(kOpen, "Open attachment");
    menu->Append(kSave, "Save attachment...");
    menu->Append(kSaveAll, "Save all attachments...");
    const bool selected = list_ && list_->GetSelectedItemCount() > 0;
    menu->Enable(kOpen, selected);
    menu->Enable(kSave, selected);
    menu->Enable(kSaveAll, files_.size() > 0);
    return menu;
}

void WxAttachmentCommands::Run(int command) {
    switch (command) {
        case kOpen:
            files_.OpenSelected();
            break;
        case kSave:
            files_.SaveSelected();
            break;
        case kSaveAll:
            files_.SaveAll();
            break;
        default:
            break;
    }
}

void WxAttachmentCommands::OnActivated(wxListEvent&) {
    files_.OpenSelected();
}

void WxAttachmentCommands::OnContextMenu(wxContextMenuEvent&) {
    if (!list_) return;
    std::unique_ptr<wxMenu> menu(MakeMenu());
    menu->Bind(wxEVT_MENU, &WxAttachmentCommands::OnMenu, this);
    list_->PopupMenu(menu.get());
}

void WxAttachmentCommands::OnMenu(wxCommandEvent& event) {
    Run(event.GetId());
}

}  // namespace korvo
