// CMainFrame: the main frame's logic without widgets. It routes the commands of the tool bar,
// its drop-down menus and the tray menu to the user tree, the letter list, the task window and
// the secondary windows; answers which of them are enabled or checked; drives the tray
// animation and the scheduled check from the frame's two timers; and owns the exit path.
//
// Everything runs on the user-interface thread. The receive worker's tray changes and the task
// window's results reach the frame as calls on that thread (the wx side posts them).
#pragma once

#include <string>
#include <string_view>

#include "model/sys_data.h"
#include "shell/desktop_interfaces.h"
#include "shell/frame_host.h"
#include "shell/letter_list.h"
#include "shell/scheduled_check.h"
#include "shell/tray_animation.h"

namespace korvo {

class CDlgRSMail;

class CMainFrame {
  public:
    // All references must outlive the frame. `viewer` is the letter text view.
    CMainFrame(CSysData& sys, UserTree& tree, CLetterList& letters, LetterViewer& viewer,
               FrameWindows& windows, SecondaryWindows& secondary, TrayView& tray);

    // Frame creation: clears the mail indicator and puts the idle tray icon up.
    void OnCreate();

    // The frame's own commands; false for an id that is not one (or a command that is
    // disabled now, which does nothing).
    bool OnCommand(int command);
    bool OnCommand(FrameCommand command) { return OnCommand(static_cast<int>(command)); }
    // Whether a command of the frame's menus is enabled. Ids without a handler are disabled.
    bool IsCommandEnabled(int command);
    bool IsCommandEnabled(FrameCommand command) {
        return IsCommandEnabled(static_cast<int>(command));
    }
    // "Show text by WEB" is checked while HTML display is on.
    bool IsCommandChecked(int command);

    // The "User", "Account" and "Box" drop-downs: carried out and answered by the user tree.
    void OnTreeCommand(TreeCommand command);
    bool IsTreeCommandEnabled(TreeCommand command);
    bool IsTreeCommandChecked(TreeCommand command);

    // The "mail" menu: carried out by the letter list, enabled while it shows a box and then
    // by its own rule.
    bool OnMailCommand(int command);
    bool IsMailCommandEnabled(int command);
    // The three show commands and "Show Mail Text" are checked by the letter list's answers.
    bool IsMailCommandChecked(int command);

    // Window events.
    void OnClose();                   // hides the main window and the task window
    void OnTrayTimer();               // timer 1
    void OnCheckTimer();              // timer 2
    void OnTrayDoubleClick();         // shows the task window if any, then the main window
    void OnTrayRightButton();         // the tray menu
    void OnLetterListClick(int row);  // the click goes to the list and clears the indicator

    // Requests of other windows and of the worker.
    // Queues a "Send" task for the account that holds `node` (a composer sent a letter).
    void SendFor(baseDataStruct* node);
    // A composer's send request: the box by its node id (it may be gone by now).
    void SendForBox(uint32_t boxId);
    // Reopens `letter` in a "Show Mail" composer (mode 9) for the tree's selection.
    void OpenLetter(baseDataStruct* letter, int variant);
    // A task window's tasks reached `result`: raises the mail indicator and shows it.
    void RaiseMailIndicator(int result);
    // The receive worker's tray states (1 connecting, 2 letters on the server, 3 and 4
    // fetching), and the indicator's state again after a failed log-in.
    void SetTrayState(int state);
    void RestoreTrayState();

    // Toggles the root's `ShowTextByWEB`, stores the root and shows the current letter again.
    void ToggleShowTextByWeb();
    // Exit: empties the temporary attachment cache, removes the tray icon, closes the frame.
    void Exit();

    // Opens the task window if needed and queues a task for `account`; the window is created
    // visible only when `visible` and the main window is visible. Returns the task, or null
    // when none was queued.
    baseDataStruct* QueueTask(baseDataStruct* account, int type, const std::string& list,
                              bool visible);

    CTrayAnimation& tray() { return tray_; }
    CScheduledCheck& scheduledCheck() { return check_; }

  private:
    baseDataStruct* SelectedAccount();
    void QueueForSelection(int type);
    void QueueSelectedLetters(int type);
    void OpenComposer(int mode, int variant, const std::string& title, baseDataStruct* letter);
    CDlgRSMail* OpenTaskWindow(bool visible);
    bool ShowTextByWebOn();

    CSysData& sys_;
    UserTree& tree_;
    CLetterList& letters_;
    LetterViewer& viewer_;
    FrameWindows& windows_;
    SecondaryWindows& secondary_;
    CTrayAnimation tray_;
    CScheduledCheck check_;
};

// Removes the files written for other programs to read: what the temporary attachment cache
// (`dataDir` + "Cache/temp/") holds and the page files of the viewer and the template preview.
// The folders stay; links are removed, never followed. Returns the number of entries removed.
int ClearTemporaryCache(const std::string& dataDir);

}  // namespace korvo
