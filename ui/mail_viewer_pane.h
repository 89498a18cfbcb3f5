// The letter viewer's widgets: the header band on top and below it the hardened browser or
// the read-only text editor, one of the two shown. The pane belongs in the main window's
// viewer place; CMailText drives it through MailPageView and MailHeaderBand.
#pragma once

#include <wx/panel.h>
#include <wx/textctrl.h>

#include <memory>
#include <string>

#include "shell/mail_text.h"
#include "ui/hardened_web_view.h"

namespace korvo {

inline constexpr int kHeaderBandHeight = 40;
inline constexpr int kHeaderFontPixels = 16;
// RGB of the band.
inline constexpr unsigned char kHeaderBandGrey = 225;

// The two lines of the band: "From: " and the sender, "To: " and the recipients when there
// are any; "Subject: " and the subject, "CC: " and the copy recipients when present.
struct HeaderBandLines {
    wxString first;
    wxString second;
};
HeaderBandLines HeaderBandText(const MailHeaderTexts& texts);

class MailViewerPane : public wxPanel, public MailPageView, public MailHeaderBand {
  public:
    explicit MailViewerPane(wxWindow* parent, HardenedWebView::LinkOpener opener = {});
    ~MailViewerPane() override;

    // MailPageView
    void LoadPage(const std::string& path) override;
    void SetEditorText(std::string_view text) override;
    void ShowBrowser(bool browser) override;
    // MailHeaderBand
    void SetHeader(const MailHeaderTexts& texts) override;

    HardenedWebView& browser() { return *browser_; }
    wxTextCtrl* editor() const { return editor_; }
    wxWindow* band() const { return band_; }
    const HeaderBandLines& headerLines() const { return lines_; }

  private:
    void OnPaintBand(wxPaintEvent& event);

    wxWindow* band_ = nullptr;
    std::unique_ptr<HardenedWebView> browser_;
    wxTextCtrl* editor_ = nullptr;
    HeaderBandLines lines_;
};

}  // namespace korvo
