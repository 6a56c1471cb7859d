// What the rules would do now, without doing it: for each rule, the files of
// its service's folder its trigger and conditions select, and the actions
// that would run on them, in order. Nothing is written, moved or started;
// no baseline is taken. The same function serves the command line's dry run
// and the rule wizard's preview.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/scanpass.h"
#include "store/model.h"

namespace kb {

struct FilePreview {
    std::string name;
    std::int64_t size = 0;
    // Not finished as the completion gate sees it (a partial name, written
    // within the settle time, open for writing, ...): the rule would wait.
    bool waiting = false;
    std::string why = {};  // the reason, in words, when waiting
    bool folder = false;   // a folder taken as one download
    // Which test decided ("client", "name", "writer", ..., "file system"): DecidedBy.
    std::string decidedBy = {};
    // Each move, copy and rename in order, as it would come out for this
    // file, where that is more than the action list says: "move to
    // /music/2026/03/a.mp3", "copy to /b/a (2).mp3 (kept
    // both: ...)", "rename: skipped: ...", "move fails: ...".
    std::vector<std::string> placements = {};
    // The name patterns the name matched: "wildcards *live*", "regex ^a".
    std::vector<std::string> matched = {};
    // Waiting, and the newest/oldest ranking chose another file in its
    // place: once finished it may rank among them.
    bool leftOut = false;
};

struct RulePreview {
    std::string service;
    std::string folder;
    std::string rule;
    TriggerKind trigger = trgNewFile;
    std::int32_t threshold = 0;  // files or MB, for the count and size triggers
    std::string triggerText;     // DescribeTrigger
    // A new-file rule has no baseline here: `files` are those of the present
    // files its conditions select, acted on if such files arrive.
    bool onArrival = false;
    bool holds = false;  // the trigger holds now (always true on arrival)
    bool folderMissing = false;
    std::string folderProblem;  // when missing: "does not exist", "cannot be read", ...
    bool stopped = false;       // the progress callback stopped the listing
    std::int64_t listed = 0;    // completed files in the folder
    std::int64_t total = 0;     // their bytes
    std::vector<FilePreview> files;
    // Of `files`, those acted on now: not waiting.
    std::int64_t ActingNow() const;
    std::vector<std::string>
        actions;  // in order: "move to /music", "launch player \"<file>\"", ...
};

// Called with the number of entries listed so far, now and then while a big
// folder is listed; returning false stops the preview (it then returns
// what it has, with `files` empty).
using PreviewProgress = std::function<bool(std::size_t listed)>;

// One rule of one service, whether switched on or not. `env.clients`, when
// set, is asked afresh; it must not be a desk a pass is using.
RulePreview PreviewRule(const rServiceRules& svc, const RuleRec& rule, const ScanEnvironment& env,
                        const PreviewProgress& progress = {});

// Every switched-on rule of every switched-on service with a folder, in
// table order; each folder is listed once.
std::vector<RulePreview> DryRun(const std::vector<rServiceRules>& snapshot,
                                const ScanEnvironment& env);

// The rule's actions in order, as the preview tells them: "move to /music",
// "copy to /backup", "delete", "move to the Trash", "upload to
// ftp://host:21/dir/", "launch /usr/bin/player \"<file>\"" (the found file
// stands where the parameters name it) or, without the placeholder, "launch
// /usr/bin/tidy --all (once for all files)".
std::vector<std::string> DescribeActions(const RuleRec& rule, const ScanEnvironment& env);

// The trigger as the preview tells it: "a new file is present", "more than
// 20 files", "more than 100 MB", "a file exists (never acts)".
std::string DescribeTrigger(const RuleRec& rule);

}  // namespace kb
