// Where a move, copy or rename puts one file: its target folder and name
// filled in from the action's templates, and what is done about a file that
// already has that name there. Looks at the file system but changes
// nothing, so the preview and the dry run show the very decision the action
// then carries out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/model.h"

namespace kb {

struct PlacedFile {
    std::string_view name;  // bare name in the shared folder
    std::string path;       // where it is now (an earlier move may have taken it)
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    double date = 0.0;  // local modification time, days since 1899-12-30
    bool folder = false;
    std::string_view service, rule;
};

struct Placement {
    enum class Outcome {
        Write,      // copy or move it there (replacing only when `replace`)
        Identical,  // an identical copy is there: a copy writes nothing, a move
                    // removes the source once the copy is known durable
        Skip,       // leave it where it is (`note` says why)
        Fail,       // `error` says why
    };
    Outcome outcome = Outcome::Write;
    std::string dir;   // the folder it goes into
    std::string name;  // its name there
    // The folder before the first template field: it must exist, and the
    // folders below it are made.
    std::string fixed;
    bool makeFolders = false;
    bool replace = true;      // a file that is there may be overwritten
    bool trashFirst = false;  // the file that is there goes to the Trash first
    std::string note, error;
    // Filled by the action: where in the Trash the file that was there went.
    std::string trashed;

    std::string Path() const;
};

// The plan for `file` under action `a` (move, copy or rename).
Placement PlanPlacement(const ruleactionrec& a, const PlacedFile& file);

// "name (2).ext", "name (3).ext", ... : the first free name in `dir` from 2 on.
std::string FreeName(const std::string& dir, std::string_view name, bool folder);

// What a kept-both, skipped or trash-first outcome says in the journal.
inline constexpr char kSkippedNote[] = "skipped: a different file of that name is there";
inline constexpr char kKeptNewerNote[] = "kept the file there: it is as new or newer";
inline constexpr char kSameNameNote[] = "it already has that name";
inline constexpr char kKeptBothPrefix[] = "kept both: saved as ";
inline constexpr char kTrashedOldNote[] = "replaced; the file that was there is in the Trash";
inline constexpr char kReplacedNote[] = "replaced the file that was there";

}  // namespace kb
