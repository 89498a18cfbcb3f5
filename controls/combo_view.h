// A drop-down list as the view logic sees it; MemoryComboView keeps it in memory for tests
// and headless runs. Entries are counted from 0; -1 selects nothing. An index out of range
// reads as empty and selects nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvo {

class ComboView {
  public:
    virtual ~ComboView() = default;
    virtual void Clear() = 0;
    virtual void Append(std::string_view text) = 0;
    virtual int Count() const = 0;
    virtual std::string Text(int index) const = 0;
    virtual int Selection() const = 0;
    virtual void Select(int index) = 0;
};

class MemoryComboView : public ComboView {
  public:
    void Clear() override {
        entries_.clear();
        selection_ = -1;
    }
    void Append(std::string_view text) override { entries_.emplace_back(text); }
    int Count() const override { return static_cast<int>(entries_.size()); }
    std::string Text(int index) const override {
        return index >= 0 && index < Count() ? entries_[index] : std::string();
    }
    int Selection() const override { return selection_; }
    void Select(int index) override { selection_ = index >= 0 && index < Count() ? index : -1; }

  private:
    std::vector<std::string> entries_;
    int selection_ = -1;
};

}  // namespace korvo
