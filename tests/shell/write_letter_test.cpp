#include "shell/write_letter.h"

#include <gtest/gtest.h>

#include <fstream>

#include "content/letter_node.h"
#include "content/mail_codec.h"
#include "content/template_store.h"
#include "shell/composer_addresses.h"
#include "shell/letter_list.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "transport/smtp_envelope.h"

namespace korvo {
namespace {

class FakeForm : public ComposerForm {
  public:
    std::string Line(ComposerLine line) override { return lines[static_cast<int>(line)]; }
    void SetLine(ComposerLine line, std::string_view text) override {
        lines[static_cast<int>(line)] = std::string(text);
    }
    void Focus(ComposerLine line) override { focus = line; }
    void ShowConfidential(bool shown) override { confidentialShown = shown; }
    void ShowAttachmentList(bool shown) override { attachmentsShown = shown; }
    void Hide() override {}
    void Close() override { closed = true; }

    std::string lines[4];
    ComposerLine focus = ComposerLine::kText;
    bool confidentialShown = false, attachmentsShown = false, closed = false;
};

class FakeDialogs : public ComposerDialogs {
  public:
    void Message(std::string_view text, std::string_view) override { messages.emplace_back(text); }
    bool AskPassword(std::string_view, std::string*) override { return false; }
    int ChooseFromList(std::string_view title, std::string_view,
                       const std::vector<std::string>& entries) override {
        chooserTitle = std::string(title);
        offered = entries;
        return choice;
    }
    std::vector<std::string> ChooseFiles(std::string_view, const std::string&) override {
        return files;
    }
    std::vector<std::string> messages, offered, files;
    std::string chooserTitle;
    int choice = -1;
};

class FakeAttachmentView : public AttachmentListView {
  public:
    void ClearRows() override { rows.clear(); }
    void AddRow(std::string_view name) override { rows.emplace_back(name); }
    std::vector<int> SelectedRows() override { return selected; }
    std::vector<std::string> rows;
    std::vector<int> selected;
};

class FakePicker : public ReceiverPicker {
  public:
    bool PickReceivers(baseDataStruct*, ReceiverLines& lines) override {
        lines = answer;
        return true;
    }
    ReceiverLines answer;
};

class FakeHost : public ComposerHost {
  public:
    void LetterChanged(baseDataStruct*) override {}
    void BoxChanged(baseDataStruct*) override {}
    void LetterRemoved(baseDataStruct*) override {}
    void SendLetter(const SendRequest& request) override { sent.push_back(request); }
    std::vector<SendRequest> sent;
};

// A received letter: text and HTML alternatives, two attachments.
const std::string kOriginal =
    "From: Ann Lee <ann@example.org>\r\nTo: me@mail.example.org\r\n"
    "Cc: Bob <bob@example.org>\r\nSubject: Plans\r\nDate: Tue, 6 Jan 2004 09:05:33 +0800\r\n"
    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"out\"\r\n\r\n"
    "--out\r\nContent-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
    "--alt\r\nContent-Type: text/plain\r\n\r\nline one\r\nline two\r\n"
    "--alt\r\nContent-Type: text/html\r\n\r\n<p>html one</p>\r\n--alt--\r\n"
    "--out\r\nContent-Type: application/octet-stream\r\n"
    "Content-Disposition: attachment; filename=a.bin\r\n\r\nAAAA\r\n"
    "--out\r\nContent-Type: text/plain\r\n"
    "Content-Disposition: attachment; filename=b.txt\r\n\r\nbee\r\n--out--\r\n";

class WriteLetterTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        account = AddAccount(AddUser("ann"), "home");
        original = AddLetter(Box(kBoxReceive), kOriginal);
    }

    baseDataStruct* Box(int subKind) { return sys().DataGetSysPoint(account, kKindBox, subKind); }
    baseDataStruct* Letters(baseDataStruct* box) {
        return mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
    }
    std::vector<baseDataStruct*> Valid(int subKind) {
        std::vector<baseDataStruct*> out;
        for (baseDataStruct* l = Letters(Box(subKind))->firstSon(); l; l = l->nextBrother())
            if (teststate(l, STATE_VALID)) out.push_back(l);
        return out;
    }
    baseDataStruct* AddLetter(baseDataStruct* box, const std::string& raw) {
        baseDataStruct* letter = AddSonText(Letters(box), "type =letter ,MailId =x1");
        setinfo(letter, kThisNode, "SDATA", raw);
        mailInitProperty(letter, box, &mail());
        return letter;
    }
    std::string Text(const baseDataStruct* letter) {
        if (teststate(letter, STATE_HAS_SDATA) && getdatasize(letter, "SDATA") == 0)
            mail().DataLoadPoint(const_cast<baseDataStruct*>(letter), -1, kLoadSdata);
        return std::string(getdata(letter, "SDATA").value_or(""));
    }

    // A fresh composer opened like the frame opens it.
    bool Open(int mode, int variant = 0, baseDataStruct* letter = nullptr,
              baseDataStruct* node = nullptr) {
        form = FakeForm();
        composer = std::make_unique<CViewWriteLetter>(sys(), form, text, templates, formats, files,
                                                      dialogs, picker, host,
                                                      [] { return std::time_t(1073351133); });
        ComposerRequest request;
        request.mode = mode;
        request.variant = variant;
        request.letter = letter;
        request.node = node ? node : letter ? Box(kBoxReceive) : account;
        return composer->InitialUpdate(request);
    }
    void Fill(std::string to, std::string cc = "", std::string hidden = "",
              std::string subject = "Hello") {
        form.SetLine(ComposerLine::kTo, to);
        form.SetLine(ComposerLine::kCc, cc);
        form.SetLine(ComposerLine::kConfidential, hidden);
        form.SetLine(ComposerLine::kSubject, subject);
    }

    baseDataStruct* account = nullptr;
    baseDataStruct* original = nullptr;
    FakeForm form;
    MemoryTextView text;
    MemoryComboView templates, formats;
    FakeAttachmentView files;
    FakeDialogs dialogs;
    FakePicker picker;
    FakeHost host;
    std::unique_ptr<CViewWriteLetter> composer;
};

TEST(ComposerAddressTest, EveryAddressOfALineIsChecked) {
    struct Case {
        const char* line;
        bool valid;
    };
    const Case cases[] = {
        {"ann-marie@example.org", true},
        {"bob+tag@example.org", true},
        {"o'neil@mail.my-host.example", true},
        {"Ann Lee <ann@example.org>, \"Lee, Bob\" <bob@example.org>", true},
        {"ann@example.org; bob@example.org", true},
        {"ann@localhost", true},
        {"ann@example.org bob@example.org", false},
        {"ann@example.org, bob", false},
        {"ann@", false},
        {"@example.org", false},
        {"ann@.example.org", false},
        {"an..n@example.org", false},
        {"ann@example.org.", false},
        {"ann@-example.org", false},
        {"ann@exa_mple.org", false},
        {"a(nn@example.org", false},
        {", ;", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidReceiverLine(c.line), c.valid) << c.line;
}

TEST_F(WriteLetterTest, OpeningFillsTheFormByModeAndVariant) {
    struct Case {
        int mode, variant;
        const char* to;
        const char* cc;
        const char* subject;
        const char* text;
        size_t attachments;
    };
    const Case cases[] = {
        {kModeWriteBack, 1, "Ann Lee <ann@example.org>", "Bob <bob@example.org>", "Re:Plans",
         ">line one\r\n>line two\r\n>", 0},
        {kModeWriteBack, 2, "Ann Lee <ann@example.org>", "", "Re:Plans",
         ">line one\r\n>line two\r\n>", 0},
        {kModeWriteBack, 3, "", "Bob <bob@example.org>", "Re:Plans", ">line one\r\n>line two\r\n>",
         0},
        {kModeForward, 0, "", "", "Fw:Plans", "]line one\r\n]line two\r\n]", 2},
        // A received letter reopened: its sender is the receiver.
        {kModeReopen, 6, "Ann Lee <ann@example.org>", "Bob <bob@example.org>", "Plans",
         "line one\r\nline two\r\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << "/" << c.variant);
        ASSERT_TRUE(Open(c.mode, c.variant, original));
        EXPECT_EQ(form.lines[0], c.to);
        EXPECT_EQ(form.lines[1], c.cc);
        EXPECT_EQ(form.lines[3], c.subject);
        EXPECT_EQ(text.Text(), c.text);
        EXPECT_EQ(composer->attachmentNames().size(), c.attachments);
        EXPECT_EQ(form.attachmentsShown, c.attachments > 0);
        EXPECT_EQ(form.focus, ComposerLine::kText);
    }
}

TEST_F(WriteLetterTest, QuotesTheHtmlPartAsTextWhenThereIsNoPlainOne) {
    baseDataStruct* html =
        AddLetter(Box(kBoxReceive),
                  "From: a@b.org\r\nSubject: s\r\nContent-Type: text/html\r\n\r\n"
                  "<html><head><title>t</title><style>p{}</style></head><body><p>Fish &amp; "
                  "chips</p>\r\n<div>caf&#233;<br>end</div></body></html>\r\n");
    ASSERT_TRUE(Open(kModeWriteBack, 2, html));
    EXPECT_EQ(text.Text(), ">Fish & chips\r\n>café\r\n>end");
}

TEST_F(WriteLetterTest, NoAccountOrNoOriginalClosesTheWindow) {
    // Opened outside any account: the chooser offers the accounts.
    dialogs.choice = 0;
    ASSERT_TRUE(Open(kModeNew, 0, nullptr, sys().root()));
    EXPECT_EQ(dialogs.chooserTitle, kAccountSelectTitle);
    EXPECT_EQ(dialogs.offered, std::vector<std::string>{"home [ann]"});
    EXPECT_EQ(composer->account(), account);

    dialogs.choice = -1;
    EXPECT_FALSE(Open(kModeNew, 0, nullptr, sys().root()));
    EXPECT_TRUE(form.closed);
    EXPECT_FALSE(Open(kModeForward, 0, nullptr, account));
    EXPECT_TRUE(form.closed);
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>(2, std::string(kNoAccountMessage))));
}

TEST_F(WriteLetterTest, SendRefusesBadLinesWithTheirMessage) {
    struct Case {
        const char* to;
        const char* cc;
        const char* hidden;
        std::string_view message;
        ComposerLine focus;
    };
    const Case cases[] = {
        {"ann@example.org bob@example.org", "", "", kBadReceiverMessage, ComposerLine::kTo},
        {"ann@example.org", "bob@", "", kBadCcMessage, ComposerLine::kCc},
        {"", "", "x@@y", kBadConfidentialMessage, ComposerLine::kConfidential},
        {"", " ", "", kNoReceiverMessage, ComposerLine::kTo},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Open(kModeNew));
        Fill(c.to, c.cc, c.hidden);
        dialogs.messages.clear();
        EXPECT_FALSE(composer->Send()) << c.to;
        EXPECT_EQ(dialogs.messages, std::vector<std::string>{std::string(c.message)});
        EXPECT_EQ(form.focus, c.focus);
        EXPECT_FALSE(form.closed);
    }
    EXPECT_TRUE(Valid(kBoxPrepare).empty());
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(WriteLetterTest, SendStoresTheLetterAndMarksTheOriginal) {
    // Only CC is filled ("WriteBack to CC"), and a blind copy.
    ASSERT_TRUE(Open(kModeWriteBack, 3, original));
    form.SetLine(ComposerLine::kConfidential, "Secret <hidden@example.org>");
    form.SetLine(ComposerLine::kSubject, "Re:Plans für morgen");
    ASSERT_TRUE(composer->Send());

    const std::vector<baseDataStruct*> prepared = Valid(kBoxPrepare);
    ASSERT_EQ(prepared.size(), 1u);
    baseDataStruct* letter = prepared[0];
    EXPECT_TRUE(teststate(letter, LETTER_READ));
    const std::string raw = Text(letter);
    EXPECT_NE(raw.find("Subject: =?UTF-8?"), std::string::npos);
    EXPECT_EQ(raw.find("hidden@"), std::string::npos);
    EXPECT_EQ(getinfo(letter, kThisNode, kBlindCopyKey), "Secret <hidden@example.org>");
    const SmtpEnvelope envelope = ReadEnvelope(raw);
    EXPECT_EQ(envelope.from, "me@mail.example.org");
    EXPECT_EQ(envelope.recipients, std::vector<std::string>{"bob@example.org"});

    EXPECT_TRUE(teststate(original, LETTER_REPLIED));
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0].boxId, Box(kBoxPrepare)->nodeId());
    EXPECT_EQ(host.sent[0].letterPoint, TextToLong(getinfo(letter, kThisNode, "pointId")));
    EXPECT_TRUE(form.closed);

    ASSERT_TRUE(Open(kModeForward, 0, original));
    Fill("carl@example.org");
    ASSERT_TRUE(composer->Send());
    EXPECT_TRUE(teststate(original, LETTER_FORWARDED));
    // The forward carries both attachments of the original.
    const std::string forward = Text(Valid(kBoxPrepare).back());
    EXPECT_NE(forward.find("filename=a.bin"), std::string::npos);
    EXPECT_NE(forward.find("filename=b.txt"), std::string::npos);
}

TEST_F(WriteLetterTest, KeptAndReopenedLettersAreSavedOnce) {
    // Keep twice, then send: one letter, moved from drafts to prepare.
    ASSERT_TRUE(Open(kModeNew));
    Fill("ann@example.org");
    ASSERT_TRUE(composer->Keep());
    text.SetText("second thoughts");
    ASSERT_TRUE(composer->Keep());
    ASSERT_EQ(Valid(kBoxDrafts).size(), 1u);
    ASSERT_TRUE(composer->Send());
    EXPECT_TRUE(Valid(kBoxDrafts).empty());
    EXPECT_EQ(Letters(Box(kBoxDrafts))->firstSon(), nullptr);
    EXPECT_EQ(TextToLong(getinfo(Box(kBoxDrafts), kThisNode, "ValidateItemSum")), 0);
    ASSERT_EQ(Valid(kBoxPrepare).size(), 1u);

    // A reopened draft sent leaves one letter, in prepare.
    ASSERT_TRUE(Open(kModeNew));
    Fill("bob@example.org");
    ASSERT_TRUE(composer->Keep());
    baseDataStruct* draft = Valid(kBoxDrafts).at(0);
    ASSERT_TRUE(Open(kModeReopen, 6, draft, Box(kBoxDrafts)));
    EXPECT_EQ(form.lines[0], "bob@example.org");
    ASSERT_TRUE(composer->Send());
    EXPECT_TRUE(Valid(kBoxDrafts).empty());
    ASSERT_EQ(Valid(kBoxPrepare).size(), 2u);

    // A prepared letter reopened and sent is saved in place.
    baseDataStruct* prepared = Valid(kBoxPrepare).back();
    ASSERT_TRUE(Open(kModeReopen, 5, prepared, Box(kBoxPrepare)));
    text.SetText("changed");
    ASSERT_TRUE(composer->Send());
    ASSERT_EQ(Valid(kBoxPrepare).size(), 2u);
    EXPECT_NE(Text(Valid(kBoxPrepare).back()).find(CMailCodec::EncodeBase64("changed")),
              std::string::npos);

    // Without a drafts box, Keep stores into the prepare box.
    deletepoint(Box(kBoxDrafts));
    ASSERT_TRUE(Open(kModeNew));
    Fill("ann@example.org");
    ASSERT_TRUE(composer->Keep());
    EXPECT_EQ(Valid(kBoxPrepare).size(), 3u);
}

TEST_F(WriteLetterTest, AttachmentsAreAddedOnceAndRemoved) {
    const std::string path = dir.path() + "/notes.txt";
    std::ofstream(path) << "notes";
    ASSERT_TRUE(Open(kModeForward, 0, original));
    dialogs.files = {path, path};
    composer->AddFiles();
    composer->AddFiles();
    EXPECT_EQ(files.rows, (std::vector<std::string>{"a.bin", "b.txt", "notes.txt"}));

    files.selected = {0, 1};
    composer->DeleteSelectedFiles();
    EXPECT_EQ(files.rows, std::vector<std::string>{"notes.txt"});
    EXPECT_TRUE(form.attachmentsShown);
    files.selected = {0};
    composer->DeleteSelectedFiles();
    EXPECT_TRUE(files.rows.empty());
    EXPECT_FALSE(form.attachmentsShown);
}

TEST_F(WriteLetterTest, TemplatesAndAddressMacros) {
    baseDataStruct* folder = sys().DataGetSysPoint(account, kKindTFolder, kTFolderNewLetter);
    baseDataStruct* link = mail().SysReadLinkTree(folder, kLoadProperty | kLoadSdata);
    baseDataStruct* html = NewTemplate(mail(), link);
    ASSERT_TRUE(SaveTemplateText(mail(), html, "Dear @@RECEIVER@@, cc @@CC_EMAIL@@@@CURSOR@@ -"));
    ASSERT_TRUE(SetTemplateFormat(mail(), html, kHtmlFormat));
    ASSERT_TRUE(SetDefaultTemplate(mail(), html));

    // The default template is selected and applied; the macros wait for their lines.
    ASSERT_TRUE(Open(kModeNew));
    EXPECT_EQ(templates.Count(), 2);
    EXPECT_EQ(templates.Text(templates.Selection()), "New Template");
    EXPECT_EQ(formats.Selection(), 1);
    EXPECT_EQ(text.Text(), "Dear @@RECEIVER@@, cc @@CC_EMAIL@@ -");

    form.SetLine(ComposerLine::kTo, "Ann Lee <ann@example.org>");
    composer->LeaveLine(ComposerLine::kTo);
    EXPECT_EQ(text.Text(), "Dear Ann Lee, cc @@CC_EMAIL@@ -");
    form.SetLine(ComposerLine::kCc, "bob@example.org");
    composer->LeaveLine(ComposerLine::kCc);
    EXPECT_EQ(text.Text(), "Dear Ann Lee, cc bob@example.org -");

    // The picker's lines replace all three; the Confidential line shows.
    picker.answer = {"x@example.org", "", "y@example.org"};
    composer->PickReceivers(ComposerLine::kConfidential);
    EXPECT_EQ(form.lines[2], "y@example.org");
    EXPECT_TRUE(form.confidentialShown);
    EXPECT_EQ(form.focus, ComposerLine::kConfidential);
}

}  // namespace
}  // namespace korvo
