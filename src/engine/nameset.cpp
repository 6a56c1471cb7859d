#include "engine/nameset.h"

#include <functional>

namespace kb {

NameSet::NameSet(std::size_t expected) {
    // At most half full, so probe runs stay short.
    std::size_t cap = 16;
    while (cap < expected * 2) cap *= 2;
    slots_.assign(cap, Slot{});
    mask_ = cap - 1;
}

std::size_t NameSet::SlotOf(std::string_view name) const {
    std::size_t i = std::hash<std::string_view>{}(name)&mask_;
    while (!slots_[i].name.empty() && slots_[i].name != name) i = (i + 1) & mask_;
    return i;
}

void NameSet::Insert(std::string_view name, std::uint32_t position) {
    if (name.empty()) {
        if (!hasEmpty_) emptyPosition_ = position;
        hasEmpty_ = true;
        return;
    }
    // Names in one directory are unique, but a set tolerates repeats; grow
    // before the table gets crowded.
    const std::size_t i = SlotOf(name);
    if (!slots_[i].name.empty()) return;
    slots_[i] = Slot{name, position};
    if (++count_ * 2 > slots_.size()) Grow();
}

std::int64_t NameSet::Find(std::string_view name) const {
    if (name.empty()) return hasEmpty_ ? std::int64_t{emptyPosition_} : -1;
    const Slot& s = slots_[SlotOf(name)];
    return s.name.empty() ? -1 : std::int64_t{s.position};
}

void NameSet::Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const Slot& s : old) {
        if (!s.name.empty()) slots_[SlotOf(s.name)] = s;
    }
}

}  // namespace kb
