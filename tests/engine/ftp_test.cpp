#include <gtest/gtest.h>
#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/ftpupload.h"
#include "engine/scanpass.h"
#include "enginetest_util.h"

namespace {

using kbtest::ReadFile;
using kbtest::TempDir;
using kbtest::WriteFile;

#ifndef _WIN32  // raw sockets and the server started the POSIX way
}  // namespace
extern char** environ;
namespace {

// A listening socket on 127.0.0.1 at a port the system chose.
int ListenLocal(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 4) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

// True once something on the port sends an FTP greeting.
bool Greets(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        char buf[4] = {};
        ok = ::recv(fd, buf, 3, MSG_WAITALL) == 3 && std::string(buf) == "220";
    }
    ::close(fd);
    return ok;
}

#endif

// A real FTP server (pyftpdlib) serving a directory, with one user who may
// write. Here each test starts its own; under Wine the test run starts one
// (scripts/windows-tests.sh) and names its port and directory.
class FtpServer : public ::testing::Test {
protected:
    static constexpr const char* kUser = "kb";
    static constexpr const char* kPass = "pass word";

#ifdef _WIN32
    void SetUp() override {
        const char* port = std::getenv("KB_TEST_FTP_PORT");
        const char* root = std::getenv("KB_TEST_FTP_ROOT");
        if (!port || !root) GTEST_SKIP() << "no FTP server named by KB_TEST_FTP_PORT";
        port_ = std::atoi(port);
        root_ = root;
    }
    void TearDown() override {}
#else
    void SetUp() override {
        root_ = ownRoot_.str();
        if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
        int probe = ListenLocal(port_);
        if (probe < 0) GTEST_SKIP() << "cannot find a free local port";
        ::close(probe);
        const std::string portText = std::to_string(port_);
        std::vector<std::string> args{"/usr/bin/python3",
                                      "-m",
                                      "pyftpdlib",
                                      "-i",
                                      "127.0.0.1",
                                      "-p",
                                      portText,
                                      "-w",
                                      "-d",
                                      root_,
                                      "-u",
                                      kUser,
                                      "-P",
                                      kPass};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) GTEST_SKIP() << "cannot start the FTP server";
        for (int i = 0; i < 200 && !Greets(port_); ++i) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                GTEST_SKIP() << "the FTP server (python3 -m pyftpdlib) exited at start";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!Greets(port_)) GTEST_SKIP() << "the FTP server did not answer on port " << port_;
    }

    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
#endif

    // A path below the server's directory.
    std::string Served(const std::string& relative) const { return kb::JoinPath(root_, relative); }

    kb::racftp Params(bool passive, bool ascii, const std::string& dir = "") const {
        kb::racftp p;
        p.ftpserver = "127.0.0.1";
        p.ftpport = port_;
        p.ftpuser = kUser;
        p.ftppass = kPass;
        p.ftppassive = passive;
        p.ftpascmode = ascii;
        p.ftppath = dir;
        return p;
    }

    static std::string AllBytes() {
        std::string s;
        for (int round = 0; round < 300; ++round) {
            for (int c = 0; c < 256; ++c) s += static_cast<char>(c);
            s += "\r\n\n\r";
        }
        return s;
    }

    std::string root_;
    TempDir local_;
    int port_ = 0;
#ifndef _WIN32
    TempDir ownRoot_;
    pid_t pid_ = -1;
#endif
};

TEST_F(FtpServer, BinaryPassiveAndActiveDeliverEveryByte) {
    const std::string data = AllBytes();
#ifdef _WIN32
    const std::string name = "my song #1&%20 [x].mp3";  // "?" cannot be in a Windows name
#else
    const std::string name = "my song #1?%20 [x].mp3";
#endif
    WriteFile(local_ / name, data);
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        const std::string dir = passive ? "incoming/pasv" : "incoming/actv";
        std::int64_t sent = -1;
        const auto st = kb::FtpUpload(Params(passive, false, dir), local_ / name, name, {}, &sent);
        ASSERT_TRUE(st.ok) << st.error;
        EXPECT_EQ(sent, static_cast<std::int64_t>(data.size()));
        EXPECT_TRUE(ReadFile(Served(dir + "/" + name)) == data);
    }
}

TEST_F(FtpServer, AsciiModeSendsTextType) {
    const std::string text = "line one\nline two\nlast\n";
    WriteFile(local_ / "notes.txt", text);
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        std::int64_t sent = -1;
        const auto st =
            kb::FtpUpload(Params(passive, true), local_ / "notes.txt", "notes.txt", {}, &sent);
        ASSERT_TRUE(st.ok) << st.error;
#ifndef _WIN32  // WinINet tells no byte count of the wire; it reports the file's size
        // Text type puts a CR before every LF on the wire.
        EXPECT_EQ(sent, static_cast<std::int64_t>(text.size() + 3));
#endif
        // This server stores text with the local line ends again.
        EXPECT_EQ(ReadFile(Served("notes.txt")), text);
    }
}

TEST_F(FtpServer, ReplacesRemoteFileAndHonoursAbsoluteDirectory) {
    kbtest::MakeDir(Served("abs"));
    WriteFile(Served("abs/f.bin"), "old remote contents, longer than the new");
    WriteFile(local_ / "f.bin", "new");
    const auto st = kb::FtpUpload(Params(true, false, "/abs/"), local_ / "f.bin", "f.bin");
    ASSERT_TRUE(st.ok) << st.error;
    EXPECT_EQ(ReadFile(Served("abs/f.bin")), "new");
}

TEST_F(FtpServer, WrongPasswordAndMissingLocalFileFail) {
    WriteFile(local_ / "a", "a");
    kb::racftp p = Params(true, false);
    p.ftppass = "wrong";
    auto st = kb::FtpUpload(p, local_ / "a", "a");
    EXPECT_FALSE(st.ok);
    EXPECT_FALSE(st.error.empty());
    EXPECT_FALSE(kbtest::Exists(Served("a")));
    st = kb::FtpUpload(Params(true, false), local_ / "absent", "absent");
    EXPECT_FALSE(st.ok);
    kbtest::MakeDir(local_ / "dir");
    EXPECT_FALSE(kb::FtpUpload(Params(true, false), local_ / "dir", "dir").ok);
    EXPECT_FALSE(kbtest::Exists(Served("dir")));
}

TEST_F(FtpServer, ScanPassUploadsBeforeItDeletes) {
    WriteFile(local_ / "up.bin", "payload");
    kb::ruleactionrec ftp, del;
    ftp.raction = kb::actFtp;
    ftp.ftp = Params(true, false, "drop");
    del.raction = kb::actDelete;
    const kb::ServiceStore store = kbtest::StoreWithEveryPassRule(local_.str(), "send", {ftp, del});
    const auto r = kb::RunScanPass(kb::TakeScanSnapshot(store), kb::ScanState{},
                                   kbtest::WithoutGate(kb::DefaultScanEnvironment()));
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_TRUE(r.outcomes[0].ok) << r.outcomes[0].error;
    EXPECT_TRUE(r.outcomes[1].ok);
    EXPECT_EQ(ReadFile(Served("drop/up.bin")), "payload");
    EXPECT_FALSE(kbtest::Exists(local_ / "up.bin"));
}

TEST(FtpUrl, EncodesEveryPartAndRefusesUnsafeInput) {
    kb::racftp p;
    p.ftpserver = "files.example.org";
    p.ftpport = 0;
    EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(p, "a b#c?d%e.mp3")),
              "ftp://files.example.org:21/a%20b%23c%3Fd%25e.mp3");
    p.ftppath = "/pub//my dir/";
    p.ftpport = 2121;
    EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(p, "x")),
              "ftp://files.example.org:2121/%2F/pub/my%20dir/x");
    // Shown to people with the user and without the root marker.
    p.ftpuser = "me";
    EXPECT_EQ(kb::FtpDisplayUrl(kb::FtpRequestFor(p, "x")),
              "ftp://me@files.example.org:2121/pub/my%20dir/x");
    p.ftpuser.clear();
    p.ftppath = "rel/sub";
    EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(p, "x")), "ftp://files.example.org:2121/rel/sub/x");
    p.ftpserver = "::1";
    EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(p, "x")), "ftp://[::1]:2121/rel/sub/x");

    for (const char* bad : {"", ".", "..", "a/b", "a\rb", "a\nDELE x"}) {
        EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(p, bad)), "") << bad;
        EXPECT_FALSE(kb::IsSafeRemoteName(bad)) << bad;
    }
    EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(p, std::string("a\0b", 3))), "");
    EXPECT_TRUE(kb::IsSafeRemoteName("...."));

    kb::racftp q;
    q.ftpport = 21;
    for (const char* host : {"", "evil.org/path", "user@host", "host name", "host#x"}) {
        q.ftpserver = host;
        EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(q, "x")), "") << host;
    }
    q.ftpserver = "h";
    q.ftppath = "dir\r\nDELE y";
    EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(q, "x")), "");
    q.ftppath = "";
    for (int port : {-1, 65536}) {
        q.ftpport = port;
        EXPECT_EQ(kb::FtpUrl(kb::FtpRequestFor(q, "x")), "") << port;
    }
}

#ifndef _WIN32
TEST(FtpUpload, SilentServerIsGivenUpAfterTheTimeouts) {
    int port = 0;
    const int listener = ListenLocal(port);  // accepts connections, never greets
    ASSERT_GE(listener, 0);
    TempDir local;
    WriteFile(local / "f", "f");
    kb::racftp p;
    p.ftpserver = "127.0.0.1";
    p.ftpport = port;
    p.ftppassive = true;
    const auto start = std::chrono::steady_clock::now();
    const auto st = kb::FtpUpload(p, local / "f", "f", kb::FtpTimeouts{1000, 1000, 1000});
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(listener);
    EXPECT_FALSE(st.ok);
    EXPECT_LT(took, std::chrono::seconds(10));
}

#endif

TEST(FtpUpload, RefusesUnsafeNameWithoutConnecting) {
    TempDir local;
    WriteFile(local / "f", "f");
    kb::racftp p;
    p.ftpserver = "127.0.0.1";
    p.ftpport = 1;  // nothing listens there; refusal must come first
    const auto st = kb::FtpUpload(p, local / "f", "..");
    EXPECT_FALSE(st.ok);
    EXPECT_EQ(st.error, "file name cannot be sent by FTP");
}

}  // namespace
