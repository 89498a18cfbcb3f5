// The outbox of an account over the program's stores: the letters of its prepare box and of
// its send box, which live in the user's mail store behind the boxes' links.
#pragma once

#include <memory>

#include "model/data_stores.h"
#include "transport/outbox.h"

namespace korvo {

// `hooks.store` and `hooks.load` are filled in here (the mail store writes and reads the
// letters); the caller gives showRow, failed and the model lock. The boxes are looked up again
// at every call, so a mail store that switched files in between is followed.
std::unique_ptr<NodeOutbox> MakeAccountOutbox(CDataStores& stores, baseDataStruct* account,
                                              OutboxHooks hooks = {});

}  // namespace korvo
