// Character-set conversion cost.
//
// 1. A 20 MB GB18030 text converted to UTF-8 by the program against the iconv command on the
//    same bytes, in the same run (best of three each). Target: at least half its speed.
// 2. What converting headers to UTF-8 adds to receiving 2,000 letters with encoded headers in
//    several charsets: the list entries of those letters (mailInitProperty, the step of a
//    receive that reads the headers) are built with and without conversion, and the difference
//    is set against a whole receive of the same letters from the in-memory POP3 server of
//    tests/support (best of three). Target: at most 10%.
//
// Run from a Release build: build/release/bench/charset_bench
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_receive.h"
#include "content/charset.h"
#include "content/letter_node.h"
#include "content/mail_codec.h"
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

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

template <typename F>
double Best(int rounds, F&& run) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, Seconds(start));
    }
    return best;
}

// GB2312-range two-byte characters with some ASCII, as Chinese mail text is.
std::string Gb18030Text(size_t size) {
    std::mt19937 gen(7);
    std::string out;
    out.reserve(size + 2);
    while (out.size() < size) {
        if (gen() % 16 == 0) {
            out += gen() % 4 == 0 ? "\r\n" : " ";
            continue;
        }
        out += static_cast<char>(0xB0 + gen() % 0x27);  // rows 16-54: level-one hanzi
        out += static_cast<char>(0xA1 + gen() % 0x5E);
    }
    return out;
}

std::string Letter(int i) {
    static const char* kFrom[] = {
        "=?gb2312?B?1tDOxA==?= <a@example.cn>", "=?koi8-r?Q?=F0=D2=C9=D7=C5=D4?= <b@example.ru>",
        "=?iso-8859-1?Q?J=F6rg?= <c@example.de>", "\"Plain Name\" <d@example.org>"};
    static const char* kSubject[] = {"=?utf-8?B?5Lit5paH5Li76aKY?= =?utf-8?B?5rWL6K+V?=",
                                     "=?iso-2022-jp?B?GyRCJDMkcyRLJEEkTxsoQg==?=",
                                     "=?windows-1251?Q?=CF=F0=E8=E2=E5=F2?= report",
                                     "Quarterly report"};
    std::string text =
        "Received: from relay.example.net by mx.example.org; Tue, 6 Jan 2004 "
        "09:05:33 +0800\r\nFrom: ";
    text += kFrom[i % 4];
    text += "\r\nTo: someone@example.org\r\nSubject: ";
    text += kSubject[(i / 4) % 4];
    text +=
        "\r\nDate: Tue, 6 Jan 2004 09:05:33 +0800\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n\r\n";
    while (text.size() < 4000) text += "Body text line of a typical letter.\r\n";
    return text;
}

double InitLetters(const std::vector<std::string>& letters, const CMailCodec& codec) {
    return Best(5, [&] {
        auto root = CreateRootNode();
        baseDataStruct* box = AddSonText(root.get(), "type =Box ,showColumn =46947");
        for (const std::string& text : letters) {
            baseDataStruct* letter = AddSonText(box, "type =letter");
            setinfo(letter, kThisNode, "SDATA", text);
            mailInitProperty(letter, box, nullptr, codec);
        }
    });
}

// One receive of all `letters` into a fresh store.
double Receive(const std::vector<std::string>& letters) {
    test::TempDir dir;
    test::ScopedDataDir dataDir(dir.path());
    test::FakePop3 server;
    std::vector<test::FakePop3::Letter> mail;
    for (size_t i = 0; i < letters.size(); ++i)
        mail.push_back({"uid" + std::to_string(i), letters[i]});
    server.SetLetters(std::move(mail));
    CDataStores stores;
    stores.OpenSystemStore();
    baseDataStruct* account = bench::MakeBenchAccount(stores, server.port(), "bob", "s3cret");
    const auto start = Clock::now();
    bench::ReceiveQuietly(stores, account, 0);
    return Seconds(start);
}

}  // namespace

int main() {
    TheLog().SetThreshold(DiagLog::kError);
    const std::string text = Gb18030Text(20 << 20);
    size_t outSize = 0;
    const double ours = Best(3, [&] { outSize = CharsetToUtf8("gb18030", text)->size(); });

    char path[] = "/tmp/charset_bench_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        std::perror("temporary file");
        return 1;
    }
    close(fd);
    const std::string command = std::string("iconv -f GB18030 -t UTF-8 ") + path + " >/dev/null";
    int status = 0;
    const double tool = Best(3, [&] { status = std::system(command.c_str()); });
    unlink(path);
    if (status != 0) {
        std::fprintf(stderr, "iconv command failed\n");
        return 1;
    }
    const double mb = static_cast<double>(text.size()) / (1 << 20);
    std::printf("GB18030 -> UTF-8, %.1f MB in, %.1f MB out\n", mb,
                static_cast<double>(outSize) / (1 << 20));
    std::printf("  program: %.3f s (%.0f MB/s)\n  iconv command: %.3f s (%.0f MB/s)\n", ours,
                mb / ours, tool, mb / tool);
    std::printf("  speed relative to the command: %.2fx (target >= 0.5)\n", tool / ours);

    std::vector<std::string> letters;
    for (int i = 0; i < 2000; ++i) letters.push_back(Letter(i));
    const double bytes = InitLetters(letters, CMailCodec());
    const double utf8 = InitLetters(letters, DefaultMailCodec());
    std::printf("List entries of 2,000 letters: bytes only %.3f s, converting %.3f s\n", bytes,
                utf8);
    double receive = 1e9;
    for (int round = 0; round < 3; ++round) receive = std::min(receive, Receive(letters));
    std::printf("Receive of the same 2,000 letters: %.3f s\n", receive);
    std::printf("  header conversion in the receive: %.1f%% (target <= 10)\n",
                100.0 * (utf8 - bytes) / (receive - (utf8 - bytes)));
    return 0;
}
