#include "ui/wx_log_route.h"

#include <cstdio>
#include <string>

#include "store/diag_log.h"
#include "ui/wx_text.h"

namespace korvo {

void DiagLogTarget::DoLogTextAtLevel(wxLogLevel level, const wxString& text) {
    const std::string bytes = BytesFromWx(text);
    // Never the diagnostic log's error level: that one opens a message box.
    const bool serious = level <= wxLOG_Warning;
    LogLine(serious ? DiagLog::kWarning : DiagLog::kMessage, "wx: %s", bytes.c_str());
    if (serious) std::fprintf(stderr, "korvo: %s\n", bytes.c_str());
}

void RouteWxLogging() {
    delete wxLog::SetActiveTarget(new DiagLogTarget);
}

}  // namespace korvo
