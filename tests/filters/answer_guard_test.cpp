// The loop guards of automatic answers and forwards.
#include "filters/answer_guard.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

TEST(AnswerGuardTest, EachGuardStopsAnAnswerOnItsOwn) {
    const std::string from = "From: Kim <Kim@X.org>\r\n";
    struct Case {
        std::string header;
        std::string answered;
        AnswerBar bar;
    } cases[] = {
        {from, "", AnswerBar::kNone},
        {from + "Auto-Submitted: no\r\n", "", AnswerBar::kNone},
        {from + "Auto-Submitted: auto-replied\r\n", "", AnswerBar::kAutoSubmitted},
        {from + "auto-submitted: Auto-Generated\r\n", "", AnswerBar::kAutoSubmitted},
        {from + "Precedence: bulk\r\n", "", AnswerBar::kMassMail},
        {from + "Precedence: List\r\n", "", AnswerBar::kMassMail},
        {from + "List-Id: <news.x.org>\r\n", "", AnswerBar::kMassMail},
        {"Subject: no sender\r\n", "", AnswerBar::kNoSender},
        {"Return-Path: <>\r\n" + from, "", AnswerBar::kNoSender},
        {"From: MAILER-DAEMON@x.org\r\n", "", AnswerBar::kNoSender},
        {"From: Mail Delivery <postmaster@x.org>\r\n", "", AnswerBar::kNoSender},
        {"From: Me <ME@mail.example.org>\r\n", "", AnswerBar::kOwnAddress},
        {from, "20261208 ann@x.org kim@x.org", AnswerBar::kAnsweredToday},
        {from, "20261207 kim@x.org", AnswerBar::kNone},
        // The envelope sender outranks From.
        {"Return-Path: <bounce@lists.x.org>\r\n" + from, "20261208 kim@x.org", AnswerBar::kNone},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AutoAnswerBar(c.header, "me@mail.example.org", c.answered, "20261208"), c.bar)
            << c.header << " / " << c.answered;
    }
}

}  // namespace
}  // namespace korvo
