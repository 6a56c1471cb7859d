#include "shell/application.h"

#include <exception>

#include "ui/msgbox.h"

namespace kb {

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ErrorCentered(nullptr, QString::fromUtf8(e.what()));
    } catch (...) {
        ErrorCentered(nullptr, QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

}  // namespace kb
