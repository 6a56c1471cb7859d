// What the two file-operation back ends share: the temporary names of copies,
// the clean-up of those a crashed copy left, and the tests' check hook.
#pragma once

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

}  // namespace kb
