// SMTP send speed against a private SMTP server on 127.0.0.1: CNetRP::SendMail of 500 letters
// of 5 KB from a prepare box, against msmtp sending the same letters one process (and one
// connection) per letter, as it must. Needs root for the test servers' mail directories.
// Prints the median letters per second of several rounds.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "store/node_tree.h"
#include "tests/support/mail_servers.h"
#include "transport/net_rp.h"
#include "transport/outbox.h"
#include "transport/task_record.h"

using namespace korvo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLetters = 500;
constexpr size_t kLetterSize = 5 * 1024;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string MakeLetter(int n) {
    std::string text = "From: bench@localhost\r\nTo: bench@localhost\r\nSubject: letter " +
                       std::to_string(n) + "\r\n\r\n";
    std::string line(76, 'x');
    for (int i = 0; text.size() + 78 <= kLetterSize; ++i) {
        line[0] = i % 20 == 0 ? '.' : 'x';
        text += line + "\r\n";
    }
    return text;
}

// Letters per second of one SendMail over kLetters letters; 0 when not all went out.
double KorvoRound(uint16_t port, const std::vector<std::string>& letters) {
    auto root = CreateRootNode();
    baseDataStruct* prepare = AddSonText(root.get(), "type =links");
    baseDataStruct* send = AddSonText(root.get(), "type =links");
    baseDataStruct* sendBox = AddSonText(root.get(), "type =Box ,showColumn =46947");
    for (const std::string& text : letters) {
        setinfo(AddSonText(prepare, "type =letter"), kThisNode, "SDATA", text);
    }
    baseDataStruct account;
    setinfo(&account, kThisNode, "smtpServer", "127.0.0.1");
    setinfo(&account, kThisNode, "smtpPort", std::to_string(port));
    TaskRecord task;
    CNetRP session;
    session.InitialzeAccount(&account, &task);
    NodeOutbox outbox(prepare, send, sendBox);
    const auto start = Clock::now();
    session.SendMail(outbox);
    const double seconds = Seconds(Clock::now() - start);
    int sent = 0;
    for (baseDataStruct* s = send->firstSon(); s; s = s->nextBrother()) ++sent;
    if (sent != kLetters) {
        std::fprintf(stderr, "only %d letters sent: %s\n", sent, task.infoText.c_str());
        return 0;
    }
    return kLetters / seconds;
}

// Runs msmtp once per letter file; letters per second, or 0 when one failed.
double MsmtpRound(const std::string& config, const std::vector<std::string>& files) {
    const auto start = Clock::now();
    for (const std::string& file : files) {
        pid_t pid = ::fork();
        if (pid == 0) {
            int in = ::open(file.c_str(), O_RDONLY);
            ::dup2(in, 0);
            ::execlp("msmtp", "msmtp", "-C", config.c_str(), "bench@localhost",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "msmtp failed with status %d\n", status);
            return 0;
        }
    }
    return files.size() / Seconds(Clock::now() - start);
}

}  // namespace

int main() {
    test::MailServers servers;
    if (!servers.AddUser("bench", "bench-pw") || !servers.StartSmtp()) {
        std::fprintf(stderr, "cannot start the SMTP server: %s\n", servers.error().c_str());
        return 1;
    }
    std::vector<std::string> letters;
    std::vector<std::string> files;
    for (int i = 0; i < kLetters; ++i) {
        letters.push_back(MakeLetter(i));
        files.push_back(servers.dir() + "letter" + std::to_string(i) + ".eml");
        std::ofstream(files.back(), std::ios::binary) << letters.back();
    }
    const std::string config = servers.dir() + "msmtprc";
    std::ofstream(config) << "defaults\ntls off\nauth off\naccount bench\nhost 127.0.0.1\nport "
                          << servers.smtpPort() << "\nfrom bench@localhost\n"
                          << "account default : bench\n";
    ::chmod(config.c_str(), 0600);

    std::printf("SMTP, %d letters of %zu bytes, server on 127.0.0.1:%u\n", kLetters, kLetterSize,
                servers.smtpPort());
    std::vector<double> korvo;
    for (int round = 0; round < 5; ++round)
        korvo.push_back(KorvoRound(servers.smtpPort(), letters));
    std::printf("  CNetRP::SendMail, one connection: %8.1f letters/s (median of %zu)\n",
                Median(korvo), korvo.size());
    if (std::system("command -v msmtp >/dev/null 2>&1") != 0) {
        std::printf("  msmtp: not installed (bench/run_smtp_bench.sh installs it)\n");
        return 0;
    }
    std::vector<double> msmtp;
    for (int round = 0; round < 3; ++round) msmtp.push_back(MsmtpRound(config, files));
    std::printf("  msmtp, one process per letter:    %8.1f letters/s (median of %zu)\n",
                Median(msmtp), msmtp.size());
    std::printf("  ratio: %.1f\n", Median(korvo) / std::max(Median(msmtp), 1e-9));
    return 0;
}
