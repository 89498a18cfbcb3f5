#include "content/template_store.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "content/page_security.h"
#include "model/default_template.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

using test::Get;
using test::Text;

class TemplateStoreTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        account = AddAccount(AddUser("ann"), "home");
    }

    // The templates of one of the account's folders, read from the mail store.
    baseDataStruct* Folder(int subKind = kTFolderNewLetter) {
        account = findinfo(sys().root(), "caption", "home");
        return mail().SysReadLinkTree(sys().DataGetSysPoint(account, kKindTFolder, subKind),
                                      kLoadProperty | kLoadStrdata | kLoadSdata);
    }
    std::vector<std::string> Captions(baseDataStruct* link) {
        std::vector<std::string> out;
        for (baseDataStruct* t : ListedTemplates(link)) out.push_back(Get(t, "caption"));
        return out;
    }
    baseDataStruct* Named(const std::string& caption) {
        for (baseDataStruct* t : ListedTemplates(Folder())) {
            if (Get(t, "caption") == caption) return t;
        }
        return nullptr;
    }
    // Three templates besides the account's own: a, b and c.
    void AddThree() {
        for (const char* name : {"a", "b", "c"}) {
            baseDataStruct* t = NewTemplate(mail(), Folder());
            ASSERT_NE(t, nullptr);
            ASSERT_TRUE(RenameTemplate(mail(), t, name));
        }
    }

    baseDataStruct* account = nullptr;
};

TEST_F(TemplateStoreTest, NewTemplateIsWrittenWithItsDefaultText) {
    baseDataStruct* link = Folder();
    baseDataStruct* node = NewTemplate(mail(), link);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(Text(node),
              "type =TemplateInfo ,caption =New Template ,pType =100 ,format =text module");
    EXPECT_EQ(Get(node, "SDATA"), kNewTemplateText);
    EXPECT_EQ(Get(node, "SDATA"),
              "hi , @@RECEIVER@@\r\n\r\n    hello, my dear,\r\n\r\n\r\n\r\n\r\n"
              "                         @@SENDER@@\r\n                            @@SEND_DATE@@\r\n"
              "=================================================\r\n");
    EXPECT_FALSE(IsDefaultTemplate(node));

    Reopen();
    EXPECT_EQ(Captions(Folder()), (std::vector<std::string>{"意向书", "New Template"}));
    baseDataStruct* reread = ListedTemplates(Folder()).back();
    EXPECT_EQ(TemplateText(mail(), reread), kNewTemplateText);
    EXPECT_EQ(Get(reread, "format"), "text module");

    // Without a link node there is nowhere to put it.
    EXPECT_EQ(NewTemplate(mail(), nullptr), nullptr);
}

TEST_F(TemplateStoreTest, SettingADefaultClearsTheFormerOne) {
    AddThree();
    EXPECT_EQ(DefaultTemplateOf(Folder()), nullptr);
    EXPECT_TRUE(SetDefaultTemplate(mail(), Named("a")));
    EXPECT_EQ(DefaultTemplateOf(Folder()), Named("a"));
    EXPECT_TRUE(SetDefaultTemplate(mail(), Named("b")));
    EXPECT_EQ(Get(Named("a"), "Default"), "-1");
    EXPECT_EQ(Get(Named("b"), "Default"), "Default");
    // Templates that never were the default are not touched.
    EXPECT_EQ(Text(Named("c")).find("Default"), std::string::npos);
    // Already the default: nothing to do.
    EXPECT_FALSE(SetDefaultTemplate(mail(), Named("b")));

    Reopen();
    EXPECT_EQ(Get(Named("a"), "Default"), "-1");
    EXPECT_EQ(DefaultTemplateOf(Folder()), Named("b"));

    // A store that marks two templates clears both when a third becomes the default.
    setinfo(Named("a"), kThisNode, "Default", "Default");
    EXPECT_TRUE(SetDefaultTemplate(mail(), Named("c")));
    EXPECT_FALSE(IsDefaultTemplate(Named("a")));
    EXPECT_FALSE(IsDefaultTemplate(Named("b")));
    EXPECT_TRUE(IsDefaultTemplate(Named("c")));
}

TEST_F(TemplateStoreTest, RenameFormatTextAndDeleteArePersisted) {
    AddThree();
    ASSERT_TRUE(SetDefaultTemplate(mail(), Named("b")));
    // The default keeps its mark under a new name.
    EXPECT_TRUE(RenameTemplate(mail(), Named("b"), "Reply, short = 1: done -1"));
    EXPECT_FALSE(RenameTemplate(mail(), Named("a"), ""));
    EXPECT_FALSE(RenameTemplate(mail(), Named("a"), "a"));
    EXPECT_TRUE(SetTemplateFormat(mail(), Named("a"), kHtmlFormat));
    EXPECT_FALSE(SetTemplateFormat(mail(), Named("a"), "pdf module"));
    EXPECT_FALSE(SetTemplateFormat(mail(), Named("a"), kHtmlFormat));
    EXPECT_TRUE(SaveTemplateText(mail(), Named("a"), "<b>bold</b>\r\n"));
    EXPECT_FALSE(SaveTemplateText(mail(), Named("a"), "<b>bold</b>\r\n"));
    EXPECT_TRUE(SaveTemplateText(mail(), Named("c"), ""));

    Reopen();
    EXPECT_EQ(Captions(Folder()),
              (std::vector<std::string>{"意向书", "a", "Reply, short = 1: done -1", "c"}));
    EXPECT_EQ(DefaultTemplateOf(Folder()), Named("Reply, short = 1: done -1"));
    EXPECT_EQ(Get(Named("a"), "format"), "html1 module");
    EXPECT_EQ(TemplateText(mail(), Named("a")), "<b>bold</b>\r\n");
    EXPECT_EQ(TemplateText(mail(), Named("c")), "");

    // Deleting the default leaves the folder without one.
    EXPECT_TRUE(DeleteTemplate(mail(), Named("Reply, short = 1: done -1")));
    EXPECT_TRUE(DeleteTemplate(mail(), Named("c")));
    EXPECT_FALSE(DeleteTemplate(mail(), nullptr));
    Reopen();
    EXPECT_EQ(Captions(Folder()), (std::vector<std::string>{"意向书", "a"}));
    EXPECT_EQ(DefaultTemplateOf(Folder()), nullptr);
    // Other folders are not affected.
    EXPECT_TRUE(Captions(Folder(kTFolderWriteBack)).empty());
}

TEST_F(TemplateStoreTest, HiddenAndForeignNodesAreNotTemplates) {
    baseDataStruct* link = Folder();
    NewTemplate(mail(), link);
    changestate(ListedTemplates(link).front(), STATE_VALID, 0);
    AddSonText(link, "type =letter ,caption =stray");
    EXPECT_EQ(Captions(link), (std::vector<std::string>{"New Template"}));
    baseDataStruct* stray = link->lastSon();
    EXPECT_FALSE(RenameTemplate(mail(), stray, "x"));
    EXPECT_FALSE(SetDefaultTemplate(mail(), stray));
    EXPECT_FALSE(DeleteTemplate(mail(), stray));
    AppliedTemplate applied;
    EXPECT_FALSE(ApplyTemplate(mail(), stray, {}, &applied));
}

TEST_F(TemplateStoreTest, ForeignBytesAndHugeTextsSurviveTheStore) {
    static const char kBytes[] = "\xff\xfe\x00 GBK \xc4\xe3\xba\xc3 @@RECEIVER @@\r\n\x80";
    const std::string bytes(kBytes, sizeof kBytes - 1);
    std::string huge;
    while (huge.size() < (3u << 20)) huge += "line @@SENDER@@ \xe4\xbd\xa0\r\n";
    baseDataStruct* a = NewTemplate(mail(), Folder());
    ASSERT_TRUE(SaveTemplateText(mail(), a, bytes));
    ASSERT_TRUE(RenameTemplate(mail(), a, std::string("\xb2\xe2\xca\xd4", 4)));
    baseDataStruct* b = NewTemplate(mail(), Folder());
    ASSERT_TRUE(SaveTemplateText(mail(), b, huge));

    Reopen();
    std::vector<baseDataStruct*> list = ListedTemplates(Folder());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(Get(list[1], "caption"), std::string("\xb2\xe2\xca\xd4", 4));
    EXPECT_EQ(TemplateText(mail(), list[1]), bytes);
    EXPECT_EQ(TemplateText(mail(), list[2]), huge);
}

TEST_F(TemplateStoreTest, ApplyLoadsAReleasedTextAndPicksTheFormat) {
    baseDataStruct* node = NewTemplate(mail(), Folder());
    ASSERT_TRUE(SaveTemplateText(mail(), node, "Re: @@OLD_MAIL_SUBJECT@@\r\n@@CURSOR@@"));
    ASSERT_TRUE(SetTemplateFormat(mail(), node, kHtmlFormat));
    freedata(node, 8);
    ASSERT_EQ(Get(node, "SDATA"), "");

    TemplateContext context;
    context.oldSubject = "Plans";
    AppliedTemplate applied;
    ASSERT_TRUE(ApplyTemplate(mail(), node, context, &applied));
    EXPECT_EQ(applied.text, "Re: Plans\r\n");
    EXPECT_EQ(applied.caret, 11u);
    EXPECT_EQ(applied.formatIndex, 1);
    EXPECT_EQ(kTemplateFormats[applied.formatIndex], "html1 module");

    // An unknown format selects the first entry.
    setinfo(node, kThisNode, "format", "rich module");
    ASSERT_TRUE(ApplyTemplate(mail(), node, context, &applied));
    EXPECT_EQ(applied.formatIndex, 0);

    // The account's own template, as a new account gets it.
    baseDataStruct* own = ListedTemplates(Folder()).front();
    ASSERT_TRUE(ApplyTemplate(mail(), own, context, &applied));
    const std::string_view all = DefaultTemplateText();
    EXPECT_EQ(applied.text, all.substr(all.find('\n') + 1));
}

TEST(TemplatePreviewTest, PageShowsSpacesAndLineBreaks) {
    const std::string page = TemplatePreviewPage("a  b\r\nc");
    EXPECT_EQ(page,
              std::string(kPageSecurityMeta) +
                  "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
                  "<HTML><HEAD><STYLE>BODY {\tCOLOR: #0033cc; FONT-FAMILY: 宋体, Arial, "
                  "Helvetica; FONT-SIZE: 9pt; MARGIN-LEFT: 10px; MARGIN-TOP: 25px}</STYLE>"
                  "</HEAD><BODY BACKGROUND=template.jpg>a&nbsp;&nbsp;b<br>c&nbsp;</BODY></HTML>");
    EXPECT_TRUE(page.starts_with(
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src "
        "data: cid:; style-src 'unsafe-inline'; font-src data:; base-uri 'none'; "
        "form-action 'none'\">"));
    // A lone CR or LF is no line break; other bytes pass through.
    const std::string body = TemplatePreviewPage("x\ry\nz\r\xff");
    EXPECT_NE(body.find("x\ry\nz\r\xff&nbsp;</BODY>"), std::string::npos);
}

}  // namespace
}  // namespace korvo
