// The user, box and folder forms, and the lock handling of the box form's tree.
#include "model/settings_forms.h"
#include "model/box_place.h"

#include "controls/data_tree_items.h"
#include "tests/model/model_fixture.h"

namespace korvo::test {
namespace {

TEST(UserFormTest, WritesTheUserKeysOnlyWhenValid) {
    ScriptedPrompter prompter;
    baseDataStruct node;
    UserForm form;
    EXPECT_EQ(form.Title(), "Add new user");
    EXPECT_EQ(form.saveFile, "system.sdb");
    EXPECT_EQ(kSaveFileFilter, "Dat Files (*.sdb)||");

    form.name = "  ";
    EXPECT_FALSE(form.Apply(&node, prompter));
    form.name = "Ann";
    form.lockPassword = "x";
    EXPECT_FALSE(form.Apply(&node, prompter));
    form.lockPassword = "";
    form.checkTimer = "65537";
    EXPECT_FALSE(form.Apply(&node, prompter));
    EXPECT_EQ(prompter.messages,
              (std::vector<std::string>{"Please input user 's name!", "Password input error!",
                                        std::string(kCheckTimerRangeMessage)}));
    EXPECT_EQ(node.propertyText(), "");

    form.checkTimer = " 30 ";
    form.check = true;
    form.saveFile = " ann.sdb ";
    form.lockPassword = form.lockConfirm = "pw";
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(node.propertyText(),
              " ,type =User ,pType =2 ,caption =Ann ,check =1 ,checkTimer =30 ,SaveFile =ann.sdb "
              ",RunTime =0 ,lockPassword =pw");
    EXPECT_EQ(Get(&node, "LockState"), "unLock");
    EXPECT_EQ(getstate(&node) & 0x003F0001, 0x00010001u);

    UserForm again(&node);
    EXPECT_EQ(again.Title(), "Ann modify");
    EXPECT_EQ(again.lockConfirm, "pw");
    again.saveFile = "";
    again.lockPassword = again.lockConfirm = "";
    ASSERT_TRUE(again.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "SaveFile"), "-1");
    EXPECT_EQ(Get(&node, "LockState"), "-1");
    EXPECT_EQ(Get(&node, "lockPassword"), "-1");
}

TEST(BoxFormTest, ColumnsComeFromTheTwelveCheckBoxesOnly) {
    ScriptedPrompter prompter;
    BoxForm form;
    // 46835 has four bits without a check box (0x1, 0x2, 0x20, 0x1000): they are dropped.
    EXPECT_EQ(form.ShowColumn(), 46835 & ~(0x1 | 0x2 | 0x20 | 0x1000));
    baseDataStruct node;
    EXPECT_FALSE(form.Apply(&node, prompter));
    form.name = "Keep";
    form.lockPassword = "a";
    EXPECT_FALSE(form.Apply(&node, prompter));
    EXPECT_EQ(prompter.messages,
              (std::vector<std::string>{"Please input user!", "Password input error!"}));
    EXPECT_EQ(node.propertyText(), "");

    form.lockConfirm = "a";
    form.columns[0] = true;    // 0x4
    form.columns[11] = false;  // 0x8000
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(node.propertyText(),
              " ,type =Box ,caption =Keep ,showColumn =9940 ,pType =10 ,MaxId "
              "=\\-1 ,lockPassword =a");
    EXPECT_EQ(getstate(&node) & 0x003F0003, 0x00100003u);
    EXPECT_EQ(Get(&node, "LockState"), "unLock");

    setinfo(&node, kThisNode, "showColumn", "65535");
    BoxForm all(&node);
    EXPECT_EQ(all.name, "Keep");
    EXPECT_EQ(all.ShowColumn(), 0x4 | 0x8 | 0x10 | 0x40 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800 |
                                    0x2000 | 0x4000 | 0x8000);
}

TEST(FolderFormTest, WritesTheFolderKeys) {
    ScriptedPrompter prompter;
    baseDataStruct node;
    FolderForm form;
    EXPECT_EQ(form.Title(), "Add new Folder");
    EXPECT_FALSE(form.Apply(&node, prompter));
    form.name = "Friends";
    form.lockConfirm = "z";
    EXPECT_FALSE(form.Apply(&node, prompter));
    EXPECT_EQ(prompter.messages,
              (std::vector<std::string>{"Please input user 's name!", "Password input error!"}));
    form.lockConfirm = "";
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(node.propertyText(),
              " ,type =BookFolder ,pType =7 ,caption =Friends ,lockPassword =\\-1");
    EXPECT_EQ(FolderForm(&node).Title(), "Friends modify");
}

class BoxLockTreeTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        user = AddUser("Ann");
        account = AddAccount(user, "Work");
        // Locked in the main tree, and in the form's own key.
        setinfo(account, kThisNode, "lockPassword", "pw");
        setinfo(account, kThisNode, "LockState", "lock");
        setinfo(account, kThisNode, "lock", "lock");
        view.DeleteAllItems();
        sys().SysShowSysTree(user, &tree, kNoItem, CATEGORY_USER | CATEGORY_ACCOUNT | CATEGORY_BOX,
                             true);
        accountItem = tree.FindItem(kNoItem, account->nodeId());
        boxItem =
            tree.FindItem(kNoItem, sys().DataGetSysPoint(account, kKindBox, kBoxTrash)->nodeId());
        ASSERT_EQ(view.StateImage(accountItem), kLockedStateImage);
    }

    baseDataStruct* user = nullptr;
    baseDataStruct* account = nullptr;
    TreeItem accountItem = kNoItem;
    TreeItem boxItem = kNoItem;
    CBoxLockTree lockTree{stores->sys(), tree, prompter};
};

TEST_F(BoxLockTreeTest, ExpandingALockedItemAsksForItsPassword) {
    prompter.answers = {"PW", "pw"};
    EXPECT_FALSE(lockTree.OnItemExpanding(accountItem));
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"Error password input!"});
    EXPECT_EQ(Get(account, "lock"), "lock");
    EXPECT_EQ(view.StateImage(accountItem), kLockedStateImage);

    EXPECT_TRUE(lockTree.OnItemExpanding(accountItem));
    EXPECT_EQ(prompter.asked, (std::vector<std::string>{"Work", "Work"}));
    EXPECT_EQ(Get(account, "lock"), "unLock");
    EXPECT_EQ(view.StateImage(accountItem), kUnlockedStateImage);
    // The main tree's lock is another matter.
    EXPECT_EQ(Get(account, "LockState"), "lock");

    // Open items and items without lock expand without a question; a cancelled question
    // keeps the item closed.
    EXPECT_TRUE(lockTree.OnItemExpanding(accountItem));
    EXPECT_TRUE(lockTree.OnItemExpanding(boxItem));
    view.SetStateImage(accountItem, kLockedStateImage);
    EXPECT_FALSE(lockTree.OnItemExpanding(accountItem));
    EXPECT_EQ(prompter.asked.size(), 3u);
    EXPECT_EQ(prompter.messages.size(), 1u);
}

TEST_F(BoxLockTreeTest, DoubleClickTogglesTheOutermostLockedItem) {
    lockTree.OnItemDoubleClick(boxItem);
    EXPECT_TRUE(prompter.asked.empty());  // switched off

    lockTree.EnableLockHandling(true);
    prompter.answers = {"pw"};
    lockTree.OnItemDoubleClick(boxItem);
    EXPECT_EQ(view.Caret(), accountItem);
    EXPECT_EQ(Get(account, "lock"), "unLock");
    EXPECT_EQ(view.StateImage(accountItem), kUnlockedStateImage);
    EXPECT_TRUE(view.IsExpanded(accountItem));

    lockTree.OnItemDoubleClick(accountItem);
    EXPECT_EQ(Get(account, "lock"), "lock");
    EXPECT_EQ(view.StateImage(accountItem), kLockedStateImage);
    EXPECT_FALSE(view.IsExpanded(accountItem));
    EXPECT_EQ(prompter.asked.size(), 1u);

    prompter.answers = {"nope"};
    lockTree.OnItemDoubleClick(accountItem);
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"Error password input!"});
    EXPECT_EQ(Get(account, "lock"), "lock");
    EXPECT_FALSE(view.IsExpanded(accountItem));

    // Without the key nothing happens.
    const TreeItem userItem = tree.FindItem(kNoItem, user->nodeId());
    view.Collapse(userItem);
    lockTree.OnItemDoubleClick(userItem);
    EXPECT_EQ(prompter.asked.size(), 2u);
    EXPECT_FALSE(view.IsExpanded(userItem));
    EXPECT_EQ(Get(user, "lock"), "-1");
}

// The box dialog's place tree: which node a new box goes under, for any user, and only past
// the items locked in that tree once their passwords are given.
TEST_F(BoxLockTreeTest, ANewBoxGoesIntoTheChosenBoxOrAccountOfAnyUser) {
    baseDataStruct* bob = AddUser("Bob");
    baseDataStruct* bobAccount = AddAccount(bob, "Home");
    BoxPlaceTree places(sys(), tree, prompter);
    EXPECT_EQ(places.Users(), (std::vector<baseDataStruct*>{user, bob}));
    EXPECT_EQ(places.UserOf(bobAccount), bob);

    baseDataStruct* bobTrash = sys().DataGetSysPoint(bobAccount, kKindBox, kBoxTrash);
    const struct {
        baseDataStruct* chosen;
        baseDataStruct* place;
    } cases[] = {
        {bobAccount, sys().DataGetSysPoint(bobAccount, kKindPBoxTree)},
        {bobTrash, bobTrash},
        {bob, nullptr},  // a user is no place: the dialog says so
    };
    for (const auto& c : cases) {
        places.ShowUser(bob, c.chosen);
        EXPECT_EQ(places.ChosenPlace(), c.place) << getinfo(c.chosen, kThisNode, "caption");
    }
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.asked.empty());
    // Only the chosen user's items are shown.
    EXPECT_EQ(tree.FindItem(kNoItem, account->nodeId()), kNoItem);

    // Ann's account is locked: a box proposed inside it leaves the selection on the account,
    // which is no place without the password.
    baseDataStruct* trash = sys().DataGetSysPoint(account, kKindBox, kBoxTrash);
    baseDataStruct* boxes = sys().DataGetSysPoint(account, kKindPBoxTree);
    places.ShowUser(user, trash);
    prompter.answers = {"wrong"};
    EXPECT_EQ(places.ChosenPlace(), nullptr);
    EXPECT_EQ(prompter.messages.back(), "Error password input!");
    prompter.answers = {"pw"};
    EXPECT_EQ(places.ChosenPlace(), boxes);
    EXPECT_EQ(Get(account, "lock"), "unLock");
    EXPECT_EQ(Get(account, "LockState"), "lock");
    // Once open in this tree nothing below it is asked again.
    tree.SelectNodeItem(tree.FindItem(kNoItem, trash->nodeId()));
    EXPECT_EQ(places.ChosenPlace(), trash);
    EXPECT_EQ(prompter.asked.size(), 2u);
}

}  // namespace
}  // namespace korvo::test

namespace korvo::test {
namespace {

TEST(UserFormTest, FallbackCharsetIsCheckedStoredAndApplied) {
    ScriptedPrompter prompter;
    baseDataStruct node;
    UserForm form;
    form.name = "Ann";
    form.fallbackCharset = "x-none";
    EXPECT_FALSE(form.Apply(&node, prompter));
    EXPECT_EQ(prompter.messages, std::vector<std::string>{std::string(kUnknownCharsetMessage)});
    form.fallbackCharset = " KOI8-R ";
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(UndeclaredToUtf8("\xf0\xd2"), "Пр");
    EXPECT_EQ(UserForm(&node).fallbackCharset, "KOI8-R");
    ApplyUserCharset(nullptr);
    EXPECT_EQ(FallbackCharset(), "windows-1252");
}

}  // namespace
}  // namespace korvo::test
