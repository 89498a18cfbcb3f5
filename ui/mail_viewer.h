// The letter viewer put together: the pane in the main window's viewer place, the attachment
// list's rows, dialogs and commands, and the CMailText that drives them. Hand viewer() to the
// letter list as its LetterViewer and tell it the shown box with SetShownBoxSource.
#pragma once

#include <type_traits>  // before the toolkit's weak reference, which needs it

#include <wx/weakref.h>

#include <memory>

#include "shell/mail_text.h"
#include "ui/attachment_views.h"
#include "ui/mail_viewer_pane.h"

namespace korvo {

class MailViewer {
  public:
    // The pane fills `viewerPlace`; the rows go into `attachmentList`. The windows and `sys`
    // must outlive this object (or be destroyed with it). `links` and `files` replace the
    // system browser and the default application (tests).
    MailViewer(wxWindow* viewerPlace, WxListView& attachmentList, CSysData& sys,
               HardenedWebView::LinkOpener links = {}, WxAttachmentDialogs::FileOpener files = {});
    ~MailViewer();
    MailViewer(const MailViewer&) = delete;
    MailViewer& operator=(const MailViewer&) = delete;

    CMailText& viewer() { return *text_; }
    MailViewerPane& pane() { return *pane_; }
    WxAttachmentListView& attachments() { return rows_; }
    WxAttachmentCommands& commands() { return *commands_; }

  private:
    wxWeakRef<MailViewerPane> pane_;
    WxAttachmentListView rows_;
    WxAttachmentDialogs dialogs_;
    std::unique_ptr<CMailText> text_;
    std::unique_ptr<WxAttachmentCommands> commands_;
};

}  // namespace korvo
