#include "shell/certificate_acceptance.h"

#include <gtest/gtest.h>

#include "tests/model/model_fixture.h"
#include "transport/task_engine.h"

namespace korvo {
namespace {

using Server = CertificateProblem::Server;

class ScriptedCertificates : public CertificatePrompter {
  public:
    bool AcceptCertificate(const std::string& account, const CertificateProblem& problem) override {
        ++asked;
        shownAccount = account;
        shownHost = problem.host;
        return answer;
    }

    bool answer = false;
    int asked = 0;
    std::string shownAccount, shownHost;
};

class CertificateAcceptanceTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        baseDataStruct* account = AddAccount(AddUser("ann"), "work", "ann@example.org");
        setinfo(account, kThisNode, "pop3Server", "pop.example.org");
        setinfo(account, kThisNode, "smtpServer", "smtp.example.org");
        sys().DataSaveList(account, 1);
    }

    baseDataStruct* Account() { return findinfo(sys().root(), "caption", "work"); }

    ScriptedCertificates prompter;
};

// Accepting pins the certificate on the server it came from, durably, and runs the task
// again; cancelling, a certificate of a server the account no longer uses, or a fingerprint
// that is not one store nothing.
TEST_F(CertificateAcceptanceTest, AcceptedCertificateIsPinnedForItsServerAndTheTaskRetried) {
    const std::string pinA(64, 'a'), pinB(64, 'b'), pinC(64, 'c');
    struct Row {
        Server server;
        const char* host;
        std::string sha256;
        bool answer;
        bool asked;
        std::string pop3Pin, smtpPin;  // the keys afterwards, read back from the file
    };
    const Row rows[] = {
        {Server::kPop3, "pop.example.org", pinA, false, true, "-1", "-1"},
        {Server::kPop3, "POP.example.org", pinA, true, true, pinA, "-1"},
        {Server::kSmtp, "smtp.example.org", pinB, true, true, pinA, pinB},
        {Server::kSmtp, "old.example.org", pinC, true, false, pinA, pinB},
        {Server::kPop3, "pop.example.org", "AB:CD", true, false, pinA, pinB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host + (" " + row.sha256));
        RefusedTask task;
        task.accountId = Account()->nodeId();
        task.type = row.server == Server::kPop3 ? kTaskReceive : kTaskSend;
        task.mailIdList = "__:7;__";
        task.problem.server = row.server;
        task.problem.host = row.host;
        task.problem.sha256 = row.sha256;
        prompter.answer = row.answer;
        prompter.asked = 0;
        std::vector<std::string> retried;
        CertificateAcceptance acceptance(
            sys(), prompter, [&](baseDataStruct* account, int type, const std::string& list) {
                retried.push_back(getinfo(account, kThisNode, "caption") + " " +
                                  std::to_string(type) + " " + list);
            });
        const bool accepted = acceptance.Offer(task);
        const bool stored = row.asked && row.answer;
        EXPECT_EQ(accepted, stored);
        EXPECT_EQ(prompter.asked, row.asked ? 1 : 0);
        if (row.asked) {
            EXPECT_EQ(prompter.shownAccount, "work");
        }
        EXPECT_EQ(retried, stored ? std::vector<std::string>{"work " + std::to_string(task.type) +
                                                             " __:7;__"}
                                  : std::vector<std::string>{});
        Reopen();
        EXPECT_EQ(getinfo(Account(), kThisNode, "pop3CertSha256"), row.pop3Pin);
        EXPECT_EQ(getinfo(Account(), kThisNode, "smtpCertSha256"), row.smtpPin);
    }
}

}  // namespace
}  // namespace korvo
