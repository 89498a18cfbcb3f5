// The dialog that shows a server certificate which did not verify and lets the user accept it:
// why it failed, subject, issuer, validity and SHA-256 fingerprint, with "Accept this
// certificate" and "Cancel".
#pragma once

#include <wx/dialog.h>

#include "shell/certificate_acceptance.h"

namespace korvo {

class CertificateDialog : public wxDialog {
  public:
    CertificateDialog(wxWindow* parent, const std::string& account,
                      const CertificateProblem& problem);
};

// The fingerprint as it is usually read out: pairs of upper-case hex digits joined by colons.
std::string SpacedFingerprint(const std::string& sha256);

class WxCertificatePrompter : public CertificatePrompter {
  public:
    explicit WxCertificatePrompter(wxWindow* parent) : parent_(parent) {}
    bool AcceptCertificate(const std::string& account, const CertificateProblem& problem) override;

  private:
    wxWindow* parent_;
};

}  // namespace korvo
