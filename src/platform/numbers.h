// The one way the program reads a number from text: a whole decimal integer
// of type T (or a finite double), nothing else on the line, optionally with
// blanks and tabs around it. No locale, no leading "+", no hexadecimal.
#pragma once

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <type_traits>

namespace kb {

enum class Blanks { Refused, Allowed };

template <class T>
std::optional<T> ParseNumber(std::string_view text, Blanks blanks = Blanks::Refused) {
    if (blanks == Blanks::Allowed) {
        const std::size_t first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos) return std::nullopt;
        text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    }
    if (text.empty()) return std::nullopt;
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return value;
}

}  // namespace kb
