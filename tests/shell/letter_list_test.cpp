#include "shell/letter_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "content/letter_node.h"
#include "controls/memory_list_view.h"
#include "platform/model_lock.h"
#include "shell/mail_text.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "tests/shell/viewer_fakes.h"
#include "tests/support/faulty_store_env.h"
#include "tests/support/message_recorder.h"
#include "tools/store_audit.h"

namespace korvo {
namespace {

class RecordingViewer : public LetterViewer {
  public:
    void ShowMail(baseDataStruct* letter) override { shown = letter; }
    void ClearMail() override { shown = nullptr; }
    baseDataStruct* shown = nullptr;
};

class RecordingFrame : public LetterFrame {
  public:
    void OpenLetter(baseDataStruct* letter, int v) override {
        opened = letter;
        variant = v;
    }
    void RefreshBoxLabel(baseDataStruct* box) override { refreshed.insert(box); }
    void SelectTreeNode(baseDataStruct* node) override { selected = node; }
    baseDataStruct* opened = nullptr;
    int variant = 0;
    std::set<baseDataStruct*> refreshed;
    baseDataStruct* selected = nullptr;
};

class ManualClock : public ListClock {
  public:
    int64_t NowMs() override { return now; }
    int64_t now = 1000;
};

std::string Raw(const std::string& from, const std::string& subject, const std::string& to = "",
                const std::string& cc = "") {
    std::string text = "From: " + from + "\r\nSubject: " + subject + "\r\n";
    if (!to.empty()) text += "To: " + to + "\r\n";
    if (!cc.empty()) text += "Cc: " + cc + "\r\n";
    return text + "Date: Tue, 6 Jan 2004 09:05:33 +0800\r\n\r\nbody\r\n";
}

class LetterListTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        user = AddUser("ann");
        account = AddAccount(user, "home");
        receive = Box(kBoxReceive);
        trash = Box(kBoxTrash);
    }

    baseDataStruct* Box(int subKind) { return sys().DataGetSysPoint(account, kKindBox, subKind); }
    baseDataStruct* Letters(baseDataStruct* box) {
        return mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
    }
    baseDataStruct* AddLetter(baseDataStruct* box, const std::string& mailId,
                              const std::string& raw, uint32_t clear = 0, uint32_t set = 0) {
        baseDataStruct* letter = AddSonText(Letters(box), "type =letter ,MailId =" + mailId);
        setinfo(letter, kThisNode, "SDATA", raw);
        mailInitProperty(letter, box, &mail());
        changestate(letter, clear, set);
        mail().DataSavePoint(letter);
        return letter;
    }
    void SetShow(baseDataStruct* box, long word) {
        setinfo(box, kThisNode, "showColumn", LongToText(word));
    }
    long Count(baseDataStruct* box, const char* key) {
        return TextToLong(getinfo(box, kThisNode, key));
    }
    // Node ids of the rows, top to bottom.
    std::vector<uint32_t> Rows() {
        std::vector<uint32_t> ids;
        for (int r = 0; r < listView.RowCount(); ++r)
            ids.push_back(listView.ItemData(r) & kNodeIdMask);
        return ids;
    }
    int RowOf(baseDataStruct* letter) {
        for (int r = 0; r < listView.RowCount(); ++r)
            if ((listView.ItemData(r) & kNodeIdMask) == letter->nodeId()) return r;
        return -1;
    }
    void Select(std::initializer_list<baseDataStruct*> letters) {
        for (int r = 0; r < listView.RowCount(); ++r) listView.SetRowSelected(r, false);
        for (baseDataStruct* l : letters) listView.SetRowSelected(RowOf(l), true);
    }
    void SelectAll() {
        for (int r = 0; r < listView.RowCount(); ++r) listView.SetRowSelected(r, true);
    }

    baseDataStruct* user = nullptr;
    baseDataStruct* account = nullptr;
    baseDataStruct* receive = nullptr;
    baseDataStruct* trash = nullptr;
    MemoryListView listView;
    CBaseListControl control{listView};
    RecordingViewer viewer;
    RecordingFrame frame;
    ManualClock clock;
    CLetterList list{control, sys(), viewer, frame, clock};
};

TEST_F(LetterListTest, ShowWordChoosesRowsColumnsAndCounters) {
    baseDataStruct* plain = AddLetter(receive, "a", Raw("Bob <bob@x.org>", "plain"));
    baseDataStruct* hidden = AddLetter(receive, "b", Raw("c@x.org", "hidden"), 0, LETTER_HIDDEN);
    baseDataStruct* gone =
        AddLetter(receive, "c", Raw("d@x.org", "gone"), STATE_VALID, LETTER_READ);
    baseDataStruct* read = AddLetter(receive, "d", Raw("e@x.org", "read"), 0, LETTER_READ);
    SetShow(receive, kShowNormal | kColumnFrom | kColumnSubject);
    list.showList(receive);

    EXPECT_EQ(listView.ColumnCount(), 3);
    EXPECT_EQ(listView.ColumnTitle(1), "Sender");
    EXPECT_EQ(listView.ColumnTitle(2), "Subject");
    EXPECT_EQ(Rows(), (std::vector<uint32_t>{plain->nodeId(), read->nodeId()}));
    EXPECT_EQ(listView.CellText(0, 2), "plain");
    EXPECT_EQ(listView.ItemData(0), plain->nodeId() | kRowUnread);
    EXPECT_EQ(listView.RowStateImage(1), 1);
    // Only the first row is selected and focused after a rebuild.
    EXPECT_TRUE(listView.IsRowSelected(0));
    EXPECT_FALSE(listView.IsRowSelected(1));
    EXPECT_EQ(listView.FocusedRow(), 0);
    EXPECT_TRUE(listView.redraw());
    EXPECT_EQ(Count(receive, "ValidateItemSum"), 3);
    EXPECT_EQ(Count(receive, "DeleteItemSum"), 1);
    EXPECT_EQ(Count(receive, "HideItemSum"), 1);
    EXPECT_EQ(Count(receive, "UnreadItemSum"), 2);
    EXPECT_TRUE(teststate(plain, LETTER_LISTED));
    EXPECT_FALSE(teststate(gone, LETTER_LISTED));

    SetShow(receive, kShowNormal | kShowHidden | kShowDeleted);
    list.showList(receive);
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_EQ(listView.ItemData(RowOf(hidden)), hidden->nodeId() | kRowUnread | kRowHidden);
    EXPECT_EQ(listView.RowStateImage(RowOf(gone)), 0x10 | 1);

    // Unread only, without normal letters: the read ones drop out.
    SetShow(receive, kShowUnread);
    list.showList(receive);
    EXPECT_EQ(Rows(), (std::vector<uint32_t>{plain->nodeId(), hidden->nodeId()}));

    // A locked box lists nothing; anything that is not a box gets the placeholder row.
    setinfo(receive, kThisNode, "lock", "lock");
    list.showList(receive);
    EXPECT_EQ(listView.RowCount(), 0);
    EXPECT_TRUE(list.askMenuState("HaveBox"));
    listView.SetClientWidth(333);
    list.showList(account);
    EXPECT_FALSE(list.askMenuState("HaveBox"));
    ASSERT_EQ(listView.RowCount(), 1);
    EXPECT_EQ(listView.CellText(0, 0), kNothingToShow);
    EXPECT_EQ(listView.ColumnWidth(0), 333);
    EXPECT_EQ(listView.ItemData(0), 0u);
}

TEST_F(LetterListTest, QuickSearchListsTheLettersHoldingEveryWordAndKeepsTheCounters) {
    // The column blocks are made for the columns the box shows.
    SetShow(receive, kShowNormal | kColumnFrom | kColumnTo | kColumnSubject);
    baseDataStruct* bob = AddLetter(receive, "a", Raw("Bob <bob@x.org>", "Quarterly Report"));
    baseDataStruct* eva = AddLetter(receive, "b",
                                    Raw("=?UTF-8?B?w4l2YQ==?= <eva@y.org>",
                                        "Stra\xc3\x9f"
                                        "e"),
                                    0, LETTER_READ);
    baseDataStruct* cy = AddLetter(receive, "c", Raw("cy@z.org", "lunch", "Bob <bob@x.org>"));
    list.showList(receive);
    const long unread = Count(receive, "UnreadItemSum");

    const struct {
        const char* words;
        std::vector<baseDataStruct*> rows;
    } cases[] = {
        {"", {bob, eva, cy}},
        {"bob", {bob, cy}},    // sender or receiver
        {"bob l", {bob, cy}},  // typed on: only the rows listed are looked at again
        {"bob lu", {cy}},
        {"REPORT quarterly", {bob}},  // every word, any order, case ignored
        {"bob lunch", {cy}},
        {"\xc3\x89VA", {eva}},  // the decoded name, folded: "ÉVA" finds "Éva"
        {"stra\xc3\x9f"
         "e",
         {eva}},
        {"bob nothing", {}},
        {"  ", {bob, eva, cy}},
    };
    for (const auto& c : cases) {
        list.SetQuickSearch(c.words);
        std::vector<uint32_t> expected;
        for (baseDataStruct* l : c.rows) expected.push_back(l->nodeId());
        EXPECT_EQ(Rows(), expected) << c.words;
        EXPECT_EQ(Count(receive, "UnreadItemSum"), unread) << c.words;
    }

    // The letter being read is chosen again once a later search lists it.
    list.SetQuickSearch("");
    list.OnSelectionChanged(RowOf(eva));
    list.SetQuickSearch("bob");
    list.SetQuickSearch("");
    EXPECT_EQ(list.currentLetter(), eva);
    EXPECT_EQ(listView.FocusedRow(), RowOf(eva));
    EXPECT_TRUE(listView.IsRowSelected(RowOf(eva)));
    EXPECT_FALSE(listView.IsRowSelected(RowOf(bob)));

    // A letter arriving while the search stands is listed only when it matches.
    list.SetQuickSearch("lunch");
    baseDataStruct* late = AddLetter(receive, "d", Raw("dee@z.org", "more lunch"));
    baseDataStruct* other = AddLetter(receive, "e", Raw("eve@z.org", "dinner"));
    list.ShowLetter(late);
    list.ShowLetter(other);
    EXPECT_EQ(Rows(), (std::vector<uint32_t>{cy->nodeId(), late->nodeId()}));
    EXPECT_FALSE(teststate(other, LETTER_LISTED));

    // Another box clears the search.
    list.showList(trash);
    list.showList(receive);
    EXPECT_EQ(list.quickSearch(), "");
    EXPECT_EQ(Rows().size(), 5u);
}

// Rows a search leaves out are set aside and brought back when the search widens; they must
// come back as their letters are then, not as they were when they left.
TEST_F(LetterListTest, RowsLeftOutBySearchComeBackAsTheirLettersAreNow) {
    SetShow(receive, kShowNormal | kColumnFrom | kColumnSubject);
    baseDataStruct* a = AddLetter(receive, "a", Raw("a@x.org", "alpha report"));
    baseDataStruct* b = AddLetter(receive, "b", Raw("b@x.org", "beta report"));
    baseDataStruct* c = AddLetter(receive, "c", Raw("c@x.org", "gamma"));
    baseDataStruct* d = AddLetter(receive, "d", Raw("d@x.org", "delta report"));
    list.showList(receive);
    const auto subjectOf = [&](baseDataStruct* letter) {
        return RowOf(letter) < 0 ? std::string("-") : listView.CellText(RowOf(letter), 2);
    };

    // While the others are aside, a is read and d leaves the box.
    list.SetQuickSearch("gamma");
    ASSERT_EQ(Rows(), (std::vector<uint32_t>{c->nodeId()}));
    changestate(a, 0, LETTER_READ);
    deletepoint(d);
    list.SetQuickSearch("");
    EXPECT_EQ(Rows(), (std::vector<uint32_t>{a->nodeId(), b->nodeId(), c->nodeId()}));
    EXPECT_EQ(listView.RowStateImage(RowOf(a)) & 1, 1) << "read while aside";
    EXPECT_EQ(listView.ItemData(RowOf(a)) & kRowUnread, 0u);
    EXPECT_EQ(listView.FocusedRow(), 0);
    EXPECT_TRUE(teststate(a, LETTER_LISTED));
    // b gets new columns while aside (and is shown again, as the store's listener does).
    list.SetQuickSearch("gamma");
    setinfo(b, kThisNode, "SDATA", Raw("b@x.org", "beta report again"));
    mailInitProperty(b, receive, &mail());
    list.ShowLetter(b);
    list.SetQuickSearch("");
    EXPECT_EQ(subjectOf(b), "beta report again");

    // Narrowed, widened part way, narrowed again: every step lists exactly the matches.
    const struct {
        const char* words;
        std::vector<baseDataStruct*> rows;
    } steps[] = {{"report", {a, b}}, {"report al", {a}}, {"repo", {a, b}}, {"", {a, b, c}},
                 {"re", {a, b}},     {"rep", {a, b}},    {"", {a, b, c}}};
    for (const auto& step : steps) {
        list.SetQuickSearch(step.words);
        std::vector<uint32_t> expected;
        for (baseDataStruct* l : step.rows) expected.push_back(l->nodeId());
        EXPECT_EQ(Rows(), expected) << step.words;
        for (baseDataStruct* l : {a, b, c})
            EXPECT_EQ(teststate(l, LETTER_LISTED), RowOf(l) >= 0) << step.words;
    }
    EXPECT_EQ(subjectOf(a), "alpha report");

    // A list sorted by the user is shown anew when the search widens, unsorted as ever.
    list.SetQuickSearch("report");
    control.SortByColumn(2);
    control.SortByColumn(2);  // descending: b before a
    ASSERT_EQ(Rows(), (std::vector<uint32_t>{b->nodeId(), a->nodeId()}));
    list.SetQuickSearch("");
    EXPECT_EQ(Rows(), (std::vector<uint32_t>{a->nodeId(), b->nodeId(), c->nodeId()}));
    EXPECT_EQ(listView.HeaderSortCounter(2), 0);
}

TEST_F(LetterListTest, MarkingChangesCountersByTheChangeOnly) {
    baseDataStruct* a = AddLetter(receive, "a", Raw("a@x", "a"));
    baseDataStruct* b = AddLetter(receive, "b", Raw("b@x", "b"));
    SetShow(receive, kShowNormal | kColumnSubject);
    list.showList(receive);
    ASSERT_EQ(Count(receive, "UnreadItemSum"), 2);

    Select({a, b});
    frame.refreshed.clear();
    EXPECT_TRUE(list.OnCommand(kCmdSetRead));
    EXPECT_EQ(Count(receive, "UnreadItemSum"), 0);
    EXPECT_TRUE(frame.refreshed.count(receive));
    list.OnCommand(kCmdSetRead);  // already read: nothing moves
    EXPECT_EQ(Count(receive, "UnreadItemSum"), 0);
    EXPECT_EQ(listView.RowStateImage(RowOf(a)), 1);

    Select({a});
    list.OnCommand(kCmdSetHidden);
    EXPECT_EQ(Count(receive, "HideItemSum"), 1);
    EXPECT_EQ(RowOf(a), -1);  // hidden letters are not shown
    EXPECT_FALSE(teststate(a, LETTER_LISTED));

    // A counter that is already 0 stays 0.
    Select({b});
    list.OnCommand(kCmdSetUnread);
    setinfo(receive, kThisNode, "UnreadItemSum", "0");
    list.OnCommand(kCmdSetRead);
    EXPECT_EQ(Count(receive, "UnreadItemSum"), 0);
    list.OnCommand(kCmdSetWriteBack);
    list.OnCommand(kCmdKeep);
    EXPECT_TRUE(teststate(b, LETTER_REPLIED | LETTER_KEEP));
    EXPECT_EQ(listView.RowStateImage(RowOf(b)), 1 | 4);
    setinfo(receive, kThisNode, "subType", "trash");
    list.OnCommand(kCmdDelete);
    EXPECT_EQ(Count(receive, "ValidateItemSum"), 1);
    EXPECT_EQ(Count(receive, "DeleteItemSum"), 1);
    EXPECT_FALSE(teststate(b, STATE_VALID));

    // A row whose letter is gone is skipped.
    SetShow(receive, kShowNormal | kShowDeleted | kShowHidden);
    list.showList(receive);
    SelectAll();
    deletepoint(a);
    list.OnCommand(kCmdUndelete);
    EXPECT_TRUE(teststate(b, STATE_VALID));
    EXPECT_EQ(Count(receive, "DeleteItemSum"), 0);
}

TEST_F(LetterListTest, DeleteMovesToTrashThenMarksThenCompressRemoves) {
    baseDataStruct* a = AddLetter(receive, "id-a", Raw("a@x", "a"));
    baseDataStruct* b = AddLetter(receive, "id-b", Raw("b@x", "b"));
    AddLetter(receive, "id-c", Raw("c@x", "c"));
    SetShow(receive, kShowNormal | kColumnSubject);
    SetShow(trash, kShowNormal | kShowDeleted | kColumnSubject);
    list.showList(trash);
    list.showList(receive);
    Select({a, b});
    list.OnCommand(kCmdDelete);

    EXPECT_FALSE(teststate(a, STATE_VALID));
    EXPECT_TRUE(teststate(a, LETTER_READ));
    EXPECT_EQ(a->parent(), Letters(receive));
    EXPECT_EQ(listView.RowCount(), 1);
    EXPECT_EQ(Count(receive, "DeleteItemSum"), 2);
    EXPECT_EQ(Count(receive, "ValidateItemSum"), 1);
    EXPECT_EQ(Count(trash, "ValidateItemSum"), 2);
    EXPECT_EQ(TextToLong(getinfo(Letters(trash), kThisNode, "sumSon")), 2);

    list.showList(trash);
    ASSERT_EQ(listView.RowCount(), 2);
    SelectAll();
    list.OnCommand(kCmdDelete);
    EXPECT_EQ(Count(trash, "ValidateItemSum"), 0);
    EXPECT_EQ(Count(trash, "DeleteItemSum"), 2);
    EXPECT_EQ(listView.RowCount(), 2);  // deleted letters are shown in this trash
    list.OnCommand(kCmdCompressBox);
    EXPECT_EQ(Letters(trash)->firstSon(), nullptr);
    EXPECT_EQ(listView.RowCount(), 0);
    EXPECT_EQ(Count(trash, "DeleteItemSum"), 0);

    // Compressing the receive box removes the two letters moved out of it, from the store too.
    list.showList(receive);
    list.OnCommand(kCmdCompressBox);
    Reopen();
    user = UserNamed("ann");
    account = findinfo(user, "type", "Account");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(TextToLong(getinfo(Letters(Box(kBoxReceive)), kThisNode, "sumSon")), 1);
}

TEST_F(LetterListTest, MovingRevivesALetterWithTheSameMailId) {
    baseDataStruct* other = AddUser("bob", "bob.sdb");
    baseDataStruct* foreign =
        sys().DataGetSysPoint(AddAccount(other, "work"), kKindBox, kBoxReceive);
    baseDataStruct* preview = Box(kBoxPreview);
    baseDataStruct* old =
        AddLetter(preview, "same", Raw("a@x", "old"), STATE_VALID | 0, LETTER_HIDDEN | LETTER_READ);
    baseDataStruct* a = AddLetter(receive, "same", Raw("a@x", "new"));
    baseDataStruct* noId1 = AddLetter(receive, "-1", Raw("n@x", "n1"));
    baseDataStruct* noId2 = AddLetter(receive, "-1", Raw("n@x", "n2"));
    list.showList(preview);
    EXPECT_EQ(Count(preview, "DeleteItemSum"), 1);
    SetShow(receive, kShowNormal | kColumnSubject);
    list.showList(receive);
    Select({a, noId1, noId2});
    list.boxCopyLetter(preview, 0);

    baseDataStruct* letters = Letters(preview);
    // One revived letter and two copies: letters without an id never match each other.
    EXPECT_EQ(TextToLong(getinfo(letters, kThisNode, "sumSon")), 3);
    EXPECT_TRUE(teststate(old, STATE_VALID));
    EXPECT_FALSE(teststate(old, LETTER_HIDDEN));
    EXPECT_EQ(Count(preview, "ValidateItemSum"), 3);
    EXPECT_EQ(Count(preview, "DeleteItemSum"), 0);
    EXPECT_EQ(Count(preview, "HideItemSum"), 0);
    EXPECT_EQ(Count(preview, "UnreadItemSum"), 2);
    EXPECT_EQ(
        getinfo(letters->lastSon(), kThisNode, "SDATA").find("Subject: n1") != std::string::npos,
        true);
    EXPECT_NE(getinfo(letters->lastSon(), kThisNode, "pointId"), "-1");
    EXPECT_EQ(listView.RowCount(), 0);
    EXPECT_EQ(Count(receive, "DeleteItemSum"), 3);
    EXPECT_EQ(Count(receive, "UnreadItemSum"), 0);

    // Moving into the shown box itself changes nothing.
    SetShow(receive, kShowDeleted);
    list.showList(receive);
    SelectAll();
    list.OnCommand(kCmdUndelete);
    list.boxCopyLetter(receive, 0);
    EXPECT_TRUE(teststate(a, STATE_VALID));
    EXPECT_EQ(TextToLong(getinfo(Letters(receive), kThisNode, "sumSon")), 3);

    // Nor does moving into a box of another user, whose letters live in another file.
    list.boxCopyLetter(foreign, 0);
    EXPECT_TRUE(teststate(a, STATE_VALID));
    EXPECT_EQ(a->parent(), list.container());

    // A copy (a drag with Ctrl) leaves the letter listed where it was.
    SetShow(receive, kShowNormal | kColumnSubject);
    list.showList(receive);
    Select({a});
    list.boxCopyLetter(trash, kCopyLetters);
    EXPECT_TRUE(teststate(a, STATE_VALID));
    EXPECT_GE(RowOf(a), 0);
    EXPECT_EQ(TextToLong(getinfo(Letters(trash), kThisNode, "sumSon")), 1);
    Select({noId1});
    list.boxCopyLetter(trash, kCopyLetters);
    EXPECT_EQ(TextToLong(getinfo(Letters(trash), kThisNode, "sumSon")), 2);
}

// With the program's own viewer: showing a letter loads its text, and marking it read
// afterwards refreshes its row instead of adding another.
TEST_F(LetterListTest, MarkingTheViewedLetterReadKeepsOneRowPerLetter) {
    test::RecordingPage page;
    test::RecordingBand band;
    test::RecordingRows rows;
    test::ScriptedDialogs dialogs;
    CMailText text{sys(), page, band, rows, dialogs};
    CLetterList shown{control, sys(), text, frame, clock};
    text.SetShownBoxSource([&] { return shown.shownBox(); });
    AddLetter(receive, "a", Raw("a@x", "a"));
    baseDataStruct* b = AddLetter(receive, "b", Raw("b@x", "b"));
    AddLetter(receive, "c", Raw("c@x", "c"));
    // The texts are in the store only, as after a receive.
    for (baseDataStruct* l = Letters(receive)->firstSon(); l; l = l->nextBrother()) freedata(l, 8);
    SetShow(receive, kShowNormal | kColumnSubject);
    shown.showList(receive);
    ASSERT_EQ(listView.RowCount(), 3);

    shown.OnClick(RowOf(b));
    shown.OnSelectionChanged(RowOf(b));
    listView.SetFocusedRow(RowOf(b));
    EXPECT_EQ(text.shownLetter(), b);
    EXPECT_TRUE(teststate(b, LETTER_LISTED)) << "showing the letter kept the list's bit";
    // Another load of a listed letter's text (as moving or the address book do) resets its
    // state word to the stored one.
    mail().DataLoadPoint(b, -1, kLoadSdata);
    clock.now += 3000;
    shown.OnTimer();
    EXPECT_TRUE(teststate(b, LETTER_READ));
    EXPECT_EQ(listView.RowCount(), 3);
    EXPECT_EQ(Count(receive, "UnreadItemSum"), 2);
}

TEST_F(LetterListTest, MarkReadTimerAndRowEvents) {
    baseDataStruct* a = AddLetter(receive, "a", Raw("a@x", "a"));
    baseDataStruct* b = AddLetter(receive, "b", Raw("b@x", "b"));
    baseDataStruct* r = AddLetter(receive, "r", Raw("r@x", "r"), 0, LETTER_READ);
    SetShow(receive, kShowNormal);
    list.showList(receive);

    list.OnSelectionChanged(RowOf(a));
    listView.SetFocusedRow(RowOf(a));
    EXPECT_EQ(viewer.shown, a);
    EXPECT_TRUE(list.timerPending());
    clock.now += 2999;
    list.OnTimer();
    EXPECT_FALSE(teststate(a, LETTER_READ));
    // Moving on within three seconds: the first letter stays unread.
    list.OnSelectionChanged(RowOf(b));
    listView.SetFocusedRow(RowOf(b));
    clock.now += 2000;
    list.OnTimer();
    EXPECT_FALSE(teststate(a, LETTER_READ));
    EXPECT_FALSE(teststate(b, LETTER_READ));
    clock.now += 1000;
    list.OnTimer();
    EXPECT_TRUE(teststate(b, LETTER_READ));
    EXPECT_FALSE(list.timerPending());
    EXPECT_EQ(Count(receive, "UnreadItemSum"), 1);
    // A read letter starts no timer.
    list.OnSelectionChanged(RowOf(r));
    EXPECT_FALSE(list.timerPending());

    list.OnClick(RowOf(a));
    list.OnDoubleClick();
    EXPECT_EQ(frame.opened, a);
    EXPECT_EQ(frame.variant, 6);
    setinfo(receive, kThisNode, "subType", "send");
    list.OnDoubleClick();
    EXPECT_EQ(frame.variant, 5);
    list.OnClick(-1);
    EXPECT_EQ(viewer.shown, nullptr);
}

TEST_F(LetterListTest, MenuQuestionsAndToggles) {
    EXPECT_FALSE(list.IsCommandEnabled(kCmdCompressBox));
    AddLetter(receive, "a", Raw("a@x", "a"));
    baseDataStruct* h = AddLetter(receive, "h", Raw("h@x", "h"), 0, LETTER_HIDDEN);
    SetShow(receive, kShowNormal);
    list.showList(receive);
    EXPECT_TRUE(list.askMenuState("HaveMail"));
    EXPECT_TRUE(list.askMenuState("HaveSelectOneMail"));
    EXPECT_TRUE(list.IsCommandEnabled(kCmdSetRead));
    EXPECT_TRUE(list.askMenuState("ShowNormal"));
    EXPECT_FALSE(list.askMenuState("ShowHide"));
    EXPECT_FALSE(list.askMenuState("whatever"));
    EXPECT_FALSE(list.OnCommand(12345));

    list.OnCommand(kCmdShowHidden);
    EXPECT_EQ(TextToLong(getinfo(receive, kThisNode, "showColumn")), kShowNormal | kShowHidden);
    EXPECT_NE(RowOf(h), -1);
    list.OnCommand(kCmdShowNormal);
    EXPECT_EQ(Rows(), std::vector<uint32_t>{h->nodeId()});
    list.OnCommand(kCmdShowDeleted);
    EXPECT_TRUE(list.askMenuState("ShowDelete"));
    list.OnCommand(kCmdShowDeleted);
    EXPECT_FALSE(list.askMenuState("ShowDelete"));

    EXPECT_FALSE(list.askMenuState("ShowMail"));
    list.OnCommand(kCmdShowMailText);
    EXPECT_TRUE(list.askMenuState("ShowMail"));
    list.OnCommand(kCmdShowMailText);
    EXPECT_EQ(getinfo(receive, kThisNode, "ShowMail"), "False");

    for (int r = 0; r < listView.RowCount(); ++r) listView.SetRowSelected(r, false);
    EXPECT_FALSE(list.IsCommandEnabled(kCmdDelete));
    EXPECT_TRUE(list.IsCommandEnabled(kCmdCompressBox));
}

TEST_F(LetterListTest, AddressBookCommandsAddEachAddressOnce) {
    baseDataStruct* a = AddLetter(
        receive, "a",
        Raw("Bob <Bob@X.org>", "a", "Carl <carl@y.org>, dora@z.org", "eve@w.org; Bob <bob@x.org>"));
    list.showList(receive);
    Select({a});
    list.OnCommand(kCmdReceiverToBook);
    list.OnCommand(kCmdReceiverToBook);
    baseDataStruct* folder = findinfo(user, "SysMark", "NowBookFolder");
    ASSERT_NE(folder, nullptr);
    baseDataStruct* persons = mail().SysReadLinkTree(folder, kLoadProperty);
    ASSERT_NE(persons->firstSon(), nullptr);
    EXPECT_EQ(persons->firstSon(), persons->lastSon());
    EXPECT_EQ(getinfo(persons->firstSon(), kThisNode, "email"), "bob@x.org");
    EXPECT_EQ(getinfo(persons->firstSon(), kThisNode, "ReturnEmail"), "bob@x.org");
    EXPECT_EQ(getinfo(persons->firstSon(), kThisNode, "name"), "Bob");

    list.OnCommand(kCmdAddAllToBook);
    auto emails = [](baseDataStruct* folder) {
        std::vector<std::string> found;
        for (baseDataStruct* p = folder->firstSon(); p; p = p->nextBrother())
            found.push_back(getinfo(p, kThisNode, "email"));
        return found;
    };
    const std::vector<std::string> added{"bob@x.org", "carl@y.org", "dora@z.org", "eve@w.org"};
    EXPECT_EQ(emails(persons), added);

    // The persons are in the user's file, not only in memory.
    Reopen();
    folder = findinfo(UserNamed("ann"), "SysMark", "NowBookFolder");
    ASSERT_NE(folder, nullptr);
    persons = mail().SysReadLinkTree(folder, kLoadProperty);
    ASSERT_NE(persons, nullptr);
    EXPECT_EQ(emails(persons), added);
    EXPECT_EQ(getinfo(persons->firstSon(), kThisNode, "name"), "Bob");
}

TEST_F(LetterListTest, RowLookupSurvivesSortingAndRemoval) {
    // The column block of a letter follows the show word at the time it arrives.
    SetShow(receive, kShowNormal | kShowRead | kShowUnread | kColumnSubject);
    std::vector<baseDataStruct*> letters;
    for (int i = 0; i < 6; ++i)
        letters.push_back(
            AddLetter(receive, std::to_string(i), Raw("a@x", "s" + std::to_string(5 - i))));
    list.showList(receive);
    control.SortByColumn(1);  // by subject: the order flips
    ASSERT_EQ(listView.ItemData(0) & kNodeIdMask, letters[5]->nodeId());
    changestate(letters[1], 0, LETTER_READ);
    list.ShowLetter(letters[1]);
    EXPECT_EQ(listView.ItemData(RowOf(letters[1])), letters[1]->nodeId());
    // Hide one letter from view altogether, then refresh a later one.
    SetShow(receive, kShowNormal);
    list.showList(receive);
    changestate(letters[2], 0, LETTER_HIDDEN);
    list.ShowLetter(letters[2]);
    changestate(letters[4], 0, LETTER_HIDDEN | LETTER_REPLIED);
    list.ShowLetter(letters[4]);
    EXPECT_EQ(Rows(), (std::vector<uint32_t>{letters[0]->nodeId(), letters[1]->nodeId(),
                                             letters[3]->nodeId(), letters[5]->nodeId()}));
    // A new letter from the receive worker gets a row that does not join the selection.
    baseDataStruct* fresh = AddLetter(receive, "new", Raw("n@x", "n"));
    list.ShowLetter(fresh);
    EXPECT_EQ(listView.ItemData(listView.RowCount() - 1) & kNodeIdMask, fresh->nodeId());
    EXPECT_FALSE(listView.IsRowSelected(listView.RowCount() - 1));
    // Letters of other boxes are none of this list's business.
    list.ShowLetter(AddLetter(trash, "t", Raw("t@x", "t")));
    EXPECT_EQ(listView.RowCount(), 5);
}

TEST_F(LetterListTest, ReceiveWorkerMayCallWhileTheUserWorks) {
    baseDataStruct* letters = Letters(receive);
    for (int i = 0; i < 20; ++i) AddLetter(receive, std::to_string(i), Raw("a@x", "s"));
    SetShow(receive, kShowNormal | kColumnSubject);
    list.showList(receive);
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            baseDataStruct* l = letters->firstSon();
            for (int k = 0; k < i % 20; ++k) l = l->nextBrother();
            const uint32_t before = getstate(l);
            changestate(l, LETTER_HIDDEN, (i / 20) % 2 ? LETTER_HIDDEN : 0);
            AdjustBoxCounters(receive, true, before, getstate(l));
            list.ShowLetter(l);
            list.BoxChanged(receive);
        }
    });
    for (int i = 0; i < 100; ++i) {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        SelectAll();
        list.OnCommand(i % 2 ? kCmdSetRead : kCmdSetUnread);
    }
    worker.join();
    long hidden = 0;
    for (baseDataStruct* l = letters->firstSon(); l; l = l->nextBrother())
        hidden += teststate(l, LETTER_HIDDEN);
    EXPECT_EQ(Count(receive, "HideItemSum"), hidden);
    EXPECT_EQ(static_cast<long>(Rows().size()), 20 - hidden);
}

TEST_F(LetterListTest, AccountSummaryAndInitialSelection) {
    AddLetter(receive, "a", Raw("a@x", "a"));
    list.showList(receive);
    list.ShowAccount(account);
    EXPECT_EQ(listView.ColumnCount(), 6);
    EXPECT_EQ(listView.ColumnTitle(5), "Delete");
    ASSERT_EQ(listView.RowCount(), 6);  // the six boxes of a new account
    const int row = [&] {
        for (int r = 0; r < listView.RowCount(); ++r)
            if (listView.ItemData(r) == receive->nodeId()) return r;
        return -1;
    }();
    ASSERT_NE(row, -1);
    EXPECT_EQ(listView.CellText(row, 1), "Receive");
    EXPECT_EQ(listView.CellText(row, 2), "1");
    EXPECT_EQ(listView.CellText(row, 4), "1");
    EXPECT_EQ(listView.CellText(0, 2), "0");  // never listed: "0"
    EXPECT_FALSE(list.askMenuState("HaveBox"));

    EXPECT_EQ(list.InitialUpdate(), nullptr);
    setinfo(sys().root(), kThisNode, "SelectItem", getinfo(receive, kThisNode, "pointId"));
    EXPECT_EQ(list.InitialUpdate(), receive);
    EXPECT_EQ(frame.selected, receive);
}

// Random commands over a few boxes: the counters always equal a recount, and the rows are
// exactly the visible letters.
TEST_F(LetterListTest, RandomCommandsKeepCountersAndRowsExact) {
    std::mt19937 rng(20261208);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<baseDataStruct*> boxes = {receive, trash, Box(kBoxPreview), Box(kBoxDrafts)};
    const uint32_t kBits[] = {STATE_VALID, LETTER_HIDDEN, LETTER_READ, LETTER_REPLIED};
    for (baseDataStruct* box : boxes) {
        for (int i = 0; i < 8; ++i) {
            uint32_t clear = 0, set = 0;
            for (uint32_t bit : kBits) (pick(2) ? set : clear) |= bit;
            AddLetter(box, "m" + std::to_string(pick(12)), Raw("a@x", "s"), clear, set);
        }
        SetShow(box, (pick(2) ? kShowNormal : 0) | (pick(2) ? kShowHidden : 0) |
                         (pick(2) ? kShowDeleted : 0) | kColumnSubject);
        list.showList(box);
    }
    const long kShowBits[] = {kShowNormal, kShowHidden, kShowDeleted, kShowRead, kShowUnread};
    const int commands[] = {kCmdSetRead,    kCmdSetUnread,   kCmdSetHidden,    kCmdSetUnhidden,
                            kCmdUndelete,   kCmdDelete,      kCmdCompressBox,  kCmdShowNormal,
                            kCmdShowHidden, kCmdShowDeleted, kCmdSetWriteBack, kCmdKeep};
    for (int step = 0; step < 2000; ++step) {
        SCOPED_TRACE(step);
        const int what = pick(20);
        if (what == 0) {
            baseDataStruct* box = boxes[pick(4)];
            long word = TextToLong(getinfo(box, kThisNode, "showColumn"));
            word ^= kShowBits[pick(5)];
            SetShow(box, word);
            list.showList(box);
        } else if (what == 1) {
            list.showList(boxes[pick(4)]);
        } else {
            for (int r = 0; r < listView.RowCount(); ++r) listView.SetRowSelected(r, pick(3) == 0);
            if (what < 5)
                list.boxCopyLetter(boxes[pick(4)], 0);
            else if (what == 5) {
                // A letter arriving as the receive code adds it.
                baseDataStruct* l =
                    AddLetter(list.shownBox(), "m" + std::to_string(pick(12)), Raw("b@x", "t"));
                AdjustBoxCounters(list.shownBox(), false, 0, getstate(l));
                list.ShowLetter(l);
            } else {
                list.OnCommand(commands[pick(12)]);
            }
        }
        for (baseDataStruct* box : boxes) {
            long valid = 0, deleted = 0, hidden = 0, unread = 0;
            for (baseDataStruct* l = Letters(box)->firstSon(); l; l = l->nextBrother()) {
                const uint32_t s = getstate(l);
                valid += (s & STATE_VALID) != 0;
                deleted += (s & STATE_VALID) == 0;
                hidden += (s & LETTER_HIDDEN) != 0;
                unread += (s & LETTER_READ) == 0;
            }
            ASSERT_EQ(Count(box, "ValidateItemSum"), valid);
            ASSERT_EQ(Count(box, "DeleteItemSum"), deleted);
            ASSERT_EQ(Count(box, "HideItemSum"), hidden);
            ASSERT_EQ(Count(box, "UnreadItemSum"), unread);
        }
        const long word = list.showWord();
        std::multiset<uint32_t> expected;
        for (baseDataStruct* l = list.container()->firstSon(); l; l = l->nextBrother()) {
            const uint32_t s = getstate(l);
            const bool hid = s & LETTER_HIDDEN, del = !(s & STATE_VALID), rd = s & LETTER_READ;
            if ((hid && (word & kShowHidden)) || (del && (word & kShowDeleted)) ||
                (rd && (word & kShowRead)) || (!rd && (word & kShowUnread)) ||
                (!del && !hid && (word & kShowNormal)))
                expected.insert(l->nodeId() | (rd ? 0 : kRowUnread) | (hid ? kRowHidden : 0) |
                                (del ? kRowDeleted : 0));
        }
        std::multiset<uint32_t> shown;
        for (int r = 0; r < listView.RowCount(); ++r) shown.insert(listView.ItemData(r));
        ASSERT_EQ(shown, expected);
    }
}

// Moving letters to the trash and compressing a box, with each write of the command failing
// in turn: the user is told once, both files stay sound, and every letter is still whole in
// the box it came from or the one it went to.
class LetterListFaultsTest : public test::ModelTest {
  protected:
    struct Desk {
        explicit Desk(CSysData& sys) : list(control, sys, viewer, frame, clock) {}
        MemoryListView view;
        CBaseListControl control{view};
        RecordingViewer viewer;
        RecordingFrame frame;
        ManualClock clock;
        CLetterList list;
    };

    void SetUp() override {
        test::ModelTest::SetUp();
        baseDataStruct* account = AddAccount(AddUser("ann"), "home");
        for (const char* id : {"a", "b", "c"}) {
            baseDataStruct* box = sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
            baseDataStruct* letter = AddSonText(mail().SysReadLinkTree(box, kLoadProperty),
                                                std::string("type =letter ,MailId =") + id);
            // One letter needs chains of several blocks.
            texts[id] =
                Raw(std::string(id) + "@x", id) + std::string(id[0] == 'b' ? 12000 : 10, 'x');
            setinfo(letter, kThisNode, "SDATA", texts[id]);
            mailInitProperty(letter, box, &mail());
        }
        stores.reset();
        std::filesystem::create_directory(dir.path() + "snapshot");
        for (const char* name : kFiles) {
            std::filesystem::copy_file(dir.path() + name, dir.path() + "snapshot/" + name);
        }
    }

    void Restore() {
        stores.reset();
        for (const char* name : kFiles) {
            std::filesystem::copy_file(dir.path() + "snapshot/" + name, dir.path() + name,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        Reopen();
        account = findinfo(UserNamed("ann"), "type", "Account");
    }
    baseDataStruct* Box(int kind) { return sys().DataGetSysPoint(account, kKindBox, kind); }

    // Deletes a and b in the receive box (moving them to the trash); with `compress`, then
    // compresses the receive box. `arm` runs just before the command under test.
    void Run(Desk& desk, bool compress, const std::function<void()>& arm) {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        baseDataStruct* receive = Box(kBoxReceive);
        setinfo(receive, kThisNode, "showColumn",
                LongToText(kShowNormal | kShowDeleted | kColumnSubject));
        desk.list.showList(receive);
        for (int r = 0; r < desk.view.RowCount(); ++r) {
            baseDataStruct* l = findid(mail().root(), desk.view.ItemData(r) & kNodeIdMask);
            desk.view.SetRowSelected(r, l && getinfo(l, kThisNode, "MailId") != "c");
        }
        if (!compress) arm();
        desk.list.OnCommand(kCmdDelete);
        if (compress) {
            arm();
            desk.list.OnCommand(kCmdCompressBox);
        }
    }

    void ExpectEveryLetterWhole(const std::string& trial) {
        SCOPED_TRACE(trial);
        for (const char* name : kFiles) {
            std::ostringstream report;
            EXPECT_EQ(CheckStore(dir.path() + name, report), InspectStatus::kSound) << report.str();
        }
        Reopen();
        account = findinfo(UserNamed("ann"), "type", "Account");
        std::map<std::string, int> whole;
        for (int kind : {kBoxReceive, kBoxTrash}) {
            baseDataStruct* letters = mail().SysReadLinkTree(Box(kind), kLoadProperty | kLoadSdata);
            for (baseDataStruct* l = letters->firstSon(); l; l = l->nextBrother()) {
                const std::string id = getinfo(l, kThisNode, "MailId");
                if (getinfo(l, kThisNode, "SDATA") == texts[id]) ++whole[id];
            }
        }
        for (const auto& [id, text] : texts) EXPECT_GE(whole[id], 1) << id << " is lost";
    }

    static constexpr const char* kFiles[] = {"Korvo.dat", "system.sdb"};
    baseDataStruct* account = nullptr;
    std::map<std::string, std::string> texts;
};

TEST_F(LetterListFaultsTest, FailedMovesAndCompressionLoseNoLetter) {
    for (bool compress : {false, true}) {
        long writes = 0;
        {
            test::FaultyStoreEnv env;
            Restore();
            Desk desk(sys());
            long before = 0;
            Run(desk, compress, [&] { before = env.writes(); });
            writes = env.writes() - before;
            stores.reset();
        }
        ASSERT_GT(writes, 3);
        for (long k = 1; k <= writes; ++k) {
            const std::string trial =
                std::string(compress ? "compress" : "move") + ", write " + std::to_string(k);
            test::MessageRecorder messages;
            {
                test::FaultyStoreEnv env;
                Restore();
                Desk desk(sys());
                Run(desk, compress, [&] { env.FailWrite(k, EIO, k % 2 == 1); });
                std::lock_guard<std::recursive_mutex> lock(ModelLock());
                EXPECT_TRUE(mail().failed() || sys().failed()) << trial;
                stores.reset();
            }
            EXPECT_EQ(messages.messages().size(), 1u) << trial;
            ExpectEveryLetterWhole(trial);
        }
    }
}

}  // namespace
}  // namespace korvo
