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

void NewMailNotice::RulesAsked(const ArrivedLetter& letter) {
    playIcon_ = playIcon_ || letter.playIcon;
    if (!letter.voice.empty() &&
        std::find(voices_.begin(), voices_.end(), letter.voice) == voices_.end())
        voices_.push_back(letter.voice);
    if (!letter.message) return;
    const std::string sender = letter.sender.empty() ? "(no sender)" : letter.sender;
    matched_.push_back((letter.subject.empty() ? "(no subject)" : letter.subject) + " (" + sender +
                       ")");
}

NewMailNotice::Text NewMailNotice::Take() {
    Text text;
    text.playIcon = playIcon_;
    text.voices = std::move(voices_);
    if (count_ > 0) {
        text.title = count_ == 1 ? "1 new letter" : std::to_string(count_) + " new letters";
        text.body = "From ";
        for (size_t i = 0; i < senders_.size(); ++i) {
            if (i > 0) text.body += (i + 1 == senders_.size() && unnamed_ == 0) ? " and " : ", ";
            text.body += senders_[i];
        }
        if (unnamed_ > 0) text.body += " and " + std::to_string(unnamed_) + " more";
    } else if (!matched_.empty()) {
        text.title =
            std::to_string(matched_.size()) +
            (matched_.size() == 1 ? " letter for a filter rule" : " letters for filter rules");
    }
    if (!matched_.empty()) {
        if (!text.body.empty()) text.body += "\n";
        text.body += "Filter rules:";
        const size_t shown = std::min(matched_.size(), kNamedMatches);
        for (size_t i = 0; i < shown; ++i) text.body += "\n" + matched_[i];
        if (matched_.size() > shown)
            text.body += "\nand " + std::to_string(matched_.size() - shown) + " more";
    }
    *this = NewMailNotice();
    return text;
}

}  // namespace korvo
