#include <cstdlib>
#include <vector>

#include "platform/atomicfile.h"
#include "platform/dirlist.h"
#include "platform/fileops.h"
#include "platform/process.h"

namespace kb {

namespace {

// The process id in "<base>.<pid>.<tag>.tmp", or -1 when `name` is not such a name.
long LeftoverOwner(const std::string& name, const std::string& base) {
    static const std::string suffix = ".tmp";
    if (name.size() <= base.size() + 1 + suffix.size() || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return -1;
    }
    const char* digits = name.c_str() + base.size() + 1;
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '.' || pid <= 0) return -1;
    return pid;
}

}  // namespace

int RemoveAtomicWriteLeftovers(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string dir =
        slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const long self = CurrentProcessId();
    std::vector<std::string> stale;
    ListDirectory(dir, [&](const DirEntryInfo& e) {
        const long owner = LeftoverOwner(std::string(e.name), base);
        if (owner > 0 && (owner == self || !ProcessIsAlive(owner))) stale.emplace_back(e.name);
        return true;
    });
    int removed = 0;
    for (const std::string& name : stale)
        if (FileDelete(JoinPath(dir, name))) ++removed;
    return removed;
}

}  // namespace kb
