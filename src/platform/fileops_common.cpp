#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "platform/dirlist.h"
#include "platform/fileops.h"
#include "platform/fileops_internal.h"
#include "platform/process.h"

namespace kb {

namespace {

constexpr char kTempPrefix[] = ".kbcopy-";
constexpr char kTempSuffix[] = ".tmp";

std::mutex gHookMutex;
std::function<void(const std::string&)> gCheckHook;

}  // namespace

FileOpResult FileOpOutcome(FileOpStatus status, std::string error) {
    FileOpResult r;
    r.ok = status == FileOpStatus::Done || status == FileOpStatus::AlreadyThere;
    r.error = std::move(error);
    r.status = status;
    return r;
}

std::string CopyTemporaryName() {
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    std::uint64_t r;
    {
        std::lock_guard<std::mutex> lock(mutex);
        r = random();
    }
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag;
    for (int i = 0; i < 10; ++i, r /= 36) tag.push_back(digits[r % 36]);
    return kTempPrefix + std::to_string(CurrentProcessId()) + "-" + tag + kTempSuffix;
}

long CopyTemporaryOwner(const std::string& name) {
    const std::size_t pre = sizeof kTempPrefix - 1, suf = sizeof kTempSuffix - 1;
    if (name.size() <= pre + suf || name.compare(0, pre, kTempPrefix) != 0 ||
        name.compare(name.size() - suf, suf, kTempSuffix) != 0) {
        return -1;
    }
    const char* digits = name.c_str() + pre;
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || pid <= 0) return -1;
    return pid;
}

bool IsCopyTemporaryName(const std::string& name) { return CopyTemporaryOwner(name) > 0; }

void SweepCopyLeftovers(const std::string& dir) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(dir).second) return;
    }
    const long self = CurrentProcessId();
    std::vector<std::string> stale;
    ListDirectory(dir, [&](const DirEntryInfo& e) {
        const long owner = CopyTemporaryOwner(std::string(e.name));
        if (owner > 0 && owner != self && !ProcessIsAlive(owner)) stale.emplace_back(e.name);
        return true;
    });
    for (const std::string& name : stale) FileDelete(JoinPath(dir, name));
}

void SetCopyCheckHookForTests(std::function<void(const std::string& src)> hook) {
    std::lock_guard<std::mutex> lock(gHookMutex);
    gCheckHook = std::move(hook);
}

void RunCopyCheckHook(const std::string& src) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(gHookMutex);
        hook = gCheckHook;
    }
    if (hook) hook(src);
}

}  // namespace kb
