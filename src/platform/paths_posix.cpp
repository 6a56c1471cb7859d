#include <errno.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/paths.h"

namespace kb {

const char kPathSeparator = '/';

namespace {

std::string AbsoluteEnv(const char* name) {
    // Nothing in this program changes its environment once it runs.
    const char* v = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    // Relative values are invalid by the base-directory rules and are ignored.
    if (v && v[0] == '/') return v;
    return {};
}

std::string StripTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

}  // namespace

std::string HomeDir() {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return "/tmp";
}

std::string ExecutablePath() {
    std::vector<char> buf(4096);
    while (true) {
        const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t sep = path.find_last_of('/');
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string ConfigHome() {
    std::string dir = AbsoluteEnv("XDG_CONFIG_HOME");
    if (dir.empty()) dir = StripTrailingSlashes(HomeDir()) + "/.config";
    return StripTrailingSlashes(dir);
}

std::string AppConfigDir() { return ConfigHome() + "/Kestrelbox"; }

std::string AppStateDir() {
    std::string dir = AbsoluteEnv("XDG_STATE_HOME");
    if (dir.empty()) dir = StripTrailingSlashes(HomeDir()) + "/.local/state";
    return StripTrailingSlashes(dir) + "/Kestrelbox";
}

std::string RuntimeDir() {
    const std::string dir = AbsoluteEnv("XDG_RUNTIME_DIR");
    return dir.empty() ? AppConfigDir() : StripTrailingSlashes(dir);
}

int MakeDirectories(const std::string& dir) {
    if (dir.empty()) return ENOENT;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        const std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

}  // namespace kb
