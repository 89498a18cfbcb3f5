#include "filters/filter_editor.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "content/template_store.h"
#include "filters/compiled_rule.h"
#include "filters/rule_explain.h"
#include "filters/rule_tables.h"
#include "filters/rule_text.h"
#include "platform/model_lock.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr int kBetweenEntry = 2;  // "between" in the number operators
constexpr std::string_view kTo = "To:";
constexpr std::string_view kCcTo = "CC to:";
constexpr std::string_view kHideSend = "Hide send:";

std::string Doubled(std::string_view caption) {
    std::string out;
    for (char c : caption) {
        out += c;
        if (c == '/') out += '/';
    }
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// Selects the first entry that begins with `stored` (any case), else entry 0.
void SelectStored(ComboView& combo, std::string_view stored) {
    for (int i = 0; i < combo.Count(); ++i) {
        if (StartsWithNoCase(combo.Text(i), stored)) {
            combo.Select(i);
            return;
        }
    }
    combo.Select(0);
}

// A whole number of at most 18 digits, blanks around it allowed.
bool WholeNumber(std::string_view text, long long* number) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty() || text.size() > 18) return false;
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    *number = n;
    return true;
}

std::string Present(std::string value) {
    return value == kAbsent ? std::string() : value;
}

struct FlagBox {
    FilterCheck check;
    std::string_view element;
};
constexpr FlagBox kFlagBoxes[] = {
    {FilterCheck::kDeleteAfter, "DeleteAfter"}, {FilterCheck::kDeleteAtOnce, "DeleteAtonce"},
    {FilterCheck::kAutoHide, "AutoHide"},       {FilterCheck::kNothingToDo, "DoNothing"},
    {FilterCheck::kPopMessage, "Message"},      {FilterCheck::kPlayIcon, "PlayIcon"},
};

}  // namespace

std::string BoxChoiceText(const baseDataStruct* node) {
    if (!node || getinfo(node, kThisNode, "type") != "Box") return {};
    const baseDataStruct* account = node->parent();
    while (account && getinfo(account, kThisNode, "type") != "Account") account = account->parent();
    const std::string box = Doubled(getinfo(node, kThisNode, "caption"));
    if (!account) return "/" + box;
    return Doubled(getinfo(account, kThisNode, "caption")) + "/" + box;
}

std::string ForwardValue(const ForwardReceivers& lines) {
    return std::string(kTo) + lines.to + std::string(kCcTo) + lines.cc + std::string(kHideSend) +
           lines.hidden;
}

ForwardReceivers ForwardLines(std::string_view value) {
    ForwardReceivers lines;
    const size_t cc = value.find(kCcTo);
    const size_t hide = value.find(kHideSend, cc == std::string_view::npos ? 0 : cc);
    if (!value.starts_with(kTo) || cc == std::string_view::npos || hide == std::string_view::npos)
        return lines;
    lines.to = value.substr(kTo.size(), cc - kTo.size());
    lines.cc = value.substr(cc + kCcTo.size(), hide - cc - kCcTo.size());
    lines.hidden = value.substr(hide + kHideSend.size());
    return lines;
}

CFilterEditor::CFilterEditor(CSysData& sys, FilterWizardView& view, Prompter& prompter,
                             FilterDialogs& dialogs)
    : sys_(sys), view_(view), prompter_(prompter), dialogs_(dialogs) {}

void CFilterEditor::FillNameCombo(int kind, ComboView& combo) {
    combo.Clear();
    if (kind == kReplyTemplateKind) {
        baseDataStruct* folder = sys_.DataGetSysPoint(Folder(), kKindTFolder, kTFolderWriteBack);
        if (folder) {
            baseDataStruct* link =
                sys_.mailBox().SysReadLinkTree(folder, kLoadProperty | kLoadStrdata | kLoadSdata);
            for (baseDataStruct* t : ListedTemplates(link))
                combo.Append(getinfo(t, kThisNode, "caption"));
        }
    } else {
        const auto table = RuleTable(kind);
        // The field table's first and last entries are not offered.
        const size_t first = kind == kFieldKind ? 1 : 0;
        const size_t end = kind == kFieldKind ? table.size() - 1 : table.size();
        for (size_t i = first; i < end; ++i) combo.Append(table[i].key);
    }
    combo.Select(0);
}

void CFilterEditor::OpenWizard() {
    Lock lock(ModelLock());
    FillNameCombo(kFieldKind, view_.fields());
    FillNameCombo(kTextOperatorKind, view_.operators());
    FillNameCombo(kMacroKind, view_.macros());
    FillNameCombo(kActionKind, view_.actions());
    between_ = false;
    OnOperator();
    OnAction();
    ShowConditions(true);
}

baseDataStruct* CFilterEditor::Folder() {
    if (folderId_ == 0) return nullptr;
    baseDataStruct* node = findid(sys_.root(), folderId_);
    return node && getinfo(node, kThisNode, "type") == "FilterFolder" ? node : nullptr;
}

baseDataStruct* CFilterEditor::rule() {
    Lock lock(ModelLock());
    baseDataStruct* folder = Folder();
    if (!folder || point_ < 0) return nullptr;
    baseDataStruct* link =
        sys_.mailBox().SysReadLinkTree(folder, kLoadProperty | kLoadStrdata | kLoadSdata);
    for (baseDataStruct* son = link ? link->firstSon() : nullptr; son; son = son->nextBrother()) {
        if (TextToLong(getinfo(son, kThisNode, "pointId")) == point_) return son;
    }
    return nullptr;
}

void CFilterEditor::SetRule(uint32_t folderId, long point) {
    Lock lock(ModelLock());
    folderId_ = folderId;
    point_ = point;
    baseDataStruct* node = rule();
    if (node && getdatasize(node, "SDATA") <= 0) sys_.mailBox().DataLoadPoint(node, -1, kLoadSdata);
    Refresh();
}

void CFilterEditor::ExplainInto(CBaseListControl& list) {
    Lock lock(ModelLock());
    ExplainRule(rule(), list);
}

void CFilterEditor::Refresh() {
    Lock lock(ModelLock());
    baseDataStruct* node = rule();
    ExplainRule(node, view_.explanation());
    view_.SetChecked(FilterCheck::kAllConditions,
                     getinfo(node, kThisNode, "CheckCondition") == "AllCondition");
    const std::string text = Text();
    for (const FlagBox& box : kFlagBoxes) {
        view_.SetChecked(
            box.check, ReadRuleItem(PartElement(text, kActionTag, box.element), "Value") == "true");
    }
    view_.SetChecked(
        FilterCheck::kHaveAttachment,
        ReadRuleItem(PartElement(text, kConditionTag, "HaveAttachment"), "Value") == "true");
}

std::string CFilterEditor::Text() {
    baseDataStruct* node = rule();
    return node ? getinfo(node, kThisNode, "SDATA") : std::string();
}

void CFilterEditor::Store(const std::string& text) {
    baseDataStruct* node = rule();
    if (!node) return;
    setinfo(node, kThisNode, "SDATA", text);
    CompileRule(node, &prompter_);
    Refresh();
    // Written last, so the text, its record and the summary keys reach the store together.
    sys_.mailBox().DataSaveList(node, 1);
}

void CFilterEditor::ApplyCondition(std::string_view element) {
    Store(MergeIntoPart(Text(), kConditionTag, element));
}

void CFilterEditor::ApplyAction(std::string_view element) {
    Store(MergeIntoPart(Text(), kActionTag, element));
}

std::string CFilterEditor::FieldKey() {
    const int f = view_.fields().Selection() + kFirstField;
    const auto table = RuleTable(kFieldKind);
    return f >= kFirstField && f <= kSizeField ? std::string(table[f].key) : std::string();
}

std::string CFilterEditor::ActionKey() {
    const int a = view_.actions().Selection();
    const auto table = RuleTable(kActionKind);
    return a >= 0 && a < static_cast<int>(table.size()) ? std::string(table[a].key) : std::string();
}

void CFilterEditor::OnField() {
    Lock lock(ModelLock());
    const int selection = view_.fields().Selection();
    between_ = selection + kFirstField == kSizeField;
    FillNameCombo(selection + kFirstField < kSizeField ? kTextOperatorKind
                  : between_                           ? kNumberOperatorKind
                                                       : kStateOperatorKind,
                  view_.operators());
    view_.macros().Select(0);
    const std::string element = PartElement(Text(), kConditionTag, FieldKey());
    SelectStored(view_.operators(), ReadRuleItem(element, "OP"));
    const std::string value = ReadRuleItem(element, "Value");
    if (value != kAbsent) {
        view_.value().SetText(value);
    } else {
        const int macro = RuleTableIndex(kMacroKind, ReadRuleItem(element, "Marco"));
        view_.value().SetText("");
        if (macro > 0) {
            view_.macros().Select(macro);
            OnMacro();
        }
    }
    OnOperator();
    if (between_ && view_.operators().Selection() == kBetweenEntry) {
        const std::string stored = view_.value().Text();
        const size_t and_ = stored.find(kBetweenJoin);
        view_.betweenFrom().SetText(stored.substr(0, and_));
        view_.betweenTo().SetText(
            and_ == std::string::npos ? std::string() : stored.substr(and_ + kBetweenJoin.size()));
    }
    view_.SetChecked(FilterCheck::kConditionDisabled, ReadRuleItem(element, "State") == "true");
}

void CFilterEditor::OnOperator() {
    Lock lock(ModelLock());
    const bool between = between_ && view_.operators().Selection() == kBetweenEntry;
    view_.Show(FilterPart::kBetweenEdits, between);
    view_.Show(FilterPart::kValueEdit, !between);
}

void CFilterEditor::OnMacro() {
    Lock lock(ModelLock());
    const int macro = view_.macros().Selection();
    const auto table = RuleTable(kMacroKind);
    if (macro > 0 && macro < static_cast<int>(table.size()))
        view_.value().SetText(table[macro].key);
}

void CFilterEditor::AddModifyCondition() {
    Lock lock(ModelLock());
    const std::string field = FieldKey();
    if (field.empty() || !rule()) return;
    ComboView& ops = view_.operators();
    std::string value = view_.value().Text();
    if (between_ && ops.Selection() == kBetweenEntry) {
        long long from = 0, to = 0;
        const std::string a = view_.betweenFrom().Text(), b = view_.betweenTo().Text();
        if (!WholeNumber(a, &from) || !WholeNumber(b, &to) || from > to) {
            prompter_.Message(kBetweenRefused, "Filter");
            return;
        }
        value = std::to_string(from) + std::string(kBetweenJoin) + std::to_string(to);
    }
    const bool macro = view_.macros().Selection() > 0;
    const bool disabled = view_.Checked(FilterCheck::kConditionDisabled);
    ApplyCondition("<" + field + ">OP =" + EncodeRuleValue(ops.Text(ops.Selection())) +
                   (macro ? " ,Marco =" : " ,Value =") + EncodeRuleValue(value) +
                   (disabled ? " ,State =true" : " ,State =false") + "</" + field + ">");
}

void CFilterEditor::OnConditionDisabled() {
    Lock lock(ModelLock());
    if (PartElement(Text(), kConditionTag, FieldKey()) != kAbsent) AddModifyCondition();
}

void CFilterEditor::OnAllConditions(bool all) {
    Lock lock(ModelLock());
    ApplyCondition(all ? "<CheckCondition>OP =equal ,Value =AllCondition</CheckCondition>"
                       : "<CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition>");
}

void CFilterEditor::OnHaveAttachment() {
    Lock lock(ModelLock());
    ApplyCondition(view_.Checked(FilterCheck::kHaveAttachment)
                       ? "<HaveAttachment>Value =true</HaveAttachment>"
                       : "<HaveAttachment>Value =false</HaveAttachment>");
}

void CFilterEditor::DeleteCondition() {
    Lock lock(ModelLock());
    const std::string field = FieldKey();
    if (field.empty() || !rule()) return;
    Store(RuleWithoutElement(Text(), kConditionTag, field));
}

void CFilterEditor::OnAction() {
    Lock lock(ModelLock());
    const std::string action = ActionKey();
    const std::string element = PartElement(Text(), kActionTag, action);
    view_.SetChecked(FilterCheck::kActionDisabled, ReadRuleItem(element, "State") == "true");
    actionEdit_ = ActionTakesEdit(action);
    view_.Show(FilterPart::kActionValueEdit, actionEdit_);
    view_.Show(FilterPart::kActionValueList, !actionEdit_);
    const std::string value = Present(ReadRuleItem(element, "Value"));
    if (actionEdit_) {
        view_.actionValue().SetText(value);
        return;
    }
    const int kind = action == "MarkStyle"   ? kMarkStyleKind
                     : action == "MarkColor" ? kMarkColorKind
                                             : kReplyTemplateKind;
    FillNameCombo(kind, view_.actionValues());
    SelectStored(view_.actionValues(), value);
}

void CFilterEditor::ChooseActionValue() {
    Lock lock(ModelLock());
    const std::string action = ActionKey();
    TextView& edit = view_.actionValue();
    if (action == "MoveTo" || action == "CopyTo") {
        baseDataStruct* chosen = nullptr;
        if (!dialogs_.ChooseBox(Folder(), &chosen)) return;
        edit.SetText(BoxChoiceText(chosen));
    } else if (action == "Forward") {
        ForwardReceivers lines = ForwardLines(edit.Text());
        if (!dialogs_.PickReceivers(sys_.DataGetSysPoint(Folder(), kKindAccount), &lines)) return;
        edit.SetText(ForwardValue(lines));
    } else if (action == "Voice") {
        std::string path;
        if (dialogs_.ChooseSoundFile(&path)) edit.SetText(path);
    }
}

void CFilterEditor::AddModifyAction() {
    Lock lock(ModelLock());
    const std::string action = ActionKey();
    if (action.empty() || !rule()) return;
    ComboView& list = view_.actionValues();
    const std::string value =
        actionEdit_ ? view_.actionValue().Text() : list.Text(list.Selection());
    const bool disabled = view_.Checked(FilterCheck::kActionDisabled);
    ApplyAction("<" + action + ">Value =" + EncodeRuleValue(value) +
                (disabled ? " ,State =true" : " ,State =false") + "</" + action + ">");
}

void CFilterEditor::OnActionDisabled() {
    Lock lock(ModelLock());
    if (PartElement(Text(), kActionTag, ActionKey()) != kAbsent) AddModifyAction();
}

void CFilterEditor::OnFlag(FilterCheck check) {
    Lock lock(ModelLock());
    for (const FlagBox& box : kFlagBoxes) {
        if (box.check != check) continue;
        const std::string name(box.element);
        ApplyAction("<" + name + ">Value =" + (view_.Checked(check) ? "true" : "false") + "</" +
                    name + ">");
    }
}

void CFilterEditor::DeleteAction() {
    Lock lock(ModelLock());
    const std::string action = ActionKey();
    if (action.empty() || !rule()) return;
    Store(RuleWithoutElement(Text(), kActionTag, action));
}

void CFilterEditor::ShowConditions(bool conditions) {
    Lock lock(ModelLock());
    view_.Show(FilterPart::kConditionGroup, conditions);
    view_.Show(FilterPart::kActionGroup, !conditions);
}

void CFilterEditor::OnExplanationRow(uint32_t code) {
    Lock lock(ModelLock());
    if (code >= static_cast<uint32_t>(kLastActionRow)) {
        ShowConditions(false);
        if (code >= static_cast<uint32_t>(kFirstActionRow))
            view_.actions().Select(static_cast<int>(code) - kFirstActionRow);
        OnAction();
        return;
    }
    ShowConditions(true);
    if (code >= static_cast<uint32_t>(kFirstField) && code <= static_cast<uint32_t>(kSizeField)) {
        view_.fields().Select(static_cast<int>(code) - kFirstField);
        OnField();
    }
}

}  // namespace korvo
