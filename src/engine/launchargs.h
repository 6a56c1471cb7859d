// Turning a launch action's parameter text into program arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kb {

// The placeholder that stands for a found file's full path.
inline constexpr std::string_view kFilePlaceholder = "mfile";

// Splits a parameter text into arguments the way a command line reads:
// blanks separate; '...' is literal; "..." groups, with \ escaping only
// " \ $ and `; outside quotes \ escapes the next character; "" and '' give an
// empty argument. An unclosed quote runs to the end. Nothing is expanded.
std::vector<std::string> SplitParams(std::string_view params);

// True when some argument holds the placeholder.
bool HasPlaceholder(const std::vector<std::string>& args);

// Copies of `args` with every placeholder replaced, left to right, by `path`
// (the inserted text is not searched again). The path thereby stays inside
// the one argument that named it, whatever characters it holds.
std::vector<std::string> SubstitutePath(const std::vector<std::string>& args,
                                        const std::string& path);

}  // namespace kb
