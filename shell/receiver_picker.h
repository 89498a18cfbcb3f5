// Picking receivers from the address book: the composer's "receiver", "cc" and "confidential"
// buttons and the filter editor's Forward action open the address selection dialog with the
// three receiver lines and take its three lines back on OK. The wx program implements it with
// the dialog; tests use scripted pickers.
#pragma once

#include <string>

#include "store/node.h"

namespace korvo {

// The three receiver lines, each in the form "name<address>,name<address>".
struct ReceiverLines {
    std::string to;
    std::string cc;
    std::string hidden;  // blind copies ("confidential")
};

class ReceiverPicker {
  public:
    virtual ~ReceiverPicker() = default;
    // Shows the address books of the user of `account` (a node of the account whose system
    // book is chosen first) with `lines` filled in; on OK replaces `lines` and returns true,
    // on Cancel leaves them and returns false.
    virtual bool PickReceivers(baseDataStruct* account, ReceiverLines& lines) = 0;
};

}  // namespace korvo
