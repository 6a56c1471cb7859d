#include "engine/nameset.h"

#include <functional>

namespace kb {

NameSet::NameSet(std::size_t expected) {
    // At most half full, so probe runs stay short.
    std::size_t cap = 16;
    while (cap < expected * 2) cap *= 2;
    names_.assign(cap, std::string_view());
    mask_ = cap - 1;
}

std::size_t NameSet::Slot(std::string_view name) const {
    std::size_t i = std::hash<std::string_view>{}(name) & mask_;
    while (!names_[i].empty() && names_[i] != name) i = (i + 1) & mask_;
    return i;
}

void NameSet::Insert(std::string_view name) {
    if (name.empty()) {
        hasEmpty_ = true;
        return;
    }
    // Names in one directory are unique, but a set tolerates repeats; grow
    // before the table gets crowded.
    std::size_t i = Slot(name);
    if (!names_[i].empty()) return;
    names_[i] = name;
    if (++count_ * 2 > names_.size()) Grow();
}

bool NameSet::Contains(std::string_view name) const {
    if (name.empty()) return hasEmpty_;
    return !names_[Slot(name)].empty();
}

void NameSet::Grow() {
    std::vector<std::string_view> old(names_.size() * 2);
    old.swap(names_);
    mask_ = names_.size() - 1;
    for (std::string_view n : old) {
        if (!n.empty()) names_[Slot(n)] = n;
    }
}

}  // namespace kb
