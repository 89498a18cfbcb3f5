// CLetterList: the letters of the box selected in the user tree, and the box summary of an
// account. It decides which letters are visible under the box's show word, keeps the box
// counters in step with every change of a letter's bits, and carries out the letter commands
// of the "mail" menu. The widget is reached only through CBaseListControl; the viewer and the
// frame through the small interfaces below.
//
// Every entry point takes the model lock, so the receive worker may call ShowLetter and
// BoxChanged (the LetterListener side) while the user works with the list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "content/text_search.h"
#include "controls/list_control.h"
#include "model/sys_data.h"
#include "platform/id_table.h"
#include "store/node.h"
#include "transport/receive_mail.h"

namespace korvo {

inline constexpr uint32_t LETTER_LISTED = 0x00080000;
inline constexpr uint32_t LETTER_FORWARDED = 0x01000000;

// Bits of a box's show word (`showColumn`).
inline constexpr long kShowHidden = 0x4;
inline constexpr long kShowDeleted = 0x4000;
inline constexpr long kShowNormal = 0x8000;
inline constexpr long kShowUnread = 0x10000;
inline constexpr long kShowRead = 0x20000;

// Flag bits of a row's item data above the node id.
inline constexpr uint32_t kRowUnread = 0x80000000;
inline constexpr uint32_t kRowHidden = 0x04000000;
inline constexpr uint32_t kRowDeleted = 0x10000000;

// boxCopyLetter's mode that keeps the letters in their box.
inline constexpr int kCopyLetters = 1;

// The mark-read delay of a selected unread letter.
inline constexpr int64_t kMarkReadDelayMs = 3000;

inline constexpr std::string_view kNothingToShow = "Nothing for show on here.";

// The command ids of the "mail" menu.
enum LetterCommand : int {
    kCmdSetRead = 32982,
    kCmdSetUnread = 32981,
    kCmdSetWriteBack = 32988,
    kCmdSetNotWriteBack = 32989,
    kCmdSetHidden = 32983,
    kCmdSetUnhidden = 33048,
    kCmdKeep = 32985,
    kCmdCancelKeep = 32791,
    kCmdDelete = 32984,
    kCmdUndelete = 32996,
    kCmdCompressBox = 33049,
    kCmdShowNormal = 33047,
    kCmdShowHidden = 32991,
    kCmdShowDeleted = 33046,
    kCmdShowMailText = 32787,
    kCmdAddAllToBook = 33042,
    kCmdReceiverToBook = 33044,
    kCmdSenderToBook = 33043,
};

// Where the current letter is shown.
class LetterViewer {
  public:
    virtual ~LetterViewer() = default;
    virtual void ShowMail(baseDataStruct* letter) = 0;
    virtual void ClearMail() = 0;
};

// What the list asks of the main frame.
class LetterFrame {
  public:
    virtual ~LetterFrame() = default;
    // Opens the letter in a "Show Mail" window; `variant` 5 for the prepare and send boxes,
    // 6 otherwise.
    virtual void OpenLetter(baseDataStruct* letter, int variant) = 0;
    // The counters of `box` changed.
    virtual void RefreshBoxLabel(baseDataStruct* box) = 0;
    // Selects the node's item in the user tree (which shows its list in turn).
    virtual void SelectTreeNode(baseDataStruct* node) = 0;
};

// Milliseconds from an arbitrary start; tests drive it by hand.
class ListClock {
  public:
    virtual ~ListClock() = default;
    virtual int64_t NowMs() = 0;
};
ListClock& SteadyListClock();

class CLetterList : public LetterListener {
  public:
    // `stores` holds the boxes (system store) and through its mail store the letters. All
    // references must outlive the list.
    CLetterList(CBaseListControl& list, CSysData& stores, LetterViewer& viewer, LetterFrame& frame,
                ListClock& clock = SteadyListClock());

    void showList(baseDataStruct* box);
    // The quick search: only letters whose sender, receiver and subject columns hold every
    // word of `words` (case ignored) are listed; empty words list them all. The rows are
    // rebuilt; the box's counters and the letters' marks do not change. Showing another box
    // clears the search.
    void SetQuickSearch(std::string_view words);
    const std::string& quickSearch() const { return quickSearchText_; }
    // Selects the letter with node id `letterId` in the shown box and shows it; a quick search
    // that leaves it out is cleared. Returns its row, or -1 when the box does not list it.
    int SelectLetter(uint32_t letterId);
    // Adds, refreshes or removes the row of one letter of the shown box.
    void ShowLetter(baseDataStruct* letter) override;
    void BoxChanged(baseDataStruct* box) override;

    // Moves the selected letters into `destination` (mode 0), or copies them there leaving the
    // originals as they are (kCopyLetters, a drag with Ctrl held).
    void boxCopyLetter(baseDataStruct* destination, int mode = 0);
    // Runs a command of the "mail" menu; false for an id that is not one.
    bool OnCommand(int command);
    // Whether a menu command is enabled now.
    bool IsCommandEnabled(int command);
    bool askMenuState(std::string_view question);
    // The letters of the selected rows, last row first.
    std::vector<baseDataStruct*> selectedLetters();

    // Row events.
    void OnClick(int row);
    void OnSelectionChanged(int row);
    void OnDoubleClick();
    // Called by the desktop's timer; fires the mark-read timer when it is due.
    void OnTimer();

    // The box summary of an account.
    void ShowAccount(baseDataStruct* account);
    // Selects in the user tree the node named by the root's `SelectItem`; returns it or null.
    baseDataStruct* InitialUpdate();

    baseDataStruct* shownBox() const { return box_; }
    baseDataStruct* container() const { return container_; }
    baseDataStruct* currentLetter() const { return current_; }
    long showWord() const { return showWord_; }
    bool timerPending() const { return timerId_ != 0; }

  private:
    // Makes the letters and box counters written so far durable.
    void SyncStores();
    enum class Mark {
        kRead,
        kUnread,
        kReplied,
        kNotReplied,
        kHidden,
        kUnhidden,
        kKeep,
        kNoKeep,
        kDelete,
        kUndelete
    };

    void ShowListLocked(baseDataStruct* box);
    void ShowLetterLocked(baseDataStruct* letter);
    bool IsVisible(uint32_t state) const;
    // The quick search's verdict on a letter (its column block must be loaded).
    bool MatchesQuickSearch(const baseDataStruct* letter);
    // The searched columns of a letter, folded and joined; valid until the next call.
    std::string_view FoldedColumns(const baseDataStruct* letter);
    // A search that narrows the last one: sets the rows it leaves out aside.
    void DropUnmatchedRows();
    // A search that widens the last one: lists the matching letters again from the rows set
    // aside, or shows the list anew when some letter has no row to bring back.
    void RestoreMatchingRows();
    // As after the list was shown anew: nothing read, the first row chosen.
    void ChooseFirstRow();
    // Takes the rows not in `keep` (ascending) out of the list, to those set aside.
    void SetAside(const std::vector<int>& keep);
    int FindRow(uint32_t nodeId);
    // Makes `row` (showing `letter`) the only selected row and shows the letter.
    void ChooseRow(int row, baseDataStruct* letter);
    void RebuildRowIndex();
    void DeleteRowAt(int row);
    std::unordered_map<uint32_t, baseDataStruct*> ChildIndex() const;
    baseDataStruct* LetterOfRow(int row);
    // Rows selected, last first.
    std::vector<int> SelectedRows() const;
    int SelectedCount() const;
    // Changes a letter's bits; its box's counters follow the change.
    void ChangeLetter(baseDataStruct* box, baseDataStruct* letter, uint32_t clear, uint32_t set);
    void MarkLetter(baseDataStruct* letter, Mark mark);
    void MarkSelected(Mark mark);
    void DeleteSelected();
    void CompressBox();
    void ToggleShow(long bit, std::string_view question);
    void ToggleShowMail();
    void AddToBook(bool from, bool toAndCc);
    baseDataStruct* BookFolder();
    void StopTimer() { timerId_ = 0; }

    CBaseListControl& list_;
    CSysData& sys_;
    LetterViewer& viewer_;
    LetterFrame& frame_;
    ListClock& clock_;

    baseDataStruct* box_ = nullptr;
    baseDataStruct* container_ = nullptr;
    baseDataStruct* current_ = nullptr;
    long showWord_ = 0;
    std::string quickSearchText_;
    WordSearch quickSearch_;
    std::string foldedText_;  // FoldedColumns' result
    // Rows the quick search took out of the list until a wider search brings them back, and
    // where each letter's row lies among them. A letter shown anew loses its row here (its
    // columns may have changed); a row no longer indexed is dead.
    std::vector<ListRow> aside_;
    IdTable asideAt_;
    uint32_t readingId_ = 0;  // the letter read when the search changed
    bool redraw_ = true;
    int timerId_ = 0;
    int lastTimerId_ = 0;
    int64_t timerDue_ = 0;
    // Node id -> row. Rows move when one is deleted or the list is sorted; an entry is checked
    // against the row's item data before it is trusted.
    IdTable rowOf_;
};

}  // namespace korvo
