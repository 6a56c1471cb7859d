#include "engine/matchmask.h"

namespace kb {

namespace {

inline unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

}  // namespace

bool MatchMask(std::string_view name, std::string_view mask) {
    // Greedy scan that remembers only the latest "*": when a later part fails,
    // that star absorbs one more character and the scan resumes from there.
    // Earlier stars never need revisiting, which bounds the work by
    // |name| x |mask| (a recursive matcher is exponential on masks such as
    // "*a*a*a*a*b").
    size_t n = 0, m = 0;
    size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() &&
                   (mask[m] == '?' || Fold(static_cast<unsigned char>(mask[m])) ==
                                          Fold(static_cast<unsigned char>(name[n])))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    // The name is used up: only stars may be left of the mask. (They match
    // nothing, so "x**" matches "x" just as "x*" does.)
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

std::vector<std::string_view> SplitList(std::string_view list) {
    std::vector<std::string_view> items;
    size_t start = 0;
    for (;;) {
        const size_t semi = list.find(';', start);
        if (semi == std::string_view::npos) {
            items.push_back(list.substr(start));
            return items;
        }
        items.push_back(list.substr(start, semi - start));
        start = semi + 1;
    }
}

bool MatchesAnyMask(std::string_view name, const std::vector<std::string_view>& masks) {
    for (std::string_view mask : masks) {
        if (MatchMask(name, mask)) return true;
    }
    return false;
}

}  // namespace kb
