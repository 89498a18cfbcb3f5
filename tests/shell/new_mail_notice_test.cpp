#include "shell/new_mail_notice.h"

#include <gtest/gtest.h>

#include "model/prompter.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

TEST(NewMailNotice, CountsLettersNamesTheFirstSendersOnceAndStartsAfresh) {
    const struct {
        std::vector<std::string> senders;
        const char* title;
        const char* body;
    } cases[] = {
        {{}, "", ""},
        {{"Ann"}, "1 new letter", "From Ann"},
        {{"Ann", "Bob", "Ann"}, "3 new letters", "From Ann and Bob"},
        {{"Ann", "Bob", "Cy", "Dee", "Ann", "Eve"},
         "6 new letters",
         "From Ann, Bob, Cy and 2 more"},
        {{""}, "1 new letter", "From (no sender)"},
    };
    for (const auto& c : cases) {
        NewMailNotice notice;
        for (const std::string& sender : c.senders) notice.Arrived(sender);
        const NewMailNotice::Text text = notice.Take();
        EXPECT_EQ(text.title, c.title);
        EXPECT_EQ(text.body, c.body);
        EXPECT_TRUE(notice.Take().title.empty()) << "told once";
    }
}

TEST(NewMailNotice, ListsTheLettersOfMessageRulesWithTheSignalsAsked) {
    auto asked = [](std::string subject, bool message, bool icon, std::string voice) {
        ArrivedLetter letter;
        letter.sender = "Kim";
        letter.subject = std::move(subject);
        letter.message = message;
        letter.playIcon = icon;
        letter.voice = std::move(voice);
        return letter;
    };
    NewMailNotice notice;
    notice.Arrived("Kim");
    notice.RulesAsked(asked("Urgent", true, false, "/s/ring.wav"));
    notice.RulesAsked(asked("Plain", false, false, ""));
    notice.RulesAsked(asked("", true, true, "/s/ring.wav"));
    NewMailNotice::Text text = notice.Take();
    EXPECT_EQ(text.title, "1 new letter");
    EXPECT_EQ(text.body, "From Kim\nFilter rules:\nUrgent (Kim)\n(no subject) (Kim)");
    EXPECT_TRUE(text.playIcon);
    EXPECT_EQ(text.voices, std::vector<std::string>{"/s/ring.wav"});

    // Without the new-mail notice (switched off) the rules' letters are told all the same.
    for (int i = 0; i < 7; ++i) notice.RulesAsked(asked("S" + std::to_string(i), true, false, ""));
    text = notice.Take();
    EXPECT_EQ(text.title, "7 letters for filter rules");
    EXPECT_EQ(text.body,
              "Filter rules:\nS0 (Kim)\nS1 (Kim)\nS2 (Kim)\nS3 (Kim)\nS4 (Kim)\nand 2 more");
    EXPECT_FALSE(text.playIcon);
    EXPECT_TRUE(notice.Take().title.empty());
}

TEST(NewMailNotice, OnUnlessTheUserSwitchedItOff) {
    auto user = CreateRootNode();
    MessageHookPrompter prompter;
    UserForm form;
    form.name = "ann";
    ASSERT_TRUE(form.Apply(user.get(), prompter));
    EXPECT_TRUE(NewMailNoticeWanted(user.get()));
    EXPECT_EQ(getinfo(user.get(), kThisNode, kNewMailNoticeKey), kAbsent) << "no key by default";

    UserForm off(user.get());
    EXPECT_TRUE(off.newMailNotice);
    off.newMailNotice = false;
    ASSERT_TRUE(off.Apply(user.get(), prompter));
    EXPECT_FALSE(NewMailNoticeWanted(user.get()));
    EXPECT_FALSE(UserForm(user.get()).newMailNotice);
}

}  // namespace
}  // namespace korvo
