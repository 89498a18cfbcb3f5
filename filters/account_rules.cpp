#include "filters/account_rules.h"

#include <algorithm>

#include "filters/filter_editor.h"
#include "model/sys_schema.h"

namespace korvo {
namespace {

constexpr int kRuleBlocks = kLoadProperty | kLoadSdata;

// The filter folders under `node`, in tree order.
void CollectFolders(baseDataStruct* node, std::vector<baseDataStruct*>& out) {
    for (baseDataStruct* son = node ? node->firstSon() : nullptr; son; son = son->nextBrother()) {
        if (getinfo(son, kThisNode, "type") == "FilterFolder") out.push_back(son);
        CollectFolders(son, out);
    }
}

baseDataStruct* FindBoxUnder(baseDataStruct* node, const std::string& choice) {
    for (baseDataStruct* son = node ? node->firstSon() : nullptr; son; son = son->nextBrother()) {
        if (getinfo(son, kThisNode, "type") == "Box" && teststate(son, STATE_VALID) &&
            BoxChoiceText(son) == choice)
            return son;
        if (baseDataStruct* found = FindBoxUnder(son, choice)) return found;
    }
    return nullptr;
}

}  // namespace

AccountRules::AccountRules(CSysData& sys, baseDataStruct* account)
    : sys_(sys), letters_(sys, account) {
    user_ = sys.DataGetSysPoint(account, kKindUser);
    std::vector<baseDataStruct*> folders;
    CollectFolders(sys.DataGetSysPoint(account, kKindPFTree), folders);
    if (user_) CollectFolders(sys.DataGetSysPoint(user_, kKindFilterSetBook), folders);
    for (baseDataStruct* folder : folders) {
        baseDataStruct* link = sys.mailBox().SysReadLinkTree(folder, kRuleBlocks);
        if (!link) continue;
        // The manager lists a folder's rules from its last node to its first.
        for (baseDataStruct* node = link->lastSon(); node; node = node->prevBrother()) {
            if (!teststate(node, STATE_VALID) || getinfo(node, kThisNode, "type") != "FilterInfo")
                continue;
            const std::string text(getdata(node, "SDATA").value_or(""));
            std::optional<ReadyRule> rule =
                PrepareRule(CompileRuleText(text), getinfo(node, kThisNode, "caption"));
            if (!rule) continue;
            if (rule->bad) {
                skipped_.insert(rule->name);
                continue;
            }
            headerRules_ = headerRules_ || (rule->deleteAtOnce && rule->headerOnly);
            rules_.push_back(std::move(*rule));
        }
    }
}

ArrivalRulesSource AccountRulesSource(CSysData& sys) {
    return [&sys](baseDataStruct* account) -> std::unique_ptr<ArrivalRules> {
        auto rules = std::make_unique<AccountRules>(sys, account);
        if (rules->empty() && rules->SkippedRules().empty()) return nullptr;
        return rules;
    };
}

baseDataStruct* AccountRules::FindBox(const std::string& choice) {
    return FindBoxUnder(user_, choice);
}

ArrivalDecision AccountRules::Decide(std::string_view raw, long bytes) {
    ArrivalDecision decision;
    pending_.clear();
    pendingRaw_.clear();
    if (rules_.empty()) return decision;
    const LetterFacts letter(raw, bytes);
    for (const ReadyRule& rule : rules_) {
        if (!RuleMatches(rule, letter)) continue;
        baseDataStruct* move = rule.moveTo.empty() ? nullptr : FindBox(rule.moveTo);
        baseDataStruct* copy = rule.copyTo.empty() ? nullptr : FindBox(rule.copyTo);
        if ((!rule.moveTo.empty() && !move) || (!rule.copyTo.empty() && !copy)) {
            skipped_.insert(rule.name);
            continue;
        }
        if (move && !decision.moveTo) decision.moveTo = move;
        if (copy) decision.copyTo.push_back(copy);
        decision.hide = decision.hide || rule.autoHide;
        decision.deleteAfter = decision.deleteAfter || rule.deleteAfter || rule.deleteAtOnce;
        if (decision.markColor.empty()) decision.markColor = rule.markColor;
        if (decision.markStyle.empty()) decision.markStyle = rule.markStyle;
        decision.message = decision.message || rule.message;
        decision.playIcon = decision.playIcon || rule.playIcon;
        if (decision.voice.empty()) decision.voice = rule.voice;
        if (!rule.forward.empty() || !rule.autoBack.empty()) pending_.push_back(&rule);
    }
    if (!pending_.empty()) pendingRaw_ = raw;
    return decision;
}

bool AccountRules::DeleteAtOnce(std::string_view header, long bytes) {
    if (!headerRules_) return false;
    const LetterFacts letter(header, bytes);
    return std::any_of(rules_.begin(), rules_.end(), [&](const ReadyRule& rule) {
        return rule.deleteAtOnce && rule.headerOnly && RuleMatches(rule, letter);
    });
}

std::vector<baseDataStruct*> AccountRules::Stored() {
    std::vector<baseDataStruct*> written;
    for (const ReadyRule* rule : pending_) {
        for (baseDataStruct* letter :
             {rule->forward.empty() ? nullptr : letters_.Forward(pendingRaw_, rule->forward),
              rule->autoBack.empty() ? nullptr : letters_.AutoBack(pendingRaw_, rule->autoBack)}) {
            if (letter) written.push_back(letter);
        }
    }
    pending_.clear();
    pendingRaw_.clear();
    if (!written.empty()) wrote_ = true;
    return written;
}

}  // namespace korvo
