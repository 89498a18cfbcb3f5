// POP3 receive speed against a private POP3 server on 127.0.0.1:
//   1. one 50 MB letter: CNetRP::GetMessage against a bare socket client reading the same RETR;
//   2. 2,000 letters of 5 KB: a session that counts, identifies, sizes and fetches every letter,
//      against mpop (keep on server, delivery into an mbox) on the same mailbox, when installed.
// Needs root (the server runs mail as uid 8). Prints medians of several rounds.
//
// With --tls the same server speaks TLS on its own port (certificates of a private test
// authority, trusted through SSL_CERT_FILE): the 50 MB letter is skipped, the account and mpop
// use TLS from the first byte, and the time of a TLS handshake is printed.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_receive.h"
#include "controls/memory_tree_view.h"
#include "controls/tree_control.h"
#include "model/account_form.h"
#include "model/data_stores.h"
#include "model/settings_forms.h"
#include "platform/data_dir.h"
#include "platform/tcp_socket.h"
#include "store/node.h"
#include "store/node_tree.h"
#include "tests/support/mail_servers.h"
#include "transport/net_rp.h"
#include "transport/task_record.h"

using namespace korvo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 5;

// Set with --tls: every account then uses TLS from the first byte.
bool useTls = false;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string MakeLetter(size_t size, int n) {
    std::string text = "Received: from bench by localhost\r\nSubject: letter " + std::to_string(n) +
                       "\r\nFrom: bench@example.test\r\n\r\n";
    std::string line(76, 'x');
    for (int i = 0; text.size() + 78 <= size; ++i) {
        line[0] = i % 20 == 0 ? '.' : 'x';
        text += line + "\r\n";
    }
    return text;
}

std::unique_ptr<CNetRP> Session(baseDataStruct& account, TaskRecord& task, uint16_t port,
                                const char* user) {
    setinfo(&account, kThisNode, "pop3Server", "127.0.0.1");
    setinfo(&account, kThisNode, "pop3Port", std::to_string(port));
    setinfo(&account, kThisNode, "username", user);
    setinfo(&account, kThisNode, "password", "bench-pw");
    if (useTls) setinfo(&account, kThisNode, kPop3SecurityKey, "ssl");
    auto session = std::make_unique<CNetRP>();
    session->InitialzeAccount(&account, &task);
    return session;
}

// USER, PASS and one RETR on a plain socket, reading until the terminator; the bytes read.
// `seconds` gets the time from sending RETR to the terminator.
size_t BareRetr(uint16_t port, const char* user, double& seconds) {
    TcpSocket socket;
    if (socket.Connect("127.0.0.1", port) != ConnectResult::kOk) return 0;
    std::string got;
    std::vector<char> buffer(102400);
    auto until = [&](const char* end) {
        size_t from = 0;
        for (;;) {
            size_t at = got.find(end, from);
            if (at != std::string::npos) return true;
            from = got.size() > 5 ? got.size() - 5 : 0;
            long n = socket.Receive(buffer.data(), buffer.size());
            if (n <= 0) return false;
            got.append(buffer.data(), static_cast<size_t>(n));
        }
    };
    until("\r\n");
    socket.SendAll(std::string("USER ") + user + "\r\n");
    got.clear();
    until("\r\n");
    socket.SendAll("PASS bench-pw\r\n");
    got.clear();
    until("\r\n");
    got.clear();
    auto start = Clock::now();
    socket.SendAll("RETR 1\r\n");
    if (!until("\r\n.\r\n")) return 0;
    seconds = Seconds(Clock::now() - start);
    size_t size = got.size();
    socket.SendAll("QUIT\r\n");
    return size;
}

// A data directory with one user whose account reads `user` on the server and keeps the
// letters there, so that every round finds the same mailbox.
std::string MakeDataDir(uint16_t port, const std::string& user) {
    char pattern[] = "/tmp/korvo-receive-bench-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    SetDataDirectory(dir);
    CDataStores stores;
    if (!stores.OpenSystemStore()) return {};
    MemoryTreeView view;
    CBaseTreeControl tree(view);
    MessageHookPrompter prompter;
    UserForm userForm;
    userForm.name = "bench";
    baseDataStruct* u = addson(stores.sys().root(), "%s", "");
    userForm.Apply(u, prompter);
    stores.sys().SysCreateUser(u, &tree, kNoItem);
    AccountForm form;
    form.Edit(AccountField::kEmail, user + "@localhost");
    form.Set(AccountField::kCaption, "bench");
    baseDataStruct* a = addson(stores.sys().DataGetSysPoint(u, kKindUATree), "%s", "");
    form.Apply(a, prompter);
    stores.sys().SysCreateAccount(a, &tree, kNoItem);
    setinfo(a, kThisNode, "pop3Server", "127.0.0.1");
    setinfo(a, kThisNode, "pop3Port", std::to_string(port));
    setinfo(a, kThisNode, "username", user);
    setinfo(a, kThisNode, "password", "bench-pw");
    setinfo(a, kThisNode, "keepOnServer", "1");
    setinfo(a, kThisNode, kPop3SecurityKey, useTls ? "ssl" : "none");
    stores.sys().DataSaveList(a, 1);
    return dir;
}

}  // namespace

int main(int argc, char** argv) {
    useTls = argc > 1 && std::strcmp(argv[1], "--tls") == 0;
    test::MailServers servers;
    if (!servers.AddUser("big", "bench-pw") || !servers.AddUser("many", "bench-pw")) {
        std::fprintf(stderr, "cannot set up users: %s\n", servers.error().c_str());
        return 1;
    }
    const std::string big = MakeLetter(50'000'000, 0);
    servers.Seed("big", "1.big", big);
    const int kLetters = 2000;
    for (int i = 0; i < kLetters; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%05d.letter", i);
        servers.Seed("many", name, MakeLetter(5000, i));
    }
    test::Pop3Options options;
    if (useTls) options.tls = test::Pop3Options::Tls::kOffered;
    if (!servers.StartPop3(options)) {
        std::fprintf(stderr, "%s\n", servers.error().c_str());
        return 1;
    }
    const uint16_t port = useTls ? servers.pop3sPort() : servers.pop3Port();
    if (useTls) {
        // The child processes (korvo, mpop's checks aside) inherit it.
        ::setenv("SSL_CERT_FILE", test::TestCaFile().c_str(), 1);
        std::vector<double> handshakes, logins;
        for (int round = 0; round < 20; ++round) {
            baseDataStruct account;
            TaskRecord task;
            auto session = Session(account, task, port, "many");
            auto start = Clock::now();
            if (!session->ConnectPop3()) {
                std::fprintf(stderr, "TLS log-in failed: %s\n", session->lastError().c_str());
                return 1;
            }
            logins.push_back(Seconds(Clock::now() - start) * 1000);
            handshakes.push_back(session->lastHandshakeMs());
            session->DisconnectPop3();
        }
        std::printf(
            "TLS handshake %.1f ms; connect, handshake, CAPA and log-in %.1f ms "
            "(medians of 20)\n",
            bench::Median(handshakes), bench::Median(logins));
    }

    // 1. One 50 MB letter.
    std::vector<double> ours, bare;
    for (int round = 0; round < kRounds && !useTls; ++round) {
        baseDataStruct account;
        TaskRecord task;
        auto session = Session(account, task, port, "big");
        if (!session->ConnectPop3()) {
            std::fprintf(stderr, "log-in failed: %s\n", session->lastError().c_str());
            return 1;
        }
        std::string text;
        auto start = Clock::now();
        std::string size = session->GetMessage(1, text);
        ours.push_back(Seconds(Clock::now() - start));
        if (text.size() + 2 != big.size()) {
            std::fprintf(stderr, "GetMessage returned %zu bytes (size %s)\n", text.size(),
                         size.c_str());
            return 1;
        }
        session->DisconnectPop3();

        double seconds = 0;
        size_t got = BareRetr(port, "big", seconds);
        bare.push_back(seconds);
        if (got < big.size()) {
            std::fprintf(stderr, "bare RETR read %zu bytes\n", got);
            return 1;
        }
    }
    const double mb = big.size() / 1e6;
    if (!useTls)
        std::printf(
            "50 MB letter: GetMessage %.3f s (%.0f MB/s), bare RETR %.3f s (%.0f MB/s), "
            "ratio %.2f\n",
            bench::Median(ours), mb / bench::Median(ours), bench::Median(bare),
            mb / bench::Median(bare), bench::Median(ours) / bench::Median(bare));

    // 2. 2,000 letters of 5 KB.
    std::vector<double> session_rates;
    for (int round = 0; round < kRounds; ++round) {
        baseDataStruct account;
        TaskRecord task;
        auto session = Session(account, task, port, "many");
        auto start = Clock::now();
        if (!session->ConnectPop3()) return 1;
        int count = session->GetNumMessages();
        size_t bytes = 0;
        for (int i = 1; i <= count; ++i) {
            std::string id, text;
            session->GetMessageId(i, id);
            session->GetMessageLen(i);
            if (session->GetMessage(i, text) == "-1") {
                std::fprintf(stderr, "letter %d: %s\n", i, session->lastError().c_str());
                return 1;
            }
            bytes += text.size();
        }
        session->DisconnectPop3();
        double t = Seconds(Clock::now() - start);
        if (count != kLetters) {
            std::fprintf(stderr, "server counted %d letters\n", count);
            return 1;
        }
        session_rates.push_back(count / t);
        (void)bytes;
    }
    std::printf("2000 x 5 KB: CNetRP session %.0f letters/s (per letter: UIDL x2, LIST x3, RETR)\n",
                bench::Median(session_rates));

    // 3. korvo --receive-all into an empty store (the account keeps the letters on the server).
    std::vector<double> receive_rates;
    for (int round = 0; round < kRounds; ++round) {
        const std::string dir = MakeDataDir(port, "many");
        const std::string command =
            std::string(KORVO_BINARY) + " --data-dir " + dir + " --receive-all >/dev/null";
        auto start = Clock::now();
        const int rc = ::system(command.c_str());
        const double t = Seconds(Clock::now() - start);
        if (rc != 0) {
            std::fprintf(stderr, "korvo --receive-all failed (%d)\n", rc);
            return 1;
        }
        receive_rates.push_back(kLetters / t);
        std::filesystem::remove_all(dir);
    }
    std::printf("2000 x 5 KB: korvo --receive-all %.0f letters/s (into an empty store)\n",
                bench::Median(receive_rates));

    if (::system("command -v mpop >/dev/null 2>&1") != 0) {
        std::printf("mpop not installed: no comparison (bench/run_pop3_bench.sh installs it)\n");
        return 0;
    }
    const std::string conf = servers.dir() + "mpoprc";
    const std::string mbox = servers.dir() + "out.mbox";
    {
        std::ofstream out(conf);
        out << "defaults\n"
            << "account bench\n"
            << "host 127.0.0.1\n"
            << "port " << port << "\n"
            << "user many\n"
            << "password bench-pw\n"
            << "auth user\n";
        if (useTls) {
            out << "tls on\ntls_starttls off\ntls_trust_file " << test::TestCaFile() << "\n";
        } else {
            out << "tls off\n";
        }
        out << "keep on\n"
            << "only_new off\n"
            << "uidls_file " << servers.dir() << "mpop-uidls\n"
            << "delivery mbox " << mbox << "\n";
    }
    ::chmod(conf.c_str(), 0600);
    std::vector<double> mpop_rates;
    for (int round = 0; round < kRounds; ++round) {
        ::unlink(mbox.c_str());
        auto start = Clock::now();
        int rc = bench::RunMpop(conf);
        double t = Seconds(Clock::now() - start);
        if (rc != 0) {
            std::fprintf(stderr, "mpop exited with %d\n", rc);
            return 1;
        }
        mpop_rates.push_back(kLetters / t);
    }
    std::printf(
        "2000 x 5 KB: mpop %.0f letters/s; session / mpop = %.2f; korvo --receive-all / "
        "mpop = %.2f\n",
        bench::Median(mpop_rates), bench::Median(session_rates) / bench::Median(mpop_rates),
        bench::Median(receive_rates) / bench::Median(mpop_rates));
    return 0;
}
