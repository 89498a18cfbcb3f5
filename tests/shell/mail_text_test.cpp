#include "shell/mail_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "content/letter_node.h"
#include "shell/mail_page.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "tests/shell/viewer_fakes.h"
#include "tests/shell/viewer_letters.h"

namespace korvo {
namespace {

using test::TestAttachment;

size_t Count(std::string_view text, std::string_view what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class MailTextTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        baseDataStruct* account = AddAccount(AddUser("ann"), "home");
        box = sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
        viewer.SetShownBoxSource([this] { return shownBox; });
        shownBox = box;
    }
    // Every page the browser was given starts with the policy.
    void TearDown() override {
        for (const std::string& shown : page.pages)
            EXPECT_TRUE(shown.starts_with(kPageSecurityMeta)) << shown.substr(0, 80);
    }

    baseDataStruct* AddLetter(const std::string& raw) {
        return test::AddStoredLetter(mail(), box, raw);
    }
    void Web(const char* value) { setinfo(sys().root(), kThisNode, "ShowTextByWEB", value); }
    void RawMode(const char* value) { setinfo(box, kThisNode, "ShowMail", value); }
    std::string PageFile() { return test::ReadFile(dir.path() + "Cache/html/korvo.html"); }
    std::string Guarded(std::string_view html) {
        return std::string(kPageSecurityMeta) + std::string(kPageCharsetMeta) + std::string(html);
    }

    baseDataStruct* box = nullptr;
    baseDataStruct* shownBox = nullptr;
    test::RecordingPage page;
    test::RecordingBand band;
    test::RecordingRows rows;
    test::ScriptedDialogs dialogs;
    CMailText viewer{sys(), page, band, rows, dialogs};
};

TEST_F(MailTextTest, PlainLetterInWebModeIsAGreyPageWithABreakPerLine) {
    Web("True");
    baseDataStruct* letter = AddLetter(test::PlainLetter());
    viewer.ShowMail(letter);

    const std::string body = "line one\r\na <b> & c\r\n\r\nlast\r\n";
    EXPECT_EQ(page.editor, body);
    EXPECT_TRUE(page.browser);
    EXPECT_TRUE(viewer.browserShown());
    // The blank page first, so the previous letter vanishes at once; then the letter.
    ASSERT_EQ(page.pages.size(), 2u);
    EXPECT_EQ(page.paths[0], dir.path() + "Cache/html/korvo.html");
    EXPECT_EQ(page.pages[0], Guarded(kBlankPage));
    EXPECT_EQ(page.pages[1], Guarded(GreyTextPage(body)));
    EXPECT_NE(page.pages[1].find("bgcolor=#eeeeee>line one<br>a &lt;b&gt; &amp; c<br><br>last<br>"),
              std::string::npos);
    EXPECT_EQ(Count(page.pages[1], "<br>"), 4u);
    EXPECT_EQ(band.shown, (MailHeaderTexts{"Bob <bob@x.org>", "ann@x.org", "plain", "carl@x.org"}));
    EXPECT_TRUE(rows.rows.empty());
    // The text was read from the store and let go again.
    EXPECT_TRUE(getdata(letter, "SDATA").value_or("").empty());
    EXPECT_EQ(getinfo(viewer.scratch(), kThisNode, "haveText"), "yes");
}

TEST_F(MailTextTest, TextModeShowsTheEditorAndWritesNoPage) {
    for (const char* off : {static_cast<const char*>(nullptr), "False"}) {
        if (off) Web(off);  // absent and "False" both mean text mode
        viewer.ShowMail(AddLetter(test::PlainLetter()));
        EXPECT_FALSE(page.browser);
        EXPECT_EQ(page.editor, "line one\r\na <b> & c\r\n\r\nlast\r\n");
    }
    EXPECT_TRUE(page.pages.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "Cache"));
}

TEST_F(MailTextTest, AnHtmlBodySwitchesToTheBrowserEvenInTextMode) {
    Web("False");
    viewer.ShowMail(AddLetter(test::HtmlOnlyLetter()));
    EXPECT_TRUE(page.browser);
    ASSERT_EQ(page.pages.size(), 1u);
    EXPECT_EQ(page.pages[0], Guarded("<HTML lang=\"en\"><body><p>Hello</p></body></HTML>\r\n"));
    EXPECT_EQ(PageFile(), page.pages[0]);

    // multipart/alternative shows its HTML part, even without an <html> tag, and unwrapped.
    viewer.ShowMail(AddLetter(test::AlternativeLetter()));
    EXPECT_TRUE(page.browser);
    EXPECT_EQ(page.pages.back(), Guarded("<p>html part</p>\r\n"));
    EXPECT_EQ(page.editor, "<p>html part</p>\r\n");
    EXPECT_EQ(band.shown.subject, "both");

    // Back to a plain letter: the editor again.
    viewer.ShowMail(AddLetter(test::PlainLetter()));
    EXPECT_FALSE(page.browser);
}

TEST_F(MailTextTest, RawModeShowsTheWholeMessageAndListsNoAttachments) {
    Web("True");
    RawMode("True");
    const std::string raw = test::LetterWithAttachments({{"a.pdf", "%PDF"}, {"b.txt", "b"}});
    viewer.ShowMail(AddLetter(raw));
    EXPECT_EQ(page.editor, raw);
    EXPECT_FALSE(page.browser);
    EXPECT_TRUE(rows.rows.empty());
    EXPECT_EQ(viewer.files().size(), 0u);
    EXPECT_EQ(band.shown, (MailHeaderTexts{"Bob <bob@x.org>", "ann@x.org", "files", ""}));
    // Only the blank page was written.
    ASSERT_EQ(page.pages.size(), 1u);
    EXPECT_EQ(page.pages[0], Guarded(kBlankPage));

    // The same letter with the box switched back lists them.
    RawMode("False");
    viewer.ShowMail(viewer.shownLetter());
    EXPECT_EQ(rows.rows, (std::vector<std::string>{"a.pdf", "b.txt"}));
    EXPECT_EQ(page.editor, "see the files\r\n");
}

TEST_F(MailTextTest, ShowingTheSameLetterAgainDoesNothingUntilASettingChanges) {
    baseDataStruct* letter = AddLetter(test::PlainLetter());
    viewer.ShowMail(letter);
    const int pageCalls = page.calls;
    const int bandCalls = band.calls;
    viewer.ShowMail(letter);
    EXPECT_EQ(page.calls, pageCalls);
    EXPECT_EQ(band.calls, bandCalls);
    // The header band keeps its texts.
    EXPECT_EQ(band.shown.subject, "plain");

    Web("True");
    viewer.ShowMail(letter);
    EXPECT_TRUE(page.browser);
    EXPECT_GT(page.calls, pageCalls);

    RawMode("True");
    viewer.ShowMail(letter);
    EXPECT_EQ(page.editor, test::PlainLetter());
    const int rawCalls = page.calls;

    // Another box shown (one without ShowMail) counts as a change too.
    shownBox = nullptr;
    viewer.ShowMail(letter);
    EXPECT_GT(page.calls, rawCalls);
    EXPECT_EQ(page.editor, "line one\r\na <b> & c\r\n\r\nlast\r\n");
}

TEST_F(MailTextTest, ClearingShowsAnEmptyLetter) {
    Web("True");
    viewer.ShowMail(AddLetter(test::LetterWithAttachments({{"a.pdf", "x"}})));
    ASSERT_EQ(rows.rows.size(), 1u);

    viewer.ClearMail();
    EXPECT_EQ(viewer.shownLetter(), nullptr);
    EXPECT_EQ(page.editor, "");
    EXPECT_EQ(band.shown, MailHeaderTexts{});
    EXPECT_TRUE(rows.rows.empty());
    EXPECT_EQ(viewer.files().size(), 0u);
    EXPECT_EQ(viewer.scratch()->firstSon(), nullptr);
    EXPECT_EQ(page.pages.back(), Guarded(GreyTextPage("")));
    const int calls = page.calls;
    viewer.ClearMail();
    EXPECT_EQ(page.calls, calls);

    // A node that is not a letter shows the empty letter as well.
    viewer.ShowMail(AddLetter(test::PlainLetter()));
    viewer.ShowMail(box);
    EXPECT_EQ(viewer.shownLetter(), nullptr);
    EXPECT_EQ(page.editor, "");
}

TEST_F(MailTextTest, InlinePicturesOfARelatedLetterAreInTheShownPage) {
    Web("True");
    const std::string html =
        "<html><head><meta charset=utf-8><base href=\"http://evil.example/\"></head>"
        "<body><img src=\"cid:logo@x.org\"><img src=\"cid:gone@x.org\"></body></html>";
    viewer.ShowMail(AddLetter(test::RelatedLetter(html)));

    std::string base64;
    for (char c : CMailCodec::EncodeBase64(test::PngBytes()))
        if (c != '\r' && c != '\n') base64 += c;
    const std::string shown = page.pages.back();
    EXPECT_TRUE(page.browser);
    EXPECT_NE(shown.find("<img src=\"data:image/png;base64," + base64 + "\">"), std::string::npos);
    EXPECT_NE(shown.find("<img src=\"cid:gone@x.org\">"), std::string::npos);
    EXPECT_LT(shown.find(kPageSecurityMeta), shown.find("<base"));
    // The editor keeps the letter's own text; pictures are not attachments.
    EXPECT_EQ(page.editor, html + "\r\n");
    EXPECT_TRUE(rows.rows.empty());
}

TEST_F(MailTextTest, AttachmentsAreListedDecodedInOrderAndOpenedFromTheScratchCopy) {
    viewer.ShowMail(AddLetter(test::LetterWithAttachments(
        {{test::EncodedWord("Größe.txt"), "one"}, {"../../.profile", "two"}})));
    EXPECT_EQ(rows.rows, (std::vector<std::string>{"Größe.txt", "../../.profile"}));
    rows.selected = {0, 1};
    const std::set<std::string> before = test::FilesBelow(dir.path());
    viewer.files().OpenSelected();
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{dir.path() + "Cache/temp/Größe.txt",
                                                        dir.path() + "Cache/temp/profile"}));
    EXPECT_EQ(dialogs.openedBytes, (std::vector<std::string>{"one", "two"}));
    // Opening wrote the two copies and nothing else.
    std::set<std::string> added = test::FilesBelow(dir.path());
    for (const std::string& file : before) added.erase(file);
    EXPECT_EQ(added, (std::set<std::string>{"Cache/temp/Größe.txt", "Cache/temp/profile"}));
}

TEST_F(MailTextTest, APageThatCannotBeWrittenLeavesTheBrowserAlone) {
    namespace fs = std::filesystem;
    Web("True");
    const std::string file = dir.path() + "Cache/html/korvo.html";
    std::ofstream(dir.path() + "outside") << "keep";
    const std::function<void()> blockers[] = {
        [&] { fs::create_directories(file); },
        // A link planted in its place is not written through.
        [&] { fs::create_symlink(dir.path() + "outside", file); },
    };
    for (const auto& block : blockers) {
        fs::remove_all(dir.path() + "Cache");
        fs::create_directories(dir.path() + "Cache/html");
        block();
        page.pages.clear();
        viewer.ShowMail(AddLetter(test::HtmlOnlyLetter()));
        EXPECT_TRUE(page.pages.empty());
        EXPECT_EQ(page.editor, "<HTML lang=\"en\"><body><p>Hello</p></body></HTML>\r\n");
    }
    EXPECT_EQ(test::ReadFile(dir.path() + "outside"), "keep");
}

TEST_F(MailTextTest, ATextNotYetInTheStoreStaysInMemory) {
    baseDataStruct* letters = mail().SysReadLinkTree(box, kLoadProperty);
    baseDataStruct* unsaved = AddSonText(letters, "type =letter");
    setinfo(unsaved, kThisNode, "SDATA", test::PlainLetter());
    viewer.ShowMail(unsaved);
    EXPECT_EQ(page.editor, "line one\r\na <b> & c\r\n\r\nlast\r\n");
    EXPECT_EQ(getdata(unsaved, "SDATA").value_or(""), test::PlainLetter());
}

}  // namespace
}  // namespace korvo
