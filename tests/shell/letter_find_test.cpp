#include "shell/letter_find.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "content/letter_node.h"
#include "platform/model_lock.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

std::string Letter(const std::string& from, const std::string& subject, const std::string& date,
                   const std::string& body = "nothing here", const std::string& extraHead = "") {
    return "From: " + from + "\r\nTo: Bob <bob@example.org>\r\nSubject: " + subject +
           "\r\nDate: " + date + "\r\n" + extraHead + "\r\n" + body + "\r\n";
}

const std::string kMultipart =
    "From: Ann <ann@example.org>\r\nSubject: Plans\r\nDate: Tue, 6 Jan 2004 09:05:33 +0800\r\n"
    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
    "--b1\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "PHA+R3LDvMOfZSBhdXMgPGI+S8O2bG48L2I+PC9wPg==\r\n"  // <p>Grüße aus <b>Köln</b></p>
    "--b1\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment; "
    "filename=\"Quarterly-Report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n"
    "--b1--\r\n";

FindQuery Q(const char* words, bool body = false, bool attachments = false,
            const char* firstDay = "", const char* lastDay = "") {
    return FindQuery{words, body, attachments, firstDay, lastDay};
}

TEST(MatchLetter, WordsHeadersBodyAttachmentsAndDays) {
    const std::string plain = Letter(
        "=?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <jm@example.de>",
        "=?ISO-8859-1?Q?Gr=FC=DFe_zum_Fest?=", "Tue, 6 Jan 2004 09:05:33 +0800", "the secret word");
    struct Case {
        const std::string* raw;
        FindQuery query;
        bool match;
    };
    const Case cases[] = {
        {&plain, Q("jürgen"), true},          // decoded sender, case folded
        {&plain, Q("MÜLLER grüße"), true},    // words from two fields, both present
        {&plain, Q("müller absent"), false},  // every word must be present
        {&plain, Q("bob@example"), true},     // receivers count
        {&plain, Q("secret"), false},         // the body only when asked
        {&plain, Q("secret", true), true},
        {&kMultipart, Q("köln", true), true},  // decoded HTML part
        {&kMultipart, Q("<b>", true), false},  // markup is not text
        {&kMultipart, Q("quarterly"), false},  // names only when asked
        {&kMultipart, Q("quarterly", false, true), true},
        {&kMultipart, Q("quarterly köln", true, true), true},
        {&plain, Q("", false, false, "2004-01-06", "2004-01-06"), true},  // days include both ends
        {&plain, Q("", false, false, "2004-01-07", ""), false},
        {&plain, Q("", false, false, "", "2004-01-05"), false},
        {&plain, Q("jürgen", false, false, "2003-12-01", "2004-02-01"), true},
    };
    for (const Case& c : cases) {
        FindHit hit;
        EXPECT_EQ(MatchLetter(WordSearch(c.query.words), c.query, *c.raw, "", &hit), c.match)
            << c.query.words << " " << c.query.firstDay << ".." << c.query.lastDay;
        if (c.match) {
            EXPECT_EQ(hit.date, "2004-01-06 09:05");
        }
    }
    // Without a Date field the letter's arrival counts.
    const std::string undated = "From: a@b\r\nSubject: x\r\n\r\nbody\r\n";
    const FindQuery january = Q("", false, false, "2004-01-01", "2004-01-31");
    EXPECT_TRUE(MatchLetter(WordSearch(), january, undated, "2004-01-20 10:00", nullptr));
    EXPECT_FALSE(MatchLetter(WordSearch(), january, undated, "2004-02-20 10:00", nullptr));
    EXPECT_FALSE(MatchLetter(WordSearch(), january, undated, "-1", nullptr));
}

class LetterFindTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        user = AddUser("ann");
        home = AddAccount(user, "home");
        work = AddAccount(user, "work");
    }
    baseDataStruct* Box(baseDataStruct* account, int subKind) {
        return sys().DataGetSysPoint(account, kKindBox, subKind);
    }
    baseDataStruct* Add(baseDataStruct* box, const std::string& raw) {
        baseDataStruct* letters = mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
        baseDataStruct* letter = AddSonText(letters, "type =letter");
        setinfo(letter, kThisNode, "SDATA", raw);
        mailInitProperty(letter, box, &mail());
        mail().DataSavePoint(letter);
        freedata(letter, 8);  // as after a restart: the text stays in the file
        return letter;
    }
    std::vector<FindHit> Run(baseDataStruct* scope, FindQuery query, bool* complete = nullptr) {
        LetterFind find(sys(), scope, std::move(query));
        std::vector<FindHit> hits;
        std::atomic<bool> cancel{false};
        const bool done = find.Run(cancel, [&](const FindHit& h) { hits.push_back(h); });
        if (complete) *complete = done;
        return hits;
    }

    baseDataStruct* user = nullptr;
    baseDataStruct* home = nullptr;
    baseDataStruct* work = nullptr;
};

TEST_F(LetterFindTest, SearchesTheBoxesOfTheUserOrOneAccountFromTheStore) {
    const std::string date = "Tue, 6 Jan 2004 09:05:33 +0800";
    baseDataStruct* inbox = Box(home, kBoxReceive);
    baseDataStruct* trash = Box(home, kBoxTrash);
    baseDataStruct* workInbox = Box(work, kBoxReceive);
    baseDataStruct* a = Add(inbox, Letter("Carol <c@x>", "Budget 2004", date));
    Add(inbox, Letter("Dave <d@x>", "Lunch", date));
    baseDataStruct* b = Add(trash, Letter("Carol <c@x>", "old budget", date));
    baseDataStruct* c = Add(workInbox, Letter("Eve <e@x>", "Budget review", date, "", ""));

    const uint32_t stateBefore = getstate(a);
    bool complete = false;
    std::vector<FindHit> hits = Run(user, Q("budget"), &complete);
    EXPECT_TRUE(complete);
    std::set<std::pair<uint32_t, uint32_t>> found;
    for (const FindHit& h : hits) found.insert({h.boxId, h.letterId});
    const auto key = [](baseDataStruct* box, baseDataStruct* letter) {
        return std::make_pair(box->nodeId(), letter->nodeId() & kNodeIdMask);
    };
    EXPECT_EQ(found, (std::set<std::pair<uint32_t, uint32_t>>{key(inbox, a), key(trash, b),
                                                              key(workInbox, c)}));
    for (const FindHit& h : hits) {
        if (h.letterId == (c->nodeId() & kNodeIdMask)) {
            EXPECT_EQ(h.box, getinfo(workInbox, kThisNode, "caption"));
            EXPECT_EQ(h.sender, "Eve <e@x>");
            EXPECT_EQ(h.subject, "Budget review");
        }
    }
    // Texts went back to the file; the search changed nothing in memory.
    EXPECT_EQ(getdata(a, "SDATA").value_or(""), "");
    EXPECT_EQ(getstate(a), stateBefore);

    hits = Run(work, Q("budget"));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].letterId, c->nodeId() & kNodeIdMask);

    // A locked box keeps its letters to itself.
    setinfo(trash, kThisNode, "LockState", "lock");
    EXPECT_EQ(Run(home, Q("budget")).size(), 1u);
}

TEST_F(LetterFindTest, CancelStopsAtOnceEvenWhileTheModelLockIsHeld) {
    baseDataStruct* inbox = Box(home, kBoxReceive);
    for (int i = 0; i < 40; ++i)
        Add(inbox,
            Letter("Carol <c@x>", "note " + std::to_string(i), "Tue, 6 Jan 2004 09:05:33 +0800"));
    {
        LetterFind find(sys(), user, Q("note"));
        std::atomic<bool> cancel{false};
        int seen = 0;
        EXPECT_FALSE(find.Run(cancel, [&](const FindHit&) {
            if (++seen == 3) cancel = true;
        }));
        EXPECT_EQ(seen, 3);
    }
    // The UI thread holds the lock while it handles an event, also the one that cancels.
    std::unique_lock<std::recursive_mutex> held(ModelLock());
    auto task = std::make_unique<FindTask>(sys(), user, Q("note"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(task->running());
    const auto start = std::chrono::steady_clock::now();
    task->Cancel();
    task.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    held.unlock();

    // Left alone, the task finds them all.
    FindTask whole(sys(), user, Q("note"));
    std::vector<FindHit> hits;
    for (int i = 0; i < 1000 && whole.running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(whole.running());
    EXPECT_EQ(whole.TakeHits().size(), 40u);
}

}  // namespace
}  // namespace korvo
