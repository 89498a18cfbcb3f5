// The work of the program's tasks: a session for the account, bound to the task record, then
// sending the prepare box or receiving in the task's mode. Runs on the worker thread; every
// step that touches nodes or the stores holds the model lock, none holds it while it waits on
// the network.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/data_stores.h"
#include "platform/tcp_socket.h"
#include "transport/letter_import.h"
#include "transport/net_rp.h"
#include "transport/receive_mail.h"
#include "transport/task_engine.h"

namespace korvo {

// Receives for `account` in `mode` with a session that is bound to the task already.
using ReceiveRunner = std::function<void(CNetRP& session, baseDataStruct* account, int mode)>;

TaskWork MakeTaskWork(CDataStores& stores, ReceiveRunner receive, SocketTimeouts timeouts = {});

// Receiving into the stores with ReceiveMail under the model lock; `listener` (which must
// outlive the runner) learns about letters and boxes that changed.
// `rules`, when given, decides where each received letter goes.
ReceiveRunner MakeReceiveRunner(CDataStores& stores, LetterListener& listener,
                                ArrivalRulesSource rules = {});

// Finds a live account of the system store by node id, under the model lock: the account
// itself, or none when no node has that id any more or it is not under an account.
AccountLookup MakeAccountLookup(CDataStores& stores);

// An import as a task (shown as "Import" in the task list): the files of `paths` into the box
// of the system store with id `boxId`, letter by letter under the model lock. The task's
// Cancel ends it; the letters stored until then stay. Its Info says how many came in; a
// cancelled or failed import has the State "Faile". `done`, when given, gets the result on the
// worker thread. `listener` must outlive the job.
inline constexpr char kImportTaskName[] = "Import";
TaskJob MakeImportJob(CDataStores& stores, uint32_t boxId, std::vector<std::string> paths,
                      LetterListener* listener,
                      std::function<void(const ImportResult&)> done = {});

// "3 letters imported", with ", 1 skipped" and ", cancelled" when so.
std::string ImportSummary(const ImportResult& result);

}  // namespace korvo
