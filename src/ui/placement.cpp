#include "ui/placement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace kb {

QPoint DialogPlacement(const QRect& main, const QSize& dialog, const QSize& screen) {
    const int mw = main.width(), mh = main.height();
    const int dw = dialog.width(), dh = dialog.height();
    const bool narrower = dw < mw;
    int left = main.left() + 10;
    if (mw / 2 + main.left() + dw / 2 < screen.width() && narrower)
        left = main.left() + mw / 2 - dw / 2 + 10;
    int top = main.top() + 10;
    if (mh / 2 + main.top() + dh / 2 < screen.height() && narrower)
        top = main.top() + mh / 2 - dh / 2;
    return {left, top};
}

void PlaceDialog(QWidget* dialog, const QWidget* mainWindow) {
    if (!dialog || !mainWindow) return;
    QScreen* screen =
        mainWindow->screen() ? mainWindow->screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    dialog->adjustSize();
    QPoint at = DialogPlacement(mainWindow->frameGeometry(), dialog->size(), screenSize);
    // A dialog taller or wider than the window would start above or left of
    // it; its title bar must stay on the screen, where it can be grabbed.
    if (screen) {
        const QRect room = screen->availableGeometry();
        const int frameHeight = std::max(0, dialog->frameSize().height() - dialog->height());
        at.setX(std::clamp(at.x(), room.left(),
                           std::max(room.left(), room.right() + 1 - dialog->width())));
        at.setY(
            std::clamp(at.y(), room.top(),
                       std::max(room.top(), room.bottom() + 1 - dialog->height() - frameHeight)));
    }
    dialog->move(at);
}

QPoint CenterOnPointer(const QPoint& cursor, const QSize& size, const QRect& available) {
    int left = cursor.x() - size.width() / 2;
    int top = cursor.y() - size.height() / 2;
    if (available.isValid()) {
        left = std::min(left, available.right() + 1 - size.width());
        top = std::min(top, available.bottom() + 1 - size.height());
        left = std::max(left, available.left());
        top = std::max(top, available.top());
    }
    return {left, top};
}

void PlaceAtPointer(QWidget* dialog) {
    if (!dialog) return;
    const QPoint cursor = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(cursor);
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    dialog->adjustSize();
    dialog->move(CenterOnPointer(cursor, dialog->frameSize(), available));
}

}  // namespace kb
