// The letters a send task works on: the account's prepare box, and its send box that keeps a
// copy of every letter that went out.
//
// The session asks for the letters once, fetches each letter's text right before sending it
// and then reports the outcome. Letters are named by their node ids, so a letter the user
// deleted meanwhile is simply not found. Each call is one short step on the trees: an
// implementation takes the model lock inside each call, never across calls, because the
// session waits on the network between them.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "store/node.h"

namespace korvo {

// The property key of a letter that keeps its blind-copy receivers: they are sent the letter
// but named nowhere in its text.
inline constexpr std::string_view kBlindCopyKey = "BlindCopy";

class Outbox {
  public:
    virtual ~Outbox() = default;

    // Ids of the letters to send, first to last: the letters of the prepare box whose
    // STATE_VALID is set (the others show as deleted).
    virtual std::vector<uint32_t> PendingLetters() = 0;

    // A copy of the stored message text of the letter; false when the letter is gone or no
    // longer valid.
    virtual bool MessageText(uint32_t letter, std::string& text) = 0;

    // The letter's blind-copy receivers (an address list kept beside the text, never in it);
    // empty when it has none.
    virtual std::string BlindCopies(uint32_t letter) {
        (void)letter;
        return {};
    }

    // The server accepted the letter: a copy goes into the send box (as a new letter of that
    // box) and the letter is marked deleted in the prepare box; both are stored and shown.
    virtual void MarkSent(uint32_t letter) = 0;

    // The letter did not go out: it stays as it is, valid in the prepare box. `error` says why.
    virtual void MarkFailed(uint32_t letter, const std::string& error) = 0;
};

// What a NodeOutbox does besides changing the nodes.
struct OutboxHooks {
    // Writes a letter to the store (a letter without point gets a new one).
    std::function<void(baseDataStruct* letter)> store;
    // Reads the letter's blocks from the store when they are not in memory.
    std::function<void(baseDataStruct* letter)> load;
    // Refreshes the letter's row where it is shown.
    std::function<void(baseDataStruct* letter)> showRow;
    // Learns about a letter that stayed in the prepare box.
    std::function<void(baseDataStruct* letter, const std::string& error)> failed;
    // Held during each call when given.
    std::recursive_mutex* modelLock = nullptr;
};

// The nodes an outbox works on: `prepareLetters` and `sendLetters` hold the letters as sons
// (the link nodes of the prepare and the send box); `sendBox` is the box whose columns the
// copies get.
struct OutboxNodes {
    baseDataStruct* prepareLetters = nullptr;
    baseDataStruct* sendLetters = nullptr;
    baseDataStruct* sendBox = nullptr;
};

// The outbox over letter containers in memory.
class NodeOutbox : public Outbox {
  public:
    using Hooks = OutboxHooks;
    // Finds the containers again at each call (under the model lock): the mail store may have
    // switched files between two calls, which replaces its link nodes.
    using Resolver = std::function<OutboxNodes()>;

    NodeOutbox(Resolver resolve, Hooks hooks = {});
    // Containers that outlive the outbox.
    NodeOutbox(baseDataStruct* prepareLetters, baseDataStruct* sendLetters, baseDataStruct* sendBox,
               Hooks hooks = {});

    std::vector<uint32_t> PendingLetters() override;
    bool MessageText(uint32_t letter, std::string& text) override;
    std::string BlindCopies(uint32_t letter) override;
    void MarkSent(uint32_t letter) override;
    void MarkFailed(uint32_t letter, const std::string& error) override;

  private:
    std::unique_lock<std::recursive_mutex> Lock();
    // The son of the prepare container with this id.
    static baseDataStruct* Find(const OutboxNodes& nodes, uint32_t letter);

    Resolver resolve_;
    Hooks hooks_;
};

}  // namespace korvo
