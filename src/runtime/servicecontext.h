// What the rule wizard, the rule list panels and the additional-service
// commands need of the program: the table, the current service record
// (found again by the service lookup each time), saving, and the window to
// place dialogs against. The session implements it; tests use a fake.
#pragma once

#include <QString>
#include <cstdint>

#include "engine/scanpass.h"
#include "store/servicetable.h"

class QWidget;

namespace kb {

class ServiceContext {
public:
    virtual ~ServiceContext() = default;
    virtual ServiceStore& Store() = 0;
    // Service id of the page last chosen in the side bar (5 for Others).
    virtual std::uint8_t CurrentServiceId() const = 0;
    // Position of the current service record in Store().ServiceTable, found
    // from CurrentServiceId and the additional-services selection; -1 when
    // there is none (the Others page with no service selected).
    virtual int CurrentServiceIndex() const = 0;
    // Has the panel showing this service id refill its rule list from the
    // table (selecting line 0 when it has lines); ids outside 0..6 do nothing.
    virtual void BuildRuleLists(std::uint8_t serviceId) = 0;
    // Rewrites the whole configuration file from the table. Never throws: a
    // save that fails leaves the old file and the table as they are, and the
    // window says so until a later save succeeds.
    virtual void SaveConfig() = 0;
    // The main window, for placing dialogs; may be null.
    virtual QWidget* MainWindow() const = 0;
    // What a rule preview goes by: the completion gate and the delete the
    // scan passes use. The defaults when the window does not say.
    virtual ScanEnvironment PreviewEnvironment() const { return {}; }
    // What a rule list says of a rule in its tooltip: when it last acted, on
    // how many files, its last failure. Empty when nothing is known.
    virtual QString RuleTip(const rServiceRules& service, const RuleRec& rule) const {
        (void)service, (void)rule;
        return {};
    }
    // A rule was deleted from the service at `serviceIndex`, where it stood
    // at `ruleIndex`: kept so that it can be brought back.
    virtual void RememberDeletedRule(int serviceIndex, int ruleIndex, const RuleRec& rule) {
        (void)serviceIndex, (void)ruleIndex, (void)rule;
    }
};

}  // namespace kb
