#include "engine/actions.h"

#include <exception>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "engine/ftpupload.h"
#include "engine/launchargs.h"
#include "engine/placement.h"
#include "platform/dirlist.h"
#include "platform/fileops.h"
#include "platform/localtime.h"
#include "platform/trash.h"

namespace kb {

namespace {

// Builds the outcomes of one rule's actions, each stamped with its service,
// rule, file and time.
class Recorder {
public:
    Recorder(const RuleRec& rule, const ActionSite& site, const ScanEnvironment& env,
             std::vector<ActionOutcome>& out)
        : rule_(rule), site_(site), env_(env), out_(out) {}

    // Where the file `name` is now: in the shared folder, or where an
    // earlier move of this rule put it, so that a later copy, launch or
    // upload acts on the file and not on the place it left.
    std::string PathOf(std::string_view name) const {
        const auto it = movedTo_.find(name);
        return it != movedTo_.end() ? it->second : JoinPath(site_.sharedir, std::string(name));
    }
    void Moved(std::string_view name, std::string path) { movedTo_[name] = std::move(path); }

    ActionOutcome& Add(ActionKind kind, const ActionFile* file, bool ok, std::string error,
                       std::string target) {
        ActionOutcome o;
        o.serviceUid = site_.uid;
        o.service = site_.service;
        o.rulename = rule_.rulename;
        o.raction = kind;
        if (file) {
            o.folder = file->folder;
            o.file = std::string(file->name);
            o.source = PathOf(file->name);
            o.size = file->size;
            o.mtimeNs = file->mtimeNs;
        }
        o.target = std::move(target);
        o.timeNs = env_.clock ? env_.clock() : WallClockNs();
        o.ok = ok;
        if (!ok) o.error = std::move(error);
        out_.push_back(std::move(o));
        return out_.back();
    }

    ActionOutcome& Add(ActionKind kind, const ActionFile& file, const FileOpResult& r,
                       std::string target) {
        ActionOutcome& o = Add(kind, &file, r.ok, r.error, std::move(target));
        if (r.status == FileOpStatus::AlreadyThere) o.note = kAlreadyThereNote;
        o.sourceChanged = r.status == FileOpStatus::SourceChanged;
        return o;
    }

    const ActionSite& Site() const { return site_; }
    const ScanEnvironment& Env() const { return env_; }
    bool Stopping() const { return StopRequested(env_); }

private:
    const RuleRec& rule_;
    const ActionSite& site_;
    const ScanEnvironment& env_;
    std::vector<ActionOutcome>& out_;
    std::unordered_map<std::string_view, std::string> movedTo_;
};

// A launcher or uploader supplied by the caller may throw; one file's failure
// must not end the pass.
template <typename F>
Status Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        return Status{false, e.what()};
    }
}

// Files whose copy, move or upload failed earlier in the same rule. A later
// delete of the same rule leaves them alone: "copy, then delete" and "upload,
// then delete" are how a rule hands a file on, and deleting a file that was
// never handed on would lose the only copy.
using FailedSet = std::unordered_set<std::string_view>;

// How long a pass waits for a client to move what it seeds.
constexpr int kClientMoveLimitSeconds = 3600;

// The download a client still seeds that `f` belongs to, when the client
// may be asked to move it.
std::optional<ClientDesk::Found> SeededByClient(const ActionFile& f, Recorder& rec) {
    ClientDesk* desk = rec.Env().clients.get();
    if (!desk) return std::nullopt;
    std::optional<ClientDesk::Found> found = desk->About(rec.Site().sharedir, std::string(f.name));
    if (!found || !found->relocate) return std::nullopt;
    return found;
}

// A finished torrent its client still seeds is moved by the client, so it
// goes on seeding from the new place; moved from under it, the client would
// seed from a deleted file and report the data missing later.
void MoveByClient(const std::string& dir, const ActionFile& f, const ClientDesk::Found& found,
                  Recorder& rec, FailedSet& failed) {
    const Status st =
        found.client->Relocate(found.download.id, dir, kClientMoveLimitSeconds, rec.Env().stop);
    if (!st.ok) failed.insert(f.name);
    ActionOutcome& o = rec.Add(actMove, &f, st.ok, st.error, dir);
    if (st.ok) rec.Moved(f.name, JoinPath(dir, std::string(f.name)));
    if (st.ok) {
        o.note = "moved by " + found.client->Kind();
        o.clientMove = ClientMoveTag(found.client->Kind(), found.download.id);
    }
}

// The files of one move, copy or rename go through one CopyBatch: their
// copies are flushed to the disk together, as many as its bounds allow at a
// time, and are recorded in listing order once committed.
class BatchedCopies {
public:
    BatchedCopies(ActionKind kind, Recorder& rec, FailedSet& failed)
        : kind_(kind), rec_(rec), failed_(failed) {}

    void Add(const ActionFile& f, const std::string& src, Placement plan) {
        batch_.Add(src, plan.Path(), kind_ != actCopy, plan.replace);
        waiting_.push_back(Waiting{&f, std::move(plan)});
        if (batch_.Full()) Commit();
    }

    // Finishes what waits; anything recorded after this comes after it.
    void Commit() {
        if (batch_.Empty()) return;
        const std::vector<FileOpResult> results = batch_.Commit();
        for (std::size_t i = 0; i < results.size(); ++i)
            Record(rec_, failed_, kind_, *waiting_[i].file, waiting_[i].plan, results[i]);
        waiting_.clear();
    }

    // One file's outcome under its plan.
    static void Record(Recorder& rec, FailedSet& failed, ActionKind kind, const ActionFile& f,
                       const Placement& plan, const FileOpResult& r) {
        if (!r.ok) failed.insert(f.name);
        ActionOutcome& o = rec.Add(kind, f, r, plan.dir);
        if (plan.name != f.name) o.targetName = plan.name;
        o.replacedTrash = plan.trashed;
        if (r.ok && r.status != FileOpStatus::AlreadyThere && !plan.note.empty())
            o.note = plan.note;
        if (r.ok && kind != actCopy) rec.Moved(f.name, plan.Path());
    }

private:
    struct Waiting {
        const ActionFile* file;
        Placement plan;
    };
    ActionKind kind_;
    Recorder& rec_;
    FailedSet& failed_;
    CopyBatch batch_;  // its temporaries go with it if the pass ends in an exception
    std::vector<Waiting> waiting_;
};

// Carries out the part of a plan that comes before the copy: the folders a
// template names, the old file's trip to the Trash. False (and recorded)
// when the file cannot go there.
bool Prepare(ActionKind kind, const ActionFile& f, Placement& plan, Recorder& rec,
             FailedSet& failed) {
    Status st = Status::Success();
    if (plan.makeFolders) st = MakeFolders(plan.dir);
    if (st && plan.trashFirst) {
        const std::optional<DirEntryInfo> there = StatEntry(plan.dir, plan.name);
        const TrashResult t = MoveToTrash(plan.Path(), there && there->directory);
        st =
            t.ok
                ? Status::Success()
                : Status::Failure("could not put the file that was there in the Trash: " + t.error);
        plan.trashed = t.location;
        // Now free, the name must not be taken by anything that appears meanwhile.
        plan.replace = false;
    }
    if (st) return true;
    failed.insert(f.name);
    rec.Add(kind, &f, false, st.error, plan.dir);
    return false;
}

void CopyOrMove(const RuleRec& rule, const ruleactionrec& a, const std::vector<ActionFile>& files,
                Recorder& rec, FailedSet& failed) {
    const ActionKind kind = a.raction;
    BatchedCopies copies(kind, rec, failed);
    for (const ActionFile& f : files) {
        // Not handed on, so no later delete of this rule may touch it. The
        // copies already written are finished first.
        if (rec.Stopping()) {
            copies.Commit();
            failed.insert(f.name);
            continue;
        }
        const std::string src = rec.PathOf(f.name);
        // The fields name the file as it is now, after an earlier rename.
        const std::string_view now = std::string_view(src).substr(src.find_last_of("/\\") + 1);
        Placement plan = PlanPlacement(a, PlacedFile{now, src, f.size, f.mtimeNs, f.date, f.folder,
                                                     rec.Site().service, rule.rulename});
        if (plan.outcome == Placement::Outcome::Fail) {
            rec.Add(kind, &f, false, plan.error, plan.dir);
            failed.insert(f.name);
            continue;
        }
        if (plan.outcome == Placement::Outcome::Skip) {
            // Nothing was handed on: a later delete of this rule keeps it.
            failed.insert(f.name);
            ActionOutcome& o = rec.Add(kind, &f, true, {}, plan.dir);
            o.note = plan.note;
            o.skipped = true;
            if (plan.name != f.name) o.targetName = plan.name;
            continue;
        }
        if (kind == actMove && plan.name == f.name && !plan.makeFolders) {
            if (const std::optional<ClientDesk::Found> found = SeededByClient(f, rec)) {
                copies.Commit();
                MoveByClient(plan.dir, f, *found, rec, failed);
                continue;
            }
        }
        if (!Prepare(kind, f, plan, rec, failed)) continue;
        if (f.folder) {
            copies.Commit();
            // Only a plain replace merges into a folder that is there.
            const FileOpResult r =
                !plan.replace && StatEntry(plan.dir, plan.name)
                    ? FileOpResult(Status::Failure(kTargetTaken), FileOpStatus::Failed)
                : kind == actCopy ? FolderCopy(src, plan.Path())
                                  : FolderMove(src, plan.Path());
            BatchedCopies::Record(rec, failed, kind, f, plan, r);
        } else {
            copies.Add(f, src, std::move(plan));
        }
    }
    copies.Commit();
}

void Delete(const std::vector<ActionFile>& files, const ScanEnvironment& env, Recorder& rec,
            const FailedSet& failed) {
    for (const ActionFile& f : files) {
        if (rec.Stopping()) return;
        if (failed.count(f.name)) {
            rec.Add(actDelete, &f, false,
                    "kept: an earlier action of this rule could not copy or send it", {});
            continue;
        }
        const std::string path = JoinPath(rec.Site().sharedir, std::string(f.name));
        if (env.deleteToTrash) {
            const TrashResult t = MoveToTrash(path, f.folder);
            rec.Add(actDelete, &f, t.ok, t.error, t.location).trashed = t.ok;
        } else {
            rec.Add(actDelete, f, FileDelete(path), {});
        }
    }
}

void Launch(const ruleactionrec& a, const std::vector<ActionFile>& files,
            const ScanEnvironment& env, Recorder& rec) {
    const std::vector<std::string> args = SplitParams(a.launch.fparams);
    auto start = [&](const std::vector<std::string>& argv) {
        return Guarded([&] {
            return env.launch ? env.launch(a.launch.fprogram, argv) : Status{false, "no launcher"};
        });
    };
    if (!HasPlaceholder(args)) {
        const Status st = start(args);
        rec.Add(actLaunch, nullptr, st.ok, st.error, a.launch.fprogram);
        return;
    }
    for (const ActionFile& f : files) {
        if (rec.Stopping()) return;
        const Status st = start(SubstitutePath(args, rec.PathOf(f.name)));
        rec.Add(actLaunch, &f, st.ok, st.error, a.launch.fprogram);
    }
}

void Upload(const ruleactionrec& a, const std::vector<ActionFile>& files,
            const ScanEnvironment& env, Recorder& rec, FailedSet& failed) {
    for (const ActionFile& f : files) {
        if (rec.Stopping()) {
            failed.insert(f.name);
            continue;
        }
        const std::string file(f.name);
        const Status st = Guarded([&] {
            return env.upload ? env.upload(a.ftp, rec.PathOf(f.name), file)
                              : Status{false, "no uploader"};
        });
        if (!st.ok) failed.insert(f.name);
        rec.Add(actFtp, &f, st.ok, st.error, FtpDisplayUrl(FtpRequestFor(a.ftp, file)));
    }
}

}  // namespace

void PerformActions(const RuleRec& rule, const std::vector<ActionFile>& files,
                    const ActionSite& site, const ScanEnvironment& env,
                    std::vector<ActionOutcome>& outcomes) {
    Recorder rec(rule, site, env, outcomes);
    FailedSet failed;
    for (const ruleactionrec& a : rule.actions) {
        if (rec.Stopping()) return;
        switch (a.raction) {
            case actMove:
            case actCopy:
            case actRename:
                CopyOrMove(rule, a, files, rec, failed);
                break;
            case actDelete:
                Delete(files, env, rec, failed);
                break;
            case actFtp:
                Upload(a, files, env, rec, failed);
                break;
            case actLaunch:
                Launch(a, files, env, rec);
                break;
            default:
                break;
        }
    }
}

}  // namespace kb
