// When a rule may send a letter of its own in answer to one that arrived, so that two programs
// that answer automatically can never keep each other busy.
//
// An automatic answer (AutoBack) goes to the letter's sender: the Return-Path address when the
// letter has one, else the From address. It is not sent to a letter that carries
// `Auto-Submitted` other than "no", `Precedence` bulk, list or junk, or a `List-Id`; to an
// empty sender or a MAILER-DAEMON or postmaster mailbox; to the account's own address; nor a
// second time on one day to the same sender. Answers carry `Auto-Submitted: auto-replied`.
// A letter forwarded by a rule carries kRuleForwardedHeader and is never forwarded again.
#pragma once

#include <string>
#include <string_view>

namespace korvo {

inline constexpr std::string_view kAutoRepliedHeader = "Auto-Submitted: auto-replied\r\n";
inline constexpr std::string_view kRuleForwardedHeader = "X-Korvo-Rule-Forwarded: yes\r\n";
// The user key that lists the senders answered today: "YYYYMMDD addr addr ...".
inline constexpr std::string_view kAnsweredKey = "AutoBackAnswered";

enum class AnswerBar {
    kNone,           // may be answered
    kAutoSubmitted,  // Auto-Submitted other than "no"
    kMassMail,       // Precedence bulk/list/junk, or List-Id
    kNoSender,       // empty, MAILER-DAEMON or postmaster
    kOwnAddress,
    kAnsweredToday,
};

// The address an answer to the letter with header block `header` goes to (lower case), or ""
// when it has none.
std::string AnswerAddress(std::string_view header);

// Why the letter may not be answered automatically. `answered` is the value of kAnsweredKey,
// `today` the date as YYYYMMDD.
AnswerBar AutoAnswerBar(std::string_view header, std::string_view ownAddress,
                        std::string_view answered, std::string_view today);

// kAnsweredKey's value once `address` has been answered on `today`.
std::string AnsweredWith(std::string_view answered, std::string_view today,
                         std::string_view address);

// Whether a rule of this program forwarded the letter.
bool ForwardedByRule(std::string_view header);

}  // namespace korvo
