#include "ui/mail_viewer.h"

#include <wx/sizer.h>

namespace korvo {

MailViewer::MailViewer(wxWindow* viewerPlace, WxListView& attachmentList, CSysData& sys,
                       HardenedWebView::LinkOpener links, WxAttachmentDialogs::FileOpener files)
    : pane_(new MailViewerPane(viewerPlace, std::move(links))),
      rows_(attachmentList),
      dialogs_(viewerPlace, std::move(files)) {
    wxSizer* sizer = viewerPlace->GetSizer();
    if (!sizer) {
        sizer = new wxBoxSizer(wxVERTICAL);
        viewerPlace->SetSizer(sizer);
    }
    sizer->Add(pane_.get(), 1, wxEXPAND);
    viewerPlace->Layout();
    text_ = std::make_unique<CMailText>(sys, *pane_, *pane_, rows_, dialogs_);
    commands_ = std::make_unique<WxAttachmentCommands>(attachmentList, text_->files());
}

MailViewer::~MailViewer() {
    commands_.reset();
    text_.reset();
    if (pane_) pane_->Destroy();
}

}  // namespace korvo
