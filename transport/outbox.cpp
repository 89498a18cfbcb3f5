#include "transport/outbox.h"

#include "content/letter_node.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {

NodeOutbox::NodeOutbox(Resolver resolve, Hooks hooks)
    : resolve_(std::move(resolve)), hooks_(std::move(hooks)) {}

NodeOutbox::NodeOutbox(baseDataStruct* prepareLetters, baseDataStruct* sendLetters,
                       baseDataStruct* sendBox, Hooks hooks)
    : NodeOutbox([nodes = OutboxNodes{prepareLetters, sendLetters, sendBox}] { return nodes; },
                 std::move(hooks)) {}

std::unique_lock<std::recursive_mutex> NodeOutbox::Lock() {
    return hooks_.modelLock ? std::unique_lock(*hooks_.modelLock)
                            : std::unique_lock<std::recursive_mutex>();
}

baseDataStruct* NodeOutbox::Find(const OutboxNodes& nodes, uint32_t letter) {
    for (baseDataStruct* son = nodes.prepareLetters ? nodes.prepareLetters->firstSon() : nullptr;
         son; son = son->nextBrother()) {
        if (son->nodeId() == letter) return son;
    }
    return nullptr;
}

std::vector<uint32_t> NodeOutbox::PendingLetters() {
    auto lock = Lock();
    const OutboxNodes nodes = resolve_();
    std::vector<uint32_t> ids;
    for (baseDataStruct* son = nodes.prepareLetters ? nodes.prepareLetters->firstSon() : nullptr;
         son; son = son->nextBrother()) {
        if (teststate(son, STATE_VALID)) ids.push_back(son->nodeId());
    }
    return ids;
}

bool NodeOutbox::MessageText(uint32_t letter, std::string& text) {
    auto lock = Lock();
    baseDataStruct* node = Find(resolve_(), letter);
    if (!node || !teststate(node, STATE_VALID)) return false;
    if (hooks_.load) hooks_.load(node);
    text.assign(getdata(node, "SDATA").value_or(std::string_view()));
    return true;
}

std::string NodeOutbox::BlindCopies(uint32_t letter) {
    auto lock = Lock();
    const std::string list = getinfo(Find(resolve_(), letter), kThisNode, kBlindCopyKey);
    return list == kAbsent ? std::string() : list;
}

void NodeOutbox::MarkSent(uint32_t letter) {
    auto lock = Lock();
    const OutboxNodes nodes = resolve_();
    baseDataStruct* node = Find(nodes, letter);
    if (!node) return;
    baseDataStruct* copy = AddSonText(nodes.sendLetters, "");
    if (copy) {
        copyfrom(copy, node, 15);
        // A copy is a letter of its own: the store gives it a point of its own.
        setinfo(copy, kThisNode, "pointId", "-1");
        mailInitProperty(copy, nodes.sendBox);
        if (hooks_.store) hooks_.store(copy);
        if (hooks_.showRow) hooks_.showRow(copy);
    } else {
        LogLine(DiagLog::kWarning, "NodeOutbox::MarkSent , no send box for a sent letter");
    }
    changestate(node, STATE_VALID, 0);
    if (hooks_.store) hooks_.store(node);
    if (hooks_.showRow) hooks_.showRow(node);
}

void NodeOutbox::MarkFailed(uint32_t letter, const std::string& error) {
    auto lock = Lock();
    baseDataStruct* node = Find(resolve_(), letter);
    LogLine(DiagLog::kWarning, "NodeOutbox::MarkFailed , letter %u stays unsent: %s", letter,
            error.c_str());
    if (node && hooks_.failed) hooks_.failed(node, error);
}

}  // namespace korvo
