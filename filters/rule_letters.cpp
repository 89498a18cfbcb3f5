#include "filters/rule_letters.h"

#include <memory>

#include "content/composer_text.h"
#include "content/letter_node.h"
#include "content/mail_header.h"
#include "content/message_composer.h"
#include "content/mime_walk.h"
#include "content/template_store.h"
#include "filters/answer_guard.h"
#include "filters/filter_editor.h"
#include "model/sys_schema.h"
#include "store/node_tree.h"
#include "transport/outbox.h"
#include "transport/receive_mail.h"

namespace korvo {
namespace {

long PointOf(const baseDataStruct* node) {
    return TextToLong(getinfo(node, kThisNode, "pointId"));
}

}  // namespace

// The parts of an arrived letter an answer or a forward is made of.
struct RuleLetters::Original {
    explicit Original(std::string_view raw) {
        const std::string_view text = WithCrLfLineEnds(raw, storage);
        header = text.substr(0, text.find("\r\n\r\n") + 2);
        date = MailGetHeaderItem(header, "Date");
        subject = MailGetHeaderItem(header, "Subject");
        from = MailGetHeaderItem(header, "From");
        to = MailGetHeaderItem(header, "To");
        cc = MailGetHeaderItem(header, "cc");
        parsed = CreateRootNode();
        mailProcess(raw, parsed.get(), true);
        text_ = LetterTextOf(parsed.get());
    }
    std::string storage;
    std::string_view header;
    std::string date, subject, from, to, cc, text_;
    std::unique_ptr<baseDataStruct> parsed;
};

RuleLetters::RuleLetters(CSysData& sys, baseDataStruct* account, Clock clock)
    : sys_(sys),
      account_(account),
      clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })) {}

baseDataStruct* RuleLetters::prepareBox() const {
    return sys_.DataGetSysPoint(account_, kKindBox, kBoxPrepare);
}

std::string RuleLetters::AccountKey(std::string_view key) const {
    const std::string value = getinfo(account_, kThisNode, key);
    return value == kAbsent ? std::string() : value;
}

baseDataStruct* RuleLetters::Write(const std::string& to, const std::string& cc,
                                   const std::string& hidden, const std::string& subject,
                                   const std::string& body, baseDataStruct* attachments,
                                   std::string_view extraHeaders) {
    CSysMailBox& mail = sys_.mailBox();
    baseDataStruct* box = prepareBox();
    baseDataStruct* letters =
        box ? mail.SysReadLinkTree(box, kLoadProperty | kLoadStrdata) : nullptr;
    if (!letters || (to.empty() && cc.empty() && hidden.empty())) return nullptr;
    baseDataStruct* letter = AddSonText(letters, "");
    setdata(letter, std::string(kColumnBlockSize, '\0'));
    SendParam param;
    param.From = AccountKey("email");
    param.To = to;
    param.CC = cc;
    param.Subject = subject;
    param.Body = body;
    param.Attachments = attachments;
    param.Letter = letter;
    param.Box = box;
    param.ExtraHeaders = extraHeaders;
    BuildLetter(param, clock_());
    if (!hidden.empty()) setinfo(letter, kThisNode, kBlindCopyKey, hidden);
    changestate(letter, 0, LETTER_READ);
    if (mail.DataSaveList(letter, 1) < 0 || PointOf(letter) < 0) {
        deletepoint(letter);
        return nullptr;
    }
    if (AdjustBoxCounters(box, false, 0, getstate(letter))) sys_.DataSavePoint(box);
    freedata(letter, 8);
    return letter;
}

baseDataStruct* RuleLetters::Forward(std::string_view raw, std::string_view receivers) {
    const Original original(raw);
    if (ForwardedByRule(original.header)) return nullptr;
    const ForwardReceivers to = ForwardLines(receivers);
    // The original's attachments go along, as in the composer's forward.
    std::unique_ptr<baseDataStruct> attachments = CreateRootNode();
    for (const baseDataStruct* son = original.parsed->firstSon(); son; son = son->nextBrother()) {
        if (getinfo(son, kThisNode, "type") != "attachment") continue;
        baseDataStruct* item = AddSonText(
            attachments.get(), "type =file ,fileFullName =attachment ,fileName =" +
                                   encodeinfo(getinfo(son, kThisNode, "fileName")) + " ,icon =0");
        setinfo(item, kThisNode, "SDATA", getdata(son, "SDATA").value_or(""));
    }
    return Write(std::string(TrimWhite(to.to)), std::string(TrimWhite(to.cc)),
                 std::string(TrimWhite(to.hidden)), "Fw:" + original.subject,
                 QuoteText(original.text_, ']'), attachments.get(), kRuleForwardedHeader);
}

baseDataStruct* RuleLetters::AutoBack(std::string_view raw, std::string_view templateCaption) {
    const Original original(raw);
    baseDataStruct* user = sys_.DataGetSysPoint(account_, kKindUser);
    if (!user) return nullptr;
    const std::time_t now = clock_();
    std::tm local{};
    localtime_r(&now, &local);
    char today[16];
    std::strftime(today, sizeof today, "%Y%m%d", &local);
    std::string answered = getinfo(user, kThisNode, kAnsweredKey);
    if (answered == kAbsent) answered.clear();
    if (AutoAnswerBar(original.header, AccountKey("email"), answered, today) != AnswerBar::kNone)
        return nullptr;

    // The template of that caption among the account's answer templates; the first whose
    // caption begins with it (ignoring case) when none has it exactly.
    CSysMailBox& mail = sys_.mailBox();
    baseDataStruct* folder = sys_.DataGetSysPoint(account_, kKindTFolder, kTFolderWriteBack);
    baseDataStruct* link =
        folder ? mail.SysReadLinkTree(folder, kLoadProperty | kLoadStrdata | kLoadSdata) : nullptr;
    baseDataStruct* chosen = nullptr;
    const std::string wanted = AsciiLowerCopy(templateCaption);
    for (baseDataStruct* node : ListedTemplates(link)) {
        const std::string caption = getinfo(node, kThisNode, "caption");
        if (caption == templateCaption) {
            chosen = node;
            break;
        }
        if (!chosen && !wanted.empty() && AsciiLowerCopy(caption).rfind(wanted, 0) == 0)
            chosen = node;
    }
    if (!chosen) return nullptr;

    const std::string address = AnswerAddress(original.header);
    TemplateContext context;
    context.now = now;
    context.senderAddress = AccountKey("email");
    context.returnAddress = AccountKey("ReturnEmail");
    context.to = original.from.empty() ? address : original.from;
    context.oldDate = original.date;
    context.oldSubject = original.subject;
    context.oldText = original.text_;
    context.oldFrom = original.from;
    context.oldTo = original.to;
    context.oldCc = original.cc;
    AppliedTemplate applied;
    if (!ApplyTemplate(mail, chosen, context, &applied)) return nullptr;
    baseDataStruct* letter =
        Write(address, {}, {}, "Re:" + original.subject, applied.text, nullptr, kAutoRepliedHeader);
    if (!letter) return nullptr;
    setinfo(user, kThisNode, kAnsweredKey, AnsweredWith(answered, today, address));
    sys_.DataSavePoint(user);
    return letter;
}

}  // namespace korvo
