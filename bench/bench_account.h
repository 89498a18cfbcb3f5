// A user "bench" with one account "bench", made as the settings dialogs make them.
#pragma once

#include "model/account_form.h"
#include "model/prompter.h"
#include "model/settings_forms.h"
#include "model/sys_data.h"
#include "store/node_tree.h"

namespace korvo::bench {

struct BenchUser {
    baseDataStruct* user;
    baseDataStruct* account;
};

inline BenchUser MakeBenchUserAccount(CSysData& sys) {
    MessageHookPrompter prompter;
    UserForm userForm;
    userForm.name = "bench";
    baseDataStruct* user = addson(sys.root(), "%s", "");
    userForm.Apply(user, prompter);
    sys.SysCreateUser(user, nullptr, kNoItem);
    AccountForm accountForm;
    accountForm.Edit(AccountField::kEmail, "bench@example.org");
    accountForm.Set(AccountField::kCaption, "bench");
    baseDataStruct* account = addson(sys.DataGetSysPoint(user, kKindUATree), "%s", "");
    accountForm.Apply(account, prompter);
    sys.SysCreateAccount(account, nullptr, kNoItem);
    return {user, account};
}

}  // namespace korvo::bench
