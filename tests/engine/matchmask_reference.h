// The mask matcher written out the obvious recursive way, step by step, as
// the reference for the iterative one (used by the tests and the fuzzer).
// Each (name position, mask position) is worked out once, so the reference
// stays polynomial on the long star-laden inputs a fuzzer makes.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kbtest {

// `amended` lets a run of stars left over at the end of the name match
// nothing, as a single star does.
class MaskReference {
public:
    MaskReference(std::string_view name, std::string_view mask, bool amended)
        : n_(name), m_(mask), amended_(amended), memo_((name.size() + 1) * (mask.size() + 1), 0) {}

    bool Matches() { return At(0, 0); }

private:
    static char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

    bool At(std::size_t i, std::size_t j) {
        char& known = memo_[i * (m_.size() + 1) + j];
        if (known == 0) known = Work(i, j) ? 1 : 2;
        return known == 1;
    }

    bool Work(std::size_t i, std::size_t j) {
        // A mask that is (now) exactly "*" matches whatever is left.
        if (j + 1 == m_.size() && m_[j] == '*') return true;
        if (i == n_.size()) {
            if (amended_)
                while (j < m_.size() && m_[j] == '*') ++j;
            return j == m_.size();
        }
        if (j == m_.size()) return false;
        if (m_[j] == '*') return At(i, j + 1) || At(i + 1, j);
        if (m_[j] == '?') return At(i + 1, j + 1);
        return Up(n_[i]) == Up(m_[j]) && At(i + 1, j + 1);
    }

    std::string_view n_, m_;
    bool amended_;
    std::vector<char> memo_;
};

inline bool ReferenceMatch(std::string_view name, std::string_view mask, bool amended) {
    return MaskReference(name, mask, amended).Matches();
}

}  // namespace kbtest
