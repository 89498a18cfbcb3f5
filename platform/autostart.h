// The autostart entry: a desktop entry in $XDG_CONFIG_HOME/autostart/ (default ~/.config/...)
// that makes the desktop start the program at log-in.
#pragma once

#include <string>

#include "platform/data_dir.h"

namespace korvo {

inline constexpr const char* kAutostartFileName = "korvos.desktop";

// Where the entry lives, from XDG_CONFIG_HOME and HOME (empty values count as unset; a relative
// XDG_CONFIG_HOME is ignored, as the base directory rules ask). Empty when neither is usable.
std::string AutostartEntryPath(const std::string& xdgConfigHome, const std::string& home);
// The same from this process's environment.
std::string AutostartEntryPath();

// `program` as one argument of an Exec line: quoted, with the characters the desktop entry
// rules reserve escaped, "%" doubled, and the string escapes of the file format applied.
std::string QuoteExecArgument(const std::string& program);

// The whole entry that starts `program` (a full path), with `--data-dir dataDir` when
// `dataDir` is not empty.
std::string AutostartEntryText(const std::string& program, const std::string& dataDir = {});

// The data directory the entry has to name so that the program started at log-in opens the
// data it runs on now (`dataDir`): empty when a start without --data-dir and without
// KORVO_DATA_DIR would choose it anyway, `dataDir` otherwise. `in` is what the choice depends
// on; its --data-dir and KORVO_DATA_DIR are ignored.
std::string AutostartDataDir(const std::string& dataDir, DataDirInputs in);
// The same with this process's inputs.
std::string AutostartDataDir(const std::string& dataDir);

// Writes the entry for `program` and `dataDir` at `path` atomically (a temporary file in the
// same directory, synced and renamed over the old one), creating the directories. False with
// `error` set on failure; an old entry is then left as it was.
bool WriteAutostartEntry(const std::string& path, const std::string& program,
                         const std::string& dataDir, std::string* error = nullptr);

}  // namespace korvo
