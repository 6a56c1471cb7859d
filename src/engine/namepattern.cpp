#include "engine/namepattern.h"

#if KB_HAVE_RE2
#include <re2/re2.h>
#endif

namespace kb {

std::string WildcardToRegex(std::string_view w) {
    std::string re;
    re.reserve(w.size() * 2);
    for (std::size_t i = 0; i < w.size(); ++i) {
        const char c = w[i];
        if (c == '*') {
            re += "(?s:.*)";
        } else if (c == '?') {
            re += "(?s:.)";
        } else if (c == '[' && w.find(']', i + 2) != std::string_view::npos) {
            // A set runs to the first "]" after its first member, so "[]]"
            // is the set of "]".
            const std::size_t end = w.find(']', i + 2);
            std::string_view members = w.substr(i + 1, end - i - 1);
            re += '[';
            if (!members.empty() && members[0] == '!') {
                re += '^';
                members.remove_prefix(1);
            }
            for (char m : members) {
                if (m == '\\' || m == '[' || m == ']' || m == '^') re += '\\';
                re += m;
            }
            re += ']';
            i = end;
        } else {
            if (std::string_view("\\.+()|{}^$[]").find(c) != std::string_view::npos) re += '\\';
            re += c;
        }
    }
    return re;
}

#if KB_HAVE_RE2

struct NamePattern::Compiled {
    explicit Compiled(const std::string& re, const RE2::Options& o) : regex(re, o) {}
    RE2 regex;
};

NamePattern::NamePattern(const ruleacondrec& cond) {
    RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(cond.matchCase);
    // Names are taken as UTF-8, so letter case folds beyond ASCII ("É" is "é").
    options.set_encoding(RE2::Options::EncodingUTF8);
    const std::string re =
        cond.rcond == condNameWildcard ? WildcardToRegex(cond.pattern) : cond.pattern;
    if (cond.pattern.empty()) {
        error_ = "the pattern is empty";
        return;
    }
    compiled_ = std::make_unique<Compiled>(re, options);
    if (!compiled_->regex.ok()) {
        error_ = compiled_->regex.error();
        compiled_.reset();
    }
}

bool NamePattern::Matches(std::string_view name) const {
    return compiled_ &&
           RE2::FullMatch(re2::StringPiece(name.data(), name.size()), compiled_->regex);
}

#else

struct NamePattern::Compiled {};

NamePattern::NamePattern(const ruleacondrec&) {
    error_ = "name patterns need the RE2 library, which this build lacks";
}

bool NamePattern::Matches(std::string_view) const { return false; }

#endif

NamePattern::~NamePattern() = default;
NamePattern::NamePattern(NamePattern&&) noexcept = default;
NamePattern& NamePattern::operator=(NamePattern&&) noexcept = default;

std::string PatternError(const ruleacondrec& cond) { return NamePattern(cond).Error(); }

bool NamePatternsAvailable() { return KB_HAVE_RE2 != 0; }

}  // namespace kb
