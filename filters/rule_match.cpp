#include "filters/rule_match.h"

#include <algorithm>
#include <charconv>

#include "filters/rule_tables.h"

namespace korvo {
namespace {

constexpr int kSizeIndex = 9;  // Size in CompiledRule::fields
enum {
    kEqual = 1,
    kUnequal,
    kComprise,
    kUncomprise,
    kAny,
    kAll,
    kIs = 7,
    kIsNot,
    kBetween,
    kAtMost,
    kAtLeast
};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ReadNumber(std::string_view text, long* out) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// A field code: whether it is in force; false for an absent or switched-off condition.
// Sets `bad` for a code that cannot be decided.
bool ReadTest(int field, std::string_view code, RuleTest* test, bool* bad) {
    if (!StartsWith(code, "[E]")) return false;
    code.remove_prefix(3);
    if (code.size() < 4 || code[0] != '[' || code[3] != ']') return *bad = true, false;
    test->field = field;
    test->op = (code[1] - '0') * 10 + (code[2] - '0');
    code.remove_prefix(4);
    if (!StartsWith(code, "[Value]") || StartsWith(code, "[Value][Marco]"))
        return *bad = true, false;
    code.remove_prefix(7);
    const bool size = field == kSizeIndex;
    if (size != (test->op >= kIs && test->op <= kAtLeast)) return *bad = true, false;
    if (!size) {
        test->value = FoldCase(code);
        test->words = WordSearch(test->value);
        size_t at = 0;
        while (at < test->value.size()) {
            const size_t end = std::min(test->value.find(' ', at), test->value.size());
            if (end > at) test->wordList.push_back(test->value.substr(at, end - at));
            at = end + 1;
        }
        return true;
    }
    if (test->op == kBetween) {
        const size_t join = code.find(kBetweenJoin);
        if (join == std::string_view::npos || !ReadNumber(code.substr(0, join), &test->low) ||
            !ReadNumber(code.substr(join + kBetweenJoin.size()), &test->high))
            return *bad = true, false;
        if (test->low > test->high) std::swap(test->low, test->high);
        return true;
    }
    if (!ReadNumber(code, &test->low)) return *bad = true, false;
    return true;
}

// The value of an action in force, or "".
std::string ActionValue(const std::string& code) {
    return StartsWith(code, "[E]") ? code.substr(3) : std::string();
}

const std::vector<std::string>* Entries(const LetterFacts& letter, int field) {
    switch (field) {
        case 0:
            return &letter.senderNames();
        case 1:
            return &letter.senderMails();
        case 2:
            return &letter.ccNames();
        case 3:
            return &letter.ccMails();
        case 6:
            return &letter.attachmentNames();
        case 7:
            return &letter.receiverNames();
        case 8:
            return &letter.receiverMails();
        default:
            return nullptr;
    }
}

bool TextHolds(const RuleTest& test, std::string_view text) {
    switch (test.op) {
        case kEqual:
        case kUnequal:
            return text == test.value;
        case kComprise:
        case kUncomprise:
            return text.find(test.value) != std::string_view::npos;
        case kAny:
            return std::any_of(test.wordList.begin(), test.wordList.end(), [&](const auto& w) {
                return text.find(w) != std::string_view::npos;
            });
        default:
            return false;
    }
}

bool Holds(const RuleTest& test, const LetterFacts& letter) {
    if (test.field == kSizeIndex) {
        const long kb = letter.sizeKb();
        switch (test.op) {
            case kIs:
                return kb == test.low;
            case kIsNot:
                return kb != test.low;
            case kBetween:
                return kb >= test.low && kb <= test.high;
            case kAtMost:
                return kb <= test.low;
            default:
                return kb >= test.low;
        }
    }
    std::vector<std::string_view> texts;
    if (const std::vector<std::string>* entries = Entries(letter, test.field)) {
        texts.assign(entries->begin(), entries->end());
    } else {
        texts.push_back(test.field == 4 ? letter.subject() : letter.text());
    }
    if (test.op == kAll) {
        std::vector<std::string> folded(texts.begin(), texts.end());
        return test.words.MatchesFolded(folded);
    }
    const bool any = std::any_of(texts.begin(), texts.end(),
                                 [&](std::string_view t) { return TextHolds(test, t); });
    return test.op == kUnequal || test.op == kUncomprise ? !any : any;
}

}  // namespace

std::optional<ReadyRule> PrepareRule(const CompiledRule& compiled, std::string name) {
    if (compiled.incomplete) return std::nullopt;
    ReadyRule rule;
    rule.name = std::move(name);
    rule.all = compiled.allConditions;
    rule.haveAttachment = compiled.haveAttachment;
    for (size_t f = 0; f < compiled.fields.size(); ++f) {
        RuleTest test;
        if (ReadTest(static_cast<int>(f), compiled.fields[f], &test, &rule.bad))
            rule.tests.push_back(std::move(test));
    }
    // Order: CopyTo, MoveTo, Voice, Forward, AutoBack, MarkStyle, MarkColor.
    rule.copyTo = ActionValue(compiled.actions[0]);
    rule.moveTo = ActionValue(compiled.actions[1]);
    rule.markStyle = ActionValue(compiled.actions[5]);
    rule.markColor = ActionValue(compiled.actions[6]);
    rule.voice = ActionValue(compiled.actions[2]);
    rule.forward = ActionValue(compiled.actions[3]);
    rule.autoBack = ActionValue(compiled.actions[4]);
    rule.autoHide = compiled.autoHide;
    rule.deleteAfter = compiled.deleteAfter;
    rule.deleteAtOnce = compiled.deleteAtOnce;
    rule.headerOnly = !rule.haveAttachment &&
                      std::none_of(rule.tests.begin(), rule.tests.end(),
                                   [](const RuleTest& t) { return t.field == 5 || t.field == 6; });
    rule.message = compiled.message;
    rule.playIcon = compiled.playIcon;
    return rule;
}

bool RuleMatches(const ReadyRule& rule, const LetterFacts& letter) {
    if (rule.bad) return false;
    if (rule.tests.empty() && !rule.haveAttachment) return false;
    if (rule.haveAttachment && !letter.hasAttachment()) return false;
    if (rule.tests.empty()) return true;
    auto holds = [&](const RuleTest& t) { return Holds(t, letter); };
    return rule.all ? std::all_of(rule.tests.begin(), rule.tests.end(), holds)
                    : std::any_of(rule.tests.begin(), rule.tests.end(), holds);
}

}  // namespace korvo
