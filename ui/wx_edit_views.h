// The text editor and drop-down list views of controls/ over wx widgets. Texts are bytes on
// the logic's side and pass through WxFromBytes/BytesFromWx, so nothing is lost; positions are
// byte offsets there and character positions in the widget.
#pragma once

#include <wx/choice.h>
#include <wx/textctrl.h>

#include "controls/combo_view.h"
#include "controls/text_view.h"

namespace korvo {

// Over a multi-line text control; the control belongs to its parent window.
class WxTextView : public TextView {
  public:
    explicit WxTextView(wxTextCtrl* control) : text_(control) {}
    wxTextCtrl* control() const { return text_; }

    std::string Text() const override;
    void SetText(std::string_view text) override;
    void GetSelection(size_t* start, size_t* end) const override;
    void SetSelection(size_t start, size_t end) override;
    void SetEditable(bool editable) override;
    void SetVisible(bool visible) override;

  private:
    wxTextCtrl* text_;
};

// Over a read-only drop-down list; the control belongs to its parent window.
class WxComboView : public ComboView {
  public:
    explicit WxComboView(wxChoice* control) : choice_(control) {}
    wxChoice* control() const { return choice_; }

    void Clear() override { choice_->Clear(); }
    void Append(std::string_view text) override;
    int Count() const override { return static_cast<int>(choice_->GetCount()); }
    std::string Text(int index) const override;
    int Selection() const override;
    void Select(int index) override;

  private:
    wxChoice* choice_;
};

}  // namespace korvo
