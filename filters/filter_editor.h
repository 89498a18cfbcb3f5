// CFilterEditor: the logic of the filter property sheet's "Modify wizard" page, over small
// views. Every change is written into the rule text at once: the text is merged, compiled and
// explained, and the rule node is written to the mail store with its record and summary keys.
//
// The editor keeps no node pointers between calls (the mail store rebuilds its nodes when it
// switches files): the rule is the son with a given point id of the link node of a filter
// folder, which is known by its node id in the system store. Every entry point takes the model
// lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controls/combo_view.h"
#include "controls/list_control.h"
#include "controls/text_view.h"
#include "model/prompter.h"
#include "model/sys_data.h"

namespace korvo {

// The check boxes of the page; kAllConditions is the radio pair (on: "all conditon ok").
enum class FilterCheck {
    kConditionDisabled,
    kAllConditions,
    kHaveAttachment,
    kActionDisabled,
    kDeleteAtOnce,
    kDeleteAfter,
    kNothingToDo,
    kAutoHide,
    kPopMessage,
    kPlayIcon,
};

// Parts of the page that are shown or hidden together.
enum class FilterPart {
    kConditionGroup,
    kActionGroup,
    kValueEdit,
    kBetweenEdits,
    kActionValueEdit,
    kActionValueList,
};

class FilterWizardView {
  public:
    virtual ~FilterWizardView() = default;
    virtual ComboView& fields() = 0;
    virtual ComboView& operators() = 0;
    virtual ComboView& macros() = 0;
    virtual ComboView& actions() = 0;
    virtual ComboView& actionValues() = 0;
    virtual TextView& value() = 0;
    virtual TextView& betweenFrom() = 0;
    virtual TextView& betweenTo() = 0;
    virtual TextView& actionValue() = 0;
    virtual CBaseListControl& explanation() = 0;
    virtual bool Checked(FilterCheck check) const = 0;
    virtual void SetChecked(FilterCheck check, bool on) = 0;
    virtual void Show(FilterPart part, bool visible) = 0;
};

// The three receiver lines of a forward, each "name<address>,name<address>".
struct ForwardReceivers {
    std::string to;
    std::string cc;
    std::string hidden;
};

// The dialogs of the "..." button.
class FilterDialogs {
  public:
    virtual ~FilterDialogs() = default;
    // The box selection dialog ("Box select", "Select box") over the boxes of `node`'s user.
    // False on Cancel; on OK `chosen` is the chosen node of the system store, or null.
    virtual bool ChooseBox(baseDataStruct* node, baseDataStruct** chosen) = 0;
    // An open-file dialog for sound files starting in the home directory; false on Cancel.
    virtual bool ChooseSoundFile(std::string* path) = 0;
    // The address selection dialog over the address books of `account`'s user, with the
    // three receiver lines filled in; on OK they are replaced. False on Cancel or when no
    // dialog is at hand.
    virtual bool PickReceivers(baseDataStruct* account, ForwardReceivers* lines) = 0;
};

// The file filter of the sound file dialog.
inline constexpr std::string_view kSoundFileFilter =
    "Sound Files (*.wav;*.mp3;*.ogg;*.oga;*.flac)|*.wav;*.mp3;*.ogg;*.oga;*.flac|All Files "
    "(*)|*||";
// The refusal of a "between" that is not two whole numbers in order.
inline constexpr std::string_view kBetweenRefused =
    "\"between\" needs two whole numbers, the first not above the second.";
// The text of a new rule.
inline constexpr std::string_view kNewRuleText =
    "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition><Subject>OP "
    "=equal ,Value =ABCDEF</Subject></Condition>";

// What the box selection dialog writes for a box: the account's caption, "/" and the box's
// caption, each "/" inside a caption doubled; a box outside accounts "/" and its caption.
// Empty for a node that is not a box.
std::string BoxChoiceText(const baseDataStruct* node);

// The Forward value from the three receiver lines, and back.
std::string ForwardValue(const ForwardReceivers& lines);
ForwardReceivers ForwardLines(std::string_view value);

class CFilterEditor {
  public:
    // All references must outlive the editor.
    CFilterEditor(CSysData& sys, FilterWizardView& view, Prompter& prompter,
                  FilterDialogs& dialogs);

    // Fills the field, operator, macro and action lists and shows the condition group.
    void OpenWizard();
    // The rule shown: the son with point id `point` of the link of the folder with node id
    // `folderId`; -1 for none. Refreshes the page.
    void SetRule(uint32_t folderId, long point);
    // The rule node, found afresh; null when none.
    baseDataStruct* rule();
    // Explains the rule into `list` (the other pages' lists).
    void ExplainInto(CBaseListControl& list);
    // Explains the rule into the page's list and sets the check boxes from it.
    void Refresh();

    // Condition controls.
    void OnField();
    void OnOperator();
    void OnMacro();
    void AddModifyCondition();
    void OnConditionDisabled();
    void OnAllConditions(bool all);
    void OnHaveAttachment();
    void DeleteCondition();
    // Action controls.
    void OnAction();
    void ChooseActionValue();
    void AddModifyAction();
    void OnActionDisabled();
    // A flag check box (kDeleteAtOnce ... kPlayIcon) changed.
    void OnFlag(FilterCheck check);
    void DeleteAction();

    // Shows the condition group (true) or the action group.
    void ShowConditions(bool conditions);
    // A click on an explanation row with the given row code.
    void OnExplanationRow(uint32_t code);

    // Fills `combo` from the table of `kind` (13: the reply templates of the rule's account).
    void FillNameCombo(int kind, ComboView& combo);

  private:
    baseDataStruct* Folder();
    std::string FieldKey();
    std::string ActionKey();
    std::string Text();
    void Store(const std::string& text);
    void ApplyCondition(std::string_view element);
    void ApplyAction(std::string_view element);

    CSysData& sys_;
    FilterWizardView& view_;
    Prompter& prompter_;
    FilterDialogs& dialogs_;

    uint32_t folderId_ = 0;
    long point_ = -1;
    bool between_ = false;    // the chosen field is Size
    bool actionEdit_ = true;  // the action's value comes from the edit, not the list
};

}  // namespace korvo
