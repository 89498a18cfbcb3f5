#include "ui/certificate_dialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <cctype>

#include "ui/wx_text.h"

namespace korvo {

std::string SpacedFingerprint(const std::string& sha256) {
    std::string spaced;
    for (size_t i = 0; i < sha256.size(); ++i) {
        if (i > 0 && i % 2 == 0) spaced += ':';
        spaced += char(std::toupper(static_cast<unsigned char>(sha256[i])));
    }
    return spaced;
}

CertificateDialog::CertificateDialog(wxWindow* parent, const std::string& account,
                                     const CertificateProblem& problem)
    : wxDialog(parent, wxID_ANY, "Server certificate not trusted") {
    const bool pop3 = problem.server == CertificateProblem::Server::kPop3;
    auto* top = new wxBoxSizer(wxVERTICAL);
    const std::string intro = "The certificate of the " + std::string(pop3 ? "POP3" : "SMTP") +
                              " server " + problem.host + " (account " + account +
                              ") could not be verified:";
    top->Add(new wxStaticText(this, wxID_ANY, WxFromBytes(intro)), 0, wxALL, 10);
    auto* reason = new wxStaticText(this, wxID_ANY, WxFromBytes(problem.reason));
    reason->Wrap(480);
    top->Add(reason, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);

    auto* grid = new wxFlexGridSizer(2, 4, 8);
    const std::pair<const char*, std::string> rows[] = {
        {"Subject", problem.subject},
        {"Issuer", problem.issuer},
        {"Valid from", problem.notBefore},
        {"Valid until", problem.notAfter},
        {"SHA-256 fingerprint", SpacedFingerprint(problem.sha256)},
    };
    for (const auto& [label, value] : rows) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_TOP);
        auto* text = new wxStaticText(this, wxID_ANY, WxFromBytes(value));
        text->Wrap(380);
        grid->Add(text, 1, wxEXPAND);
    }
    top->Add(grid, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    top->Add(new wxStaticText(this, wxID_ANY,
                              "Accept it only if you know that this server uses this "
                              "certificate. Only this exact certificate will be accepted."),
             0, wxALL, 10);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_OK, "Accept this certificate"), 0, wxRIGHT, 6);
    buttons->Add(new wxButton(this, wxID_CANCEL, "Cancel"), 0);
    top->Add(buttons, 0, wxEXPAND | wxALL, 10);
    // Cancel is the default: Enter must not accept a certificate by accident.
    SetDefaultItem(FindWindow(wxID_CANCEL));
    SetEscapeId(wxID_CANCEL);
    SetSizerAndFit(top);
}

bool WxCertificatePrompter::AcceptCertificate(const std::string& account,
                                              const CertificateProblem& problem) {
    CertificateDialog dialog(parent_, account, problem);
    return dialog.ShowModal() == wxID_OK;
}

}  // namespace korvo
