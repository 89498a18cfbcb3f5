#include "store/diag_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

// The lines of the log file with their timestamps checked and cut off.
std::vector<std::string> Lines(const DiagLog& log) {
    std::vector<std::string> out;
    std::istringstream in(test::ReadFile(log.filePath()));
    const std::regex stamp(R"(^\d\d:\d\d:\d\d\.\d\d\d (!!Error |Warning |Message )(.*)$)");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, stamp)) << line;
        out.push_back(m[1].str() + m[2].str());
    }
    return out;
}

class DiagLogTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::ScopedDataDir dataDir{dir.path()};
    DiagLog log;
};

TEST_F(DiagLogTest, FileNameGetsTxtOnlyWhenThePathHasNoDot) {
    log.SetFile("Korvo");
    const bool dotted = dir.path().find('.') != std::string::npos;
    EXPECT_EQ(log.filePath(), dir.path() + (dotted ? "Korvo" : "Korvo.txt"));
    {
        test::ScopedDataDir plain("/var/tmp/korvo/MailData");
        log.SetFile("Korvo");
        EXPECT_EQ(log.filePath(), "/var/tmp/korvo/MailData/Korvo.txt");
    }
    {
        test::ScopedDataDir dotted("/home/ann/.local/share/korvo/MailData/");
        log.SetFile("Korvo");
        EXPECT_EQ(log.filePath(), "/home/ann/.local/share/korvo/MailData/Korvo");
    }
}

TEST_F(DiagLogTest, FileIsPrivateAndALinkInItsPlaceIsNotFollowed) {
    test::ScopedUmask permissive(0);
    log.SetFile("Korvo.log");
    log.Line(1, "first");
    EXPECT_EQ(test::ModeOf(log.filePath()), 0600u);
    ASSERT_EQ(::unlink(log.filePath().c_str()), 0);
    std::ofstream(dir.path() + "outside") << "keep";
    ASSERT_EQ(::symlink((dir.path() + "outside").c_str(), log.filePath().c_str()), 0);
    log.Line(1, "second");
    EXPECT_EQ(test::ReadFile(dir.path() + "outside"), "keep");
}

TEST_F(DiagLogTest, NestingIndentsBeginAndEndAlike) {
    log.SetThreshold(DiagLog::kMessage);
    log.SetFile("Korvo.log");
    log.Line(1, "top");
    log.Line(2, "++Outer() begin");
    log.Line(2, "++Inner() begin");
    log.Line(1, "inside %d", 7);
    log.Line(2, "--Inner() over");
    log.Line(2, "--Outer() over");
    log.Line(1, "after");
    EXPECT_EQ(log.depth(), 0);
    const std::vector<std::string> expected = {
        "Message ",
        "Message ",
        "Message ",  // three empty lines from SetFile
        "Warning top",
        "Message | Outer() begin",
        "Message | | Inner() begin",
        "Warning | | inside 7",
        "Message | | Inner() over",
        "Message | Outer() over",
        "Warning after",
    };
    EXPECT_EQ(Lines(log), expected);
}

TEST_F(DiagLogTest, LinesAboveTheThresholdAreDroppedAndLeaveDepthAlone) {
    log.SetFile("Korvo.log");
    EXPECT_EQ(log.threshold(), DiagLog::kWarning);
    log.Line(2, "++Quiet() begin");
    EXPECT_EQ(log.depth(), 0);
    log.Line(1, "++Loud() begin");
    log.Line(2, "--Quiet() over");
    EXPECT_EQ(log.depth(), 2);
    log.Line(1, "--Loud() over");
    EXPECT_EQ(log.depth(), 0);
    log.Line(1, "--unbalanced");
    EXPECT_EQ(log.depth(), 0);  // never below zero
    EXPECT_EQ(Lines(log),
              (std::vector<std::string>{"Warning | Loud() begin", "Warning | Loud() over",
                                        "Warning unbalanced"}));
}

TEST_F(DiagLogTest, MarkerLinesFrameTripleFormats) {
    log.SetFile("Korvo.log");
    log.Line(1, "+++Start");
    log.Line(1, "---Stop");
    log.Line(1, "ab+c keeps its text");  // a plain message is never cut
    EXPECT_EQ(Lines(log),
              (std::vector<std::string>{"Warning | ", "Warning | Start", "Warning | Stop",
                                        "Warning | ", "Warning ab+c keeps its text"}));
}

TEST_F(DiagLogTest, ErrorsAreWrittenAndShown) {
    log.SetFile("Korvo.log");
    test::MessageRecorder recorder;
    log.Line(0, "--CBaseDataManage::DataGetPointBlock(long lPointId) Point not find!");
    log.Line(1, "only a warning");
    ASSERT_EQ(recorder.messages().size(), 1u);
    EXPECT_NE(recorder.messages()[0].find(
                  "!!Error CBaseDataManage::DataGetPointBlock(long lPointId) Point not find!"),
              std::string::npos);
    EXPECT_EQ(Lines(log)[0],
              "!!Error CBaseDataManage::DataGetPointBlock(long lPointId) Point not find!");
}

TEST_F(DiagLogTest, UnwritableFileLosesLinesButStillShowsErrors) {
    test::ScopedDataDir missing(dir.path() + "does/not/exist/");
    log.SetFile("Korvo");
    test::MessageRecorder recorder;
    log.Line(1, "lost");
    log.Line(0, "error %s", "shown");
    EXPECT_EQ(test::ReadFile(log.filePath()), "");
    ASSERT_EQ(recorder.messages().size(), 1u);
    EXPECT_NE(recorder.messages()[0].find("error shown"), std::string::npos);
    // Without any file at all.
    DiagLog unset;
    unset.Line(1, "nowhere");
    EXPECT_EQ(unset.filePath(), "");
}

TEST_F(DiagLogTest, LongLinesAreCutAndArgumentsAreNotFormats) {
    log.SetFile("Korvo.log");
    const std::string big(10000, 'x');
    log.Line(1, "%s", big.c_str());
    log.Line(1, "%s", "100% %s %n");
    const std::vector<std::string> lines = Lines(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size() + 13, 4999u);  // 13 = timestamp and blank, cut off by Lines()
    EXPECT_EQ(lines[1], "Warning 100% %s %n");
}

TEST_F(DiagLogTest, ScopeWritesBeginAndEndWords) {
    TheLog().SetFile("Global.log");
    TheLog().SetThreshold(DiagLog::kMessage);
    {
        LogScope scope("CSysData::SysCreateUser()", "end");
        LogScope inner("100%s()");
    }
    TheLog().SetThreshold(DiagLog::kWarning);
    std::istringstream in(test::ReadFile(dir.path() + "Global.log"));
    std::vector<std::string> texts;
    for (std::string line; std::getline(in, line);) texts.push_back(line.substr(13));
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Message | CSysData::SysCreateUser() begin", "Message | | 100%s() begin",
                         "Message | | 100%s() over", "Message | CSysData::SysCreateUser() end"}));
}

}  // namespace
}  // namespace korvo
