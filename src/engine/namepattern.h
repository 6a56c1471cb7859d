// The name conditions: shell wildcards and regular expressions, both matched
// against the whole name by RE2, whose matching time grows linearly with
// the name whatever the pattern (no pattern can stall a pass).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "store/model.h"

namespace kb {

class NamePattern {
public:
    // Compiles the pattern of a name condition (`cond.rcond` is
    // condNameWildcard or condNameRegex). Wildcards: "*" any run of
    // characters, "?" one character, "[abc]", "[a-z]" and "[!abc]" one of (or
    // none of) a set; everything else stands for itself.
    explicit NamePattern(const ruleacondrec& cond);
    ~NamePattern();
    NamePattern(NamePattern&&) noexcept;
    NamePattern& operator=(NamePattern&&) noexcept;

    // "" when the pattern compiled; otherwise why not, in the library's words.
    const std::string& Error() const { return error_; }
    // Whether the whole of `name` matches; never for a pattern that did not compile.
    bool Matches(std::string_view name) const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
    std::string error_;
};

// Whether this build can match name patterns at all.
bool NamePatternsAvailable();

// Why `cond`'s pattern cannot be used, or "" when it can.
std::string PatternError(const ruleacondrec& cond);

// The regular expression a wildcard pattern stands for.
std::string WildcardToRegex(std::string_view wildcard);

}  // namespace kb
