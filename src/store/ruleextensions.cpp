#include "store/ruleextensions.h"

#include <algorithm>
#include <map>
#include <utility>

namespace kb {

namespace {

constexpr std::pair<ConflictMode, std::string_view> kConflictWords[] = {
    {ConflictMode::Replace, "replace"},    {ConflictMode::Skip, "skip"},
    {ConflictMode::KeepBoth, "keep-both"}, {ConflictMode::ReplaceOlder, "replace-older"},
    {ConflictMode::TrashOld, "trash-old"},
};

std::string_view PatternWord(const ruleacondrec& c) {
    if (c.rcond == condNameWildcard) return c.matchCase ? "wildcard-case" : "wildcard";
    return c.matchCase ? "regex-case" : "regex";
}

bool ParsePatternWord(std::string_view word, ruleacondrec& c) {
    if (word == "wildcard" || word == "wildcard-case") {
        c.rcond = condNameWildcard;
    } else if (word == "regex" || word == "regex-case") {
        c.rcond = condNameRegex;
    } else {
        return false;
    }
    c.matchCase = word.ends_with("-case");
    return true;
}

void FormatRule(std::string& out, const RuleRec& r, std::size_t service, std::size_t rule) {
    std::string lines;
    for (std::size_t k = 0; k < r.conds.size(); ++k) {
        const ruleacondrec& c = r.conds[k];
        if (StoredInRecords(c.rcond)) continue;
        WriteStrKey(lines, "condition." + std::to_string(k),
                    std::string(PatternWord(c)) + " " + c.pattern);
    }
    for (std::size_t k = 0; k < r.actions.size(); ++k) {
        const ruleactionrec& a = r.actions[k];
        const std::string at = std::to_string(k);
        if (!StoredInRecords(a.raction)) WriteStrKey(lines, "action." + at, "rename");
        if (!a.newname.empty()) WriteStrKey(lines, "name." + at, a.newname);
        if (a.conflict != ConflictMode::Replace)
            WriteStrKey(lines, "conflict." + at, ConflictWord(a.conflict));
        if (a.raction == actFtp) {
            if (!a.ftp.keyFile.empty()) WriteStrKey(lines, "keyfile." + at, a.ftp.keyFile);
            if (!a.ftp.pinnedKey.empty()) WriteStrKey(lines, "pin." + at, a.ftp.pinnedKey);
            if (a.ftp.passwordInKeyring) WriteStrKey(lines, "password." + at, "keyring");
        }
    }
    if (lines.empty()) return;
    WriteHeaderLine(out,
                    "[Extension " + std::to_string(service) + "." + std::to_string(rule) + "]");
    out += lines;
}

// "[Extension S.R]" as 1-based positions.
bool ParseBlockHeader(const std::string& line, std::size_t& service, std::size_t& rule) {
    constexpr std::string_view kOpen = "[Extension ";
    if (!line.starts_with(kOpen) || !line.ends_with("]")) return false;
    const std::string body = line.substr(kOpen.size(), line.size() - kOpen.size() - 1);
    const auto dot = body.find('.');
    if (dot == std::string::npos) return false;
    const std::optional<std::int32_t> s = ParseDecimal(body.substr(0, dot));
    const std::optional<std::int32_t> r = ParseDecimal(body.substr(dot + 1));
    if (!s || !r || *s < 1 || *r < 1) return false;
    service = static_cast<std::size_t>(*s);
    rule = static_cast<std::size_t>(*r);
    return true;
}

// What one block says about one rule, gathered before any of it is applied:
// the inserted items go in by ascending position, then the annotations.
struct Block {
    std::map<std::size_t, ruleacondrec> conditions;
    std::map<std::size_t, ruleactionrec> actions;
    std::map<std::size_t, std::string> names;
    std::map<std::size_t, ConflictMode> conflicts;
    // The upload's own: "keyfile", "pin" and "password" by position.
    std::map<std::size_t, std::map<std::string, std::string>> upload;
};

// "kind.N" with N a position.
bool SplitPositionKey(const std::string& key, std::string& kind, std::size_t& at) {
    const auto dot = key.find('.');
    if (dot == std::string::npos) return false;
    const std::optional<std::int32_t> n = ParseDecimal(key.substr(dot + 1));
    if (!n || *n < 0) return false;
    kind = key.substr(0, dot);
    at = static_cast<std::size_t>(*n);
    return true;
}

bool TakeLine(Block& b, const std::string& key, const std::string& value) {
    std::string kind;
    std::size_t at = 0;
    if (!SplitPositionKey(key, kind, at)) return false;
    if (kind == "condition") {
        const auto blank = value.find(' ');
        ruleacondrec c;
        if (!ParsePatternWord(value.substr(0, blank), c)) return false;
        c.pattern = blank == std::string::npos ? std::string() : value.substr(blank + 1);
        b.conditions[at] = std::move(c);
        return true;
    }
    if (kind == "action") {
        if (value != "rename") return false;
        ruleactionrec a;
        a.raction = actRename;
        b.actions[at] = std::move(a);
        return true;
    }
    if (kind == "name") {
        b.names[at] = value;
        return true;
    }
    if (kind == "conflict") {
        ConflictMode m{};
        if (!ParseConflictWord(value, m)) return false;
        b.conflicts[at] = m;
        return true;
    }
    if (kind == "keyfile" || kind == "pin" || (kind == "password" && value == "keyring")) {
        b.upload[at][kind] = value;
        return true;
    }
    return false;
}

// Inserts by ascending position; a position past the end (the records lost
// items since the section was written) goes to the end.
template <class Item>
void InsertAll(std::vector<Item>& list, const std::map<std::size_t, Item>& items) {
    for (const auto& [at, item] : items)
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(std::min(at, list.size())), item);
}

bool Apply(const Block& b, RuleRec& r) {
    InsertAll(r.conds, b.conditions);
    InsertAll(r.actions, b.actions);
    bool all = true;
    for (const auto& [at, name] : b.names) {
        if (at < r.actions.size())
            r.actions[at].newname = name;
        else
            all = false;
    }
    for (const auto& [at, mode] : b.conflicts) {
        if (at < r.actions.size())
            r.actions[at].conflict = mode;
        else
            all = false;
    }
    for (const auto& [at, keys] : b.upload) {
        if (at >= r.actions.size() || r.actions[at].raction != actFtp) {
            all = false;
            continue;
        }
        racftp& ftp = r.actions[at].ftp;
        for (const auto& [key, value] : keys) {
            if (key == "keyfile") ftp.keyFile = value;
            if (key == "pin") ftp.pinnedKey = value;
            if (key == "password") ftp.passwordInKeyring = true;
        }
    }
    return all;
}

}  // namespace

std::string_view ConflictWord(ConflictMode mode) {
    for (const auto& [m, w] : kConflictWords)
        if (m == mode) return w;
    return "replace";
}

bool ParseConflictWord(std::string_view word, ConflictMode& mode) {
    for (const auto& [m, w] : kConflictWords) {
        if (w != word) continue;
        mode = m;
        return true;
    }
    return false;
}

std::string FormatRuleExtensions(const ServiceStore& store) {
    std::string blocks;
    for (std::size_t i = 0; i < store.ServiceTable.size(); ++i) {
        const std::vector<RuleRec>& rules = store.ServiceTable[i].rulelist.rules;
        for (std::size_t j = 0; j < rules.size(); ++j) FormatRule(blocks, rules[j], i + 1, j + 1);
    }
    if (blocks.empty()) return {};
    std::string out;
    WriteHeaderLine(out, kRuleExtensionsHeader);
    return out + blocks;
}

bool ReadRuleExtensions(IniLineReader& in, ServiceStore& store, const ConfigWarning& warn) {
    bool clean = true;
    auto passOver = [&](const std::string& line) {
        clean = false;
        if (warn)
            warn("The rule extensions line \"" + line + "\" was not understood and is left out.");
    };
    RuleRec* rule = nullptr;
    Block block;
    auto finish = [&] {
        if (rule && !Apply(block, *rule)) {
            clean = false;
            if (warn)
                warn("A rule extension names an action the rule does not have; it is left out.");
        }
        block = Block{};
        rule = nullptr;
    };
    std::string line;
    bool inBlock = false;
    while (in.ReadLine(line)) {
        std::size_t s = 0, r = 0;
        if (ParseBlockHeader(line, s, r)) {
            finish();
            inBlock = true;
            if (s <= store.ServiceTable.size() &&
                r <= store.ServiceTable[s - 1].rulelist.rules.size())
                rule = &store.ServiceTable[s - 1].rulelist.rules[r - 1];
            else
                passOver(line);
            continue;
        }
        std::string key, value;
        if (!inBlock || SplitLine(line, key, value) != 0 ||
            (rule && !TakeLine(block, key, value))) {
            passOver(line);
            continue;
        }
    }
    finish();
    return clean;
}

}  // namespace kb
