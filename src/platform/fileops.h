// The file operations of the rule actions, with the semantics the engine
// relies on: copies replace the target and keep the source's modification
// time, moves never lose the source, deletes never remove a directory.
// Each returns true on success; on failure `error` (when given) says why.
#pragma once

#include <string>

namespace kb {

// `dir` + the native separator + `name`; a trailing separator on `dir` is
// doubled, which every file system call accepts.
std::string JoinPath(const std::string& dir, const std::string& name);

// Copies the regular file `src` (links followed) to `dst`, replacing an
// existing file there. The data go to a temporary file beside `dst` that takes
// its name only when complete, so `dst` is never left half-written. Keeps the
// source's permission bits and modification time. `durable` flushes the copy
// to the disk before it takes its name. A directory source or target fails.
bool FileCopy(const std::string& src, const std::string& dst, bool durable, std::string* error);

// Moves the file `src` to `dst`, replacing an existing file: a rename within
// one file system; otherwise a durable copy, after which the source is deleted
// only if the copy completed and is not the source itself. Directories fail.
bool FileMove(const std::string& src, const std::string& dst, std::string* error);

// Deletes the file (or link) `path`. A directory, even an empty one, fails.
bool FileDelete(const std::string& path, std::string* error);

}  // namespace kb
