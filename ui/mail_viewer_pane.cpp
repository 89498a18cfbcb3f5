#include "ui/mail_viewer_pane.h"

#include <wx/dcbuffer.h>
#include <wx/sizer.h>

#include <algorithm>

#include "ui/wx_text.h"

namespace korvo {

HeaderBandLines HeaderBandText(const MailHeaderTexts& texts) {
    HeaderBandLines lines;
    lines.first = "From: " + WxFromBytes(texts.from);
    if (!texts.to.empty()) lines.first += "    To: " + WxFromBytes(texts.to);
    lines.second = "Subject: " + WxFromBytes(texts.subject);
    if (!texts.cc.empty()) lines.second += "    CC: " + WxFromBytes(texts.cc);
    return lines;
}

MailViewerPane::MailViewerPane(wxWindow* parent, HardenedWebView::LinkOpener opener)
    : wxPanel(parent, wxID_ANY) {
    band_ = new wxWindow(this, wxID_ANY, wxDefaultPosition, wxSize(-1, kHeaderBandHeight));
    band_->SetMinSize(wxSize(-1, kHeaderBandHeight));
    band_->SetBackgroundStyle(wxBG_STYLE_PAINT);
    band_->Bind(wxEVT_PAINT, &MailViewerPane::OnPaintBand, this);
    band_->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        band_->Refresh();
        event.Skip();
    });

    browser_ = std::make_unique<HardenedWebView>(this, std::move(opener));
    editor_ = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                             wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(band_, 0, wxEXPAND);
    sizer->Add(browser_->view(), 1, wxEXPAND);
    sizer->Add(editor_, 1, wxEXPAND);
    SetSizer(sizer);
    browser_->view()->Hide();
    lines_ = HeaderBandText({});
}

MailViewerPane::~MailViewerPane() {
    band_->Unbind(wxEVT_PAINT, &MailViewerPane::OnPaintBand, this);
}

void MailViewerPane::LoadPage(const std::string& path) {
    browser_->LoadFile(path);
}

void MailViewerPane::SetEditorText(std::string_view text) {
    editor_->ChangeValue(WxFromBytes(text));
}

void MailViewerPane::ShowBrowser(bool browser) {
    browser_->view()->Show(browser);
    editor_->Show(!browser);
    Layout();
}

void MailViewerPane::SetHeader(const MailHeaderTexts& texts) {
    lines_ = HeaderBandText(texts);
    band_->Refresh();
}

void MailViewerPane::OnPaintBand(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(band_);
    dc.SetBackground(wxBrush(wxColour(kHeaderBandGrey, kHeaderBandGrey, kHeaderBandGrey)));
    dc.Clear();
    wxFont font = GetFont();
    font.SetPixelSize(wxSize(0, kHeaderFontPixels));
    dc.SetFont(font);
    dc.SetTextForeground(*wxBLACK);
    // Two lines of the font's height, centred in the band's height together.
    const int lineHeight = dc.GetCharHeight();
    const int top = std::max(0, (kHeaderBandHeight - 2 * lineHeight) / 2);
    dc.DrawText(lines_.first, 4, top);
    dc.DrawText(lines_.second, 4, top + lineHeight);
}

}  // namespace korvo
