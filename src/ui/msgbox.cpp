#include "ui/msgbox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace kb {

namespace {

void centreOnScreen(QMessageBox& box, QWidget* parent) {
    QScreen* screen =
        parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    box.adjustSize();
    const QRect g = screen->geometry();
    box.move(g.x() + (g.width() - box.width()) / 2, g.y() + (g.height() - box.height()) / 2);
}

}  // namespace

void WarnAt(QWidget* reporter, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok,
                    reporter);
    box.setObjectName(QStringLiteral("WarningBox"));
    if (reporter) {
        box.adjustSize();
        box.move(reporter->frameGeometry().topLeft());
    }
    box.exec();
}

void WarnCentered(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("WarningBox"));
    centreOnScreen(box, parent);
    box.exec();
}

void ErrorCentered(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestrelbox"), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    centreOnScreen(box, parent);
    box.exec();
}

}  // namespace kb
