#include "shell/letter_list.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "content/letter_node.h"
#include "content/mail_header.h"
#include "controls/column_spec.h"
#include "platform/model_lock.h"
#include "platform/string_format.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {

namespace {

class SteadyClock : public ListClock {
  public:
    int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

using Lock = std::lock_guard<std::recursive_mutex>;

bool IsType(const baseDataStruct* node, std::string_view type) {
    return node && getinfo(node, kThisNode, "type") == type;
}

std::string CounterText(const baseDataStruct* box, std::string_view key) {
    const std::string value = getinfo(box, kThisNode, key);
    return value == kAbsent ? "0" : value;
}

// The header region of a raw letter: up to its first empty line.
std::string_view HeaderOf(std::string_view raw) {
    for (std::string_view end : {"\r\n\r\n", "\n\n"}) {
        const size_t at = raw.find(end);
        if (at != std::string_view::npos) return raw.substr(0, at + end.size() / 2);
    }
    return raw;
}

// How a letter's row looks: its item data, icon and mark flags.
struct RowLook {
    uint32_t itemData = 0;
    int image = 1;
    int flags = 0;
};

RowLook LookOfLetter(uint32_t id, uint32_t state) {
    RowLook look;
    look.itemData = id;
    if (!(state & LETTER_READ)) look.itemData |= kRowUnread;
    if (state & LETTER_HIDDEN) look.itemData |= kRowHidden;
    if (!(state & STATE_VALID)) look.itemData |= kRowDeleted;
    if (state & LETTER_READ) look.flags |= 1;
    if (state & LETTER_HIDDEN) look.flags |= 2;
    if (state & LETTER_REPLIED) look.flags |= 4;
    if (state & LETTER_FORWARDED) look.flags |= 8;
    if (!(state & STATE_VALID)) look.flags |= 0x10;
    const bool multipart = state & STATE_MAIL_MULTIPART;
    const bool attachment = state & STATE_MAIL_ATTACHMENT;
    if (multipart && attachment)
        look.image = 2;
    else if (multipart && !(state & STATE_MAIL_READ))
        look.image = 3;
    return look;
}

}  // namespace

ListClock& SteadyListClock() {
    static SteadyClock clock;
    return clock;
}

CLetterList::CLetterList(CBaseListControl& list, CSysData& stores, LetterViewer& viewer,
                         LetterFrame& frame, ListClock& clock)
    : list_(list), sys_(stores), viewer_(viewer), frame_(frame), clock_(clock) {}

void CLetterList::showList(baseDataStruct* box) {
    Lock lock(ModelLock());
    // A search belongs to the box it was typed for.
    if (box != box_) {
        quickSearchText_.clear();
        quickSearch_ = WordSearch();
        readingId_ = 0;
    }
    ShowListLocked(box);
}

void CLetterList::ShowListLocked(baseDataStruct* box) {
    const auto started = std::chrono::steady_clock::now();
    TheLog().Line(DiagLog::kMessage, "++CLetterList::showList(baseDataStruct *ptBox) begin");
    ListView& view = list_.view();
    view.DeleteAllRows();
    rowOf_.Clear();
    aside_.clear();
    asideAt_.Clear();
    current_ = nullptr;
    StopTimer();
    viewer_.ClearMail();
    box_ = nullptr;
    container_ = nullptr;
    showWord_ = 0;

    if (IsType(box, "Box")) {
        box_ = box;
        container_ = sys_.mailBox().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
        showWord_ = TextToLong(getinfo(box, kThisNode, "showColumn"));
        std::string spec = "ST =40";
        if (showWord_ & kColumnFrom) spec += " ,Sender =130";
        if (showWord_ & kColumnTo) spec += " ,Receiver =130";
        if (showWord_ & kColumnSubject) spec += " ,Subject =210";
        if (showWord_ & kColumnDate) spec += " ,Date =140";
        if (showWord_ & kColumnSize) spec += " ,Size =80 :RIGHT";
        list_.Reset(spec);
        redraw_ = false;
        view.SetRedraw(false);

        long valid = 0, deleted = 0, unread = 0, hidden = 0;
        if (getinfo(box, kThisNode, "lock") != "lock" && container_) {
            size_t letters = 0;
            for (baseDataStruct* l = container_->firstSon(); l; l = l->nextBrother()) ++letters;
            rowOf_.Reserve(letters);
            for (baseDataStruct* letter = container_->firstSon(); letter;
                 letter = letter->nextBrother()) {
                const uint32_t state = getstate(letter);
                if (state & STATE_VALID)
                    ++valid;
                else
                    ++deleted;
                if (!(state & LETTER_READ)) ++unread;
                if (state & LETTER_HIDDEN) ++hidden;
                changestate(letter, LETTER_LISTED, 0);
                ShowLetterLocked(letter);
            }
            if (view.RowCount() > 0) {
                view.SetRowSelected(0, true);
                view.SetFocusedRow(0);
            }
        }
        setinfo(box, kThisNode, "ValidateItemSum", LongToText(valid));
        setinfo(box, kThisNode, "DeleteItemSum", LongToText(deleted));
        setinfo(box, kThisNode, "HideItemSum", LongToText(hidden));
        setinfo(box, kThisNode, "UnreadItemSum", LongToText(unread));
        sys_.DataSavePoint(box);
        frame_.RefreshBoxLabel(box);
    } else {
        list_.Reset(StrPrintf("ST =%d", view.ClientWidth()));
        list_.InsertRow(kNothingToShow, 0);
    }

    redraw_ = true;
    view.SetRedraw(true);
    const long elapsed = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - started)
                                               .count());
    TheLog().Line(DiagLog::kMessage,
                  "--CLetterList::showList(baseDataStruct *ptBox) over , user time %ld", elapsed);
}

bool CLetterList::IsVisible(uint32_t state) const {
    const bool hidden = state & LETTER_HIDDEN;
    const bool deleted = !(state & STATE_VALID);
    const bool read = state & LETTER_READ;
    return (hidden && (showWord_ & kShowHidden)) || (deleted && (showWord_ & kShowDeleted)) ||
           (read && (showWord_ & kShowRead)) || (!read && (showWord_ & kShowUnread)) ||
           (!deleted && !hidden && (showWord_ & kShowNormal));
}

void CLetterList::SetQuickSearch(std::string_view words) {
    Lock lock(ModelLock());
    if (words == quickSearchText_) return;
    WordSearch search(words);
    const bool narrower = search.Narrows(quickSearch_);
    quickSearchText_ = std::string(words);
    quickSearch_ = std::move(search);
    if (!box_) return;
    // The letter being read is chosen again whenever the search lists it, also after a search
    // that left it out.
    if (current_) readingId_ = current_->nodeId() & kNodeIdMask;
    if (narrower)
        DropUnmatchedRows();
    else
        RestoreMatchingRows();
    const int row = readingId_ ? FindRow(readingId_) : -1;
    baseDataStruct* reading = row >= 0 ? LetterOfRow(row) : nullptr;
    if (reading) ChooseRow(row, reading);
}

int CLetterList::SelectLetter(uint32_t letterId) {
    Lock lock(ModelLock());
    if (!box_) return -1;
    letterId &= kNodeIdMask;
    int row = FindRow(letterId);
    if (row < 0 && !quickSearch_.empty()) {
        quickSearchText_.clear();
        quickSearch_ = WordSearch();
        readingId_ = 0;
        ShowListLocked(box_);
        row = FindRow(letterId);
    }
    baseDataStruct* letter = row >= 0 ? LetterOfRow(row) : nullptr;
    if (!letter) return -1;
    ChooseRow(row, letter);
    return row;
}

void CLetterList::ChooseRow(int row, baseDataStruct* letter) {
    ListView& view = list_.view();
    for (int r : SelectedRows()) view.SetRowSelected(r, false);
    view.SetRowSelected(row, true);
    view.SetFocusedRow(row);
    current_ = letter;
    viewer_.ShowMail(letter);
}

bool CLetterList::MatchesQuickSearch(const baseDataStruct* letter) {
    if (quickSearch_.empty()) return true;
    return quickSearch_.MatchesFoldedText(FoldedColumns(letter));
}

std::string_view CLetterList::FoldedColumns(const baseDataStruct* letter) {
    // Folded anew for every look: keeping the folded texts of a large box would cost more
    // (in fresh memory to fill) than folding its few dozen bytes per letter again.
    foldedText_.clear();
    const std::string_view block = getdata(letter, "STRDATA").value_or("");
    // The block's entries read in place (ReadColumnBlock's rules, without copies): entry 0 is
    // the status, then the shown columns in the block's order.
    std::string_view columns[4];
    size_t count = 0;
    for (size_t offset = 0; count < 4 && block.size() - offset >= 4;) {
        uint32_t length = 0;
        for (int k = 3; k >= 0; --k)
            length = (length << 8) | static_cast<unsigned char>(block[offset + size_t(k)]);
        if (length == 0 || length > block.size() - offset - 4) break;
        columns[count++] = block.substr(offset + 4, length - 1);
        offset += 4 + length;
    }
    if (count == 0) {
        AppendFolded(getinfo(letter, kThisNode, "ColumnData"), foldedText_);
        return foldedText_;
    }
    size_t entry = 1;
    for (long bit : {kColumnFrom, kColumnTo, kColumnSubject}) {
        if (!(showWord_ & bit)) continue;
        if (entry < count) {
            AppendFolded(columns[entry], foldedText_);
            foldedText_ += '\n';
        }
        ++entry;
    }
    return foldedText_;
}

void CLetterList::DropUnmatchedRows() {
    ListView& view = list_.view();
    // Only listed letters are looked at: marked by node id from the rows, then one walk over
    // the box keeps the ones the search still matches. Rows of letters gone from the box go
    // too, as showing the list anew would drop them.
    enum : uint8_t { kNoRow, kRow, kKept };
    uint32_t largest = 0;
    for (int row = 0; row < view.RowCount(); ++row)
        largest = std::max(largest, view.ItemData(row) & kNodeIdMask);
    std::vector<uint8_t> marks(size_t{largest} + 1, kNoRow);
    for (int row = 0; row < view.RowCount(); ++row) marks[view.ItemData(row) & kNodeIdMask] = kRow;
    if (container_) {
        for (baseDataStruct* letter = container_->firstSon(); letter;
             letter = letter->nextBrother()) {
            const uint32_t id = letter->nodeId() & kNodeIdMask;
            if (id > largest || marks[id] != kRow) continue;
            if (MatchesQuickSearch(letter))
                marks[id] = kKept;
            else
                changestate(letter, LETTER_LISTED, 0);
        }
    }
    std::vector<int> keep;
    for (int row = 0; row < view.RowCount(); ++row)
        if (marks[view.ItemData(row) & kNodeIdMask] == kKept) keep.push_back(row);
    view.SetRedraw(false);
    if (keep.size() != static_cast<size_t>(view.RowCount())) SetAside(keep);
    RebuildRowIndex();
    ChooseFirstRow();
    view.SetRedraw(true);
}

void CLetterList::RestoreMatchingRows() {
    ListView& view = list_.view();
    // A sorted list is built again in the box's order, as showing it anew always did.
    bool sorted = false;
    for (int c = 0; c < view.ColumnCount(); ++c) sorted = sorted || view.HeaderSortCounter(c) > 0;
    std::vector<ListRow> rows;
    bool complete = container_ && !sorted;
    if (complete) {
        SetAside({});
        rows.reserve(asideAt_.size());
        for (baseDataStruct* letter = container_->firstSon(); letter;
             letter = letter->nextBrother()) {
            const uint32_t state = getstate(letter);
            if (!IsVisible(state) || !MatchesQuickSearch(letter)) {
                changestate(letter, LETTER_LISTED, 0);
                continue;
            }
            if (!getdata(letter, "STRDATA")) continue;  // not listed without its columns
            const uint32_t id = letter->nodeId() & kNodeIdMask;
            const int found = asideAt_.Find(id);
            if (found == IdTable::kNone) {
                complete = false;
                break;
            }
            // The letter's marks may have changed while its row was aside.
            const RowLook look = LookOfLetter(id, state);
            ListRow& row = aside_[static_cast<size_t>(found)];
            row.itemData = look.itemData;
            row.image = look.image;
            row.stateImage = look.flags;
            rows.push_back(std::move(row));
            asideAt_.Erase(id);
            changestate(letter, 0, LETTER_LISTED);
        }
    }
    if (!complete) {
        ShowListLocked(box_);
        return;
    }
    // What stays aside: the rows still indexed, packed.
    size_t kept = 0;
    for (size_t i = 0; i < aside_.size(); ++i) {
        const uint32_t id = aside_[i].itemData & kNodeIdMask;
        if (asideAt_.Find(id) != static_cast<int>(i)) continue;
        if (kept != i) aside_[kept] = std::move(aside_[i]);
        asideAt_.Set(id, static_cast<int>(kept++));
    }
    aside_.resize(kept);
    view.SetRedraw(false);
    view.ReplaceRows(std::move(rows));
    RebuildRowIndex();
    ChooseFirstRow();
    view.SetRedraw(true);
}

void CLetterList::SetAside(const std::vector<int>& keep) {
    size_t next = aside_.size();
    list_.view().TakeRowsOut(keep, aside_);
    asideAt_.Reserve(aside_.size());
    for (; next < aside_.size(); ++next)
        asideAt_.Set(aside_[next].itemData & kNodeIdMask, static_cast<int>(next));
}

void CLetterList::ChooseFirstRow() {
    ListView& view = list_.view();
    current_ = nullptr;
    StopTimer();
    viewer_.ClearMail();
    for (int r : SelectedRows()) view.SetRowSelected(r, false);
    if (view.RowCount() > 0) {
        view.SetRowSelected(0, true);
        view.SetFocusedRow(0);
    }
}

void CLetterList::ShowLetter(baseDataStruct* letter) {
    Lock lock(ModelLock());
    // Its columns may be new: a row set aside for it is built again when it comes back.
    if (letter) asideAt_.Erase(letter->nodeId() & kNodeIdMask);
    ShowLetterLocked(letter);
}

void CLetterList::BoxChanged(baseDataStruct* box) {
    Lock lock(ModelLock());
    frame_.RefreshBoxLabel(box);
}

void CLetterList::ShowLetterLocked(baseDataStruct* letter) {
    if (!letter || !container_ || letter->parent() != container_) return;
    const uint32_t state = getstate(letter);
    const uint32_t id = letter->nodeId() & kNodeIdMask;
    if (!IsVisible(state) || !MatchesQuickSearch(letter)) {
        if (state & LETTER_LISTED) {
            const int row = FindRow(id);
            if (row >= 0) DeleteRowAt(row);
            changestate(letter, LETTER_LISTED, 0);
        }
        return;
    }
    // Not only listed letters: loading a block from the store resets a letter's state word to
    // the stored one, which never has the listed bit, and the row must not be added twice.
    const int row = FindRow(id);
    const RowLook look = LookOfLetter(id, state);
    const uint32_t itemData = look.itemData;
    const int image = look.image;
    const int flags = look.flags;

    const auto block = getdata(letter, "STRDATA");
    if (!block) return;
    if (!(state & LETTER_LISTED)) changestate(letter, 0, LETTER_LISTED);

    ListView& view = list_.view();
    if (row >= 0) {
        view.SetItemData(row, itemData);
        view.SetRowImage(row, image);
        view.SetRowStateImage(row, flags);
        return;
    }
    int added;
    if (!block->empty() && (*block)[0] != 0) {
        added = list_.InsertPackedRow(*block, itemData, -1, image, flags);
        // Only the rows the user picks are selected: a new row must not join a selection
        // that a command is about to act on.
        view.SetRowSelected(added, false);
        view.SetRowDropHighlighted(added, false);
    } else {
        added =
            list_.InsertRow(getinfo(letter, kThisNode, "ColumnData"), itemData, -1, image, flags);
    }
    if (added >= 0) rowOf_.Set(id, added);
}

void CLetterList::RebuildRowIndex() {
    rowOf_.Clear();
    const ListView& view = list_.view();
    rowOf_.Reserve(static_cast<size_t>(view.RowCount()));
    for (int row = view.RowCount() - 1; row >= 0; --row)
        rowOf_.Add(view.ItemData(row) & kNodeIdMask, row);
}

int CLetterList::FindRow(uint32_t nodeId) {
    const ListView& view = list_.view();
    const int row = rowOf_.Find(nodeId);
    if (row != IdTable::kNone && row < view.RowCount() &&
        (view.ItemData(row) & kNodeIdMask) == nodeId)
        return row;
    // Rows only come and go through this class, so a complete index that lacks the id means
    // there is no row; a stale entry means the rows were sorted.
    if (row == IdTable::kNone && rowOf_.size() == static_cast<size_t>(view.RowCount())) return -1;
    RebuildRowIndex();
    const int found = rowOf_.Find(nodeId);
    return found == IdTable::kNone ? -1 : found;
}

void CLetterList::DeleteRowAt(int row) {
    ListView& view = list_.view();
    rowOf_.Erase(view.ItemData(row) & kNodeIdMask);
    view.DeleteRow(row);
    rowOf_.LowerValuesAbove(row);  // later rows moved up by one
}

std::unordered_map<uint32_t, baseDataStruct*> CLetterList::ChildIndex() const {
    std::unordered_map<uint32_t, baseDataStruct*> index;
    for (baseDataStruct* l = container_ ? container_->firstSon() : nullptr; l; l = l->nextBrother())
        index.emplace(l->nodeId() & kNodeIdMask, l);
    return index;
}

baseDataStruct* CLetterList::LetterOfRow(int row) {
    if (!container_ || row < 0 || row >= list_.view().RowCount()) return nullptr;
    const uint32_t id = list_.view().ItemData(row) & kNodeIdMask;
    if (id == 0) return nullptr;
    for (baseDataStruct* l = container_->firstSon(); l; l = l->nextBrother())
        if ((l->nodeId() & kNodeIdMask) == id) return l;
    return nullptr;
}

std::vector<int> CLetterList::SelectedRows() const {
    std::vector<int> rows;
    const ListView& view = list_.view();
    for (int row = view.RowCount() - 1; row >= 0; --row)
        if (view.IsRowSelected(row)) rows.push_back(row);
    return rows;
}

int CLetterList::SelectedCount() const {
    return static_cast<int>(SelectedRows().size());
}

void CLetterList::ChangeLetter(baseDataStruct* box, baseDataStruct* letter, uint32_t clear,
                               uint32_t set) {
    const uint32_t before = getstate(letter);
    changestate(letter, clear, set);
    if (AdjustBoxCounters(box, true, before, getstate(letter))) {
        sys_.DataSavePoint(box);
        frame_.RefreshBoxLabel(box);
    }
}

void CLetterList::MarkLetter(baseDataStruct* letter, Mark mark) {
    const uint32_t state = getstate(letter);
    switch (mark) {
        case Mark::kRead:
            ChangeLetter(box_, letter, 0, LETTER_READ);
            break;
        case Mark::kUnread:
            ChangeLetter(box_, letter, LETTER_READ, 0);
            break;
        case Mark::kReplied:
            ChangeLetter(box_, letter, 0, LETTER_REPLIED);
            break;
        case Mark::kNotReplied:
            ChangeLetter(box_, letter, LETTER_REPLIED, 0);
            break;
        case Mark::kHidden:
            ChangeLetter(box_, letter, 0, LETTER_HIDDEN);
            break;
        case Mark::kUnhidden:
            ChangeLetter(box_, letter, LETTER_HIDDEN, 0);
            break;
        case Mark::kKeep:
            ChangeLetter(box_, letter, 0, LETTER_KEEP);
            break;
        case Mark::kNoKeep:
            ChangeLetter(box_, letter, LETTER_KEEP, 0);
            break;
        case Mark::kDelete:
            if (state & STATE_VALID) ChangeLetter(box_, letter, STATE_VALID, 0);
            break;
        case Mark::kUndelete:
            if (!(state & STATE_VALID)) ChangeLetter(box_, letter, 0, STATE_VALID);
            break;
    }
    sys_.mailBox().DataSavePoint(letter);
    ShowLetterLocked(letter);
}

void CLetterList::MarkSelected(Mark mark) {
    if (!box_) return;
    const auto letters = ChildIndex();
    for (int row : SelectedRows()) {
        auto it = letters.find(list_.view().ItemData(row) & kNodeIdMask);
        if (it != letters.end()) MarkLetter(it->second, mark);
    }
}

void CLetterList::DeleteSelected() {
    if (!box_) return;
    if (getinfo(box_, kThisNode, "subType") == "trash") {
        MarkSelected(Mark::kDelete);
    } else {
        baseDataStruct* trash = sys_.DataGetSysPoint(box_, kKindBox, kBoxTrash);
        if (trash) boxCopyLetter(trash, 0);
    }
    SyncStores();
    ShowListLocked(box_);
}

void CLetterList::SyncStores() {
    // Deletes and moves rewrite many letters at once: they reach the disk before the user
    // goes on, so a crash cannot show them half done.
    sys_.mailBox().DataSync();
    sys_.DataSync();
}

void CLetterList::boxCopyLetter(baseDataStruct* destination, int mode) {
    Lock lock(ModelLock());
    // Copying into the shown box itself would only mark the letters deleted.
    if ((mode != 0 && mode != kCopyLetters) || !box_ || !IsType(destination, "Box") ||
        destination == box_)
        return;
    // A box of another user keeps its letters in another file: opening it would unload the
    // letters being moved.
    if (sys_.DataGetSysPoint(destination, kKindUser) != sys_.DataGetSysPoint(box_, kKindUser))
        return;
    CSysMailBox& mail = sys_.mailBox();
    baseDataStruct* target = mail.SysReadLinkTree(destination, kLoadProperty | kLoadStrdata);
    if (!target || target == container_) return;
    std::unordered_map<std::string, baseDataStruct*> byMailId;
    for (baseDataStruct* l = target->firstSon(); l; l = l->nextBrother()) {
        const std::string id = getinfo(l, kThisNode, "MailId");
        if (id != kAbsent) byMailId.emplace(id, l);
    }
    const auto letters = ChildIndex();
    for (int row : SelectedRows()) {
        auto found = letters.find(list_.view().ItemData(row) & kNodeIdMask);
        if (found == letters.end()) continue;
        baseDataStruct* letter = found->second;
        if (!teststate(letter, STATE_VALID)) continue;

        // A letter without a MailId matches nothing: such letters would all collapse into one.
        const std::string mailId = getinfo(letter, kThisNode, "MailId");
        auto same = mailId == kAbsent ? byMailId.end() : byMailId.find(mailId);
        if (same != byMailId.end()) {
            ChangeLetter(destination, same->second, LETTER_HIDDEN, STATE_VALID);
            mail.DataSavePoint(same->second);
        } else {
            baseDataStruct* copy = AddSonText(target, "");
            const uint32_t state = getstate(letter);
            if (((state & STATE_HAS_SDATA) && getinfo(letter, kThisNode, "SDATA").empty()) ||
                ((state & STATE_HAS_STRDATA) && !getdata(letter, "STRDATA")))
                mail.DataLoadPoint(letter, -1, kLoadSdata | kLoadStrdata);
            copyfrom(copy, letter, 15);
            setinfo(copy, kThisNode, "pointId", "-1");
            changestate(copy, LETTER_LISTED, 0);
            mailInitProperty(copy, destination, &mail);
            changestate(copy, 0, STATE_VALID);
            mail.DataSavePoint(copy);
            freedata(letter, 8);
            if (AdjustBoxCounters(destination, false, 0, getstate(copy))) {
                sys_.DataSavePoint(destination);
                frame_.RefreshBoxLabel(destination);
            }
            if (mailId != kAbsent) byMailId.emplace(mailId, copy);
        }
        if (mode == kCopyLetters) continue;
        ChangeLetter(box_, letter, STATE_VALID, LETTER_READ);
        mail.DataSavePoint(letter);
        ShowLetterLocked(letter);
    }
    SyncStores();
}

void CLetterList::CompressBox() {
    if (!box_) return;
    if (container_) {
        for (baseDataStruct* letter = container_->lastSon(); letter;) {
            baseDataStruct* before = letter->prevBrother();
            if (!teststate(letter, STATE_VALID)) {
                if (current_ == letter) current_ = nullptr;
                sys_.mailBox().DataDeletePoint(letter, 0);
            }
            letter = before;
        }
        SyncStores();
    }
    ShowListLocked(box_);
}

void CLetterList::ToggleShow(long bit, std::string_view question) {
    if (!box_) return;
    long word = TextToLong(getinfo(box_, kThisNode, "showColumn"));
    if (askMenuState(question))
        word &= ~bit;
    else
        word |= bit;
    setinfo(box_, kThisNode, "showColumn", LongToText(word));
    sys_.DataSavePoint(box_);
    ShowListLocked(box_);
}

void CLetterList::ToggleShowMail() {
    if (!box_) return;
    const bool on = getinfo(box_, kThisNode, "ShowMail") == "True";
    setinfo(box_, kThisNode, "ShowMail", on ? "False" : "True");
    sys_.DataSavePoint(box_);
}

baseDataStruct* CLetterList::BookFolder() {
    baseDataStruct* user = sys_.DataGetSysPoint(box_, kKindUser);
    if (!user) return nullptr;
    baseDataStruct* firstSys = nullptr;
    for (baseDataStruct* f = findinfo(user, "type", "BookFolder"); f;
         f = findinfo(user, "type", "BookFolder", false, f)) {
        if (getinfo(f, kThisNode, "SysMark") == "NowBookFolder") return f;
        if (!firstSys && getinfo(f, kThisNode, "style") == "sys") firstSys = f;
    }
    if (firstSys) {
        setinfo(firstSys, kThisNode, "SysMark", "NowBookFolder");
        sys_.DataSavePoint(firstSys);
    }
    return firstSys;
}

void CLetterList::AddToBook(bool from, bool toAndCc) {
    if (!box_) return;
    baseDataStruct* folder = BookFolder();
    if (!folder) return;
    CSysMailBox& mail = sys_.mailBox();
    baseDataStruct* persons = mail.SysReadLinkTree(folder, kLoadProperty);
    if (!persons) return;
    const auto letters = ChildIndex();
    for (int row : SelectedRows()) {
        auto found = letters.find(list_.view().ItemData(row) & kNodeIdMask);
        if (found == letters.end()) continue;
        baseDataStruct* letter = found->second;
        if (teststate(letter, STATE_HAS_SDATA) && getinfo(letter, kThisNode, "SDATA").empty())
            mail.DataLoadPoint(letter, -1, kLoadSdata);
        const std::string raw = getinfo(letter, kThisNode, "SDATA");
        const std::string_view header = HeaderOf(raw);
        std::string list;
        if (from) list += MailGetHeaderItem(header, "From") + ";";
        if (toAndCc) {
            list += MailGetHeaderItem(header, "To") + ";";
            list += MailGetHeaderItem(header, "CC") + ";";
        }
        for (char& c : list)
            if (c == ',') c = ';';
        for (std::string_view piece : SplitText(list, ";")) {
            if (TrimWhite(piece).empty()) continue;
            const std::string email = AsciiLowerCopy(GetAddressEmail(piece));
            if (email.empty() || email == kAbsent) continue;
            bool known = false;
            for (baseDataStruct* p = persons->firstSon(); p && !known; p = p->nextBrother())
                known = AsciiLowerCopy(getinfo(p, kThisNode, "email")) == email;
            if (known) continue;
            baseDataStruct* person = AddSonText(
                persons,
                "type =PersonInfo ,pType =100 ,name =" + encodeinfo(GetAddressName(piece)) +
                    " ,email =" + encodeinfo(email) + " ,ReturnEmail =" + encodeinfo(email));
            // A new node has no record yet: saving it would write nothing.
            mail.DataNewPoint(person);
        }
        freedata(letter, 8);
    }
}

std::vector<baseDataStruct*> CLetterList::selectedLetters() {
    Lock lock(ModelLock());
    std::vector<baseDataStruct*> letters;
    for (int row : SelectedRows())
        if (baseDataStruct* letter = LetterOfRow(row)) letters.push_back(letter);
    return letters;
}

bool CLetterList::askMenuState(std::string_view question) {
    Lock lock(ModelLock());
    if (question == "ShowMail") return box_ && getinfo(box_, kThisNode, "ShowMail") == "True";
    if (question == "HaveSelectMail") return SelectedCount() > 0;
    if (question == "HaveBox") return box_ != nullptr;
    if (question == "HaveSelectOneMail") return SelectedCount() == 1;
    if (question == "HaveMail") return list_.view().RowCount() > 0;
    if (question == "ShowNormal") return showWord_ & kShowNormal;
    if (question == "ShowHide") return showWord_ & kShowHidden;
    if (question == "ShowDelete") return showWord_ & kShowDeleted;
    return false;
}

bool CLetterList::IsCommandEnabled(int command) {
    Lock lock(ModelLock());
    switch (command) {
        case kCmdCompressBox:
        case kCmdShowNormal:
        case kCmdShowHidden:
        case kCmdShowDeleted:
        case kCmdShowMailText:
            return box_ != nullptr;
        default:
            return box_ != nullptr && askMenuState("HaveSelectMail");
    }
}

bool CLetterList::OnCommand(int command) {
    Lock lock(ModelLock());
    switch (command) {
        case kCmdSetRead:
            MarkSelected(Mark::kRead);
            break;
        case kCmdSetUnread:
            MarkSelected(Mark::kUnread);
            break;
        case kCmdSetWriteBack:
            MarkSelected(Mark::kReplied);
            break;
        case kCmdSetNotWriteBack:
            MarkSelected(Mark::kNotReplied);
            break;
        case kCmdSetHidden:
            MarkSelected(Mark::kHidden);
            break;
        case kCmdSetUnhidden:
            MarkSelected(Mark::kUnhidden);
            break;
        case kCmdKeep:
            MarkSelected(Mark::kKeep);
            break;
        case kCmdCancelKeep:
            MarkSelected(Mark::kNoKeep);
            break;
        case kCmdDelete:
            DeleteSelected();
            break;
        case kCmdUndelete:
            MarkSelected(Mark::kUndelete);
            break;
        case kCmdCompressBox:
            CompressBox();
            break;
        case kCmdShowNormal:
            ToggleShow(kShowNormal, "ShowNormal");
            break;
        case kCmdShowHidden:
            ToggleShow(kShowHidden, "ShowHide");
            break;
        case kCmdShowDeleted:
            ToggleShow(kShowDeleted, "ShowDelete");
            break;
        case kCmdShowMailText:
            ToggleShowMail();
            break;
        case kCmdAddAllToBook:
            AddToBook(true, true);
            break;
        case kCmdReceiverToBook:
            AddToBook(true, false);
            break;
        case kCmdSenderToBook:
            AddToBook(false, true);
            break;
        default:
            return false;
    }
    return true;
}

void CLetterList::OnClick(int row) {
    Lock lock(ModelLock());
    current_ = LetterOfRow(row);
    if (current_)
        viewer_.ShowMail(current_);
    else
        viewer_.ClearMail();
}

void CLetterList::OnSelectionChanged(int row) {
    Lock lock(ModelLock());
    StopTimer();
    current_ = LetterOfRow(row);
    if (!current_) {
        viewer_.ClearMail();
        return;
    }
    viewer_.ShowMail(current_);
    if (!teststate(current_, LETTER_READ)) {
        timerId_ = ++lastTimerId_;
        timerDue_ = clock_.NowMs() + kMarkReadDelayMs;
    }
}

void CLetterList::OnTimer() {
    Lock lock(ModelLock());
    if (timerId_ == 0 || clock_.NowMs() < timerDue_) return;
    StopTimer();
    if (baseDataStruct* letter = LetterOfRow(list_.view().FocusedRow()))
        MarkLetter(letter, Mark::kRead);
}

void CLetterList::OnDoubleClick() {
    Lock lock(ModelLock());
    if (!current_ || !box_) return;
    const std::string sub = getinfo(box_, kThisNode, "subType");
    frame_.OpenLetter(current_, sub == "prepare" || sub == "send" ? 5 : 6);
}

void CLetterList::ShowAccount(baseDataStruct* account) {
    Lock lock(ModelLock());
    list_.Reset("ST = 70 ,Box =180 ,Normal =70 ,Hide =70 ,Unread =70 ,Delete =70");
    rowOf_.Clear();
    aside_.clear();
    asideAt_.Clear();
    box_ = nullptr;
    container_ = nullptr;
    current_ = nullptr;
    showWord_ = 0;
    StopTimer();
    if (!account) return;
    // Depth first, through the sons of the account only.
    std::vector<baseDataStruct*> pending;
    for (baseDataStruct* s = account->lastSon(); s; s = s->prevBrother()) pending.push_back(s);
    while (!pending.empty()) {
        baseDataStruct* node = pending.back();
        pending.pop_back();
        if (IsType(node, "Box")) {
            list_.InsertRow(" ," + encodeinfo(getinfo(node, kThisNode, "caption")) + " ," +
                                encodeinfo(CounterText(node, "ValidateItemSum")) + " ," +
                                encodeinfo(CounterText(node, "HideItemSum")) + " ," +
                                encodeinfo(CounterText(node, "UnreadItemSum")) + " ," +
                                encodeinfo(CounterText(node, "DeleteItemSum")),
                            node->nodeId() & kNodeIdMask);
        }
        for (baseDataStruct* s = node->lastSon(); s; s = s->prevBrother()) pending.push_back(s);
    }
}

baseDataStruct* CLetterList::InitialUpdate() {
    Lock lock(ModelLock());
    baseDataStruct* root = sys_.root();
    const std::string id = getinfo(root, kThisNode, "SelectItem");
    if (id == kAbsent || id.empty()) return nullptr;
    baseDataStruct* node = findinfo(root, "pointId", id);
    if (node) frame_.SelectTreeNode(node);
    return node;
}

}  // namespace korvo
