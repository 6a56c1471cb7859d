// The fields of each record kind of kbconf.ini, in file order, each named
// once: the writer and the reader both walk these lists, so a field cannot be
// written under one key or in one place and read from another.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "store/model.h"
#include "store/servicetable.h"

namespace kb {

// Where a field's value lives, with its encoding: text, integer, byte-wide
// code, or the file's reversed boolean.
using FieldRef = std::variant<std::string*, std::int32_t*, std::uint8_t*, bool*, TriggerKind*>;

template <class Record>
struct ConfigField {
    const char* key;
    FieldRef (*at)(Record&);
    // Read only when the next line carries this key (files from before the
    // field existed lack it); always written.
    bool optional = false;
};

// "UseSMTP", "SMTP Server", "ReplyTo" (after the fixed Version line).
std::span<const ConfigField<ServiceStore>> MainInfoFields();
// A service group's lines after its header, before "rulecnt".
std::span<const ConfigField<rServiceRules>> ServiceFields();
// A rule group's lines after its header, before "condcnt".
std::span<const ConfigField<RuleRec>> RuleFields();
// A rule's lines between "condcnt" and its conditions.
std::span<const ConfigField<RuleRec>> RuleLimitFields();
// The lines after "rcond=" for condition kind `rcond` (none for unknown kinds).
std::span<const ConfigField<ruleacondrec>> ConditionFields(ConditionKind rcond);
// The lines after "raction=" for action kind `raction` (none for unknown kinds).
std::span<const ConfigField<ruleactionrec>> ActionFields(ActionKind raction);

}  // namespace kb
