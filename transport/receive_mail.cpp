#include "transport/receive_mail.h"

#include <chrono>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "content/letter_node.h"
#include "content/mail_header.h"
#include "platform/string_format.h"
#include "store/diag_log.h"
#include "store/node_tree.h"
#include "transport/mail_id_index.h"
#include "transport/net_rp.h"
#include "transport/session_view.h"
#include "transport/task_record.h"

namespace korvo {
namespace {

// Letters above this size are previewed by their header block only.
constexpr long kPreviewWholeLimit = 1024;

// Letters stored but not yet deleted on the server: one sync of the store covers the group,
// then the server is told to delete them. Bounded by count, bytes and age so that a failure
// never leaves much to fetch again and a sync is spread over enough letters to cost little.
constexpr size_t kDeleteGroupLetters = 64;
constexpr size_t kDeleteGroupBytes = 4 << 20;
constexpr std::chrono::milliseconds kDeleteGroupAge{250};

// A stored letter for the new-mail notice: who it is from (the decoded name, else the
// address), its subject and what the rules asked for.
ArrivedLetter ArrivedOf(const std::string& text, const ArrivalDecision& decision) {
    const size_t end = text.find("\r\n\r\n");
    const std::string_view header =
        std::string_view(text).substr(0, end == std::string::npos ? text.size() : end + 2);
    const std::string from = MailGetHeaderItem(header, "From");
    ArrivedLetter letter;
    letter.sender = GetAddressName(from);
    if (letter.sender.empty()) letter.sender = GetAddressEmail(from);
    letter.subject = MailGetHeaderItem(header, "Subject");
    letter.message = decision.message;
    letter.playIcon = decision.playIcon;
    letter.voice = decision.voice;
    return letter;
}

// The model lock of one pass; a pass without lock does nothing here.
class ModelLock {
  public:
    explicit ModelLock(std::recursive_mutex* mutex) : mutex_(mutex) { lock(); }
    ~ModelLock() { unlock(); }
    ModelLock(const ModelLock&) = delete;
    ModelLock& operator=(const ModelLock&) = delete;
    void lock() {
        if (mutex_ && !held_) {
            mutex_->lock();
            held_ = true;
        }
    }
    void unlock() {
        if (mutex_ && held_) {
            mutex_->unlock();
            held_ = false;
        }
    }

  private:
    std::recursive_mutex* mutex_;
    bool held_ = false;
};

// Releases the pass's model lock while the pass waits on the server.
class Unlocked {
  public:
    explicit Unlocked(ModelLock& lock) : lock_(lock) { lock_.unlock(); }
    ~Unlocked() { lock_.lock(); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

  private:
    ModelLock& lock_;
};

// What a receive mode does, decided once per pass.
struct ModePolicy {
    bool listedOnly = false;     // only letters whose ids the task lists (each once)
    bool sweepsPreview = false;  // the preview box mirrors the server: unseen letters end deleted
    bool revalidatesPreview =
        false;                  // a previewed letter seen on the server is valid and shown again
    bool needsPreview = false;  // letters the preview box does not know are left alone
    bool fetches = false;       // letters are fetched from the server
    bool previewOnly = false;   // fetched into the preview box only: once, large ones by their head
    bool storesReceived = false;  // fetched letters go to the receive box
    bool skipsReceived = false;   // a letter the receive box holds whole is not fetched again
    bool deletes = false;         // stored letters are deleted on the server unless kept
    bool honoursKeepAll = false;  // the account's keepOnServer switch stops every delete
    bool invalidatesPreview =
        false;  // a letter deleted on the server ends deleted in the preview box
};

// 0 preview; 1 receive everything new; 2 receive the listed letters; 3 delete the listed
// letters on the server; 4 receive and delete the listed letters.
ModePolicy PolicyOf(int mode) {
    switch (mode) {
        case 0:
            return {.sweepsPreview = true,
                    .revalidatesPreview = true,
                    .fetches = true,
                    .previewOnly = true};
        case 1:
            return {.sweepsPreview = true,
                    .revalidatesPreview = true,
                    .fetches = true,
                    .storesReceived = true,
                    .skipsReceived = true,
                    .deletes = true,
                    .honoursKeepAll = true};
        case 2:
            return {.listedOnly = true,
                    .revalidatesPreview = true,
                    .fetches = true,
                    .storesReceived = true};
        case 3:
            return {.listedOnly = true,
                    .needsPreview = true,
                    .deletes = true,
                    .invalidatesPreview = true};
        default:
            return {.listedOnly = true,
                    .fetches = true,
                    .storesReceived = true,
                    .deletes = true,
                    .invalidatesPreview = true};
    }
}

long Counter(const baseDataStruct* box, std::string_view key) {
    const long value = TextToLong(getinfo(box, kThisNode, key));
    return value < 0 ? 0 : value;
}

int Digits(int n) {
    int digits = 0;
    for (; n >= 1; n /= 10) ++digits;
    return digits;
}

class ReceivePass {
  public:
    ReceivePass(const ReceiveContext& context, int mode)
        : session_(context.session),
          sys_(context.sys),
          listener_(context.listener),
          lock_(context.modelLock),
          policy_(PolicyOf(mode)),
          task_(context.session.task()),
          rules_(context.rules) {}

    int Run();

  private:
    struct Box {
        baseDataStruct* node = nullptr;
        baseDataStruct* letters = nullptr;
        MailIdIndex index;
        bool countersChanged = false;
    };

    bool cancelled() const { return task_ && task_->cancel.load(); }
    bool connected() const { return session_.pop3Connected(); }
    void Status(const std::string& text) {
        if (task_ && task_->view) task_->view->SetStatus(text);
    }
    void Caption(const std::string& text) {
        if (task_ && task_->view) task_->view->SetCaption(text);
    }
    void Progress(int percent) {
        if (task_ && task_->view) task_->view->SetProgress(percent);
    }
    void SetResult(int result) {
        if (task_) task_->result = result;
    }

    bool FindBoxes();
    // Logs in and counts the server's letters: the count, -1 when the count failed (the
    // session is then closed), or kLoginFailed.
    static constexpr int kLoginFailed = -2;
    int Connect();
    // True once a write to either store has failed: the pass stops and deletes nothing more.
    bool StorageFailed();
    // Syncs the mail store, then deletes the group of stored letters on the server. False when
    // the sync failed (nothing of the group is deleted) or the connection broke.
    bool DeleteGroup();
    void Sweep();
    void RestoreSwept();
    // One server letter, in its steps: match it to the boxes, show the boxes' letters of it
    // as valid again, fetch it, store it, queue its delete. Each returns false to end the walk.
    bool Walk(int i, int n, int digits);
    struct Match {
        int number = 0;
        bool wanted = false;  // a sound id, and listed when the mode works on a list
        std::string id;
        baseDataStruct* preview = nullptr;
        baseDataStruct* received = nullptr;
        bool keep = false;  // the user keeps it on the server
        // Its fetch is on its way (written ahead while the letter before was stored), and
        // with it the id queries of the letter after it.
        bool fetchAhead = false;
        bool nextAhead = false;
    };
    // Reads letter i's id and looks it up in the boxes.
    Match MatchLetter(int i);
    // Finds the boxes' letters of the match's id.
    void LookUp(Match& match);
    // Whether the letter was received whole before (nothing to fetch).
    bool ReceivedBefore(const Match& match) const;
    // Whether the walk fetches the letter of a match.
    bool Fetches(const Match& match) const;
    // With pipelining, while letter `current` (fetched, `bytes` long, removed on the server
    // afterwards when `removed`) waits to be stored: matches the next letter and writes its
    // fetch ahead, so that the server sends it while this one is stored.
    void BeginNext(const Match& current, int n, bool removed, size_t bytes);
    bool Revalidate(const Match& match);
    struct Fetched {
        bool ok = false;
        long size = -1;  // as LIST gave it
        int whole = 1;   // 0: the header block only
        std::string text;
    };
    Fetched FetchLetter(int i);
    // Stores a fetched letter in the boxes of the mode; whether it is in the mail store.
    bool StoreFetched(Match& match, Fetched& fetched);
    // Whether a letter of `bytes` queued now closes the delete group (by its bytes only, or
    // also by its count and age).
    bool GroupFullWith(size_t bytes, bool countAndAge = true, size_t queued = 0) const;
    bool QueueDelete(int i, const Match& match, size_t bytes, bool closesGroup);
    // Writes the letter to the mail store; false when it is not stored.
    bool Store(baseDataStruct* letter);
    // Changes a letter's state bits and the counters of its box.
    void Change(Box& box, baseDataStruct* letter, uint32_t clear, uint32_t set);
    void Counted(Box& box, bool hadBefore, uint32_t before, uint32_t after);
    baseDataStruct* NewLetter(Box& box, long size, const std::string& id, int whole,
                              std::string text);
    void Mirror(baseDataStruct* received);
    // The box of a rule's MoveTo or CopyTo, its letters read; null when unreadable.
    Box* RuleBox(baseDataStruct* node);
    // Stores a fetched letter in `box` as the rules decided; whether it is in the store (a box
    // holding the id already counts).
    bool StoreByRule(Box& box, const Match& match, const Fetched& fetched);
    // Hides and marks a new letter as the rules decided.
    void Mark(baseDataStruct* letter) const;
    // The letters the rules wrote about a stored letter (forwards, answers).
    void ShowRuleLetters(const std::vector<baseDataStruct*>& written);
    // A letter the rules delete on its header block, before the download: the block is kept
    // in the Trash box marked deleted, and the letter joins the delete group. None when the
    // letter is to be fetched; else whether the walk goes on.
    std::optional<bool> DeletedAtOnce(int i, const Match& match);

    CNetRP& session_;
    CSysData& sys_;
    LetterListener& listener_;
    ModelLock lock_;
    const ModePolicy policy_;
    TaskRecord* task_;
    Box preview_;
    Box receive_;
    bool keepAll_ = false;
    bool fetched_ = false;
    int fetchCount_ = 0;
    std::string list_;
    // Preview letters marked deleted by the sweep and not yet seen on the server, with their
    // valid and read bits from before.
    std::unordered_map<baseDataStruct*, uint32_t> swept_;
    // Server letters to delete once the store holding them is synced: number and preview.
    struct Doomed {
        int number;
        baseDataStruct* preview;
    };
    std::vector<Doomed> doomed_;
    size_t doomedBytes_ = 0;
    std::chrono::steady_clock::time_point doomedSince_;
    bool storageFailed_ = false;
    int badIds_ = 0;
    ArrivalRules* rules_;
    ArrivalDecision decision_;   // of the letter being stored
    std::optional<Match> next_;  // the next letter, matched while this one was stored
    std::map<baseDataStruct*, Box> ruleBoxes_;
};

// A preview letter whose letter the rules moved out of the receive box: received all the same.
constexpr std::string_view kFiledKey = "filedByRule";
// A letter a rule hid stays hidden when a later pass sees it on the server again.
constexpr std::string_view kHiddenKey = "hiddenByRule";

ReceivePass::Box* ReceivePass::RuleBox(baseDataStruct* node) {
    auto it = ruleBoxes_.find(node);
    if (it != ruleBoxes_.end()) return it->second.letters ? &it->second : nullptr;
    Box& box = ruleBoxes_[node];
    box.node = node;
    box.letters = sys_.mailBox().SysReadLinkTree(node, kLoadProperty | kLoadStrdata | kLoadSdata);
    if (box.letters) box.index.Build(box.letters);
    return box.letters ? &box : nullptr;
}

void ReceivePass::Mark(baseDataStruct* letter) const {
    if (decision_.hide) {
        changestate(letter, 0, LETTER_HIDDEN);
        setinfo(letter, kThisNode, kHiddenKey, "1");
    }
    if (!decision_.markColor.empty()) setinfo(letter, kThisNode, "MarkColor", decision_.markColor);
    if (!decision_.markStyle.empty()) setinfo(letter, kThisNode, "MarkStyle", decision_.markStyle);
}

bool ReceivePass::StoreByRule(Box& box, const Match& match, const Fetched& fetched) {
    if (box.index.Find(match.id)) return true;
    baseDataStruct* letter = NewLetter(box, fetched.size, match.id, fetched.whole, fetched.text);
    mailInitProperty(letter, box.node, nullptr);
    Mark(letter);
    if (!Store(letter)) {
        deletepoint(letter);
        return false;
    }
    box.index.Insert(letter);
    Counted(box, false, 0, getstate(letter));
    listener_.ShowLetter(letter);
    return true;
}

bool ReceivePass::StorageFailed() {
    if (!storageFailed_ && (sys_.failed() || sys_.mailBox().failed())) {
        storageFailed_ = true;
        doomed_.clear();  // not durably stored, so never deleted on the server
    }
    return storageFailed_;
}

bool ReceivePass::DeleteGroup() {
    if (doomed_.empty()) return true;
    std::vector<Doomed> group;
    group.swap(doomed_);
    doomedBytes_ = 0;
    // A letter is deleted on its server only once the store holding it is on the disk.
    if (!sys_.mailBox().DataSync()) {
        StorageFailed();
        return false;
    }
    std::vector<int> numbers;
    for (const Doomed& letter : group) numbers.push_back(letter.number);
    session_.WriteAheadDeletes(numbers);
    for (const Doomed& letter : group) {
        if (!connected() || StorageFailed()) return false;
        int deleted;
        {
            Unlocked waiting(lock_);
            deleted = session_.DeleteMessage(letter.number);
        }
        baseDataStruct* preview = letter.preview;
        if (deleted && policy_.invalidatesPreview && preview && teststate(preview, STATE_VALID)) {
            Change(preview_, preview, STATE_VALID, 0);
            Store(preview);
            listener_.ShowLetter(preview);
        }
    }
    return connected();
}

bool ReceivePass::FindBoxes() {
    auto* account = const_cast<baseDataStruct*>(session_.account());
    preview_.node = sys_.DataGetSysPoint(account, kKindBox, kBoxPreview);
    receive_.node = sys_.DataGetSysPoint(account, kKindBox, kBoxReceive);
    if (!preview_.node || !receive_.node) return false;
    const int blocks = kLoadProperty | kLoadStrdata | kLoadSdata;
    preview_.letters = sys_.mailBox().SysReadLinkTree(preview_.node, blocks);
    receive_.letters = sys_.mailBox().SysReadLinkTree(receive_.node, blocks);
    if (!preview_.letters || !receive_.letters) return false;
    preview_.index.Build(preview_.letters);
    receive_.index.Build(receive_.letters);
    return true;
}

bool ReceivePass::Store(baseDataStruct* letter) {
    return StoreLetter(sys_.mailBox(), letter);
}

void ReceivePass::Counted(Box& box, bool hadBefore, uint32_t before, uint32_t after) {
    if (AdjustBoxCounters(box.node, hadBefore, before, after)) {
        box.countersChanged = true;
        listener_.BoxChanged(box.node);
    }
}

void ReceivePass::Change(Box& box, baseDataStruct* letter, uint32_t clear, uint32_t set) {
    const uint32_t before = getstate(letter);
    changestate(letter, clear, set);
    Counted(box, true, before, getstate(letter));
}

void ReceivePass::Sweep() {
    for (baseDataStruct* letter = preview_.letters->firstSon(); letter;
         letter = letter->nextBrother()) {
        if (!teststate(letter, LETTER_KEEP)) {
            swept_.emplace(letter, getstate(letter) & (STATE_VALID | LETTER_READ));
            Change(preview_, letter, STATE_VALID, LETTER_READ);
        }
        listener_.ShowLetter(letter);
    }
}

void ReceivePass::RestoreSwept() {
    // Letters the walk did not reach may well still be on the server: they keep the state they
    // had before this pass.
    for (baseDataStruct* letter = preview_.letters->firstSon(); letter;
         letter = letter->nextBrother()) {
        auto it = swept_.find(letter);
        if (it == swept_.end()) continue;
        Change(preview_, letter, STATE_VALID | LETTER_READ, it->second);
        listener_.ShowLetter(letter);
    }
    swept_.clear();
}

baseDataStruct* ReceivePass::NewLetter(Box& box, long size, const std::string& id, int whole,
                                       std::string text) {
    return AddLetterNode(box.letters, size, id, whole, std::move(text));
}

void ReceivePass::Mirror(baseDataStruct* received) {
    CSysMailBox& mail = sys_.mailBox();
    baseDataStruct* copy = AddSonText(preview_.letters, "");
    if (TextToLong(getinfo(received, kThisNode, "pointId")) >= 0) {
        mail.DataLoadPoint(received, -1, kLoadProperty | kLoadStrdata | kLoadSdata);
    }
    copyfrom(copy, received, 15);
    setinfo(copy, kThisNode, "pointId", "-1");
    mailInitProperty(copy, preview_.node, nullptr);
    // Preview letters appear read.
    changestate(copy, 0, STATE_VALID | LETTER_READ);
    if (!Store(copy)) {
        deletepoint(copy);
        return;
    }
    preview_.index.Insert(copy);
    Counted(preview_, false, 0, getstate(copy));
    listener_.ShowLetter(copy);
    freedata(received, 8);
}

ReceivePass::Match ReceivePass::MatchLetter(int i) {
    Match match;
    match.number = i;
    std::string id;
    CNetRP::UidResult uid;
    {
        Unlocked waiting(lock_);
        uid = session_.GetMessageId(i, id);
    }
    // A broken session ends the walk at its next check. A letter without a sound id can be
    // told from no other: it is neither stored nor deleted.
    if (uid == CNetRP::UidResult::kInvalid) ++badIds_;
    if (uid != CNetRP::UidResult::kOk) return match;
    if (policy_.listedOnly) {
        const std::string key = "__:" + id + ";__";
        const size_t at = list_.find(key);
        if (at == std::string::npos) return match;
        list_.erase(at, key.size());
    }
    match.wanted = true;
    match.id = std::move(id);
    LookUp(match);
    return match;
}

void ReceivePass::LookUp(Match& match) {
    if (!match.wanted) return;
    match.preview = preview_.index.Find(match.id);
    match.keep = false;
    if (match.preview) {
        Progress(100);
        match.keep = teststate(match.preview, LETTER_KEEP);
    }
    if (policy_.storesReceived) match.received = receive_.index.Find(match.id);
}

bool ReceivePass::ReceivedBefore(const Match& match) const {
    return policy_.skipsReceived &&
           ((match.received && getinfo(match.received, kThisNode, "read") == "1") ||
            (match.preview && getinfo(match.preview, kThisNode, kFiledKey) == "1"));
}

bool ReceivePass::Fetches(const Match& match) const {
    if (!match.wanted || !policy_.fetches) return false;
    if (!match.preview && policy_.needsPreview) return false;
    if (match.preview && policy_.previewOnly) return false;
    return !ReceivedBefore(match);
}

void ReceivePass::BeginNext(const Match& current, int n, bool removed, size_t bytes) {
    const int i = current.number;
    Match next = MatchLetter(i + 1);
    // A server that repeats an id: whether to fetch it again is known once this one is stored.
    // Rules that may delete the next letter on its header must see that first.
    const bool headerRules = rules_ && rules_->DecidesOnHeaders();
    if (next.id != current.id && Fetches(next) && !headerRules && connected()) {
        // The group as it will be once letter i has joined it decides, as in Walk, whether
        // the letter after the next may travel with it.
        const bool removes = policy_.deletes && !next.keep && !keepAll_;
        const bool more = i + 1 < n && !(policy_.listedOnly && list_.empty());
        next.nextAhead =
            more && !(removes && GroupFullWith(removed ? bytes : 0, true, removed ? 1 : 0));
        session_.WriteAheadMessage(i + 1, true, next.nextAhead ? i + 2 : 0);
        next.fetchAhead = true;
    }
    next_ = std::move(next);
}

bool ReceivePass::Revalidate(const Match& match) {
    if (cancelled()) return false;
    if (match.preview) {
        if (policy_.revalidatesPreview) {
            swept_.erase(match.preview);
            Change(preview_, match.preview, LETTER_HIDDEN, STATE_VALID);
        }
        Store(match.preview);
        listener_.ShowLetter(match.preview);
        if (StorageFailed()) return false;
    }
    if (match.received) {
        Progress(100);
        const bool ruleHid = getinfo(match.received, kThisNode, kHiddenKey) == "1";
        Change(receive_, match.received, ruleHid ? 0 : LETTER_HIDDEN, STATE_VALID);
        Store(match.received);
        listener_.ShowLetter(match.received);
        if (StorageFailed()) return false;
    }
    return !cancelled();
}

ReceivePass::Fetched ReceivePass::FetchLetter(int i) {
    Fetched fetched;
    listener_.SetTrayState(++fetchCount_ % 2 == 1 ? 3 : 4);
    Unlocked waiting(lock_);
    fetched.size = session_.GetMessageLen(i);
    if (fetched.size < 0) return fetched;
    std::string got;
    if (policy_.previewOnly && fetched.size > kPreviewWholeLimit) {
        got = session_.GetMessageHead(i, fetched.text);
        fetched.whole = 0;
    } else {
        got = session_.GetMessage(i, fetched.text);
    }
    fetched.ok = got != "-1" && got != CNetRP::kTooLarge;
    return fetched;
}

bool ReceivePass::StoreFetched(Match& match, Fetched& fetched) {
    bool stored = false;
    decision_ = ArrivalDecision();
    const bool decided = rules_ && policy_.storesReceived && !match.received && fetched.whole == 1;
    if (decided) decision_ = rules_->Decide(fetched.text, fetched.size);
    // The preview box mirrors the server alone; a rule cannot send letters there.
    auto ruleTarget = [&](baseDataStruct* node) {
        return node && node != receive_.node && node != preview_.node ? RuleBox(node) : nullptr;
    };
    Box* movedTo = ruleTarget(decision_.moveTo);
    if (movedTo) {
        stored = StoreByRule(*movedTo, match, fetched);
        if (stored) listener_.LetterArrived(movedTo->node, ArrivedOf(fetched.text, decision_));
        if (stored && match.preview) setinfo(match.preview, kThisNode, kFiledKey, "1");
    }
    for (baseDataStruct* node : decision_.copyTo) {
        Box* copy = ruleTarget(node);
        if (copy && copy != movedTo) StoreByRule(*copy, match, fetched);
    }
    if (policy_.storesReceived && !movedTo) {
        // A letter the receive box holds already (listed again, or kept only in part) is
        // refreshed in place: a box never holds two letters of one id.
        baseDataStruct* letter = match.received;
        uint32_t before = 0;
        if (letter) {
            before = getstate(letter);
            changestate(letter, 0, STATE_VALID);
            setinfo(letter, kThisNode, "SDATA", fetched.text);
        } else {
            letter = NewLetter(receive_, fetched.size, match.id, fetched.whole, fetched.text);
        }
        mailInitProperty(letter, receive_.node, nullptr);
        Mark(letter);
        stored = Store(letter);
        if (!stored && !match.received) {
            // Not in the store: the server keeps the letter for the next pass.
            deletepoint(letter);
        } else {
            if (!match.received) receive_.index.Insert(letter);
            Counted(receive_, match.received != nullptr, before, getstate(letter));
            listener_.ShowLetter(letter);
            if (!match.received)
                listener_.LetterArrived(
                    receive_.node, ArrivedOf(getinfo(letter, kThisNode, "SDATA"), decision_));
        }
    }
    if (!match.preview) {
        baseDataStruct* letter =
            NewLetter(preview_, fetched.size, match.id, fetched.whole, std::move(fetched.text));
        mailInitProperty(letter, preview_.node, nullptr);
        changestate(letter, 0, STATE_VALID | LETTER_READ);
        if (movedTo && stored) setinfo(letter, kThisNode, kFiledKey, "1");
        const bool previewStored = Store(letter);
        if (!previewStored) {
            deletepoint(letter);
        } else {
            preview_.index.Insert(letter);
            Counted(preview_, false, 0, getstate(letter));
            listener_.ShowLetter(letter);
            match.preview = letter;
        }
        if (!policy_.storesReceived) stored = previewStored;
    }
    if (decided && stored) ShowRuleLetters(rules_->Stored());
    return stored;
}

std::optional<bool> ReceivePass::DeletedAtOnce(int i, const Match& match) {
    if (!rules_ || !rules_->DecidesOnHeaders() || !policy_.storesReceived || !policy_.deletes ||
        match.keep || match.received || match.fetchAhead)
        return std::nullopt;
    auto* account = const_cast<baseDataStruct*>(session_.account());
    baseDataStruct* trashNode = sys_.DataGetSysPoint(account, kKindBox, kBoxTrash);
    Box* trash = trashNode ? RuleBox(trashNode) : nullptr;
    if (!trash) return std::nullopt;
    std::string head;
    std::string got;
    {
        Unlocked waiting(lock_);
        got = session_.GetMessageHead(i, head);
    }
    if (cancelled()) return false;
    if (!connected()) return true;
    if (got == "-1") return std::nullopt;
    const long size = TextToLong(got);
    if (!rules_->DeleteAtOnce(head, size)) return std::nullopt;
    if (!trash->index.Find(match.id)) {
        baseDataStruct* letter = NewLetter(*trash, size, match.id, 0, head + "\r\n");
        mailInitProperty(letter, trash->node, nullptr);
        changestate(letter, STATE_VALID, 0);
        if (!Store(letter)) {
            // Not kept: the letter stays on the server.
            deletepoint(letter);
            return !StorageFailed();
        }
        trash->index.Insert(letter);
        Counted(*trash, false, 0, getstate(letter));
        listener_.ShowLetter(letter);
    }
    return QueueDelete(i, match, head.size(), GroupFullWith(head.size()));
}

void ReceivePass::ShowRuleLetters(const std::vector<baseDataStruct*>& written) {
    for (baseDataStruct* letter : written) listener_.ShowLetter(letter);
    if (!written.empty()) listener_.BoxChanged(rules_->OutgoingBox());
}

bool ReceivePass::GroupFullWith(size_t bytes, bool countAndAge, size_t queued) const {
    if (doomedBytes_ + bytes >= kDeleteGroupBytes) return true;
    if (!countAndAge) return false;
    const bool old =
        !doomed_.empty() && std::chrono::steady_clock::now() - doomedSince_ >= kDeleteGroupAge;
    return doomed_.size() + queued + 1 >= kDeleteGroupLetters || old;
}

bool ReceivePass::QueueDelete(int i, const Match& match, size_t bytes, bool closesGroup) {
    if (doomed_.empty()) doomedSince_ = std::chrono::steady_clock::now();
    doomed_.push_back({i, match.preview});
    doomedBytes_ += bytes;
    return closesGroup ? DeleteGroup() : true;
}

bool ReceivePass::Walk(int i, int n, int digits) {
    {
        Unlocked waiting(lock_);
        Status(StrPrintf("Receive %0*d/%d Receive", digits, i, n));
        Progress(0);
    }
    Match match;
    if (next_ && next_->number == i) {
        // Matched while the letter before was stored, which may have been of the same id.
        match = std::move(*next_);
        LookUp(match);
    } else {
        match = MatchLetter(i);
    }
    next_.reset();
    if (!match.wanted) return true;
    if (!match.preview && policy_.needsPreview) return true;
    if (!Revalidate(match)) return false;
    if (match.preview && policy_.previewOnly) return true;

    // Received whole before: nothing to fetch. A pass cut short before its QUIT left the letter
    // on the server although it is stored, so it goes on to the delete step like any received
    // letter. A letter that holds its header block alone is fetched again.
    const bool receivedBefore = ReceivedBefore(match);
    if (receivedBefore && !match.preview) Mirror(match.received);

    // Whether the letter is in the mail store, which a delete on the server requires.
    bool stored = !policy_.fetches || receivedBefore;
    bool remove = policy_.deletes && !match.keep && !keepAll_;
    size_t fetchedBytes = 0;
    bool closesGroup = false;
    if (policy_.fetches && !receivedBefore) {
        if (!connected()) return true;
        if (std::optional<bool> walkOn = DeletedAtOnce(i, match)) return *walkOn;
        // The next letter's queries travel with this one's, unless the group's deletes must
        // go first or what comes next depends on this letter's size (a preview).
        const bool more = i < n && !(policy_.listedOnly && list_.empty());
        bool nextWithThis = match.nextAhead;
        if (!match.fetchAhead) {
            nextWithThis = more && !policy_.previewOnly && !(remove && GroupFullWith(0));
            session_.WriteAheadMessage(i, !policy_.previewOnly, nextWithThis ? i + 1 : 0);
        }
        Fetched fetched = FetchLetter(i);
        if (cancelled()) return false;
        // A letter that could not be fetched is neither made from other text nor deleted.
        if (!fetched.ok) return true;
        fetchedBytes = fetched.text.size();
        // With the next queries on their way only the size of the group may close it now.
        closesGroup = remove && GroupFullWith(fetchedBytes, !nextWithThis);
        // The server sends the next letter while this one is stored; its queries must not
        // pass the deletes of a group this letter closes.
        if (nextWithThis && !closesGroup && session_.pipelining() && connected())
            BeginNext(match, n, remove, fetchedBytes);
        // A preview's next queries travel while this letter is stored.
        if (policy_.previewOnly && more && connected()) session_.WriteAheadMessageId(i + 1);
        stored = StoreFetched(match, fetched);
        if (StorageFailed()) return false;
        // A rule's DeleteAfter outweighs the account's keep setting, not the letter's own.
        if (!remove && decision_.deleteAfter && policy_.deletes && !match.keep) {
            remove = true;
            closesGroup = GroupFullWith(fetchedBytes, !nextWithThis);
        }
        if (stored) fetched_ = true;
        Progress(100);
    } else {
        closesGroup = remove && GroupFullWith(0);
    }

    if (remove && stored && connected()) return QueueDelete(i, match, fetchedBytes, closesGroup);
    return true;
}

int ReceivePass::Connect() {
    Unlocked waiting(lock_);
    Caption("Connect Server");
    Progress(0);
    if (!session_.ConnectPop3()) {
        Status(session_.ReportError());
        return kLoginFailed;
    }
    Status("Open preview box ");
    Status("List");
    const int n = session_.GetNumMessages();
    Status(StrPrintf("Have %d letters", n));
    Status("List ");
    Progress(0);
    return n;
}

int ReceivePass::Run() {
    LogLine(DiagLog::kMessage, "++CNetRP::receivePreviewLetter begin");
    if (!session_.account()) {
        SetResult(0);
        return 0;
    }
    if (!FindBoxes()) {
        LogLine(DiagLog::kWarning, "receive: the account has no preview or receive box");
        if (task_) {
            task_->stateText = "Faile";
            task_->infoText = "No preview or receive box";
        }
        SetResult(0);
        return 0;
    }
    keepAll_ =
        policy_.honoursKeepAll && getinfo(session_.account(), kThisNode, "keepOnServer") == "1";
    list_ = policy_.listedOnly ? session_.mailIdList() : std::string();
    if (list_ == kAbsent) list_.clear();

    listener_.SetTrayState(1);
    const int n = Connect();
    if (n == kLoginFailed) {
        listener_.RestoreTrayState();
        SetResult(0);
        return 0;
    }
    // Without a count the server's letters are unknown: the preview box is left as it is.
    if (policy_.sweepsPreview && connected()) Sweep();
    if (n >= 1) {
        listener_.SetTrayState(2);
        listener_.FlagNewMail(receive_.node);
    }

    bool complete = true;
    for (int i = 1; i <= n; ++i) {
        const bool matched = next_ && next_->number == i;
        if (policy_.listedOnly && list_.empty() && !matched) break;
        if (!connected() || cancelled() || !Walk(i, n, Digits(n))) {
            complete = false;
            break;
        }
    }
    // Letters stored so far are deleted on the server (after a sync) even when the walk was
    // cancelled; after a storage failure none is.
    if (!StorageFailed() && connected() && !DeleteGroup()) complete = false;
    // A failure in the last letter's exchange also leaves the pass incomplete.
    if (!connected() || storageFailed_) complete = false;
    const bool broken = !connected() && !cancelled();

    {
        // The QUIT makes the deletions final: everything they rely on is on the disk already.
        Unlocked waiting(lock_);
        session_.DisconnectPop3();
        SetResult(n == 0 ? 0 : fetched_ ? 2 : 1);
        if (broken) Status(session_.ReportError());
    }
    if (!complete) RestoreSwept();
    for (baseDataStruct* letter = preview_.letters->firstSon(); letter;
         letter = letter->nextBrother()) {
        Store(letter);
    }
    for (Box* box : {&preview_, &receive_}) {
        if (box->countersChanged) sys_.DataSaveList(box->node, 1);
    }
    for (auto& [node, box] : ruleBoxes_) {
        if (box.countersChanged) sys_.DataSaveList(node, 1);
    }
    sys_.mailBox().DataSync();
    sys_.DataSync();
    if (StorageFailed() && task_) {
        task_->stateText = "Faile";
        task_->infoText =
            sys_.mailBox().failed() ? sys_.mailBox().failureText() : sys_.failureText();
    } else if (badIds_ > 0 && task_) {
        task_->stateText = "Faile";
        task_->infoText = StrPrintf("%d letter%s skipped: no valid unique id from the server",
                                    badIds_, badIds_ == 1 ? "" : "s");
    } else if (rules_ && task_) {
        std::string names;
        for (const std::string& name : rules_->SkippedRules())
            names += (names.empty() ? "" : ", ") + name;
        if (!names.empty()) task_->infoText = "Filter rules skipped: " + names;
    }
    LogLine(DiagLog::kMessage, "--CNetRP::receivePreviewLetter over");
    return 1;
}

}  // namespace

bool AdjustBoxCounters(baseDataStruct* box, bool hadBefore, uint32_t before, uint32_t after) {
    if (!box) return false;
    struct Key {
        const char* name;
        bool (*counts)(uint32_t);
    };
    static constexpr Key kKeys[] = {
        {"ValidateItemSum", [](uint32_t s) { return (s & STATE_VALID) != 0; }},
        {"DeleteItemSum", [](uint32_t s) { return (s & STATE_VALID) == 0; }},
        {"HideItemSum", [](uint32_t s) { return (s & LETTER_HIDDEN) != 0; }},
        {"UnreadItemSum", [](uint32_t s) { return (s & LETTER_READ) == 0; }},
    };
    bool changed = false;
    for (const Key& key : kKeys) {
        const long delta = (key.counts(after) ? 1 : 0) - (hadBefore && key.counts(before) ? 1 : 0);
        if (delta == 0) continue;
        const long old = Counter(box, key.name);
        const long now = old + delta < 0 ? 0 : old + delta;
        if (now == old && getinfo(box, kThisNode, key.name) != kAbsent) continue;
        setinfo(box, kThisNode, key.name, LongToText(now));
        changed = true;
    }
    return changed;
}

baseDataStruct* AddLetterNode(baseDataStruct* letters, long size, std::string_view id, int whole,
                              std::string text) {
    // The id is escaped like any value, so that an id holding "," or "=" reads back whole.
    const std::string mailId = id.empty() ? std::string() : " ,MailId =" + encodeinfo(id);
    baseDataStruct* letter = AddSonText(
        letters, StrPrintf("type =letter ,mailLong =%ld%s ,read =%d", size, mailId.c_str(), whole));
    setinfo(letter, kThisNode, "SDATA", text);
    return letter;
}

bool StoreLetter(CSysMailBox& mail, baseDataStruct* letter) {
    if (TextToLong(getinfo(letter, kThisNode, "pointId")) < 0) {
        return mail.DataNewPoint(letter, -1) != -1;
    }
    return mail.DataSavePoint(letter) == 1;
}

int ReceiveMail(const ReceiveContext& context, int nModel) {
    if (nModel < 0 || nModel > 4) return 0;
    ReceivePass pass(context, nModel);
    return pass.Run();
}

}  // namespace korvo
