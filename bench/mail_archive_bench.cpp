// Import of an mbox file and export of the box it filled:
//   mail_archive_bench [LETTERS [BYTES]]   (default 100,000 letters of 5,000 bytes)
// Writes the mbox in a temporary data directory, imports it into a box with the stores synced
// at the end, exports the box again and compares the two files. Prints letters per second for
// both directions and the resident memory before and after the import, which stays far below
// the size of the file when the file is streamed.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_receive.h"
#include "content/mail_archive.h"
#include "model/data_stores.h"
#include "tests/support/temp_dir.h"
#include "transport/letter_export.h"
#include "transport/letter_import.h"

using namespace korvo;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Whether two files hold the same bytes, read in pieces.
bool SameFiles(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::string p(1 << 20, '\0'), q(1 << 20, '\0');
    while (x && y) {
        x.read(p.data(), p.size());
        y.read(q.data(), q.size());
        if (x.gcount() != y.gcount() || p.compare(0, x.gcount(), q, 0, y.gcount()) != 0)
            return false;
    }
    return !x && !y;
}

// Resident memory now, in MB (VmRSS).
double ResidentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return -1;
}

// CPU seconds of the process so far (user and system): on a machine shared with other work the
// wall-clock rate says as much about the others as about this code.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

std::string Letter(int i, size_t bytes) {
    std::string text = "From: Sender " + std::to_string(i % 97) +
                       " <sender@example.org>\r\nTo: me@example.org\r\nSubject: Letter " +
                       std::to_string(i) + "\r\nDate: Tue, 05 Mar 2024 10:20:00 +0000\r\n\r\n";
    while (text.size() + 2 < bytes) {
        std::string line = (text.size() / 70) % 9 == 0 ? "From the body, a line to quote" : "body";
        line.resize(std::min<size_t>(68, bytes - 2 - text.size()), 'x');
        text += line + "\r\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const size_t bytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 5000;
    test::TempDir dir;
    test::ScopedDataDir data(dir.path());
    const std::string mbox = dir.path() + "in.mbox";
    {
        std::ofstream out(mbox, std::ios::binary);
        std::string chunk;
        for (int i = 0; i < count; ++i) {
            AppendMboxLetter(chunk, Letter(i, bytes), "sender@example.org", 1709634000 + i * 60,
                             i % 3 == 0, i % 7 == 0, false);
            if (chunk.size() > (1u << 20)) {
                out << chunk;
                chunk.clear();
            }
        }
        out << chunk;
    }
    const double fileMb =
        double(std::ifstream(mbox, std::ios::ate | std::ios::binary).tellg()) / 1048576;

    CDataStores stores;
    if (!stores.OpenSystemStore()) return 1;
    baseDataStruct* account = bench::MakeBenchAccount(stores, 110, "bench", "pw");
    baseDataStruct* box = stores.sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
    stores.mail().SysReadLinkTree(box, kLoadProperty);
    const double before = ResidentMb();

    double cpu = CpuSeconds();
    auto start = Clock::now();
    const ImportResult in = ImportLetters(stores.sys(), box, {mbox});
    const double importSeconds = SecondsSince(start);
    const double importCpu = CpuSeconds() - cpu;
    const double after = ResidentMb();
    if (!in.ok() || in.stored != count) {
        std::fprintf(stderr, "import failed: %ld stored\n", in.stored);
        return 1;
    }

    const std::string outPath = dir.path() + "out.mbox";
    cpu = CpuSeconds();
    start = Clock::now();
    const ExportResult out = ExportBox(stores.sys(), box, outPath);
    const double exportSeconds = SecondsSince(start);
    const double exportCpu = CpuSeconds() - cpu;
    if (!out.ok) {
        std::fprintf(stderr, "export failed: %s\n", out.error.c_str());
        return 1;
    }
    const bool same = SameFiles(mbox, outPath);

    std::printf("%d letters of %zu bytes, mbox %.1f MB\n", count, bytes, fileMb);
    std::printf(
        "import: %.2f s, %.0f letters/s (%.2f s of CPU, %.0f letters per CPU second); "
        "resident %.1f MB before, %.1f MB after (+%.1f)\n",
        importSeconds, count / importSeconds, importCpu, count / importCpu, before, after,
        after - before);
    std::printf(
        "export: %.2f s, %.0f letters/s (%.2f s of CPU, %.0f letters per CPU second); "
        "peak resident %.1f MB\n",
        exportSeconds, count / exportSeconds, exportCpu, count / exportCpu, PeakMb());
    std::printf("export equals the imported file: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
