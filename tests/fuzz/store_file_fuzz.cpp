// Store files may be damaged in any way. The input is a list of 8-byte patches (a 32-bit
// offset into a small but complete store file, and the 32-bit value written there); opening,
// loading, changing and checking the patched file must never crash, hang or allocate beyond
// the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/message_hook.h"
#include "store/data_manager.h"
#include "store/node_tree.h"
#include "store/store_format.h"
#include "tools/store_audit.h"

using namespace korvo;

namespace {

std::string g_dir;
std::string g_template;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void MakeTemplate() {
    char pattern[] = "/tmp/korvo-store-fuzz-XXXXXX";
    g_dir = std::string(::mkdtemp(pattern)) + "/";
    const std::string path = g_dir + "template.dat";
    CBaseDataManage store;
    store.DataOpen(path, "New");
    baseDataStruct* user = addson(store.root(), "type =User ,caption =ann ,pType =2");
    baseDataStruct* box = addson(user, "type =Box ,caption =Inbox ,pType =10");
    for (int i = 0; i < 6; ++i) {
        baseDataStruct* letter = addson(box, "type =letter ,n =%d ,pType =26", i);
        setinfo(letter, kThisNode, "SDATA", std::string(size_t(i) * 2500, char('a' + i)));
        setdata(letter, std::string(size_t(i) * 180, char('A' + i)));
    }
    baseDataStruct* big = addson(user, "type =Note");
    setinfo(big, kThisNode, "text", std::string(700, 'x'));
    changestate(addson(store.root(), "type =User ,caption =bob ,pType =2"), 0, STATE_LAZY_SONS);
    store.DataSaveList(store.root(), 2);
    store.file().Close();
    g_template = ReadAll(path);
}

void LoadAll(CBaseDataManage& store) {
    std::vector<baseDataStruct*> stack{store.root()};
    for (size_t guard = 0; !stack.empty() && guard < 100000; ++guard) {
        baseDataStruct* n = stack.back();
        stack.pop_back();
        store.DataLoadPoint(n, -1, kLoadSdata | kLoadStrdata);
        for (baseDataStruct* s = n->firstSon(); s; s = s->nextBrother()) stack.push_back(s);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetMessageHook([](const std::string&) {});
    MakeTemplate();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = g_template;
    for (size_t at = 0; at + 8 <= size; at += 8) {
        const uint32_t offset = storefmt::Get32(data + at) % uint32_t(bytes.size());
        const uint32_t value = storefmt::Get32(data + at + 4);
        for (uint32_t i = 0; i < 4 && offset + i < bytes.size(); ++i) {
            bytes[offset + i] = char(value >> (8 * i));
        }
    }
    const std::string path = g_dir + "case.dat";
    { std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes; }

    std::ostringstream out, err;
    CheckStore(path, out);
    DumpStore(path, {.data = true}, out, err);
    {
        CBaseDataManage store;
        if (store.DataOpen(path)) {
            LoadAll(store);
            if (baseDataStruct* first = store.root()->firstSon()) {
                store.DataLoadTree(first, -1, kLoadProperty | kLoadLazySons, true);
                baseDataStruct* added = addson(first, "type =New");
                setinfo(added, kThisNode, "SDATA", std::string(6000, 'n'));
                store.DataSaveList(added, 1);
                store.DataDeletePoint(first->firstSon(), 0);
            }
        }
    }
    CheckStore(path, out);
    return 0;
}
