// Receive and preview: the one procedure behind every receiving command.
//
// ReceiveMail walks the letters on the account's POP3 server from first to last and keeps two
// boxes of the account in step with it: the preview box mirrors the server (one letter per
// server letter, only the header block of a large letter in a preview), the receive box holds
// the letters received. Letters are known by their server unique id (`MailId`); a box never
// gets a second letter with an id it already holds. It is also the only place where letters
// are deleted on the server, and a letter is deleted there only once it is in the mail store.
//
// Modes (`nModel`): 0 preview; 1 receive everything new (deleting received letters on the
// server unless kept); 2 receive the listed letters; 3 delete the listed letters on the
// server; 4 receive and delete the listed letters. The list is the task's `MailIdList`
// ("__:id;__" per letter, "-1" for none).
#pragma once

#include <mutex>

#include "model/sys_data.h"
#include "store/node.h"
#include "transport/arrival_rules.h"

namespace korvo {

class CNetRP;

// The state bit of a letter the user keeps on the server: never swept, never deleted there.
inline constexpr uint32_t LETTER_KEEP = 0x02000000;

// A letter stored in a box by a receive, for the new-mail notice.
struct ArrivedLetter {
    std::string sender;   // the decoded name, or the address
    std::string subject;  // decoded
    // What filter rules asked for on its arrival.
    bool message = false;  // named in the rules' part of the notification
    bool playIcon = false;
    std::string voice;
};

// Where the procedure shows what it changed. The letter list implements ShowLetter; the main
// frame the rest. Called on the worker thread, with the model lock held when one is given.
class LetterListener {
  public:
    virtual ~LetterListener() = default;
    // A letter was created or its state changed: add, refresh or remove its row.
    virtual void ShowLetter(baseDataStruct* letter) = 0;
    // The counters of `box` changed: refresh its tree label.
    virtual void BoxChanged(baseDataStruct* box) = 0;
    // Tray icon state: 1 connecting, 2 letters on the server, 3 and 4 alternately while
    // letters arrive.
    virtual void SetTrayState(int state) { (void)state; }
    // The log-in failed: the tray shows the mail indicator's state again.
    virtual void RestoreTrayState() {}
    // The receive box's tree item is flagged as holding new mail.
    virtual void FlagNewMail(baseDataStruct* box) { (void)box; }
    // A new letter was stored in `box`.
    virtual void LetterArrived(baseDataStruct* box, const ArrivedLetter& letter) {
        (void)box;
        (void)letter;
    }
};

struct ReceiveContext {
    CNetRP& session;  // bound to the account and the task (InitialzeAccount)
    CSysData& sys;    // the system store, holding the account; its mail store holds the letters
    LetterListener& listener;
    // The model lock: taken for every step that reads or changes nodes or the stores, never
    // while waiting on the server. None when nothing else touches the trees.
    std::recursive_mutex* modelLock = nullptr;
    // Decide where each letter received whole is stored and how it is marked; none: the
    // receive box, unmarked. The skipped rules are named in the task's Info.
    ArrivalRules* rules = nullptr;
};

// Runs one pass of mode `nModel`. Returns 1 when the log-in succeeded (whatever happened
// afterwards), 0 when it failed or the session has no account or the account lacks its
// preview or receive box. Writes the task result: 0 when the server holds no letters, 2 when
// at least one letter was fetched and stored, 1 otherwise. A pass cut short by a broken
// connection reports the failure in the task's State and Info.
int ReceiveMail(const ReceiveContext& context, int nModel);

// A new letter node under `letters` (a box's link node) as every received letter starts: its
// size, its raw text and `read` 1 when `whole` (0: the header block only). An empty `id` gives
// no MailId: the letter belongs to no server. mailInitProperty completes it.
baseDataStruct* AddLetterNode(baseDataStruct* letters, long size, std::string_view id, int whole,
                              std::string text);

// Writes a letter into the mail store, giving a new letter its point. False when it is not
// stored.
bool StoreLetter(CSysMailBox& mail, baseDataStruct* letter);

// Counters of a box (ValidateItemSum, HideItemSum, UnreadItemSum, DeleteItemSum) after one of
// its letters went from state `before` to state `after` (`hadBefore` false: a new letter).
// Never below 0. Returns whether a counter changed.
bool AdjustBoxCounters(baseDataStruct* box, bool hadBefore, uint32_t before, uint32_t after);

}  // namespace korvo
