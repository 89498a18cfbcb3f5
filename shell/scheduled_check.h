// The scheduled mail check, run by the frame's timer once a minute.
//
// Users and accounts carry `check` ("1" = on), `checkTimer` (the period in minutes) and
// `RunTime` (the minutes left, counted down here; missing reads as 0). A period "wraps" when
// its count runs out; an account is received when its own period or its user's period wrapped.
// A count of 0 wraps at the next minute, so switching checking on checks at once. The counts
// are written to the nodes in memory only; they are stored with the nodes' next save.
#pragma once

#include <functional>

#include "model/sys_data.h"
#include "store/node.h"

namespace korvo {

inline constexpr int kCheckTimerMs = 60000;

class CScheduledCheck {
  public:
    // `receive` queues a "Receive" task for an account.
    using QueueReceive = std::function<void(baseDataStruct* account)>;

    CScheduledCheck(CSysData& sys, QueueReceive receive)
        : sys_(sys), receive_(std::move(receive)) {}

    // One minute of the schedule: counts every user and account down and queues the accounts
    // that are due. Takes the model lock.
    void Tick();

  private:
    CSysData& sys_;
    QueueReceive receive_;
};

}  // namespace korvo
