// Answering modal windows from inside their own event loop, the way a test
// gets through a modal exec(): each helper polls the active modal window from
// a timer while it lives.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <utility>
#include <vector>

namespace kbtest {

// Hands each modal window that opens to `answer`, once per window.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || w == last_) return;
            last_ = w;
            ++opened;
            answer_(w);
        });
        timer_.start();
    }
    int opened = 0;  // windows handed to `answer` so far

private:
    std::function<void(QWidget*)> answer_;
    QPointer<QWidget> last_;
    QTimer timer_;
};

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
