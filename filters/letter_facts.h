// The fields of a letter that filter rules test, read once per letter from its raw text.
//
// Texts are decoded to UTF-8 and folded (FoldCase), so rules compare them ignoring case. Names
// and addresses are kept per entry of their address list. The body text and the attachment
// names are read on first use only, since most rules never look at them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

class LetterFacts {
  public:
    // `raw` must outlive the facts. `bytes` is the letter's size (as the server gave it).
    LetterFacts(std::string_view raw, long bytes);

    const std::string& subject() const { return subject_; }
    const std::vector<std::string>& senderNames() const { return from_.names; }
    const std::vector<std::string>& senderMails() const { return from_.mails; }
    const std::vector<std::string>& ccNames() const { return cc_.names; }
    const std::vector<std::string>& ccMails() const { return cc_.mails; }
    const std::vector<std::string>& receiverNames() const { return to_.names; }
    const std::vector<std::string>& receiverMails() const { return to_.mails; }
    // The text of the body's text parts, joined by line ends.
    const std::string& text() const;
    const std::vector<std::string>& attachmentNames() const;
    bool hasAttachment() const;
    // The size in kilobytes of 1024 bytes, rounded up.
    long sizeKb() const { return sizeKb_; }

  private:
    struct Addresses {
        std::vector<std::string> names;
        std::vector<std::string> mails;
    };
    static Addresses ReadAddresses(std::string_view header, std::string_view field);
    void ReadBody() const;

    std::string_view raw_;
    std::string subject_;
    Addresses from_, cc_, to_;
    long sizeKb_ = 0;
    mutable bool bodyRead_ = false;
    mutable std::string text_;
    mutable std::vector<std::string> attachments_;
};

}  // namespace korvo
