// Desktop notifications of what a pass did: through the desktop's
// notification service (org.freedesktop.Notifications on the session bus),
// else as a message of the tray icon, else not at all. Clicking one opens the
// Activity page. Nothing here waits for an answer.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <optional>
#include <vector>

#include "engine/scanpass.h"
#include "store/settings.h"

class QSystemTrayIcon;

namespace kb {

struct Notice {
    QString summary;
    QString body;
};

// What to tell about a pass, under the options: its failures (how many, and
// the first one's reason), or with "every action" all it did; nothing when
// there is nothing to tell.
std::optional<Notice> NoticeFor(const std::vector<ActionOutcome>& outcomes, const Settings& o);

class Notifier : public QObject {
    Q_OBJECT

public:
    explicit Notifier(QObject* parent = nullptr);
    // The tray icon whose messages stand in where no notification service
    // answers; may be null.
    void SetTray(QSystemTrayIcon* tray) { tray_ = tray; }
    void Show(const Notice& notice);

signals:
    void Clicked();

private slots:
    // The notification service's signal, when the user chose an action.
    void actionInvoked(uint id, const QString& key);

private:
    void fallBack(const Notice& notice);

    QSystemTrayIcon* tray_ = nullptr;
    bool trayConnected_ = false;
    QSet<uint> shown_;
};

}  // namespace kb
