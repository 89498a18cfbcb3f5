#include "ui/message_box_hook.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include <cstdio>

#include "platform/message_hook.h"
#include "ui/wx_text.h"

namespace korvo {

void ShowMessageBoxNow(const std::string& text) {
    wxMessageBox(WxFromBytes(text), kMessageBoxTitle, wxOK | wxICON_INFORMATION);
}

void InstallMessageBoxHook() {
    SetMessageHook([](const std::string& text) {
        wxAppConsole* app = wxAppConsole::GetInstance();
        if (!app) {
            std::fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        if (wxThread::IsMain()) {
            ShowMessageBoxNow(text);
            return;
        }
        // CallAfter queues a thread-safe event; the box opens when the UI thread gets to it.
        app->CallAfter([text] { ShowMessageBoxNow(text); });
    });
}

}  // namespace korvo
