#include "store/rulefile.h"

#include <array>
#include <cstdio>

#include "store/ruleextensions.h"
#include "store/rulefile_names.h"

namespace kb {

namespace {

using namespace rulefile;

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
            if (!a.ftp.keyFile.empty()) w.Str(in, "key-file", a.ftp.keyFile);
            if (!a.ftp.pinnedKey.empty()) w.Str(in, "accepted-key", a.ftp.pinnedKey);
            if (a.ftp.passwordInKeyring) w.Bool(in, "password-in-keyring", true);
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

}  // namespace kb
