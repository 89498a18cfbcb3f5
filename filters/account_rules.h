// The filter rules of an account, in the order they apply: the rules of the account's filter
// folders, then those of the user's filter sets, each folder in its list order. Rules are
// compiled from their rule text, so the stored compiled record never goes stale here.
//
// AccountRules is also the ArrivalRules of a receive pass.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "filters/rule_letters.h"
#include "filters/rule_match.h"
#include "model/sys_data.h"
#include "transport/arrival_rules.h"

namespace korvo {

class AccountRules : public ArrivalRules {
  public:
    // Reads the rules of `account` (a node of `sys`). Both must outlive this.
    AccountRules(CSysData& sys, baseDataStruct* account);

    const std::vector<ReadyRule>& rules() const { return rules_; }
    bool empty() const { return rules_.empty(); }

    // Every matching rule contributes; the first one with MoveTo names the box. A rule whose
    // box is unknown is skipped (and named). Forwards and answers are written by Stored().
    ArrivalDecision Decide(std::string_view raw, long bytes) override;
    std::vector<baseDataStruct*> Stored() override;
    // DeleteAtonce rules that test header fields and the size only are decided on the header
    // block; the others delete the letter once it is stored, as DeleteAfter does.
    bool DecidesOnHeaders() const override { return headerRules_; }
    bool DeleteAtOnce(std::string_view header, long bytes) override;
    baseDataStruct* OutgoingBox() const override {
        return wrote_ ? letters_.prepareBox() : nullptr;
    }
    std::vector<std::string> SkippedRules() const override {
        return {skipped_.begin(), skipped_.end()};
    }

    // The box written as BoxChoiceText, among the boxes of the account's user; null if none.
    baseDataStruct* FindBox(const std::string& choice);

  private:
    CSysData& sys_;
    baseDataStruct* user_ = nullptr;
    std::vector<ReadyRule> rules_;
    std::set<std::string> skipped_;
    RuleLetters letters_;
    // Of the letter last decided: its text and the rules that write about it.
    std::string pendingRaw_;
    std::vector<const ReadyRule*> pending_;
    bool wrote_ = false;
    bool headerRules_ = false;
};

// The source of AccountRules for the receive passes over `sys` (which must outlive it).
ArrivalRulesSource AccountRulesSource(CSysData& sys);

}  // namespace korvo
