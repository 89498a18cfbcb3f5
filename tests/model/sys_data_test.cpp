// Creating, showing and deleting users, accounts, boxes and folders in the system store.
#include "model/sys_data.h"

#include <sstream>

#include "controls/data_tree_items.h"
#include "controls/list_control.h"
#include "controls/memory_list_view.h"
#include "model/default_template.h"
#include "platform/string_format.h"
#include "tests/model/model_fixture.h"
#include "tools/store_audit.h"

namespace korvo::test {
namespace {

// Pre-order texts of a subtree below `node`, each prefixed by two blanks per level and followed
// by the node's category, expanded and valid bits.
std::string Subtree(const baseDataStruct* node, int depth = 0) {
    std::string out;
    for (const baseDataStruct* s = node->firstSon(); s; s = s->nextBrother()) {
        out += std::string(2 * size_t(depth), ' ') + Text(s) +
               StrPrintf(" | %08X\n", getstate(s) & (kCategoryField | STATE_EXPANDED | 1));
        out += Subtree(s, depth + 1);
    }
    return out;
}

using ModelSysDataTest = ModelTest;

TEST_F(ModelSysDataTest, NewUserGetsItsStandardNodesInOrder) {
    baseDataStruct* user = AddUser("Ann");
    EXPECT_EQ(Get(user, "pType"), "2");
    EXPECT_EQ(getstate(user) & 0x003F0011, 0x00010011u);
    EXPECT_EQ(Subtree(user),
              "type =UATree ,caption =Private ,pType =3 | 00000001\n"
              "type =UBTree ,pType =16 | 00000001\n"
              "  type =UBook ,caption =Share ,pType =17 | 00040001\n"
              "    type =BookFolder ,style =sys ,caption =Public ,pType =7 | 00040001\n"
              "type =UTTree ,pType =18 | 00000001\n"
              "  type =UTemplate ,style =sys ,caption =Share ,pType =19 | 00080001\n"
              "    type =TFolder ,caption =NewLetter ,style =sys ,subType =NewLetter ,pType =13 "
              "| 00080001\n"
              "    type =TFolder ,caption =Write back ,style =sys ,subType =Write back ,pType "
              "=13 | 00080001\n"
              "    type =TFolder ,caption =Forward ,style =sys ,subType =Forward ,pType =13 | "
              "00080001\n"
              "type =UFTree ,pType =20 | 00000001\n"
              "  type =FilterSetBook ,style =sys ,caption =Set ,subType =Pool ,pType =21 | "
              "00020001\n"
              "    type =FilterSet ,caption =Keyword table 1 ,pType =22 | 00020001\n");
    // Everything was written: the whole subtree comes back from the file.
    const std::string before = Subtree(user);
    Reopen();
    baseDataStruct* again = UserNamed("Ann");
    ASSERT_TRUE(again);
    EXPECT_EQ(Subtree(again), before);
    // Only the user has a bit of the user-tree mask; it is shown expanded.
    EXPECT_EQ(Items(view, view.FirstTopItem()), "Ann 2/3 +\n");
}

TEST_F(ModelSysDataTest, NewAccountGetsFoldersTemplateAndSixBoxes) {
    baseDataStruct* user = AddUser("Ann");
    // A name with the separators of the property text must not leak into other nodes' texts.
    baseDataStruct* account = AddAccount(user, "Work, =home");
    EXPECT_EQ(getstate(account) & 0x003F0011, 0x00200011u);
    EXPECT_EQ(Subtree(account),
              "type =ABTree ,pType =5 | 00000001\n"
              "  type =PBook ,style =sys ,caption =Work\\, \\=home ,pType =6 | 00040001\n"
              "    type =BookFolder ,SysMark =NowBookFolder ,caption =Private ,style =sys ,pType "
              "=7 | 00040001\n"
              "type =PTTree ,pType =11 | 00000001\n"
              "  type =Template ,style =sys ,caption =Work\\, \\=home ,pType =12 | 00080001\n"
              "    type =TFolder ,caption =NewLetter ,style =sys ,subType =NewLetter ,pType =13 "
              "| 00080001\n"
              "    type =TFolder ,caption =Write back ,style =sys ,subType =Write back ,pType "
              "=13 | 00080001\n"
              "    type =TFolder ,caption =Forward ,style =sys ,subType =Forward ,pType =13 | "
              "00080001\n"
              "type =PFTree ,pType =14 | 00000001\n"
              "  type =FilterFolder ,caption =Select ,subType =Select ,style =sys ,pType =15 | "
              "00020001\n"
              "type =PBoxTree ,pType =9 | 00000001\n"
              "  type =Box ,caption =Preview ,subType =preview ,style =sys ,showColumn =46835 "
              ",pType =10 | 00100001\n"
              "  type =Box ,caption =Receive ,subType =receive ,style =sys ,showColumn =46835 "
              ",pType =10 | 00100001\n"
              "  type =Box ,caption =Prepare ,subType =prepare ,style =sys ,showColumn =46947 "
              ",pType =10 | 00100001\n"
              "  type =Box ,caption =Drafts ,subType =drafts ,style =sys ,showColumn =46947 "
              ",pType =10 | 00100001\n"
              "  type =Box ,caption =Sended ,subType =send ,style =sys ,showColumn =46947 "
              ",pType =10 | 00100001\n"
              "  type =Box ,caption =Trash ,subType =trash ,style =sys ,showColumn =49151 "
              ",pType =10 | 00100001\n");
    EXPECT_EQ(Get(sys().DataGetSysPoint(account, kKindPBook), "caption"), "Work, =home");

    // The account goes under its user's item, the boxes under the account's.
    EXPECT_EQ(Items(view, view.FirstTopItem()),
              "Ann 2/3 +\n"
              "  Work, =home 4/5 +\n"
              "    Preview 6/7\n"
              "    Receive 8/9\n"
              "    Prepare 10/11\n"
              "    Drafts 16/17\n"
              "    Sended 12/13\n"
              "    Trash 14/15\n");

    // The default template sits under the link of the NewLetter folder: caption from the
    // text's first line, the rest as its text.
    baseDataStruct* folder = sys().DataGetSysPoint(account, kKindTFolder, kTFolderNewLetter);
    baseDataStruct* link = mail().SysReadLinkTree(folder, 7);
    ASSERT_TRUE(link);
    ASSERT_TRUE(link->firstSon());
    EXPECT_EQ(link->firstSon(), link->lastSon());
    EXPECT_EQ(Text(link->firstSon()),
              "type =TemplateInfo ,caption =意向书 ,pType =100 ,format =text module");
    const std::string_view all = DefaultTemplateText();
    EXPECT_EQ(Get(link->firstSon(), "SDATA"), all.substr(all.find('\n') + 1));
    EXPECT_TRUE(Get(link->firstSon(), "SDATA").starts_with("甲方"));
}

TEST_F(ModelSysDataTest, SystemBoxesAreFoundBySubTypeWhateverTheirCaption) {
    baseDataStruct* account = AddAccount(AddUser("Ann"), "Work");
    baseDataStruct* boxes = sys().DataGetSysPoint(account, kKindPBoxTree);
    for (baseDataStruct* b = boxes->firstSon(); b; b = b->nextBrother()) {
        setinfo(b, kThisNode, "caption", "Renamed");
    }
    const char* const kSub[] = {"", "preview", "receive", "prepare", "send", "trash", "drafts"};
    // From any node under the account, the account's own boxes.
    baseDataStruct* start = sys().DataGetSysPoint(account, kKindFilterFolder);
    start = sys().DataGetSysPoint(account, kKindPFTree)->firstSon();
    for (int sub = kBoxPreview; sub <= kBoxDrafts; ++sub) {
        baseDataStruct* box = sys().DataGetSysPoint(start, kKindBox, sub);
        ASSERT_TRUE(box) << sub;
        EXPECT_EQ(box->parent(), boxes);
        EXPECT_EQ(Get(box, "subType"), kSub[sub]);
    }
}

TEST_F(ModelSysDataTest, ShowingOnlyBoxesFlattensThemUnderTheParentItem) {
    baseDataStruct* user = AddUser("Ann");
    AddAccount(user, "Work");
    AddAccount(user, "Home", "me@home.example.org");
    view.DeleteAllItems();
    const TreeItem top = view.InsertItem(kNoItem, "top", 0, 1, 0);
    ASSERT_EQ(sys().SysShowSysTree(user, &tree, top, CATEGORY_BOX, true), 0);
    std::string expected = "top 0/1\n";
    for (int i = 0; i < 2; ++i) {
        expected +=
            "  Preview 6/7\n  Receive 8/9\n  Prepare 10/11\n  Drafts 16/17\n  Sended 12/13\n"
            "  Trash 14/15\n";
    }
    EXPECT_EQ(Items(view, view.FirstTopItem()), expected);

    // The whole tree from the root: the root is shown as the top node and expanded.
    view.DeleteAllItems();
    sys().SysShowSysTree(nullptr, &tree, kNoItem, CATEGORY_USER | CATEGORY_ACCOUNT, false);
    EXPECT_EQ(Items(view, view.FirstTopItem()),
              "Korvo 0/1 +\n  Ann 2/3 +\n    Work 4/5 +\n"
              "    Home 4/5 +\n");
    // A node that is not valid is not shown, but its sons are.
    changestate(user, STATE_VALID, 0);
    view.DeleteAllItems();
    sys().SysShowSysTree(nullptr, &tree, kNoItem, CATEGORY_USER | CATEGORY_ACCOUNT, false);
    EXPECT_EQ(Items(view, view.FirstTopItem()), "Korvo 0/1 +\n  Work 4/5 +\n  Home 4/5 +\n");
}

TEST_F(ModelSysDataTest, LockedNodesAreShownClosedWithTheLockImage) {
    baseDataStruct* user = AddUser("Ann");
    baseDataStruct* account = AddAccount(user, "Work");
    setinfo(account, kThisNode, "LockState", "lock");
    view.DeleteAllItems();
    sys().SysShowSysTree(nullptr, &tree, kNoItem, CATEGORY_USER | CATEGORY_ACCOUNT, false);
    const TreeItem item = tree.FindItem(kNoItem, account->nodeId());
    ASSERT_NE(item, kNoItem);
    EXPECT_FALSE(view.IsExpanded(item));
    EXPECT_EQ(view.StateImage(item), kLockedStateImage);
    EXPECT_EQ(view.StateImage(tree.FindItem(kNoItem, user->nodeId())), 3);
}

TEST_F(ModelSysDataTest, WithoutSaveFileBoxesAreRemovedAgain) {
    baseDataStruct* user = AddUser("Nomad", "");
    EXPECT_EQ(Get(user, "SaveFile"), "-1");
    baseDataStruct* account = AddAccount(user, "Work");
    baseDataStruct* boxes = sys().DataGetSysPoint(account, kKindPBoxTree);
    EXPECT_FALSE(boxes->firstSon());
    // A box added later fares the same, and leaves nothing in the tree or the store.
    baseDataStruct* box = addson(boxes, "%s", "type =Box ,caption =Mine ,pType =10");
    EXPECT_EQ(sys().SysCreateBox(box, &tree, kNoItem), -1);
    EXPECT_FALSE(boxes->firstSon());
    EXPECT_EQ(Items(view, view.FirstTopItem()), "Nomad 2/3 +\n  Work 4/5 +\n");
    EXPECT_EQ(mail().userFilePath(), "");
    Reopen();
    account = findinfo(sys().root(), "caption", "Work");
    ASSERT_TRUE(account);
    EXPECT_FALSE(sys().DataGetSysPoint(account, kKindPBoxTree)->firstSon());
}

TEST_F(ModelSysDataTest, BookFolderGetsALinkAndNeedsAParent) {
    baseDataStruct* user = AddUser("Ann");
    baseDataStruct* book = sys().DataGetSysPoint(user, kKindUBook);
    baseDataStruct* folder = addson(book, "%s", "");
    FolderForm form;
    form.name = "Friends";
    ASSERT_TRUE(form.Apply(folder, prompter));
    view.DeleteAllItems();
    sys().SysShowBookTree(user, &tree, true);
    EXPECT_EQ(sys().SysCreateBookFolder(folder, -1, &tree, kNoItem), 0);
    EXPECT_NE(Get(folder, "pointId"), "-1");
    EXPECT_EQ(getstate(folder) & kCategoryField, CATEGORY_BOOK);
    EXPECT_EQ(Text(mail().SysGetLinkItem(folder)), "type =BookFolder ,pType =7");
    // Shown under the shared book, beside the public folder.
    EXPECT_EQ(Items(view, view.FirstTopItem()),
              "Korvo 0/1 +\n  Share 18/19\n    Public 16/17\n    Friends 16/17\n  Private 18/19\n");

    baseDataStruct loose;
    EXPECT_EQ(sys().SysCreateBookFolder(&loose, -1, &tree, kNoItem), -1);
    EXPECT_EQ(sys().SysCreateBookFolder(nullptr, -1, &tree, kNoItem), -1);
}

TEST_F(ModelSysDataTest, BookAndTemplateTrees) {
    baseDataStruct* user = AddUser("Ann");
    baseDataStruct* work = AddAccount(user, "Work");
    AddAccount(user, "Home", "me@home.example.org");
    sys().SysShowBookTree(work, &tree, false);
    EXPECT_EQ(Items(view, view.FirstTopItem()),
              "Korvo 0/1 +\n  Share 18/19\n    Public 16/17\n  Private 18/19\n"
              "    Private 16/17\n");
    // An expanded account folder is shown open.
    changestate(sys().DataGetSysPoint(user, kKindUATree), 0, STATE_EXPANDED);
    sys().SysShowBookTree(work, &tree, true);
    EXPECT_EQ(Items(view, view.FirstTopItem()),
              "Korvo 0/1 +\n  Share 18/19\n    Public 16/17\n  Private 18/19 +\n"
              "    Private 16/17\n    Private 16/17\n");

    sys().SysShowTemplateTree(work, &tree);
    EXPECT_EQ(Items(view, view.FirstTopItem()),
              "Korvo 0/1 +\n  Share 2/3\n"
              "  Work 4/5\n    NewLetter 4/5\n    Write back 4/5\n    Forward 4/5\n"
              "  Home 4/5\n    NewLetter 4/5\n    Write back 4/5\n    Forward 4/5\n");

    // Outside a user the schema is missing: the trees stay empty.
    EXPECT_EQ(sys().SysShowBookTree(sys().root(), &tree, true), -1);
    EXPECT_EQ(view.FirstTopItem(), kNoItem);
    EXPECT_EQ(sys().SysShowTemplateTree(sys().root(), &tree), -1);
    EXPECT_EQ(view.FirstTopItem(), kNoItem);
}

// Link nodes of the mail store: texts without ids, in order.
std::vector<std::string> LinkTexts(CSysMailBox& mail) {
    std::vector<std::string> out;
    for (const baseDataStruct* s = mail.root()->firstSon(); s; s = s->nextBrother()) {
        out.push_back(Text(s));
    }
    return out;
}

TEST_F(ModelSysDataTest, DeletingRemovesLinkTreesFromTheMailStore) {
    baseDataStruct* user = AddUser("Ann");
    baseDataStruct* work = AddAccount(user, "Work");
    baseDataStruct* home = AddAccount(user, "Home", "me@home.example.org");
    baseDataStruct* inbox = sys().DataGetSysPoint(work, kKindBox, kBoxReceive);
    baseDataStruct* letters = mail().SysReadLinkTree(inbox, 7);
    baseDataStruct* letter = addson(letters, "%s", "type =Letter ,caption =hello");
    setdata(letter, std::string(3000, 'x'));
    mail().DataSaveList(letter, 1);
    // Per account: six boxes and the NewLetter folder with its template.
    ASSERT_EQ(LinkTexts(mail()).size(), 14u);

    const TreeItem workItem = tree.FindItem(kNoItem, work->nodeId());
    ASSERT_NE(workItem, kNoItem);
    EXPECT_EQ(sys().SysDeleteAccount(work, &tree), 1);
    EXPECT_EQ(view.Caret(), tree.FindItem(kNoItem, user->nodeId()));
    EXPECT_EQ(Items(view, view.FirstTopItem()),
              "Ann 2/3 +\n  Home 4/5 +\n    Preview 6/7\n    Receive 8/9\n    Prepare 10/11\n"
              "    Drafts 16/17\n    Sended 12/13\n    Trash 14/15\n");

    baseDataStruct* trash = sys().DataGetSysPoint(home, kKindBox, kBoxTrash);
    EXPECT_EQ(sys().SysDeletePointItem(trash, &tree), 1);

    Reopen();
    user = UserNamed("Ann");
    EXPECT_FALSE(UserNamed("Work"));
    ASSERT_TRUE(mail().SysOpenUserFile(user));
    // Only Home's links are left, without its trash; every link points at a live container.
    EXPECT_EQ(LinkTexts(mail()),
              (std::vector<std::string>{"type =TFolder ,pType =13", "type =Box ,pType =10",
                                        "type =Box ,pType =10", "type =Box ,pType =10",
                                        "type =Box ,pType =10", "type =Box ,pType =10"}));
    for (baseDataStruct* l = mail().root()->firstSon(); l; l = l->nextBrother()) {
        baseDataStruct* container = findinfo(sys().root(), "pointId", Get(l, "LinkId"));
        ASSERT_TRUE(container) << Text(l);
        EXPECT_EQ(mail().SysGetLinkItem(container), l);
    }
    std::ostringstream report;
    EXPECT_EQ(CheckStore(mail().userFilePath(), report), InspectStatus::kSound) << report.str();

    EXPECT_EQ(sys().SysDeleteUser(user, &tree), 1);
    Reopen();
    EXPECT_FALSE(sys().root()->firstSon());
    // The file is still there, now without links.
    CBaseDataManage file;
    ASSERT_TRUE(file.DataOpen("system.sdb"));
    EXPECT_FALSE(file.root()->firstSon());
}

TEST_F(ModelSysDataTest, DeletingABookFolderEmptiesItsList) {
    baseDataStruct* user = AddUser("Ann");
    baseDataStruct* folder = addson(sys().DataGetSysPoint(user, kKindUBook), "%s",
                                    "type =BookFolder ,caption =Friends ,pType =7");
    sys().SysShowBookTree(user, &tree, true);
    ASSERT_EQ(sys().SysCreateBookFolder(folder, -1, &tree, kNoItem), 0);
    baseDataStruct* persons = mail().SysReadLinkTree(folder, 7);
    addson(persons, "%s", "type =PersonInfo ,name =Bob");
    mail().DataSaveList(persons, 2);
    MemoryListView listView;
    CBaseListControl list(listView);
    list.Reset("Name =100");
    list.InsertRow("Bob", 1);
    const uint32_t id = folder->nodeId();

    EXPECT_EQ(sys().SysDeleteBookFolder(folder, &tree, &list), 1);
    EXPECT_EQ(listView.RowCount(), 0);
    EXPECT_EQ(tree.FindItem(kNoItem, id), kNoItem);
    EXPECT_EQ(LinkTexts(mail()), std::vector<std::string>{});
}

// Depth and text of every line of a dump, without ids and state words.
std::vector<std::string> DumpLines(const std::string& path) {
    std::ostringstream out, err;
    EXPECT_EQ(DumpStore(path, DumpOptions{}, out, err), InspectStatus::kSound) << err.str();
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    static const std::regex kLine("( *)[0-9]+ 0x[0-9A-F]{8} (.*)");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, kLine)) {
            ADD_FAILURE() << line;
            continue;
        }
        lines.push_back(m[1].str() + Text(m[2].str()));
    }
    return lines;
}

TEST_F(ModelSysDataTest, DumpsOfBothStoresShowTheSchema) {
    AddAccount(AddUser("Ann"), "Work");
    const std::vector<std::string> system = DumpLines(dir.path() + "Korvo.dat");
    ASSERT_EQ(system.size(), 32u);
    EXPECT_TRUE(system[0].find("caption =Korvo ,type =Root ,pType =1") != std::string::npos)
        << system[0];
    const std::vector<std::string> head(system.begin() + 1, system.begin() + 5);
    // Values are stored escaped; a text written key by key into an empty node starts with
    // the separator.
    EXPECT_EQ(head, (std::vector<std::string>{
                        "   ,type =User ,pType =2 ,caption =Ann ,check =\\-1 ,checkTimer =0 "
                        ",SaveFile =system.sdb ,RunTime =0 ,lockPassword =\\-1",
                        "    type =UATree ,caption =Private ,pType =3",
                        "       ,type =Account ,pType =4 ,caption =Work ,checkTimer =20 ,email "
                        "=me@mail.example.org ,username =me ,password =\\-1 ,pop3Server "
                        "=mail.example.org ,smtpServer =mail.example.org ,pop3Port =995 "
                        ",smtpPort =465 ,SmtpUser = ,SmtpPass = ,SmtpCheck =False ,RunTime =0 "
                        ",check =\\-1 ,keepOnServer =\\-1 ,lockPassword =\\-1 ,pop3Security =ssl "
                        ",smtpSecurity =ssl",
                        "        type =ABTree ,pType =5",
                    }));
    EXPECT_EQ(system[14], "        type =PBoxTree ,pType =9");
    EXPECT_EQ(system[15],
              "          type =Box ,caption =Preview ,subType =preview ,style =sys ,showColumn "
              "=46835 ,pType =10");
    EXPECT_EQ(system[20],
              "          type =Box ,caption =Trash ,subType =trash ,style =sys ,showColumn "
              "=49151 ,pType =10");
    EXPECT_EQ(system[21], "    type =UBTree ,pType =16");
    EXPECT_EQ(system[31], "        type =FilterSet ,caption =Keyword table 1 ,pType =22");

    const std::vector<std::string> mailLines = DumpLines(dir.path() + "system.sdb");
    std::vector<std::string> expected = {"  type =TFolder ,pType =13",
                                         "    type =TemplateInfo ,caption =意向书 ,pType =100 "
                                         ",format =text module [SDATA " +
                                             std::to_string(DefaultTemplateText().size() - 11) +
                                             "]"};
    for (int i = 0; i < 6; ++i) expected.push_back("  type =Box ,pType =10");
    ASSERT_EQ(mailLines.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(mailLines.begin() + 1, mailLines.end()), expected);
}

}  // namespace
}  // namespace korvo::test
