// Receive speed with durability on, the way people receive: letters fetched and deleted on the
// server.
//   1. `korvo --receive-all` against mpop (delete mode, delivery into an mbox) on the same
//      freshly seeded dovecot mailbox, 2,000 and 20,000 letters of 5 KB with a Received: line,
//      medians of three rounds each, in letters per second;
//   2. round trips per letter (a scripted server counts how often it waited for the client)
//      with and without pipelining, and the syncs of the mail store per 2,000 letters.
// Needs root (the POP3 server) and mpop (bench/run_pop3_bench.sh installs it).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench_receive.h"
#include "model/data_stores.h"
#include "model/sys_schema.h"
#include "platform/data_dir.h"
#include "store/diag_log.h"
#include "store/node_tree.h"
#include "tests/support/fake_pop3.h"
#include "tests/support/faulty_store_env.h"
#include "tests/support/mail_servers.h"
#include "tests/support/temp_dir.h"
#include "transport/net_rp.h"
#include "transport/receive_mail.h"
#include "transport/task_record.h"

using namespace korvo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 3;
constexpr const char* kPassword = "bench-pw";

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every seeding gets names of its own, so that the server never sees a name again.
bool SeedLetters(test::MailServers& servers, const std::string& user, int count) {
    static int seeding = 0;
    ++seeding;
    for (int i = 0; i < count; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "s%d-%06d", seeding, i);
        std::string text = test::SizedLetter(name, 5000);
        // Stored with LF line ends, as a maildir holds them; the server sends CRLF.
        std::erase(text, '\r');
        if (!servers.Seed(user, name, text)) return false;
    }
    return true;
}

// One round of both clients on `count` letters; false when either lost or left letters.
bool CompareRound(test::MailServers& servers, int count, double* korvo, double* mpop) {
    const std::string user = "many";
    if (!SeedLetters(servers, user, count)) return false;
    char pattern[] = "/tmp/korvo-speed-bench-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    {
        SetDataDirectory(dir);
        CDataStores stores;
        if (!stores.OpenSystemStore()) return false;
        bench::MakeBenchAccount(stores, servers.pop3Port(), user, kPassword);
    }
    // KORVO_BENCH_WRAPPER (for example "strace -c -f -o /tmp/k.txt") runs korvo under a tool.
    const char* wrapper = std::getenv("KORVO_BENCH_WRAPPER");
    const std::string command =
        std::string(wrapper ? wrapper : "") + " " + KORVO_BINARY + " --data-dir " + dir + " --receive-all >/dev/null";
    auto start = Clock::now();
    const int rc = ::system(command.c_str());
    *korvo = count / SecondsSince(start);
    std::filesystem::remove_all(dir);
    if (rc != 0 || !servers.Letters(user).empty()) {
        std::fprintf(stderr, "korvo --receive-all: status %d, %zu letters left\n", rc,
                     servers.Letters(user).size());
        return false;
    }

    if (!SeedLetters(servers, user, count)) return false;
    const std::string conf = servers.dir() + "mpoprc";
    const std::string mbox = servers.dir() + "out.mbox";
    {
        std::ofstream out(conf);
        out << "defaults\naccount bench\nhost 127.0.0.1\nport " << servers.pop3Port() << "\nuser "
            << user << "\npassword " << kPassword
            << "\nauth user\ntls off\nkeep off\nonly_new off\nuidls_file " << servers.dir()
            << "mpop-uidls\ndelivery mbox " << mbox << "\n";
    }
    ::chmod(conf.c_str(), 0600);
    ::unlink(mbox.c_str());
    start = Clock::now();
    const int mpopRc = bench::RunMpop(conf);
    *mpop = count / SecondsSince(start);
    if (mpopRc != 0 || !servers.Letters(user).empty()) {
        std::fprintf(stderr, "mpop: status %d, %zu letters left\n", mpopRc,
                     servers.Letters(user).size());
        return false;
    }
    return true;
}

// Round trips per letter and syncs of a receive of `count` letters from the scripted server.
void CountRoundTrips(bool pipelining, int count, double* perLetter, long* syncs) {
    test::FakePop3 server("bench", kPassword);
    std::vector<test::FakePop3::Letter> letters;
    for (int i = 0; i < count; ++i) {
        letters.push_back({"id" + std::to_string(i), test::SizedLetter("l", 5000)});
    }
    server.SetLetters(letters);
    if (pipelining) server.SetCapabilities({"UIDL", "PIPELINING"});
    test::TempDir dir;
    test::ScopedDataDir dataDir(dir.path());
    test::FaultyStoreEnv env;  // no faults: it counts the syncs
    CDataStores stores;
    stores.OpenSystemStore();
    baseDataStruct* account = bench::MakeBenchAccount(stores, server.port(), "bench", kPassword);
    const long syncsBefore = env.syncs();
    bench::ReceiveQuietly(stores, account, 1);
    *syncs = env.syncs() - syncsBefore;
    *perLetter = static_cast<double>(server.Turns()) / count;
}

}  // namespace

// With "--only 2000" the comparison runs for that many letters alone.
int main(int argc, char** argv) {
    TheLog().SetThreshold(DiagLog::kError);
    std::vector<int> counts = {2000, 20000};
    if (argc == 3 && std::string(argv[1]) == "--only") counts = {std::atoi(argv[2])};
    for (bool pipelining : {false, true}) {
        double perLetter = 0;
        long syncs = 0;
        CountRoundTrips(pipelining, 2000, &perLetter, &syncs);
        std::printf("%s: %.2f round trips per letter, %ld syncs per 2000 letters\n",
                    pipelining ? "pipelining" : "no pipelining", perLetter, syncs);
    }

    if (::system("command -v mpop >/dev/null 2>&1") != 0) {
        std::printf("mpop not installed: no comparison (bench/run_pop3_bench.sh installs it)\n");
        return 0;
    }
    test::MailServers servers;
    if (!servers.AddUser("many", kPassword) || !servers.StartPop3()) {
        std::fprintf(stderr, "%s\n", servers.error().c_str());
        return 1;
    }
    double perLetter2000 = 0;
    for (int count : counts) {
        std::vector<double> korvo, mpop;
        for (int round = 0; round < kRounds; ++round) {
            double k = 0, m = 0;
            if (!CompareRound(servers, count, &k, &m)) return 1;
            korvo.push_back(k);
            mpop.push_back(m);
            std::printf("  %d letters, round %d: korvo %.0f/s, mpop %.0f/s\n", count, round, k, m);
        }
        const double perLetterUs = 1e6 / bench::Median(korvo);
        std::printf(
            "%d x 5 KB, receive and delete: korvo --receive-all %.0f letters/s, mpop %.0f "
            "letters/s, korvo / mpop = %.2f; %.0f us per letter\n",
            count, bench::Median(korvo), bench::Median(mpop),
            bench::Median(korvo) / bench::Median(mpop), perLetterUs);
        if (count == 2000) {
            perLetter2000 = perLetterUs;
        } else if (perLetter2000 > 0) {
            std::printf("per-letter time, 20,000 / 2,000 letters = %.2f\n",
                        perLetterUs / perLetter2000);
        }
    }
    return 0;
}
