// A receive fixture whose account has filter rules, with the boxes' letters by subject.
#pragma once

#include <string>
#include <vector>

#include "filters/filter_editor.h"
#include "filters/filter_manager.h"
#include "filters/rule_text.h"
#include "tests/transport/receive_fixture.h"

namespace korvo::test {

class RulesTest : public ReceiveTest {
  protected:
    // A rule appended to the account's filter folder (listed first, as the manager lists).
    void AddRule(const std::string& caption, const std::string& conditions,
                 const std::string& actions) {
        baseDataStruct* folder = sys().DataGetSysPoint(account, kKindPFTree)->firstSon();
        ASSERT_NE(folder, nullptr);
        baseDataStruct* link =
            mail().SysReadLinkTree(folder, kLoadProperty | kLoadStrdata | kLoadSdata);
        baseDataStruct* node = AddSonText(link, std::string(kNewRuleNode));
        setinfo(node, kThisNode, "caption", caption);
        setinfo(node, kThisNode, "SDATA",
                "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition>" +
                    conditions + "</Condition><Action>" + actions + "</Action>");
        mail().DataSaveList(node, 1);
    }
    std::string BoxValue(int subKind) { return EncodeRuleValue(BoxChoiceText(Box(subKind))); }

    std::vector<std::string> Subjects(int subKind, bool validOnly = false) {
        std::vector<std::string> out;
        for (const LetterView& l : View(subKind)) {
            if (validOnly && !(l.state & STATE_VALID)) continue;
            const size_t at = l.text.find("Subject: ");
            out.push_back(l.text.substr(at + 9, l.text.find("\r\n", at) - at - 9));
        }
        return out;
    }

    static std::string Letter(const std::string& from, const std::string& subject) {
        return "From: " + from + "\r\nTo: ann@x.org\r\nSubject: " + subject + "\r\n\r\nBody of " +
               subject + "\r\n";
    }
};

}  // namespace korvo::test
