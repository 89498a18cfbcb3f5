// Whole numbers by 24-bit node id, in one flat table (open addressing, linear probing): a list
// of a hundred thousand letters indexes its rows after every keystroke of a search, and a
// table that allocates per entry spends most of that time in the allocator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvo {

class IdTable {
  public:
    static constexpr int kNone = -1;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void Clear();
    // Room for `count` entries without growing.
    void Reserve(size_t count);

    // The value of `id`, or kNone.
    int Find(uint32_t id) const;
    // Adds `id` unless it is there (the first value stays); true when added.
    bool Add(uint32_t id, int value);
    // Sets the value of `id`, adding it when it is not there.
    void Set(uint32_t id, int value);
    void Erase(uint32_t id);
    // Every value above `value` goes down by one: what a list's rows do when one is deleted.
    void LowerValuesAbove(int value);

  private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;  // above every 24-bit id
    struct Slot {
        uint32_t id = kEmpty;
        int value = 0;
    };

    size_t Home(uint32_t id) const {
        return (static_cast<uint32_t>(id * 2654435761u) >> shift_) & (slots_.size() - 1);
    }
    // The slot holding `id`, or the empty slot where it would go.
    size_t Probe(uint32_t id) const;
    void Grow(size_t capacity);

    std::vector<Slot> slots_;
    size_t size_ = 0;
    int shift_ = 32;
};

}  // namespace korvo
