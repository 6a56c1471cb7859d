// What a pass's notification says, and how it reaches the desktop: a
// notification service of our own on a private session bus receives it, and
// its "default" action brings the window's Activity page up.
#include "shell/notifier.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <string>

namespace {

using namespace kb;

ActionOutcome Outcome(const std::string& rule, const std::string& file, bool ok,
                      const std::string& error = "") {
    ActionOutcome o;
    o.rulename = rule;
    o.file = file;
    o.ok = ok;
    o.error = error;
    return o;
}

TEST(Notice, TellsFailuresByDefaultAndEveryActionOnlyWhenAsked) {
    const std::vector<ActionOutcome> pass{
        Outcome("Move music", "a.mp3", true),
        Outcome("Back up", "b.avi", false, "No space left on device"),
        Outcome("Back up", "c.avi", false, "No space left on device"),
    };
    Settings defaults;
    const auto failures = NoticeFor(pass, defaults);
    ASSERT_TRUE(failures.has_value());
    EXPECT_EQ(failures->summary, "Kestrelbox: 2 actions failed");
    EXPECT_EQ(failures->body, "Back up: b.avi: No space left on device");

    Settings every = defaults;
    every.NotifyEvery = true;
    EXPECT_EQ(NoticeFor(pass, every)->summary, "Kestrelbox: 2 actions failed, 1 done");
    const std::vector<ActionOutcome> fine{Outcome("Move music", "a.mp3", true),
                                          Outcome("Move music", "d.mp3", true)};
    EXPECT_FALSE(NoticeFor(fine, defaults).has_value());
    ASSERT_TRUE(NoticeFor(fine, every).has_value());
    EXPECT_EQ(NoticeFor(fine, every)->summary, "Kestrelbox: 2 actions done");
    EXPECT_EQ(NoticeFor(fine, every)->body, "Move music: a.mp3 and 1 more");
    EXPECT_EQ(NoticeFor({pass[1]}, defaults)->summary, "Kestrelbox: 1 action failed");

    Settings quiet = defaults;
    quiet.NotifyFailures = false;
    EXPECT_FALSE(NoticeFor(pass, quiet).has_value());
    EXPECT_FALSE(NoticeFor({}, every).has_value());
}

// A stand-in for the desktop's notification service.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries, bodies;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        summaries << summary;
        bodies << body;
        return 41 + static_cast<uint>(summaries.size());
    }
};

// A session bus of the test's own, ended with it.
class PrivateBus {
public:
    PrivateBus() {
        FILE* out =
            popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
        if (!out) return;
        char line[512];
        if (fgets(line, sizeof line, out)) address_ = QString::fromLatin1(line).trimmed();
        if (fgets(line, sizeof line, out)) pid_ = std::atoi(line);
        pclose(out);
    }
    ~PrivateBus() {
        if (pid_ > 0) kill(pid_, SIGTERM);
    }
    const QString& Address() const { return address_; }

private:
    QString address_;
    int pid_ = 0;
};

TEST(Notifier, ANoticeReachesTheServiceAndItsDefaultActionIsAClick) {
    PrivateBus bus;
    if (bus.Address().isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    // The program's own session bus is this one (read at its first use).
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8());
    QDBusConnection server = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("server"));
    ASSERT_TRUE(server.isConnected());
    FakeNotifications fake;
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));

    Notifier notifier;
    QSignalSpy clicked(&notifier, &Notifier::Clicked);
    notifier.Show(Notice{QStringLiteral("Kestrelbox: 1 action failed"), QStringLiteral("why")});
    QTRY_COMPARE(fake.summaries.size(), 1);
    EXPECT_EQ(fake.summaries[0], "Kestrelbox: 1 action failed");
    EXPECT_EQ(fake.bodies[0], "why");

    // Someone else's notification clicked: not ours.
    auto invoke = [&](uint id) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        server.send(signal);
    };
    QTest::qWait(100);  // the reply with our id has arrived
    invoke(7);
    QTest::qWait(200);
    EXPECT_EQ(clicked.count(), 0);
    invoke(42);
    QTRY_COMPARE(clicked.count(), 1);
}

TEST(Notifier, WithoutAServiceNothingIsShownAndNothingWaits) {
    PrivateBus bus;
    if (bus.Address().isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8());
    Notifier notifier;  // no tray either, as under the offscreen platform
    QElapsedTimer t;
    t.start();
    notifier.Show(Notice{QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_LT(t.elapsed(), 1000);
    QTest::qWait(200);  // the refusal arrives and is dropped
}

}  // namespace

#include "notifier_test.moc"
