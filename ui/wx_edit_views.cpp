#include "ui/wx_edit_views.h"

#include <algorithm>

#include "ui/wx_text.h"

namespace korvo {
namespace {

// Characters of the widget's text before byte offset `offset` of `bytes`.
long CharactersBefore(const std::string& bytes, size_t offset) {
    return static_cast<long>(WxFromBytes(std::string_view(bytes).substr(0, offset)).length());
}

}  // namespace

std::string WxTextView::Text() const {
    return BytesFromWx(text_->GetValue());
}

void WxTextView::SetText(std::string_view text) {
    text_->ChangeValue(WxFromBytes(text));
    text_->SetInsertionPoint(0);
}

void WxTextView::GetSelection(size_t* start, size_t* end) const {
    long from = 0, to = 0;
    text_->GetSelection(&from, &to);
    const wxString value = text_->GetValue();
    *start = BytesFromWx(value.Left(static_cast<size_t>(std::max(0L, from)))).size();
    *end = BytesFromWx(value.Left(static_cast<size_t>(std::max(from, to)))).size();
}

void WxTextView::SetSelection(size_t start, size_t end) {
    const std::string bytes = Text();
    start = std::min(start, bytes.size());
    end = std::clamp(end, start, bytes.size());
    text_->SetSelection(CharactersBefore(bytes, start), CharactersBefore(bytes, end));
}

void WxTextView::SetEditable(bool editable) {
    text_->SetEditable(editable);
}

void WxTextView::SetVisible(bool visible) {
    text_->Show(visible);
    if (wxWindow* parent = text_->GetParent()) parent->Layout();
}

void WxComboView::Append(std::string_view text) {
    choice_->Append(WxFromBytes(text));
}

std::string WxComboView::Text(int index) const {
    if (index < 0 || index >= Count()) return {};
    return BytesFromWx(choice_->GetString(static_cast<unsigned>(index)));
}

int WxComboView::Selection() const {
    const int selection = choice_->GetSelection();
    return selection == wxNOT_FOUND ? -1 : selection;
}

void WxComboView::Select(int index) {
    choice_->SetSelection(index >= 0 && index < Count() ? index : wxNOT_FOUND);
}

}  // namespace korvo
