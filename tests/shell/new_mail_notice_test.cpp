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
