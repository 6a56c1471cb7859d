#include "store/rulefile.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <set>

#include "store/ruleextensions.h"

namespace kb {

namespace {

// ---- names ----------------------------------------------------------------

constexpr std::array<std::pair<std::uint8_t, std::string_view>, 6> kNetworks{{
    {sidKazaa, "kazaa"},
    {sidMorpheus, "morpheus"},
    {sidGrokster, "grokster"},
    {sidAudioGalaxy, "audiogalaxy"},
    {sidBearShare, "bearshare"},
    {sidLimeWire, "limewire"},
}};
constexpr std::string_view kOther = "other";

constexpr std::array<std::pair<TriggerKind, std::string_view>, 4> kTriggers{{
    {trgNewFile, "new-file"},
    {trgFileExists, "file-exists"},
    {trgFileCount, "file-count"},
    {trgTotalSize, "total-size"},
}};

constexpr std::array<std::pair<ConditionKind, std::string_view>, 7> kConditions{{
    {condExtension, "extension"},
    {condSize, "size"},
    {condDate, "age"},
    {condNewest, "newest"},
    {condOldest, "oldest"},
    {condNameWildcard, "wildcard"},
    {condNameRegex, "regex"},
}};

constexpr std::array<std::pair<ActionKind, std::string_view>, 6> kActions{{
    {actMove, "move"},
    {actCopy, "copy"},
    {actDelete, "delete"},
    {actFtp, "ftp"},
    {actLaunch, "launch"},
    {actRename, "rename"},
}};

template <class K, std::size_t N>
std::string_view NameOf(const std::array<std::pair<K, std::string_view>, N>& names, K kind) {
    for (const auto& [k, n] : names)
        if (k == kind) return n;
    return {};
}

template <class K, std::size_t N>
std::optional<K> KindNamed(const std::array<std::pair<K, std::string_view>, N>& names,
                           std::string_view name) {
    for (const auto& [k, n] : names)
        if (n == name) return k;
    return std::nullopt;
}

template <class K, std::size_t N>
std::string Choices(const std::array<std::pair<K, std::string_view>, N>& names) {
    std::string out;
    for (const auto& [k, n] : names) out += (out.empty() ? "\"" : ", \"") + std::string(n) + "\"";
    return out;
}

// ---- writing --------------------------------------------------------------

std::string Quoted(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

class Writer {
public:
    void Line(std::string_view indent, std::string_view key, const std::string& value) {
        out_ += std::string(indent) + std::string(key) + " = " + value + "\n";
    }
    void Str(std::string_view indent, std::string_view key, std::string_view v) {
        Line(indent, key, Quoted(v));
    }
    void Int(std::string_view indent, std::string_view key, std::int64_t v) {
        Line(indent, key, std::to_string(v));
    }
    void Bool(std::string_view indent, std::string_view key, bool v) {
        Line(indent, key, v ? "true" : "false");
    }
    void Raw(std::string_view text) { out_ += text; }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

void WriteCompare(Writer& w, std::string_view in, std::uint8_t code) {
    if (code == cmpLess)
        w.Str(in, "compare", "less");
    else if (code == cmpGreater)
        w.Str(in, "compare", "greater");
    else
        w.Int(in, "compare", code);
}

void WriteCondition(Writer& w, const ruleacondrec& c) {
    constexpr std::string_view in = "    ";
    w.Raw("\n  [[service.rule.condition]]\n");
    const std::string_view name = NameOf(kConditions, c.rcond);
    if (name.empty()) {
        w.Str(in, "kind", "unknown");
        w.Int(in, "code", KindCode(c.rcond));
        return;
    }
    w.Str(in, "kind", name);
    switch (c.rcond) {
        case condExtension:
            w.Str(in, "extensions", c.fileext.ext);
            break;
        case condSize:
            WriteCompare(w, in, c.rnum);
            w.Int(in, "kb", c.size);
            break;
        case condDate:
            WriteCompare(w, in, c.rdayscmp);
            w.Int(in, "days", c.rdays);
            break;
        case condNewest:
            w.Int(in, "count", c.newestcnt);
            break;
        case condOldest:
            w.Int(in, "count", c.oldestcnt);
            break;
        default:
            w.Str(in, "pattern", c.pattern);
            w.Bool(in, "match-case", c.matchCase);
            break;
    }
}

void WriteAction(Writer& w, const ruleactionrec& a) {
    constexpr std::string_view in = "    ";
    w.Raw("\n  [[service.rule.action]]\n");
    const std::string_view name = NameOf(kActions, a.raction);
    if (name.empty()) {
        w.Str(in, "kind", "unknown");
        w.Int(in, "code", KindCode(a.raction));
        return;
    }
    w.Str(in, "kind", name);
    switch (a.raction) {
        case actMove:
        case actCopy:
            w.Str(in, "folder", a.raction == actMove ? a.move.filepath : a.copy.filepath);
            [[fallthrough]];
        case actRename:
            if (!a.newname.empty() || a.raction == actRename) w.Str(in, "new-name", a.newname);
            w.Str(in, "if-exists", ConflictWord(a.conflict));
            break;
        case actFtp:
            w.Str(in, "server", a.ftp.ftpserver);
            w.Int(in, "port", a.ftp.ftpport);
            w.Str(in, "folder", a.ftp.ftppath);
            w.Str(in, "user", a.ftp.ftpuser);
            w.Str(in, "password", a.ftp.ftppass);
            w.Bool(in, "ascii", a.ftp.ftpascmode);
            w.Bool(in, "passive", a.ftp.ftppassive);
            break;
        case actLaunch:
            w.Str(in, "program", a.launch.fprogram);
            w.Str(in, "parameters", a.launch.fparams);
            break;
        default:
            break;
    }
}

void WriteRule(Writer& w, const RuleRec& r) {
    constexpr std::string_view in = "  ";
    w.Raw("\n  [[service.rule]]\n");
    w.Str(in, "name", r.rulename);
    w.Bool(in, "enabled", r.enabled);
    const std::string_view when = NameOf(kTriggers, r.mcond);
    if (when.empty())
        w.Int(in, "when", KindCode(r.mcond));
    else
        w.Str(in, "when", when);
    if (r.mcond == trgFileCount) w.Int(in, "limit", r.fcnt);
    if (r.mcond == trgTotalSize) w.Int(in, "limit", r.fsize);
    for (const ruleacondrec& c : r.conds) WriteCondition(w, c);
    for (const ruleactionrec& a : r.actions) WriteAction(w, a);
}

}  // namespace

std::string FormatRuleFile(const ServiceStore& store) {
    Writer w;
    w.Raw(
        "# Kestrelbox rules: every service and its rules, in the order the window shows them.\n"
        "# Written by kestrelbox --export-rules, read by kestrelbox --import-rules FILE;\n"
        "# docs/rules.md describes every key.\n"
        "version = 1\n");
    for (const rServiceRules& s : store.ServiceTable) {
        w.Raw("\n[[service]]\n");
        const std::string_view network = NameOf(kNetworks, s.serviceid);
        if (network.empty()) {
            w.Str("", "network", s.serviceid == sidOther ? kOther : std::string_view("unknown"));
            if (s.serviceid != sidOther) w.Int("", "code", s.serviceid);
            w.Str("", "name", s.othername);
        } else {
            w.Str("", "network", network);
        }
        w.Str("", "folder", s.sharedir);
        w.Str("", "exclude", s.excludefiles);
        w.Bool("", "enabled", s.enabled);
        for (const RuleRec& r : s.rulelist.rules) WriteRule(w, r);
    }
    return w.Take();
}

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
                OnlyKeys(
                    t, {"kind", "server", "port", "folder", "user", "password", "ascii", "passive"},
                    "an FTP upload");
                a.ftp.ftpserver = Str(t, "server", "an FTP upload", true);
                a.ftp.ftpport = static_cast<std::int32_t>(Int(t, "port", "", false, 0, 65535, 21));
                a.ftp.ftppath = Str(t, "folder", "", false);
                a.ftp.ftpuser = Str(t, "user", "", false);
                a.ftp.ftppass = Str(t, "password", "", false);
                // A new upload sends files as they are, through routers.
                a.ftp.ftpascmode = Bool(t, "ascii", false);
                a.ftp.ftppassive = Bool(t, "passive", true);
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
