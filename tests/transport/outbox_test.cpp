#include "transport/outbox.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "store/node_tree.h"

namespace korvo {
namespace {

TEST(NodeOutboxTest, LettersChangedBetweenCallsAreFoundAgainOrLeftAlone) {
    auto root = CreateRootNode();
    baseDataStruct* prepare = AddSonText(root.get(), "type =links");
    baseDataStruct* send = AddSonText(root.get(), "type =links");
    baseDataStruct* sendBox = AddSonText(root.get(), "type =Box ,showColumn =46947");
    auto letter = [&](const char* text) {
        baseDataStruct* l = AddSonText(prepare, "type =letter ,pointId =7");
        setinfo(l, kThisNode, "SDATA", text);
        return l;
    };
    baseDataStruct* a = letter("From: a@x\r\nTo: b@y\r\n\r\na");
    baseDataStruct* b = letter("b");
    baseDataStruct* c = letter("c");
    changestate(letter("old"), STATE_VALID, 0);

    int resolved = 0;
    std::recursive_mutex modelLock;
    OutboxHooks hooks;
    hooks.modelLock = &modelLock;
    std::vector<std::string> stored;
    hooks.store = [&](baseDataStruct* l) {
        // Every change to the trees happens under the model lock.
        bool free = false;
        std::thread([&] {
            free = modelLock.try_lock();
            if (free) modelLock.unlock();
        }).join();
        EXPECT_FALSE(free);
        stored.push_back(getinfo(l, kThisNode, "SDATA"));
    };
    NodeOutbox outbox(
        [&] {
            ++resolved;
            return OutboxNodes{prepare, send, sendBox};
        },
        hooks);

    const std::vector<uint32_t> ids = outbox.PendingLetters();
    EXPECT_EQ(ids, (std::vector<uint32_t>{a->nodeId(), b->nodeId(), c->nodeId()}));
    // Meanwhile the user deletes one letter and removes another from the tree.
    changestate(b, STATE_VALID, 0);
    const uint32_t cId = c->nodeId();
    deletepoint(c);
    std::string text;
    EXPECT_TRUE(outbox.MessageText(a->nodeId(), text));
    EXPECT_EQ(text, "From: a@x\r\nTo: b@y\r\n\r\na");
    EXPECT_FALSE(outbox.MessageText(b->nodeId(), text));
    EXPECT_FALSE(outbox.MessageText(cId, text));
    outbox.MarkSent(cId);  // gone: nothing happens
    EXPECT_EQ(send->firstSon(), nullptr);

    outbox.MarkSent(a->nodeId());
    ASSERT_NE(send->firstSon(), nullptr);
    baseDataStruct* copy = send->firstSon();
    EXPECT_NE(copy->nodeId(), a->nodeId());
    EXPECT_EQ(getinfo(copy, kThisNode, "pointId"), "-1");
    EXPECT_EQ(getinfo(a, kThisNode, "pointId"), "7");
    EXPECT_EQ(getinfo(copy, kThisNode, "ColumnData"), "-1");  // columns of the send box
    EXPECT_TRUE(teststate(copy, STATE_VALID));
    EXPECT_FALSE(teststate(a, STATE_VALID));
    EXPECT_EQ(stored.size(), 2u);
    EXPECT_EQ(resolved, 6);  // once per call
}

}  // namespace
}  // namespace korvo
