// What a rule holds beyond kbconf.ini's own records: the name conditions,
// the rename action, new names and the choice made when a target exists. They
// are kept in a section after the last service, which a reader that knows
// only the records passes over, keyed by service and rule position and
// written afresh with every save:
//
//   [Rule Extensions]
//   [Extension 3.1]            service 3, rule 1
//   condition.2=wildcard *live*   a condition that is third in the rule's list
//   action.1=rename               an action that is second in the list
//   name.1={name} ({year}).{ext}  that action's new name
//   conflict.0=keep-both          what the first action does when its target exists
//
// Positions count every condition (action) of the rule, those in the records
// included, so the order the user gave comes back whole.
#pragma once

#include <string>
#include <string_view>

#include "store/inilines.h"
#include "store/servicetable.h"

namespace kb {

inline constexpr char kRuleExtensionsHeader[] = "[Rule Extensions]";

// The section for `store`; empty when no rule has anything beyond the records.
std::string FormatRuleExtensions(const ServiceStore& store);

// Reads the section (its header already consumed) into the rules of `store`,
// which were read from the records. A line that names no rule, no position
// or no value this version knows is warned about and passed over; the rest
// is taken. Returns false when lines were passed over.
bool ReadRuleExtensions(IniLineReader& in, ServiceStore& store, const ConfigWarning& warn);

// The words the section (and the rule file) uses for the conflict choices
// and the name-condition kinds.
std::string_view ConflictWord(ConflictMode mode);
bool ParseConflictWord(std::string_view word, ConflictMode& mode);

}  // namespace kb
