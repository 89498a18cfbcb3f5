// wx's own log messages go to the diagnostic log and stderr. wx's default target shows
// warnings and errors in modal dialogs at idle time, which would stop an unattended program.
#pragma once

#include <wx/log.h>

namespace korvo {

class DiagLogTarget : public wxLog {
  protected:
    void DoLogTextAtLevel(wxLogLevel level, const wxString& text) override;
};

// Makes a DiagLogTarget the active wx log target.
void RouteWxLogging();

}  // namespace korvo
