#include "shell/new_mail_notice.h"

#include <algorithm>

namespace korvo {

bool NewMailNoticeWanted(const baseDataStruct* user) {
    return !user || getinfo(user, kThisNode, kNewMailNoticeKey) != "0";
}

void NewMailNotice::Arrived(std::string sender) {
    ++count_;
    if (sender.empty()) sender = "(no sender)";
    if (std::find(senders_.begin(), senders_.end(), sender) != senders_.end()) return;
    if (senders_.size() < kNamedSenders) {
        senders_.push_back(std::move(sender));
    } else {
        ++unnamed_;
    }
}

NewMailNotice::Text NewMailNotice::Take() {
    Text text;
    if (count_ == 0) return text;
    text.title = count_ == 1 ? "1 new letter" : std::to_string(count_) + " new letters";
    text.body = "From ";
    for (size_t i = 0; i < senders_.size(); ++i) {
        if (i > 0) text.body += (i + 1 == senders_.size() && unnamed_ == 0) ? " and " : ", ";
        text.body += senders_[i];
    }
    if (unnamed_ > 0) text.body += " and " + std::to_string(unnamed_) + " more";
    *this = NewMailNotice();
    return text;
}

}  // namespace korvo
