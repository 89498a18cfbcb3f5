// Changes a store at random until it is killed, journalling every operation: "B ..." before
// it starts and "E" once it has returned, each line written and synced before going on.
//
//   crash_writer STORE JOURNAL SEED UID_BASE
#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "store/data_manager.h"
#include "store/node_tree.h"
#include "tests/store/crash_content.h"

using namespace korvo;

namespace {

int g_journal = -1;

void Journal(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(g_journal, text.data(), text.size()) != ssize_t(text.size())) _exit(3);
    ::fdatasync(g_journal);
}

void Fill(baseDataStruct* node, long uid, long version) {
    const crashtest::Content c = crashtest::ContentOf(uid, version);
    std::string property = c.property;
    const std::string point = getinfo(node, kThisNode, "pointId");
    if (point != "-1") property += " ,pointId =" + point;
    setinfo(node, kThisNode, "PROPERTY", property);
    setinfo(node, kThisNode, "SDATA", c.sdata);
    if (c.strdata.empty()) {
        setdata(node, nullptr, 0);
    } else {
        setdata(node, c.strdata);
    }
}

void Collect(baseDataStruct* node, std::vector<baseDataStruct*>* out) {
    for (baseDataStruct* s = node->firstSon(); s; s = s->nextBrother()) {
        out->push_back(s);
        Collect(s, out);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    g_journal = ::open(argv[2], O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (g_journal < 0) return 2;
    std::mt19937 rng(uint32_t(std::stoul(argv[3])));
    long nextUid = std::stol(argv[4]);

    CBaseDataManage store;
    if (!store.DataOpen(argv[1])) return 4;
    for (;;) {
        std::vector<baseDataStruct*> nodes;
        Collect(store.root(), &nodes);
        const unsigned pick = rng() % 100;
        if (nodes.empty() || pick < 45) {
            baseDataStruct* parent =
                nodes.empty() || rng() % 4 == 0 ? store.root() : nodes[rng() % nodes.size()];
            const long uid = nextUid++;
            const std::string parentUid =
                parent == store.root() ? "0" : getinfo(parent, kThisNode, "uid");
            baseDataStruct* node = addson(parent, "%s", "");
            Fill(node, uid, 0);
            Journal("B C " + std::to_string(uid) + " 0 " + parentUid);
            if (store.DataSaveList(node, 1) < 0) _exit(5);
            Journal("E");
        } else if (pick < 80) {
            baseDataStruct* node = nodes[rng() % nodes.size()];
            const long uid = TextToLong(getinfo(node, kThisNode, "uid"));
            const long version = TextToLong(getinfo(node, kThisNode, "v")) + 1;
            Fill(node, uid, version);
            Journal("B M " + std::to_string(uid) + " " + std::to_string(version));
            if (store.DataSaveList(node, 1) < 0) _exit(6);
            Journal("E");
        } else {
            baseDataStruct* node = nodes[rng() % nodes.size()];
            Journal("B D " + getinfo(node, kThisNode, "uid"));
            if (!store.DataDeletePoint(node, 0)) _exit(7);
            Journal("E");
        }
    }
}
