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
        std::string title;
        {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            session.InitialzeAccount(account, &record);
            title = getinfo(account, kThisNode, "caption");
        }
        if (record.view) {
            record.view->SetTitle(title);
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

std::string ImportSummary(const ImportResult& result) {
    std::string text = std::to_string(result.stored) +
                       (result.stored == 1 ? " letter imported" : " letters imported");
    if (result.skipped > 0) text += ", " + std::to_string(result.skipped) + " skipped";
    if (result.cancelled) text += ", cancelled";
    return text;
}

TaskJob MakeImportJob(CDataStores& stores, uint32_t boxId, std::vector<std::string> paths,
                      LetterListener* listener, std::function<void(const ImportResult&)> done) {
    return [&stores, boxId, paths = std::move(paths), listener,
            done = std::move(done)](TaskRecord& record) {
        SessionView* view = record.view;
        baseDataStruct* box;
        std::string title;
        {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            box = findid(stores.sys().root(), boxId);
            if (box) title = getinfo(box, kThisNode, "caption");
        }
        if (view) view->SetTitle(title);
        ImportResult result;
        if (!box) {
            result.cancelled = true;
            result.problems.push_back("the box was deleted");
        } else {
            ImportOptions options;
            options.modelLock = &ModelLock();
            options.listener = listener;
            options.keepColumns = true;  // the desktop lists them
            options.cancelled = [&record] { return record.cancel.load(); };
            // The user may delete the box while the worker stores into it.
            options.boxAlive = [&stores, boxId, box] {
                return findid(stores.sys().root(), boxId) == box;
            };
            size_t at = 0;
            options.progress = [&](int percent) {
                if (!view) return;
                // Each path has an equal share of the bar.
                view->SetProgress(int((at * 100 + size_t(percent)) / paths.size()));
            };
            if (view) view->SetCaption("Import Letter");
            for (; at < paths.size() && !result.cancelled && !result.storageFailed; ++at) {
                if (view) view->SetStatus(paths[at]);
                const ImportResult part = ImportLetters(stores.sys(), box, {paths[at]}, options);
                result.stored += part.stored;
                result.skipped += part.skipped;
                result.storageFailed = part.storageFailed;
                result.cancelled = part.cancelled;
                result.problems.insert(result.problems.end(), part.problems.begin(),
                                       part.problems.end());
            }
        }
        record.stateText = result.ok() ? "Run over!" : "Faile";
        record.infoText = ImportSummary(result);
        if (!result.problems.empty()) record.infoText += ": " + result.problems.front();
        if (view) {
            view->SetProgress(100);
            view->SetStatus(ImportSummary(result));
        }
        if (done) done(result);
    };
}

}  // namespace korvo
