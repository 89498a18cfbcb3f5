// The desktop notification of new mail: the receive worker reports each letter it stores in a
// receive box, and when the tasks end the desktop shows one notification with the count and the
// first senders. A user whose `NewMailNotice` key is "0" gets none. Letters for which a filter
// rule asked a Message are listed in the same notification whatever that key says; the tray
// animation (PlayIcon) and the sounds (Voice) the rules asked for come with it.
#pragma once

#include <string>
#include <vector>

#include "model/settings_forms.h"
#include "store/node.h"
#include "transport/receive_mail.h"

namespace korvo {

// Whether `user` wants the notification (on unless the key says "0").
bool NewMailNoticeWanted(const baseDataStruct* user);

class NewMailNotice {
  public:
    // A letter arrived from `sender` (a decoded display name or address).
    void Arrived(std::string sender);
    // What the rules asked for on a letter's arrival.
    void RulesAsked(const ArrivedLetter& letter);
    // The notification for what arrived since the last one, and nothing until more arrives;
    // an empty title when nothing did.
    struct Text {
        std::string title;  // "3 new letters"
        std::string body;   // "From Ann, Bob, Cy and 2 more" (letters from others)
        bool playIcon = false;
        std::vector<std::string> voices;  // each file once
    };
    Text Take();

  private:
    static constexpr size_t kNamedSenders = 3;
    static constexpr size_t kNamedMatches = 5;
    int count_ = 0;
    std::vector<std::string> senders_;  // distinct, in order of arrival, at most kNamedSenders
    int unnamed_ = 0;                   // letters from senders beyond those
    std::vector<std::string> matched_;  // "subject (sender)" of the Message letters, in order
    bool playIcon_ = false;
    std::vector<std::string> voices_;
};

}  // namespace korvo
