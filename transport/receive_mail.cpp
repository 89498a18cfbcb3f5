#include "transport/receive_mail.h"

#include <unordered_map>
#include <vector>

#include "content/letter_node.h"
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
// then the server is told to delete them. Bounded by count and by bytes so that a failure
// never leaves much to fetch again and a sync is spread over enough letters to cost little.
constexpr size_t kDeleteGroupLetters = 64;
constexpr size_t kDeleteGroupBytes = 8 << 20;

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
          mode_(mode),
          task_(context.session.task()) {}

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
    bool usesList() const { return mode_ >= 2; }

    bool FindBoxes();
    // True once a write to either store has failed: the pass stops and deletes nothing more.
    bool StorageFailed();
    // Syncs the mail store, then deletes the group of stored letters on the server. False when
    // the sync failed (nothing of the group is deleted) or the connection broke.
    bool DeleteGroup();
    void Sweep();
    void RestoreSwept();
    // One server letter; false ends the walk.
    bool Walk(int i, int n, int digits);
    // Writes the letter to the mail store; false when it is not stored.
    bool Store(baseDataStruct* letter);
    // Changes a letter's state bits and the counters of its box.
    void Change(Box& box, baseDataStruct* letter, uint32_t clear, uint32_t set);
    void Counted(Box& box, bool hadBefore, uint32_t before, uint32_t after);
    baseDataStruct* NewLetter(Box& box, long size, const std::string& id, int whole,
                              std::string text);
    void Mirror(baseDataStruct* received);

    CNetRP& session_;
    CSysData& sys_;
    LetterListener& listener_;
    ModelLock lock_;
    const int mode_;
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
    bool storageFailed_ = false;
    int badIds_ = 0;
};

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
    for (const Doomed& letter : group) {
        if (!connected() || StorageFailed()) return false;
        lock_.unlock();
        const int deleted = session_.DeleteMessage(letter.number);
        lock_.lock();
        baseDataStruct* preview = letter.preview;
        if (deleted && mode_ != 1 && preview && teststate(preview, STATE_VALID)) {
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
    CSysMailBox& mail = sys_.mailBox();
    if (TextToLong(getinfo(letter, kThisNode, "pointId")) < 0) {
        return mail.DataNewPoint(letter, -1) != -1;
    }
    return mail.DataSavePoint(letter) == 1;
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
    // The id is escaped like any value, so that an id holding "," or "=" reads back whole.
    baseDataStruct* letter =
        AddSonText(box.letters, StrPrintf("type =letter ,mailLong =%ld ,MailId =%s ,read =%d", size,
                                          encodeinfo(id).c_str(), whole));
    setinfo(letter, kThisNode, "SDATA", text);
    return letter;
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

bool ReceivePass::Walk(int i, int n, int digits) {
    lock_.unlock();
    Status(StrPrintf("Receive %0*d/%d Receive", digits, i, n));
    Progress(0);
    std::string id;
    const CNetRP::UidResult uid = session_.GetMessageId(i, id);
    lock_.lock();
    // A broken session ends the walk at its next check. A letter without a sound id can be
    // told from no other: it is neither stored nor deleted.
    if (uid == CNetRP::UidResult::kInvalid) ++badIds_;
    if (uid != CNetRP::UidResult::kOk) return true;
    if (usesList()) {
        const std::string key = "__:" + id + ";__";
        const size_t at = list_.find(key);
        if (at == std::string::npos) return true;
        list_.erase(at, key.size());
    }

    baseDataStruct* preview = preview_.index.Find(id);
    if (preview) Progress(100);
    if (cancelled()) return false;
    const bool keep = preview && teststate(preview, LETTER_KEEP);
    if (preview) {
        // In modes 3 and 4 the preview letter is marked deleted once the server took the DELE.
        if (mode_ <= 2) {
            swept_.erase(preview);
            Change(preview_, preview, LETTER_HIDDEN, STATE_VALID);
        }
        Store(preview);
        listener_.ShowLetter(preview);
        if (StorageFailed()) return false;
    } else if (mode_ == 3) {
        return true;
    }

    baseDataStruct* received = nullptr;
    if (mode_ == 1 || mode_ == 2 || mode_ == 4) {
        received = receive_.index.Find(id);
        if (received) {
            Progress(100);
            Change(receive_, received, LETTER_HIDDEN, STATE_VALID);
            Store(received);
            listener_.ShowLetter(received);
            if (StorageFailed()) return false;
        }
        if (cancelled()) return false;
    }

    if (mode_ == 0 && preview) return true;
    // Received before: nothing to fetch. A pass cut short before its QUIT left the letter on the
    // server although it is stored, so it goes on to the delete step like any received letter.
    // Only a whole copy counts; a letter that holds its header block alone is fetched again.
    const bool whole = received && getinfo(received, kThisNode, "read") == "1";
    const bool receivedBefore = mode_ == 1 && whole;
    if (receivedBefore && !preview) Mirror(received);

    // Whether the letter is in the mail store, which a delete on the server requires.
    bool stored = mode_ == 3 || receivedBefore;
    size_t fetchedBytes = 0;
    if (mode_ != 3 && !receivedBefore) {
        if (!connected()) return true;
        listener_.SetTrayState(++fetchCount_ % 2 == 1 ? 3 : 4);
        lock_.unlock();
        const long size = session_.GetMessageLen(i);
        std::string text;
        std::string got = "-1";
        int whole = 1;
        if (size >= 0) {
            if (size > kPreviewWholeLimit && mode_ == 0) {
                got = session_.GetMessageHead(i, text);
                whole = 0;
            } else {
                got = session_.GetMessage(i, text);
            }
        }
        lock_.lock();
        if (cancelled()) return false;
        // A letter that could not be fetched is neither made from other text nor deleted.
        if (got == "-1" || got == CNetRP::kTooLarge) return true;
        fetchedBytes = text.size();

        if (mode_ != 0) {
            baseDataStruct* letter = nullptr;
            uint32_t before = 0;
            const bool reuse = received && (mode_ != 1 || !whole);
            if (reuse) {
                letter = received;
                before = getstate(letter);
                changestate(letter, 0, STATE_VALID);
                setinfo(letter, kThisNode, "SDATA", text);
            } else {
                letter = NewLetter(receive_, size, id, whole, text);
            }
            mailInitProperty(letter, receive_.node, nullptr);
            stored = Store(letter);
            if (!stored && !reuse) {
                // Not in the store: the server keeps the letter for the next pass.
                deletepoint(letter);
            } else {
                if (!reuse) receive_.index.Insert(letter);
                Counted(receive_, reuse, before, getstate(letter));
                listener_.ShowLetter(letter);
            }
        }
        if (!preview) {
            baseDataStruct* letter = NewLetter(preview_, size, id, whole, std::move(text));
            mailInitProperty(letter, preview_.node, nullptr);
            changestate(letter, 0, STATE_VALID | LETTER_READ);
            const bool previewStored = Store(letter);
            if (!previewStored) {
                deletepoint(letter);
            } else {
                preview_.index.Insert(letter);
                Counted(preview_, false, 0, getstate(letter));
                listener_.ShowLetter(letter);
                preview = letter;
            }
            if (mode_ == 0) stored = previewStored;
        }
        if (StorageFailed()) return false;
        if (stored) fetched_ = true;
        Progress(100);
    }

    bool remove = false;
    if (mode_ == 1) remove = !keepAll_ && !keep;
    if (mode_ == 3 || mode_ == 4) remove = !keep;
    if (remove && stored && connected()) {
        doomed_.push_back({i, preview});
        doomedBytes_ += fetchedBytes;
        if (doomed_.size() >= kDeleteGroupLetters || doomedBytes_ >= kDeleteGroupBytes) {
            return DeleteGroup();
        }
    }
    return true;
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
    keepAll_ = getinfo(session_.account(), kThisNode, "keepOnServer") == "1" && mode_ == 1;
    list_ = usesList() ? session_.mailIdList() : std::string();
    if (list_ == kAbsent) list_.clear();

    listener_.SetTrayState(1);
    lock_.unlock();
    Caption("Connect Server");
    Progress(0);
    if (!session_.ConnectPop3()) {
        Status(session_.ReportError());
        lock_.lock();
        listener_.RestoreTrayState();
        SetResult(0);
        return 0;
    }

    Status("Open preview box ");
    Status("List");
    const int n = session_.GetNumMessages();
    const int digits = Digits(n);
    Status(StrPrintf("Have %d letters", n));
    Status("List ");
    Progress(0);
    lock_.lock();
    // Without a count the server's letters are unknown: the preview box is left as it is.
    if ((mode_ == 0 || mode_ == 1) && connected()) Sweep();
    if (n >= 1) {
        listener_.SetTrayState(2);
        listener_.FlagNewMail(receive_.node);
    }

    bool complete = true;
    for (int i = 1; i <= n; ++i) {
        if (usesList() && list_.empty()) break;
        if (!connected() || cancelled() || !Walk(i, n, digits)) {
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

    // The QUIT makes the deletions final: everything they rely on is on the disk already.
    lock_.unlock();
    session_.DisconnectPop3();
    SetResult(n == 0 ? 0 : fetched_ ? 2 : 1);
    if (broken) Status(session_.ReportError());

    lock_.lock();
    if (!complete) RestoreSwept();
    for (baseDataStruct* letter = preview_.letters->firstSon(); letter;
         letter = letter->nextBrother()) {
        Store(letter);
    }
    for (Box* box : {&preview_, &receive_}) {
        if (box->countersChanged) sys_.DataSaveList(box->node, 1);
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

int ReceiveMail(const ReceiveContext& context, int nModel) {
    if (nModel < 0 || nModel > 4) return 0;
    ReceivePass pass(context, nModel);
    return pass.Run();
}

}  // namespace korvo
