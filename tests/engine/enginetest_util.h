// Helpers shared by the engine tests: real temporary directories and files.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/scanpass.h"
#include "store/servicetable.h"

namespace kbtest {

namespace fs = std::filesystem;

class TempDir {
public:
    explicit TempDir(const std::string& base = "/tmp") {
        std::string tmpl = base + "/kbengine-XXXXXX";
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed in " + base);
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& str() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

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

// A file of `size` bytes that takes no disk space.
inline void MakeSparse(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, size) != 0) throw std::runtime_error("cannot size " + path);
    ::close(fd);
}

// Sets a file's modification time to `unixSeconds`.
inline void SetMtime(const std::string& path, std::int64_t unixSeconds) {
    timespec t[2];
    t[0].tv_sec = t[1].tv_sec = static_cast<time_t>(unixSeconds);
    t[0].tv_nsec = t[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, path.c_str(), t, 0) != 0) throw std::runtime_error("utimensat");
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

template <typename T>
std::vector<std::string> SortedNames(const std::vector<T>& files) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

// Rule, action and condition builders.
inline kb::ruleactionrec MoveTo(const std::string& dir) {
    kb::ruleactionrec a;
    a.raction = kb::actMove;
    a.move.filepath = dir;
    return a;
}

inline kb::ruleactionrec CopyTo(const std::string& dir) {
    kb::ruleactionrec a;
    a.raction = kb::actCopy;
    a.copy.filepath = dir;
    return a;
}

inline kb::ruleactionrec LaunchOf(const std::string& program, const std::string& params = "") {
    kb::ruleactionrec a;
    a.raction = kb::actLaunch;
    a.launch.fprogram = program;
    a.launch.fparams = params;
    return a;
}

inline kb::RuleRec Rule(std::uint8_t mcond, std::vector<kb::ruleactionrec> actions,
                        std::vector<kb::ruleacondrec> conds = {}) {
    kb::RuleRec r;
    r.rulename = "rule";
    r.enabled = true;
    r.mcond = mcond;
    r.actions = std::move(actions);
    r.conds = std::move(conds);
    return r;
}

inline kb::ruleacondrec ExtIs(const std::string& ext) {
    kb::ruleacondrec c;
    c.rcond = kb::condExtension;
    c.fileext.ext = ext;
    return c;
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
