// What durability costs a receive: 2,000 letters of 5 KB (each with a Received: line)
// received from the private dovecot POP3 server and deleted there, into an empty store, in
// letters per second; and the cost of one sync of a store file after a small save. Needs root
// (the POP3 server). Prints the median of three rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench_receive.h"
#include "model/data_stores.h"
#include "model/sys_schema.h"
#include "store/diag_log.h"
#include "store/node_tree.h"
#include "tests/support/fake_pop3.h"
#include "tests/support/mail_servers.h"
#include "tests/support/temp_dir.h"
#include "transport/net_rp.h"
#include "transport/receive_mail.h"
#include "transport/task_record.h"

using namespace korvo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLetters = 2000;
constexpr int kRounds = 3;

// One receive of a freshly seeded mailbox; letters per second, or -1.
double ReceiveRound(int round) {
    test::MailServers servers;
    if (!servers.AddUser("bench", "pw")) return -1;
    for (int i = 0; i < kLetters; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "r%d-%06d", round, i);
        std::string text = test::SizedLetter(name, 5000);
        for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
        if (!servers.Seed("bench", name, text)) return -1;
    }
    if (!servers.StartPop3()) {
        std::fprintf(stderr, "%s\n", servers.error().c_str());
        return -1;
    }
    test::TempDir dir;
    test::ScopedDataDir dataDir(dir.path());
    CDataStores stores;
    stores.OpenSystemStore();
    baseDataStruct* account = bench::MakeBenchAccount(stores, servers.pop3Port(), "bench", "pw");
    const auto start = Clock::now();
    bench::ReceiveQuietly(stores, account, 1);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!servers.Letters("bench").empty()) {
        std::fprintf(stderr, "%zu letters left on the server\n", servers.Letters("bench").size());
        return -1;
    }
    return kLetters / seconds;
}

// Microseconds of one small save followed by a sync, and of the save alone.
void SyncCost(double* withSync, double* without) {
    test::TempDir dir;
    CBaseDataManage store;
    store.DataOpen(dir.path() + "sync.dat", "New");
    baseDataStruct* node = addson(store.root(), "%s", "type =letter ,n =0");
    store.DataSaveList(node, 1);
    std::vector<double> synced, plain;
    for (int i = 0; i < 200; ++i) {
        setinfo(node, kThisNode, "n", std::to_string(i));
        auto start = Clock::now();
        store.DataSavePoint(node);
        const auto saved = Clock::now();
        store.DataSync();
        const auto done = Clock::now();
        plain.push_back(std::chrono::duration<double, std::micro>(saved - start).count());
        synced.push_back(std::chrono::duration<double, std::micro>(done - start).count());
    }
    *withSync = bench::Median(synced);
    *without = bench::Median(plain);
}

}  // namespace

int main() {
    TheLog().SetThreshold(DiagLog::kError);
    std::vector<double> rates;
    for (int round = 0; round < kRounds; ++round) {
        const double rate = ReceiveRound(round);
        if (rate < 0) return 1;
        rates.push_back(rate);
        std::printf("  round %d: %.0f letters/s\n", round, rate);
    }
    std::printf("receive and delete %d x 5 KB from dovecot: median %.0f letters/s\n", kLetters,
                bench::Median(rates));
    double withSync = 0, without = 0;
    SyncCost(&withSync, &without);
    std::printf("one small save: %.0f us; save and sync: %.0f us (median of 200)\n", without,
                withSync);
    return 0;
}
