// The desktop lives in a module of its own (libkorvo-desktop.so) that the program loads only
// when it opens a window: the command-line tasks then start without the toolkit and the web
// engine, whose libraries take longer to load than a short receive run takes to run.
//
// Both sides include this header; it has no wx in it.
#pragma once

#include <string>

namespace korvo {

// The module's one export, looked up by name: runs the desktop on the data directory `dataDir`
// (already prepared) until it ends, opening a letter for `mailto` when it is not empty; returns
// the program's exit status.
extern "C" using DesktopMainFunction =
    int(const char* programPath, const char* dataDir, const char* mailto);
inline constexpr const char kDesktopMainName[] = "korvo_desktop_main";
inline constexpr const char kDesktopModuleName[] = "libkorvo-desktop.so";

// Where the module is looked for, in order: beside the program (the build tree), then in the
// private library folder of an installed program (<prefix>/lib/<multiarch>/korvo, or
// <prefix>/lib/korvo, as the build was set up, reached from <prefix>/bin).
std::string DesktopModuleCandidates(const std::string& programPath, int index);

// Loads the module and runs its desktop. On failure returns -1 with the reason in `error`.
int RunDesktopModule(const std::string& programPath, const std::string& dataDir,
                     const std::string& mailto, std::string* error);

}  // namespace korvo
