#include "shell/mail_text.h"

#include <chrono>
#include <mutex>

#include "content/charset.h"
#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "platform/model_lock.h"
#include "shell/mail_page.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

long TickCount() {
    using namespace std::chrono;
    return static_cast<long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

MailHeaderTexts ReadHeaderTexts(std::string_view raw, const CMailCodec& codec) {
    std::string storage;
    std::string_view text = WithCrLfLineEnds(raw, storage);
    const size_t end = text.find("\r\n\r\n");
    if (end != std::string_view::npos) text = text.substr(0, end);
    return {MailGetHeaderItem(text, "from", 0, codec), MailGetHeaderItem(text, "to", 0, codec),
            MailGetHeaderItem(text, "subject", 0, codec), MailGetHeaderItem(text, "cc", 0, codec)};
}

CMailText::CMailText(CSysData& sys, MailPageView& page, MailHeaderBand& band,
                     AttachmentListView& attachments, AttachmentDialogs& dialogs,
                     const CMailCodec& codec)
    : sys_(sys),
      page_(page),
      band_(band),
      codec_(codec),
      files_(attachments, dialogs, codec),
      scratchRoot_(CreateRootNode()) {
    scratch_ = AddSonText(scratchRoot_.get(), "type =letter");
}

CMailText::~CMailText() = default;

void CMailText::SetShownBoxSource(std::function<baseDataStruct*()> source) {
    shownBox_ = std::move(source);
}

bool CMailText::WriteAndLoad(std::string_view html) {
    // A page that cannot be written leaves the browser on the page it shows.
    if (!WritePageFile(html)) return false;
    page_.LoadPage(MailPagePath());
    return true;
}

void CMailText::ShowMail(baseDataStruct* letter) {
    Lock lock(ModelLock());
    const std::string webSetting = getinfo(sys_.root(), kThisNode, "ShowTextByWEB");
    const bool webOn = webSetting != kAbsent && webSetting != "False";
    baseDataStruct* box = shownBox_ ? shownBox_() : nullptr;
    std::string showMail = box ? getinfo(box, kThisNode, "ShowMail") : std::string();
    if (showMail == kAbsent) showMail.clear();
    if (letter && getinfo(letter, kThisNode, "type") != "letter") letter = nullptr;

    if (hasShown_ && letter == shown_ && (!letter || letter->nodeId() == shownId_) &&
        showMail == shownShowMail_ && webOn == shownWebSetting_)
        return;

    band_.SetHeader({});
    bool web = webOn;
    if (web) WriteAndLoad(kBlankPage);

    files_.Clear();
    deletesons(scratch_);
    setinfo(scratch_, kThisNode, "PROPERTY", "type =letter");
    setinfo(scratch_, kThisNode, "SDATA", "");

    bool loaded = false;
    if (letter && teststate(letter, STATE_HAS_SDATA) &&
        getdata(letter, "SDATA").value_or("").empty()) {
        // Loading applies the stored state word; what the program keeps in memory only (the
        // list's bits) stays as it was, since the viewer changes nothing.
        const uint32_t state = getstate(letter);
        sys_.mailBox().DataLoadPoint(letter, -1, kLoadSdata);
        setstate(letter, state);
        loaded = true;
    }
    const std::string raw = letter ? std::string(getdata(letter, "SDATA").value_or("")) : "";

    if (showMail == "True") {
        web = false;
        band_.SetHeader(ReadHeaderTexts(raw, codec_));
        // The raw letter as it stands, but shown as text the editor can hold.
        body_ = codec_.convertsToUtf8() ? UndeclaredToUtf8(raw) : raw;
    } else {
        if (letter) copyfrom(scratch_, letter, 1 | 2 | 4 | 8);
        const long started = TickCount();
        mailProcess(raw, scratch_, true, codec_);
        LogLine(DiagLog::kMessage, "mailProcess time count is %ld", TickCount() - started);
        band_.SetHeader(ReadHeaderTexts(raw, codec_));

        const LetterBody body = ChooseLetterBody(scratch_);
        body_ = body.text;
        if (body.fromHtmlPart || HasHtmlTag(body_)) {
            web = true;
            WriteAndLoad(InlineCidImages(body_, scratch_, codec_));
        } else if (web) {
            WriteAndLoad(GreyTextPage(body_));
        }
        files_.Fill(scratch_);
    }

    page_.SetEditorText(body_);
    hasShown_ = true;
    shown_ = letter;
    shownId_ = letter ? letter->nodeId() : 0;
    shownShowMail_ = showMail;
    shownWebSetting_ = webOn;
    web_ = web;
    // The text goes back to the store's keeping; a text not yet written there stays.
    if (letter && (loaded || (!teststate(letter, STATE_SDATA_CHANGED) &&
                              getinfo(letter, kThisNode, "pointId") != kAbsent)))
        freedata(letter, 8);
    page_.ShowBrowser(web);
}

void CMailText::ClearMail() {
    ShowMail(nullptr);
}

}  // namespace korvo
