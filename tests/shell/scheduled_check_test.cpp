#include "shell/scheduled_check.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

class ScheduledCheckTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        user = AddUser("ann");
        home = AddAccount(user, "home");
        work = AddAccount(user, "work");
        Schedule(user, "-1", "0", nullptr);
        Schedule(home, "-1", "0", nullptr);
        Schedule(work, "-1", "0", nullptr);
    }

    // `runTime` null: the key is removed.
    void Schedule(baseDataStruct* node, const char* check, const char* timer, const char* runTime) {
        setinfo(node, kThisNode, "check", check);
        setinfo(node, kThisNode, "checkTimer", timer);
        std::string text = node->propertyText();
        const size_t at = text.find(" ,RunTime =");
        if (at != std::string::npos) {
            const size_t end = text.find(" ,", at + 2);
            text.erase(at, end == std::string::npos ? std::string::npos : end - at);
            setinfo(node, kThisNode, "PROPERTY", text);
        }
        if (runTime) setinfo(node, kThisNode, "RunTime", runTime);
    }

    // The minutes (0 = the first tick) in which each account was queued.
    std::map<std::string, std::vector<int>> Run(int minutes) {
        std::map<std::string, std::vector<int>> queued;
        int minute = 0;
        CScheduledCheck check(sys(), [&](baseDataStruct* account) {
            queued[test::Get(account, "caption")].push_back(minute);
        });
        for (minute = 0; minute < minutes; ++minute) check.Tick();
        return queued;
    }

    baseDataStruct* user = nullptr;
    baseDataStruct* home = nullptr;
    baseDataStruct* work = nullptr;
};

TEST_F(ScheduledCheckTest, AccountPeriods) {
    Schedule(home, "1", "0", "0");  // on, but no period: never
    Schedule(work, "1", "1", "0");  // every minute
    auto queued = Run(12);
    EXPECT_EQ(queued.count("home"), 0u);
    EXPECT_EQ(queued["work"], (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

    // Five minutes: at once when switched on, then every five.
    Schedule(home, "1", "5", "0");
    Schedule(work, "-1", "1", "0");  // period but switched off
    queued = Run(16);
    EXPECT_EQ(queued["home"], (std::vector<int>{0, 5, 10, 15}));
    EXPECT_EQ(queued.count("work"), 0u);
    EXPECT_EQ(test::Get(home, "RunTime"), "4");
}

TEST_F(ScheduledCheckTest, UserPeriodCoversAccountsWithoutTheirOwn) {
    Schedule(user, "1", "10", "0");
    auto queued = Run(31);
    EXPECT_EQ(queued["home"], (std::vector<int>{0, 10, 20, 30}));
    EXPECT_EQ(queued["work"], (std::vector<int>{0, 10, 20, 30}));
    EXPECT_EQ(test::Get(user, "RunTime"), "9");

    // An account with a period of its own is received at both; a minute both fall on gives
    // one task.
    Schedule(user, "1", "6", "0");
    Schedule(home, "1", "4", "0");
    Schedule(work, "-1", "0", "0");
    queued = Run(13);
    EXPECT_EQ(queued["home"], (std::vector<int>{0, 4, 6, 8, 12}));
    EXPECT_EQ(queued["work"], (std::vector<int>{0, 6, 12}));

    // A switched-off user does not hold back its accounts' own checks.
    Schedule(user, "-1", "6", "0");
    Schedule(home, "1", "2", "0");
    queued = Run(5);
    EXPECT_EQ(queued["home"], (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(queued.count("work"), 0u);
}

TEST_F(ScheduledCheckTest, RunTimeThatIsMissingOrOutOfRange) {
    // Missing counts as 0: due at once.
    Schedule(home, "1", "3", nullptr);
    // More than the period, or negative: the count starts over from the period.
    Schedule(work, "1", "3", "50");
    auto queued = Run(7);
    EXPECT_EQ(queued["home"], (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(queued["work"], (std::vector<int>{3, 6}));

    Schedule(home, "1", "3", "-7");
    Schedule(work, "1", "3", "rubbish");  // reads as 0
    queued = Run(4);
    EXPECT_EQ(queued["home"], (std::vector<int>{3}));
    EXPECT_EQ(queued["work"], (std::vector<int>{0, 3}));
    // The counts stay in memory only until the nodes are saved.
    EXPECT_TRUE(teststate(home, STATE_MODIFIED));
}

TEST_F(ScheduledCheckTest, EveryUserIsCountedOnItsOwn) {
    baseDataStruct* bob = AddUser("bob");
    baseDataStruct* office = AddAccount(bob, "office");
    Schedule(bob, "1", "2", "0");
    Schedule(office, "-1", "0", "0");
    Schedule(user, "1", "3", "0");
    // Nodes under the root that are not users are passed over.
    addson(sys().root(), "%s", "type =PublicInfo ,check =1 ,checkTimer =1");
    auto queued = Run(5);
    EXPECT_EQ(queued["office"], (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(queued["home"], (std::vector<int>{0, 3}));
    EXPECT_EQ(queued["work"], (std::vector<int>{0, 3}));
    EXPECT_EQ(queued.size(), 3u);
}

}  // namespace
}  // namespace korvo
