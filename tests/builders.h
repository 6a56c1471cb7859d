// Builders of rules, conditions and actions, shared by the tests of every
// folder (engine, editor, shell): a test names only what matters to it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/model.h"

namespace kbtest {

// An action of any kind; `dir` is the target of a move or copy.
inline kb::ruleactionrec Action(kb::ActionKind kind, const std::string& dir = {}) {
    kb::ruleactionrec a;
    a.raction = kind;
    a.move.filepath = a.copy.filepath = dir;
    return a;
}

inline kb::ruleactionrec MoveTo(const std::string& dir) { return Action(kb::actMove, dir); }
inline kb::ruleactionrec CopyTo(const std::string& dir) { return Action(kb::actCopy, dir); }

inline kb::ruleactionrec LaunchOf(const std::string& program, const std::string& params = "") {
    kb::ruleactionrec a = Action(kb::actLaunch);
    a.launch.fprogram = program;
    a.launch.fparams = params;
    return a;
}

// A condition of `kind` whose numbers the user has not entered yet (-1), as
// the wizard starts it.
inline kb::ruleacondrec UnenteredCondition(kb::ConditionKind kind) {
    kb::ruleacondrec c;
    c.rcond = kind;
    c.size = c.rdays = c.newestcnt = c.oldestcnt = -1;
    return c;
}

inline kb::ruleacondrec ExtIs(const std::string& ext) {
    kb::ruleacondrec c;
    c.rcond = kb::condExtension;
    c.fileext.ext = ext;
    return c;
}

// A switched-on rule named "rule" with this trigger, actions and conditions.
inline kb::RuleRec Rule(kb::TriggerKind mcond, std::vector<kb::ruleactionrec> actions,
                        std::vector<kb::ruleacondrec> conds = {}) {
    kb::RuleRec r;
    r.rulename = "rule";
    r.enabled = true;
    r.mcond = mcond;
    r.actions = std::move(actions);
    r.conds = std::move(conds);
    return r;
}

// A rule that is nothing but its name and switch.
inline kb::RuleRec NamedRule(const std::string& name, bool enabled = false) {
    kb::RuleRec r;
    r.rulename = name;
    r.enabled = enabled;
    return r;
}

}  // namespace kbtest
