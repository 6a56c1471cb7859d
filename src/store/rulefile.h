// The rule file: every service and rule of kbconf.ini in a text people can
// read and write by hand (TOML), by readable names rather than numeric
// codes. `kestrelbox --export-rules` writes it, `--import-rules` reads it back
// into kbconf.ini; docs/rules.md describes it with an example.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/servicetable.h"

namespace kb {

// The rule file for the services of `store`, in table order. Writing the
// result of ParseRuleFile on it again gives the very same text.
std::string FormatRuleFile(const ServiceStore& store);

struct RuleFileError {
    int line = 0, column = 0;  // 1-based; 0 when the error is about the whole file
    std::string text;          // what is wrong and what was expected
};

// Reads `text` into the service table of `store` (its mail settings are
// left as they are): the six networks (those the file leaves out stay
// switched off, with no rules) and the additional services in the file's
// order. Every error is collected, not only the first; on any error
// `store` is left untouched.
// `checks`, when given, judge each condition and action read (a pattern
// that does not compile, a template that cannot be filled): what they
// return is an error at that table.
struct RuleFileChecks {
    std::function<std::string(const ruleacondrec&)> condition;
    std::function<std::string(const ruleactionrec&)> action;
};
std::vector<RuleFileError> ParseRuleFile(std::string_view text, ServiceStore& store,
                                         const RuleFileChecks& checks = {});

}  // namespace kb
