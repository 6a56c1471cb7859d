// The words the rule file uses for networks and kinds, shared by its writer
// and its reader so the two can never disagree.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "store/model.h"

namespace kb::rulefile {

inline constexpr std::array<std::pair<std::uint8_t, std::string_view>, 6> kNetworks{{
    {sidKazaa, "kazaa"},
    {sidMorpheus, "morpheus"},
    {sidGrokster, "grokster"},
    {sidAudioGalaxy, "audiogalaxy"},
    {sidBearShare, "bearshare"},
    {sidLimeWire, "limewire"},
}};
inline constexpr std::string_view kOther = "other";

inline constexpr std::array<std::pair<TriggerKind, std::string_view>, 4> kTriggers{{
    {trgNewFile, "new-file"},
    {trgFileExists, "file-exists"},
    {trgFileCount, "file-count"},
    {trgTotalSize, "total-size"},
}};

inline constexpr std::array<std::pair<ConditionKind, std::string_view>, 7> kConditions{{
    {condExtension, "extension"},
    {condSize, "size"},
    {condDate, "age"},
    {condNewest, "newest"},
    {condOldest, "oldest"},
    {condNameWildcard, "wildcard"},
    {condNameRegex, "regex"},
}};

inline constexpr std::array<std::pair<ActionKind, std::string_view>, 6> kActions{{
    {actMove, "move"},
    {actCopy, "copy"},
    {actDelete, "delete"},
    {actFtp, "ftp"},
    {actLaunch, "launch"},
    {actRename, "rename"},
}};

template <class K, std::size_t N>
std::string_view NameOf(const std::array<std::pair<K, std::string_view>, N>& names, K kind) {
    for (const auto& [k, n] : names)
        if (k == kind) return n;
    return {};
}

template <class K, std::size_t N>
std::optional<K> KindNamed(const std::array<std::pair<K, std::string_view>, N>& names,
                           std::string_view name) {
    for (const auto& [k, n] : names)
        if (n == name) return k;
    return std::nullopt;
}

template <class K, std::size_t N>
std::string Choices(const std::array<std::pair<K, std::string_view>, N>& names) {
    std::string out;
    for (const auto& [k, n] : names) out += (out.empty() ? "\"" : ", \"") + std::string(n) + "\"";
    return out;
}

}  // namespace kb::rulefile
