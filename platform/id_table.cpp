#include "platform/id_table.h"

namespace korvo {

void IdTable::Clear() {
    for (Slot& slot : slots_) slot.id = kEmpty;
    size_ = 0;
}

void IdTable::Reserve(size_t count) {
    // At most half full: probes stay short.
    size_t capacity = 16;
    while (capacity < count * 2) capacity *= 2;
    if (capacity > slots_.size()) Grow(capacity);
}

size_t IdTable::Probe(uint32_t id) const {
    size_t at = Home(id);
    while (slots_[at].id != kEmpty && slots_[at].id != id) at = (at + 1) & (slots_.size() - 1);
    return at;
}

int IdTable::Find(uint32_t id) const {
    if (size_ == 0 || id == kEmpty) return kNone;
    const Slot& slot = slots_[Probe(id)];
    return slot.id == id ? slot.value : kNone;
}

bool IdTable::Add(uint32_t id, int value) {
    if (id == kEmpty) return false;
    Reserve(size_ + 1);
    Slot& slot = slots_[Probe(id)];
    if (slot.id == id) return false;
    slot.id = id;
    slot.value = value;
    ++size_;
    return true;
}

void IdTable::Set(uint32_t id, int value) {
    if (id == kEmpty) return;
    Reserve(size_ + 1);
    Slot& slot = slots_[Probe(id)];
    if (slot.id != id) {
        slot.id = id;
        ++size_;
    }
    slot.value = value;
}

void IdTable::Erase(uint32_t id) {
    if (size_ == 0 || id == kEmpty) return;
    size_t hole = Probe(id);
    if (slots_[hole].id != id) return;
    slots_[hole].id = kEmpty;
    --size_;
    // Entries after the hole that could not sit at their home move back into it, so that no
    // probe stops early at the hole (no tombstones).
    const size_t mask = slots_.size() - 1;
    for (size_t next = (hole + 1) & mask; slots_[next].id != kEmpty; next = (next + 1) & mask) {
        const size_t home = Home(slots_[next].id);
        // `next` may move to `hole` when its home does not lie in (hole, next], cyclically.
        const bool homeBetween =
            hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (homeBetween) continue;
        slots_[hole] = slots_[next];
        slots_[next].id = kEmpty;
        hole = next;
    }
}

void IdTable::LowerValuesAbove(int value) {
    for (Slot& slot : slots_)
        if (slot.id != kEmpty && slot.value > value) --slot.value;
}

void IdTable::Grow(size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    shift_ = 32;
    for (size_t c = capacity; c > 1; c /= 2) --shift_;
    size_ = 0;
    for (const Slot& slot : old)
        if (slot.id != kEmpty) Add(slot.id, slot.value);
}

}  // namespace korvo
