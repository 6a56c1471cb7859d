// What the two file-operation back ends share: the temporary names of copies,
// the clean-up of those a crashed copy left, and the tests' check hook.
#pragma once

#include <cstdint>
#include <string>

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

// What the folder operations need of each system.
enum class EntryKind { Missing, File, Folder, Link, Other };
EntryKind KindOf(const std::string& path);  // the entry itself, links not followed
enum class RenameEnd { Done, OtherFileSystem, Failed };
// Renames `src` to `dst` (a file or link replacing one; a folder only to a
// name that is free); `error` says why when Failed.
RenameEnd RenameEntry(const std::string& src, const std::string& dst, std::string& error);
// Makes the folder `dst` with the permissions of the folder `like`; an
// existing folder is fine.
Status MakeFolderLike(const std::string& dst, const std::string& like);
// Makes `dst` a link with the same target as the link `src` (replacing a link there).
Status CopyLink(const std::string& src, const std::string& dst);
// Removes `path` when it is an empty folder.
bool RemoveEmptyFolder(const std::string& path);
// Gives `path` the modification time `mtimeNs` (ns since the Unix epoch).
void SetModificationTime(const std::string& path, std::int64_t mtimeNs);
// The modification time of the entry at `path` itself (ns); false when there is none.
bool EntryMtime(const std::string& path, std::int64_t& mtimeNs);
// The size and modification time of the file at `path`; false when it is not one.
bool FileStamp(const std::string& path, std::int64_t& size, std::int64_t& mtimeNs);
// Whether the two paths name one folder (a bind mount, a link).
bool SameFolder(const std::string& a, const std::string& b);
// Whether the two entries lie on one file system (a rename can join them).
bool SameFileSystem(const std::string& a, const std::string& b);

}  // namespace kb
