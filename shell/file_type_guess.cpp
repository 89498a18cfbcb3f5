#include "shell/file_type_guess.h"

#include <gio/gio.h>

#include <string>

namespace korvo {
namespace {

// Text types that are read, not run. Scripts (shell, Python, Perl, desktop entries...) have
// types of their own below text/plain and are not in this list.
constexpr const char* kDocumentTypes[] = {"text/plain",
                                          "text/x-readme",
                                          "text/html",
                                          "text/xml",
                                          "application/xml",
                                          "text/csv",
                                          "text/tab-separated-values",
                                          "text/markdown",
                                          "text/x-log",
                                          "text/rtf",
                                          "application/rtf",
                                          "text/calendar",
                                          "text/vcard",
                                          "text/x-vcard",
                                          "text/x-patch",
                                          "text/x-diff",
                                          "text/css",
                                          "message/rfc822"};

// Programs GIO does not count as executable on this desktop, but which a compatibility layer
// or a Java runtime would start when they are opened.
constexpr const char* kProgramTypes[] = {
    "application/x-ms-dos-executable", "application/x-msdownload",   "application/x-msi",
    "application/x-ms-shortcut",       "application/x-java-archive", "application/x-java-jnlp-file",
    "application/x-sharedlib"};

bool TypeMightRun(const gchar* type) {
    if (!type) return false;
    for (const char* program : kProgramTypes)
        if (g_content_type_is_a(type, program)) return true;
    if (!g_content_type_can_be_executable(type)) return false;
    for (const char* document : kDocumentTypes)
        if (g_content_type_equals(type, document)) return false;
    return true;
}

// The type GIO guesses; `name` may be null to judge the bytes alone.
bool GuessMightRun(const char* name, std::string_view bytes) {
    gboolean uncertain = FALSE;
    gchar* type = g_content_type_guess(name, reinterpret_cast<const guchar*>(bytes.data()),
                                       bytes.size(), &uncertain);
    const bool runs = TypeMightRun(type);
    g_free(type);
    return runs;
}

class GioFileTypeGuess final : public FileTypeGuess {
  public:
    bool MightRun(std::string_view name, std::string_view firstBytes) const override {
        firstBytes = firstBytes.substr(0, kFileTypeGuessBytes);
        // With the name, as the file manager sees the file; and by content alone, since a
        // harmless name does not make the default application ignore what the file is.
        const std::string nameText(name);
        return GuessMightRun(nameText.c_str(), firstBytes) || GuessMightRun(nullptr, firstBytes);
    }
};

}  // namespace

const FileTypeGuess& DesktopFileTypeGuess() {
    static const GioFileTypeGuess guess;
    return guess;
}

}  // namespace korvo
