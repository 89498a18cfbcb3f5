#include "ui/desktop_module.h"

#include <dlfcn.h>

// Set by the build from the install folders; this is the layout of a /usr/local install.
#ifndef KORVO_MODULE_FROM_BIN
#define KORVO_MODULE_FROM_BIN "../lib/korvo"
#endif

namespace korvo {

std::string DesktopModuleCandidates(const std::string& programPath, int index) {
    const std::size_t slash = programPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : programPath.substr(0, slash);
    switch (index) {
        case 0:
            return dir + "/" + kDesktopModuleName;
        case 1:
            return dir + "/" KORVO_MODULE_FROM_BIN "/" + kDesktopModuleName;
        default:
            return {};
    }
}

int RunDesktopModule(const std::string& programPath, const std::string& dataDir,
                     const std::string& mailto, std::string* error) {
    std::string reasons;
    for (int i = 0;; ++i) {
        const std::string path = DesktopModuleCandidates(programPath, i);
        if (path.empty()) break;
        // RTLD_LOCAL: the module's copies of our libraries stay its own.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = ::dlerror();
            reasons += "\n  " + (why ? std::string(why) : path);
            continue;
        }
        auto* run = reinterpret_cast<DesktopMainFunction*>(::dlsym(module, kDesktopMainName));
        if (!run) {
            reasons += "\n  " + path + ": no " + kDesktopMainName;
            ::dlclose(module);
            continue;
        }
        // The module stays loaded until the process ends: the toolkit registers exit handlers.
        return run(programPath.c_str(), dataDir.c_str(), mailto.c_str());
    }
    if (error) *error = "the desktop part of the program could not be loaded:" + reasons;
    return -1;
}

}  // namespace korvo
