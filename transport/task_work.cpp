#include "transport/task_work.h"

#include <mutex>

#include "model/sys_schema.h"
#include "platform/model_lock.h"
#include "store/node_tree.h"
#include "transport/account_outbox.h"
#include "transport/session_view.h"

namespace korvo {

TaskWork MakeTaskWork(CDataStores& stores, ReceiveRunner receive, SocketTimeouts timeouts) {
    return [&stores, receive = std::move(receive), timeouts](
               baseDataStruct* account, TaskRecord& record, const TaskAction& action) {
        CNetRP session(timeouts);
        {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            session.InitialzeAccount(account, &record);
        }
        if (record.view) {
            record.view->SetCaption("Receive Letter");
            record.view->SetProgress(0);
        }
        if (action.kind == TaskAction::kSend) {
            OutboxHooks hooks;
            hooks.modelLock = &ModelLock();
            auto outbox = MakeAccountOutbox(stores, account, hooks);
            session.SendMail(*outbox);
            // Letters marked sent must stay so: a letter sent twice is the lesser harm, but
            // one the user sees as unsent after a crash is sent again for nothing.
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            stores.mail().DataSync();
        } else if (action.kind == TaskAction::kReceive && receive) {
            receive(session, account, action.receiveMode);
        }
        // Whatever the task did, a write that did not happen is not a success.
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        for (CBaseDataManage* store : {static_cast<CBaseDataManage*>(&stores.mail()),
                                       static_cast<CBaseDataManage*>(&stores.sys())}) {
            if (store->failed()) {
                record.stateText = "Faile";
                record.infoText = store->failureText();
                break;
            }
        }
    };
}

ReceiveRunner MakeReceiveRunner(CDataStores& stores, LetterListener& listener,
                                ArrivalRulesSource rules) {
    return [&stores, &listener, rules = std::move(rules)](CNetRP& session, baseDataStruct* account,
                                                          int mode) {
        std::unique_ptr<ArrivalRules> ready;
        if (rules && account) {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            ready = rules(account);
        }
        ReceiveMail(ReceiveContext{session, stores.sys(), listener, &ModelLock(), ready.get()},
                    mode);
        // Letters the rules wrote (forwards, answers) go out with a send that follows.
        bool wrote = false;
        {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            wrote = ready && ready->OutgoingBox();
        }
        if (wrote && !(session.task() && session.task()->cancel.load())) {
            OutboxHooks hooks;
            hooks.modelLock = &ModelLock();
            hooks.showRow = [&listener](baseDataStruct* letter) { listener.ShowLetter(letter); };
            auto outbox = MakeAccountOutbox(stores, account, hooks);
            session.SendMail(*outbox);
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            stores.mail().DataSync();
        }
    };
}

AccountLookup MakeAccountLookup(CDataStores& stores) {
    return [&stores](uint32_t nodeId) -> baseDataStruct* {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        baseDataStruct* node = findid(stores.sys().root(), nodeId);
        return node ? stores.sys().DataGetSysPoint(node, kKindAccount) : nullptr;
    };
}

}  // namespace korvo
