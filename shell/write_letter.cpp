#include "shell/write_letter.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <utility>

#include "content/composer_text.h"
#include "content/letter_node.h"
#include "content/mail_header.h"
#include "content/message_composer.h"
#include "content/mime_walk.h"
#include "content/template_store.h"
#include "platform/model_lock.h"
#include "shell/composer_addresses.h"
#include "shell/letter_list.h"
#include "store/node_tree.h"
#include "transport/receive_mail.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr int kAllBlocks = kLoadProperty | kLoadStrdata | kLoadSdata;

long PointOf(const baseDataStruct* node) {
    return TextToLong(getinfo(node, kThisNode, "pointId"));
}

bool IsType(const baseDataStruct* node, std::string_view type) {
    return node && getinfo(node, kThisNode, "type") == type;
}

std::string BoxSubType(const baseDataStruct* box) {
    return getinfo(box, kThisNode, "subType");
}

// Boxes whose letters were written here: their To line is the receiver.
bool HoldsOwnLetters(const baseDataStruct* box) {
    const std::string sub = BoxSubType(box);
    return sub == "prepare" || sub == "send" || sub == "drafts";
}

// A letter in state `state` has left `box`: the counters that counted it go down.
bool CountRemoved(baseDataStruct* box, uint32_t state) {
    const std::pair<const char*, bool> counted[] = {{"ValidateItemSum", (state & STATE_VALID) != 0},
                                                    {"DeleteItemSum", (state & STATE_VALID) == 0},
                                                    {"HideItemSum", (state & LETTER_HIDDEN) != 0},
                                                    {"UnreadItemSum", (state & LETTER_READ) == 0}};
    bool changed = false;
    for (const auto& [key, counts] : counted) {
        const long value = TextToLong(getinfo(box, kThisNode, key));
        if (!counts || value <= 0) continue;
        setinfo(box, kThisNode, key, LongToText(value - 1));
        changed = true;
    }
    return changed;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

}  // namespace

CViewWriteLetter::CViewWriteLetter(CSysData& sys, ComposerForm& form, TextView& text,
                                   ComboView& templates, ComboView& formats,
                                   AttachmentListView& attachments, ComposerDialogs& dialogs,
                                   ReceiverPicker& picker, ComposerHost& host, Clock clock)
    : sys_(sys),
      form_(form),
      text_(text),
      templates_(templates),
      formats_(formats),
      attachmentView_(attachments),
      dialogs_(dialogs),
      picker_(picker),
      host_(host),
      clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      attachments_(CreateRootNode()) {}

CViewWriteLetter::~CViewWriteLetter() = default;

bool CViewWriteLetter::Close(std::string_view message) {
    form_.Hide();
    dialogs_.Message(message, kComposerTitle);
    form_.Close();
    return false;
}

baseDataStruct* CViewWriteLetter::Box(uint32_t id) {
    baseDataStruct* box = id ? findid(sys_.root(), id) : nullptr;
    return IsType(box, "Box") ? box : nullptr;
}

baseDataStruct* CViewWriteLetter::account() {
    Lock lock(ModelLock());
    baseDataStruct* node = accountId_ ? findid(sys_.root(), accountId_) : nullptr;
    return IsType(node, "Account") ? node : nullptr;
}

baseDataStruct* CViewWriteLetter::Find(const LetterRef& ref) {
    baseDataStruct* box = Box(ref.boxId);
    if (!box || ref.point < 0) return nullptr;
    baseDataStruct* letters = sys_.mailBox().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
    for (baseDataStruct* l = letters ? letters->firstSon() : nullptr; l; l = l->nextBrother()) {
        if (PointOf(l) == ref.point) return l;
    }
    return nullptr;
}

baseDataStruct* CViewWriteLetter::editedLetter() {
    Lock lock(ModelLock());
    return Find(edited_);
}

baseDataStruct* CViewWriteLetter::editedBox() {
    Lock lock(ModelLock());
    return Box(edited_.boxId);
}

baseDataStruct* CViewWriteLetter::ChooseAccount(baseDataStruct* node) {
    if (baseDataStruct* above = sys_.DataGetSysPoint(node, kKindAccount)) return above;
    std::vector<baseDataStruct*> accounts;
    std::vector<std::string> entries;
    for (baseDataStruct* user = sys_.root()->firstSon(); user; user = user->nextBrother()) {
        if (!IsType(user, "User")) continue;
        baseDataStruct* tree = sys_.DataGetSysPoint(user, kKindUATree);
        for (baseDataStruct* a = tree ? tree->firstSon() : nullptr; a; a = a->nextBrother()) {
            if (!IsType(a, "Account")) continue;
            accounts.push_back(a);
            entries.push_back(getinfo(a, kThisNode, "caption") + " [" +
                              getinfo(user, kThisNode, "caption") + "]");
        }
    }
    if (accounts.empty()) return nullptr;
    const int chosen = dialogs_.ChooseFromList(kAccountSelectTitle, kAccountSelectPrompt, entries);
    if (chosen < 0 || static_cast<size_t>(chosen) >= accounts.size()) return nullptr;
    return accounts[static_cast<size_t>(chosen)];
}

bool CViewWriteLetter::InitialUpdate(const ComposerRequest& request) {
    Lock lock(ModelLock());
    mode_ = request.mode;
    baseDataStruct* chosen = ChooseAccount(request.node);
    if (!chosen) return Close(kNoAccountMessage);
    accountId_ = chosen->nodeId();
    const bool needsOriginal =
        mode_ == kModeWriteBack || mode_ == kModeForward || mode_ == kModeReopen;
    if (needsOriginal && !request.letter) return Close(kNoAccountMessage);

    for (ComposerLine line : {ComposerLine::kTo, ComposerLine::kCc, ComposerLine::kConfidential,
                              ComposerLine::kSubject})
        form_.SetLine(line, "");
    text_.SetText("");
    deletesons(attachments_.get());
    FillTemplates();

    if (mode_ == kModeNew) {
        form_.SetLine(ComposerLine::kTo, request.receiver);
    } else {
        // The letter list's box is the letter's box.
        baseDataStruct* box = IsType(request.node, "Box") ? request.node : nullptr;
        const LetterRef ref{box ? box->nodeId() : 0, PointOf(request.letter)};
        if (mode_ == kModeReopen) {
            // Letters kept here are saved in place; any other is sent as a new letter.
            if (box && (BoxSubType(box) == "prepare" || BoxSubType(box) == "drafts")) edited_ = ref;
        } else {
            original_ = ref;
        }
        int variant = request.variant;
        if (mode_ == kModeReopen) variant = variant != 6 || HoldsOwnLetters(box) ? 5 : 6;
        FillFromOriginal(request.letter, variant);
    }
    ShowConfidentialLine();
    ShowAttachments();
    ApplySelectedTemplate();
    form_.Focus(ComposerLine::kText);
    return true;
}

void CViewWriteLetter::FillTemplates() {
    templates_.Clear();
    templatePoints_.clear();
    formats_.Clear();
    for (std::string_view format : kTemplateFormats) formats_.Append(format);
    formats_.Select(0);
    const int subKind = mode_ == kModeNew         ? kTFolderNewLetter
                        : mode_ == kModeWriteBack ? kTFolderWriteBack
                        : mode_ == kModeForward   ? kTFolderForward
                                                  : 0;
    if (subKind == 0) return;
    baseDataStruct* folder = sys_.DataGetSysPoint(account(), kKindTFolder, subKind);
    baseDataStruct* link = folder ? sys_.mailBox().SysReadLinkTree(folder, kAllBlocks) : nullptr;
    for (baseDataStruct* node : ListedTemplates(link)) {
        templates_.Append(getinfo(node, kThisNode, "caption"));
        templatePoints_.push_back(PointOf(node));
        if (IsDefaultTemplate(node) && templates_.Selection() < 0) {
            templates_.Select(templates_.Count() - 1);
            formats_.Select(TemplateFormatIndex(getinfo(node, kThisNode, "format")));
        }
    }
}

void CViewWriteLetter::FillFromOriginal(baseDataStruct* letter, int variant) {
    CSysMailBox& mail = sys_.mailBox();
    bool loaded = false;
    if (teststate(letter, STATE_HAS_SDATA) && getdatasize(letter, "SDATA") == 0) {
        loaded = mail.DataLoadPoint(letter, -1, kLoadSdata);
    }
    const std::string raw(getdata(letter, "SDATA").value_or(""));
    if (loaded) freedata(letter, 8);

    std::string storage;
    const std::string_view text = WithCrLfLineEnds(raw, storage);
    const std::string_view header = text.substr(0, text.find("\r\n\r\n"));
    oldDate_ = MailGetHeaderItem(header, "Date");
    oldSubject_ = MailGetHeaderItem(header, "Subject");
    oldFrom_ = MailGetHeaderItem(header, "From");
    oldTo_ = MailGetHeaderItem(header, "To");
    oldCc_ = MailGetHeaderItem(header, "cc");

    std::unique_ptr<baseDataStruct> parsed = CreateRootNode();
    mailProcess(raw, parsed.get(), true);
    oldText_ = LetterTextOf(parsed.get());
    if (mode_ == kModeForward || mode_ == kModeReopen) {
        for (const baseDataStruct* son = parsed->firstSon(); son; son = son->nextBrother()) {
            if (getinfo(son, kThisNode, "type") != "attachment") continue;
            AddAttachment("type =file ,fileFullName =attachment ,fileName =" +
                              encodeinfo(getinfo(son, kThisNode, "fileName")) + " ,icon =0",
                          getdata(son, "SDATA").value_or(""));
        }
    }

    switch (mode_) {
        case kModeWriteBack:
            if (variant == 1 || variant == 2) form_.SetLine(ComposerLine::kTo, oldFrom_);
            if (variant == 1 || variant == 3) form_.SetLine(ComposerLine::kCc, oldCc_);
            text_.SetText(QuoteText(oldText_, '>'));
            form_.SetLine(ComposerLine::kSubject, "Re:" + oldSubject_);
            break;
        case kModeForward:
            text_.SetText(QuoteText(oldText_, ']'));
            form_.SetLine(ComposerLine::kSubject, "Fw:" + oldSubject_);
            break;
        default:
            form_.SetLine(ComposerLine::kTo, variant == 6 ? oldFrom_ : oldTo_);
            form_.SetLine(ComposerLine::kCc, oldCc_);
            form_.SetLine(ComposerLine::kSubject, oldSubject_);
            if (const std::string hidden = getinfo(letter, kThisNode, kBlindCopyKey);
                hidden != kAbsent)
                form_.SetLine(ComposerLine::kConfidential, hidden);
            text_.SetText(oldText_);
            break;
    }
}

void CViewWriteLetter::AddAttachment(std::string_view property, std::string_view data) {
    baseDataStruct* item = AddSonText(attachments_.get(), std::string(property));
    if (!data.empty()) setinfo(item, kThisNode, "SDATA", data);
}

std::vector<std::string> CViewWriteLetter::attachmentNames() const {
    std::vector<std::string> names;
    for (const baseDataStruct* item = attachments_->firstSon(); item; item = item->nextBrother())
        names.push_back(getinfo(item, kThisNode, "fileName"));
    return names;
}

void CViewWriteLetter::ShowAttachments() {
    attachmentView_.ClearRows();
    for (const std::string& name : attachmentNames()) attachmentView_.AddRow(name);
    form_.ShowAttachmentList(attachments_->firstSon() != nullptr);
}

void CViewWriteLetter::AddFiles() {
    Lock lock(ModelLock());
    for (const std::string& path : dialogs_.ChooseFiles(kAttachFilter, HomeFolder())) {
        bool attached = false;
        for (const baseDataStruct* item = attachments_->firstSon(); item && !attached;
             item = item->nextBrother())
            attached = getinfo(item, kThisNode, "fileFullName") == path;
        if (attached || path.empty() || path == "attachment") continue;
        AddAttachment("type =file ,fileFullName =" + encodeinfo(path) + " ,fileName =" +
                          encodeinfo(path.substr(path.rfind('/') + 1)) + " ,icon =0",
                      {});
    }
    ShowAttachments();
}

void CViewWriteLetter::DeleteSelectedFiles() {
    Lock lock(ModelLock());
    std::vector<baseDataStruct*> items;
    for (baseDataStruct* item = attachments_->firstSon(); item; item = item->nextBrother())
        items.push_back(item);
    for (const int row : attachmentView_.SelectedRows()) {
        if (row >= 0 && static_cast<size_t>(row) < items.size()) {
            deletepoint(items[static_cast<size_t>(row)]);
            items[static_cast<size_t>(row)] = nullptr;
        }
    }
    ShowAttachments();
}

void CViewWriteLetter::ShowConfidentialLine() {
    form_.ShowConfidential(!form_.Line(ComposerLine::kConfidential).empty());
}

void CViewWriteLetter::PickReceivers(ComposerLine focus) {
    Lock lock(ModelLock());
    ReceiverLines lines{form_.Line(ComposerLine::kTo), form_.Line(ComposerLine::kCc),
                        form_.Line(ComposerLine::kConfidential)};
    if (picker_.PickReceivers(account(), lines)) {
        form_.SetLine(ComposerLine::kTo, lines.to);
        form_.SetLine(ComposerLine::kCc, lines.cc);
        form_.SetLine(ComposerLine::kConfidential, lines.hidden);
        RefreshMacros();
        ShowConfidentialLine();
    } else if (focus == ComposerLine::kConfidential) {
        // Without a choice from the book the line opens for typing.
        form_.ShowConfidential(true);
    }
    form_.Focus(focus);
}

TemplateContext CViewWriteLetter::Context() {
    TemplateContext context;
    context.now = clock_();
    baseDataStruct* from = account();
    const std::string email = getinfo(from, kThisNode, "email");
    const std::string back = getinfo(from, kThisNode, "ReturnEmail");
    context.senderAddress = email == kAbsent ? std::string() : email;
    context.returnAddress = back == kAbsent ? std::string() : back;
    context.to = form_.Line(ComposerLine::kTo);
    context.cc = form_.Line(ComposerLine::kCc);
    context.oldDate = oldDate_;
    context.oldSubject = oldSubject_;
    context.oldText = oldText_;
    context.oldFrom = oldFrom_;
    context.oldTo = oldTo_;
    context.oldCc = oldCc_;
    return context;
}

void CViewWriteLetter::ApplySelectedTemplate() {
    Lock lock(ModelLock());
    const int index = templates_.Selection();
    if (index < 0 || static_cast<size_t>(index) >= templatePoints_.size()) return;
    baseDataStruct* folder = sys_.DataGetSysPoint(account(), kKindTFolder,
                                                  mode_ == kModeNew         ? kTFolderNewLetter
                                                  : mode_ == kModeWriteBack ? kTFolderWriteBack
                                                                            : kTFolderForward);
    baseDataStruct* link = folder ? sys_.mailBox().SysReadLinkTree(folder, kAllBlocks) : nullptr;
    for (baseDataStruct* node : ListedTemplates(link)) {
        if (PointOf(node) != templatePoints_[static_cast<size_t>(index)]) continue;
        AppliedTemplate applied;
        if (!ApplyTemplate(sys_.mailBox(), node, Context(), &applied)) return;
        formats_.Select(applied.formatIndex);
        text_.SetText(applied.text);
        text_.SetSelection(applied.caret, applied.caret);
        return;
    }
}

void CViewWriteLetter::SetTextKeepingCaret(const std::string& text) {
    if (text == text_.Text()) return;
    size_t start = 0, end = 0;
    text_.GetSelection(&start, &end);
    text_.SetText(text);
    text_.SetSelection(start, start);
}

void CViewWriteLetter::RefreshMacros() {
    std::string text = text_.Text();
    text = FillAddressMacros(text, kMacroReceiver, form_.Line(ComposerLine::kTo));
    text = FillAddressMacros(text, kMacroCc, form_.Line(ComposerLine::kCc));
    SetTextKeepingCaret(text);
}

void CViewWriteLetter::LeaveLine(ComposerLine line) {
    Lock lock(ModelLock());
    if (line == ComposerLine::kTo) {
        SetTextKeepingCaret(
            FillAddressMacros(text_.Text(), kMacroReceiver, form_.Line(ComposerLine::kTo)));
    } else if (line == ComposerLine::kCc) {
        SetTextKeepingCaret(FillAddressMacros(text_.Text(), kMacroCc, form_.Line(line)));
    } else if (line == ComposerLine::kConfidential) {
        ShowConfidentialLine();
    }
}

bool CViewWriteLetter::CheckLines() {
    struct Check {
        ComposerLine line;
        std::string_view message;
    };
    static constexpr Check kChecks[] = {{ComposerLine::kTo, kBadReceiverMessage},
                                        {ComposerLine::kCc, kBadCcMessage},
                                        {ComposerLine::kConfidential, kBadConfidentialMessage}};
    bool any = false;
    for (const Check& check : kChecks) {
        const std::string line = form_.Line(check.line);
        if (TrimWhite(line).empty()) continue;
        any = true;
        if (!IsValidReceiverLine(line)) {
            dialogs_.Message(check.message, kComposerTitle);
            form_.Focus(check.line);
            return false;
        }
    }
    if (!any) {
        dialogs_.Message(kNoReceiverMessage, kComposerTitle);
        form_.Focus(ComposerLine::kTo);
    }
    return any;
}

baseDataStruct* CViewWriteLetter::Save(bool send) {
    RefreshMacros();
    baseDataStruct* from = account();
    if (!from) return nullptr;
    CSysMailBox& mail = sys_.mailBox();

    baseDataStruct* letter = Find(edited_);
    baseDataStruct* box = letter ? Box(edited_.boxId) : nullptr;
    const std::string sub = BoxSubType(box);
    // A letter is saved in place while it stays in its box: a prepared letter, or a draft
    // that is kept again. Sending a draft moves it to the prepare box.
    const bool inPlace = letter && (sub == "prepare" || (!send && sub == "drafts"));
    baseDataStruct* draft = letter && send && sub == "drafts" ? letter : nullptr;
    if (!inPlace) {
        box = sys_.DataGetSysPoint(from, kKindBox, kBoxPrepare);
        if (!send) {
            if (baseDataStruct* drafts = sys_.DataGetSysPoint(from, kKindBox, kBoxDrafts))
                box = drafts;
        }
        baseDataStruct* letters =
            box ? mail.SysReadLinkTree(box, kLoadProperty | kLoadStrdata) : nullptr;
        if (!letters) return nullptr;
        const std::string mailId = getinfo(draft, kThisNode, "MailId");
        letter = AddSonText(letters, "");
        setdata(letter, std::string(kColumnBlockSize, '\0'));
        if (draft && mailId != kAbsent) setinfo(letter, kThisNode, "MailId", mailId);
    }
    const uint32_t before = getstate(letter);

    SendParam param;
    param.From = getinfo(from, kThisNode, "email");
    if (param.From == kAbsent) param.From.clear();
    param.To = form_.Line(ComposerLine::kTo);
    param.CC = form_.Line(ComposerLine::kCc);
    param.Subject = form_.Line(ComposerLine::kSubject);
    param.Body = text_.Text();
    param.Attachments = attachments_.get();
    param.Letter = letter;
    param.Box = box;
    BuildLetter(param, clock_());
    // Lines of a single dot were changed in the message: the form shows what goes out.
    SetTextKeepingCaret(param.Body);
    const std::string hidden = std::string(TrimWhite(form_.Line(ComposerLine::kConfidential)));
    if (!hidden.empty()) setinfo(letter, kThisNode, kBlindCopyKey, hidden);
    changestate(letter, 0, LETTER_READ);
    if (mail.DataSaveList(letter, 1) < 0 || PointOf(letter) < 0) {
        if (!inPlace) deletepoint(letter);
        dialogs_.Message("The letter could not be written: " + mail.failureText(), kComposerTitle);
        return nullptr;
    }
    if (AdjustBoxCounters(box, inPlace, before, getstate(letter))) {
        sys_.DataSavePoint(box);
        host_.BoxChanged(box);
    }
    host_.LetterChanged(letter);
    edited_ = LetterRef{box->nodeId(), PointOf(letter)};

    if (draft) {
        // The letter is in the prepare box now: the draft goes.
        baseDataStruct* draftBox = sys_.DataGetSysPoint(from, kKindBox, kBoxDrafts);
        const uint32_t state = getstate(draft);
        mail.DataDeletePoint(draft, 0);
        if (draftBox) {
            if (CountRemoved(draftBox, state)) sys_.DataSavePoint(draftBox);
            host_.BoxChanged(draftBox);
            host_.LetterRemoved(draftBox);
        }
    }
    mail.DataSync();
    sys_.DataSync();
    return letter;
}

void CViewWriteLetter::MarkOriginal() {
    const uint32_t mark = mode_ == kModeWriteBack ? LETTER_REPLIED
                          : mode_ == kModeForward ? LETTER_FORWARDED
                                                  : 0;
    if (mark == 0) return;
    baseDataStruct* original = Find(original_);
    if (!original) return;
    changestate(original, 0, mark);
    sys_.mailBox().DataSavePoint(original);
    host_.LetterChanged(original);
}

bool CViewWriteLetter::Keep() {
    Lock lock(ModelLock());
    return Save(false) != nullptr;
}

bool CViewWriteLetter::Send() {
    Lock lock(ModelLock());
    if (!CheckLines()) return false;
    baseDataStruct* letter = Save(true);
    if (!letter) return false;
    MarkOriginal();
    sys_.mailBox().DataSync();
    host_.SendLetter(SendRequest{edited_.boxId, edited_.point});
    form_.Close();
    return true;
}

}  // namespace korvo
