// What the receive benchmarks share: a median, a bench account in the current data directory,
// one receive pass with nothing shown, and a run of the comparison client mpop.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "model/data_stores.h"
#include "model/sys_schema.h"
#include "store/node_tree.h"
#include "transport/net_rp.h"
#include "transport/receive_mail.h"
#include "transport/task_record.h"

namespace korvo::bench {

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A user "Bench" with one account "Work" that reads `user` from the POP3 server on
// 127.0.0.1:`port`; letters are deleted there unless `keepOnServer`.
inline baseDataStruct* MakeBenchAccount(CDataStores& stores, uint16_t port, const std::string& user,
                                        const std::string& password, bool keepOnServer = false) {
    baseDataStruct* owner =
        addson(stores.sys().root(), "%s", "type =User ,caption =Bench ,SaveFile =system.sdb");
    stores.sys().SysCreateUser(owner, nullptr, kNoItem);
    baseDataStruct* account = addson(stores.sys().DataGetSysPoint(owner, kKindUATree), "%s",
                                     "type =Account ,caption =Work");
    stores.sys().SysCreateAccount(account, nullptr, kNoItem);
    setinfo(account, kThisNode, "pop3Server", "127.0.0.1");
    setinfo(account, kThisNode, "pop3Port", std::to_string(port));
    setinfo(account, kThisNode, "username", user);
    setinfo(account, kThisNode, "password", password);
    setinfo(account, kThisNode, "keepOnServer", keepOnServer ? "1" : "0");
    stores.sys().DataSaveList(account, 1);
    return account;
}

// One receive pass of `mode` for `account`, with no window to show it, under `rules` when
// given; the task's result.
inline int ReceiveQuietly(CDataStores& stores, baseDataStruct* account, int mode,
                          ArrivalRules* rules = nullptr) {
    class QuietListener : public LetterListener {
      public:
        void ShowLetter(baseDataStruct*) override {}
        void BoxChanged(baseDataStruct*) override {}
    } listener;
    TaskRecord task;
    task.mailIdList = "-1";
    CNetRP session;
    session.InitialzeAccount(account, &task);
    std::recursive_mutex lock;
    ReceiveMail({session, stores.sys(), listener, &lock, rules}, mode);
    return task.result;
}

// mpop on the account "bench" of `conf`; its exit status, or -1.
inline int RunMpop(const std::string& conf) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("mpop", "mpop", "-q", "-C", conf.c_str(), "bench", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace korvo::bench
