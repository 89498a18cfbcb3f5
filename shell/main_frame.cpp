#include "shell/main_frame.h"

#include <mutex>

#include "model/sys_schema.h"
#include "platform/data_dir.h"
#include "platform/model_lock.h"
#include "platform/private_file.h"
#include "shell/attachment_list.h"
#include "shell/mail_indicator.h"
#include "shell/mail_page.h"
#include "shell/template_window.h"
#include "store/node_tree.h"
#include "transport/task_engine.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr std::string_view kShowTextByWeb = "ShowTextByWEB";

}  // namespace

CMainFrame::CMainFrame(CSysData& sys, UserTree& tree, CLetterList& letters, LetterViewer& viewer,
                       FrameWindows& windows, SecondaryWindows& secondary, TrayView& tray)
    : sys_(sys),
      tree_(tree),
      letters_(letters),
      viewer_(viewer),
      windows_(windows),
      secondary_(secondary),
      tray_(tray),
      check_(sys, [this](baseDataStruct* account) {
          QueueTask(account, kTaskReceive, std::string(kAbsent), false);
      }) {}

void CMainFrame::OnCreate() {
    MailIndicator::Clear();
    tray_.SetState(0);
    tray_.Tick();
}

bool CMainFrame::OnCommand(int command) {
    Lock lock(ModelLock());
    if (!IsCommandEnabled(command)) return false;
    switch (static_cast<FrameCommand>(command)) {
        case FrameCommand::kReceive:
            QueueForSelection(kTaskReceive);
            break;
        case FrameCommand::kPreview:
            QueueForSelection(kTaskPreview);
            break;
        case FrameCommand::kSend:
            QueueForSelection(kTaskSend);
            break;
        case FrameCommand::kReceiveAndDelete:
            QueueSelectedLetters(kTaskReceive);
            break;
        case FrameCommand::kReceiveLetter:
            QueueSelectedLetters(kTaskReceiveList);
            break;
        case FrameCommand::kDeleteLetter:
            QueueSelectedLetters(kTaskDelete);
            break;
        case FrameCommand::kNew:
            OpenComposer(4, 0, "Write Mail", nullptr);
            break;
        case FrameCommand::kBack:
            // The button answers the sender and the copies, like its first drop-down item.
            OpenComposer(5, 1, "WriteBack Mail", letters_.currentLetter());
            break;
        case FrameCommand::kWriteBackAll:
        case FrameCommand::kWriteBackSender:
        case FrameCommand::kWriteBackCc: {
            baseDataStruct* letter = letters_.currentLetter();
            if (!tree_.selectedNode() || !letter) break;
            const int variant = command == static_cast<int>(FrameCommand::kWriteBackAll)      ? 1
                                : command == static_cast<int>(FrameCommand::kWriteBackSender) ? 2
                                                                                              : 3;
            OpenComposer(5, variant, "WriteBack", letter);
            break;
        }
        case FrameCommand::kForward:
            OpenComposer(6, 0, "Forward Mail", letters_.currentLetter());
            break;
        case FrameCommand::kUserProperty:
            tree_.RunCommand(TreeCommand::kUserOption);
            break;
        case FrameCommand::kAccountProperty:
            tree_.RunCommand(TreeCommand::kAccountOption);
            break;
        case FrameCommand::kBoxProperty:
            tree_.RunCommand(TreeCommand::kBoxOption);
            break;
        case FrameCommand::kEmail:
            // The button only carries the "mail" drop-down.
            break;
        case FrameCommand::kAddress:
            secondary_.OpenAddressBook("Address Book");
            break;
        case FrameCommand::kTemplate:
            secondary_.OpenTemplates("Template");
            break;
        case FrameCommand::kFilter:
            secondary_.OpenFilterManager(tree_.selectedNode());
            break;
        case FrameCommand::kShowMainAndTasks:
            windows_.ShowMainWindow(true);
            windows_.ShowTaskWindow(true);
            break;
        case FrameCommand::kCreateUser:
            tree_.RunCommand(TreeCommand::kAddUser);
            break;
        case FrameCommand::kExit:
            Exit();
            break;
        case FrameCommand::kShowTextByWeb:
            ToggleShowTextByWeb();
            break;
        case FrameCommand::kTrayHide:
            OnClose();
            break;
        case FrameCommand::kTrayShowTask:
            windows_.ShowTaskWindow(true);
            break;
        default:
            return false;
    }
    return true;
}

bool CMainFrame::IsCommandEnabled(int command) {
    Lock lock(ModelLock());
    switch (static_cast<FrameCommand>(command)) {
        case FrameCommand::kReceive:
        case FrameCommand::kPreview:
        case FrameCommand::kSend:
        case FrameCommand::kReceiveAndDelete:
        case FrameCommand::kReceiveLetter:
        case FrameCommand::kDeleteLetter:
        case FrameCommand::kNew:
        case FrameCommand::kBack:
        case FrameCommand::kForward:
        case FrameCommand::kEmail:
        case FrameCommand::kAddress:
        case FrameCommand::kTemplate:
        case FrameCommand::kShowMainAndTasks:
        case FrameCommand::kCreateUser:
        case FrameCommand::kExit:
        case FrameCommand::kShowTextByWeb:
        case FrameCommand::kTrayHide:
            return true;
        case FrameCommand::kWriteBackAll:
        case FrameCommand::kWriteBackSender:
        case FrameCommand::kWriteBackCc:
            return letters_.askMenuState("HaveSelectOneMail");
        case FrameCommand::kUserProperty:
            return tree_.IsCommandEnabled(TreeCommand::kUserOption);
        case FrameCommand::kAccountProperty:
            return tree_.IsCommandEnabled(TreeCommand::kAccountOption);
        case FrameCommand::kBoxProperty:
            return tree_.IsCommandEnabled(TreeCommand::kBoxOption);
        case FrameCommand::kTrayShowTask:
            return windows_.TaskWindow() != nullptr;
        case FrameCommand::kFilter:
            // The manager shows one user's filters: a node inside a user must be chosen.
            return sys_.DataGetSysPoint(tree_.selectedNode(), kKindUser) != nullptr;
        case FrameCommand::kTrayCheck:
        default:
            return false;
    }
}

bool CMainFrame::IsCommandChecked(int command) {
    Lock lock(ModelLock());
    return command == static_cast<int>(FrameCommand::kShowTextByWeb) && ShowTextByWebOn();
}

void CMainFrame::OnTreeCommand(TreeCommand command) {
    Lock lock(ModelLock());
    if (tree_.IsCommandEnabled(command)) tree_.RunCommand(command);
}

bool CMainFrame::IsTreeCommandEnabled(TreeCommand command) {
    Lock lock(ModelLock());
    return tree_.IsCommandEnabled(command);
}

bool CMainFrame::IsTreeCommandChecked(TreeCommand command) {
    Lock lock(ModelLock());
    return tree_.IsCommandChecked(command);
}

bool CMainFrame::OnMailCommand(int command) {
    Lock lock(ModelLock());
    if (!IsMailCommandEnabled(command)) return false;
    return letters_.OnCommand(command);
}

bool CMainFrame::IsMailCommandEnabled(int command) {
    Lock lock(ModelLock());
    return letters_.askMenuState("HaveBox") && letters_.IsCommandEnabled(command);
}

bool CMainFrame::IsMailCommandChecked(int command) {
    Lock lock(ModelLock());
    switch (command) {
        case kCmdShowNormal:
            return letters_.askMenuState("ShowNormal");
        case kCmdShowHidden:
            return letters_.askMenuState("ShowHide");
        case kCmdShowDeleted:
            return letters_.askMenuState("ShowDelete");
        case kCmdShowMailText:
            return letters_.askMenuState("ShowMail");
        default:
            return false;
    }
}

void CMainFrame::OnClose() {
    windows_.ShowMainWindow(false);
    windows_.ShowTaskWindow(false);
}

void CMainFrame::OnTrayTimer() {
    tray_.Tick();
}

void CMainFrame::OnCheckTimer() {
    check_.Tick();
}

void CMainFrame::OnTrayDoubleClick() {
    if (windows_.TaskWindow()) windows_.ShowTaskWindow(true);
    windows_.ShowMainWindow(true);
}

void CMainFrame::OnTrayRightButton() {
    windows_.ShowTrayMenu();
}

void CMainFrame::OnLetterListClick(int row) {
    letters_.OnClick(row);
    MailIndicator::Clear();
    tray_.SetState(0);
}

void CMainFrame::SendFor(baseDataStruct* node) {
    Lock lock(ModelLock());
    if (baseDataStruct* account = sys_.DataGetSysPoint(node, kKindAccount))
        QueueTask(account, kTaskSend, std::string(kAbsent), true);
}

void CMainFrame::SendForBox(uint32_t boxId) {
    Lock lock(ModelLock());
    if (baseDataStruct* box = boxId ? findid(sys_.root(), boxId) : nullptr) SendFor(box);
}

void CMainFrame::OpenLetter(baseDataStruct* letter, int variant) {
    Lock lock(ModelLock());
    OpenComposer(9, variant, "Show Mail", letter);
}

void CMainFrame::RaiseMailIndicator(int result) {
    tray_.SetState(TrayStateForIndicator(MailIndicator::Raise(result)));
}

void CMainFrame::SetTrayState(int state) {
    tray_.SetState(state);
}

void CMainFrame::RestoreTrayState() {
    tray_.SetState(TrayStateForIndicator(MailIndicator::Value()));
}

bool CMainFrame::ShowTextByWebOn() {
    const std::string value = getinfo(sys_.root(), kThisNode, kShowTextByWeb);
    return value != kAbsent && value != "False";
}

void CMainFrame::ToggleShowTextByWeb() {
    Lock lock(ModelLock());
    baseDataStruct* root = sys_.root();
    setinfo(root, kThisNode, kShowTextByWeb, ShowTextByWebOn() ? "False" : "True");
    sys_.DataSaveList(root, 1);
    if (baseDataStruct* letter = letters_.currentLetter()) viewer_.ShowMail(letter);
}

void CMainFrame::Exit() {
    ClearTemporaryCache(DataDirectory());
    tray_.Remove();
    windows_.CloseMainFrame();
}

baseDataStruct* CMainFrame::QueueTask(baseDataStruct* account, int type, const std::string& list,
                                      bool visible) {
    Lock lock(ModelLock());
    if (!account) return nullptr;
    CDlgRSMail* engine = OpenTaskWindow(visible);
    if (!engine) return nullptr;
    baseDataStruct* user = sys_.DataGetSysPoint(account, kKindUser);
    return engine->AddTask(account, getinfo(user, kThisNode, "caption"), type, list);
}

CDlgRSMail* CMainFrame::OpenTaskWindow(bool visible) {
    // While the program sits in the tray the task window stays out of sight.
    const bool show = visible && windows_.MainWindowVisible();
    CDlgRSMail* engine = windows_.TaskWindow();
    if (!engine) return windows_.CreateTaskWindow(show);
    if (show) windows_.ShowTaskWindow(true);
    return engine;
}

baseDataStruct* CMainFrame::SelectedAccount() {
    return sys_.DataGetSysPoint(tree_.selectedNode(), kKindAccount);
}

void CMainFrame::QueueForSelection(int type) {
    if (baseDataStruct* account = SelectedAccount())
        QueueTask(account, type, std::string(kAbsent), true);
}

void CMainFrame::QueueSelectedLetters(int type) {
    baseDataStruct* account = SelectedAccount();
    if (!account) return;
    std::string list;
    for (baseDataStruct* letter : letters_.selectedLetters()) {
        const std::string id = getinfo(letter, kThisNode, "MailId");
        // A letter written here has no server id: there is nothing to ask the server for.
        if (id == kAbsent || id.empty()) continue;
        list += "__:" + id + ";__";
    }
    if (list.empty()) return;
    QueueTask(account, type, list, true);
}

void CMainFrame::OpenComposer(int mode, int variant, const std::string& title,
                              baseDataStruct* letter) {
    ComposerRequest request;
    request.mode = mode;
    request.variant = variant;
    request.title = title;
    request.node = tree_.selectedNode();
    request.letter = letter;
    secondary_.OpenComposer(request);
}

int ClearTemporaryCache(const std::string& dataDir) {
    int removed = EmptyPrivateFolder(dataDir, kAttachmentTempFolder);
    for (const std::string_view page : {kMailPageFile, kTemplatePageFile})
        removed += RemovePrivateFile(dataDir, page) ? 1 : 0;
    return removed;
}

}  // namespace korvo
