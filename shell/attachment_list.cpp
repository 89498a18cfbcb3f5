#include "shell/attachment_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "content/attachment_name.h"
#include "content/mail_header.h"
#include "platform/data_dir.h"
#include "platform/private_file.h"

namespace korvo {
namespace {

namespace fs = std::filesystem;

// Extensions whose default action may run the file: Windows programs and scripts (the mail
// may be opened by a compatibility layer) and what a Linux desktop runs or installs.
constexpr std::string_view kRunnableExtensions[] = {
    "exe",  "pif",      "scr",     "com",        "bat",         "cmd", "vbs", "vbe",  "js",
    "jse",  "wsf",      "wsh",     "msi",        "msp",         "lnk", "hta", "cpl",  "reg",
    "jar",  "desktop",  "sh",      "bash",       "csh",         "ksh", "zsh", "fish", "run",
    "bin",  "appimage", "flatpak", "flatpakref", "deb",         "rpm", "py",  "pl",   "rb",
    "jnlp", "ps1",      "psm1",    "msc",        "application", "scf", "vb",  "ws"};

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// `name` in `folder`, or when that is taken (on disk or earlier in this run) the first free
// "stem (n).ext".
std::string FreeTarget(const std::string& folder, const std::string& name,
                       const std::set<std::string>& taken) {
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate = folder + NumberedFileName(name, n);
        if (!taken.contains(candidate) && !Exists(candidate)) return candidate;
    }
    return {};
}

// The first bytes of the file at `path`, as many as a type guess looks at.
std::string FirstBytes(const std::string& path) {
    std::string bytes(kFileTypeGuessBytes, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

}  // namespace

bool IsRunnableFileName(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    const std::string extension = AsciiLowerCopy(name.substr(dot + 1));
    for (std::string_view runnable : kRunnableExtensions)
        if (extension == runnable) return true;
    return false;
}

CFileList::CFileList(AttachmentListView& view, AttachmentDialogs& dialogs, const CMailCodec& codec,
                     const FileTypeGuess& guess)
    : view_(view), dialogs_(dialogs), codec_(codec), guess_(guess) {}

void CFileList::Clear() {
    parts_.clear();
    names_.clear();
    view_.ClearRows();
}

void CFileList::Fill(const baseDataStruct* letter) {
    Clear();
    if (!letter) return;
    for (const baseDataStruct* son = letter->firstSon(); son; son = son->nextBrother()) {
        if (getinfo(son, kThisNode, "type") != "attachment") continue;
        std::string name = getinfo(son, kThisNode, "fileName");
        if (name == kAbsent) name.clear();
        name = std::string(TrimWhite(codec_.DecodeText(name, "subject")));
        if (name.empty()) name = kFallbackAttachmentName;
        parts_.push_back(son);
        names_.push_back(name);
        view_.AddRow(name);
    }
}

std::vector<size_t> CFileList::SelectedParts() {
    std::vector<size_t> rows;
    for (const int row : view_.SelectedRows())
        if (row >= 0 && static_cast<size_t>(row) < parts_.size()) rows.push_back(row);
    return rows;
}

void CFileList::Write(size_t row, const std::string& path) {
    const baseDataStruct* part = parts_[row];
    SysMailAttachmentToFile(getdata(part, "SDATA").value_or(""), path,
                            getinfo(part, kThisNode, "transferEncoding"), codec_);
}

void CFileList::Open(size_t row) {
    if (row >= parts_.size()) return;
    // The check is made on the name the file gets: "virus.exe." is written as "virus.exe".
    const std::string safe = SafeAttachmentFileName(names_[row]);
    if (IsRunnableFileName(safe)) {
        dialogs_.Message(kVirusWarning);
        return;
    }
    // Always a new file: a copy opened earlier may still be in use by another program, and
    // whatever else holds the name is never written through.
    const std::string dir = DataDirectory();
    std::string made;
    UniqueFd file = CreateFreshPrivateFile(dir, kAttachmentTempFolder, safe, &made);
    if (!file) return;
    const std::string path = dir + made;
    const baseDataStruct* part = parts_[row];
    const bool written =
        SysMailAttachmentToFile(getdata(part, "SDATA").value_or(""), file.get(), path,
                                getinfo(part, kThisNode, "transferEncoding"), codec_) &&
        file.Close();
    if (!written) {
        RemovePrivateFile(dir, made);
        return;
    }
    // The default application is chosen by what the file is, not only by its name.
    if (guess_.MightRun(safe, FirstBytes(path))) {
        RemovePrivateFile(dir, made);
        dialogs_.Message(kVirusWarning);
        return;
    }
    dialogs_.OpenWithDefaultApplication(path);
}

void CFileList::Save(size_t row) {
    if (row >= parts_.size()) return;
    std::string path;
    if (!dialogs_.AskSaveFile(SafeAttachmentFileName(names_[row]), &path) || path.empty()) return;
    Write(row, path);
}

void CFileList::OpenSelected() {
    for (const size_t row : SelectedParts()) Open(row);
}

void CFileList::SaveSelected() {
    for (const size_t row : SelectedParts()) Save(row);
}

void CFileList::SaveAll() {
    if (parts_.empty()) return;
    std::string folder;
    if (!dialogs_.AskFolder(&folder) || folder.empty()) return;
    if (folder.back() != '/') folder += '/';
    // Two parts of one name, or a file already in the folder, are not overwritten.
    std::set<std::string> taken;
    for (size_t row = 0; row < parts_.size(); ++row) {
        const std::string path = FreeTarget(folder, SafeAttachmentFileName(names_[row]), taken);
        if (path.empty()) continue;
        taken.insert(path);
        Write(row, path);
    }
}

}  // namespace korvo
