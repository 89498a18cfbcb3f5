// Store benchmark: letter-like nodes saved one by one under a link node, then loaded again.
//
//   store_bench [N ...]        (default: 1000 100000)
//
// For each N: the per-node save time, the per-node load time (DataLoadTree of the link node,
// block mask 7), and the memory the loaded tree takes with mask 3 against the bytes it holds.
// Built with SQLite available, it also times the same save workload in SQLite: one INSERT of
// the three blobs per node, each in its own transaction, journal_mode=DELETE, synchronous=OFF.
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/data_manager.h"
#include "store/node_tree.h"

#ifdef KORVO_BENCH_SQLITE
#include <sqlite3.h>
#endif

using namespace korvo;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Filler(size_t size, unsigned seed) {
    std::string out(size, ' ');
    for (size_t i = 0; i < size; ++i) out[i] = char('a' + (seed * 131 + i * 7) % 26);
    return out;
}

// About 200 bytes, like a letter's list properties.
std::string LetterText(long i) {
    char head[160];
    std::snprintf(head, sizeof head,
                  "type =letter ,mailLong =5120 ,MailId =%08lx%08lx ,read =0 ,pType =26 ,"
                  "RECEIVETIME =2026\\-12\\-07 22\\:15 ,subject =",
                  i * 2654435761L, i);
    std::string text = head;
    text += Filler(200 > text.size() ? 200 - text.size() : 0, unsigned(i));
    return text;
}

struct Result {
    double savePerNode = 0;
    double loadPerNode = 0;
    double memoryRatio = 0;
};

Result RunStore(const std::string& dir, long n) {
    Result r;
    const std::string path = dir + "bench.sdb";
    std::filesystem::remove(path);
    const std::string sdata = Filler(5 * 1024, 1);
    const std::string strdata = Filler(500, 2);
    {
        CBaseDataManage store;
        store.DataOpen(path, "New");
        baseDataStruct* link = addson(store.root(), "type =Link ,caption =Inbox ,pType =10");
        changestate(link, 0, STATE_LAZY_SONS);
        store.DataSaveList(link, 1);
        const auto start = Clock::now();
        for (long i = 0; i < n; ++i) {
            baseDataStruct* letter = AddSonText(link, LetterText(i));
            setinfo(letter, kThisNode, "SDATA", sdata);
            setdata(letter, strdata);
            store.DataSaveList(letter, 1);
            freedata(letter, 4 | 8);  // the blocks are in the store now
        }
        r.savePerNode = Seconds(start) / double(n);
    }
    {
        CBaseDataManage store;
        store.DataOpen(path);
        baseDataStruct* link = store.root()->firstSon();
        const auto start = Clock::now();
        store.DataLoadTree(link, -1, kLoadProperty | kLoadStrdata | kLoadSdata | kLoadLazySons,
                           true);
        r.loadPerNode = Seconds(start) / double(n);
    }
    {
        CBaseDataManage store;
        store.DataOpen(path);
        baseDataStruct* link = store.root()->firstSon();
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        store.DataLoadTree(link, -1, kLoadProperty | kLoadStrdata | kLoadLazySons, true);
        const size_t after = mallinfo2().uordblks;
        size_t held = 0;
        for (baseDataStruct* s = link->firstSon(); s; s = s->nextBrother()) {
            held += s->propertyText().size() + size_t(getdatasize(s, "STRDATA"));
        }
        r.memoryRatio = double(after - before) / double(held);
    }
    std::filesystem::remove(path);
    return r;
}

#ifdef KORVO_BENCH_SQLITE
double RunSqlite(const std::string& dir, long n) {
    const std::string path = dir + "bench.sqlite";
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=OFF;", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(db,
                 "CREATE TABLE letters (id INTEGER PRIMARY KEY, parent INTEGER, property BLOB, "
                 "sdata BLOB, strdata BLOB)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO letters (parent, property, sdata, strdata) VALUES (1, ?, ?, ?)",
                       -1, &insert, nullptr);
    const std::string sdata = Filler(5 * 1024, 1);
    const std::string strdata = Filler(500, 2);
    const auto start = Clock::now();
    for (long i = 0; i < n; ++i) {
        const std::string property = LetterText(i);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_bind_blob(insert, 1, property.data(), int(property.size()), SQLITE_STATIC);
        sqlite3_bind_blob(insert, 2, sdata.data(), int(sdata.size()), SQLITE_STATIC);
        sqlite3_bind_blob(insert, 3, strdata.data(), int(strdata.size()), SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    const double perNode = Seconds(start) / double(n);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    std::filesystem::remove(path);
    return perNode;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {1000, 100000};
    char pattern[] = "/tmp/korvo-store-bench-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";

    std::printf("%10s %14s %14s %12s %14s %10s\n", "N", "save us/node", "load us/node", "memory x",
                "sqlite us/node", "save/sqlite");
    for (long n : sizes) {
        const Result r = RunStore(dir, n);
        double sqlite = 0;
#ifdef KORVO_BENCH_SQLITE
        sqlite = RunSqlite(dir, n);
#endif
        std::printf("%10ld %14.2f %14.2f %12.2f %14.2f %10.2f\n", n, r.savePerNode * 1e6,
                    r.loadPerNode * 1e6, r.memoryRatio, sqlite * 1e6,
                    sqlite > 0 ? r.savePerNode / sqlite : 0.0);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
