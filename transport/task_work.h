// The work of the program's tasks: a session for the account, bound to the task record, then
// sending the prepare box or receiving in the task's mode. Runs on the worker thread; every
// step that touches nodes or the stores holds the model lock, none holds it while it waits on
// the network.
#pragma once

#include <functional>

#include "model/data_stores.h"
#include "platform/tcp_socket.h"
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

}  // namespace korvo
