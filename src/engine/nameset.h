// A set of file names, each with a position: open addressing in one flat
// table, so building it for a folder of 100,000 names costs one allocation
// rather than one per name. The names themselves are not copied; the strings
// they view must outlive the set.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kb {

class NameSet {
public:
    explicit NameSet(std::size_t expected);
    // Adds `name` with `position`; a name already present keeps its first position.
    void Insert(std::string_view name, std::uint32_t position = 0);
    bool Contains(std::string_view name) const { return Find(name) >= 0; }
    // The position stored with `name`, or -1 when it is absent.
    std::int64_t Find(std::string_view name) const;

private:
    struct Slot {
        std::string_view name;  // empty: a free slot
        std::uint32_t position = 0;
    };
    std::size_t SlotOf(std::string_view name) const;
    void Grow();

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
    // The empty name cannot live in a slot.
    bool hasEmpty_ = false;
    std::uint32_t emptyPosition_ = 0;
};

}  // namespace kb
