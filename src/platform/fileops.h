// The file operations of the rule actions, with the semantics the engine
// relies on: copies replace the target and keep the source's modification
// time, moves never lose the source, deletes never remove a directory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace kb {

enum class FileOpStatus {
    Done,
    // The target already was a regular file with the source's size and
    // modification time: a copy made earlier. Nothing was written.
    AlreadyThere,
    // The source grew, was rewritten or was replaced while it was copied. The
    // copy was thrown away and the source left as it is.
    SourceChanged,
    Failed,
};

// ok for Done and AlreadyThere; error says why otherwise.
struct FileOpResult : Status {
    FileOpResult(Status st, FileOpStatus how) : Status(std::move(st)), status(how) {}
    FileOpStatus status;
};

// `dir` + the native separator + `name`; a trailing separator on `dir` is
// doubled, which every file system call accepts.
std::string JoinPath(const std::string& dir, const std::string& name);

// Copies the regular file `src` (links followed) to `dst`, replacing an
// existing file there, unless `dst` already is an identical copy. The data go
// to a temporary file beside `dst` that reaches the disk and takes its name
// only when complete and when the source has not changed meanwhile, so `dst`
// is never left half-written or holding a mix of two versions. Keeps the
// source's permission bits and modification time. A directory source or
// target fails. Temporary files that a crashed copy left in `dst`'s folder
// are removed the first time a copy writes there.
FileOpResult FileCopy(const std::string& src, const std::string& dst);

// Moves the file `src` to `dst`, replacing an existing file: a rename within
// one file system; otherwise a copy as FileCopy makes it, after which the
// source is deleted only if the copy is complete, the source did not change
// while it was copied, and the target is not the source itself. Directories
// fail.
FileOpResult FileMove(const std::string& src, const std::string& dst);

// Copies and moves made together, so that many files cost one flush to the
// disk instead of one each. Add starts one: a move within a file system is
// a rename at once; a copy (or a move across file systems) writes the
// source's data to a temporary file beside the target straight away. Commit
// then makes every temporary durable together (one flush per file system
// touched), checks each source again (same file, same size and times), gives
// each copy its name, makes the new names durable, and only after that
// removes the sources of moves. So, whenever the machine stops, a target
// name holds either what it held before or the whole source, and a source
// goes only once its copy is on the disk under its name. Each copy behaves
// exactly as FileCopy or FileMove would make it alone.
class CopyBatch {
public:
    // How much may wait for one flush: Full() says when it is reached.
    struct Bounds {
        std::size_t files = 1000;
        std::int64_t bytes = std::int64_t{256} << 20;
    };
    CopyBatch();
    explicit CopyBatch(Bounds bounds);
    ~CopyBatch();  // removes the temporary files of copies not committed
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    // `replace` false: a file at `dst` (one that is not an identical copy)
    // is never replaced, not even one that appears while the copy is made;
    // the copy then fails with kTargetTaken.
    void Add(const std::string& src, const std::string& dst, bool move, bool replace = true);
    // Whether the copies waiting reach the bounds: time to Commit.
    bool Full() const;
    // Whether anything was added since the last Commit.
    bool Empty() const;
    // Finishes everything added since the last Commit and returns one result
    // per Add, in the order added.
    std::vector<FileOpResult> Commit();

private:
    struct Work;
    std::unique_ptr<Work> work_;
};

// Why a copy or move that must not replace failed: its target name was taken.
inline constexpr char kTargetTaken[] = "a file of that name is already there";

// Deletes the file (or link) `path`. A directory, even an empty one, fails.
FileOpResult FileDelete(const std::string& path);

// Copies the folder `src` with everything in it to `dst`, each file as
// FileCopy copies one (so none is ever half-written under its name); an
// existing folder at `dst` is added to, its files replaced where they
// differ. Links are copied as links, never followed. A folder holding a
// device, pipe or socket, or more than a walk looks through, fails before
// anything is written. AlreadyThere when every file already was.
FileOpResult FolderCopy(const std::string& src, const std::string& dst);

// Moves the folder `src` to `dst`: a rename within one file system (into an
// existing folder at `dst`, entry by entry); across file systems a
// FolderCopy of everything first, and only then, once every copy is in
// place, the removal of the source's files (those still as they were
// copied) and folders.
FileOpResult FolderMove(const std::string& src, const std::string& dst);

// Removes the folder `copy` that FolderCopy made of `original`: each file
// only while the original still has one of the same size and time, each
// folder once empty. Fails, keeping what is left, when anything in `copy` is
// not such a copy.
FileOpResult FolderRemoveCopy(const std::string& copy, const std::string& original);

// Makes the folder `path` and any folders above it that are missing, each
// with the permissions a user's new folder gets (the umask applies). Ok when
// it is a folder already.
Status MakeFolders(const std::string& path);

// Whether `path` is a folder itself (not a link to one).
bool IsFolder(const std::string& path);

// The temporary files a copy writes are named ".kbcopy-<process id>-<random>.tmp".
bool IsCopyTemporaryName(const std::string& name);

// For tests only: called with the source path once a copy's data are written,
// just before the source is checked for changes; an empty function clears it.
void SetCopyCheckHookForTests(std::function<void(const std::string& src)> hook);

}  // namespace kb
