// A rule as the wizard's linked sentences: one trigger line, one line per
// condition and one per action, in the markup the parameter list draws. Every
// value the user supplies is a link; a value not entered yet reads "specified".
#pragma once

#include <string>
#include <vector>

#include "store/model.h"

namespace kb {

// The rule's summary lines in the list's markup: trigger line (if any),
// condition lines, action lines. Values are entity-encoded, so a directory or
// extension holding "<", ">", "&" or a double quote shows as typed.
std::vector<std::string> SummaryLines(const RuleRec& rule);

// The text the summary shows inside the link `href` for `rule`: the value as
// entered, or "specified" when it is not entered yet; empty when the rule has
// no such link.
std::string SummaryLinkText(const RuleRec& rule, const std::string& href);

// The same lines as plain text: links as their text, entities decoded.
std::vector<std::string> PlainSummaryLines(const RuleRec& rule);

// How a rule's sentence says what a move, copy or rename does when the name is taken.
std::string ConflictPhrase(ConflictMode mode);

}  // namespace kb
