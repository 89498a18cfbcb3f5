#include "shell/certificate_acceptance.h"

#include <algorithm>
#include <mutex>

#include "model/account_form.h"
#include "model/account_security.h"
#include "model/sys_schema.h"
#include "platform/model_lock.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

bool IsFingerprint(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The account of `task` while it still uses the server the certificate came from.
baseDataStruct* AccountOf(CSysData& sys, const RefusedTask& task) {
    baseDataStruct* node = findid(sys.root(), task.accountId);
    baseDataStruct* account = node ? sys.DataGetSysPoint(node, kKindAccount) : nullptr;
    if (!account || account != node) return nullptr;
    const bool pop3 = task.problem.server == CertificateProblem::Server::kPop3;
    const std::string server = getinfo(account, kThisNode, pop3 ? "pop3Server" : "smtpServer");
    return SameServerName(server, task.problem.host) ? account : nullptr;
}

}  // namespace

bool CertificateAcceptance::Offer(const RefusedTask& task) {
    if (!IsFingerprint(task.problem.sha256)) return false;
    std::string caption;
    {
        Lock lock(ModelLock());
        baseDataStruct* account = AccountOf(sys_, task);
        if (!account) return false;
        caption = getinfo(account, kThisNode, "caption");
    }
    if (!prompter_.AcceptCertificate(caption, task.problem)) return false;

    Lock lock(ModelLock());
    // The account may have changed while the user read the certificate.
    baseDataStruct* account = AccountOf(sys_, task);
    if (!account) return false;
    const bool pop3 = task.problem.server == CertificateProblem::Server::kPop3;
    setinfo(account, kThisNode, pop3 ? kPop3CertSha256Key : kSmtpCertSha256Key,
            task.problem.sha256);
    sys_.DataSaveList(account, 1);
    if (!sys_.DataSync()) return false;
    retry_(account, task.type, task.mailIdList);
    return true;
}

}  // namespace korvo
