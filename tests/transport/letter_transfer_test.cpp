#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "content/letter_node.h"
#include "model/sys_schema.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "tests/support/faulty_store_env.h"
#include "transport/letter_export.h"
#include "transport/letter_import.h"
#include "transport/task_engine.h"
#include "transport/task_work.h"
#include "controls/memory_list_view.h"

namespace korvo {
namespace {

std::string Fixture(const char* name) {
    return std::string(KORVO_ARCHIVE_DIR) + "/" + name;
}

constexpr uint32_t kMarks = STATE_VALID | LETTER_READ | LETTER_REPLIED;

class LetterTransferTest : public test::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        account = AddAccount(AddUser("ann"), "home");
        receive = sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
        drafts = sys().DataGetSysPoint(account, kKindBox, kBoxDrafts);
        ASSERT_TRUE(receive && drafts);
    }

    std::vector<baseDataStruct*> Letters(baseDataStruct* box) {
        std::vector<baseDataStruct*> letters;
        baseDataStruct* link =
            mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata | kLoadSdata);
        for (baseDataStruct* l = link ? link->firstSon() : nullptr; l; l = l->nextBrother())
            letters.push_back(l);
        return letters;
    }

    // The raw text as stored (an imported letter keeps none in memory).
    std::string Raw(baseDataStruct* letter) {
        EXPECT_TRUE(mail().DataLoadPoint(letter, -1, kLoadSdata));
        return std::string(getdata(letter, "SDATA").value_or(""));
    }

    baseDataStruct* account = nullptr;
    baseDataStruct* receive = nullptr;
    baseDataStruct* drafts = nullptr;
};

TEST_F(LetterTransferTest, ImportedLettersAreStoredAsReceivedOnesWithTheirMarks) {
    const ImportResult result = ImportLetters(
        sys(), receive, {Fixture("python.mbox"), Fixture("maildir"), Fixture("single.eml")});
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.stored, 8);
    Reopen();
    receive = findinfo(sys().root(), "subType", "receive");
    ASSERT_TRUE(receive);
    const std::vector<baseDataStruct*> letters = Letters(receive);
    ASSERT_EQ(letters.size(), 8u);
    const uint32_t marks[] = {STATE_VALID | LETTER_READ,
                              STATE_VALID | LETTER_READ | LETTER_REPLIED,
                              STATE_VALID,
                              STATE_VALID | LETTER_READ,
                              STATE_VALID | LETTER_READ | LETTER_REPLIED,
                              0,
                              STATE_VALID,
                              STATE_VALID | LETTER_READ};
    // The same text received: the node the receive path makes of it, before its marks.
    baseDataStruct scratch;
    for (size_t i = 0; i < letters.size(); ++i) {
        SCOPED_TRACE(i);
        baseDataStruct* letter = letters[i];
        const std::string raw(getdata(letter, "SDATA").value_or(""));
        EXPECT_EQ(getstate(letter) & kMarks, marks[i]);
        EXPECT_EQ(test::Get(letter, "MailId"), "-1");
        EXPECT_EQ(test::Get(letter, "mailLong"), std::to_string(raw.size()));
        EXPECT_EQ(raw.find("\n"), raw.find("\r\n") + 1);
        baseDataStruct* received = AddLetterNode(&scratch, long(raw.size()), "", 1, raw);
        mailInitProperty(received, receive);
        EXPECT_EQ(getdata(letter, "STRDATA"), getdata(received, "STRDATA"));
        EXPECT_EQ(getstate(letter) & ~kMarks & 0xFFFF0000,
                  getstate(received) & ~kMarks & 0xFFFF0000);
        EXPECT_EQ(test::Get(letter, "ColumnData"), test::Get(received, "ColumnData"));
    }
    EXPECT_EQ(test::Get(letters[0], "RECEIVETIME"), ReceiveTimeText(1709634000));
    EXPECT_EQ(test::Get(receive, "ValidateItemSum"), "7");
    EXPECT_EQ(test::Get(receive, "DeleteItemSum"), "1");
    EXPECT_EQ(test::Get(receive, "UnreadItemSum"), "3");
}

TEST_F(LetterTransferTest, ExportAndImportAgainKeepEveryByte) {
    ASSERT_TRUE(
        ImportLetters(sys(), receive,
                      {Fixture("python.mbox"), Fixture("mboxrd-crlf.mbox"), Fixture("maildir")})
            .ok());
    const std::string first = dir.path() + "first.mbox";
    const std::string second = dir.path() + "second.mbox";
    const ExportResult out = ExportBox(sys(), receive, first);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.written, 9);
    const ImportResult in = ImportLetters(sys(), drafts, {first});
    EXPECT_TRUE(in.ok());
    ASSERT_TRUE(ExportBox(sys(), drafts, second).ok);
    EXPECT_EQ(test::ReadFile(first), test::ReadFile(second));

    const auto a = Letters(receive);
    const auto b = Letters(drafts);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_FALSE(Raw(a[i]).empty());
        EXPECT_EQ(Raw(a[i]), Raw(b[i])) << i;
        EXPECT_EQ(getstate(a[i]) & kMarks, getstate(b[i]) & kMarks) << i;
        EXPECT_EQ(test::Get(a[i], "RECEIVETIME"), test::Get(b[i], "RECEIVETIME")) << i;
    }
    const std::string eml = dir.path() + "one.eml";
    ASSERT_TRUE(SaveLetterAs(sys(), a[0], eml).ok);
    EXPECT_EQ(test::ReadFile(eml), Raw(a[0]));
}

TEST_F(LetterTransferTest, AFailingDiskLeavesTheChosenNameAsItWas) {
    ASSERT_TRUE(ImportLetters(sys(), receive, {Fixture("python.mbox")}).ok());
    const std::string target = dir.path() + "out/kept.mbox";
    std::filesystem::create_directories(dir.path() + "out");
    struct Case {
        const char* name;
        void (*arm)(test::FaultyStoreEnv&);
    } cases[] = {
        {"write fails", [](test::FaultyStoreEnv& env) { env.FailWrite(1); }},
        {"write torn", [](test::FaultyStoreEnv& env) { env.FailWrite(1, EIO, true); }},
        {"sync fails", [](test::FaultyStoreEnv& env) { env.FailSync(1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(target) << "old";
        test::FaultyStoreEnv env;
        c.arm(env);
        const ExportResult result = ExportBox(sys(), receive, target);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.empty());
        EXPECT_EQ(test::ReadFile(target), "old");
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "out")) {
            (void)entry;
            ++files;
        }
        EXPECT_EQ(files, 1);
    }
}

TEST_F(LetterTransferTest, ACancelledImportKeepsTheLettersStoredSoFar) {
    class CancelAfterTwo : public LetterListener {
      public:
        void ShowLetter(baseDataStruct*) override {
            if (++shown == 2) cancel = true;
        }
        void BoxChanged(baseDataStruct*) override {}
        int shown = 0;
        std::atomic<bool> cancel{false};
    } listener;
    ImportOptions options;
    options.listener = &listener;
    options.cancelled = [&] { return listener.cancel.load(); };
    const ImportResult result = ImportLetters(sys(), receive, {Fixture("python.mbox")}, options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.stored, 2);
    Reopen();
    receive = findinfo(sys().root(), "subType", "receive");
    EXPECT_EQ(Letters(receive).size(), 2u);
}


// The import as the desktop runs it: a job of the task engine on its worker thread.
TEST_F(LetterTransferTest, AnImportTaskSaysHowManyCameInHoweverItEnds) {
    struct Events : TaskWindowEvents {
        void SetTitle(const std::string&) override {}
        void CloseWindow() override {}
        void RaiseMailIndicator(int) override {}
    } events;
    // Stops the import after its `at`-th letter: by the task's Cancel, or by deleting the box
    // as the user may while the worker stores into it.
    struct Stopper : LetterListener {
        std::function<void()> stop;
        int at = 0, shown = 0;
        void ShowLetter(baseDataStruct*) override {
            if (++shown == at && stop) stop();
        }
        void BoxChanged(baseDataStruct*) override {}
    };
    enum Stop { kNone, kCancel, kDeleteBox, kNoBox };
    const struct {
        Stop stop;
        long stored;  // in the box afterwards (none when it was deleted)
        const char* state;
        const char* info;
    } cases[] = {
        {kNone, 7, "Run over!", "7 letters imported"},
        {kCancel, 2, "Faile", "2 letters imported, cancelled"},
        {kDeleteBox, -1, "Faile", "2 letters imported, cancelled: the box was deleted"},
        {kNoBox, 0, "Faile", "0 letters imported, cancelled: the box was deleted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.info);
        baseDataStruct* owner = AddAccount(UserNamed("ann"), "a" + std::to_string(int(c.stop)));
        baseDataStruct* box = sys().DataGetSysPoint(owner, kKindBox, kBoxReceive);
        ASSERT_TRUE(box);
        MemoryListView view;
        CBaseListControl list(view);
        CDlgRSMail engine(list, events, {}, {});
        engine.SetupList(600);
        Stopper stopper;
        stopper.at = 2;
        if (c.stop == kCancel) stopper.stop = [&] { engine.Cancel(); };
        if (c.stop == kDeleteBox) stopper.stop = [&] { sys().SysDeletePointItem(box, &tree); };
        const uint32_t id = c.stop == kNoBox ? 0xFFFFFF : box->nodeId();
        engine.AddJob(kImportTaskName, "receive [ann]",
                      MakeImportJob(*stores, id, {Fixture("python.mbox"), Fixture("maildir")},
                                    &stopper));
        engine.Tick();
        for (int i = 0; i < 5000 && !engine.workerDone(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(engine.workerDone());
        engine.Tick();
        EXPECT_EQ(view.CellText(0, 0), kImportTaskName);
        EXPECT_EQ(view.CellText(0, 2), c.state);
        EXPECT_EQ(view.CellText(0, 3), c.info);
        if (c.stored >= 0) {
            EXPECT_EQ(Letters(box).size(), size_t(c.stored));
        }
    }
}

}  // namespace
}  // namespace korvo
