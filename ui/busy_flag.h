// Marks a window's logic as running for the life of a scope: notifications its widgets send
// meanwhile are the logic's own doing, not the user's. Nested scopes restore the old value.
#pragma once

namespace korvo {

class BusyFlag {
  public:
    explicit BusyFlag(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~BusyFlag() { flag_ = was_; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

  private:
    bool& flag_;
    bool was_;
};

}  // namespace korvo
