// What the main frame's logic asks of its windows: the main window and the task window
// (FrameWindows), and the secondary windows it opens (SecondaryWindows). The wx program
// implements both; tests use recording fakes.
#pragma once

#include <string>

#include "store/node.h"

namespace korvo {

class CDlgRSMail;

class FrameWindows {
  public:
    virtual ~FrameWindows() = default;

    virtual bool MainWindowVisible() = 0;
    virtual void ShowMainWindow(bool show) = 0;

    // The engine of the task window while the window exists; null before it is created and
    // after it has closed itself.
    virtual CDlgRSMail* TaskWindow() = 0;
    // Creates the task window ("Korvo Task"), shown at once only when `visible`; returns its
    // engine (null when it cannot be created).
    virtual CDlgRSMail* CreateTaskWindow(bool visible) = 0;
    // Shows or hides the task window when it exists.
    virtual void ShowTaskWindow(bool show) = 0;

    // The tray menu at the cursor.
    virtual void ShowTrayMenu() = 0;
    // Closes the main frame, which ends the program.
    virtual void CloseMainFrame() = 0;
};

// A composer window to open: `mode` 4 new letter, 5 write back, 6 forward, 9 reopen;
// `variant` the write-back variant (1 to 3) or, for a reopened letter, 5 or 6; `node` the
// tree's selection the composer finds its account from; `letter` the original, or none;
// `receiver` the To line of a new letter (a person of the address book, a mailto: link).
struct ComposerRequest {
    int mode = 4;
    int variant = 0;
    std::string title;
    baseDataStruct* node = nullptr;
    baseDataStruct* letter = nullptr;
    std::string receiver;
};

class SecondaryWindows {
  public:
    virtual ~SecondaryWindows() = default;
    virtual void OpenComposer(const ComposerRequest& request) = 0;
    // The address book window, visible, titled `title`.
    virtual void OpenAddressBook(const std::string& title) = 0;
    // The template window, visible, titled `title`.
    virtual void OpenTemplates(const std::string& title) = 0;
    // The filter manager for the user of `current` (the main window's current node).
    virtual void OpenFilterManager(baseDataStruct* current) = 0;
};

}  // namespace korvo
