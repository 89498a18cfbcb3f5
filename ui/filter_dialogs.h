// The dialogs of the filter editor's "..." button: the box selection dialog ("Box select") over
// the accounts and boxes of a user, the sound file dialog, and the receivers of a forward,
// which come from the address selection dialog when one has been given.
#pragma once

#include <wx/window.h>

#include "filters/filter_editor.h"
#include "model/sys_data.h"
#include "shell/receiver_picker.h"

namespace korvo {

inline constexpr std::string_view kBoxSelectTitle = "Box select";
inline constexpr std::string_view kBoxSelectPrompt = "Select box";

class WxFilterDialogs : public FilterDialogs {
  public:
    // `sys` must outlive the dialogs.
    WxFilterDialogs(wxWindow* parent, CSysData& sys) : parent_(parent), sys_(sys) {}

    // The address selection dialog; null: a forward's receivers are typed.
    void SetReceiverPicker(ReceiverPicker* receivers) { receivers_ = receivers; }

    bool ChooseBox(baseDataStruct* node, baseDataStruct** chosen) override;
    bool ChooseSoundFile(std::string* path) override;
    bool PickReceivers(baseDataStruct* account, ForwardReceivers* lines) override;

  private:
    wxWindow* parent_;
    CSysData& sys_;
    ReceiverPicker* receivers_ = nullptr;
};

}  // namespace korvo
