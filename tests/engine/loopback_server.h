// A real server on 127.0.0.1 started by tests/servers/loopback.py for one
// test: SSH (SFTP), FTP with TLS or SMTP. What a client needs to know (port,
// user, keys, pins) is read from the server.json it writes once it listens.
#pragma once
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "enginetest_util.h"

extern char** environ;

namespace kbtest {

class LoopbackServer {
public:
    // Empty reason: it runs. Otherwise why it could not be started (the
    // test is skipped: the machine lacks the server).
    std::string Start(const std::string& kind, std::vector<std::string> options = {}) {
        if (::access("/usr/bin/python3", X_OK) != 0) return "no /usr/bin/python3";
        std::vector<std::string> args{"/usr/bin/python3",
                                      KB_SOURCE_DIR "/tests/servers/loopback.py", kind, dir_.str()};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string log = dir_ / "server.log";
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
        const int rc = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) return "cannot start " + kind;
        for (int i = 0; i < 400; ++i) {
            std::ifstream in(dir_ / "server.json");
            if (in) {
                info_ = nlohmann::json::parse(in, nullptr, false);
                return info_.is_object() ? "" : "server.json does not parse";
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                std::ifstream l(log);
                std::stringstream s;
                s << l.rdbuf();
                return kind + " server ended at start: " + s.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return kind + " server did not start";
    }

    ~LoopbackServer() { Stop(); }

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    int Port() const { return info_.value("port", 0); }
    std::string Str(const char* key) const { return info_.value(key, std::string()); }
    std::string Dir() const { return dir_.str(); }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    nlohmann::json info_;
};

}  // namespace kbtest
#endif
