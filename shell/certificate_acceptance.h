// Accepting a server certificate that did not verify. When a task fails because of one, the
// user is shown the certificate; accepting it pins its SHA-256 in the account (pop3CertSha256
// or smtpCertSha256, see model/account_security.h), makes that durable and runs the task again.
// The question is asked without the model lock, so a running task is not held up meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "model/sys_data.h"
#include "transport/certificate_problem.h"

namespace korvo {

class CertificatePrompter {
  public:
    virtual ~CertificatePrompter() = default;
    // Shows the certificate of the server of the account captioned `account`; true when the
    // user accepts it.
    virtual bool AcceptCertificate(const std::string& account,
                                   const CertificateProblem& problem) = 0;
};

// A task that ended with a certificate problem: its account (node id), type and letter list.
struct RefusedTask {
    uint32_t accountId = 0;
    int type = 0;
    std::string mailIdList;
    CertificateProblem problem;
};

// Queues a task again; under the model lock.
using RetryTask =
    std::function<void(baseDataStruct* account, int type, const std::string& mailIdList)>;

class CertificateAcceptance {
  public:
    CertificateAcceptance(CSysData& sys, CertificatePrompter& prompter, RetryTask retry)
        : sys_(sys), prompter_(prompter), retry_(std::move(retry)) {}

    // Asks the user about the certificate of `task`. Nothing is asked when the account is
    // gone or no longer uses the server the certificate came from. True when the certificate
    // was accepted, pinned, synced and the task queued again.
    bool Offer(const RefusedTask& task);

  private:
    CSysData& sys_;
    CertificatePrompter& prompter_;
    RetryTask retry_;
};

}  // namespace korvo
