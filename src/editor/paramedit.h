// The link dispatch of the rule wizard's summary list.
#pragma once

#include <QString>
#include <QStringList>

#include "store/model.h"

class QWidget;

namespace kb {

// The links of the summary that have no dialog: they are shown as words.
QStringList InertRuleLinks();

// What a click on the link `href` does: opens the value's dialog (parent = the
// wizard) pre-filled from `rule`; on OK writes the value back into `rule` and
// returns true; Cancel (or a link without a dialog, such as "rDelete")
// returns false with `rule` untouched. Link names are compared exactly.
// `sampleFolder` and `serviceName` give the examples of the target editors
// a file and a service to fill their fields from.
bool EditRuleParam(QWidget* parent, RuleRec& rule, const QString& href,
                   const QString& sampleFolder = {}, const QString& serviceName = {});

}  // namespace kb
