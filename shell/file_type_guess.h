// What the desktop will make of a file when it is opened: the default application is chosen
// by the type the desktop guesses from the name and the first bytes, so a program without a
// telling extension still runs. The open command asks here before it hands a file over.
#pragma once

#include <string_view>

namespace korvo {

// How many of a file's first bytes a guess looks at.
inline constexpr size_t kFileTypeGuessBytes = 4096;

class FileTypeGuess {
  public:
    virtual ~FileTypeGuess() = default;
    // Whether a file of this name starting with these bytes might be run when opened.
    virtual bool MightRun(std::string_view name, std::string_view firstBytes) const = 0;
};

// The desktop's own content-type guess (GIO and the shared MIME database), asked with the
// name and with the bytes alone. A type counts as runnable when GIO says it can be
// executable, except common documents (GIO says that of every text type, since any text could
// be a script), and so do Windows and Java programs, which GIO does not count. Holds no state.
const FileTypeGuess& DesktopFileTypeGuess();

}  // namespace korvo
