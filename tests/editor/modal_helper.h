// Answering modal windows from inside their own event loop: message boxes are
// recorded and closed with OK; a dialog opened by the code under test is
// handed to a callback that fills it in and closes it.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPoint>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

namespace kbtest {

struct BoxSeen {
    QString title;
    QString text;
    QPoint pos;
    QMessageBox::Icon icon;
};

// While alive, every message box that becomes the active modal window is
// recorded and answered with OK.
class BoxAnswerer {
public:
    BoxAnswerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            seen.push_back({box->windowTitle(), box->text(), box->pos(), box->icon()});
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start();
    }
    QStringList texts() const {
        QStringList out;
        for (const BoxSeen& b : seen) out << b.text;
        return out;
    }
    std::vector<BoxSeen> seen;

private:
    QTimer timer_;
};

// While alive, calls `act` once with the first dialog (not a message box)
// that becomes the active modal window; `act` must close it. A modal dialog
// of another type is cancelled and leaves `called` false.
template <class T>
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(T*)> act) : act_(std::move(act)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || qobject_cast<QMessageBox*>(w) || !w->isVisible()) return;
            timer_.stop();
            if (T* dialog = qobject_cast<T*>(w)) {
                called = true;
                act_(dialog);
            } else if (auto* other = qobject_cast<QDialog*>(w)) {
                other->reject();
            }
        });
        timer_.start();
    }
    bool called = false;

private:
    std::function<void(T*)> act_;
    QTimer timer_;
};

}  // namespace kbtest
