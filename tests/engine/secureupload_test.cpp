// Uploads over SFTP (OpenSSH's sshd) and FTP with TLS (pyftpdlib) on
// loopback: what arrives, under which name, and how each refusal reads.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdlib>
#include <filesystem>

#include "engine/ftpupload.h"
#include "loopback_server.h"

namespace {

using kbtest::ReadFile;
using kbtest::TempDir;
using kbtest::WriteFile;

std::string Payload(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7919) >> 3);
    return s;
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class Sftp : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access("/usr/sbin/sshd", X_OK) != 0) GTEST_SKIP() << "no /usr/sbin/sshd";
        if (const std::string why = server_.Start("sftp"); !why.empty()) GTEST_SKIP() << why;
        WriteFile(local_ / "known_hosts", server_.Str("known_hosts_line") + "\n");
        WriteFile(local_ / "empty_known_hosts", "");
        kbtest::MakeDir(remote_ / "up");
    }

    kb::FtpRequest Request(const std::string& name) const {
        kb::FtpRequest r;
        r.server = "sftp://127.0.0.1";
        r.port = server_.Port();
        r.user = server_.Str("user");
        r.keyFile = server_.Str("key");
        r.knownHosts = local_ / "known_hosts";
        r.directory = remote_ / "up";
        r.remoteName = name;
        return r;
    }

    kbtest::LoopbackServer server_;
    TempDir local_;
    TempDir remote_;
};

TEST_F(Sftp, AKeyDeliversTheWholeFileUnderItsNameAndReplacesAnOldOne) {
    const std::string data = Payload(3 * 1024 * 1024 + 17);
    WriteFile(local_ / "live set.flac", data);
    WriteFile(remote_ / "up/live set.flac", "an older upload");
    std::int64_t sent = 0;
    const kb::Status st =
        kb::FtpSendFile(Request("live set.flac"), local_ / "live set.flac", {}, &sent);
    ASSERT_TRUE(st.ok) << st.error;
    EXPECT_EQ(sent, static_cast<std::int64_t>(data.size()));
    EXPECT_TRUE(ReadFile(remote_ / "up/live set.flac") == data);
    EXPECT_EQ(Names(remote_ / "up"), std::vector<std::string>{"live set.flac"});

    // A folder that is not there yet is made.
    kb::FtpRequest deeper = Request("live set.flac");
    deeper.directory = remote_ / "up/2026/12";
    ASSERT_TRUE(kb::FtpSendFile(deeper, local_ / "live set.flac").ok);
    EXPECT_TRUE(ReadFile(remote_ / "up/2026/12/live set.flac") == data);
}

TEST_F(Sftp, AnUnknownOrChangedHostKeyIsRefusedWithHowToTrustIt) {
    WriteFile(local_ / "a.bin", "a");
    kb::FtpRequest r = Request("a.bin");
    r.knownHosts = local_ / "empty_known_hosts";
    kb::Status st = kb::FtpSendFile(r, local_ / "a.bin");
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("host key is not known"), std::string::npos) << st.error;
    EXPECT_NE(st.error.find("ssh-keyscan -p " + std::to_string(server_.Port()) + " 127.0.0.1"),
              std::string::npos)
        << st.error;
    EXPECT_TRUE(Names(remote_ / "up").empty());
    EXPECT_EQ(ReadFile(local_ / "empty_known_hosts"), "") << "a key must never be learnt";

    // Another key for the same host: someone else answers.
    WriteFile(
        local_ / "other_known_hosts",
        "[127.0.0.1]:" + std::to_string(server_.Port()) +
            " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIGnD0bXSGPbhfpYs2q29nA5Z3iZ1Nn+xkDPhUN1vXvtO\n");
    r.knownHosts = local_ / "other_known_hosts";
    st = kb::FtpSendFile(r, local_ / "a.bin");
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("not the one"), std::string::npos) << st.error;
    EXPECT_TRUE(Names(remote_ / "up").empty());

    // What the server shows is the line that trusts it.
    kb::ServerIdentity id;
    const kb::Status shown = kb::FetchServerIdentity(Request(""), id);
    ASSERT_TRUE(shown.ok) << shown.error;
    EXPECT_EQ(id.knownHostsLine, server_.Str("known_hosts_line"));
}

TEST_F(Sftp, AWrongPasswordWithoutAKeyFails) {
    TempDir home;  // no ~/.ssh keys to fall back on
    const char* was = std::getenv("HOME");
    const std::string saved = was ? was : "";
    ::setenv("HOME", home.str().c_str(), 1);
    WriteFile(local_ / "a.bin", "a");
    kb::FtpRequest r = Request("a.bin");
    r.keyFile.clear();
    r.password = "not the password";
    const kb::Status st = kb::FtpSendFile(r, local_ / "a.bin");
    ::setenv("HOME", saved.c_str(), 1);
    EXPECT_FALSE(st.ok);
    EXPECT_FALSE(st.error.empty());
    EXPECT_TRUE(Names(remote_ / "up").empty());
}

// A rule's upload actions as a pass runs them: the key and the pinned
// server key come from the action, the trusted host keys from the user's
// ~/.ssh/known_hosts.
TEST_F(Sftp, ARulesUploadsOverSftpAndPinnedTlsDeliverWhatThePassFound) {
    kbtest::LoopbackServer tls;
    if (const std::string why = tls.Start("ftps"); !why.empty()) GTEST_SKIP() << why;
    TempDir home;
    kbtest::MakeDir(home / ".ssh");
    WriteFile(home / ".ssh/known_hosts", server_.Str("known_hosts_line") + "\n");
    const char* was = std::getenv("HOME");
    const std::string saved = was ? was : "";
    ::setenv("HOME", home.str().c_str(), 1);

    TempDir share;
    const std::string data = Payload(200 * 1024);
    WriteFile(share / "set.flac", data);
    kb::ruleactionrec sftp;
    sftp.raction = kb::actFtp;
    sftp.ftp.ftpserver = "sftp://127.0.0.1";
    sftp.ftp.ftpport = server_.Port();
    sftp.ftp.ftpuser = server_.Str("user");
    sftp.ftp.ftppath = remote_ / "up";
    sftp.ftp.keyFile = server_.Str("key");
    kb::ruleactionrec ftpes;
    ftpes.raction = kb::actFtp;
    ftpes.ftp.ftpserver = "ftpes://127.0.0.1";
    ftpes.ftp.ftpport = tls.Port();
    ftpes.ftp.ftpuser = tls.Str("user");
    ftpes.ftp.ftppass = tls.Str("password");
    ftpes.ftp.ftppassive = true;
    ftpes.ftp.pinnedKey = tls.Str("pin");
    const kb::ServiceStore store =
        kbtest::StoreWithEveryPassRule(share.str(), "send", {sftp, ftpes});
    const auto r = kb::RunScanPass(kb::TakeScanSnapshot(store), kb::ScanState{},
                                   kbtest::WithoutGate(kb::DefaultScanEnvironment()));
    ::setenv("HOME", saved.c_str(), 1);
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_TRUE(r.outcomes[0].ok) << r.outcomes[0].error;
    EXPECT_TRUE(r.outcomes[1].ok) << r.outcomes[1].error;
    EXPECT_EQ(r.outcomes[0].target, "sftp://" + server_.Str("user") +
                                        "@127.0.0.1:" + std::to_string(server_.Port()) +
                                        remote_.str() + "/up/set.flac");
    EXPECT_TRUE(ReadFile(remote_ / "up/set.flac") == data);
    EXPECT_TRUE(ReadFile(tls.Str("root") + "/set.flac") == data);
}

class Ftpes : public ::testing::Test {
protected:
    void Start(std::vector<std::string> options = {}) {
        if (const std::string why = server_.Start("ftps", std::move(options)); !why.empty())
            GTEST_SKIP() << why;
    }

    kb::FtpRequest Request(const std::string& name) const {
        kb::FtpRequest r;
        r.server = "ftpes://127.0.0.1";
        r.port = server_.Port();
        r.user = server_.Str("user");
        r.password = server_.Str("password");
        r.passive = true;
        r.directory = "drop";
        r.remoteName = name;
        return r;
    }

    std::string Served(const std::string& rel) const { return server_.Str("root") + "/" + rel; }

    kbtest::LoopbackServer server_;
    TempDir local_;
};

TEST_F(Ftpes, ASelfSignedCertificateIsRefusedUntilItsKeyIsPinned) {
    Start();
    const std::string data = Payload(700 * 1024);
    WriteFile(local_ / "photo.jpg", data);
    kb::FtpRequest r = Request("photo.jpg");
    kb::Status st = kb::FtpSendFile(r, local_ / "photo.jpg");
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("certificate is not trusted"), std::string::npos) << st.error;
    EXPECT_FALSE(kbtest::Exists(Served("drop/photo.jpg")));

    kb::ServerIdentity id;
    ASSERT_TRUE(kb::FetchServerIdentity(r, id).ok);
    EXPECT_EQ(id.pin, server_.Str("pin"));
    EXPECT_NE(id.subject.find("127.0.0.1"), std::string::npos) << id.subject;

    r.pinnedKey = id.pin;
    st = kb::FtpSendFile(r, local_ / "photo.jpg");
    ASSERT_TRUE(st.ok) << st.error;
    EXPECT_TRUE(ReadFile(Served("drop/photo.jpg")) == data);
    EXPECT_EQ(Names(Served("drop")), std::vector<std::string>{"photo.jpg"});

    // A pin of some other key: the server is not the one accepted.
    r.pinnedKey = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    st = kb::FtpSendFile(r, local_ / "photo.jpg");
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("not the one accepted"), std::string::npos) << st.error;

    // Implicit TLS against a server that expects plain greetings first fails.
    kb::FtpRequest implicit = Request("photo.jpg");
    implicit.server = "ftps://127.0.0.1";
    implicit.pinnedKey = id.pin;
    EXPECT_FALSE(kb::FtpSendFile(implicit, local_ / "photo.jpg", {3000, 3000, 3000}).ok);
}

TEST_F(Ftpes, AServerGoneMidTransferLeavesNothingUnderTheName) {
    Start({"drop"});
    WriteFile(local_ / "big.iso", Payload(4 * 1024 * 1024));
    kb::FtpRequest r = Request("big.iso");
    kb::ServerIdentity id;
    ASSERT_TRUE(kb::FetchServerIdentity(r, id).ok);
    r.pinnedKey = id.pin;
    const kb::Status st = kb::FtpSendFile(r, local_ / "big.iso", {3000, 3000, 3000});
    EXPECT_FALSE(st.ok);
    EXPECT_FALSE(kbtest::Exists(Served("drop/big.iso")));
}

TEST(SecureUrls, SchemesPortsAndWhatPeopleSee) {
    kb::FtpRequest r;
    r.remoteName = "a b.mp3";
    r.user = "me";
    r.server = "sftp://host.example";
    r.directory = "/srv/in";
    EXPECT_EQ(kb::FtpUrl(r), "sftp://host.example:22/srv/in/a%20b.mp3");
    r.directory = "in";
    EXPECT_EQ(kb::FtpUrl(r), "sftp://host.example:22/~/in/a%20b.mp3");
    EXPECT_EQ(kb::FtpDisplayUrl(r), "sftp://me@host.example:22/~/in/a%20b.mp3");
    r.server = "FTPES://host.example";
    r.directory = "/pub";
    EXPECT_EQ(kb::FtpUrl(r), "ftp://host.example:21/%2F/pub/a%20b.mp3");
    EXPECT_EQ(kb::FtpDisplayUrl(r), "ftpes://me@host.example:21/pub/a%20b.mp3");
    r.server = "ftps://host.example";
    EXPECT_EQ(kb::FtpUrl(r), "ftps://host.example:990/%2F/pub/a%20b.mp3");
    for (const char* bad : {"http://host", "sftp://", "sftp://user@host", "scp://host"}) {
        r.server = bad;
        EXPECT_EQ(kb::FtpUrl(r), "") << bad;
        EXPECT_FALSE(kb::IsUsableServer(bad)) << bad;
    }
    EXPECT_EQ(kb::WithSecurity("ftpes://h", kb::FtpSecurity::Sftp), "sftp://h");
    EXPECT_EQ(kb::WithSecurity("sftp://h", kb::FtpSecurity::Plain), "h");
    EXPECT_EQ(kb::SecurityOf("h"), kb::FtpSecurity::Plain);
    EXPECT_EQ(kb::SecurityOf("ftp://h"), kb::FtpSecurity::Plain);
}

}  // namespace
#endif
