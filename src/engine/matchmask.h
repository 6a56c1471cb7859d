// Exclusion masks: the one wildcard matcher of the program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kb {

// True when the bare file name matches one mask: "*" matches any run of
// characters (none included), "?" exactly one, and the letters a-z compare
// equal to A-Z; every other byte compares as it is. An empty mask matches no
// file name; "*" matches every name. Runs in O(|name| x |mask|) at worst,
// without recursion, whatever the input.
bool MatchMask(std::string_view name, std::string_view mask);

// True when `name` matches at least one of `masks`.
bool MatchesAnyMask(std::string_view name, const std::vector<std::string_view>& masks);

// Splits `list` at every ";". The text after the last ";" is an item too, so
// "" gives one empty item and a trailing ";" a final empty one. Not trimmed.
std::vector<std::string_view> SplitList(std::string_view list);

}  // namespace kb
