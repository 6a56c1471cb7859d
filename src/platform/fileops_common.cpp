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
    const bool ok = status == FileOpStatus::Done || status == FileOpStatus::AlreadyThere;
    return FileOpResult(Status(ok, std::move(error)), status);
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

namespace kb {

namespace {

std::string Below(const std::string& top, std::string_view rel) {
    std::string out = top;
    std::size_t from = 0;
    // The walk separates with "/"; each system joins its own way.
    while (from <= rel.size()) {
        const std::size_t slash = rel.find('/', from);
        const std::size_t end = slash == std::string_view::npos ? rel.size() : slash;
        out = JoinPath(out, std::string(rel.substr(from, end - from)));
        if (slash == std::string_view::npos) break;
        from = slash + 1;
    }
    return out;
}

struct Walked {
    std::string path;
    TreeEntry::Kind kind;
    std::int64_t mtimeNs;
};

// Everything below `src`, or why it cannot be copied whole.
Status ReadTree(const std::string& src, std::vector<Walked>& out) {
    std::string special;
    const WalkEnd end = WalkTree(src, WalkLimits{}, [&](const TreeEntry& e) {
        if (e.kind == TreeEntry::Kind::Special && special.empty()) special = std::string(e.path);
        out.push_back(Walked{std::string(e.path), e.kind, e.mtimeNs});
    });
    switch (end) {
        case WalkEnd::Complete:
            break;
        case WalkEnd::TooDeep:
        case WalkEnd::TooMany:
            return Status::Failure("the folder holds more than can be copied whole");
        case WalkEnd::Unreadable:
            return Status::Failure("not all of the folder can be read");
    }
    if (!special.empty())
        return Status::Failure("the folder holds a device, pipe or socket: " + special);
    return Status::Success();
}

FileOpResult Failed(std::string why) { return FileOpOutcome(FileOpStatus::Failed, std::move(why)); }

// Moves what `src` holds into the folder `dst` on the same file system,
// entry by entry, then removes `src` once empty.
FileOpResult MergeByRename(const std::string& src, const std::string& dst) {
    std::vector<std::string> names;
    if (!ListDirectory(src, [&](const DirEntryInfo& e) {
            names.emplace_back(e.name);
            return true;
        })) {
        return Failed("cannot read the folder");
    }
    for (const std::string& name : names) {
        const std::string from = JoinPath(src, name), to = JoinPath(dst, name);
        const EntryKind kind = KindOf(from), there = KindOf(to);
        FileOpResult r = FileOpOutcome(FileOpStatus::Done);
        if (kind == EntryKind::Folder && there == EntryKind::Folder) {
            r = MergeByRename(from, to);
        } else if (kind == EntryKind::Folder || there == EntryKind::Folder) {
            if (there != EntryKind::Missing)
                return Failed("cannot put " + from + " in the place of " + to);
            std::string why;
            if (RenameEntry(from, to, why) != RenameEnd::Done) return Failed("cannot move: " + why);
        } else {
            r = FileMove(from, to);
        }
        if (!r.ok) return r;
    }
    if (!RemoveEmptyFolder(src)) return Failed("moved, but the emptied folder stays: " + src);
    return FileOpOutcome(FileOpStatus::Done);
}

}  // namespace

bool IsFolder(const std::string& path) { return KindOf(path) == EntryKind::Folder; }

FileOpResult FolderCopy(const std::string& src, const std::string& dst) {
    if (KindOf(src) != EntryKind::Folder) return Failed("source is not a folder");
    const EntryKind there = KindOf(dst);
    if (there != EntryKind::Missing && there != EntryKind::Folder)
        return Failed("a file of that name is in the target folder");
    std::vector<Walked> tree;
    if (const Status st = ReadTree(src, tree); !st) return Failed(st.error);
    if (const Status st = MakeFolderLike(dst, src); !st) return Failed(st.error);

    bool allThere = true, changed = false;
    for (const Walked& e : tree) {
        const std::string from = Below(src, e.path), to = Below(dst, e.path);
        switch (e.kind) {
            case TreeEntry::Kind::Folder:
                if (const Status st = MakeFolderLike(to, from); !st) return Failed(st.error);
                break;
            case TreeEntry::Kind::Link:
                if (const Status st = CopyLink(from, to); !st)
                    return Failed(e.path + ": " + st.error);
                break;
            case TreeEntry::Kind::File: {
                const FileOpResult r = FileCopy(from, to);
                if (r.status == FileOpStatus::SourceChanged) {
                    changed = true;
                } else if (!r.ok) {
                    return Failed(e.path + ": " + r.error);
                }
                if (r.status != FileOpStatus::AlreadyThere) allThere = false;
                break;
            }
            case TreeEntry::Kind::Special:
                break;  // refused by ReadTree
        }
    }
    // Folders take their times last: filling one changes its time.
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        if (it->kind == TreeEntry::Kind::Folder)
            SetModificationTime(Below(dst, it->path), it->mtimeNs);
    std::int64_t own = 0;
    if (EntryMtime(src, own)) SetModificationTime(dst, own);
    if (changed)
        return FileOpOutcome(FileOpStatus::SourceChanged,
                             "files in the folder changed while it was copied");
    return FileOpOutcome(allThere ? FileOpStatus::AlreadyThere : FileOpStatus::Done);
}

FileOpResult FolderRemoveCopy(const std::string& copy, const std::string& original) {
    if (KindOf(copy) != EntryKind::Folder) return Failed("the copy is not a folder");
    if (SameFolder(copy, original)) return Failed("the copy is the original");
    std::vector<Walked> tree;
    if (const Status st = ReadTree(copy, tree); !st) return Failed(st.error);
    std::size_t kept = 0;
    for (const Walked& e : tree) {
        const std::string mine = Below(copy, e.path), theirs = Below(original, e.path);
        if (e.kind == TreeEntry::Kind::Link) {
            if (KindOf(theirs) == EntryKind::Link)
                FileDelete(mine);
            else
                ++kept;
        } else if (e.kind == TreeEntry::Kind::File) {
            std::int64_t s1 = 0, m1 = 0, s2 = 0, m2 = 0;
            if (FileStamp(mine, s1, m1) && FileStamp(theirs, s2, m2) && s1 == s2 && m1 == m2)
                FileDelete(mine);
            else
                ++kept;
        }
    }
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        if (it->kind == TreeEntry::Kind::Folder) RemoveEmptyFolder(Below(copy, it->path));
    if (kept > 0 || !RemoveEmptyFolder(copy))
        return Failed("part of the copy is not in the original and stays: " + copy);
    return FileOpOutcome(FileOpStatus::Done);
}

FileOpResult FolderMove(const std::string& src, const std::string& dst) {
    if (KindOf(src) != EntryKind::Folder) return Failed("source is not a folder");
    const EntryKind there = KindOf(dst);
    if (there != EntryKind::Missing && there != EntryKind::Folder)
        return Failed("a file of that name is in the target folder");
    if (there == EntryKind::Missing) {
        std::string why;
        switch (RenameEntry(src, dst, why)) {
            case RenameEnd::Done:
                return FileOpOutcome(FileOpStatus::Done);
            case RenameEnd::Failed:
                return Failed("cannot move: " + why);
            case RenameEnd::OtherFileSystem:
                break;
        }
    } else {
        if (SameFolder(src, dst)) return Failed("source and target are the same folder");
        if (SameFileSystem(src, dst)) return MergeByRename(src, dst);
    }
    FileOpResult copied = FolderCopy(src, dst);
    if (!copied.ok) return copied;
    if (SameFolder(src, dst)) return copied;
    // Every copy is in place: only now does the source go, file by file, and
    // only files still as they were copied.
    std::vector<Walked> tree;
    if (const Status st = ReadTree(src, tree); !st)
        return Failed("copied, but the source stays: " + st.error);
    std::size_t kept = 0;
    for (const Walked& e : tree) {
        const std::string from = Below(src, e.path), to = Below(dst, e.path);
        if (e.kind == TreeEntry::Kind::Link) {
            FileDelete(from);
        } else if (e.kind == TreeEntry::Kind::File) {
            std::int64_t s1 = 0, m1 = 0, s2 = 0, m2 = 0;
            if (FileStamp(from, s1, m1) && FileStamp(to, s2, m2) && s1 == s2 && m1 == m2)
                FileDelete(from);
            else
                ++kept;
        }
    }
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        if (it->kind == TreeEntry::Kind::Folder) RemoveEmptyFolder(Below(src, it->path));
    if (kept > 0 || !RemoveEmptyFolder(src)) {
        return FileOpOutcome(FileOpStatus::SourceChanged,
                             kept > 0 ? "copied, but " + std::to_string(kept) +
                                            " files that changed meanwhile stay in the source"
                                      : "copied, but files added meanwhile stay in the source");
    }
    return copied;
}

}  // namespace kb
