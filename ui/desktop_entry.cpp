// The desktop module's entry: the program (ui/korvo_main.cpp) has chosen and prepared the data
// directory; the module keeps its own copies of our libraries, so it sets them up again here.
#include <wx/init.h>

#include "platform/data_dir.h"
#include "store/diag_log.h"
#include "ui/desktop_module.h"
#include "ui/korvo_app.h"

wxIMPLEMENT_APP_NO_MAIN(korvo::KorvoApp);

extern "C" __attribute__((visibility("default"))) int korvo_desktop_main(const char* programPath,
                                                                         const char* dataDir,
                                                                         const char* mailto) {
    using namespace korvo;
    static_assert(std::is_same_v<decltype(korvo_desktop_main), DesktopMainFunction>);
    SetDataDirectory(dataDir);
    TheLog().SetFile("Korvo");
    if (mailto) SetStartupMailto(mailto);
    // Our options are not wx's: hand the toolkit the program name only.
    int wxArgc = 1;
    char* wxArgv[] = {const_cast<char*>(programPath), nullptr};
    return wxEntry(wxArgc, wxArgv);
}
