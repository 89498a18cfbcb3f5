// The attachment list's widgets: the rows with a file-type icon each, the dialogs its commands
// ask, and its context menu (open, save, save all), all calling CFileList.
#pragma once

#include <wx/menu.h>
#include <wx/weakref.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "shell/attachment_list.h"
#include "ui/wx_list_view.h"

namespace korvo {

inline constexpr int kAttachmentIconSize = 16;

// A 16x16 picture for a file name's type: the desktop's icon for the type when its icon file
// can be read, otherwise a generic file (or program) picture. Only files are read; nothing is
// run to find an icon.
wxBitmap FileTypeBitmap(std::string_view name);

class WxAttachmentListView : public AttachmentListView {
  public:
    // `list` must outlive the view.
    explicit WxAttachmentListView(WxListView& list);

    void ClearRows() override;
    void AddRow(std::string_view name) override;
    std::vector<int> SelectedRows() override;

    WxListView& list() { return list_; }

  private:
    int ImageOf(std::string_view name);

    WxListView& list_;
    wxImageList* images_;  // owned by the list control
    std::map<std::string, int> byExtension_;
};

class WxAttachmentDialogs : public AttachmentDialogs {
  public:
    using FileOpener = std::function<void(const std::string& path)>;
    // Dialogs are centred on `parent`; `opener` defaults to the desktop's default application.
    explicit WxAttachmentDialogs(wxWindow* parent, FileOpener opener = {});

    void Message(std::string_view text) override;
    bool AskSaveFile(std::string_view presetName, std::string* path) override;
    bool AskFolder(std::string* folder) override;
    void OpenWithDefaultApplication(const std::string& path) override;

  private:
    wxWeakRef<wxWindow> parent_;
    FileOpener opener_;
};

// The save dialog's filter in the toolkit's form ("text|pattern" pairs, no trailing bars).
wxString WildcardOfFilter(std::string_view filter);

// The attachment list's commands: a double click opens, the context menu opens, saves or
// saves all. Detaches from the list when destroyed.
class WxAttachmentCommands {
  public:
    enum Command { kOpen = wxID_HIGHEST + 700, kSave, kSaveAll };

    WxAttachmentCommands(WxListView& list, CFileList& files);
    ~WxAttachmentCommands();
    WxAttachmentCommands(const WxAttachmentCommands&) = delete;
    WxAttachmentCommands& operator=(const WxAttachmentCommands&) = delete;

    // The context menu, its items enabled for the rows there are and the rows selected.
    wxMenu* MakeMenu();
    void Run(int command);

  private:
    void OnActivated(wxListEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnMenu(wxCommandEvent& event);

    wxWeakRef<wxListCtrl> list_;
    CFileList& files_;
};

}  // namespace korvo
