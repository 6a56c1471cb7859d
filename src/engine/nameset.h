// A set of file names for the new-file test: open addressing in one flat
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
    void Insert(std::string_view name);
    bool Contains(std::string_view name) const;

private:
    std::size_t Slot(std::string_view name) const;
    void Grow();

    std::vector<std::string_view> names_;  // an empty view marks a free slot
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
    bool hasEmpty_ = false;  // the empty name cannot live in a slot
};

}  // namespace kb
