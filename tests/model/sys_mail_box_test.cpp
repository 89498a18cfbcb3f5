// The mail store following the current user, and the links between containers and their
// contents.
#include "model/sys_mail_box.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "store/diag_log.h"
#include "tests/model/model_fixture.h"
#include "tools/store_audit.h"

namespace korvo::test {
namespace {

using ModelMailBoxTest = ModelTest;

TEST_F(ModelMailBoxTest, MissingUserFileIsCreatedWithOnlyItsRoot) {
    baseDataStruct* user =
        addson(sys().root(), "%s", "type =User ,caption =Ann ,SaveFile =mine.sdb");
    sys().DataSaveList(user, 1);
    ASSERT_FALSE(std::filesystem::exists(dir.path() + "mine.sdb"));
    ASSERT_TRUE(mail().SysOpenUserFile(user));
    EXPECT_EQ(mail().userFilePath(), dir.path() + "mine.sdb");
    EXPECT_EQ(Get(mail().root(), "pointId"), "10");
    EXPECT_FALSE(mail().root()->firstSon());
    // The file is locked while the mail store holds it.
    CBaseDataManage file;
    EXPECT_FALSE(file.DataOpen("mine.sdb"));
    ASSERT_TRUE(mail().DataClose());
    ASSERT_TRUE(file.DataOpen("mine.sdb"));
    EXPECT_FALSE(file.root()->firstSon());

    // Without user or without file there is no mail store.
    EXPECT_FALSE(mail().SysOpenUserFile(sys().root()));
    setinfo(user, kThisNode, "SaveFile", "-1");
    EXPECT_FALSE(mail().SysOpenUserFile(user));
    EXPECT_EQ(mail().SysCreateLinkItem(user, "Box", "10"), 0);
    EXPECT_EQ(mail().SysGetLinkItem(user), nullptr);
}

TEST_F(ModelMailBoxTest, LinkIdsPointBothWays) {
    baseDataStruct* account = AddAccount(AddUser("Ann"), "Work");
    baseDataStruct* boxes = sys().DataGetSysPoint(account, kKindPBoxTree);
    int count = 0;
    for (baseDataStruct* box = boxes->firstSon(); box; box = box->nextBrother(), ++count) {
        baseDataStruct* link = mail().SysGetLinkItem(box);
        ASSERT_TRUE(link);
        EXPECT_EQ(link->parent(), mail().root());
        EXPECT_EQ(Get(box, "LinkId"), Get(link, "pointId"));
        EXPECT_EQ(Get(link, "LinkId"), Get(box, "pointId"));
        EXPECT_TRUE(teststate(link, STATE_LAZY_SONS));
    }
    EXPECT_EQ(count, 6);

    // Both halves are stored: they still match after reopening.
    const std::string boxPoint = Get(boxes->firstSon(), "pointId");
    Reopen();
    baseDataStruct* box = findinfo(sys().root(), "pointId", boxPoint);
    ASSERT_TRUE(box);
    baseDataStruct* link = mail().SysGetLinkItem(box);
    ASSERT_TRUE(link);
    EXPECT_EQ(Get(link, "LinkId"), boxPoint);
}

TEST_F(ModelMailBoxTest, ALinkThatDoesNotPointBackIsReplaced) {
    baseDataStruct* account = AddAccount(AddUser("Ann"), "Work");
    baseDataStruct* box = sys().DataGetSysPoint(account, kKindBox, kBoxTrash);
    baseDataStruct* old = mail().SysGetLinkItem(box);
    ASSERT_TRUE(old);
    const std::string oldPoint = Get(old, "pointId");
    setinfo(old, kThisNode, "LinkId", "99999");
    EXPECT_EQ(mail().SysGetLinkItem(box), nullptr);

    baseDataStruct* fresh = mail().SysReadLinkTree(box, 7);
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(Text(fresh), "type =Box ,pType =10");
    EXPECT_NE(Get(box, "LinkId"), oldPoint);
    EXPECT_EQ(Get(box, "LinkId"), Get(fresh, "pointId"));
    EXPECT_EQ(mail().SysGetLinkItem(box), fresh);
}

TEST_F(ModelMailBoxTest, ContentsAreLoadedOnFirstReadOnly) {
    baseDataStruct* account = AddAccount(AddUser("Ann"), "Work");
    baseDataStruct* box = sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
    baseDataStruct* link = mail().SysReadLinkTree(box, 7);
    ASSERT_TRUE(link);
    baseDataStruct* letter = addson(link, "%s", "type =Letter ,caption =first");
    setdata(letter, std::string(2000, 'r'));
    setinfo(letter, kThisNode, "SDATA", "Subject: first");
    // A letter with its own lazily kept parts: loaded along with the rest.
    changestate(letter, 0, STATE_LAZY_SONS);
    addson(letter, "%s", "type =Part ,caption =inner");
    addson(link, "%s", "type =Letter ,caption =second");
    mail().DataSaveList(link, 2);
    const std::string boxPoint = Get(box, "pointId");

    Reopen();
    box = findinfo(sys().root(), "pointId", boxPoint);
    link = mail().SysGetLinkItem(box);
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->firstSon());  // opening the file loads the link nodes only

    EXPECT_EQ(mail().SysReadLinkTree(box, 7), link);
    ASSERT_TRUE(link->firstSon());
    baseDataStruct* first = link->firstSon();
    EXPECT_EQ(Get(first, "caption"), "first");
    EXPECT_EQ(getdata(first, "STRDATA").value_or(""), std::string(2000, 'r'));
    EXPECT_EQ(Get(first, "SDATA"), "Subject: first");
    ASSERT_TRUE(first->firstSon());
    EXPECT_EQ(Get(first->firstSon(), "caption"), "inner");
    EXPECT_EQ(Get(first->nextBrother(), "caption"), "second");

    // The second read keeps what is in memory, unsaved changes included.
    setinfo(first, kThisNode, "caption", "changed in memory");
    EXPECT_EQ(mail().SysReadLinkTree(box, 7), link);
    EXPECT_EQ(link->firstSon(), first);
    EXPECT_EQ(Get(first, "caption"), "changed in memory");
    EXPECT_EQ(mail().SysReadLinkTree(nullptr, 7), nullptr);
}

TEST_F(ModelMailBoxTest, UsersSharingAFileDoNotReopenIt) {
    baseDataStruct* ann = AddUser("Ann", "shared.sdb");
    baseDataStruct* bob = AddUser("Bob", dir.path() + "shared.sdb");
    baseDataStruct* annBox = sys().DataGetSysPoint(AddAccount(ann, "A"), kKindBox, kBoxReceive);
    baseDataStruct* bobBox = sys().DataGetSysPoint(AddAccount(bob, "B"), kKindBox, kBoxReceive);

    baseDataStruct* annLink = mail().SysReadLinkTree(annBox, 7);
    ASSERT_TRUE(annLink);
    baseDataStruct* unsaved = addson(annLink, "%s", "type =Letter ,caption =draft");
    // Bob's file is the same one, spelled differently: the loaded tree stays as it is.
    baseDataStruct* bobLink = mail().SysReadLinkTree(bobBox, 7);
    ASSERT_TRUE(bobLink);
    EXPECT_NE(bobLink, annLink);
    EXPECT_EQ(mail().SysGetLinkItem(annBox), annLink);
    EXPECT_EQ(annLink->firstSon(), unsaved);
    EXPECT_EQ(Get(unsaved, "caption"), "draft");
    // Both users' links live in one file: template folder and six boxes each.
    EXPECT_EQ(Get(mail().root(), "sumSon"), "14");
    EXPECT_EQ(mail().userFilePath(), dir.path() + "shared.sdb");

    // A user with another file switches the store.
    baseDataStruct* cy = AddUser("Cy", "cy.sdb");
    AddAccount(cy, "C");
    EXPECT_EQ(mail().userFilePath(), dir.path() + "cy.sdb");
    EXPECT_EQ(Get(mail().root(), "sumSon"), "7");
}

TEST_F(ModelMailBoxTest, TheSystemStoreIsNeverOpenedAsAMailStore) {
    baseDataStruct* user = AddUser("Ann", "Korvo.dat");
    baseDataStruct* account = AddAccount(user, "Work");
    EXPECT_FALSE(mail().SysOpenUserFile(user));
    EXPECT_FALSE(sys().DataGetSysPoint(account, kKindPBoxTree)->firstSon());
    std::ostringstream report;
    EXPECT_EQ(CheckStore(dir.path() + "Korvo.dat", report), InspectStatus::kSound) << report.str();
    Reopen();
    EXPECT_TRUE(UserNamed("Ann"));
}

TEST_F(ModelMailBoxTest, AFileThatCannotBeOpenedIsNotTakenForOpen) {
    {
        std::ofstream junk(dir.path() + "junk.sdb", std::ios::binary);
        junk << std::string(200, 'j');
    }
    baseDataStruct* user = AddUser("Ann", "junk.sdb");
    EXPECT_FALSE(mail().SysOpenUserFile(user));
    EXPECT_EQ(mail().userFilePath(), "");
    EXPECT_FALSE(mail().SysOpenUserFile(user));  // tried again, still refused
    baseDataStruct* account = AddAccount(user, "Work");
    EXPECT_FALSE(sys().DataGetSysPoint(account, kKindPBoxTree)->firstSon());
    EXPECT_EQ(ReadFile(dir.path() + "junk.sdb"), std::string(200, 'j'));
}

TEST_F(ModelMailBoxTest, LinkOperationsLogTheirBeginAndEnd) {
    DiagLog& log = TheLog();
    const int threshold = log.threshold();
    log.SetThreshold(DiagLog::kMessage);
    log.SetFile("Korvo");
    AddAccount(AddUser("Ann"), "Work");
    log.SetThreshold(threshold);
    const std::string text = ReadFile(log.filePath());
    for (const char* line :
         {"Message | | | CSysMailBox::SysCreateLinkItem(baseDataStruct *ptLinkItem) begin\n",
          "*CSysMailBox::SysGetLinkItem(baseDataStruct *ptLinkItem) begin\n",
          "*CSysMailBox::SysGetLinkItem(baseDataStruct *ptLinkItem) end\n",
          "CSysMailBox::SysReadLinkTree(baseDataStruct *ptLinkItem) end\n",
          "CSysMailBox::SysOpenUserFile(baseDataStruct *ptItem) begin\n",
          "CSysData::SysCreateBox(baseDataStruct *ptBox , CBaseTreeControl *pcTree , HTREEITEM "
          "hParent) end\n",
          "Message | CSysData::SysCreateAccount(baseDataStruct *ptAccount , CBaseTreeControl "
          "*pcTree , HTREEITEM hParent) end\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text.substr(0, 3000);
    }
    EXPECT_EQ(text.find("CSysData::SysCreateBox(baseDataStruct *ptBox , CBaseTreeControl *pcTree "
                        ", HTREEITEM hParent) over"),
              std::string::npos);
}

}  // namespace
}  // namespace korvo::test
