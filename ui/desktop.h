// The desktop program put together: the stores, the main window with its user tree, letter
// list and viewer, the frame logic with its two timers, the tray icon, the task window made on
// demand, the instance guard's exit request and the command line's task requests. The
// application object makes one Desktop; tests make their own over a temporary data directory.
//
// Widget notifications that our own changes cause (a selection the logic makes, an item the
// logic expands) are not user actions: while the logic runs they are ignored.
#pragma once

#include <wx/fileconf.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "model/data_stores.h"
#include "shell/letter_list.h"
#include "shell/main_frame.h"
#include "shell/new_mail_notice.h"
#include "shell/receiver_picker.h"
#include "shell/task_hand_off.h"
#include "shell/tree_user.h"
#include "shell/write_letter.h"
#include "transport/letter_import.h"
#include "ui/composer_frame.h"
#include "ui/mail_viewer.h"
#include "ui/main_window.h"
#include "ui/task_window.h"
#include "ui/transfer_dialogs.h"
#include "ui/wx_tray_view.h"

class wxNotificationMessage;

namespace korvo {

class AddressBookFrame;
class AddressPanel;
class CertificateAcceptance;
class PersonEditor;
class ReceiverPicker;
struct MailtoLink;
class PostingLetterListener;
class WxCertificatePrompter;
class FilterFrame;
class FindFrame;
class TemplateFrame;
class WxListEvents;
class WxShellDialogs;
class WxTreeEvents;

struct DesktopOptions {
    // The program written into the autostart entry on the first run; empty: none is written.
    std::string autostartProgram;
    // The data directory the entry names (platform/autostart.h, AutostartDataDir); empty: none.
    std::string autostartDataDir;
    // Where the autostart entry goes (AutostartEntryPath() when empty).
    std::string autostartPath;
    // The settings file that keeps the window's place and splitters between runs; empty: none
    // is kept.
    std::string settingsFile;
    // Runs once the main window and the task window are gone (the program then ends).
    std::function<void()> onClosed;
    // Shows the new-mail notification (a desktop notification when not given).
    std::function<void(const NewMailNotice::Text&)> notify;
    // Replaces the composers' file dialog (tests).
    WxComposerDialogs::FileChooser composerFiles;
    // Replaces the file choosers of letters in and out (tests).
    TransferChooser transferFiles;
};

class Desktop : private CommandSink,
                private TraySink,
                private FrameWindows,
                private SecondaryWindows,
                private TreeUserHost,
                private LetterFrame,
                private TaskWindowOwner,
                private TaskQueue,
                private LetterListener,
                private ComposerHost {
  public:
    explicit Desktop(DesktopOptions options = {});
    ~Desktop() override;
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Opens the store, fills the tree, shows the window. False when the store cannot be opened
    // (a message has been shown).
    bool Start();
    // The exit path (tray "exit", a newer instance): leaves once a running task has ended.
    void Exit();
    bool exiting() const { return exiting_; }
    // Opens a composer for a mailto: link (shell/mailto.h), for the account of the tree's
    // selection or one the user chooses.
    // False when no composer opened (no account chosen, or the program is leaving).
    bool OpenMailto(const MailtoLink& link);
    // The composer windows open now.
    std::vector<ComposerFrame*> composers() const;
    // A task request of the command line (shell/task_hand_off.h), on the UI thread.
    void TakeTaskRequest(const std::string& request, std::shared_ptr<InstanceConnection> peer);
    // Imports mbox files, Maildir folders and .eml files into `box` (a Box node), for the File
    // menu and for files dropped onto the tree; says how many letters came in.
    void ImportLetterFiles(baseDataStruct* box, const std::vector<std::string>& paths);

    MainWindow& window() { return *window_; }
    CMainFrame& frame() { return *frame_; }
    CTreeUser& tree() { return *tree_; }
    CLetterList& letters() { return *letters_; }
    CDataStores& stores() { return stores_; }
    WxTrayView& trayView() { return *trayView_; }
    MailViewer& mailViewer() { return *mailViewer_; }
    // The address book window while it is open.
    AddressBookFrame* addressBook() const { return addressBook_.get(); }
    AddressPanel& addressPanel() { return *addressPanel_; }
    // The address selection dialog, for the composer and the filter editor.
    ReceiverPicker& receivers() { return *receivers_; }
    // The template window while it is open.
    TemplateFrame* templateWindow() const { return templates_.get(); }
    // The filter manager while it is open.
    FilterFrame* filterWindow() const { return filters_.get(); }
    // Find: opens the find window for the user of the tree's selection; shows a letter it
    // found in its box (ids of the box's and the letter's nodes).
    void OpenFind();
    void ShowFoundLetter(uint32_t boxId, uint32_t letterId);
    // The find window while it is open.
    FindFrame* findWindow() const { return find_.get(); }
    // The task window while it exists.
    class TaskWindow* taskWindow() const {
        return taskWindow_;
    }

  private:
    class Busy;

    template <class Visit>
    void ForEachBinding(Visit&& visit);
    void BindEvents();
    void UnbindEvents();
    void OnTrayTimer(wxTimerEvent& event);
    void OnCheckTimer(wxTimerEvent& event);
    void OnHandOffTimer(wxTimerEvent& event);
    void OnTreeSelection(wxTreeEvent& event);
    void OnTreeLeftDown(wxMouseEvent& event);
    void OnTreeDoubleClick(wxMouseEvent& event);
    void OnTreeExpanding(wxTreeEvent& event);
    void OnTreeStateImage(wxMouseEvent& event, bool doubleClick);
    void OnTreeContextMenu(wxContextMenuEvent& event);
    void OnListLeftDown(wxMouseEvent& event);
    void OnListSelection(wxListEvent& event);
    void OnListActivated(wxListEvent& event);
    void OnListKey(wxKeyEvent& event);
    void OnQuickSearch(wxCommandEvent& event);
    void OnQuickSearchKey(wxKeyEvent& event);
    void OnListContextMenu(wxContextMenuEvent& event);
    void OnFind(wxCommandEvent& event);
    // Drag and drop: the tree takes letters and files; the list starts letter drags.
    void SetUpTreeDrop();
    void OnListBeginDrag(wxListEvent& event);
    void FinishExit();
    void SaveLayout();

    // Letters in and out (the File menu, dropped files, the command line's requests).
    // Queues an import of `paths` into `box` in the task window; the task's id, none when it
    // cannot be queued. `done` gets the result on the worker thread.
    std::optional<uint32_t> QueueImport(baseDataStruct* box, const std::vector<std::string>& paths,
                                        std::function<void(const ImportResult&)> done = {})
        override;
    bool IsTransferEnabled(TransferCommand command);
    void RunTransfer(TransferCommand command);
    // The selected tree node when it is a box.
    baseDataStruct* SelectedBox();
    // Where the File menu imports to: the selected box, an account's receive box, or the box
    // the user chooses.
    baseDataStruct* ImportTarget();
    // One path from the chooser, or empty.
    std::string ChooseOnePath(TransferDialog dialog, const std::string& suggested);

    // CommandSink
    bool IsCommandEnabled(MenuCommand command) override;
    bool IsCommandChecked(MenuCommand command) override;
    void RunCommand(MenuCommand command) override;
    void CloseRequested() override;
    // TraySink
    void TrayCommand(FrameCommand command) override;
    bool IsTrayCommandEnabled(FrameCommand command) override;
    void TrayDoubleClick() override;
    // FrameWindows
    bool MainWindowVisible() override;
    void ShowMainWindow(bool show) override;
    CDlgRSMail* TaskWindow() override;
    CDlgRSMail* CreateTaskWindow(bool visible) override;
    void ShowTaskWindow(bool show) override;
    void ShowTrayMenu() override;
    void CloseMainFrame() override;
    // SecondaryWindows
    void OpenComposer(const ComposerRequest& request) override;
    void OpenAddressBook(const std::string& title) override;
    void OpenFilterManager(baseDataStruct* current) override;
    void OpenTemplates(const std::string& title) override;
    // TreeUserHost
    void RegisterAutostart() override;
    void RequestCreateUser() override;
    void ClearAddressView() override;
    std::function<bool(int)> ShowProgress(std::string_view title) override;
    // LetterFrame
    void OpenLetter(baseDataStruct* letter, int variant) override;
    void RefreshBoxLabel(baseDataStruct* box) override;
    void SelectTreeNode(baseDataStruct* node) override;
    // TaskWindowOwner
    void RaiseMailIndicator(int result) override;
    void TaskWindowClosed() override;
    void TaskEnded(uint32_t taskId, const std::vector<std::string>& cells) override;
    void CertificateRefused(const RefusedTask& task) override;
    // TaskQueue: the command line's requests
    bool CanQueue() override;
    std::optional<uint32_t> QueueTask(baseDataStruct* account, int type) override;
    // LetterListener: the receive worker's calls, on the UI thread (posted): letters and boxes
    // to the list, tray states to the frame.
    void ShowLetter(baseDataStruct* letter) override;
    void BoxChanged(baseDataStruct* box) override;
    void SetTrayState(int state) override;
    void RestoreTrayState() override;
    void FlagNewMail(baseDataStruct* box) override;
    void LetterArrived(baseDataStruct* box, const ArrivedLetter& letter) override;
    // ComposerHost
    void LetterChanged(baseDataStruct* letter) override;
    void LetterRemoved(baseDataStruct* box) override;
    void SendLetter(const SendRequest& request) override;
    // The composer window for `request`, with its first lines filled from a link when given.
    ComposerFrame* NewComposer(const ComposerRequest& request);

    DesktopOptions options_;
    NewMailNotice notice_;
    std::unique_ptr<wxNotificationMessage> shownNotice_;  // the last one shown
    std::unique_ptr<wxFileConfig> settings_;
    CDataStores stores_;
    MainWindow* window_ = nullptr;  // destroyed through wx
    class TaskWindow* taskWindow_ = nullptr;
    std::unique_ptr<CBaseTreeControl> treeControl_;
    std::unique_ptr<CBaseListControl> listControl_;
    std::unique_ptr<MailViewer> mailViewer_;
    wxWeakRef<TemplateFrame> templates_;
    wxWeakRef<FilterFrame> filters_;
    wxWeakRef<FindFrame> find_;
    std::unique_ptr<PersonEditor> personEditor_;
    std::unique_ptr<ReceiverPicker> receivers_;
    std::unique_ptr<AddressPanel> addressPanel_;
    wxWeakRef<AddressBookFrame> addressBook_;
    std::unique_ptr<WxShellDialogs> dialogs_;
    std::unique_ptr<CLetterList> letters_;
    std::unique_ptr<CTreeUser> tree_;
    std::unique_ptr<WxTrayView> trayView_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<PostingLetterListener> posting_;
    std::unique_ptr<WxTreeEvents> treeEvents_;
    std::unique_ptr<WxListEvents> listEvents_;
    std::unique_ptr<TaskHandOff> handOff_;
    std::unique_ptr<WxCertificatePrompter> certificatePrompter_;
    std::unique_ptr<CertificateAcceptance> certificates_;
    // The address book's selection for the composers' receiver buttons.
    std::vector<wxWeakRef<ComposerFrame>> composers_;
    wxTimer trayTimer_;
    wxTimer checkTimer_;
    wxTimer handOffTimer_;
    int busy_ = 0;
    bool exiting_ = false;
    bool closed_ = false;
};

}  // namespace korvo
