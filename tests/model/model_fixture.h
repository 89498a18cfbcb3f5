// A data directory with both stores, a tree view, and helpers that add users and accounts the
// way the program does: a form fills a new node, the schema completes it.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "controls/memory_tree_view.h"
#include "controls/tree_control.h"
#include "model/account_form.h"
#include "model/data_stores.h"
#include "model/settings_forms.h"
#include "platform/string_format.h"
#include "store/node_tree.h"
#include "tests/support/temp_dir.h"

namespace korvo::test {

inline std::string Get(const baseDataStruct* node, std::string_view key) {
    return getinfo(node, kThisNode, key);
}

// The property text without the ids the stores add, which depend on the order of writes.
inline std::string Text(std::string_view text) {
    static const std::regex kIds(" ,(pointId|LinkId) =[0-9]+");
    return std::regex_replace(std::string(text), kIds, "");
}
inline std::string Text(const baseDataStruct* node) {
    return Text(node->propertyText());
}

// Answers password questions from a list and records every message.
class ScriptedPrompter : public Prompter {
  public:
    void Message(std::string_view text, std::string_view title) override {
        messages.emplace_back(text);
        titles.emplace_back(title);
    }
    bool AskPassword(std::string_view caption, std::string* typed) override {
        asked.emplace_back(caption);
        if (answers.empty()) return false;
        *typed = answers.front();
        answers.pop_front();
        return true;
    }

    std::deque<std::string> answers;
    std::vector<std::string> asked, messages, titles;
};

// New accounts ask for TLS; the test servers' plain ports take plain connections.
inline void UsePlainServers(baseDataStruct* account) {
    setinfo(account, kThisNode, "pop3Security", "none");
    setinfo(account, kThisNode, "smtpSecurity", "none");
}

// Points an account at a POP3 server on 127.0.0.1 and says whether letters stay there.
inline void PointAtPop3(baseDataStruct* account, uint16_t port, const std::string& user,
                        const std::string& password, bool keepOnServer = false) {
    setinfo(account, kThisNode, "pop3Server", "127.0.0.1");
    setinfo(account, kThisNode, "pop3Port", std::to_string(port));
    UsePlainServers(account);
    setinfo(account, kThisNode, "username", user);
    setinfo(account, kThisNode, "password", password);
    setinfo(account, kThisNode, "keepOnServer", keepOnServer ? "1" : "0");
}

class ModelTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(stores->OpenSystemStore()); }

    CSysData& sys() { return stores->sys(); }
    CSysMailBox& mail() { return stores->mail(); }

    // A user appended to the root, filled by the user form and built by the schema.
    baseDataStruct* AddUser(const std::string& name, const std::string& saveFile = "system.sdb") {
        UserForm form;
        form.name = name;
        form.saveFile = saveFile;
        baseDataStruct* user = addson(sys().root(), "%s", "");
        EXPECT_TRUE(form.Apply(user, prompter));
        sys().SysCreateUser(user, &tree, kNoItem);
        return user;
    }

    baseDataStruct* AddAccount(baseDataStruct* user, const std::string& caption,
                               const std::string& email = "me@mail.example.org") {
        AccountForm form;
        form.Edit(AccountField::kEmail, email);
        form.Set(AccountField::kCaption, caption);
        baseDataStruct* account = addson(sys().DataGetSysPoint(user, kKindUATree), "%s", "");
        EXPECT_TRUE(form.Apply(account, prompter));
        sys().SysCreateAccount(account, &tree, kNoItem);
        return account;
    }

    // Drops both stores and opens the files again.
    void Reopen() {
        stores = std::make_unique<CDataStores>();
        ASSERT_TRUE(stores->OpenSystemStore());
    }

    baseDataStruct* UserNamed(const std::string& name) {
        return findinfo(sys().root(), "caption", name);
    }

    TempDir dir;
    ScopedDataDir dataDir{dir.path()};
    std::unique_ptr<CDataStores> stores = std::make_unique<CDataStores>();
    MemoryTreeView view;
    CBaseTreeControl tree{view};
    ScriptedPrompter prompter;
};

// The items of a tree in display order, one line each: label, image/selected image, " +" when
// expanded; nested items indented by two blanks per level.
inline std::string Items(const TreeView& v, TreeItem first, int depth = 0) {
    std::string out;
    for (TreeItem i = first; i != kNoItem; i = v.NextSibling(i)) {
        out += std::string(2 * size_t(depth), ' ') + StrPrintf("%s %d/%d%s\n", v.Label(i).c_str(),
                                                               v.Image(i), v.SelectedImage(i),
                                                               v.IsExpanded(i) ? " +" : "");
        out += Items(v, v.FirstChild(i), depth + 1);
    }
    return out;
}

}  // namespace korvo::test
