// Failure notices by mail: one mail per rule at most an hour, the first at
// once, later ones with a count; and the session that sends them after its
// passes, says when one could not be delivered and tries it again.
#include "runtime/failuremail.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "builders.h"
#include "engine/fakescan.h"
#include "engine/loopback_server.h"
#include "journal/journal.h"
#include "platform/xdg_sandbox.h"
#include "runtime/session.h"

namespace {

using namespace kb;
namespace fs = std::filesystem;

ActionOutcome Failed(const std::string& rule, const std::string& file, const std::string& why) {
    ActionOutcome o;
    o.service = "Kazaa";
    o.rulename = rule;
    o.raction = actMove;
    o.file = file;
    o.source = "/share/" + file;
    o.target = "/music";
    o.error = why;
    return o;
}

constexpr std::int64_t kHour = FailureMail::kIntervalMs;

TEST(FailureMail, TheFirstFailureGoesAtOnceTheRestOnceAnHourWithACount) {
    FailureMail mail;
    const std::int64_t t0 = 1'800'000'000'000;
    ActionOutcome done = Failed("Sort", "ok.mp3", "");
    done.ok = true;
    mail.Add({done}, t0);
    EXPECT_TRUE(mail.TakeDue(t0).empty()) << "a success is no notice";

    mail.Add({Failed("Sort", "a.mp3", "No space left on device")}, t0);
    std::vector<FailureMail::Mail> due = mail.TakeDue(t0);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].count, 1);
    EXPECT_EQ(due[0].subject, "Kestrelbox: 1 action of the rule \"Sort\" failed");
    EXPECT_NE(due[0].body.find("The rule \"Sort\" of Kazaa failed once:"), std::string::npos)
        << due[0].body;
    EXPECT_NE(due[0].body.find("a.mp3"), std::string::npos);
    EXPECT_NE(due[0].body.find("No space left on device"), std::string::npos);

    // Within the hour: gathered, not sent. Another rule has its own hour.
    mail.Add({Failed("Sort", "b.mp3", "No space left on device")}, t0 + 60'000);
    mail.Add({Failed("Sort", "c.mp3", "Permission denied")}, t0 + 120'000);
    mail.Add({Failed("Backup", "c.mp3", "Permission denied")}, t0 + 120'000);
    due = mail.TakeDue(t0 + 30 * 60'000);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].rule, "Backup");
    EXPECT_TRUE(mail.Waiting());

    due = mail.TakeDue(t0 + kHour);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].count, 2);
    EXPECT_EQ(due[0].subject, "Kestrelbox: 2 actions of the rule \"Sort\" failed");
    EXPECT_NE(due[0].body.find("failed 2 times since the last mail about it"), std::string::npos)
        << due[0].body;
    EXPECT_NE(due[0].body.find("b.mp3"), std::string::npos);
    EXPECT_NE(due[0].body.find("c.mp3"), std::string::npos);
    EXPECT_FALSE(mail.Waiting());
    EXPECT_TRUE(mail.TakeDue(t0 + 3 * kHour).empty()) << "nothing new, nothing sent";
}

TEST(FailureMail, AnUndeliveredMailWaitsWithWhatCameSinceAndLongListsAreCounted) {
    FailureMail mail;
    const std::int64_t t0 = 1'800'000'000'000;
    mail.Add({Failed("Sort", "a.mp3", "x")}, t0);
    std::vector<FailureMail::Mail> due = mail.TakeDue(t0);
    ASSERT_EQ(due.size(), 1u);
    mail.Add({Failed("Sort", "b.mp3", "x")}, t0 + 1000);
    mail.PutBack(due[0], t0 + 2000, 10 * 60'000);
    EXPECT_TRUE(mail.TakeDue(t0 + 5 * 60'000).empty());
    due = mail.TakeDue(t0 + 2000 + 10 * 60'000);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].count, 2);
    EXPECT_NE(due[0].body.find("a.mp3"), std::string::npos);
    EXPECT_NE(due[0].body.find("b.mp3"), std::string::npos);

    std::vector<ActionOutcome> many;
    for (int i = 0; i < 30; ++i) many.push_back(Failed("Flood", "f" + std::to_string(i), "x"));
    mail.Add(many, t0);
    due = mail.TakeDue(t0);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].count, 30);
    EXPECT_NE(due[0].body.find("... and 10 more."), std::string::npos) << due[0].body;
    EXPECT_EQ(due[0].body.find("f20"), std::string::npos);
}

class MailingSession : public ::testing::Test {
protected:
    void SetUp() override {
        share_ = sandbox_.Root() + "/share";
        fs::create_directories(share_);
        std::ofstream(share_ + "/song.mp3") << "x";
        state_.store.InitServiceTable(nullptr);
        state_.store.ServiceTable[0].enabled = true;
        state_.store.ServiceTable[0].sharedir = share_;
        RuleRec r = kbtest::Rule(trgFileCount, {kbtest::LaunchOf("/bin/player", "mfile")});
        r.rulename = "Play";
        r.fcnt = 0;
        state_.store.ServiceTable[0].rulelist.rules = {r};
        state_.store.UseSMTP = true;
        state_.store.SmtpServer = "mail.example.org";
        state_.store.ReplyTo = "me@example.org";
        state_.journal = &journal_;
        state_.settings.WaitSettled = false;
        scan_.env.clock = [] { return WallClockNs(); };
        scan_.env.launch = [](const std::string&, const std::vector<std::string>&) {
            return Status::Failure("the player is not installed");
        };
    }

    void pass(Session& s) {
        QSignalSpy finished(&s.Scheduler(), &ScanScheduler::PassFinished);
        s.Scheduler().StartPass();
        s.Scheduler().WaitForPass();
        QCoreApplication::processEvents();
    }
    void waitFor(const std::function<bool()>& ready) {
        QElapsedTimer clock;
        clock.start();
        while (!ready() && clock.elapsed() < 10000) QCoreApplication::processEvents();
        ASSERT_TRUE(ready());
    }

    test::XdgSandbox sandbox_;
    std::string share_;
    Journal journal_{sandbox_.Root() + "/state/activity.sqlite3"};
    ProgramState state_;
    kbtest::FakeScan scan_;
    std::mutex mutex_;
    std::vector<MailMessage> sent_;
};

TEST_F(MailingSession, AFailingRuleIsMailedOnceAndAnUndeliveredMailIsSaidAndKept) {
    Session session(state_, scan_.env);
    session.SetMailSender([this](const MailMessage& m) {
        std::lock_guard lock(mutex_);
        sent_.push_back(m);
        return Status::Success();
    });
    QSignalSpy delivered(&session, &Session::MailDelivered);
    pass(session);
    waitFor([&] { return delivered.size() == 1; });
    {
        std::lock_guard lock(mutex_);
        ASSERT_EQ(sent_.size(), 1u);
        EXPECT_EQ(sent_[0].server, "mail.example.org");
        EXPECT_EQ(sent_[0].from, "me@example.org");
        EXPECT_EQ(sent_[0].to, "me@example.org");
        EXPECT_EQ(sent_[0].subject, "Kestrelbox: 1 action of the rule \"Play\" failed");
        EXPECT_NE(sent_[0].body.find("the player is not installed"), std::string::npos);
    }
    // The rule fails again: within the hour nothing more is sent.
    state_.store.ServiceTable[0].rulelist.rules[0].enabled = true;
    pass(session);
    pass(session);
    QCoreApplication::processEvents();
    EXPECT_EQ(sent_.size(), 1u);

    // Without a server or an address there is no mail at all.
    state_.store.ServiceTable[0].rulelist.rules[0].rulename = "Play again";
    state_.store.ReplyTo.clear();
    pass(session);
    session.SendDueMail();
    QCoreApplication::processEvents();
    EXPECT_EQ(sent_.size(), 1u);

    // A server that refuses: said once, kept for the Settings dialog. (A
    // changed rule is tried again at once; an unchanged one backs off.)
    state_.store.ReplyTo = "me@example.org";
    state_.store.ServiceTable[0].rulelist.rules[0].rulename = "Play once more";
    session.SetMailSender([](const MailMessage&) { return Status::Failure("550 sender refused"); });
    QSignalSpy failed(&session, &Session::MailFailed);
    pass(session);
    waitFor([&] { return failed.size() == 1; });
    EXPECT_EQ(failed[0][0].toString(),
              "The failure notice could not be mailed to me@example.org: 550 sender refused.");
    EXPECT_EQ(session.MailLastError(), "550 sender refused");
    bool journaled = false;
    for (const JournalEntry& e : journal_.Last(20))
        journaled = journaled || e.error.find("could not be mailed") != std::string::npos ||
                    e.action.find("could not be mailed") != std::string::npos;
    EXPECT_TRUE(journaled);
}

}  // namespace

#ifndef _WIN32
// The whole way: a failing rule's notice reaches a real SMTP server on
// loopback, once, with its count, as the session sends it by default.
TEST_F(MailingSession, AFailingRulesNoticeReachesTheLocalSmtpServerOnce) {
    kbtest::LoopbackServer smtp;
    if (const std::string why = smtp.Start("smtp", {"starttls"}); !why.empty()) GTEST_SKIP() << why;
    state_.store.SmtpServer = "127.0.0.1:" + std::to_string(smtp.Port());
    Session session(state_, scan_.env);
    session.SetMailCaFile(smtp.Str("cert"));
    QSignalSpy delivered(&session, &Session::MailDelivered);
    pass(session);
    waitFor([&] { return delivered.size() == 1; });
    state_.store.ServiceTable[0].rulelist.rules[0].enabled = true;  // a change: tried again at once
    pass(session);
    QCoreApplication::processEvents();
    std::vector<std::string> mails;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(smtp.Str("mail"), ec))
        mails.push_back(kbtest::ReadFile(e.path().string()));
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_NE(mails[0].find("Subject: Kestrelbox: 1 action of the rule \"Play\" failed"),
              std::string::npos)
        << mails[0];
    EXPECT_NE(mails[0].find("X-TLS: yes"), std::string::npos);
    EXPECT_NE(mails[0].find("the player is not installed"), std::string::npos);
}
#endif
