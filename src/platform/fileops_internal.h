// What the two file-operation back ends share: the temporary names of copies,
// the clean-up of those a crashed copy left, and the tests' check hook.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileops.h"

namespace kb {

// A result of `status`, ok exactly for Done and AlreadyThere.
FileOpResult FileOpOutcome(FileOpStatus status, std::string error = {});

// A fresh temporary name for a copy into `dir`, without the directory:
// ".kbcopy-<process id>-<random>.tmp".
std::string CopyTemporaryName();

// The process id a copy's temporary name carries, or -1 when `name` is not one.
long CopyTemporaryOwner(const std::string& name);

// Removes, once per folder and run, the temporary files of copies whose
// process has ended (a crash or a kill in the middle of a copy). A live
// process's files, another user's copy in flight among them, stay.
void SweepCopyLeftovers(const std::string& dir);

// Calls the hook SetCopyCheckHookForTests installed, if any.
void RunCopyCheckHook(const std::string& src);

// A copy written to its temporary file, waiting in a CopyBatch to be made
// durable and given its name. `tmp` is empty when the target already was an
// identical copy (a move then only has its source left to remove).
struct StartedCopy {
    std::string src, dst, tmp;
    bool move = false;
    // False: the copy takes its name only while the name is free (a file
    // that appeared there meanwhile is never replaced).
    bool replace = true;
    // The source as it was when the copy began.
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, mtimeNs = 0, ctimeNs = 0;
    std::uint64_t targetDevice = 0;  // the file system the target is on
};

// Writes `src`'s data, permissions and modification time to a new temporary
// file beside `dst` and fills `copy`. Done: the copy waits for its flush.
// AlreadyThere: `dst` already is an identical copy (`copy` is filled, `tmp`
// empty). Failed: nothing was left behind.
FileOpResult StartCopy(const std::string& src, const std::string& dst, StartedCopy& copy);
// Makes the data and metadata of every waiting copy durable, one flush per
// file system. One entry per copy: empty, or why its flush failed.
std::vector<std::string> FlushCopies(const std::vector<const StartedCopy*>& copies);
// Checks the flushed copy's source again and gives the copy its name; the
// temporary file is removed when that cannot be done.
FileOpResult NameCopy(const StartedCopy& copy);
// Removes a waiting copy's temporary file.
void DropCopy(const StartedCopy& copy);
// The move of `src` to `dst` as a rename: its result, or nothing when the
// two are on different file systems (or `src` is a link) and the move must
// copy.
std::optional<FileOpResult> RenameForMove(const std::string& src, const std::string& dst,
                                          bool replace = true);
// Removes a moved file's source once its copy is durable under its name,
// unless the two names are one file (a bind mount).
FileOpResult RemoveMovedSource(const StartedCopy& copy);
// Makes the names just given or removed in the folder `dir` durable.
void SyncFolder(const std::string& dir);
// The folder part of `path` ("." when it has none).
std::string FolderOf(const std::string& path);

// What the folder operations need of each system.
enum class EntryKind { Missing, File, Folder, Link, Other };
EntryKind KindOf(const std::string& path);  // the entry itself, links not followed
enum class RenameEnd { Done, OtherFileSystem, Failed };
struct Renamed : Status {
    Renamed(Status st, RenameEnd how) : Status(std::move(st)), end(how) {}
    RenameEnd end;  // ok exactly for Done; `error` says why when Failed
};
// Renames `src` to `dst` (a file or link replacing one; a folder only to a
// name that is free).
Renamed RenameEntry(const std::string& src, const std::string& dst);
// Makes the folder `dst` with the permissions of the folder `like`; an
// existing folder is fine.
Status MakeFolderLike(const std::string& dst, const std::string& like);
// Makes `dst` a link with the same target as the link `src` (replacing a link there).
Status CopyLink(const std::string& src, const std::string& dst);
// Removes `path` when it is an empty folder.
bool RemoveEmptyFolder(const std::string& path);
// Gives `path` the modification time `mtimeNs` (ns since the Unix epoch).
void SetModificationTime(const std::string& path, std::int64_t mtimeNs);
// The modification time of the entry at `path` itself (ns); nothing when there is none.
std::optional<std::int64_t> EntryMtime(const std::string& path);
// A regular file's size and modification time (ns).
struct FileStampOf {
    std::int64_t size = 0, mtimeNs = 0;
    bool operator==(const FileStampOf&) const = default;
};
// The stamp of the file at `path`; nothing when it is not a regular file.
std::optional<FileStampOf> FileStamp(const std::string& path);
// Whether the two paths name one folder (a bind mount, a link).
bool SameFolder(const std::string& a, const std::string& b);
// Whether the two entries lie on one file system (a rename can join them).
bool SameFileSystem(const std::string& a, const std::string& b);

}  // namespace kb
