// A multi-line text editor as the view logic sees it; MemoryTextView keeps it in memory for
// tests and headless runs. Positions are byte offsets into Text(); the widget side converts
// them to and from its own character positions.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace korvo {

class TextView {
  public:
    virtual ~TextView() = default;
    virtual std::string Text() const = 0;
    // Replaces the whole text; the caret goes to the start.
    virtual void SetText(std::string_view text) = 0;
    // The selection [start, end); start == end is the caret alone.
    virtual void GetSelection(size_t* start, size_t* end) const = 0;
    virtual void SetSelection(size_t start, size_t end) = 0;
    virtual void SetEditable(bool editable) = 0;
    virtual void SetVisible(bool visible) = 0;
};

class MemoryTextView : public TextView {
  public:
    std::string Text() const override { return text_; }
    void SetText(std::string_view text) override {
        text_.assign(text);
        start_ = end_ = 0;
    }
    void GetSelection(size_t* start, size_t* end) const override {
        *start = start_;
        *end = end_;
    }
    void SetSelection(size_t start, size_t end) override {
        start_ = std::min(start, text_.size());
        end_ = std::clamp(end, start_, text_.size());
    }
    void SetEditable(bool editable) override { editable_ = editable; }
    void SetVisible(bool visible) override { visible_ = visible; }

    bool editable() const { return editable_; }
    bool visible() const { return visible_; }

  private:
    std::string text_;
    size_t start_ = 0;
    size_t end_ = 0;
    bool editable_ = true;
    bool visible_ = true;
};

}  // namespace korvo
