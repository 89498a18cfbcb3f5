#include "shell/address_book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/memory_list_view.h"
#include "platform/private_file.h"
#include "shell/address_list.h"
#include "shell/address_picker.h"
#include "shell/address_rows.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

using test::Get;

// ---- receiver texts and rows ----------------------------------------------------------------

std::vector<std::pair<std::string, std::string>> Persons(const baseDataStruct* list) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const baseDataStruct* p = list->firstSon(); p; p = p->nextBrother())
        out.emplace_back(Get(p, "name"), Get(p, "email"));
    return out;
}

TEST(ReceiverText, ParsesAndWritesReceiverLines) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::string text;
        Pairs persons;
        std::string written;
    } cases[] = {
        {"", {}, ""},
        {"Ann<ann@x.org>,Bob <bob@y.org>",
         {{"Ann", "ann@x.org"}, {"Bob", "bob@y.org"}},
         "Ann<ann@x.org>,Bob<bob@y.org>"},
        {"\"Doe, John\" <jd@x.org>, ann@x.org",
         {{"Doe, John", "jd@x.org"}, {"ann", "ann@x.org"}},
         "\"Doe, John\"<jd@x.org>,ann<ann@x.org>"},
        {"a@x.org\r\nb@y.org,,@z",
         {{"a", "a@x.org"}, {"b", "b@y.org"}, {"@z", "@z"}},
         "a<a@x.org>,b<b@y.org>,@z<@z>"},
        {"\"Q\"uote\" <q@x.org>", {{"Q uote", "q@x.org"}}, "Q uote<q@x.org>"},
    };
    for (const auto& c : cases) {
        auto list = CreateRootNode();
        ParseReceivers(c.text, list.get());
        EXPECT_EQ(Persons(list.get()), c.persons) << c.text;
        EXPECT_EQ(ReceiverText(list.get()), c.written) << c.text;
        auto again = CreateRootNode();
        ParseReceivers(ReceiverText(list.get()), again.get());
        EXPECT_EQ(Persons(again.get()), c.persons) << "read back: " << c.text;
    }
}

TEST(PersonRows, NamesStayInTheirColumnAndLoseTheirQuotes) {
    baseDataStruct person;
    setinfo(&person, kThisNode, "PROPERTY", "type =PersonInfo");
    setinfo(&person, kThisNode, "name", " \"Doe, John\" ");
    setinfo(&person, kThisNode, "email", "jd@x.org");
    MemoryListView view;
    CBaseListControl list(view);
    list.Reset(kBookPersonColumns);
    list.InsertRow(BookPersonRow(&person), 1);
    list.InsertRow(PickPersonRow(&person), 2);
    list.InsertRow(SidePersonRow(&person), 3);
    EXPECT_EQ(view.ColumnTitle(2), "姓名");
    EXPECT_EQ(view.CellText(0, 0) + "|" + view.CellText(0, 1) + "|" + view.CellText(0, 2),
              "S|jd@x.org|Doe, John");
    EXPECT_EQ(view.CellText(1, 0) + "|" + view.CellText(1, 1), "jd@x.org|Doe, John");
    EXPECT_EQ(view.CellText(2, 1), "\"Doe, John\"<jd@x.org>");
    EXPECT_EQ(Get(&person, "name"), " \"Doe, John\" ") << "the stored name is unchanged";
}

// A library stand-in: answers with `fakeResult` and counts the texts it frees.
int fakeResult = 0;
int fakeFreed = 0;

wchar_t* FakeText(const wchar_t* text) {
    const size_t n = std::wcslen(text);
    auto* block = new wchar_t[n + 2];
    block[0] = static_cast<wchar_t>(n);  // the length prefix
    std::wmemcpy(block + 1, text, n + 1);
    return block + 1;
}

int32_t FakeDlgModel(int32_t, int32_t, baseDataStruct*, wchar_t** property, wchar_t** sdata) {
    if (fakeResult != -1) {
        *property = FakeText(L"type =PersonInfo ,name =\u00C5sa");
        *sdata = FakeText(L"note \U0001F600");
    }
    return fakeResult;
}

void FakeFree(wchar_t* text) {
    if (!text) return;
    ++fakeFreed;
    delete[](text - 1);
}

TEST(PersonEditorCall, TextsAreWrittenOnOkAndFreedOnEveryPath) {
    for (int r : {1, 2, 0, -1}) {
        fakeResult = r;
        fakeFreed = 0;
        baseDataStruct person;
        setinfo(&person, kThisNode, "PROPERTY", "type =PersonInfo ,name =Old");
        LibraryPersonEditor editor(&FakeDlgModel, &FakeFree);
        EXPECT_EQ(editor.EditPerson(true, &person), r);
        EXPECT_EQ(fakeFreed, r == -1 ? 0 : 2) << r;
        EXPECT_EQ(Get(&person, "name"), r == 1 ? "\xC3\x85sa" : "Old") << r;
        EXPECT_EQ(Get(&person, "SDATA"), r == 1 ? "note \xF0\x9F\x98\x80" : "") << r;
    }
}

// ---- the views over a real store ------------------------------------------------------------

class ScriptedAddressDialogs : public AddressDialogs {
  public:
    bool EditFolder(FolderForm& form, baseDataStruct* node, std::string_view title) override {
        titles.emplace_back(title);
        if (names.empty()) return false;
        form.name = names.front();
        names.pop_front();
        test::ScriptedPrompter prompter;
        return form.Apply(node, prompter);
    }
    bool AskWarning(std::string_view text, std::string_view caption) override {
        questions.emplace_back(std::string(caption) + ":" + std::string(text));
        return yes;
    }
    std::string ChooseVCardFile(bool write, const std::string& suggested) override {
        offered.push_back(std::string(write ? "write " : "read ") + suggested);
        return vcard;
    }
    void Report(std::string_view text) override { reports.emplace_back(text); }
    std::string vcard;  // the file chosen; empty: cancelled
    std::vector<std::string> offered, reports;
    std::deque<std::string> names;
    std::vector<std::string> titles, questions;
    bool yes = true;
};

// Answers the person editor with property texts; an empty answer is Cancel.
class ScriptedEditor : public PersonEditor {
  public:
    int EditPerson(bool existing, baseDataStruct* person) override {
        calls.push_back(existing);
        if (answers.empty() || answers.front().empty()) {
            if (!answers.empty()) answers.pop_front();
            return 2;
        }
        setinfo(person, kThisNode, "PROPERTY", answers.front());
        answers.pop_front();
        return 1;
    }
    std::deque<std::string> answers;
    std::vector<bool> calls;
};

class RecordingWindows : public SecondaryWindows {
  public:
    void OpenComposer(const ComposerRequest& request) override { requests.push_back(request); }
    void OpenAddressBook(const std::string&) override {}
    void OpenTemplates(const std::string&) override {}
    void OpenFilterManager(baseDataStruct*) override {}
    std::vector<ComposerRequest> requests;
};

class RecordingPanel : public AddressPanelFace, public PickerFace {
  public:
    void SetCaption(std::string_view text) override { caption = text; }
    void EnableSwitch(bool on) override { switchOn = on; }
    void ShowPersons(bool on) override { persons = on; }
    std::string caption;
    bool switchOn = false;
    bool persons = false;
};

class AddressViewTest : public test::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        user = AddUser("ann");
        account = AddAccount(user, "work");
    }

    std::vector<std::string> Column(const MemoryListView& v, int column) {
        std::vector<std::string> out;
        for (int row = 0; row < v.RowCount(); ++row) out.push_back(v.CellText(row, column));
        return out;
    }

    void Select(CBaseTreeControl& t, baseDataStruct* node) {
        const TreeItem item = t.FindItem(kNoItem, node->nodeId());
        ASSERT_NE(item, kNoItem) << Get(node, "caption");
        t.SelectNodeItem(item);
    }

    baseDataStruct* Private() { return findinfo(account, "SysMark", "NowBookFolder"); }

    baseDataStruct* user = nullptr;
    baseDataStruct* account = nullptr;
    MemoryListView personView;
    CBaseListControl persons{personView};
    ScriptedAddressDialogs dialogs;
    ScriptedEditor editor;
    RecordingWindows windows;
    RecordingPanel panel;
};

TEST_F(AddressViewTest, FoldersTeamsAndPersonsAreThereAfterARestart) {
    CViewBookAddress book(sys(), tree, persons, dialogs, editor);
    ASSERT_TRUE(book.Open(account));
    Select(tree, Private());
    book.OnSelectTree(tree.currentItem());
    dialogs.names = {"Friends", "Climbers"};
    book.RunCommand(BookCommand::kAddFolder);
    baseDataStruct* friends = findinfo(Private(), "caption", "Friends");
    ASSERT_NE(friends, nullptr);
    Select(tree, friends);
    book.OnSelectTree(tree.currentItem());
    book.RunCommand(BookCommand::kAddTeam);
    EXPECT_EQ(dialogs.titles, (std::vector<std::string>{"Add new Folder", "Add new Team"}));
    editor.answers = {"type =PersonInfo ,pType =100 ,name =Doe, John ,email =jd@x.org", ""};
    book.RunCommand(BookCommand::kAddPerson);
    book.RunCommand(BookCommand::kAddPerson);  // cancelled
    EXPECT_EQ(Column(personView, 2), (std::vector<std::string>{"Doe, John"}));

    // Renaming the folder keeps its persons.
    dialogs.names = {"Old friends"};
    const std::string link = Get(friends, "LinkId");
    book.RunCommand(BookCommand::kModifyItem);
    EXPECT_EQ(Get(friends, "LinkId"), link);
    EXPECT_EQ(view.Label(tree.FindItem(kNoItem, friends->nodeId())), "Old friends");

    Reopen();
    user = UserNamed("ann");
    account = findinfo(user, "caption", "work");
    CViewBookAddress again(sys(), tree, persons, dialogs, editor);
    ASSERT_TRUE(again.Open(account));
    ASSERT_NE(again.chosen(), nullptr) << "the remembered folder";
    EXPECT_EQ(Get(again.chosen(), "caption"), "Old friends");
    EXPECT_EQ(Column(personView, 1), (std::vector<std::string>{"jd@x.org"}));
    EXPECT_EQ(Get(findinfo(again.chosen(), "caption", "Climbers"), "type"), "BookTeam");
}

TEST_F(AddressViewTest, DeletingAsksFirstAndSparesSystemFolders) {
    CViewBookAddress book(sys(), tree, persons, dialogs, editor);
    ASSERT_TRUE(book.Open(account));
    Select(tree, Private());
    book.OnSelectTree(tree.currentItem());
    EXPECT_FALSE(book.IsCommandEnabled(BookCommand::kDeleteItem));
    editor.answers = {"type =PersonInfo ,name =A ,email =a@x", "type =PersonInfo ,name =B",
                      "type =PersonInfo ,name =C"};
    for (int i = 0; i < 3; ++i) book.RunCommand(BookCommand::kAddPerson);
    ASSERT_EQ(personView.RowCount(), 3);
    personView.SetRowSelected(0, true);
    personView.SetRowSelected(2, true);
    dialogs.yes = false;
    book.RunCommand(BookCommand::kDeletePerson);
    EXPECT_EQ(personView.RowCount(), 3);
    dialogs.yes = true;
    book.RunCommand(BookCommand::kDeletePerson);
    EXPECT_EQ(Column(personView, 2), (std::vector<std::string>{"B"}));
    EXPECT_EQ(dialogs.questions,
              std::vector<std::string>(2, "WARN:" + std::string(kDeletePersonsQuestion)));

    dialogs.names = {"Temp"};
    book.RunCommand(BookCommand::kAddFolder);
    baseDataStruct* temp = findinfo(Private(), "caption", "Temp");
    ASSERT_NE(temp, nullptr);
    const uint32_t tempId = temp->nodeId();
    Select(tree, temp);
    book.OnSelectTree(tree.currentItem());
    book.RunCommand(BookCommand::kDeleteItem);
    EXPECT_EQ(dialogs.questions.back(), "WARN :Temp:" + std::string(kDeleteFolderQuestion));
    EXPECT_EQ(findinfo(Private(), "caption", "Temp"), nullptr);
    EXPECT_EQ(tree.FindItem(kNoItem, tempId), kNoItem);
}

TEST_F(AddressViewTest, SidePanelListsTheAccountsFolderAndWritesToAPerson) {
    MemoryTreeView panelTree;
    CBaseTreeControl panelControl(panelTree);
    CViewAddressList side(sys(), panelControl, persons, panel, windows);
    side.OnCurrentNodeChanged(account);
    EXPECT_EQ(panel.caption, "Private");
    EXPECT_EQ(Column(personView, 1), (std::vector<std::string>{"Null email for show!"}));
    EXPECT_FALSE(panel.switchOn);

    baseDataStruct fresh;
    setinfo(&fresh, kThisNode, "PROPERTY",
            "type =PersonInfo ,name =Ann ,email =ann@x.org ,ReturnEmail =");
    AddPersonTo(mail(), Private(), fresh);
    setinfo(&fresh, kThisNode, "PROPERTY",
            "type =PersonInfo ,name =Bob ,email =bob@x.org ,ReturnEmail =reply@x.org");
    AddPersonTo(mail(), Private(), fresh);
    side.OnCurrentNodeChanged(account);  // the same account: nothing changes
    EXPECT_EQ(personView.RowCount(), 1);
    side.OnCurrentNodeChanged(user);
    side.OnCurrentNodeChanged(account);
    EXPECT_TRUE(panel.switchOn);
    EXPECT_TRUE(panel.persons);
    ASSERT_EQ(Column(personView, 1),
              (std::vector<std::string>{"\"Bob\"<bob@x.org>", "\"Ann\"<ann@x.org>"}));
    side.OnPersonDoubleClick(0);
    side.OnPersonDoubleClick(1);
    ASSERT_EQ(windows.requests.size(), 2u);
    EXPECT_EQ(windows.requests[0].receiver, "reply@x.org");
    EXPECT_EQ(windows.requests[1].receiver, "ann@x.org");
    EXPECT_EQ(windows.requests[1].mode, 4);
    EXPECT_EQ(windows.requests[1].title, "Write Mail");
    EXPECT_EQ(windows.requests[1].node, account);
}

TEST_F(AddressViewTest, PickerCopiesPersonsIntoReceiverLines) {
    baseDataStruct fresh;
    for (const char* text : {"type =PersonInfo ,name =Ann ,email =ann@x.org",
                             "type =PersonInfo ,name =Doe, John ,email =jd@x.org"}) {
        setinfo(&fresh, kThisNode, "PROPERTY", text);
        AddPersonTo(mail(), Private(), fresh);
    }
    MemoryListView toView, ccView, hiddenView;
    CBaseListControl to(toView), cc(ccView), hidden(hiddenView);
    CAddressPicker picker(sys(), tree, persons, {&to, &cc, &hidden}, panel, editor);
    picker.Open(account, {"", "old@x.org", ""});
    EXPECT_EQ(toView.ColumnTitle(0), "Receiver");
    EXPECT_EQ(Column(ccView, 0), (std::vector<std::string>{"old@x.org"}));
    ASSERT_EQ(Column(personView, 0), (std::vector<std::string>{"jd@x.org", "ann@x.org"}));
    personView.SetRowSelected(1, true);
    picker.OnPersonDoubleClick();  // Ann into To
    personView.SetRowSelected(1, false);
    personView.SetRowSelected(0, true);
    picker.OnPersonDoubleClick();  // John into CC
    picker.CopySelected(kHiddenList);
    EXPECT_EQ(picker.Lines().to, "Ann<ann@x.org>");
    EXPECT_EQ(picker.Lines().cc, "old<old@x.org>,\"Doe, John\"<jd@x.org>");
    ccView.SetRowSelected(0, true);
    picker.OnReceiverListClick(kCcList);
    picker.RemoveSelected();
    EXPECT_EQ(picker.Lines().cc, "\"Doe, John\"<jd@x.org>");
    EXPECT_EQ(picker.Lines().hidden, "\"Doe, John\"<jd@x.org>");
}

TEST_F(AddressViewTest, TenThousandPersonsAreListed) {
    baseDataStruct* holder = PersonsOf(mail(), Private());
    for (int i = 0; i < 10000; ++i)
        addson(holder, "type =PersonInfo ,name =P%d ,email =p%d@x.org", i, i);
    persons.Reset(kSidePersonColumns);
    EXPECT_EQ(ListPersons(persons, holder, SidePersonRow), 10000);
    EXPECT_EQ(personView.CellText(0, 1), "\"P9999\"<p9999@x.org>");
}

TEST_F(AddressViewTest, VCardsGoInAndOutOfTheChosenFolder) {
    CViewBookAddress book(sys(), tree, persons, dialogs, editor);
    ASSERT_TRUE(book.Open(account));
    EXPECT_FALSE(book.IsCommandEnabled(BookCommand::kImportVCard)) << "nothing chosen yet";
    Select(tree, Private());
    book.OnSelectTree(tree.currentItem());
    ASSERT_TRUE(book.IsCommandEnabled(BookCommand::kImportVCard));
    WritePrivateFile(dir.path(), "in.vcf",
                     "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nEMAIL:ann@x.org\r\n"
                     "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bo\r\nEND:VCARD\r\n");
    book.RunCommand(BookCommand::kImportVCard);  // cancelled: nothing happens
    dialogs.vcard = dir.path() + "in.vcf";
    book.RunCommand(BookCommand::kImportVCard);
    std::vector<std::string> names = Column(personView, 2);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Ann Lee", "Bo"}));
    dialogs.vcard = dir.path() + "out.vcf";
    book.RunCommand(BookCommand::kExportVCard);
    EXPECT_EQ(dialogs.reports,
              (std::vector<std::string>{"2 persons imported.", "2 persons exported."}));
    const std::string written = test::ReadFile(dir.path() + "out.vcf");
    EXPECT_NE(written.find("FN:Ann Lee\r\n"), std::string::npos) << written;
    EXPECT_EQ(dialogs.offered.back(), "write " + Get(Private(), "caption") + ".vcf");
}

}  // namespace
}  // namespace korvo
