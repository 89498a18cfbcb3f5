// What filter rules cost a receive: the same 2,000 letters (about 3 KB each) received from the
// in-memory POP3 server of tests/support, once without rules and once with 100 rules (one in
// ten looking at the body text, none matching), each in a fresh data directory. Then "Apply
// filters" with the same rules over the received box. Prints the best of several rounds;
// exits 1 when the rules add more than 15% to the receive.
//
// Run from a Release build:
//   build/release/bench/filter_bench_receive
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench_receive.h"
#include "filters/account_rules.h"
#include "filters/apply_rules.h"
#include "filters/filter_manager.h"
#include "model/data_stores.h"
#include "model/sys_schema.h"
#include "store/diag_log.h"
#include "store/node_tree.h"
#include "tests/support/fake_pop3.h"
#include "tests/support/temp_dir.h"
#include "transport/net_rp.h"
#include "transport/receive_mail.h"
#include "transport/task_record.h"

using namespace korvo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 7;
constexpr int kLetters = 2000;
constexpr int kRules = 100;

std::vector<test::FakePop3::Letter> Letters() {
    std::vector<test::FakePop3::Letter> out;
    for (int i = 0; i < kLetters; ++i) {
        const std::string n = std::to_string(i);
        std::string text =
            "Received: from a.example.net by b.example.org; Tue, 8 Dec 2026\r\n"
            "From: \"Sender " +
            n + "\" <s" + n +
            "@example.net>\r\nTo: ann@example.org, bob@example.org\r\n"
            "Subject: =?utf-8?B?UXVhcnRlcmx5IHJlcG9ydA==?= " +
            n + "\r\n\r\n";
        while (text.size() < 3000) text += "The figures for the quarter are as planned.\r\n";
        out.push_back({"u" + n, std::move(text)});
    }
    return out;
}

void AddRules(CDataStores& stores, baseDataStruct* account) {
    baseDataStruct* folder = stores.sys().DataGetSysPoint(account, kKindPFTree)->firstSon();
    baseDataStruct* link =
        stores.mail().SysReadLinkTree(folder, kLoadProperty | kLoadStrdata | kLoadSdata);
    for (int i = 0; i < kRules; ++i) {
        const std::string field = i % 10 == 0  ? "Text"
                                  : i % 3 == 0 ? "SenderMail"
                                  : i % 3 == 1 ? "Subject"
                                               : "Size";
        const std::string op = field == "Size" ? "between" : i % 2 ? "comprise" : "equal";
        const std::string value =
            field == "Size" ? "900 and 1000" : "no such text " + std::to_string(i);
        baseDataStruct* node = AddSonText(link, std::string(kNewRuleNode));
        setinfo(node, kThisNode, "caption", "rule " + std::to_string(i));
        setinfo(node, kThisNode, "SDATA",
                "<Condition><CheckCondition>OP =equal ,Value =AllCondition</CheckCondition><" +
                    field + ">OP =" + op + " ,Value =" + value + " ,State =false</" + field +
                    "></Condition><Action><MarkColor>Value =Red ,State =false</MarkColor>"
                    "</Action>");
        stores.mail().DataSaveList(node, 1);
    }
}

struct Figures {
    double receive = 0;  // seconds
    double apply = 0;    // seconds, with rules only
    int result = -1;
};

Figures OneRound(test::FakePop3& server, bool withRules) {
    test::TempDir dir;
    test::ScopedDataDir dataDir(dir.path());
    CDataStores stores;
    stores.OpenSystemStore();
    baseDataStruct* account =
        bench::MakeBenchAccount(stores, server.port(), "bob", "s3cret", /*keepOnServer=*/true);
    if (withRules) AddRules(stores, account);

    Figures figures;
    const auto start = Clock::now();
    {
        // Read as the receive task reads them: once per pass.
        std::unique_ptr<ArrivalRules> rules =
            withRules ? AccountRulesSource(stores.sys())(account) : nullptr;
        figures.result = bench::ReceiveQuietly(stores, account, 1, rules.get());
    }
    figures.receive = std::chrono::duration<double>(Clock::now() - start).count();
    if (withRules) {
        const auto applyStart = Clock::now();
        ApplyRulesToBox(stores.sys(), stores.sys().DataGetSysPoint(account, kKindBox, kBoxReceive));
        figures.apply = std::chrono::duration<double>(Clock::now() - applyStart).count();
    }
    return figures;
}

}  // namespace

int main() {
    TheLog().SetThreshold(DiagLog::kError);
    test::FakePop3 server;
    server.SetLetters(Letters());
    double plain = 1e9, ruled = 1e9, apply = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const Figures without = OneRound(server, false);
        const Figures with = OneRound(server, true);
        std::printf("  round %d: without rules %.3f s, with %d rules %.3f s; apply %.3f s\n",
                    round + 1, without.receive, kRules, with.receive, with.apply);
        if (without.result != 2 || with.result != 2) std::printf("  a pass fetched nothing\n");
        plain = std::min(plain, without.receive);
        ruled = std::min(ruled, with.receive);
        apply = std::min(apply, with.apply);
    }
    const double added = (ruled - plain) / plain * 100;
    std::printf(
        "receive of %d letters, best of %d: without rules %.3f s, with %d rules %.3f s "
        "(%+.1f%%, limit 15%%); apply filters over them %.0f letters/s\n",
        kLetters, kRounds, plain, kRules, ruled, added, kLetters / apply);
    return added <= 15 ? 0 : 1;
}
