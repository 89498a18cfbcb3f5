#include "shell/mail_transfer_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "content/vcard.h"
#include "platform/private_file.h"
#include "shell/command_line.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

std::string Fixture(const char* name) {
    return std::string(KORVO_ARCHIVE_DIR) + "/" + name;
}

CommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "korvo");
    return ParseCommandLine(int(args.size()), args.data());
}

TEST(MailTransferParse, ArgumentsAndMistakes) {
    using Kind = MailTransferRequest::Kind;
    struct Case {
        std::vector<const char*> args;
        bool valid;
        Kind kind;
        size_t paths;
    } cases[] = {
        {{"--import", "a.mbox", "b", "--box", "u/a/b"}, true, Kind::kImport, 2},
        {{"--box", "u/a/b", "--import", "x.eml", "--data-dir", "/d"}, true, Kind::kImport, 1},
        {{"--export", "u/a/b", "--mbox", "out"}, true, Kind::kExport, 0},
        {{"--import", "--box", "u/a/b"}, false, Kind::kNone, 0},
        {{"--import", "a", "--mbox", "m", "--box", "u/a/b"}, false, Kind::kNone, 0},
        {{"--import", "a"}, false, Kind::kNone, 0},
        {{"--export", "u/a/b"}, false, Kind::kNone, 0},
        {{"--export", "u/a/b", "--import", "a", "--box", "u/a/b"}, false, Kind::kNone, 0},
        {{"--box", "u/a/b", "--receive-all"}, false, Kind::kNone, 0},
        {{"--import", "a", "--box", "u/a/b", "--send-all"}, false, Kind::kNone, 0},
    };
    for (const Case& c : cases) {
        const CommandLine command = Parse(c.args);
        SCOPED_TRACE(c.args[0] + std::string(" ") + c.args[1]);
        EXPECT_EQ(command.valid, c.valid) << command.error;
        if (!c.valid) {
            std::ostringstream out, err;
            EXPECT_EQ(RunCommandLineTasks(command, out, err), 2);
            continue;
        }
        EXPECT_EQ(command.transfer.kind, c.kind);
        EXPECT_EQ(command.transfer.paths.size(), c.paths);
        EXPECT_EQ(command.transfer.box, "u/a/b");
    }
    EXPECT_EQ(SplitBoxPath("ann/a//b/In//box//"),
              (std::vector<std::string>{"ann", "a/b", "In/box/"}));
    EXPECT_EQ(SplitBoxPath("u//a"), (std::vector<std::string>{"u/a"}));
    EXPECT_EQ(SplitBoxPath("u/"), (std::vector<std::string>{"u", ""}));
}

class MailTransferCommandTest : public test::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        AddAccount(AddUser("ann"), "a/b");
        baseDataStruct* locked = AddUser("carl", "carl.sdb");
        AddAccount(locked, "c");
        setinfo(locked, kThisNode, "LockState", "lock");
        sys().DataSaveList(locked, 1);
        stores.reset();  // the run opens the stores itself
    }

    int Run(MailTransferRequest request, std::string* printed, std::string* errors = nullptr) {
        CommandLine command;
        command.transfer = std::move(request);
        std::ostringstream out, err;
        const int status = RunCommandLineTasks(command, out, err);
        *printed = out.str();
        if (errors) *errors = err.str();
        return status;
    }
};

TEST_F(MailTransferCommandTest, ImportAndExportByBoxPath) {
    using Kind = MailTransferRequest::Kind;
    const std::string hostile = dir.path() + "hostile.mbox";
    WritePrivateFile(dir.path(), "hostile.mbox", "no envelope line\n");
    struct Case {
        const char* name;
        MailTransferRequest request;
        int status;
        std::string printed;
    } cases[] = {
        {"import",
         {Kind::kImport,
          {Fixture("python.mbox"), Fixture("single.eml")},
          "ann/a//b/Receive",
          "",
          "",
          ""},
         0,
         "4 letters imported\n"},
        {"a path that is no mbox",
         {Kind::kImport, {hostile, Fixture("single.eml")}, "ann/a//b/Drafts", "", "", ""},
         1,
         "1 letter imported, 1 skipped\n"},
        {"no such box",
         {Kind::kImport, {Fixture("single.eml")}, "ann/a/b/Receive", "", "", ""},
         1,
         ""},
        {"a locked user",
         {Kind::kImport, {Fixture("single.eml")}, "carl/c/Receive", "", "", ""},
         1,
         ""},
        {"export",
         {Kind::kExport, {}, "ann/a//b/Receive", dir.path() + "out.mbox", "", ""},
         0,
         "4 letters exported\n"},
        {"export into no folder",
         {Kind::kExport, {}, "ann/a//b/Receive", dir.path() + "no/out.mbox", "", ""},
         1,
         "0 letters exported\n"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string printed, errors;
        EXPECT_EQ(Run(c.request, &printed, &errors), c.status) << errors;
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(errors.empty(), c.status == 0) << errors;
    }
    // The export holds what the first import brought.
    const std::string exported = test::ReadFile(dir.path() + "out.mbox");
    EXPECT_EQ(exported.rfind("From ", 0), 0u);
    EXPECT_NE(exported.find("\n>From the start of a line"), std::string::npos);
    EXPECT_NE(exported.find("Subject: single\nStatus: RO\n"), std::string::npos);
}

TEST_F(MailTransferCommandTest, VCardsInAndOutOfBookFolders) {
    using Kind = MailTransferRequest::Kind;
    WritePrivateFile(dir.path(), "in.vcf",
                     "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann\r\nEMAIL:ann@x.org\r\nEND:VCARD\r\n"
                     "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bo\r\nTEL:1\r\nEND:VCARD\r\n");
    auto request = [](Kind kind, std::string file, std::string book) {
        MailTransferRequest r;
        r.kind = kind;
        r.vcard = std::move(file);
        r.book = std::move(book);
        return r;
    };
    struct Case {
        const char* name;
        MailTransferRequest request;
        int status;
        std::string printed;
    } cases[] = {
        {"into the account's book",
         request(Kind::kImportVCard, dir.path() + "in.vcf", "ann/a//b/Private"), 0,
         "2 persons imported\n"},
        {"into the user's own book",
         request(Kind::kImportVCard, dir.path() + "in.vcf", "ann//Public"), 0,
         "2 persons imported\n"},
        {"no such folder", request(Kind::kImportVCard, dir.path() + "in.vcf", "ann//Nothing"), 1,
         ""},
        {"no such file", request(Kind::kImportVCard, dir.path() + "none.vcf", "ann//Public"), 1,
         "0 persons imported\n"},
        {"out of the user's own book",
         request(Kind::kExportVCard, dir.path() + "out.vcf", "ann//Public"), 0,
         "2 persons exported\n"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string printed, errors;
        EXPECT_EQ(Run(c.request, &printed, &errors), c.status) << errors;
        EXPECT_EQ(printed, c.printed);
    }
    const std::vector<PersonKeys> back = ReadVCards(test::ReadFile(dir.path() + "out.vcf"));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Get("LASTNAME"), "Lee");
    EXPECT_EQ(back[0].Get("email"), "ann@x.org");
    EXPECT_EQ(back[1].Get("name"), "Bo");
    EXPECT_EQ(back[1].Get("PHONEHOME"), "1");
    EXPECT_FALSE(Parse({"--import-vcard", "f", "--box", "u/a/b"}).valid);
    EXPECT_FALSE(Parse({"--import-vcard", "f"}).valid);
    EXPECT_TRUE(Parse({"--export-vcard", "f", "--book", "u//b"}).valid);
}

}  // namespace
}  // namespace korvo
