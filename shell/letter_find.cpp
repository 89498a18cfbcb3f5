#include "shell/letter_find.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "content/letter_node.h"
#include "content/mime_walk.h"
#include "platform/model_lock.h"
#include "shell/mail_text.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

// Letters read per taking of the lock: few at first, so the first hits show at once, then more
// so the lock is not taken and the box not indexed again for every handful.
constexpr size_t kFirstBatch = 8;
constexpr size_t kLargestBatch = 256;

bool IsType(const baseDataStruct* node, std::string_view type) {
    return node && getinfo(node, kThisNode, "type") == type;
}

bool Locked(const baseDataStruct* node) {
    for (; node; node = node->parent())
        if (getinfo(node, kThisNode, "LockState") == "lock") return true;
    return false;
}

// The text of an HTML part with its tags taken out, so that words of the markup do not match.
std::string WithoutTags(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    bool inTag = false;
    for (char c : html) {
        if (inTag) {
            if (c == '>') {
                inTag = false;
                out += ' ';
            }
        } else if (c == '<') {
            inTag = true;
        } else {
            out += c;
        }
    }
    return out;
}

// Takes the model lock unless the search is cancelled first.
bool LockUnlessCancelled(const std::atomic<bool>& cancel) {
    std::recursive_mutex& lock = ModelLock();
    while (!lock.try_lock()) {
        if (cancel) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (cancel) {
        lock.unlock();
        return false;
    }
    return true;
}

}  // namespace

bool IsDayText(std::string_view date) {
    if (date.size() < 10 || date[4] != '-' || date[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (date[i] < '0' || date[i] > '9') return false;
    return true;
}

bool MatchLetter(const WordSearch& words, const FindQuery& query, std::string_view raw,
                 std::string_view fallbackDate, FindHit* hit, const CMailCodec& codec) {
    size_t headerEnd = raw.find("\r\n\r\n");
    if (headerEnd == std::string_view::npos) headerEnd = raw.find("\n\n");
    const std::string_view header = raw.substr(0, headerEnd);
    std::string date = LetterListDate(header, codec);
    if (!IsDayText(date))
        date = IsDayText(fallbackDate) ? std::string(fallbackDate) : std::string();
    if (!query.firstDay.empty() || !query.lastDay.empty()) {
        if (date.empty()) return false;
        const std::string_view day = std::string_view(date).substr(0, 10);
        if (!query.firstDay.empty() && day < query.firstDay) return false;
        if (!query.lastDay.empty() && day > query.lastDay) return false;
    }
    const MailHeaderTexts texts = ReadHeaderTexts(raw, codec);
    std::vector<std::string> folded = {FoldCase(texts.from), FoldCase(texts.to), FoldCase(texts.cc),
                                       FoldCase(texts.subject)};
    bool match = words.MatchesFolded(folded);
    if (!match && (query.body || query.attachments)) {
        const auto root = CreateRootNode();
        baseDataStruct* letter = AddSonText(root.get(), "type =letter");
        mailProcess(raw, letter, false, codec);
        for (const baseDataStruct* part = letter->firstSon(); part; part = part->nextBrother()) {
            const std::string type = getinfo(part, kThisNode, "type");
            if (query.body && type == "text") {
                const std::string style = getinfo(part, kThisNode, "style");
                const std::string_view text = getdata(part, "SDATA").value_or("");
                if (style == "text")
                    folded.push_back(FoldCase(text));
                else if (style == "html")
                    folded.push_back(FoldCase(WithoutTags(text)));
            } else if (query.attachments && (type == "attachment" || type == "cid")) {
                folded.push_back(FoldCase(getinfo(part, kThisNode, "fileName")));
            }
        }
        match = words.MatchesFolded(folded);
    }
    if (match && hit) {
        hit->sender = texts.from;
        hit->subject = texts.subject;
        hit->date = date;
    }
    return match;
}

LetterFind::LetterFind(CSysData& sys, baseDataStruct* scope, FindQuery query)
    : sys_(sys), query_(std::move(query)), words_(query_.words) {
    if (!scope || !sys_.mailBox().SysOpenUserFile(scope)) return;
    userFile_ = sys_.mailBox().userFilePath();
    // Depth first, in the order of the tree.
    std::vector<baseDataStruct*> stack = {scope};
    while (!stack.empty()) {
        baseDataStruct* node = stack.back();
        stack.pop_back();
        if (IsType(node, "Box") && !Locked(node))
            boxes_.push_back({node->nodeId(), getinfo(node, kThisNode, "caption")});
        std::vector<baseDataStruct*> sons;
        for (baseDataStruct* son = node->firstSon(); son; son = son->nextBrother())
            sons.push_back(son);
        stack.insert(stack.end(), sons.rbegin(), sons.rend());
    }
}

baseDataStruct* LetterFind::FindBox(uint32_t id) const {
    baseDataStruct* node = findid(sys_.root(), id);
    return IsType(node, "Box") ? node : nullptr;
}

bool LetterFind::ReadBatch(const Box& box, const std::vector<uint32_t>* ids, size_t from,
                           size_t count, std::vector<uint32_t>* allIds, std::vector<Raw>* out) {
    if (!LockUnlessCancelled(*cancel_)) return false;
    std::lock_guard<std::recursive_mutex> lock(ModelLock(), std::adopt_lock);
    CSysMailBox& mail = sys_.mailBox();
    // Another user's file would hold other letters under the same ids.
    if (mail.userFilePath() != userFile_ || !mail.isOpen()) return false;
    baseDataStruct* node = FindBox(box.id);
    if (!node || Locked(node) || !mail.SysGetLinkItem(node)) return false;
    baseDataStruct* link = mail.SysReadLinkTree(node, kLoadProperty | kLoadStrdata);
    if (!link) return false;
    if (allIds) {
        for (baseDataStruct* l = link->firstSon(); l; l = l->nextBrother())
            allIds->push_back(l->nodeId() & kNodeIdMask);
        ids = allIds;
    }
    std::unordered_map<uint32_t, baseDataStruct*> letters;
    letters.reserve(ids->size());
    for (baseDataStruct* l = link->firstSon(); l; l = l->nextBrother())
        letters.emplace(l->nodeId() & kNodeIdMask, l);
    for (size_t i = from; i < ids->size() && i < from + count && !*cancel_; ++i) {
        const auto found = letters.find((*ids)[i]);
        if (found == letters.end()) continue;  // gone since the box was listed
        baseDataStruct* letter = found->second;
        const bool load =
            teststate(letter, STATE_HAS_SDATA) && getdata(letter, "SDATA").value_or("").empty();
        if (load) {
            // Reading the text must not change what the program keeps in the state word.
            const uint32_t state = getstate(letter);
            mail.DataLoadPoint(letter, -1, kLoadSdata);
            setstate(letter, state);
            if (!(state & STATE_MODIFIED)) changestate(letter, STATE_MODIFIED, 0);
        }
        out->push_back({(*ids)[i], std::string(getdata(letter, "SDATA").value_or("")),
                        getinfo(letter, kThisNode, "RECEIVETIME")});
        if (load) freedata(letter, 8);
    }
    return true;
}

bool LetterFind::Run(const std::atomic<bool>& cancel,
                     const std::function<void(const FindHit&)>& found) {
    cancel_ = &cancel;
    if (userFile_.empty()) return false;
    size_t batch = kFirstBatch;
    std::vector<Raw> raws;
    for (const Box& box : boxes_) {
        std::vector<uint32_t> ids;
        for (size_t from = 0; from == 0 || from < ids.size();) {
            raws.clear();
            if (!ReadBatch(box, &ids, from, batch, from == 0 ? &ids : nullptr, &raws)) {
                if (cancel) return false;
                // The user's file was switched: nothing more of it can be read.
                if (sys_.mailBox().userFilePath() != userFile_) return false;
                break;  // the box is gone or locked now
            }
            for (const Raw& raw : raws) {
                if (cancel) return false;
                FindHit hit;
                if (!MatchLetter(words_, query_, raw.text, raw.receiveTime, &hit)) continue;
                hit.boxId = box.id;
                hit.letterId = raw.id;
                hit.box = box.caption;
                found(hit);
            }
            if (ids.empty()) break;
            from += batch;
            batch = std::min(batch * 2, kLargestBatch);
        }
    }
    return !cancel;
}

FindTask::FindTask(CSysData& sys, baseDataStruct* scope, FindQuery query)
    : find_(sys, scope, std::move(query)) {
    worker_ = std::thread([this] {
        find_.Run(cancel_, [this](const FindHit& hit) {
            std::lock_guard<std::mutex> lock(hitsMutex_);
            hits_.push_back(hit);
        });
        running_ = false;
    });
}

FindTask::~FindTask() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

std::vector<FindHit> FindTask::TakeHits() {
    std::lock_guard<std::mutex> lock(hitsMutex_);
    std::vector<FindHit> taken;
    taken.swap(hits_);
    return taken;
}

}  // namespace korvo
