// CViewWriteLetter: the composer. It writes a new letter (mode 4), answers (5) or forwards (6)
// a letter, or reopens a kept one (9): it chooses the sending account, offers the account's
// templates for the mode, fills the form from the original, keeps attachments, keeps the
// letter as a draft and sends it (the letter goes into the account's prepare box as MIME text
// and the main frame is asked to send it).
//
// The window is reached through ComposerForm, the body editor (TextView), the two combos of
// its tool bar, the attachment list and ComposerDialogs. The composer keeps no letter pointers
// between calls: the mail store may switch files meanwhile. Letters are remembered by their
// box (a node id of the system store) and their point id. Every entry point takes the model
// lock.
//
// Blind copies: the Confidential line never reaches the message text. The letter keeps it in
// its property key kBlindCopyKey, which the sending session reads for the envelope, so each
// blind-copy receiver gets the letter without being named in it.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "content/template_macros.h"
#include "controls/combo_view.h"
#include "controls/text_view.h"
#include "model/prompter.h"
#include "model/sys_data.h"
#include "shell/attachment_list.h"
#include "shell/frame_host.h"
#include "shell/receiver_picker.h"
#include "store/node.h"
#include "transport/outbox.h"

namespace korvo {

inline constexpr std::string_view kComposerTitle = "Korvo";
inline constexpr std::string_view kAccountSelectTitle = "Account select";
inline constexpr std::string_view kAccountSelectPrompt = "Select sender account";
inline constexpr std::string_view kNoAccountMessage = "Not select account , exit write!";
inline constexpr std::string_view kBadReceiverMessage = "Please enter true address for receiver!";
inline constexpr std::string_view kBadCcMessage = "Please enter true address for CC!";
inline constexpr std::string_view kBadConfidentialMessage =
    "Please enter true address for Confidential!";
inline constexpr std::string_view kNoReceiverMessage = "Please enter receiver address!";
inline constexpr std::string_view kAttachFilter = "All Files (*.*)|*.*||";

enum ComposerMode : int { kModeNew = 4, kModeWriteBack = 5, kModeForward = 6, kModeReopen = 9 };

// The lines of the form; kText is the body editor (for the focus only).
enum class ComposerLine { kTo, kCc, kConfidential, kSubject, kText };

class ComposerForm {
  public:
    virtual ~ComposerForm() = default;
    virtual std::string Line(ComposerLine line) = 0;
    virtual void SetLine(ComposerLine line, std::string_view text) = 0;
    virtual void Focus(ComposerLine line) = 0;
    // The Confidential line and its button are shown only while the line is not empty.
    virtual void ShowConfidential(bool shown) = 0;
    // The attachment list is shown only while it has rows.
    virtual void ShowAttachmentList(bool shown) = 0;
    virtual void Hide() = 0;
    // Closes the window (later, once the current event is handled).
    virtual void Close() = 0;
};

class ComposerDialogs : public Prompter {
  public:
    // A list to choose one entry from; its index, or -1 when cancelled.
    virtual int ChooseFromList(std::string_view title, std::string_view prompt,
                               const std::vector<std::string>& entries) = 0;
    // A multi-select open-file dialog starting in `folder`; the full paths chosen.
    virtual std::vector<std::string> ChooseFiles(std::string_view filter,
                                                 const std::string& folder) = 0;
};

// A letter to send: the prepare box (a node id of the system store) and the letter in it.
struct SendRequest {
    uint32_t boxId = 0;
    long letterPoint = -1;
};

// What the composer tells the main window.
class ComposerHost {
  public:
    virtual ~ComposerHost() = default;
    // A letter was written or its state changed: its row, where it is shown.
    virtual void LetterChanged(baseDataStruct* letter) = 0;
    // The counters of a box changed.
    virtual void BoxChanged(baseDataStruct* box) = 0;
    // Letters of `box` were removed from the store: a list showing the box shows it anew.
    virtual void LetterRemoved(baseDataStruct* box) = 0;
    // Posts the send request to the main frame (handled after the composer has closed).
    virtual void SendLetter(const SendRequest& request) = 0;
};

class CViewWriteLetter {
  public:
    using Clock = std::function<std::time_t()>;

    // All references must outlive the composer.
    CViewWriteLetter(CSysData& sys, ComposerForm& form, TextView& text, ComboView& templates,
                     ComboView& formats, AttachmentListView& attachments, ComposerDialogs& dialogs,
                     ReceiverPicker& picker, ComposerHost& host, Clock clock = {});
    ~CViewWriteLetter();
    CViewWriteLetter(const CViewWriteLetter&) = delete;
    CViewWriteLetter& operator=(const CViewWriteLetter&) = delete;

    // Fills the form for `request`. False when there is no account (or no original for an
    // answer or a forward): the message has been shown and the window is being closed.
    bool InitialUpdate(const ComposerRequest& request);

    // "send": checks the receiver lines, stores the letter in the prepare box, marks the
    // original and asks the frame to send; the window closes. False when nothing was sent.
    bool Send();
    // "Keep" and "Send at time": stores the letter as a draft; the window stays open.
    bool Keep();

    // "Attachment" and "Add new file": files chosen in the file dialog, each once.
    void AddFiles();
    // "Delete file": the selected attachments.
    void DeleteSelectedFiles();
    // The "receiver", "cc" and "confidential" buttons.
    void PickReceivers(ComposerLine focus);
    // The template list's selection changed.
    void ApplySelectedTemplate();
    // The To or the CC line lost the focus: its macros in the text are filled in.
    void LeaveLine(ComposerLine line);

    int mode() const { return mode_; }
    baseDataStruct* account();
    // The names of the attachment list, in order.
    std::vector<std::string> attachmentNames() const;
    // The letter being edited (after a Keep, or reopened), or null.
    baseDataStruct* editedLetter();
    baseDataStruct* editedBox();

  private:
    struct LetterRef {
        uint32_t boxId = 0;
        long point = -1;
    };

    bool Close(std::string_view message);
    baseDataStruct* ChooseAccount(baseDataStruct* node);
    void FillTemplates();
    void FillFromOriginal(baseDataStruct* letter, int variant);
    void AddAttachment(std::string_view property, std::string_view data);
    void ShowAttachments();
    void RefreshMacros();
    void ShowConfidentialLine();
    bool CheckLines();
    baseDataStruct* Save(bool send);
    void MarkOriginal();
    baseDataStruct* Find(const LetterRef& ref);
    baseDataStruct* Box(uint32_t id);
    TemplateContext Context();
    void SetTextKeepingCaret(const std::string& text);

    CSysData& sys_;
    ComposerForm& form_;
    TextView& text_;
    ComboView& templates_;
    ComboView& formats_;
    AttachmentListView& attachmentView_;
    ComposerDialogs& dialogs_;
    ReceiverPicker& picker_;
    ComposerHost& host_;
    Clock clock_;

    int mode_ = kModeNew;
    uint32_t accountId_ = 0;
    LetterRef original_;  // the answered or forwarded letter
    LetterRef edited_;    // the letter saved in place: reopened or kept
    std::vector<long> templatePoints_;
    std::unique_ptr<baseDataStruct> attachments_;  // detached list of attachment items
    // Of the original, for the macros.
    std::string oldDate_, oldSubject_, oldFrom_, oldTo_, oldCc_, oldText_;
};

}  // namespace korvo
