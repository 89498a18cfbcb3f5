// CMailText: the letter viewer. It shows the letter selected in the letter list: a header band
// (sender, recipients, subject, copy recipients), the body in the embedded browser (web mode)
// or in a read-only text editor, and the attachment list below. The viewer never changes a
// letter; it walks the raw text anew into a scratch node each time a letter is shown.
//
// Web mode comes from the root's `ShowTextByWEB` ("False" or absent: off); a box whose
// `ShowMail` is "True" shows its letters raw. An HTML body turns web mode on for its letter.
// Every page goes through the page file Cache/html/korvo.html, guarded by mail_page.h.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "content/mail_codec.h"
#include "model/sys_data.h"
#include "shell/attachment_list.h"
#include "shell/letter_list.h"
#include "store/node.h"

namespace korvo {

// The browser and the read-only text editor of the viewer; one of the two is visible.
class MailPageView {
  public:
    virtual ~MailPageView() = default;
    // The browser shows the page file at `path` (read anew).
    virtual void LoadPage(const std::string& path) = 0;
    virtual void SetEditorText(std::string_view text) = 0;
    // Shows the browser (true) or the text editor (false).
    virtual void ShowBrowser(bool browser) = 0;
};

struct MailHeaderTexts {
    std::string from;
    std::string to;
    std::string subject;
    std::string cc;
    bool operator==(const MailHeaderTexts&) const = default;
};

// The band above the body: "From: " and the sender, then "To: " and the recipients when there
// are any; below "Subject: " and the subject, then "CC: " and the copy recipients when present.
class MailHeaderBand {
  public:
    virtual ~MailHeaderBand() = default;
    virtual void SetHeader(const MailHeaderTexts& texts) = 0;
};

// The header band texts of a raw letter (its header region only).
MailHeaderTexts ReadHeaderTexts(std::string_view raw, const CMailCodec& codec = DefaultMailCodec());

class CMailText : public LetterViewer {
  public:
    // `sys` gives the root (settings) and through its mail store the letters' texts. All
    // references must outlive the viewer.
    CMailText(CSysData& sys, MailPageView& page, MailHeaderBand& band,
              AttachmentListView& attachments, AttachmentDialogs& dialogs,
              const CMailCodec& codec = DefaultMailCodec());
    ~CMailText() override;

    // Tells the viewer which box is shown (whose `ShowMail` it reads); unset means none.
    void SetShownBoxSource(std::function<baseDataStruct*()> source);

    // Shows `letter`; a node that is not a letter (or none) shows an empty letter. Showing the
    // letter already shown, with the same settings, does nothing.
    void ShowMail(baseDataStruct* letter) override;
    // Shows the empty letter.
    void ClearMail() override;

    CFileList& files() { return files_; }

    // What is shown now.
    baseDataStruct* shownLetter() const { return shown_; }
    bool browserShown() const { return web_; }
    const std::string& body() const { return body_; }
    // The scratch node with the content sons of the letter shown.
    const baseDataStruct* scratch() const { return scratch_; }

  private:
    bool WriteAndLoad(std::string_view html);

    CSysData& sys_;
    MailPageView& page_;
    MailHeaderBand& band_;
    const CMailCodec& codec_;
    CFileList files_;
    std::function<baseDataStruct*()> shownBox_;

    std::unique_ptr<baseDataStruct> scratchRoot_;
    baseDataStruct* scratch_ = nullptr;

    // Shown state. `hasShown` is false until the first show, so that showing none at start
    // still clears the view.
    bool hasShown_ = false;
    baseDataStruct* shown_ = nullptr;
    uint32_t shownId_ = 0;
    std::string shownShowMail_;
    bool shownWebSetting_ = false;
    bool web_ = false;
    std::string body_;
};

}  // namespace korvo
