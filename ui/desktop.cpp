#include "ui/desktop.h"

#include <wx/choicdlg.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/notifmsg.h>
#include <wx/progdlg.h>
#include <wx/sound.h>
#include <wx/srchctrl.h>
#include <wx/taskbar.h>
#include <wx/utils.h>

#include <filesystem>
#include <mutex>
#include <system_error>

#include "filters/account_rules.h"
#include "platform/autostart.h"
#include "platform/model_lock.h"
#include "platform/string_format.h"
#include "shell/mail_indicator.h"
#include "shell/mail_transfer_command.h"
#include "shell/mailto.h"
#include "store/diag_log.h"
#include "store/node_tree.h"
#include "tarnel/tarnel.h"
#include "transport/letter_export.h"
#include "transport/letter_import.h"
#include "transport/task_work.h"
#include "ui/address_book_frame.h"
#include "ui/address_panel.h"
#include "ui/address_picker_dialog.h"
#include "ui/certificate_dialog.h"
#include "ui/composer_frame.h"
#include "ui/filter_frame.h"
#include "ui/find_frame.h"
#include "ui/posting_letter_listener.h"
#include "ui/settings_dialogs.h"
#include "ui/template_frame.h"
#include "ui/window_layout.h"
#include "ui/wx_control_events.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

ContextMenu ContextMenuOf(TreeMenu menu) {
    switch (menu) {
        case TreeMenu::kSystem:
            return ContextMenu::kSystem;
        case TreeMenu::kUser:
            return ContextMenu::kUser;
        case TreeMenu::kAccount:
            return ContextMenu::kAccount;
        default:
            return ContextMenu::kBox;
    }
}

// A filter rule's Voice, with wx's sound support. Where it cannot play (no sound support or
// device, a format it does not know) that is logged once.
void PlayVoice(const std::string& file) {
#if wxUSE_SOUND
    wxLogNull quiet;  // a failure is logged below, not shown in a dialog
    if (wxSound::Play(WxFromBytes(file), wxSOUND_ASYNC)) return;
#endif
    static bool told = false;
    if (told) return;
    told = true;
    LogLine(1, "filter rules: the sound %s cannot be played here", file.c_str());
}

}  // namespace

// Marks the logic as running: widget notifications meanwhile are its own doing.
class Desktop::Busy {
  public:
    explicit Busy(Desktop& desktop) : desktop_(desktop) { ++desktop_.busy_; }
    ~Busy() { --desktop_.busy_; }

  private:
    Desktop& desktop_;
};

Desktop::Desktop(DesktopOptions options) : options_(std::move(options)) {
    // Private bases convert here, inside the class.
    CommandSink& sink = *this;
    LetterFrame& letterFrame = *this;
    TreeUserHost& host = *this;
    TraySink& traySink = *this;
    FrameWindows& windows = *this;
    SecondaryWindows& secondary = *this;
    LetterListener& listener = *this;

    window_ = new MainWindow(sink);
    treeControl_ = std::make_unique<CBaseTreeControl>(window_->userTree());
    listControl_ = std::make_unique<CBaseListControl>(window_->letterList());
    // A mailto: link clicked in a letter opens a composer here; other links go to the browser.
    auto links = [this](const wxString& url) {
        const std::string link = BytesFromWx(url);
        if (!IsMailtoLink(link)) {
            wxLaunchDefaultBrowser(url);
            return;
        }
        if (const std::optional<MailtoLink> parsed = ParseMailto(link)) OpenMailto(*parsed);
    };
    mailViewer_ = std::make_unique<MailViewer>(window_->viewerPlace(), window_->attachmentList(),
                                               stores_.sys(), links);
    LetterViewer& viewer = mailViewer_->viewer();
    dialogs_ = std::make_unique<WxShellDialogs>(window_, &stores_.sys());
    letters_ = std::make_unique<CLetterList>(*listControl_, stores_.sys(), viewer, letterFrame);
    mailViewer_->viewer().SetShownBoxSource(
        [this] { return letters_ ? letters_->shownBox() : nullptr; });
    tree_ = std::make_unique<CTreeUser>(stores_, *treeControl_, *letters_, *dialogs_, host);
    trayView_ = std::make_unique<WxTrayView>(traySink);
    frame_ = std::make_unique<CMainFrame>(stores_.sys(), *tree_, *letters_, viewer, windows,
                                          secondary, *trayView_);
    posting_ = std::make_unique<PostingLetterListener>(
        listener, [this](uint32_t id) { return findid(stores_.mail().root(), id); },
        [this](uint32_t id) { return findid(stores_.sys().root(), id); }, window_);
    treeEvents_ = std::make_unique<WxTreeEvents>(window_->userTree(), *treeControl_);
    listEvents_ = std::make_unique<WxListEvents>(window_->letterList(), *listControl_);
    TaskQueue& queue = *this;
    handOff_ = std::make_unique<TaskHandOff>(stores_.sys(), queue);
    certificatePrompter_ = std::make_unique<WxCertificatePrompter>(window_);
    personEditor_ = std::make_unique<LibraryPersonEditor>(&DlgModel, &TarnelFreeText);
    receivers_ = std::make_unique<WxReceiverPicker>(window_, stores_.sys(), *personEditor_);
    addressPanel_ =
        std::make_unique<AddressPanel>(window_->addressPlace(), stores_.sys(), secondary);
    certificates_ = std::make_unique<CertificateAcceptance>(
        stores_.sys(), *certificatePrompter_,
        [this](baseDataStruct* account, int type, const std::string& list) {
            frame_->QueueTask(account, type, list, true);
        });
    BindEvents();
    SetUpTreeDrop();
}

Desktop::~Desktop() {
    trayTimer_.Stop();
    checkTimer_.Stop();
    handOffTimer_.Stop();
    // Waiting command lines hear the end before the tasks go.
    handOff_.reset();
    // A task window still open here belongs to a test or an aborted start; its destructor
    // waits for the running task, which needs the stores below.
    if (taskWindow_) {
        taskWindow_->engine().Cancel();
        delete taskWindow_;
        taskWindow_ = nullptr;
    }
    certificates_.reset();
    certificatePrompter_.reset();
    // The template, filter, address book and composer windows work on the stores: they go
    // before them.
    delete templates_.get();
    delete filters_.get();
    delete find_.get();  // waits for its search, which reads the stores
    delete addressBook_.get();
    addressPanel_.reset();
    for (const wxWeakRef<ComposerFrame>& composer : composers_) delete composer.get();
    composers_.clear();
    if (window_) {
        UnbindEvents();
        window_->userTree().control()->SetDropTarget(nullptr);  // it refers to the tree logic
    }
    treeEvents_.reset();
    listEvents_.reset();
    posting_.reset();
    if (trayView_) trayView_->Remove();
    frame_.reset();
    tree_.reset();
    letters_.reset();
    trayView_.reset();
    dialogs_.reset();
    mailViewer_.reset();
    listControl_.reset();
    treeControl_.reset();
    if (window_) {
        // The window goes at the next idle time; until then it must not call back into us.
        static NullCommandSink none;
        window_->SetSink(none);
        window_->DeletePendingEvents();
        window_->Destroy();
    }
}

// Bound to widgets and timers the window owns; unbound before this object goes, since the
// window itself is destroyed later, at idle time.
template <class Visit>
void Desktop::ForEachBinding(Visit&& visit) {
    wxTreeCtrl* tree = window_->userTree().control();
    visit(tree, wxEVT_TREE_SEL_CHANGED, &Desktop::OnTreeSelection, wxID_ANY);
    visit(tree, wxEVT_TREE_ITEM_EXPANDING, &Desktop::OnTreeExpanding, wxID_ANY);
    visit(tree, wxEVT_TREE_ITEM_COLLAPSING, &Desktop::OnTreeExpanding, wxID_ANY);
    visit(tree, wxEVT_LEFT_DOWN, &Desktop::OnTreeLeftDown, wxID_ANY);
    visit(tree, wxEVT_LEFT_DCLICK, &Desktop::OnTreeDoubleClick, wxID_ANY);
    visit(tree, wxEVT_CONTEXT_MENU, &Desktop::OnTreeContextMenu, wxID_ANY);
    wxListCtrl* list = window_->letterList().control();
    visit(list, wxEVT_LEFT_DOWN, &Desktop::OnListLeftDown, wxID_ANY);
    visit(list, wxEVT_LIST_ITEM_SELECTED, &Desktop::OnListSelection, wxID_ANY);
    visit(list, wxEVT_LIST_ITEM_ACTIVATED, &Desktop::OnListActivated, wxID_ANY);
    visit(list, wxEVT_CONTEXT_MENU, &Desktop::OnListContextMenu, wxID_ANY);
    visit(list, wxEVT_KEY_DOWN, &Desktop::OnListKey, wxID_ANY);
    visit(list, wxEVT_LIST_BEGIN_DRAG, &Desktop::OnListBeginDrag, wxID_ANY);
    wxSearchCtrl* search = window_->quickSearchField();
    visit(search, wxEVT_TEXT, &Desktop::OnQuickSearch, wxID_ANY);
    visit(search, wxEVT_SEARCHCTRL_CANCEL_BTN, &Desktop::OnQuickSearch, wxID_ANY);
    visit(search, wxEVT_CHAR_HOOK, &Desktop::OnQuickSearchKey, wxID_ANY);
    visit(window_, wxEVT_MENU, &Desktop::OnFind, MainWindow::kFindId);
    visit(window_, wxEVT_TIMER, &Desktop::OnTrayTimer, trayTimer_.GetId());
    visit(window_, wxEVT_TIMER, &Desktop::OnCheckTimer, checkTimer_.GetId());
    visit(window_, wxEVT_TIMER, &Desktop::OnHandOffTimer, handOffTimer_.GetId());
}

void Desktop::BindEvents() {
    trayTimer_.SetOwner(window_);
    checkTimer_.SetOwner(window_);
    handOffTimer_.SetOwner(window_);
    ForEachBinding([this](wxEvtHandler* source, const auto& type, auto handler, int id) {
        source->Bind(type, handler, this, id);
    });
}

void Desktop::UnbindEvents() {
    ForEachBinding([this](wxEvtHandler* source, const auto& type, auto handler, int id) {
        source->Unbind(type, handler, this, id);
    });
}

void Desktop::OnTrayTimer(wxTimerEvent&) {
    if (closed_) return;
    frame_->OnTrayTimer();
    letters_->OnTimer();
}

void Desktop::OnCheckTimer(wxTimerEvent&) {
    if (!closed_ && !exiting_) frame_->OnCheckTimer();
}

// Runs while command lines wait for their tasks, the exit path included.
void Desktop::OnHandOffTimer(wxTimerEvent&) {
    handOff_->KeepAlive();
    if (!handOff_->open()) handOffTimer_.Stop();
}

// ---- letters in and out ---------------------------------------------------------------------

void Desktop::ImportLetterFiles(baseDataStruct* box, const std::vector<std::string>& paths) {
    QueueImport(box, paths);
}

std::optional<uint32_t> Desktop::QueueImport(baseDataStruct* box,
                                             const std::vector<std::string>& paths,
                                             std::function<void(const ImportResult&)> done) {
    Lock lock(ModelLock());
    if (!box || paths.empty() || closed_ || exiting_) return std::nullopt;
    // While the program sits in the tray the task window stays out of sight, as for receiving.
    const bool show = window_->IsShown();
    CDlgRSMail* engine = TaskWindow();
    if (engine) {
        if (show) ShowTaskWindow(true);
    } else if (!(engine = CreateTaskWindow(show))) {
        return std::nullopt;
    }
    baseDataStruct* user = stores_.sys().DataGetSysPoint(box, kKindUser);
    const std::string caption = getinfo(box, kThisNode, "caption") + " [" +
                                getinfo(user, kThisNode, "caption") + "]";
    // The count goes to the status bar too, where it stays once the task window has gone.
    auto finished = [this, done = std::move(done)](const ImportResult& result) {
        if (done) done(result);
        window_->CallAfter([this, text = ImportSummary(result)] {
            if (!closed_) window_->SetStatusText(WxFromBytes(text));
        });
    };
    baseDataStruct* task = engine->AddJob(
        kImportTaskName, caption,
        MakeImportJob(stores_, box->nodeId(), paths, posting_.get(), std::move(finished)));
    return task->nodeId();
}

bool Desktop::IsTransferEnabled(TransferCommand command) {
    switch (command) {
        case TransferCommand::kImportLetters:
            return true;
        case TransferCommand::kExportBox:
            return SelectedBox() != nullptr;
        case TransferCommand::kSaveLetter:
            return letters_->currentLetter() != nullptr;
    }
    return false;
}

baseDataStruct* Desktop::SelectedBox() {
    baseDataStruct* node = tree_->selectedNode();
    return node && getinfo(node, kThisNode, "type") == "Box" ? node : nullptr;
}

baseDataStruct* Desktop::ImportTarget() {
    if (baseDataStruct* box = SelectedBox()) return box;
    baseDataStruct* node = tree_->selectedNode();
    if (node && getinfo(node, kThisNode, "type") == "Account")
        return stores_.sys().DataGetSysPoint(node, kKindBox, kBoxReceive);
    const std::vector<NamedBox> boxes = ListBoxPaths(stores_.sys());
    if (boxes.empty()) {
        window_->SetStatusText("Letters are imported into a box: create an account first.");
        return nullptr;
    }
    wxArrayString paths;
    for (const NamedBox& named : boxes) paths.Add(WxFromBytes(named.path));
    wxSingleChoiceDialog ask(window_, "Import the letters into the box", "Import letters", paths);
    if (ask.ShowModal() != wxID_OK || ask.GetSelection() < 0) return nullptr;
    // The dialog's own loop ran: the box is looked up again.
    std::string error;
    return FindBoxByPath(stores_.sys(), BytesFromWx(ask.GetStringSelection()), &error);
}

std::string Desktop::ChooseOnePath(TransferDialog dialog, const std::string& suggested) {
    const std::vector<std::string> chosen =
        ChooseTransferPaths(options_.transferFiles, window_, dialog, suggested);
    return chosen.empty() ? std::string() : chosen.front();
}

void Desktop::RunTransfer(TransferCommand command) {
    switch (command) {
        case TransferCommand::kImportLetters: {
            baseDataStruct* box = ImportTarget();
            if (!box) return;
            const uint32_t boxId = box->nodeId();
            const std::vector<std::string> paths =
                ChooseTransferPaths(options_.transferFiles, window_, TransferDialog::kImportLetters,
                                    std::string());
            // Deleted while the dialog was open: nothing to import into.
            box = findid(stores_.sys().root(), boxId);
            if (box && !paths.empty()) QueueImport(box, paths);
            return;
        }
        case TransferCommand::kExportBox: {
            baseDataStruct* box = SelectedBox();
            if (!box) return;
            const uint32_t boxId = box->nodeId();
            const std::string path = ChooseOnePath(
                TransferDialog::kExportBox, getinfo(box, kThisNode, "caption") + ".mbox");
            box = findid(stores_.sys().root(), boxId);
            if (!box || path.empty()) return;
            wxBusyCursor busy;
            const ExportResult result = ExportBox(stores_.sys(), box, path);
            if (!result.ok) {
                wxMessageBox(WxFromBytes("The box was not exported: " + result.error), "Korvo",
                             wxOK | wxICON_WARNING, window_);
                return;
            }
            window_->SetStatusText(WxFromBytes(
                StrPrintf("%ld %s exported.", result.written,
                          result.written == 1 ? "letter" : "letters")));
            return;
        }
        case TransferCommand::kSaveLetter: {
            baseDataStruct* letter = letters_->currentLetter();
            if (!letter) return;
            const uint32_t letterId = letter->nodeId();
            const std::string path = ChooseOnePath(TransferDialog::kSaveLetter, "letter.eml");
            letter = findid(stores_.mail().root(), letterId);
            if (!letter || path.empty()) return;
            wxBusyCursor busy;
            const ExportResult result = SaveLetterAs(stores_.sys(), letter, path);
            if (!result.ok) {
                wxMessageBox(WxFromBytes("The letter was not saved: " + result.error), "Korvo",
                             wxOK | wxICON_WARNING, window_);
            }
            return;
        }
    }
}

void Desktop::TakeTaskRequest(const std::string& request,
                              std::shared_ptr<InstanceConnection> peer) {
    Lock lock(ModelLock());
    auto open = [this](const std::string& link) {
        const std::optional<MailtoLink> parsed =
            link.size() <= kMaxMailtoLink ? ParseMailto(link) : std::nullopt;
        return parsed && OpenMailto(*parsed);
    };
    if (peer && AnswerMailtoRequest(request, *peer, open)) return;
    Busy busy(*this);
    handOff_->Take(request, std::move(peer));
    if (handOff_->open() && !handOffTimer_.IsRunning())
        handOffTimer_.Start(TaskHandOff::kKeepAliveMs);
}

bool Desktop::Start() {
    Lock lock(ModelLock());
    Busy busy(*this);
    frame_->OnCreate();
    if (!tree_->InitialUpdate()) {
        wxMessageBox(WxFromBytes(StrPrintf("The mail store %s could not be opened.",
                                           std::string(kSystemStoreFile).c_str())),
                     "Korvo", wxOK | wxICON_ERROR);
        return false;
    }
    letters_->InitialUpdate();
    addressPanel_->OnCurrentNodeChanged(tree_->selectedNode());
    trayTimer_.Start(kTrayTimerMs);
    checkTimer_.Start(kCheckTimerMs);
    if (!options_.settingsFile.empty()) {
        std::error_code error;
        std::filesystem::create_directories(
            std::filesystem::path(options_.settingsFile).parent_path(), error);
        settings_ = std::make_unique<wxFileConfig>("korvo", wxEmptyString,
                                                   WxFromBytes(options_.settingsFile),
                                                   wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
        RestoreWindowLayout(*window_, *settings_);
    }
    window_->Show();
    window_->Raise();
    return true;
}

// ---- widget events ------------------------------------------------------------------------

void Desktop::OnTreeSelection(wxTreeEvent& event) {
    event.Skip();
    if (busy_ || closed_) return;
    Busy busy(*this);
    tree_->OnSelectionChanged(WxTreeView::FromWx(event.GetItem()));
    // Another box has no search yet.
    if (letters_->quickSearch().empty()) window_->quickSearchField()->ChangeValue(wxString());
    addressPanel_->OnCurrentNodeChanged(tree_->selectedNode());
}

void Desktop::OnTreeExpanding(wxTreeEvent& event) {
    if (busy_ || closed_) return;
    Busy busy(*this);
    const bool expanding = event.GetEventType() == wxEVT_TREE_ITEM_EXPANDING;
    if (!tree_->OnItemExpanding(WxTreeView::FromWx(event.GetItem()), expanding)) event.Veto();
}

void Desktop::OnTreeLeftDown(wxMouseEvent& event) {
    OnTreeStateImage(event, false);
}

void Desktop::OnTreeDoubleClick(wxMouseEvent& event) {
    OnTreeStateImage(event, true);
}

void Desktop::OnTreeStateImage(wxMouseEvent& event, bool doubleClick) {
    event.Skip();
    if (busy_ || closed_) return;
    int flags = 0;
    const wxTreeItemId id = window_->userTree().control()->HitTest(event.GetPosition(), flags);
    if (!id.IsOk() || !(flags & wxTREE_HITTEST_ONITEMSTATEICON)) return;
    Busy busy(*this);
    tree_->OnStateImageClick(WxTreeView::FromWx(id), doubleClick);
}

void Desktop::OnTreeContextMenu(wxContextMenuEvent& event) {
    if (busy_ || closed_) return;
    wxTreeCtrl* tree = window_->userTree().control();
    wxPoint point = event.GetPosition();
    point = point == wxDefaultPosition ? wxPoint(0, 0) : tree->ScreenToClient(point);
    TreeMenu menu;
    {
        Busy busy(*this);
        menu = tree_->OnRightClick({point.x, point.y}, SteadyMs());
    }
    if (menu != TreeMenu::kNone) window_->PopupContextMenu(ContextMenuOf(menu));
}

void Desktop::OnListLeftDown(wxMouseEvent& event) {
    event.Skip();
    if (busy_ || closed_) return;
    int flags = 0;
    const long row = window_->letterList().control()->HitTest(event.GetPosition(), flags);
    Busy busy(*this);
    frame_->OnLetterListClick(row >= 0 ? int(row) : -1);
}

void Desktop::OnListSelection(wxListEvent& event) {
    event.Skip();
    if (busy_ || closed_) return;
    Busy busy(*this);
    letters_->OnSelectionChanged(int(event.GetIndex()));
}

void Desktop::OnListActivated(wxListEvent& event) {
    event.Skip();
    if (busy_ || closed_) return;
    Busy busy(*this);
    letters_->OnDoubleClick();
}

void Desktop::OnQuickSearch(wxCommandEvent& event) {
    if (busy_ || closed_) return;
    Busy busy(*this);
    wxSearchCtrl* field = window_->quickSearchField();
    if (event.GetEventType() == wxEVT_SEARCHCTRL_CANCEL_BTN) field->ChangeValue(wxString());
    letters_->SetQuickSearch(BytesFromWx(field->GetValue()));
}

void Desktop::OnQuickSearchKey(wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_ESCAPE) {
        event.Skip();
        return;
    }
    if (busy_ || closed_) return;
    Busy busy(*this);
    window_->quickSearchField()->ChangeValue(wxString());
    letters_->SetQuickSearch("");
}

void Desktop::OnListKey(wxKeyEvent& event) {
    // Delete in the list (not a menu shortcut: the search field needs the key for its text).
    if (event.GetKeyCode() != WXK_DELETE || event.HasModifiers() || busy_ || closed_) {
        event.Skip();
        return;
    }
    Busy busy(*this);
    if (frame_->IsMailCommandEnabled(kCmdDelete)) frame_->OnMailCommand(kCmdDelete);
}

void Desktop::OnListContextMenu(wxContextMenuEvent&) {
    if (busy_ || closed_) return;
    if (letters_->askMenuState("HaveBox")) window_->PopupContextMenu(ContextMenu::kMail);
}

// ---- commands ------------------------------------------------------------------------------

bool Desktop::IsCommandEnabled(MenuCommand command) {
    if (exiting_) return false;
    switch (command.set) {
        case CommandSet::kTree:
            return frame_->IsTreeCommandEnabled(TreeCommand(command.command));
        case CommandSet::kFrame:
            return frame_->IsCommandEnabled(command.command);
        case CommandSet::kLetter:
            return frame_->IsMailCommandEnabled(command.command);
        case CommandSet::kTransfer:
            return IsTransferEnabled(TransferCommand(command.command));
        case CommandSet::kNone:
            break;
    }
    return false;
}

bool Desktop::IsCommandChecked(MenuCommand command) {
    if (closed_) return false;
    switch (command.set) {
        case CommandSet::kTree:
            return frame_->IsTreeCommandChecked(TreeCommand(command.command));
        case CommandSet::kFrame:
            return frame_->IsCommandChecked(command.command);
        case CommandSet::kLetter:
            return frame_->IsMailCommandChecked(command.command);
        case CommandSet::kTransfer:
        case CommandSet::kNone:
            break;
    }
    return false;
}

void Desktop::RunCommand(MenuCommand command) {
    if (closed_ || !IsCommandEnabled(command)) return;
    Busy busy(*this);
    switch (command.set) {
        case CommandSet::kTree:
            frame_->OnTreeCommand(TreeCommand(command.command));
            break;
        case CommandSet::kFrame:
            frame_->OnCommand(command.command);
            break;
        case CommandSet::kLetter:
            frame_->OnMailCommand(command.command);
            break;
        case CommandSet::kTransfer:
            RunTransfer(TransferCommand(command.command));
            break;
        case CommandSet::kNone:
            break;
    }
}

void Desktop::CloseRequested() {
    if (closed_) return;
    // Without a notification area a hidden window could never be shown again: closing it
    // then leaves the program.
    if (!wxTaskBarIcon::IsAvailable()) {
        frame_->Exit();
        return;
    }
    SaveLayout();
    frame_->OnClose();
}

void Desktop::TrayCommand(FrameCommand command) {
    if (closed_) return;
    Busy busy(*this);
    frame_->OnCommand(command);
}

bool Desktop::IsTrayCommandEnabled(FrameCommand command) {
    return !closed_ && frame_->IsCommandEnabled(command);
}

void Desktop::TrayDoubleClick() {
    if (closed_) return;
    frame_->OnTrayDoubleClick();
}

// ---- the frame's windows -------------------------------------------------------------------

bool Desktop::MainWindowVisible() {
    return window_->IsShown();
}

void Desktop::ShowMainWindow(bool show) {
    if (show && window_->IsIconized()) window_->Iconize(false);
    window_->Show(show);
    if (show) window_->Raise();
}

// While leaving, no task is queued any more: the task window is as good as gone.
CDlgRSMail* Desktop::TaskWindow() {
    return taskWindow_ && !exiting_ ? &taskWindow_->engine() : nullptr;
}

CDlgRSMail* Desktop::CreateTaskWindow(bool visible) {
    if (exiting_) return nullptr;
    if (taskWindow_) return &taskWindow_->engine();
    TaskWindowOwner& owner = *this;
    taskWindow_ = new class TaskWindow(
        window_,
        MakeTaskWork(stores_,
                     MakeReceiveRunner(stores_, *posting_, AccountRulesSource(stores_.sys()))),
        MakeAccountLookup(stores_), visible, &owner);
    return &taskWindow_->engine();
}

void Desktop::ShowTaskWindow(bool show) {
    if (!taskWindow_) return;
    taskWindow_->Show(show);
    if (show) taskWindow_->Raise();
}

void Desktop::ShowTrayMenu() {
    std::unique_ptr<wxMenu> menu(trayView_->MakeMenu());
    trayView_->icon().PopupMenu(menu.get());
}

void Desktop::CloseMainFrame() {
    Exit();
}

void Desktop::Exit() {
    if (exiting_) return;
    exiting_ = true;
    LogLine(2, "Korvo exits");
    checkTimer_.Stop();
    trayTimer_.Stop();
    if (window_->IsShown()) SaveLayout();
    window_->Hide();
    if (templates_) templates_->Hide();
    if (filters_) filters_->Hide();
    if (addressBook_) addressBook_->Hide();
    if (taskWindow_) {
        // The window closes itself once the running task has given up; then we leave.
        taskWindow_->Hide();
        taskWindow_->engine().Cancel();
        taskWindow_->engine().RequestClose();
        return;
    }
    window_->CallAfter([this] {
        Lock lock(ModelLock());
        FinishExit();
    });
}

void Desktop::SaveLayout() {
    if (settings_) SaveWindowLayout(*window_, *settings_);
}

void Desktop::FinishExit() {
    if (closed_) return;
    closed_ = true;
    handOff_->TasksDropped("Korvo is closing");
    trayTimer_.Stop();
    trayView_->Remove();
    if (options_.onClosed) options_.onClosed();
}

void Desktop::OpenComposer(const ComposerRequest& request) {
    NewComposer(request);
}

ComposerFrame* Desktop::NewComposer(const ComposerRequest& request) {
    if (closed_ || exiting_) return nullptr;
    std::erase_if(composers_, [](const wxWeakRef<ComposerFrame>& c) { return !c; });
    ComposerHost& host = *this;
    auto* composer = new ComposerFrame(window_, request.title, stores_.sys(), *receivers_, host,
                                       options_.composerFiles);
    if (!composer->Start(request)) return nullptr;  // it closes itself
    composers_.emplace_back(composer);
    return composer;
}

bool Desktop::OpenMailto(const MailtoLink& link) {
    Lock lock(ModelLock());
    ComposerRequest request;
    request.mode = kModeNew;
    request.title = "Write Mail";
    request.node = tree_->selectedNode();
    request.receiver = link.to;
    ComposerFrame* composer = NewComposer(request);
    if (!composer) return false;
    composer->SetLine(ComposerLine::kCc, link.cc);
    composer->SetLine(ComposerLine::kSubject, link.subject);
    if (!link.body.empty()) composer->text().SetText(link.body);
    return true;
}

std::vector<ComposerFrame*> Desktop::composers() const {
    std::vector<ComposerFrame*> open;
    for (const wxWeakRef<ComposerFrame>& composer : composers_)
        if (composer) open.push_back(composer.get());
    return open;
}

// ---- the composers' host -------------------------------------------------------------------

void Desktop::LetterChanged(baseDataStruct* letter) {
    if (closed_) return;
    Busy busy(*this);
    letters_->ShowLetter(letter);
}

void Desktop::LetterRemoved(baseDataStruct* box) {
    if (closed_ || letters_->shownBox() != box) return;
    Busy busy(*this);
    letters_->showList(box);
}

void Desktop::SendLetter(const SendRequest& request) {
    // Once the composer has gone: the task window may open over the main window.
    window_->CallAfter([this, boxId = request.boxId] {
        Lock lock(ModelLock());
        if (closed_ || exiting_) return;
        Busy busy(*this);
        frame_->SendForBox(boxId);
    });
}

void Desktop::OpenAddressBook(const std::string& title) {
    addressBook_ =
        OpenAddressBookWindow(window_, title, stores_.sys(), *personEditor_, tree_->selectedNode(),
                              options_.transferFiles);
    if (!addressBook_)
        window_->SetStatusText("Select a user or an account to see its address books.");
}

void Desktop::OpenFilterManager(baseDataStruct* current) {
    // No address selection dialog is given yet: a forward's receivers are typed.
    filters_ = OpenFilterWindow(window_, stores_.sys(), current, receivers_.get());
    if (!filters_) window_->SetStatusText("Select a user, an account or a box to see its filters.");
}

void Desktop::OpenTemplates(const std::string&) {
    baseDataStruct* node = tree_->selectedNode();
    templates_ = OpenTemplateWindow(window_, stores_.sys(), node);
    if (!templates_)
        window_->SetStatusText("Select a user, an account or a box to see its templates.");
}

// ---- the tree's host -----------------------------------------------------------------------

void Desktop::RegisterAutostart() {
    if (options_.autostartProgram.empty()) return;
    const std::string path =
        options_.autostartPath.empty() ? AutostartEntryPath() : options_.autostartPath;
    std::string error;
    if (!WriteAutostartEntry(path, options_.autostartProgram, options_.autostartDataDir,
                             &error)) {
        LogLine(1, "autostart entry %s not written: %s", path.c_str(), error.c_str());
    }
}

void Desktop::RequestCreateUser() {
    // After the start has finished, so the dialog opens over the shown window.
    window_->CallAfter([this] {
        Lock lock(ModelLock());
        if (closed_ || exiting_) return;
        Busy busy(*this);
        frame_->OnCommand(FrameCommand::kCreateUser);
    });
}

void Desktop::ClearAddressView() {
    addressPanel_->Clear();
}

std::function<bool(int)> Desktop::ShowProgress(std::string_view title) {
    if (closed_) return {};
    auto dialog = std::make_shared<wxProgressDialog>(
        WxFromBytes(title), wxString(), 100, window_,
        wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_AUTO_HIDE | wxPD_ELAPSED_TIME);
    return [dialog](int percent) { return dialog->Update(percent); };
}

// ---- the letter list's frame ---------------------------------------------------------------

void Desktop::OpenLetter(baseDataStruct* letter, int variant) {
    frame_->OpenLetter(letter, variant);
}

void Desktop::RefreshBoxLabel(baseDataStruct* box) {
    tree_->RefreshNodeLabel(box);
}

void Desktop::SelectTreeNode(baseDataStruct* node) {
    Busy busy(*this);
    tree_->SelectNode(node);
}

// ---- the task window and the worker --------------------------------------------------------

void Desktop::RaiseMailIndicator(int result) {
    if (closed_) return;
    frame_->RaiseMailIndicator(result);
    // The tasks have ended: one notification for all the letters they brought.
    const NewMailNotice::Text text = notice_.Take();
    if (text.playIcon) frame_->SetTrayState(TrayStateForIndicator(2));
    for (const std::string& file : text.voices) PlayVoice(file);
    if (text.title.empty()) return;
    if (options_.notify) {
        options_.notify(text);
        return;
    }
    shownNotice_ = std::make_unique<wxNotificationMessage>(WxFromBytes(text.title),
                                                           WxFromBytes(text.body), window_);
    shownNotice_->Show(wxNotificationMessage::Timeout_Auto);
}

void Desktop::TaskWindowClosed() {
    taskWindow_ = nullptr;
    handOff_->TasksDropped(exiting_ ? "Korvo is closing" : "the task window was closed");
    if (!exiting_) return;
    window_->CallAfter([this] {
        Lock lock(ModelLock());
        FinishExit();
    });
}

void Desktop::TaskEnded(uint32_t taskId, const std::vector<std::string>& cells) {
    handOff_->TaskEnded(taskId, cells);
}

void Desktop::CertificateRefused(const RefusedTask& task) {
    // Asked once the task window's tick is over, and without the model lock, so that the
    // engine is not re-entered and other tasks go on while the user reads.
    window_->CallAfter([this, task] {
        if (closed_ || exiting_) return;
        certificates_->Offer(task);
    });
}

bool Desktop::CanQueue() {
    return !closed_ && !exiting_;
}

// As the tool bar's command does; a task already waiting for the account is shared.
std::optional<uint32_t> Desktop::QueueTask(baseDataStruct* account, int type) {
    const std::string none(kAbsent);
    baseDataStruct* task = frame_->QueueTask(account, type, none, true);
    if (!task && taskWindow_) task = taskWindow_->engine().PendingTask(account, type, none);
    if (!task) return std::nullopt;
    return task->nodeId();
}

void Desktop::ShowLetter(baseDataStruct* letter) {
    if (closed_) return;
    Busy busy(*this);
    letters_->ShowLetter(letter);
}

void Desktop::BoxChanged(baseDataStruct* box) {
    if (closed_) return;
    Busy busy(*this);
    letters_->BoxChanged(box);
}

void Desktop::SetTrayState(int state) {
    if (!closed_) frame_->SetTrayState(state);
}

void Desktop::RestoreTrayState() {
    if (!closed_) frame_->RestoreTrayState();
}

void Desktop::LetterArrived(baseDataStruct* box, const ArrivedLetter& letter) {
    if (closed_) return;
    if (NewMailNoticeWanted(stores_.sys().DataGetSysPoint(box, kKindUser)))
        notice_.Arrived(letter.sender);
    notice_.RulesAsked(letter);
}

void Desktop::FlagNewMail(baseDataStruct* box) {
    if (closed_) return;
    Busy busy(*this);
    letters_->FlagNewMail(box);
}

}  // namespace korvo
