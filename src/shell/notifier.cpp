#include "shell/notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace kb {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString Count(int n, const char* one, const char* many) {
    return n == 1 ? QString::fromLatin1(one) : QString::fromLatin1(many).arg(n);
}

// "Move music: song.mp3: No space left on device"
QString Line(const ActionOutcome& o, const std::string& what) {
    QString text = Q(o.rulename);
    if (!o.file.empty()) text += QStringLiteral(": ") + Q(o.file);
    if (!what.empty()) text += QStringLiteral(": ") + Q(what);
    return text;
}

}  // namespace

std::optional<Notice> NoticeFor(const std::vector<ActionOutcome>& outcomes, const Settings& o) {
    int failed = 0, done = 0;
    const ActionOutcome* firstFailure = nullptr;
    const ActionOutcome* firstDone = nullptr;
    for (const ActionOutcome& a : outcomes) {
        if (a.ok) {
            ++done;
            if (!firstDone) firstDone = &a;
        } else {
            ++failed;
            if (!firstFailure) firstFailure = &a;
        }
    }
    if (failed > 0 && (o.NotifyFailures || o.NotifyEvery)) {
        QString summary =
            Count(failed, "Kestrelbox: 1 action failed", "Kestrelbox: %1 actions failed");
        if (o.NotifyEvery && done > 0) summary += Count(done, ", 1 done", ", %1 done");
        return Notice{summary, Line(*firstFailure, firstFailure->error)};
    }
    if (done > 0 && o.NotifyEvery) {
        QString body = Line(*firstDone, {});
        if (done > 1) body += Count(done - 1, " and 1 more", " and %1 more");
        return Notice{Count(done, "Kestrelbox: 1 action done", "Kestrelbox: %1 actions done"),
                      body};
    }
    return std::nullopt;
}

Notifier::Notifier(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                    QString::fromLatin1(kInterface), QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
}

void Notifier::Show(const Notice& notice) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fallBack(notice);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    call << QStringLiteral("Kestrelbox") << uint{0} << QStringLiteral("kestrelbox")
         << notice.summary << notice.body
         << QStringList{QStringLiteral("default"), QStringLiteral("Show activity")} << QVariantMap{}
         << int{-1};
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, notice](QDBusPendingCallWatcher*) {
                const QDBusPendingReply<uint> reply = *watcher;
                if (reply.isError())
                    fallBack(notice);
                else
                    shown_.insert(reply.value());
                watcher->deleteLater();
            });
}

void Notifier::actionInvoked(uint id, const QString& key) {
    if (!shown_.contains(id)) return;
    if (key == QLatin1String("default")) emit Clicked();
}

void Notifier::fallBack(const Notice& notice) {
    if (!tray_ || !QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages())
        return;  // no one to tell: no box, nothing that waits
    if (!trayConnected_) {
        connect(tray_, &QSystemTrayIcon::messageClicked, this, &Notifier::Clicked);
        trayConnected_ = true;
    }
    tray_->showMessage(notice.summary, notice.body);
}

}  // namespace kb
