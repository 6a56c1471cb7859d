// What the rule list panels, the additional-service commands and the rule
// wizard need from the main window: the table, the current service record
// (found again by the service lookup each time), saving, and the window to
// place dialogs against. The main window implements it; tests use a fake.
#pragma once

#include <QWidget>

#include "store/servicetable.h"

namespace kb {

class ServiceContext {
public:
    virtual ~ServiceContext() = default;
    virtual ServiceStore& Store() = 0;
    // Position of the current service record in Store().ServiceTable, found
    // from CurrentServiceId and the additional-services selection; -1 when
    // there is none (the Others page with no service selected).
    virtual int CurrentServiceIndex() const = 0;
    // Rewrites the whole configuration file from the table.
    virtual void SaveConfig() = 0;
    // The main window, for placing dialogs; may be null.
    virtual QWidget* MainWindow() const = 0;
};

}  // namespace kb
