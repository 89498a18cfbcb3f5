#include "shell/tree_user.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <utility>

#include "content/letter_node.h"
#include "controls/memory_list_view.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

using test::Get;

// Answers every dialog from a script and records what was asked.
class ScriptedDialogs : public ShellDialogs {
  public:
    void Message(std::string_view text, std::string_view) override { messages.emplace_back(text); }
    bool AskPassword(std::string_view caption, std::string* typed) override {
        passwordAsked.emplace_back(caption);
        if (passwords.empty()) return false;
        *typed = passwords.front();
        passwords.pop_front();
        return true;
    }
    bool EditUser(UserForm& form, baseDataStruct* node) override {
        titles.push_back(form.Title());
        return Run(editUser, form, node);
    }
    bool EditAccount(AccountForm& form, baseDataStruct* node, std::string_view title) override {
        titles.emplace_back(title);
        return Run(editAccount, form, node);
    }
    bool EditBox(BoxForm& form, baseDataStruct* node) override {
        titles.emplace_back("box");
        return Run(editBox, form, node);
    }
    bool AskNewLock(std::string_view caption, std::string* password,
                    std::string* repeated) override {
        lockAsked.emplace_back(caption);
        if (newLocks.empty()) return false;
        std::tie(*password, *repeated) = newLocks.front();
        newLocks.pop_front();
        return true;
    }
    bool AskYesNo(std::string_view text, std::string_view caption) override {
        questions.emplace_back(text, caption);
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }

    // An empty edit function cancels the dialog.
    std::function<void(UserForm&)> editUser;
    std::function<void(AccountForm&)> editAccount;
    std::function<void(BoxForm&)> editBox;
    std::deque<std::string> passwords;
    std::deque<std::pair<std::string, std::string>> newLocks;
    std::deque<bool> answers;
    std::vector<std::string> messages, passwordAsked, lockAsked, titles;
    std::vector<std::pair<std::string, std::string>> questions;

  private:
    template <typename Form>
    bool Run(const std::function<void(Form&)>& edit, Form& form, baseDataStruct* node) {
        if (!edit) return false;
        edit(form);
        return form.Apply(node, *this);
    }
};

class RecordingHost : public TreeUserHost {
  public:
    void RegisterAutostart() override { ++registered; }
    void RequestCreateUser() override { ++createRequested; }
    void ClearAddressView() override { ++addressCleared; }
    int registered = 0, createRequested = 0, addressCleared = 0;
};

class NullViewer : public LetterViewer {
  public:
    void ShowMail(baseDataStruct*) override {}
    void ClearMail() override {}
};

// Forwards the list's requests to the tree, as the frame does.
class TreeFrame : public LetterFrame {
  public:
    void OpenLetter(baseDataStruct*, int) override {}
    void RefreshBoxLabel(baseDataStruct* box) override {
        if (tree) tree->RefreshNodeLabel(box);
    }
    void SelectTreeNode(baseDataStruct* node) override {
        if (tree) tree->SelectNode(node);
    }
    CTreeUser* tree = nullptr;
};

std::string Raw(const std::string& subject) {
    return "From: bob@x.org\r\nSubject: " + subject +
           "\r\nDate: Tue, 6 Jan 2004 09:05:33 +0800\r\n\r\nbody\r\n";
}

class TreeUserTest : public test::ModelTest {
  protected:
    // The tree and the list over the current stores, after the initial update.
    void Start() {
        desk.reset();
        desk = std::make_unique<Desk>(*stores, tree, dialogs, host);
        ASSERT_TRUE(desk->tree.InitialUpdate());
    }
    void AddAnnHome() {
        user = AddUser("ann");
        account = AddAccount(user, "home");
        receive = sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
    }
    CTreeUser& T() { return desk->tree; }
    baseDataStruct* ReceiveOfAnn() {
        baseDataStruct* home = findinfo(UserNamed("ann"), "caption", "home");
        return home ? sys().DataGetSysPoint(home, kKindBox, kBoxReceive) : nullptr;
    }
    TreeItem Item(const baseDataStruct* node) { return tree.FindItem(kNoItem, node->nodeId()); }
    void Select(const baseDataStruct* node) { T().OnSelectionChanged(Item(node)); }
    // Rows of letters or boxes; an empty list shows one row without node.
    int Rows() {
        int rows = 0;
        for (int r = 0; r < desk->listView.RowCount(); ++r)
            rows += (desk->listView.ItemData(r) & kNodeIdMask) != 0;
        return rows;
    }
    // Sets a lock the way the lock command leaves it.
    void SetLock(baseDataStruct* node, const char* state, const char* password = "pw") {
        setinfo(node, kThisNode, "lockPassword", password);
        setinfo(node, kThisNode, "LockState", state);
        T().RefreshNodeLabel(node);
    }
    baseDataStruct* AddLetter(baseDataStruct* box, const std::string& id, const std::string& raw,
                              uint32_t set = 0) {
        baseDataStruct* letters = mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
        baseDataStruct* letter = AddSonText(letters, "type =letter ,MailId =" + id);
        setinfo(letter, kThisNode, "SDATA", raw);
        mailInitProperty(letter, box, &mail());
        changestate(letter, 0, set);
        mail().DataSavePoint(letter);
        return letter;
    }
    // The ten view-state answers as a bit string, in the order of the table.
    std::string States() {
        std::string bits;
        for (const char* q :
             {"HaveSystem", "HaveUser", "HaveAccount", "HaveBox", "UserLocked", "AccountLocked",
              "BoxLocked", "BoxHaveLock", "AccountHaveLock", "UserHaveLock"}) {
            bits += T().askMenuState(q) ? '1' : '0';
        }
        return bits;
    }
    // Some point on `item` hitting `part`.
    ViewPoint PointOn(TreeItem item, unsigned part) {
        for (int y = 0; y < 160; y += 4)
            for (int x = 0; x < 200; x += 4) {
                const TreeHit hit = view.HitTest({x, y});
                if (hit.item == item && (hit.parts & part)) return {x, y};
            }
        ADD_FAILURE() << "item not visible";
        return {-1, -1};
    }

    struct Desk {
        Desk(CDataStores& stores, CBaseTreeControl& tree, ShellDialogs& dialogs, TreeUserHost& host)
            : list(control, stores.sys(), viewer, frame), tree(stores, tree, list, dialogs, host) {
            frame.tree = &this->tree;
        }
        MemoryListView listView;
        CBaseListControl control{listView};
        NullViewer viewer;
        TreeFrame frame;
        CLetterList list;
        CTreeUser tree;
    };

    ScriptedDialogs dialogs;
    RecordingHost host;
    std::unique_ptr<Desk> desk;
    baseDataStruct* user = nullptr;
    baseDataStruct* account = nullptr;
    baseDataStruct* receive = nullptr;
};

TEST_F(TreeUserTest, FirstStartRegistersOnceAndAsksForAUser) {
    Start();
    EXPECT_EQ(host.registered, 1);
    EXPECT_EQ(host.createRequested, 1);
    EXPECT_EQ(Get(sys().root(), "RUNSTART"), "RUNSTART");
    ASSERT_NE(view.FirstTopItem(), kNoItem);
    EXPECT_EQ(view.Label(view.FirstTopItem()), "Korvo");

    desk.reset();
    Reopen();
    Start();
    EXPECT_EQ(host.registered, 1);
    EXPECT_EQ(host.createRequested, 2);

    desk.reset();
    AddUser("ann");
    Reopen();
    Start();
    EXPECT_EQ(host.registered, 1);
    EXPECT_EQ(host.createRequested, 2);
}

TEST_F(TreeUserTest, TreeShowsUsersAccountsAndBoxesOnly) {
    AddAnnHome();
    Start();
    const TreeItem userItem = Item(user);
    ASSERT_NE(userItem, kNoItem);
    EXPECT_EQ(view.Parent(userItem), view.FirstTopItem());
    EXPECT_EQ(view.Parent(Item(account)), userItem);
    EXPECT_EQ(view.Parent(Item(receive)), Item(account));
    // Folders, books and templates have no item.
    EXPECT_EQ(Item(sys().DataGetSysPoint(user, kKindUATree)), kNoItem);
    EXPECT_EQ(Item(sys().DataGetSysPoint(user, kKindUBook)), kNoItem);
    EXPECT_EQ(host.createRequested, 0);
}

TEST_F(TreeUserTest, ViewStateFollowsKindAndLocks) {
    AddAnnHome();
    Start();
    EXPECT_EQ(States(), "0000000000");
    Select(sys().root());
    EXPECT_EQ(States(), "1000000000");
    Select(user);
    EXPECT_EQ(States(), "1100000000");
    Select(account);
    EXPECT_EQ(States(), "1110000000");
    Select(receive);
    EXPECT_EQ(States(), "1111000000");
    EXPECT_FALSE(T().askMenuState("HaveSelectMail"));

    // Open locks above the box count as locks; only the selected node's own lock is "locked".
    SetLock(user, "unLock");
    SetLock(account, "unLock");
    Select(receive);
    EXPECT_EQ(States(), "1111000011");
    SetLock(receive, "lock");
    Select(receive);
    EXPECT_EQ(States(), "1111001111");
    EXPECT_TRUE(T().IsCommandChecked(TreeCommand::kLockBox));
    EXPECT_FALSE(T().IsCommandChecked(TreeCommand::kLockAccount));
    SetLock(account, "lock");
    Select(account);
    EXPECT_EQ(States(), "1110010011");
    EXPECT_TRUE(T().IsCommandChecked(TreeCommand::kLockAccount));
    SetLock(user, "lock");
    Select(user);
    EXPECT_EQ(States(), "1100100001");
    EXPECT_TRUE(T().IsCommandChecked(TreeCommand::kLockUser));
}

TEST_F(TreeUserTest, MenuEnabling) {
    AddAnnHome();
    Start();
    using C = TreeCommand;
    auto enabled = [&](std::initializer_list<C> commands) {
        std::string bits;
        for (C c : commands) bits += T().IsCommandEnabled(c) ? '1' : '0';
        return bits;
    };
    const auto all = {C::kAddUser,       C::kSystemOption,  C::kUserOption,       C::kDeleteUser,
                      C::kLockUser,      C::kClearUserLock, C::kAddAccount,       C::kAccountOption,
                      C::kDeleteAccount, C::kLockAccount,   C::kClearAccountLock, C::kAddBox,
                      C::kBoxOption,     C::kDeleteBox,     C::kLockBox,          C::kClearBoxLock};
    EXPECT_EQ(enabled(all), "1100000000000000");
    Select(sys().root());
    EXPECT_EQ(enabled(all), "1100000000000000");
    Select(user);
    EXPECT_EQ(enabled(all), "1111101000000000");
    Select(account);
    EXPECT_EQ(enabled(all), "1111101111010000");
    // A standard box cannot be deleted.
    Select(receive);
    EXPECT_EQ(enabled(all), "1111101111011010");
    SetLock(receive, "unLock");
    SetLock(user, "unLock");
    Select(receive);
    EXPECT_EQ(enabled(all), "1111111111011011");

    // A box of the user's own can.
    Select(account);
    dialogs.editBox = [](BoxForm& f) { f.name = "mine"; };
    T().RunCommand(C::kAddBox);
    baseDataStruct* mine = findinfo(account, "caption", "mine");
    ASSERT_NE(mine, nullptr);
    Select(mine);
    EXPECT_TRUE(T().IsCommandEnabled(C::kDeleteBox));
}

TEST_F(TreeUserTest, NewLockNeedsTwoEqualNonEmptyPasswords) {
    AddAnnHome();
    Start();
    Select(receive);
    dialogs.newLocks = {{"a", "b"}, {"", ""}};
    T().RunCommand(TreeCommand::kLockBox);
    T().RunCommand(TreeCommand::kLockBox);
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{"Error password input!", "Error password input!"}));
    EXPECT_EQ(dialogs.lockAsked, (std::vector<std::string>{"Receive", "Receive"}));
    // Cancelled: no message.
    T().RunCommand(TreeCommand::kLockBox);
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(Get(receive, "LockState"), "-1");
    EXPECT_EQ(view.StateImage(Item(receive)), 3);

    dialogs.newLocks = {{"s3", "s3"}};
    T().RunCommand(TreeCommand::kLockBox);
    EXPECT_EQ(Get(receive, "LockState"), "lock");
    EXPECT_EQ(Get(receive, "lockPassword"), "s3");
    EXPECT_EQ(view.StateImage(Item(receive)), 1);
    EXPECT_TRUE(T().askMenuState("BoxLocked"));

    desk.reset();
    Reopen();
    Start();
    receive = ReceiveOfAnn();
    EXPECT_EQ(Get(receive, "LockState"), "lock");
    EXPECT_EQ(view.StateImage(Item(receive)), 1);
}

TEST_F(TreeUserTest, UnlockRelockAndClear) {
    AddAnnHome();
    Start();
    SetLock(account, "lock", "k");
    Select(account);
    dialogs.passwords = {"wrong", "k"};
    T().RunCommand(TreeCommand::kLockAccount);
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Error password input!"}));
    EXPECT_EQ(Get(account, "LockState"), "lock");
    T().RunCommand(TreeCommand::kLockAccount);
    EXPECT_EQ(Get(account, "LockState"), "unLock");
    EXPECT_EQ(view.StateImage(Item(account)), 2);
    EXPECT_EQ(dialogs.passwordAsked, (std::vector<std::string>{"home", "home"}));

    // An open lock closes at once.
    T().RunCommand(TreeCommand::kLockAccount);
    EXPECT_EQ(Get(account, "LockState"), "lock");
    EXPECT_EQ(dialogs.passwordAsked.size(), 2u);
    EXPECT_TRUE(dialogs.lockAsked.empty());

    // Clearing a closed lock takes the password and forgets it.
    dialogs.passwords = {"bad", "k"};
    T().RunCommand(TreeCommand::kClearAccountLock);
    EXPECT_EQ(Get(account, "LockState"), "lock");
    EXPECT_EQ(dialogs.messages.size(), 2u);
    T().RunCommand(TreeCommand::kClearAccountLock);
    EXPECT_EQ(Get(account, "LockState"), "-1");
    EXPECT_EQ(Get(account, "lockPassword"), "-1");
    EXPECT_EQ(view.StateImage(Item(account)), 3);
    EXPECT_FALSE(T().IsCommandEnabled(TreeCommand::kClearAccountLock));

    // Clearing an open lock asks nothing and keeps the password.
    SetLock(user, "unLock", "u");
    Select(user);
    T().RunCommand(TreeCommand::kClearUserLock);
    EXPECT_EQ(Get(user, "LockState"), "-1");
    EXPECT_EQ(Get(user, "lockPassword"), "u");
    EXPECT_EQ(dialogs.passwordAsked.size(), 4u);
}

TEST_F(TreeUserTest, LockingAUserMovesTheSelectionOutOfItsBranch) {
    AddAnnHome();
    AddLetter(receive, "a", Raw("one"));
    Start();
    Select(receive);
    EXPECT_EQ(Rows(), 1);
    dialogs.newLocks = {{"u", "u"}};
    T().RunCommand(TreeCommand::kLockUser);
    EXPECT_EQ(Get(user, "LockState"), "lock");
    EXPECT_EQ(T().selectedNode(), user);
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(view.IsExpanded(Item(user)));
    // Selecting a box inside the locked user selects the user.
    Select(receive);
    EXPECT_EQ(T().selectedNode(), user);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(TreeUserTest, LockedBoxShowsNoLettersUntilUnlocked) {
    AddAnnHome();
    AddLetter(receive, "a", Raw("one"));
    AddLetter(receive, "b", Raw("two"));
    Start();
    Select(receive);
    EXPECT_EQ(Rows(), 2);
    dialogs.newLocks = {{"p", "p"}};
    T().RunCommand(TreeCommand::kLockBox);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(desk->list.shownBox(), nullptr);
    Select(account);
    Select(receive);
    EXPECT_EQ(Rows(), 0);

    // A double click on the lock icon of the box while its account is selected: the click
    // makes the box current, and unlocking shows its letters.
    Select(account);
    tree.OnLeftButtonDown(PointOn(Item(receive), kTreeHitStateImage), 0);
    dialogs.passwords = {"p"};
    T().OnStateImageClick(Item(receive), true);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(desk->list.shownBox(), receive);
}

TEST_F(TreeUserTest, AccountShowsItsSummaryUnlessLocked) {
    AddAnnHome();
    Start();
    Select(account);
    EXPECT_EQ(Rows(), 6);
    const int cleared = host.addressCleared;
    SetLock(account, "lock");
    Select(account);
    EXPECT_EQ(Rows(), 0);
    EXPECT_GT(host.addressCleared, cleared);
    Select(user);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(TreeUserTest, GuardedCommandsStopWhileLocked) {
    AddAnnHome();
    Start();
    SetLock(user, "lock", "u");
    Select(user);
    dialogs.editUser = [](UserForm& f) { f.name = "bea"; };
    dialogs.editAccount = [](AccountForm&) {};
    dialogs.passwords = {"x"};
    T().RunCommand(TreeCommand::kUserOption);
    T().RunCommand(TreeCommand::kAddAccount);  // cancelled password question
    dialogs.answers = {true};
    T().RunCommand(TreeCommand::kDeleteUser);  // cancelled
    EXPECT_TRUE(dialogs.titles.empty());
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Error password input!"}));
    EXPECT_EQ(dialogs.passwordAsked.size(), 3u);
    EXPECT_EQ(Get(user, "caption"), "ann");

    // The right password lets the command go on.
    dialogs.passwords = {"u"};
    T().RunCommand(TreeCommand::kUserOption);
    EXPECT_EQ(Get(user, "caption"), "bea");
    EXPECT_EQ(view.Label(Item(user)), "bea");
    EXPECT_EQ(Get(user, "LockState"), "unLock");

    // Account and box commands guard their own objects.
    SetLock(account, "lock", "a");
    SetLock(receive, "lock", "b");
    Select(account);
    dialogs.passwords = {"no"};
    T().RunCommand(TreeCommand::kDeleteAccount);
    Select(receive);
    dialogs.editBox = [](BoxForm& f) { f.name = "renamed"; };
    dialogs.passwords = {"no"};
    T().RunCommand(TreeCommand::kBoxOption);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(Get(receive, "caption"), "Receive");
    EXPECT_EQ(dialogs.titles.size(), 1u);
}

TEST_F(TreeUserTest, BoxShowBitsRebuildTheListButNotTheRows) {
    AddAnnHome();
    baseDataStruct* plain = AddLetter(receive, "a", Raw("old"));
    AddLetter(receive, "b", Raw("hidden"), LETTER_HIDDEN);
    // The raw text changes behind the row data's back, and is not kept in memory.
    setinfo(plain, kThisNode, "SDATA", Raw("new"));
    mail().DataSavePoint(plain);
    freedata(plain, 8);
    Start();
    Select(receive);
    ASSERT_EQ(Rows(), 1);
    auto subjects = [&] {
        const auto block = ReadColumnBlock(getdata(plain, "STRDATA").value_or(""));
        return std::count(block.begin(), block.end(), "new") * 10 +
               std::count(block.begin(), block.end(), "old");
    };
    ASSERT_EQ(subjects(), 1);

    // Show hidden letters: one more row, same row data.
    dialogs.editBox = [](BoxForm& f) { f.columns[0] = true; };
    T().RunCommand(TreeCommand::kBoxOption);
    EXPECT_EQ(TextToLong(Get(receive, "showColumn")) & kShowHidden, kShowHidden);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(subjects(), 1);
    const int columns = desk->listView.ColumnCount();

    // Drop the size column: the rows come from the raw text again.
    dialogs.editBox = [](BoxForm& f) { f.columns[3] = false; };
    T().RunCommand(TreeCommand::kBoxOption);
    EXPECT_EQ(subjects(), 10);
    EXPECT_EQ(desk->listView.ColumnCount(), columns - 1);
    EXPECT_EQ(Rows(), 2);
    EXPECT_TRUE(Get(plain, "SDATA").empty());

    // The rebuilt row data is stored.
    desk.reset();
    Reopen();
    receive = ReceiveOfAnn();
    baseDataStruct* letters = mail().SysReadLinkTree(receive, kLoadProperty | kLoadStrdata);
    plain = findinfo(letters, "MailId", "a");
    EXPECT_EQ(subjects(), 10);
}

TEST_F(TreeUserTest, CreateUserAccountAndBox) {
    Start();
    dialogs.editUser = [](UserForm& f) { f.name = "cat"; };
    T().RunCommand(TreeCommand::kAddUser);
    baseDataStruct* cat = UserNamed("cat");
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(dialogs.titles.back(), "Add new user");
    EXPECT_EQ(view.Parent(Item(cat)), view.FirstTopItem());
    EXPECT_TRUE(view.IsExpanded(view.FirstTopItem()));
    EXPECT_NE(sys().DataGetSysPoint(cat, kKindUATree), nullptr);

    Select(cat);
    dialogs.editAccount = [](AccountForm& f) {
        f.Edit(AccountField::kEmail, "cat@mail.example.org");
        f.Set(AccountField::kCaption, "work");
    };
    T().RunCommand(TreeCommand::kAddAccount);
    EXPECT_EQ(dialogs.titles.back(), "cat : add new account");
    baseDataStruct* work = findinfo(cat, "caption", "work");
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(view.Parent(Item(work)), Item(cat));
    EXPECT_NE(sys().DataGetSysPoint(work, kKindBox, kBoxTrash), nullptr);

    // A box under a box, and one in the account's box folder.
    Select(work);
    dialogs.editBox = [](BoxForm& f) { f.name = "outer"; };
    T().RunCommand(TreeCommand::kAddBox);
    baseDataStruct* outer = findinfo(work, "caption", "outer");
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(outer->parent(), sys().DataGetSysPoint(work, kKindPBoxTree));
    Select(outer);
    dialogs.editBox = [](BoxForm& f) { f.name = "inner"; };
    T().RunCommand(TreeCommand::kAddBox);
    baseDataStruct* inner = findinfo(work, "caption", "inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->parent(), outer);
    EXPECT_EQ(view.Parent(Item(inner)), Item(outer));
    EXPECT_EQ(Get(inner, "subType"), "user");
    EXPECT_EQ(Get(inner, "style"), "user");

    // Cancelled dialogs add nothing.
    dialogs.editBox = nullptr;
    T().RunCommand(TreeCommand::kAddBox);
    EXPECT_EQ(inner->firstSon(), nullptr);

    desk.reset();
    Reopen();
    cat = UserNamed("cat");
    ASSERT_NE(cat, nullptr);
    inner = findinfo(cat, "caption", "inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(Get(inner->parent(), "caption"), "outer");
}

TEST_F(TreeUserTest, DeletesAskWithTheirTextsAndOnlyYesDeletes) {
    AddAnnHome();
    Start();
    Select(account);
    dialogs.editBox = [](BoxForm& f) { f.name = "mine"; };
    T().RunCommand(TreeCommand::kAddBox);
    baseDataStruct* mine = findinfo(account, "caption", "mine");
    ASSERT_NE(mine, nullptr);

    Select(mine);
    dialogs.answers = {false};
    T().RunCommand(TreeCommand::kDeleteBox);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].first,
              "\nwill delete this mail box and mail,\n\n                    are you sure?      \n");
    EXPECT_EQ(dialogs.questions[0].second, "WARN : mine");
    dialogs.answers = {true};
    T().RunCommand(TreeCommand::kDeleteBox);
    EXPECT_EQ(findinfo(account, "caption", "mine"), nullptr);
    EXPECT_EQ(T().selectedNode(), account);

    // A standard box is never deleted, even when asked to directly.
    Select(receive);
    dialogs.answers = {true};
    T().RunCommand(TreeCommand::kDeleteBox);
    T().OnPDelBox();
    EXPECT_EQ(dialogs.questions.size(), 2u);

    Select(account);
    dialogs.answers = {false};
    T().RunCommand(TreeCommand::kDeleteAccount);
    EXPECT_EQ(dialogs.questions.back().first,
              "\nwill delete this account , user's box,\n\n              are you sure?      \n");
    EXPECT_EQ(dialogs.questions.back().second, "WARN : home");

    desk.reset();
    Reopen();
    user = UserNamed("ann");
    account = findinfo(user, "caption", "home");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(findinfo(user, "caption", "mine"), nullptr);
    Start();
    Select(account);
    dialogs.answers = {true};
    T().RunCommand(TreeCommand::kDeleteAccount);
    EXPECT_EQ(findinfo(user, "caption", "home"), nullptr);
    EXPECT_EQ(T().selectedNode(), user);

    Select(user);
    dialogs.answers = {false, true};
    T().RunCommand(TreeCommand::kDeleteUser);
    EXPECT_EQ(dialogs.questions.back().first,
              "\nwill delete this user , user's account and box,\n\n                    are you "
              "sure?      \n");
    EXPECT_EQ(dialogs.questions.back().second, "WARN : ann");
    EXPECT_NE(UserNamed("ann"), nullptr);
    T().RunCommand(TreeCommand::kDeleteUser);
    EXPECT_EQ(UserNamed("ann"), nullptr);
    EXPECT_EQ(T().selectedNode(), sys().root());
    EXPECT_EQ(view.FirstChild(view.FirstTopItem()), kNoItem);

    desk.reset();
    Reopen();
    EXPECT_EQ(UserNamed("ann"), nullptr);
}

TEST_F(TreeUserTest, ExpandingALockedItemAsksItsPassword) {
    AddAnnHome();
    Start();
    SetLock(user, "lock", "u");
    const TreeItem userItem = Item(user);
    EXPECT_TRUE(T().OnItemExpanding(view.FirstTopItem(), false));
    EXPECT_TRUE(dialogs.passwordAsked.empty());

    dialogs.passwords = {"nope"};
    EXPECT_FALSE(T().OnItemExpanding(userItem, true));
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Error password input!"}));
    EXPECT_EQ(Get(user, "LockState"), "lock");

    dialogs.passwords = {"u"};
    EXPECT_TRUE(T().OnItemExpanding(userItem, true));
    EXPECT_EQ(Get(user, "LockState"), "unLock");
    EXPECT_EQ(T().selectedNode(), user);
    EXPECT_TRUE(teststate(user, STATE_EXPANDED));

    // Collapsing an open item asks nothing and is remembered.
    EXPECT_TRUE(T().OnItemExpanding(Item(account), false));
    EXPECT_EQ(dialogs.passwordAsked.size(), 2u);
    desk.reset();
    Reopen();
    EXPECT_FALSE(teststate(findinfo(UserNamed("ann"), "caption", "home"), STATE_EXPANDED));
    EXPECT_TRUE(teststate(UserNamed("ann"), STATE_EXPANDED));
}

TEST_F(TreeUserTest, LockIconClicks) {
    AddAnnHome();
    Start();
    const TreeItem item = Item(receive);
    // One click on a box without lock does nothing; a double click asks for a new lock.
    T().OnStateImageClick(item, false);
    EXPECT_TRUE(dialogs.lockAsked.empty());
    dialogs.newLocks = {{"p", "p"}};
    T().OnStateImageClick(item, true);
    EXPECT_EQ(Get(receive, "LockState"), "lock");
    // Locked: one click does nothing, a double click unlocks.
    T().OnStateImageClick(item, false);
    EXPECT_TRUE(dialogs.passwordAsked.empty());
    dialogs.passwords = {"p"};
    T().OnStateImageClick(item, true);
    EXPECT_EQ(Get(receive, "LockState"), "unLock");
    // Open: a double click does nothing, one click locks again.
    T().OnStateImageClick(item, true);
    EXPECT_EQ(Get(receive, "LockState"), "unLock");
    T().OnStateImageClick(item, false);
    EXPECT_EQ(Get(receive, "LockState"), "lock");
    EXPECT_EQ(dialogs.passwordAsked.size(), 1u);
    EXPECT_EQ(dialogs.lockAsked.size(), 1u);
}

TEST_F(TreeUserTest, RightClickChoosesTheSubMenu) {
    AddAnnHome();
    Start();
    EXPECT_EQ(T().OnRightClick(PointOn(view.FirstTopItem(), kTreeHitLabel), 0), TreeMenu::kSystem);
    EXPECT_EQ(T().OnRightClick(PointOn(Item(receive), kTreeHitLabel), 0), TreeMenu::kBox);
    EXPECT_EQ(T().selectedNode(), receive);
    EXPECT_EQ(T().OnRightClick(PointOn(Item(account), kTreeHitIcon), 0), TreeMenu::kNone);
    EXPECT_EQ(T().selectedNode(), account);
    EXPECT_EQ(TreeMenuName(T().OnRightClick(PointOn(Item(account), kTreeHitLabel), 0)), "Account");

    // Inside a locked user the user is chosen.
    SetLock(user, "lock");
    view.Expand(Item(user));
    view.Expand(Item(account));
    EXPECT_EQ(T().OnRightClick(PointOn(Item(receive), kTreeHitLabel), 0), TreeMenu::kUser);
    EXPECT_EQ(T().selectedNode(), user);
    EXPECT_EQ(TreeMenuName(TreeMenu::kNone), "");
}

TEST_F(TreeUserTest, SelectionIsRememberedAcrossStarts) {
    AddAnnHome();
    AddLetter(receive, "a", Raw("one"));
    Start();
    Select(receive);
    EXPECT_EQ(Get(sys().root(), "SelectItem"), Get(receive, "pointId"));
    TreeItem found = kNoItem;
    EXPECT_EQ(T().getTypeItem(kKindAccount, 0, &found), account);
    EXPECT_EQ(found, Item(account));
    EXPECT_EQ(T().getTypeItem(kKindBox), receive);
    EXPECT_EQ(T().getTypeItem(-1), receive);

    desk.reset();
    Reopen();
    Start();
    EXPECT_EQ(T().selectedNode(), nullptr);
    baseDataStruct* again = desk->list.InitialUpdate();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Get(again, "caption"), "Receive");
    EXPECT_EQ(T().selectedNode(), again);
    EXPECT_EQ(Rows(), 1);
}

}  // namespace
}  // namespace korvo
