#include "runtime/summary.h"

#include <string_view>

namespace kb {

namespace {

constexpr std::string_view kNotSupplied = "specified";

std::string link(std::string_view href, const std::string& text) {
    return "<a href=\"" + std::string(href) + "\">" + text + "</a>";
}

// Values are the user's own text: "&", "<", ">" and '"' would otherwise be
// taken for markup and the line drawn wrong.
std::string encode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string comparison(std::uint8_t code) {
    return code == cmpGreater ? "greater than " : "less than ";
}

const ruleacondrec* firstCondition(const RuleRec& rule, ConditionKind kind) {
    for (const ruleacondrec& c : rule.conds)
        if (c.rcond == kind) return &c;
    return nullptr;
}

const ruleactionrec* firstAction(const RuleRec& rule, ActionKind kind) {
    for (const ruleactionrec& a : rule.actions)
        if (a.raction == kind) return &a;
    return nullptr;
}

// The link texts, as entered (not encoded).
std::string extText(const ruleacondrec& c) {
    return c.fileext.ext.empty() ? std::string(kNotSupplied) : c.fileext.ext;
}
std::string sizeText(const ruleacondrec& c) {
    if (c.size == -1) return std::string(kNotSupplied);
    return comparison(c.rnum) + std::to_string(c.size) + " KB";
}
std::string daysText(const ruleacondrec& c) {
    if (c.rdays == -1) return std::string(kNotSupplied);
    return comparison(c.rdayscmp) + std::to_string(c.rdays) + " days old.";
}
std::string countText(std::int32_t n) {
    return n == -1 ? std::string(kNotSupplied) : std::to_string(n);
}
std::string pathText(const std::string& path) {
    return path.empty() ? std::string(kNotSupplied) : path;
}

// Where a new name or a choice on a taken name was made, the move, copy or
// rename says so after its target; without them its sentence is the plain one.
std::string targetExtras(const ruleactionrec& a, const char* prefix) {
    std::string out;
    const std::string p(prefix);
    if (!a.newname.empty()) out += " as " + link(p + "Name", encode(a.newname));
    if (!a.newname.empty() || a.conflict != ConflictMode::Replace)
        out += ", " + link(p + "Conflict", ConflictPhrase(a.conflict));
    return out;
}

std::string patternText(const ruleacondrec& c) {
    return c.pattern.empty() ? std::string(kNotSupplied) : c.pattern;
}

std::string triggerLine(const RuleRec& rule) {
    switch (rule.mcond) {
        case trgNewFile:
            return "Whenever a new completed file exists";
        case trgFileExists:
            return "Whenever a completed file exists";
        case trgFileCount:
            return "Whenever the total completed file count exceeds " +
                   link("FileCount", std::to_string(rule.fcnt));
        case trgTotalSize:
            return "Whenever the total completed file size exceeds " +
                   link("TotalFileSize", std::to_string(rule.fsize)) + " MB";
        default:
            return {};
    }
}

std::string conditionText(const ruleacondrec& c) {
    switch (c.rcond) {
        case condExtension: {
            const std::string text = "file extension is " + link("FileExt", encode(extText(c)));
            return c.fileext.ext.empty() ? text + " extension" : text;
        }
        case condSize:
            return "file size is " + link("FileSize", sizeText(c));
        case condDate:
            return "file date is " + link("FileDate", daysText(c));
        case condNewest:
            return "file date is the newest " + link("FileDateNew", countText(c.newestcnt)) +
                   " of all files";
        case condOldest:
            return "file date is the oldest " + link("FileDateOld", countText(c.oldestcnt)) +
                   " of all files";
        case condNameWildcard:
            return "file name matches " + link("FileWildcard", encode(patternText(c))) +
                   (c.matchCase ? " (letter case counts)" : "");
        case condNameRegex:
            return "file name matches the regular expression " +
                   link("FileRegex", encode(patternText(c))) +
                   (c.matchCase ? " (letter case counts)" : "");
        default:
            return {};
    }
}

std::string actionText(const ruleactionrec& a, const std::string& plural) {
    switch (a.raction) {
        case actMove:
            return "Move file" + plural + " to " +
                   link("rMove", encode(pathText(a.move.filepath))) + " directory" +
                   targetExtras(a, "rMove");
        case actCopy:
            return "Copy file" + plural + " to " +
                   link("rCopy", encode(pathText(a.copy.filepath))) + " directory" +
                   targetExtras(a, "rCopy");
        case actRename:
            return "Rename file" + plural + " to " + link("rRename", encode(pathText(a.newname))) +
                   ", " + link("rRenameConflict", ConflictPhrase(a.conflict));
        case actDelete:
            return link("rDelete", "Delete file") + plural;
        case actLaunch:
            if (a.launch.fprogram.empty())
                return "Launch " + link("rLaunch", "specified") + " program";
            return "Launch " + link("rLaunch", encode(a.launch.fprogram));
        case actFtp:
            return "FTP file" + plural + " to " + link("rFTP", encode(pathText(a.ftp.ftpserver))) +
                   " server";
        default:
            return {};
    }
}

}  // namespace

std::string ConflictPhrase(ConflictMode mode) {
    switch (mode) {
        case ConflictMode::Replace:
            return "replacing a file of that name";
        case ConflictMode::Skip:
            return "skipping it when the name is taken";
        case ConflictMode::KeepBoth:
            return "keeping both when the name is taken";
        case ConflictMode::ReplaceOlder:
            return "replacing only an older file of that name";
        case ConflictMode::TrashOld:
            return "moving a file of that name to the Trash first";
    }
    return {};
}

std::vector<std::string> SummaryLines(const RuleRec& rule) {
    std::vector<std::string> lines;
    const std::string plural = rule.mcond == trgNewFile ? "" : "(s)";
    if (std::string trigger = triggerLine(rule); !trigger.empty())
        lines.push_back(std::move(trigger));

    bool first = true;
    for (const ruleacondrec& c : rule.conds) {
        std::string text = conditionText(c);
        if (text.empty()) continue;
        lines.push_back((first ? "    Where " : "      and ") + text);
        first = false;
    }
    first = true;
    for (const ruleactionrec& a : rule.actions) {
        std::string text = actionText(a, plural);
        if (text.empty()) continue;
        lines.push_back((first ? "    " : "      and ") + text);
        first = false;
    }
    return lines;
}

std::string SummaryLinkText(const RuleRec& rule, const std::string& href) {
    if (href == "FileCount") return rule.mcond == trgFileCount ? std::to_string(rule.fcnt) : "";
    if (href == "TotalFileSize")
        return rule.mcond == trgTotalSize ? std::to_string(rule.fsize) : "";
    if (href == "FileExt") {
        const ruleacondrec* c = firstCondition(rule, condExtension);
        return c ? extText(*c) : "";
    }
    if (href == "FileSize") {
        const ruleacondrec* c = firstCondition(rule, condSize);
        return c ? sizeText(*c) : "";
    }
    if (href == "FileDate") {
        const ruleacondrec* c = firstCondition(rule, condDate);
        return c ? daysText(*c) : "";
    }
    if (href == "FileDateNew") {
        const ruleacondrec* c = firstCondition(rule, condNewest);
        return c ? countText(c->newestcnt) : "";
    }
    if (href == "FileDateOld") {
        const ruleacondrec* c = firstCondition(rule, condOldest);
        return c ? countText(c->oldestcnt) : "";
    }
    if (href == "rMove") {
        const ruleactionrec* a = firstAction(rule, actMove);
        return a ? pathText(a->move.filepath) : "";
    }
    if (href == "rCopy") {
        const ruleactionrec* a = firstAction(rule, actCopy);
        return a ? pathText(a->copy.filepath) : "";
    }
    if (href == "rLaunch") {
        const ruleactionrec* a = firstAction(rule, actLaunch);
        return a ? pathText(a->launch.fprogram) : "";
    }
    if (href == "rFTP") {
        const ruleactionrec* a = firstAction(rule, actFtp);
        return a ? pathText(a->ftp.ftpserver) : "";
    }
    if (href == "rDelete") return firstAction(rule, actDelete) ? "Delete file" : "";
    if (href == "FileWildcard" || href == "FileRegex") {
        const ruleacondrec* c =
            firstCondition(rule, href == "FileWildcard" ? condNameWildcard : condNameRegex);
        return c ? patternText(*c) : "";
    }
    for (const auto& [prefix, kind] : {std::pair{"rMove", actMove}, std::pair{"rCopy", actCopy},
                                       std::pair{"rRename", actRename}}) {
        const ruleactionrec* a = firstAction(rule, kind);
        if (!a) continue;
        if (href == std::string(prefix) + "Name" || (kind == actRename && href == prefix))
            return pathText(a->newname);
        if (href == std::string(prefix) + "Conflict") return ConflictPhrase(a->conflict);
    }
    return {};
}

std::vector<std::string> PlainSummaryLines(const RuleRec& rule) {
    std::vector<std::string> lines = SummaryLines(rule);
    for (std::string& line : lines) {
        std::string plain;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '<') {
                const std::size_t end = line.find('>', i);
                if (end == std::string::npos) break;
                i = end;
                continue;
            }
            if (line[i] == '&') {
                static const std::pair<std::string_view, char> kEntities[] = {
                    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
                bool decoded = false;
                for (const auto& [entity, c] : kEntities) {
                    if (line.compare(i, entity.size(), entity) != 0) continue;
                    plain += c;
                    i += entity.size() - 1;
                    decoded = true;
                    break;
                }
                if (decoded) continue;
            }
            plain += line[i];
        }
        // The window indents by the sentence's place; plain text keeps it.
        line = std::move(plain);
    }
    return lines;
}

}  // namespace kb
