// A user with one account whose POP3 server is on 127.0.0.1, and one receive pass at a time
// against it, with the letters of the preview and receive boxes at hand.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "content/letter_node.h"
#include "model/sys_schema.h"
#include "tests/model/model_fixture.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/receive_mail.h"
#include "transport/task_record.h"

namespace korvo::test {

class RecordingListener : public LetterListener {
  public:
    void ShowLetter(baseDataStruct* letter) override { ++shown[letter]; }
    void BoxChanged(baseDataStruct* box) override { ++boxChanges[box]; }
    void SetTrayState(int state) override { tray.push_back(state); }
    void RestoreTrayState() override { tray.push_back(-1); }
    void FlagNewMail(baseDataStruct* box) override { flagged.push_back(box); }
    void LetterArrived(baseDataStruct* box, const ArrivedLetter& letter) override {
        arrived.emplace_back(box, letter.sender);
        if (letter.message || letter.playIcon || !letter.voice.empty()) signalled.push_back(letter);
    }

    std::map<baseDataStruct*, int> shown;
    std::map<baseDataStruct*, int> boxChanges;
    std::vector<int> tray;
    std::vector<baseDataStruct*> flagged;
    std::vector<std::pair<baseDataStruct*, std::string>> arrived;
    std::vector<ArrivedLetter> signalled;  // letters the rules asked a signal for
};

struct LetterView {
    std::string id;
    uint32_t state = 0;
    std::string read;  // the `read` key
    std::string text;  // SDATA
    bool operator==(const LetterView&) const = default;
};

class ReceiveTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        user = AddUser("Ann");
        account = AddAccount(user, "Work", "bob@mail.example.org");
        Point("127.0.0.1", 0, "bob", "s3cret");
    }

    void Point(const std::string& host, int port, const std::string& name,
               const std::string& password) {
        setinfo(account, kThisNode, "pop3Server", host);
        setinfo(account, kThisNode, "pop3Port", std::to_string(port));
        UsePlainServers(account);
        setinfo(account, kThisNode, "username", name);
        setinfo(account, kThisNode, "password", password);
    }
    void KeepOnServer(bool keep) { setinfo(account, kThisNode, "keepOnServer", keep ? "1" : "-1"); }

    // One pass of `mode`; the task's result is left in `result`.
    int Run(int mode, const std::string& list = "-1") {
        task = std::make_unique<TaskRecord>();
        task->view = &view;
        task->mailIdList = list;
        listener = RecordingListener();
        CNetRP session(
            SocketTimeouts{std::chrono::milliseconds(2000), std::chrono::milliseconds(5000)});
        session.InitialzeAccount(account, task.get());
        if (beforeRun) beforeRun(*task);
        const int rc = ReceiveMail({session, sys(), listener, &modelLock, rules}, mode);
        result = task->result;
        return rc;
    }

    // Drops both stores, opens the files again and finds the account anew (its server
    // settings are written first, so they survive).
    void ReopenStores() {
        sys().DataSaveList(account, 1);
        Reopen();
        user = UserNamed("Ann");
        account = sys().DataGetSysPoint(user, kKindUATree)->firstSon();
    }

    baseDataStruct* Box(int subKind) { return sys().DataGetSysPoint(account, kKindBox, subKind); }
    baseDataStruct* Letters(int subKind) {
        return mail().SysReadLinkTree(Box(subKind), kLoadProperty | kLoadStrdata | kLoadSdata);
    }

    // The letters of a box in order; SDATA is read from the store when memory lacks it.
    std::vector<LetterView> View(int subKind) {
        std::vector<LetterView> out;
        for (baseDataStruct* l = Letters(subKind)->firstSon(); l; l = l->nextBrother()) {
            if (!getdata(l, "SDATA") && Get(l, "pointId") != "-1") {
                mail().DataLoadPoint(l, -1, kLoadSdata);
            }
            out.push_back({Get(l, "MailId"), getstate(l) & kLetterBits, Get(l, "read"),
                           std::string(getdata(l, "SDATA").value_or(""))});
        }
        return out;
    }
    baseDataStruct* Find(int subKind, const std::string& id) {
        for (baseDataStruct* l = Letters(subKind)->firstSon(); l; l = l->nextBrother()) {
            if (Get(l, "MailId") == id) return l;
        }
        return nullptr;
    }

    // The four counters of a box against a recount of its letters.
    void ExpectCountersMatch(int subKind) {
        long valid = 0, deleted = 0, hidden = 0, unread = 0;
        for (baseDataStruct* l = Letters(subKind)->firstSon(); l; l = l->nextBrother()) {
            (teststate(l, STATE_VALID) ? valid : deleted)++;
            if (teststate(l, LETTER_HIDDEN)) ++hidden;
            if (!teststate(l, LETTER_READ)) ++unread;
        }
        auto counter = [&](const char* key) {
            const std::string v = Get(Box(subKind), key);
            return v == "-1" ? 0 : std::stol(v);
        };
        EXPECT_EQ(counter("ValidateItemSum"), valid) << subKind;
        EXPECT_EQ(counter("DeleteItemSum"), deleted) << subKind;
        EXPECT_EQ(counter("HideItemSum"), hidden) << subKind;
        EXPECT_EQ(counter("UnreadItemSum"), unread) << subKind;
    }

    static constexpr uint32_t kLetterBits = STATE_VALID | LETTER_HIDDEN | LETTER_READ | LETTER_KEEP;

    baseDataStruct* user = nullptr;
    baseDataStruct* account = nullptr;
    std::unique_ptr<TaskRecord> task;
    RecordingView view;
    RecordingListener listener;
    std::recursive_mutex modelLock;
    std::function<void(TaskRecord&)> beforeRun;
    ArrivalRules* rules = nullptr;
    int result = -1;
};

}  // namespace korvo::test
