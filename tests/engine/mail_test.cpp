// Mail to an SMTP server on loopback (aiosmtpd): plain, with STARTTLS, with
// a login, and one that refuses the sender.
#include "platform/mail.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <filesystem>

#include "loopback_server.h"

namespace {

std::vector<std::string> Mails(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        out.push_back(kbtest::ReadFile(e.path().string()));
    return out;
}

kb::MailMessage Message(const kbtest::LoopbackServer& server) {
    kb::MailMessage m;
    m.server = "127.0.0.1:" + std::to_string(server.Port());
    m.from = m.to = "me@example.org";
    m.subject = "Kestrelbox: 1 action of the rule \"Sort\" failed";
    m.body = "first line\n.a line that starts with a dot\nlast line\n";
    m.caFile = server.Str("cert");
    m.timeoutMs = 10000;
    return m;
}

TEST(Mail, PlainAndStartTlsDeliverTheWholeMessageOnce) {
    for (const char* option : {"", "starttls"}) {
        SCOPED_TRACE(option);
        kbtest::LoopbackServer server;
        std::vector<std::string> options;
        if (*option) options.push_back(option);
        if (const std::string why = server.Start("smtp", options); !why.empty())
            GTEST_SKIP() << why;
        kb::MailMessage m = Message(server);
        m.subject += "\r\nBcc: someone@else.example";  // no header can be added
        const kb::Status st = kb::SendMail(m);
        ASSERT_TRUE(st.ok) << st.error;
        const std::vector<std::string> mails = Mails(server.Str("mail"));
        ASSERT_EQ(mails.size(), 1u);
        const std::string& got = mails[0];
        EXPECT_NE(got.find("X-From: me@example.org\nX-To: me@example.org\n"), std::string::npos);
        EXPECT_NE(got.find(std::string("X-TLS: ") + (*option ? "yes" : "no")), std::string::npos)
            << got;
        EXPECT_NE(got.find("Subject: Kestrelbox: 1 action of the rule \"Sort\" failed  Bcc:"),
                  std::string::npos)
            << got;
        EXPECT_EQ(got.find("\nBcc:"), std::string::npos);
        EXPECT_NE(got.find("first line\r\n.a line that starts with a dot\r\nlast line"),
                  std::string::npos)
            << got;
    }
}

TEST(Mail, ALoginNeedsTlsAndTheRightPasswordAndARefusedSenderIsAFailure) {
    kbtest::LoopbackServer server;
    if (const std::string why = server.Start("smtp", {"auth"}); !why.empty()) GTEST_SKIP() << why;
    kb::MailMessage m = Message(server);
    m.user = server.Str("user");
    m.password = "wrong";
    kb::Status st = kb::SendMail(m);
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("refused the user name or password"), std::string::npos) << st.error;
    m.password = server.Str("password");
    st = kb::SendMail(m);
    ASSERT_TRUE(st.ok) << st.error;
    EXPECT_EQ(Mails(server.Str("mail")).size(), 1u);

    kbtest::LoopbackServer refusing;
    if (const std::string why = refusing.Start("smtp", {"refuse"}); !why.empty())
        GTEST_SKIP() << why;
    st = kb::SendMail(Message(refusing));
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("550"), std::string::npos) << st.error;
    EXPECT_TRUE(Mails(refusing.Str("mail")).empty());
}

}  // namespace
#endif

TEST(Mail, ServerFieldsBecomeUrlsOrAreRefused) {
    EXPECT_EQ(kb::MailServerUrl("mail.example.org"), "smtp://mail.example.org:25");
    EXPECT_EQ(kb::MailServerUrl("mail.example.org:587"), "smtp://mail.example.org:587");
    EXPECT_EQ(kb::MailServerUrl("smtps://mail.example.org"), "smtps://mail.example.org:465");
    for (const char* bad : {"", "mail.example.org:", "mail.example.org:x", "a b", "u@host",
                            "host/path", "host:123456"})
        EXPECT_EQ(kb::MailServerUrl(bad), "") << bad;
    kb::MailMessage m;
    m.from = m.to = "me@example.org";
    m.subject = "s";
    m.body = "a\nb";
    const std::string text = kb::FormatMail(m, 0);
    EXPECT_EQ(text.substr(0, 38), "Date: Thu, 01 Jan 1970 00:00:00 +0000\r");
    EXPECT_NE(text.find("\r\n\r\na\r\nb\r\n"), std::string::npos);
}
