// A FilterWizardView kept in memory: for tests and for runs without a display.
#pragma once

#include <map>

#include "controls/memory_list_view.h"
#include "filters/filter_editor.h"

namespace korvo {

class MemoryFilterWizardView : public FilterWizardView {
  public:
    ComboView& fields() override { return fields_; }
    ComboView& operators() override { return operators_; }
    ComboView& macros() override { return macros_; }
    ComboView& actions() override { return actions_; }
    ComboView& actionValues() override { return actionValues_; }
    TextView& value() override { return value_; }
    TextView& betweenFrom() override { return from_; }
    TextView& betweenTo() override { return to_; }
    TextView& actionValue() override { return actionValue_; }
    CBaseListControl& explanation() override { return list_; }
    bool Checked(FilterCheck check) const override {
        const auto it = checks_.find(check);
        return it != checks_.end() && it->second;
    }
    void SetChecked(FilterCheck check, bool on) override { checks_[check] = on; }
    void Show(FilterPart part, bool visible) override { shown_[part] = visible; }
    bool shown(FilterPart part) const {
        const auto it = shown_.find(part);
        return it != shown_.end() && it->second;
    }
    MemoryListView& listView() { return listView_; }

  private:
    MemoryComboView fields_, operators_, macros_, actions_, actionValues_;
    MemoryTextView value_, from_, to_, actionValue_;
    MemoryListView listView_;
    CBaseListControl list_{listView_};
    std::map<FilterCheck, bool> checks_;
    std::map<FilterPart, bool> shown_;
};

}  // namespace korvo
