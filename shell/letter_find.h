// The find window's search: letters of every box of a user (or of one account) whose sender,
// receivers and subject (decoded), and optionally body text and attachment names, hold every
// word of the query, within a range of days.
//
// The search runs on a worker thread. It takes the model lock for one small batch of letters at
// a time, copies their raw texts out and matches them without the lock, so the window stays
// live and the user may change, move or delete letters meanwhile: between batches boxes and
// letters are found again by node id, never through pointers kept from an earlier batch.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "content/mail_codec.h"
#include "content/text_search.h"
#include "model/sys_data.h"
#include "store/node.h"

namespace korvo {

struct FindQuery {
    std::string words;
    bool body = false;         // also the decoded text parts
    bool attachments = false;  // also the attachment names
    // Days as "YYYY-MM-DD", both ends included; empty: open.
    std::string firstDay;
    std::string lastDay;
};

struct FindHit {
    uint32_t boxId = 0;     // the box's node id in the system store
    uint32_t letterId = 0;  // the letter's node id in the mail store
    std::string box, sender, subject, date;
};

// Whether one raw letter matches: `words` over the decoded header texts (and what the query
// adds), `query`'s day range over the letter's date ("YYYY-MM-DD hh:mm"; `fallbackDate` when the
// letter carries none). Fills `hit`'s sender, subject and date when it matches.
bool MatchLetter(const WordSearch& words, const FindQuery& query, std::string_view raw,
                 std::string_view fallbackDate, FindHit* hit,
                 const CMailCodec& codec = DefaultMailCodec());

// Whether `text` starts with a day "YYYY-MM-DD".
bool IsDayText(std::string_view text);

class LetterFind {
  public:
    // On the UI thread with the model lock held: notes the boxes below `scope` (a user or an
    // account) that are not locked, and the user file the search reads. `sys` must outlive the
    // search.
    LetterFind(CSysData& sys, baseDataStruct* scope, FindQuery query);

    // Runs the search on the calling thread; `found` gets each hit, without the model lock.
    // Stops soon after `cancel` is set, and when the mail store switched to another user's file.
    // Never waits for the model lock while `cancel` is set. True when every box was searched.
    bool Run(const std::atomic<bool>& cancel, const std::function<void(const FindHit&)>& found);

    size_t boxCount() const { return boxes_.size(); }

  private:
    struct Box {
        uint32_t id;
        std::string caption;
    };
    struct Raw {
        uint32_t id;
        std::string text;
        std::string receiveTime;
    };
    // The box's letters with their ids from `from` on, at most `count` of them, read under the
    // lock; false when the box or the user's file is gone.
    bool ReadBatch(const Box& box, const std::vector<uint32_t>* ids, size_t from, size_t count,
                   std::vector<uint32_t>* allIds, std::vector<Raw>* out);
    baseDataStruct* FindBox(uint32_t id) const;

    CSysData& sys_;
    FindQuery query_;
    WordSearch words_;
    std::vector<Box> boxes_;
    std::string userFile_;
    const std::atomic<bool>* cancel_ = nullptr;
};

// A search on its own thread. Hits collect until the UI takes them; Cancel returns at once
// (the worker stops at its next letter and never blocks on the model lock once cancelled).
class FindTask {
  public:
    FindTask(CSysData& sys, baseDataStruct* scope, FindQuery query);
    // Cancels and waits for the worker, which is then at most one letter's work away.
    ~FindTask();
    FindTask(const FindTask&) = delete;
    FindTask& operator=(const FindTask&) = delete;

    void Cancel() { cancel_ = true; }
    bool running() const { return running_; }
    bool cancelled() const { return cancel_; }
    // The hits found since the last call.
    std::vector<FindHit> TakeHits();

  private:
    LetterFind find_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> running_{true};
    std::mutex hitsMutex_;
    std::vector<FindHit> hits_;
    std::thread worker_;
};

}  // namespace korvo
