// Answers to the program's modal dialogs for the wxTEST_DIALOG hook: what a user types and
// presses.
#pragma once

#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <string>

#include "ui/settings_dialogs.h"
#include "ui/wx_text.h"

namespace korvo::test {

// Answers a lock dialog as the user would: types the passwords and presses OK (or cancels).
class TypeIntoLockDialog : public wxExpectModalBase<wxDialog, TypeIntoLockDialog> {
  public:
    TypeIntoLockDialog(std::string password, std::string repeat, int answer = wxID_OK)
        : password_(password), repeat_(repeat), answer_(answer) {}

  protected:
    int OnInvoked(wxDialog* shown) const override {
        auto* dialog = dynamic_cast<LockDialog*>(shown);
        if (!dialog) {
            ADD_FAILURE() << "not the lock dialog";
            return wxID_CANCEL;
        }
        dialog->passwordField()->SetValue(WxFromBytes(password_));
        if (dialog->repeatField()) dialog->repeatField()->SetValue(WxFromBytes(repeat_));
        EXPECT_EQ(dialog->repeatField() != nullptr, !repeat_.empty());
        return answer_;
    }

  private:
    std::string password_, repeat_;
    int answer_;
};

// Answers a message box with `answer` and records its text.
class ExpectMessageBox : public wxExpectModal<wxMessageDialog> {
  public:
    ExpectMessageBox(int answer, std::string* text)
        : wxExpectModal<wxMessageDialog>(answer), text_(text) {}

  protected:
    int OnInvoked(wxMessageDialog* dialog) const override {
        *text_ = BytesFromWx(dialog->GetMessage());
        return wxExpectModal<wxMessageDialog>::OnInvoked(dialog);
    }

  private:
    std::string* text_;
};

}  // namespace korvo::test
