// The desktop notification of new mail: the receive worker reports each letter it stores in a
// receive box, and when the tasks end the desktop shows one notification with the count and the
// first senders. A user whose `NewMailNotice` key is "0" gets none.
#pragma once

#include <string>
#include <vector>

#include "model/settings_forms.h"
#include "store/node.h"

namespace korvo {

// Whether `user` wants the notification (on unless the key says "0").
bool NewMailNoticeWanted(const baseDataStruct* user);

class NewMailNotice {
  public:
    // A letter arrived from `sender` (a decoded display name or address).
    void Arrived(std::string sender);
    // The notification for what arrived since the last one, and nothing until more arrives;
    // an empty title when nothing did.
    struct Text {
        std::string title;  // "3 new letters"
        std::string body;   // "From Ann, Bob, Cy and 2 more" (letters from others)
    };
    Text Take();

  private:
    static constexpr size_t kNamedSenders = 3;
    int count_ = 0;
    std::vector<std::string> senders_;  // distinct, in order of arrival, at most kNamedSenders
    int unnamed_ = 0;                   // letters from senders beyond those
};

}  // namespace korvo
