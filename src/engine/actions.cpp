#include "engine/actions.h"

#include <exception>
#include <unordered_set>

#include "engine/launchargs.h"
#include "platform/fileops.h"

namespace kb {

namespace {

class Recorder {
public:
    Recorder(const RuleRec& rule, std::uint64_t uid, std::vector<ActionOutcome>& out)
        : rule_(rule), uid_(uid), out_(out) {}

    void Add(std::uint8_t kind, std::string_view file, bool ok, std::string error) {
        ActionOutcome o;
        o.serviceUid = uid_;
        o.rulename = rule_.rulename;
        o.raction = kind;
        o.file = std::string(file);
        o.ok = ok;
        if (!ok) o.error = std::move(error);
        out_.push_back(std::move(o));
    }

    void Add(std::uint8_t kind, std::string_view file, const FileOpResult& r) {
        Add(kind, file, r.ok, r.error);
        if (r.status == FileOpStatus::AlreadyThere) out_.back().note = kAlreadyThereNote;
        out_.back().sourceChanged = r.status == FileOpStatus::SourceChanged;
    }

private:
    const RuleRec& rule_;
    std::uint64_t uid_;
    std::vector<ActionOutcome>& out_;
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

void CopyOrMove(const ruleactionrec& a, const std::vector<std::string_view>& names,
                const std::string& sharedir, Recorder& rec, FailedSet& failed) {
    const bool move = a.raction == actMove;
    const std::string& dir = move ? a.move.filepath : a.copy.filepath;
    for (std::string_view name : names) {
        // An empty target would put the file at the file system's root.
        if (dir.empty()) {
            rec.Add(a.raction, name, false, "no target directory");
            failed.insert(name);
            continue;
        }
        const std::string src = JoinPath(sharedir, std::string(name));
        const std::string dst = JoinPath(dir, std::string(name));
        const FileOpResult r = move ? FileMove(src, dst) : FileCopy(src, dst);
        if (!r.ok) failed.insert(name);
        rec.Add(a.raction, name, r);
    }
}

void Launch(const ruleactionrec& a, const std::vector<std::string_view>& names,
            const std::string& sharedir, const ScanEnvironment& env, Recorder& rec) {
    const std::vector<std::string> args = SplitParams(a.launch.fparams);
    auto start = [&](const std::vector<std::string>& argv) {
        return Guarded([&] {
            return env.launch ? env.launch(a.launch.fprogram, argv) : Status{false, "no launcher"};
        });
    };
    if (!HasPlaceholder(args)) {
        const Status st = start(args);
        rec.Add(actLaunch, {}, st.ok, st.error);
        return;
    }
    for (std::string_view name : names) {
        const Status st = start(SubstitutePath(args, JoinPath(sharedir, std::string(name))));
        rec.Add(actLaunch, name, st.ok, st.error);
    }
}

void Upload(const ruleactionrec& a, const std::vector<std::string_view>& names,
            const std::string& sharedir, const ScanEnvironment& env, Recorder& rec,
            FailedSet& failed) {
    for (std::string_view name : names) {
        const std::string file(name);
        const Status st = Guarded([&] {
            return env.upload ? env.upload(a.ftp, JoinPath(sharedir, file), file)
                              : Status{false, "no uploader"};
        });
        if (!st.ok) failed.insert(name);
        rec.Add(actFtp, name, st.ok, st.error);
    }
}

}  // namespace

void PerformActions(const RuleRec& rule, const std::vector<std::string_view>& names,
                    const std::string& sharedir, const ScanEnvironment& env,
                    std::uint64_t serviceUid, std::vector<ActionOutcome>& outcomes) {
    Recorder rec(rule, serviceUid, outcomes);
    FailedSet failed;
    for (const ruleactionrec& a : rule.actions) {
        switch (a.raction) {
            case actMove:
            case actCopy:
                CopyOrMove(a, names, sharedir, rec, failed);
                break;
            case actDelete:
                for (std::string_view name : names) {
                    if (failed.count(name)) {
                        rec.Add(actDelete, name, false,
                                "kept: an earlier action of this rule could not copy or send it");
                        continue;
                    }
                    rec.Add(actDelete, name, FileDelete(JoinPath(sharedir, std::string(name))));
                }
                break;
            case actFtp:
                Upload(a, names, sharedir, env, rec, failed);
                break;
            case actLaunch:
                Launch(a, names, sharedir, env, rec);
                break;
            default:
                break;
        }
    }
}

}  // namespace kb
