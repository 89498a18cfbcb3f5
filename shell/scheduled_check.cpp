#include "shell/scheduled_check.h"

#include <mutex>

#include "model/sys_schema.h"
#include "platform/model_lock.h"

namespace korvo {
namespace {

// The period of a user or account, or 0 when its checking is off. A period that is not a
// positive number never runs out, so it counts as off.
long Period(const baseDataStruct* node) {
    const long period = TextToLong(getinfo(node, kThisNode, "checkTimer"));
    if (period <= 0 || getinfo(node, kThisNode, "check") != "1") return 0;
    return period;
}

void SetRunTime(baseDataStruct* node, long value) {
    setinfo(node, kThisNode, "RunTime", LongToText(value));
}

// Counts `node`'s RunTime down by one minute of `period`; true when the period wrapped.
bool CountDown(baseDataStruct* node, long period) {
    const std::string text = getinfo(node, kThisNode, "RunTime");
    long left = text == kAbsent ? 0 : TextToLong(text);
    if (left < 0 || left > period) left = period;
    const long next = left != 0 ? left - 1 : period;
    SetRunTime(node, next);
    return next == period;
}

}  // namespace

void CScheduledCheck::Tick() {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    for (baseDataStruct* user = sys_.root()->firstSon(); user; user = user->nextBrother()) {
        if (getinfo(user, kThisNode, "type") != "User") continue;
        const long userPeriod = Period(user);
        const bool userWrapped = userPeriod != 0 && CountDown(user, userPeriod);
        baseDataStruct* accounts = sys_.DataGetSysPoint(user, kKindUATree);
        for (baseDataStruct* account = accounts ? accounts->firstSon() : nullptr; account;
             account = account->nextBrother()) {
            if (getinfo(account, kThisNode, "type") != "Account") continue;
            const long period = Period(account);
            const bool wrapped = period != 0 && CountDown(account, period);
            if (wrapped || userWrapped) receive_(account);
            if (wrapped) SetRunTime(account, period - 1);
        }
        if (userWrapped) SetRunTime(user, userPeriod - 1);
    }
}

}  // namespace korvo
