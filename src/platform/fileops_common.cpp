#include <algorithm>
#include <cstdlib>
#include <filesystem>
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

struct CopyBatch::Work {
    struct Item {
        std::optional<FileOpResult> result;  // set when settled without a flush
        StartedCopy copy;
    };
    Bounds bounds;
    std::vector<Item> items;
    std::size_t waiting = 0;
    std::int64_t bytes = 0;
};

CopyBatch::CopyBatch() : CopyBatch(Bounds{}) {}

CopyBatch::CopyBatch(Bounds bounds) : work_(std::make_unique<Work>()) { work_->bounds = bounds; }

CopyBatch::~CopyBatch() {
    for (const Work::Item& item : work_->items)
        if (!item.result) DropCopy(item.copy);
}

void CopyBatch::Add(const std::string& src, const std::string& dst, bool move, bool replace) {
    Work::Item item;
    if (move) item.result = RenameForMove(src, dst, replace);
    if (!item.result) {
        FileOpResult started = StartCopy(src, dst, item.copy);
        item.copy.move = move;
        item.copy.replace = replace;
        // A move onto an identical copy still has its source to remove, once
        // that copy is known to be on the disk.
        const bool waits = started.status == FileOpStatus::Done ||
                           (move && started.status == FileOpStatus::AlreadyThere);
        if (waits) {
            ++work_->waiting;
            work_->bytes += item.copy.size;
        } else {
            item.result = std::move(started);
        }
    }
    work_->items.push_back(std::move(item));
}

bool CopyBatch::Full() const {
    return work_->waiting >= work_->bounds.files || work_->bytes >= work_->bounds.bytes;
}

bool CopyBatch::Empty() const { return work_->items.empty(); }

std::vector<FileOpResult> CopyBatch::Commit() {
    std::vector<Work::Item> items = std::move(work_->items);
    work_->items.clear();
    work_->waiting = 0;
    work_->bytes = 0;

    std::vector<const StartedCopy*> flushing;
    for (const Work::Item& item : items)
        if (!item.result) flushing.push_back(&item.copy);
    const std::vector<std::string> flushErrors = FlushCopies(flushing);

    // Every temporary is on the disk: each takes its name if its source is
    // still as it was copied.
    std::vector<std::string> named;
    std::size_t k = 0;
    for (Work::Item& item : items) {
        if (item.result) continue;
        const std::string& flushError = flushErrors[k++];
        if (!flushError.empty()) {
            DropCopy(item.copy);
            item.result = FileOpOutcome(FileOpStatus::Failed, "cannot flush copy: " + flushError);
        } else if (item.copy.tmp.empty()) {
            item.result = FileOpOutcome(FileOpStatus::AlreadyThere);
        } else {
            item.result = NameCopy(item.copy);
            if (item.result->ok) named.push_back(FolderOf(item.copy.dst));
        }
    }
    std::sort(named.begin(), named.end());
    named.erase(std::unique(named.begin(), named.end()), named.end());
    for (const std::string& dir : named) SyncFolder(dir);

    // Only now, with each copy durable under its name, do moved sources go.
    std::vector<std::string> emptied;
    for (Work::Item& item : items) {
        if (!item.copy.move || item.copy.src.empty() || !item.result->ok) continue;
        FileOpResult removed = RemoveMovedSource(item.copy);
        if (removed.ok)
            emptied.push_back(FolderOf(item.copy.src));
        else
            item.result = std::move(removed);
    }
    std::sort(emptied.begin(), emptied.end());
    emptied.erase(std::unique(emptied.begin(), emptied.end()), emptied.end());
    for (const std::string& dir : emptied) SyncFolder(dir);

    std::vector<FileOpResult> results;
    results.reserve(items.size());
    for (Work::Item& item : items) results.push_back(std::move(*item.result));
    return results;
}

FileOpResult FileCopy(const std::string& src, const std::string& dst) {
    CopyBatch batch;
    batch.Add(src, dst, false);
    return std::move(batch.Commit().front());
}

FileOpResult FileMove(const std::string& src, const std::string& dst) {
    CopyBatch batch;
    batch.Add(src, dst, true);
    return std::move(batch.Commit().front());
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
            if (const Renamed r = RenameEntry(from, to); !r)
                return Failed("cannot move: " + r.error);
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
    // The folder's files are copied as one batch (flushed together, bounded
    // as any batch); `batched` names them for the results.
    CopyBatch batch;
    std::vector<const Walked*> batched;
    auto commit = [&]() -> std::optional<FileOpResult> {
        const std::vector<FileOpResult> results = batch.Commit();
        std::optional<FileOpResult> failure;
        for (std::size_t i = 0; i < results.size(); ++i) {
            const FileOpResult& r = results[i];
            if (r.status == FileOpStatus::SourceChanged) {
                changed = true;
            } else if (!r.ok && !failure) {
                failure = Failed(batched[i]->path + ": " + r.error);
            }
            if (r.status != FileOpStatus::AlreadyThere) allThere = false;
        }
        batched.clear();
        return failure;
    };
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
            case TreeEntry::Kind::File:
                batch.Add(from, to, false);
                batched.push_back(&e);
                if (batch.Full())
                    if (std::optional<FileOpResult> failure = commit()) return *failure;
                break;
            case TreeEntry::Kind::Special:
                break;  // refused by ReadTree
        }
    }
    if (std::optional<FileOpResult> failure = commit()) return *failure;
    // Folders take their times last: filling one changes its time.
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        if (it->kind == TreeEntry::Kind::Folder)
            SetModificationTime(Below(dst, it->path), it->mtimeNs);
    if (const std::optional<std::int64_t> own = EntryMtime(src)) SetModificationTime(dst, *own);
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
            const std::optional<FileStampOf> a = FileStamp(mine);
            if (a && a == FileStamp(theirs))
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
        const Renamed renamed = RenameEntry(src, dst);
        switch (renamed.end) {
            case RenameEnd::Done:
                return FileOpOutcome(FileOpStatus::Done);
            case RenameEnd::Failed:
                return Failed("cannot move: " + renamed.error);
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
            const std::optional<FileStampOf> a = FileStamp(from);
            if (a && a == FileStamp(to))
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

Status MakeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return Status::Failure("cannot make the folder " + path + ": " + ec.message());
    if (!IsFolder(path)) return Status::Failure(path + " is there and is not a folder");
    return Status::Success();
}

}  // namespace kb
