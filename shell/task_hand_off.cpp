#include "shell/task_hand_off.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <mutex>
#include <string_view>
#include <utility>

#include "model/sys_schema.h"
#include "platform/model_lock.h"
#include "store/node_tree.h"
#include "transport/task_engine.h"

namespace korvo {
namespace {

using Clock = std::chrono::steady_clock;
using Read = InstanceConnection::Read;

constexpr std::string_view kAccepted = "accepted";
constexpr std::string_view kNote = "note";
constexpr std::string_view kRow = "row";
constexpr std::string_view kWait = "wait";
constexpr std::string_view kDone = "done";
constexpr std::string_view kFail = "fail";
constexpr std::string_view kTransfer = "transfer";
constexpr std::string_view kOut = "out";
constexpr std::string_view kErr = "err";
constexpr std::string_view kExit = "exit";
constexpr char kClosing[] = "Korvo is closing";

std::string Escape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string Unescape(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        switch (text[++i]) {
            case 't':
                plain += '\t';
                break;
            case 'n':
                plain += '\n';
                break;
            case 'r':
                plain += '\r';
                break;
            case '\\':
                plain += '\\';
                break;
            default:
                plain += '\\';
                plain += text[i];
        }
    }
    return plain;
}

// The kind of a line and its text.
std::pair<std::string_view, std::string_view> Split(std::string_view line) {
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return {line, {}};
    return {line.substr(0, space), line.substr(space + 1)};
}

std::string Line(std::string_view kind, std::string_view text) {
    std::string line(kind);
    line += ' ';
    line += text;
    return line;
}

}  // namespace

std::vector<TaskTarget> FindTaskTargets(CSysData& sys, std::vector<std::string>* notes) {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    std::vector<TaskTarget> targets;
    for (baseDataStruct* user = sys.root()->firstSon(); user; user = user->nextBrother()) {
        if (getinfo(user, kThisNode, "type") != "User") continue;
        const std::string caption = getinfo(user, kThisNode, "caption");
        if (getinfo(user, kThisNode, "LockState") == "lock") {
            notes->push_back("skipped: the user " + caption + " is locked");
            continue;
        }
        baseDataStruct* accounts = sys.DataGetSysPoint(user, kKindUATree);
        for (baseDataStruct* a = accounts ? accounts->firstSon() : nullptr; a;
             a = a->nextBrother()) {
            if (getinfo(a, kThisNode, "type") == "Account" && teststate(a, STATE_VALID))
                targets.push_back({a, caption});
        }
    }
    return targets;
}

std::string TaskRowLine(const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line += '\t';
        line += cells[i];
    }
    return line;
}

std::string TaskRequestLine(int type) {
    switch (type) {
        case kTaskReceive:
            return "run receive-all";
        case kTaskPreview:
            return "run preview-all";
        case kTaskSend:
            return "run send-all";
        default:
            return {};
    }
}

// ---- the command line's side ---------------------------------------------------------------

namespace {

// Sends `request` to the desktop on `dataDir`; the connection once it has taken it, else null
// (the request may still be run here).
std::unique_ptr<InstanceConnection> Ask(const std::string& dataDir, const std::string& request,
                                        std::chrono::milliseconds answer) {
    std::unique_ptr<InstanceConnection> desktop = InstanceConnection::Connect(dataDir);
    if (!desktop || !desktop->Send(request)) return nullptr;
    const auto deadline = Clock::now() + answer;
    std::string line;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || desktop->ReadLine(&line, left) != Read::kLine) return nullptr;
        if (line == kAccepted) return desktop;
        if (Split(line).first == kFail) return nullptr;
    }
}

void Lost(const std::string& dataDir, Read read, std::ostream& err) {
    err << "korvo: Korvo on " << dataDir
        << (read == Read::kTimedOut  ? " stopped answering"
            : read == Read::kTooLong ? " sent a line too long to read"
                                     : " ended before the tasks had run")
        << '\n';
}

}  // namespace

HandOffResult HandOffTasks(const std::string& dataDir, int type, const HandOffWaits& waits,
                           std::ostream& out, std::ostream& err) {
    HandOffResult result;
    const std::string request = TaskRequestLine(type);
    if (request.empty()) return result;
    std::unique_ptr<InstanceConnection> desktop = Ask(dataDir, request, waits.answer);
    if (!desktop) return result;

    result.taken = true;
    std::string line;
    bool ranOver = true;
    for (;;) {
        const Read read = desktop->ReadLine(&line, waits.idle);
        if (read != Read::kLine) {
            Lost(dataDir, read, err);
            return result;
        }
        const auto [kind, text] = Split(line);
        if (kind == kNote) {
            out << Unescape(text) << '\n';
            out.flush();
        } else if (kind == kRow) {
            std::vector<std::string> cells;
            for (size_t from = 0;;) {
                const size_t tab = text.find('\t', from);
                cells.push_back(Unescape(text.substr(from, tab - from)));
                if (tab == std::string_view::npos) break;
                from = tab + 1;
            }
            // A row that cannot be read is no task known to have run over.
            if (cells.size() != 4 || cells[2] != kRanOverState) ranOver = false;
            if (cells.size() == 4) {
                out << TaskRowLine(cells) << '\n';
                out.flush();
            }
        } else if (kind == kDone) {
            result.status = ranOver ? 0 : 1;
            return result;
        } else if (kind == kFail) {
            err << "korvo: " << Unescape(text) << '\n';
            return result;
        }
        // "wait", and kinds this version does not know: the desktop is there.
    }
}

// ---- letters and persons in and out -------------------------------------------------------

std::string TransferRequestLine(const MailTransferRequest& request) {
    using Kind = MailTransferRequest::Kind;
    auto absolute = [](const std::string& path) {
        std::error_code error;
        const std::filesystem::path made = std::filesystem::absolute(path, error);
        return error ? path : made.string();
    };
    std::vector<std::string> args;
    switch (request.kind) {
        case Kind::kImport:
            args.push_back("--import");
            for (const std::string& path : request.paths) args.push_back(absolute(path));
            args.insert(args.end(), {"--box", request.box});
            break;
        case Kind::kExport:
            args = {"--export", request.box, "--mbox", absolute(request.mbox)};
            break;
        case Kind::kImportVCard:
        case Kind::kExportVCard:
            args = {request.kind == Kind::kImportVCard ? "--import-vcard" : "--export-vcard",
                    absolute(request.vcard), "--book", request.book};
            break;
        case Kind::kNone:
            return {};
    }
    std::string line(kTransfer);
    for (size_t i = 0; i < args.size(); ++i) {
        line += i == 0 ? ' ' : '\t';
        line += Escape(args[i]);
    }
    return line;
}

HandOffResult HandOffTransfer(const std::string& dataDir, const MailTransferRequest& request,
                              const HandOffWaits& waits, std::ostream& out, std::ostream& err) {
    HandOffResult result;
    const std::string line = TransferRequestLine(request);
    if (line.empty()) return result;
    std::unique_ptr<InstanceConnection> desktop = Ask(dataDir, line, waits.answer);
    if (!desktop) return result;
    result.taken = true;
    std::string got;
    for (;;) {
        const Read read = desktop->ReadLine(&got, waits.idle);
        if (read != Read::kLine) {
            Lost(dataDir, read, err);
            return result;
        }
        const auto [kind, text] = Split(got);
        if (kind == kOut || kind == kErr) {
            std::ostream& to = kind == kOut ? out : err;
            to << Unescape(text) << '\n';
            to.flush();
        } else if (kind == kExit) {
            result.status = text == "0" ? 0 : 1;
            return result;
        } else if (kind == kFail) {
            err << "korvo: " << Unescape(text) << '\n';
            return result;
        }
    }
}

// ---- mailto: links ---------------------------------------------------------------------------

namespace {
constexpr std::string_view kMailto = "mailto";
}  // namespace

std::string MailtoRequestLine(std::string_view link) {
    return Line(kMailto, Escape(link));
}

bool HandOffMailto(const std::string& dataDir, std::string_view link,
                   std::chrono::milliseconds answer) {
    std::unique_ptr<InstanceConnection> desktop = InstanceConnection::Connect(dataDir);
    if (!desktop || !desktop->Send(MailtoRequestLine(link))) return false;
    const auto deadline = Clock::now() + answer;
    std::string line;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || desktop->ReadLine(&line, left) != Read::kLine) return false;
        if (line == kAccepted) return true;
        if (Split(line).first == kFail) return false;
    }
}

bool AnswerMailtoRequest(std::string_view request, InstanceConnection& peer,
                         const std::function<bool(const std::string& link)>& open) {
    const auto [kind, text] = Split(request);
    if (kind != kMailto) return false;
    if (open(Unescape(text))) {
        peer.Send(kAccepted);
    } else {
        peer.Send(Line(kFail, "the link was not taken"));
    }
    return true;
}

// ---- the desktop's side --------------------------------------------------------------------

TaskHandOff::~TaskHandOff() {
    TasksDropped(kClosing);
}

namespace {

// Each line of `text` as a line of `kind`.
void SendLines(InstanceConnection& peer, std::string_view kind, const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) peer.Send(Line(kind, Escape(line)));
}

void SendOutcome(InstanceConnection& peer, int status, const std::string& out,
                 const std::string& err) {
    SendLines(peer, kErr, err);
    SendLines(peer, kOut, out);
    peer.Send(Line(kExit, std::to_string(status)));
}

}  // namespace

void TaskHandOff::TakeTransfer(std::string_view arguments,
                               std::shared_ptr<InstanceConnection> peer) {
    std::vector<std::string> args{"korvo"};
    for (size_t from = 0;;) {
        const size_t tab = arguments.find('\t', from);
        args.push_back(Unescape(arguments.substr(from, tab - from)));
        if (tab == std::string_view::npos) break;
        from = tab + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    MailTransferRequest request;
    std::string error;
    bool valid = true;
    for (int i = 1; valid && i < int(argv.size()); ++i)
        valid = ParseTransferArgument(int(argv.size()), argv.data(), &i, &request, &error) > 0;
    if (!valid || !CheckTransferRequest(request, &error) ||
        request.kind == MailTransferRequest::Kind::kNone) {
        peer->Send(Line(kFail, Escape("bad transfer request: " + error)));
        return;
    }
    if (!queue_.CanQueue()) {
        peer->Send(Line(kFail, kClosing));
        return;
    }
    if (request.kind != MailTransferRequest::Kind::kImport) {
        // Quick enough to run here and now.
        std::ostringstream out, err;
        const int status = RunMailTransfer(sys_, request, out, err);
        peer->Send(kAccepted);
        SendOutcome(*peer, status, out.str(), err.str());
        return;
    }
    baseDataStruct* box = FindBoxByPath(sys_, request.box, &error);
    if (!box) {
        peer->Send(kAccepted);
        SendOutcome(*peer, 1, "", "korvo: " + error + "\n");
        return;
    }
    auto result = std::make_shared<ImportResult>();
    const std::optional<uint32_t> id = queue_.QueueImport(
        box, request.paths, [result](const ImportResult& got) { *result = got; });
    if (!id) {
        peer->Send(Line(kFail, "the import could not be queued"));
        return;
    }
    peer->Send(kAccepted);
    requests_.push_back({std::move(peer), {*id}, std::move(result)});
}

void TaskHandOff::Take(const std::string& request, std::shared_ptr<InstanceConnection> peer) {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    if (!peer) return;
    if (const auto [kind, text] = Split(request); kind == kTransfer) {
        TakeTransfer(text, std::move(peer));
        return;
    }
    int type = -1;
    for (int t : {kTaskReceive, kTaskPreview, kTaskSend}) {
        if (request == TaskRequestLine(t)) type = t;
    }
    if (type < 0) {
        peer->Send(Line(kFail, Escape("unknown request: " + request)));
        return;
    }
    if (!queue_.CanQueue()) {
        peer->Send(Line(kFail, kClosing));
        return;
    }
    std::vector<std::string> notes;
    Request taken{std::move(peer), {}, nullptr};
    for (const TaskTarget& target : FindTaskTargets(sys_, &notes)) {
        const std::optional<uint32_t> id = queue_.QueueTask(target.account, type);
        if (!id) {
            taken.peer->Send(Line(kFail, "the tasks could not be queued"));
            return;
        }
        if (std::find(taken.waiting.begin(), taken.waiting.end(), *id) == taken.waiting.end())
            taken.waiting.push_back(*id);
    }
    taken.peer->Send(kAccepted);
    for (const std::string& note : notes) taken.peer->Send(Line(kNote, Escape(note)));
    if (taken.waiting.empty()) {
        taken.peer->Send(Line(kNote, kNoAccountsNote));
        taken.peer->Send(kDone);
        return;
    }
    requests_.push_back(std::move(taken));
}

void TaskHandOff::TaskEnded(uint32_t taskId, const std::vector<std::string>& cells) {
    std::string row(kRow);
    for (size_t i = 0; i < cells.size(); ++i) {
        row += i == 0 ? ' ' : '\t';
        row += Escape(cells[i]);
    }
    for (auto it = requests_.begin(); it != requests_.end();) {
        auto at = std::find(it->waiting.begin(), it->waiting.end(), taskId);
        if (at != it->waiting.end() && it->import) {
            std::ostringstream out, err;
            const int status = ReportImport(*it->import, out, err);
            SendOutcome(*it->peer, status, out.str(), err.str());
            it = requests_.erase(it);
            continue;
        }
        if (at != it->waiting.end()) {
            it->waiting.erase(at);
            it->peer->Send(row);
            if (it->waiting.empty()) {
                it->peer->Send(kDone);
                it = requests_.erase(it);
                continue;
            }
        }
        ++it;
    }
}

void TaskHandOff::TasksDropped(const std::string& why) {
    for (Request& request : requests_) request.peer->Send(Line(kFail, Escape(why)));
    requests_.clear();
}

void TaskHandOff::KeepAlive() {
    // A peer that has gone no longer waits; its tasks run on for the user.
    std::erase_if(requests_, [](Request& request) { return !request.peer->Send(kWait); });
}

}  // namespace korvo
