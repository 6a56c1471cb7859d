#include <toml++/toml.h>

#include <algorithm>
#include <optional>
#include <set>

#include "store/ruleextensions.h"
#include "store/rulefile.h"
#include "store/rulefile_names.h"

namespace kb {

using namespace rulefile;

namespace {

// ---- reading --------------------------------------------------------------

class Reader {
public:
    Reader(std::vector<RuleFileError>& errors, const RuleFileChecks& checks)
        : errors_(errors), checks_(checks) {}

    void Error(const toml::node* at, std::string text) {
        RuleFileError e;
        if (at) {
            e.line = static_cast<int>(at->source().begin.line);
            e.column = static_cast<int>(at->source().begin.column);
        }
        e.text = std::move(text);
        errors_.push_back(std::move(e));
    }

    // Every key of `t` must be one of `known`.
    void OnlyKeys(const toml::table& t, std::initializer_list<std::string_view> known,
                  std::string_view what) {
        for (const auto& [key, node] : t) {
            bool ok = false;
            for (std::string_view k : known) ok = ok || key.str() == k;
            if (ok) continue;
            std::string list;
            for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
            Error(&node, "unknown key \"" + std::string(key.str()) + "\" in " + std::string(what) +
                             " (expected one of: " + list + ")");
        }
    }

    std::string Str(const toml::table& t, std::string_view key, std::string_view what,
                    bool required, std::string fallback = {}) {
        const toml::node* n = t.get(key);
        if (!n) {
            if (required) Error(&t, std::string(what) + " needs \"" + std::string(key) + "\"");
            return fallback;
        }
        if (const auto* v = n->as_string()) return v->get();
        Error(n, "\"" + std::string(key) + "\" must be a string in quotes");
        return fallback;
    }

    std::int64_t Int(const toml::table& t, std::string_view key, std::string_view what,
                     bool required, std::int64_t least, std::int64_t most,
                     std::int64_t fallback = 0) {
        const toml::node* n = t.get(key);
        if (!n) {
            if (required) Error(&t, std::string(what) + " needs \"" + std::string(key) + "\"");
            return fallback;
        }
        const auto* v = n->as_integer();
        if (!v) {
            Error(n, "\"" + std::string(key) + "\" must be a whole number");
            return fallback;
        }
        if (v->get() < least || v->get() > most) {
            Error(n, "\"" + std::string(key) + "\" must be from " + std::to_string(least) + " to " +
                         std::to_string(most));
            return fallback;
        }
        return v->get();
    }

    bool Bool(const toml::table& t, std::string_view key, bool fallback) {
        const toml::node* n = t.get(key);
        if (!n) return fallback;
        if (const auto* v = n->as_boolean()) return v->get();
        Error(n, "\"" + std::string(key) + "\" must be true or false");
        return fallback;
    }

    // A list of tables under `key` (absent: none).
    std::vector<const toml::table*> Tables(const toml::table& t, std::string_view key) {
        std::vector<const toml::table*> out;
        const toml::node* n = t.get(key);
        if (!n) return out;
        const toml::array* a = n->as_array();
        if (!a) {
            Error(n, "\"" + std::string(key) + "\" must be a list of [[" + std::string(key) +
                         "]] tables");
            return out;
        }
        for (const toml::node& e : *a) {
            if (const toml::table* et = e.as_table())
                out.push_back(et);
            else
                Error(&e, "each entry of \"" + std::string(key) + "\" must be a table");
        }
        return out;
    }

    std::uint8_t Compare(const toml::table& t) {
        const toml::node* n = t.get("compare");
        if (!n) {
            Error(&t, "the condition needs \"compare\" (\"less\" or \"greater\")");
            return cmpGreater;
        }
        if (const auto* s = n->as_string()) {
            if (s->get() == "less") return cmpLess;
            if (s->get() == "greater") return cmpGreater;
        }
        if (const auto* i = n->as_integer(); i && i->get() >= 0 && i->get() <= 255)
            return static_cast<std::uint8_t>(i->get());
        Error(n, "\"compare\" must be \"less\" or \"greater\"");
        return cmpGreater;
    }

    ruleacondrec Condition(const toml::table& t) {
        ruleacondrec c;
        const std::string kind = Str(t, "kind", "a condition", true);
        if (kind == "unknown") {
            OnlyKeys(t, {"kind", "code"}, "an unknown condition");
            c.rcond =
                static_cast<ConditionKind>(Int(t, "code", "an unknown condition", true, 0, 255));
            return c;
        }
        const std::optional<ConditionKind> k = KindNamed(kConditions, kind);
        if (!k) {
            if (!kind.empty() || t.get("kind"))
                Error(t.get("kind"), "unknown condition kind \"" + kind + "\" (expected " +
                                         Choices(kConditions) + ")");
            return c;
        }
        c.rcond = *k;
        constexpr std::int64_t kMost = INT32_MAX;
        switch (*k) {
            case condExtension:
                OnlyKeys(t, {"kind", "extensions"}, "an extension condition");
                c.fileext.ext = Str(t, "extensions", "an extension condition", true);
                break;
            case condSize:
                OnlyKeys(t, {"kind", "compare", "kb"}, "a size condition");
                c.rnum = Compare(t);
                c.size =
                    static_cast<std::int32_t>(Int(t, "kb", "a size condition", true, -1, kMost));
                break;
            case condDate:
                OnlyKeys(t, {"kind", "compare", "days"}, "an age condition");
                c.rdayscmp = Compare(t);
                c.rdays =
                    static_cast<std::int32_t>(Int(t, "days", "an age condition", true, -1, kMost));
                break;
            case condNewest:
            case condOldest: {
                OnlyKeys(t, {"kind", "count"}, "a newest or oldest condition");
                const auto n = static_cast<std::int32_t>(
                    Int(t, "count", "a newest or oldest condition", true, -1, kMost));
                (*k == condNewest ? c.newestcnt : c.oldestcnt) = n;
                break;
            }
            default: {
                OnlyKeys(t, {"kind", "pattern", "match-case"}, "a name condition");
                c.pattern = Str(t, "pattern", "a name condition", true);
                c.matchCase = Bool(t, "match-case", false);
                if (c.pattern.find_first_of("\r\n") != std::string::npos)
                    Error(t.get("pattern"), "a pattern cannot span lines");
                break;
            }
        }
        return c;
    }

    ConflictMode Conflict(const toml::table& t) {
        const toml::node* n = t.get("if-exists");
        // A rule written by hand is a new rule: it never overwrites unless told.
        if (!n) return ConflictMode::TrashOld;
        ConflictMode m = ConflictMode::TrashOld;
        const auto* s = n->as_string();
        if (!s || !ParseConflictWord(s->get(), m))
            Error(n,
                  "\"if-exists\" must be \"trash-old\", \"keep-both\", \"skip\", "
                  "\"replace-older\" or \"replace\"");
        return m;
    }

    ruleactionrec Action(const toml::table& t) {
        ruleactionrec a;
        const std::string kind = Str(t, "kind", "an action", true);
        if (kind == "unknown") {
            OnlyKeys(t, {"kind", "code"}, "an unknown action");
            a.raction = static_cast<ActionKind>(Int(t, "code", "an unknown action", true, 0, 255));
            return a;
        }
        const std::optional<ActionKind> k = KindNamed(kActions, kind);
        if (!k) {
            if (t.get("kind"))
                Error(t.get("kind"),
                      "unknown action kind \"" + kind + "\" (expected " + Choices(kActions) + ")");
            return a;
        }
        a.raction = *k;
        switch (*k) {
            case actMove:
            case actCopy: {
                OnlyKeys(t, {"kind", "folder", "new-name", "if-exists"}, "a move or copy");
                std::string folder = Str(t, "folder", "a move or copy", true);
                (*k == actMove ? a.move.filepath : a.copy.filepath) = std::move(folder);
                a.newname = Str(t, "new-name", "", false);
                a.conflict = Conflict(t);
                break;
            }
            case actRename:
                OnlyKeys(t, {"kind", "new-name", "if-exists"}, "a rename");
                a.newname = Str(t, "new-name", "a rename", true);
                if (a.newname.empty() && t.get("new-name"))
                    Error(t.get("new-name"), "a rename needs a new name");
                a.conflict = Conflict(t);
                break;
            case actDelete:
                OnlyKeys(t, {"kind"}, "a delete");
                break;
            case actFtp:
                OnlyKeys(t,
                         {"kind", "server", "port", "folder", "user", "password", "ascii",
                          "passive", "key-file", "accepted-key", "password-in-keyring"},
                         "an FTP upload");
                a.ftp.ftpserver = Str(t, "server", "an FTP upload", true);
                a.ftp.ftpport = static_cast<std::int32_t>(Int(t, "port", "", false, 0, 65535, 21));
                a.ftp.ftppath = Str(t, "folder", "", false);
                a.ftp.ftpuser = Str(t, "user", "", false);
                a.ftp.ftppass = Str(t, "password", "", false);
                // A new upload sends files as they are, through routers.
                a.ftp.ftpascmode = Bool(t, "ascii", false);
                a.ftp.ftppassive = Bool(t, "passive", true);
                a.ftp.keyFile = Str(t, "key-file", "", false);
                a.ftp.pinnedKey = Str(t, "accepted-key", "", false);
                if (!a.ftp.pinnedKey.empty() && !a.ftp.pinnedKey.starts_with("sha256//"))
                    Error(t.get("accepted-key"),
                          "an accepted key is \"sha256//\" and the key's base64 digest");
                a.ftp.passwordInKeyring = Bool(t, "password-in-keyring", false);
                break;
            case actLaunch:
                OnlyKeys(t, {"kind", "program", "parameters"}, "a launch");
                a.launch.fprogram = Str(t, "program", "a launch", true);
                a.launch.fparams = Str(t, "parameters", "", false);
                break;
        }
        return a;
    }

    RuleRec Rule(const toml::table& t) {
        RuleRec r;
        OnlyKeys(t, {"name", "enabled", "when", "limit", "condition", "action"}, "a rule");
        r.rulename = Str(t, "name", "a rule", true);
        r.enabled = Bool(t, "enabled", true);
        const toml::node* when = t.get("when");
        if (!when) {
            Error(&t, "a rule needs \"when\" (" + Choices(kTriggers) + ")");
        } else if (const auto* s = when->as_string()) {
            if (const auto k = KindNamed(kTriggers, s->get()))
                r.mcond = *k;
            else
                Error(when, "unknown \"when\" \"" + s->get() + "\" (expected " +
                                Choices(kTriggers) + ")");
        } else if (const auto* i = when->as_integer(); i && i->get() >= 0 && i->get() <= 255) {
            r.mcond = static_cast<TriggerKind>(i->get());
        } else {
            Error(when, "\"when\" must be one of " + Choices(kTriggers));
        }
        if (r.mcond == trgFileCount || r.mcond == trgTotalSize) {
            const auto limit =
                static_cast<std::int32_t>(Int(t, "limit", "this rule", true, 0, INT32_MAX));
            (r.mcond == trgFileCount ? r.fcnt : r.fsize) = limit;
        } else if (const toml::node* limit = t.get("limit")) {
            Error(limit, "\"limit\" belongs to the \"file-count\" and \"total-size\" rules");
        }
        const std::size_t before = errors_.size();
        for (const toml::table* c : Tables(t, "condition")) {
            r.conds.push_back(Condition(*c));
            if (checks_.condition && errors_.size() == before)
                if (std::string why = checks_.condition(r.conds.back()); !why.empty())
                    Error(c, why);
        }
        for (const toml::table* a : Tables(t, "action")) {
            r.actions.push_back(Action(*a));
            if (checks_.action && errors_.size() == before)
                if (std::string why = checks_.action(r.actions.back()); !why.empty()) Error(a, why);
        }
        if (r.actions.empty()) Error(&t, "the rule \"" + r.rulename + "\" has no action");
        return r;
    }

    void Services(const toml::table& root, ServiceStore& store) {
        OnlyKeys(root, {"version", "service"}, "the file");
        if (const toml::node* v = root.get("version"); v && v->value<std::int64_t>() != 1)
            Error(v, "this program reads rule files of version 1");
        std::set<std::uint8_t> seen;
        std::int32_t others = 0;
        for (const toml::table* t : Tables(root, "service")) {
            OnlyKeys(*t, {"network", "code", "name", "folder", "exclude", "enabled", "rule"},
                     "a service");
            const std::string network = Str(*t, "network", "a service", true);
            rServiceRules s;
            const auto known = std::find_if(kNetworks.begin(), kNetworks.end(),
                                            [&](const auto& p) { return p.second == network; });
            int at = -1;
            if (known != kNetworks.end()) {
                if (!seen.insert(known->first).second)
                    Error(t->get("network"), "the network \"" + network + "\" is listed twice");
                at = store.FindNetwork(known->first);
                if (at >= 0) s = store.ServiceTable[static_cast<std::size_t>(at)];
                if (t->get("name")) Error(t->get("name"), "only an \"other\" service has a name");
            } else if (network == kOther) {
                s.serviceid = sidOther;
                s.othernum = ++others;
                s.othername = Str(*t, "name", "an \"other\" service", true);
            } else if (t->get("network")) {
                Error(t->get("network"), "unknown network \"" + network + "\" (expected " +
                                             Choices(kNetworks) + " or \"other\")");
                continue;
            }
            s.sharedir = Str(*t, "folder", "", false);
            s.excludefiles = Str(*t, "exclude", "", false, s.excludefiles);
            s.enabled = Bool(*t, "enabled", true);
            s.rulelist.rules.clear();
            for (const toml::table* r : Tables(*t, "rule")) s.rulelist.rules.push_back(Rule(*r));
            if (at >= 0) {
                store.ServiceTable[static_cast<std::size_t>(at)] = std::move(s);
            } else {
                store.AssignUid(s);
                store.ServiceTable.push_back(std::move(s));
            }
        }
    }

private:
    std::vector<RuleFileError>& errors_;
    const RuleFileChecks& checks_;
};

}  // namespace

std::vector<RuleFileError> ParseRuleFile(std::string_view text, ServiceStore& store,
                                         const RuleFileChecks& checks) {
    std::vector<RuleFileError> errors;
    toml::table root;
    try {
        root = toml::parse(text);
    } catch (const toml::parse_error& e) {
        errors.push_back(RuleFileError{static_cast<int>(e.source().begin.line),
                                       static_cast<int>(e.source().begin.column),
                                       std::string(e.description())});
        return errors;
    }
    // The networks start as a first start leaves them: off, no rules.
    ServiceStore fresh;
    fresh.UseSMTP = store.UseSMTP;
    fresh.SmtpServer = store.SmtpServer;
    fresh.ReplyTo = store.ReplyTo;
    fresh.ConfigVersion = store.ConfigVersion;
    fresh.InitServiceTable(nullptr);
    Reader reader(errors, checks);
    reader.Services(root, fresh);
    if (errors.empty()) store = std::move(fresh);
    return errors;
}

}  // namespace kb
