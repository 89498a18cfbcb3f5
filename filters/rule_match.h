// Filter rules made ready to test letters, and the test itself.
//
// Matching, field by field (all texts decoded to UTF-8; case ignored by simple case folding):
// - Subject is the decoded subject; Sender, CC and Receiver the names of the From, Cc and To
//   entries; SenderMail, CCMail and ReceiverMail their bare addresses; Text the decoded text of
//   the body's text parts; Attachment the attachment names.
// - `equal` / `unequal`: the whole field is (is not) the value; for a field of several entries
//   (addresses, attachment names) any one entry counts.
// - `comprise` / `uncomprise`: the value is (is not) a part of the field (of any one entry).
// - `CompriseAny` / `CompriseAll`: the value is split into words at blanks; any one word /
//   every word occurs in the field.
// - Size is the letter's size in kilobytes (1024 bytes, rounded up); `=`, `!=`, `<=`, `>=`
//   and `between` ("10 and 200", both ends included) compare it.
// - Conditions switched off (State =true) are left out. `AllCondition` needs every remaining
//   condition to hold, `AnyCondition` one of them. `HaveAttachment =true` requires an
//   attachment in either case. A rule with nothing left to test matches no letter.
// - A rule that is not valid (no CheckCondition) is never used. A condition the rules cannot
//   decide (a number operator on a text field, a text operator on Size, a size that is no
//   number, a macro in place of a value) makes the rule bad: it is skipped and named.
#pragma once

#include <string>
#include <vector>

#include "content/text_search.h"
#include "filters/compiled_rule.h"
#include "filters/letter_facts.h"

namespace korvo {

struct RuleTest {
    int field = 0;      // index into CompiledRule::fields
    int op = 0;         // operator number
    std::string value;  // folded
    WordSearch words;   // for CompriseAny / CompriseAll
    std::vector<std::string> wordList;
    long low = 0, high = 0;  // Size
};

struct ReadyRule {
    std::string name;
    bool bad = false;  // a condition or action that cannot be decided
    bool all = true;
    bool haveAttachment = false;
    std::vector<RuleTest> tests;
    // Action values of the actions in force ("" when none).
    std::string moveTo, copyTo, markColor, markStyle, voice, forward, autoBack;
    bool autoHide = false, deleteAfter = false, deleteAtOnce = false;
    bool headerOnly = false;  // tests header fields and the size only
    bool message = false, playIcon = false;
};

// None for a rule that is not valid.
std::optional<ReadyRule> PrepareRule(const CompiledRule& compiled, std::string name);

bool RuleMatches(const ReadyRule& rule, const LetterFacts& letter);

}  // namespace korvo
