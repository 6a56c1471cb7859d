// Helpers shared by the engine tests: real temporary directories and files.
#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "builders.h"
#include "engine/scanpass.h"
#include "platform/fileops.h"
#include "store/servicetable.h"

namespace kbtest {

namespace fs = std::filesystem;

// The system's folder for temporary files ("/tmp" here).
inline std::string SystemTemp() {
    std::string t = fs::temp_directory_path().string();
    while (t.size() > 1 && (t.back() == '/' || t.back() == '\\')) t.pop_back();
    return t;
}

// A fresh directory below `base` (the system's temporary folder when empty),
// removed with everything in it at the end of the test. Paths inside it are
// joined the way the program joins them.
class TempDir {
public:
    explicit TempDir(const std::string& base = "") {
        const std::string parent = base.empty() ? SystemTemp() : base;
        std::random_device rd;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = kb::JoinPath(parent, "kbengine-" + std::to_string(rd()));
            std::error_code ec;
            if (fs::create_directory(candidate, ec)) path_ = candidate;
        }
        if (path_.empty()) throw std::runtime_error("cannot make a directory in " + parent);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& str() const { return path_; }
    std::string operator/(const std::string& name) const { return kb::JoinPath(path_, name); }
    // A path some folders down, written with "/" ("Album/CD1/01.flac").
    std::string Path(const std::string& relative) const {
        std::string out = path_;
        std::size_t from = 0;
        for (std::size_t slash; (slash = relative.find('/', from)) != std::string::npos;
             from = slash + 1)
            out = kb::JoinPath(out, relative.substr(from, slash - from));
        return kb::JoinPath(out, relative.substr(from));
    }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
    if (!f) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A file of `size` bytes that takes no disk space where the file system can.
inline void MakeSparse(const std::string& path, std::int64_t size) {
    WriteFile(path, "");
    fs::resize_file(path, static_cast<std::uintmax_t>(size));
}

// Sets a file's modification time to `unixSeconds`.
inline void SetMtime(const std::string& path, std::int64_t unixSeconds) {
    const std::chrono::sys_seconds t{std::chrono::seconds(unixSeconds)};
    fs::last_write_time(path, std::chrono::file_clock::from_sys(t));
}

// Whether anything (a dangling link included) has this name.
inline bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

inline void MakeDir(const std::string& path) { fs::create_directory(path); }

// A folder on another file system than SystemTemp(), so that a move between
// them has to copy; "" when there is none. Here /dev/shm when it is one; on
// Windows the volume the test run names in KB_TEST_OTHER_VOLUME.
inline std::string OtherFileSystem() {
#ifdef _WIN32
    const char* volume = std::getenv("KB_TEST_OTHER_VOLUME");
    return volume ? volume : "";
#else
    struct stat a, b;
    const bool other = ::stat(SystemTemp().c_str(), &a) == 0 && ::stat("/dev/shm", &b) == 0 &&
                       a.st_dev != b.st_dev;
    return other ? "/dev/shm" : "";
#endif
}

inline bool AcrossFileSystems() { return !OtherFileSystem().empty(); }

template <typename T>
std::vector<std::string> SortedNames(const std::vector<T>& files) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::string> SortedNames(const kb::SharedListing& files) {
    return SortedNames(files.get());
}

// A store holding one enabled service on `dir`, with the given masks and rules.
inline int AddService(kb::ServiceStore& store, const std::string& dir, const std::string& masks,
                      std::vector<kb::RuleRec> rules) {
    kb::rServiceRules s;
    s.serviceid = kb::sidOther;
    s.sharedir = dir;
    s.excludefiles = masks;
    s.enabled = true;
    s.rulelist.rules = std::move(rules);
    store.AssignUid(s);
    store.ServiceTable.push_back(std::move(s));
    return store.ServiceCount() - 1;
}

// `env` with the completion gate switched off: the engine as it was before the
// gate, acting on a file in the pass that first lists it. The gate's own tests
// switch it on.
inline kb::ScanEnvironment WithoutGate(kb::ScanEnvironment env) {
    env.gate.enabled = false;
    return env;
}

// A table holding one switched-on service on `sharedir` with one rule that
// fires on every pass (more than zero files) and performs `actions`.
inline kb::ServiceStore StoreWithEveryPassRule(const std::string& sharedir, const std::string& name,
                                               std::vector<kb::ruleactionrec> actions) {
    kb::ServiceStore store;
    kb::rServiceRules svc;
    svc.sharedir = sharedir;
    svc.enabled = true;
    kb::RuleRec rule;
    rule.rulename = name;
    rule.enabled = true;
    rule.mcond = kb::trgFileCount;
    rule.fcnt = 0;
    rule.actions = std::move(actions);
    svc.rulelist.rules = {rule};
    store.AssignUid(svc);
    store.ServiceTable.push_back(svc);
    return store;
}

}  // namespace kbtest
