#include "shell/mail_transfer_command.h"

#include <mutex>

#include "model/sys_schema.h"
#include "platform/model_lock.h"
#include "shell/vcard_transfer.h"
#include "transport/letter_export.h"
#include "transport/letter_import.h"

namespace korvo {
namespace {

bool IsOption(const char* arg) {
    return arg && arg[0] == '-' && arg[1] == '-';
}

}  // namespace

int ParseTransferArgument(int argc, const char* const* argv, int* i, MailTransferRequest* request,
                          std::string* error) {
    const std::string arg = argv[*i] ? argv[*i] : "";
    auto value = [&](std::string* into) {
        if (*i + 1 >= argc || !argv[*i + 1] || !*argv[*i + 1] || IsOption(argv[*i + 1])) {
            *error = arg + " needs a value";
            return -1;
        }
        *into = argv[++*i];
        return 1;
    };
    using Kind = MailTransferRequest::Kind;
    auto kind = [&](Kind k) {
        if (request->kind != Kind::kNone && request->kind != k) {
            *error = "give only one of --import, --export, --import-vcard and --export-vcard";
            return false;
        }
        request->kind = k;
        return true;
    };
    if (arg == "--import-vcard" || arg == "--export-vcard") {
        if (!kind(arg == "--import-vcard" ? Kind::kImportVCard : Kind::kExportVCard)) return -1;
        return value(&request->vcard);
    }
    if (arg == "--book") return value(&request->book);
    if (arg == "--import") {
        if (!kind(Kind::kImport)) return -1;
        while (*i + 1 < argc && argv[*i + 1] && !IsOption(argv[*i + 1])) {
            request->paths.emplace_back(argv[++*i]);
        }
        if (request->paths.empty()) {
            *error = "--import needs at least one path";
            return -1;
        }
        return 1;
    }
    if (arg == "--export") {
        if (!kind(Kind::kExport)) return -1;
        return value(&request->box);
    }
    if (arg == "--box") return value(&request->box);
    if (arg == "--mbox") return value(&request->mbox);
    return 0;
}

bool CheckTransferRequest(const MailTransferRequest& request, std::string* error) {
    using Kind = MailTransferRequest::Kind;
    const bool vcard = request.kind == Kind::kImportVCard || request.kind == Kind::kExportVCard;
    if (!request.book.empty() && !vcard) {
        *error = "--book goes with --import-vcard or --export-vcard";
        return false;
    }
    if (request.kind == Kind::kNone) {
        if (!request.box.empty() || !request.mbox.empty()) {
            *error = "--box and --mbox go with --import or --export";
            return false;
        }
        return true;
    }
    if (vcard) {
        if (request.book.empty() || !request.box.empty() || !request.mbox.empty()) {
            *error = "a vCard file goes with --book USER/ACCOUNT/FOLDER alone";
            return false;
        }
        return true;
    }
    if (request.box.empty()) {
        *error = request.kind == Kind::kImport ? "--import needs --box USER/ACCOUNT/BOX"
                                               : "--export needs a box";
        return false;
    }
    if (request.kind == Kind::kExport && request.mbox.empty()) {
        *error = "--export needs --mbox FILE";
        return false;
    }
    if (request.kind == Kind::kImport && !request.mbox.empty()) {
        *error = "--mbox goes with --export";
        return false;
    }
    return true;
}

baseDataStruct* ValidSonNamed(baseDataStruct* parent, std::string_view type,
                              std::string_view caption) {
    for (baseDataStruct* son = parent ? parent->firstSon() : nullptr; son;
         son = son->nextBrother()) {
        if (teststate(son, STATE_VALID) && getinfo(son, kThisNode, "type") == type &&
            getinfo(son, kThisNode, "caption") == caption) {
            return son;
        }
    }
    return nullptr;
}

baseDataStruct* FindUserOrAccount(CSysData& sys, const std::string& user,
                                  const std::string& account, std::string* error) {
    baseDataStruct* node = ValidSonNamed(sys.root(), "User", user);
    if (!node) {
        *error = "no user " + user;
        return nullptr;
    }
    if (getinfo(node, kThisNode, "LockState") == "lock") {
        *error = "the user " + user + " is locked";
        return nullptr;
    }
    if (account.empty()) return node;
    baseDataStruct* found =
        ValidSonNamed(sys.DataGetSysPoint(node, kKindUATree), "Account", account);
    if (!found) *error = "no account " + account + " of the user " + user;
    return found;
}

std::vector<std::string> SplitBoxPath(std::string_view path) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/') {
            parts.back() += path[i];
        } else if (i + 1 < path.size() && path[i + 1] == '/') {
            parts.back() += '/';
            ++i;
        } else {
            parts.emplace_back();
        }
    }
    return parts;
}

baseDataStruct* FindBoxByPath(CSysData& sys, std::string_view path, std::string* error) {
    const std::vector<std::string> parts = SplitBoxPath(path);
    if (parts.size() < 3) {
        *error = "a box is named USER/ACCOUNT/BOX: " + std::string(path);
        return nullptr;
    }
    baseDataStruct* account = FindUserOrAccount(sys, parts[0], parts[1], error);
    if (!account) return nullptr;
    baseDataStruct* node = sys.DataGetSysPoint(account, kKindPBoxTree);
    for (size_t i = 2; i < parts.size(); ++i) {
        node = ValidSonNamed(node, "Box", parts[i]);
        if (!node) {
            *error = "no box " + parts[i] + " in " + parts[0] + "/" + parts[1];
            return nullptr;
        }
    }
    return node;
}

namespace {

std::string PathPart(std::string_view caption) {
    std::string part;
    for (char c : caption) {
        part += c;
        if (c == '/') part += '/';
    }
    return part;
}

void AddBoxes(baseDataStruct* parent, const std::string& path, std::vector<NamedBox>* boxes) {
    for (baseDataStruct* box = parent ? parent->firstSon() : nullptr; box;
         box = box->nextBrother()) {
        if (!teststate(box, STATE_VALID) || getinfo(box, kThisNode, "type") != "Box") continue;
        const std::string named = path + "/" + PathPart(getinfo(box, kThisNode, "caption"));
        boxes->push_back({named, box});
        AddBoxes(box, named, boxes);
    }
}

}  // namespace

std::vector<NamedBox> ListBoxPaths(CSysData& sys) {
    std::vector<NamedBox> boxes;
    for (baseDataStruct* user = sys.root()->firstSon(); user; user = user->nextBrother()) {
        if (!teststate(user, STATE_VALID) || getinfo(user, kThisNode, "type") != "User" ||
            getinfo(user, kThisNode, "LockState") == "lock") {
            continue;
        }
        const std::string userPart = PathPart(getinfo(user, kThisNode, "caption"));
        baseDataStruct* accounts = sys.DataGetSysPoint(user, kKindUATree);
        for (baseDataStruct* a = accounts ? accounts->firstSon() : nullptr; a;
             a = a->nextBrother()) {
            if (!teststate(a, STATE_VALID) || getinfo(a, kThisNode, "type") != "Account") continue;
            AddBoxes(sys.DataGetSysPoint(a, kKindPBoxTree),
                     userPart + "/" + PathPart(getinfo(a, kThisNode, "caption")), &boxes);
        }
    }
    return boxes;
}

int ReportImport(const ImportResult& result, std::ostream& out, std::ostream& err) {
    for (const std::string& problem : result.problems) err << "korvo: " << problem << '\n';
    out << result.stored << (result.stored == 1 ? " letter" : " letters") << " imported";
    if (result.skipped > 0) out << ", " << result.skipped << " skipped";
    out << '\n';
    return result.ok() ? 0 : 1;
}

int RunMailTransfer(CDataStores& stores, const MailTransferRequest& request, std::ostream& out,
                    std::ostream& err, const std::function<bool()>& stopped) {
    return RunMailTransfer(stores.sys(), request, out, err, stopped);
}

int RunMailTransfer(CSysData& sys, const MailTransferRequest& request, std::ostream& out,
                    std::ostream& err, const std::function<bool()>& stopped) {
    std::string error;
    using Kind = MailTransferRequest::Kind;
    if (request.kind == Kind::kImportVCard || request.kind == Kind::kExportVCard) {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        baseDataStruct* folder = FindBookFolderByPath(sys, request.book, &error);
        if (!folder) {
            err << "korvo: " << error << '\n';
            return 1;
        }
        const bool in = request.kind == Kind::kImportVCard;
        const VCardResult result = in ? ImportVCardFile(sys, folder, request.vcard)
                                      : ExportVCardFile(sys, folder, request.vcard);
        if (!result.error.empty()) err << "korvo: " << result.error << '\n';
        out << result.persons << (result.persons == 1 ? " person" : " persons")
            << (in ? " imported\n" : " exported\n");
        return result.ok ? 0 : 1;
    }
    baseDataStruct* box;
    {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        box = FindBoxByPath(sys, request.box, &error);
    }
    if (!box) {
        err << "korvo: " << error << '\n';
        return 1;
    }
    if (request.kind == MailTransferRequest::Kind::kImport) {
        ImportOptions options;
        options.modelLock = &ModelLock();
        options.cancelled = stopped;
        return ReportImport(ImportLetters(sys, box, request.paths, options), out, err);
    }
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    const ExportResult result = ExportBox(sys, box, request.mbox);
    if (!result.ok) {
        err << "korvo: " << result.error << '\n';
        out << "0 letters exported\n";
        return 1;
    }
    out << result.written << (result.written == 1 ? " letter" : " letters") << " exported\n";
    return 0;
}

}  // namespace korvo
