#include "store/configfile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <locale>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "platform/atomicfile.h"
#include "platform/numbers.h"
#include "store/configfields.h"
#include "store/ruleextensions.h"

namespace kb {

namespace {

// Every table starts with the built-in networks, which the main window
// addresses by position; a file claiming fewer services is damaged.
constexpr std::int32_t kNetworkCount = 6;

std::string Numbered(const char* prefix, std::int32_t n) {
    return std::string(prefix) + std::to_string(n) + "]";
}

// ---- writing -------------------------------------------------------------

template <class Record>
void FormatFields(std::string& out, std::span<const ConfigField<Record>> fields, const Record& r) {
    // The accessors serve the reader too, so they take a record to change;
    // nothing is changed here.
    Record& record = const_cast<Record&>(r);
    for (const ConfigField<Record>& f : fields) {
        std::visit(
            [&](auto* value) {
                using T = std::remove_pointer_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::string>)
                    WriteStrKey(out, f.key, *value);
                else if constexpr (std::is_same_v<T, bool>)
                    WriteBoolKey(out, f.key, *value);
                else if constexpr (std::is_same_v<T, TriggerKind>)
                    WriteIntKey(out, f.key, KindCode(*value));
                else
                    WriteIntKey(out, f.key, *value);
            },
            f.at(record));
    }
}

// The records hold the kinds they were made for; the others go to the
// extension section (store/ruleextensions.h).
template <class Item>
std::int32_t CountInRecords(const std::vector<Item>& items, auto kindOf) {
    return static_cast<std::int32_t>(std::count_if(
        items.begin(), items.end(), [&](const Item& i) { return StoredInRecords(kindOf(i)); }));
}

void FormatRule(std::string& out, const RuleRec& r, std::int32_t j) {
    WriteHeaderLine(out, Numbered("[Rule ", j));
    FormatFields(out, RuleFields(), r);
    WriteIntKey(out, "condcnt",
                CountInRecords(r.conds, [](const ruleacondrec& c) { return c.rcond; }));
    FormatFields(out, RuleLimitFields(), r);
    for (const ruleacondrec& c : r.conds) {
        if (!StoredInRecords(c.rcond)) continue;
        WriteIntKey(out, "rcond", KindCode(c.rcond));
        FormatFields(out, ConditionFields(c.rcond), c);
    }
    WriteIntKey(out, "actioncnt",
                CountInRecords(r.actions, [](const ruleactionrec& a) { return a.raction; }));
    for (const ruleactionrec& a : r.actions) {
        if (!StoredInRecords(a.raction)) continue;
        WriteIntKey(out, "raction", KindCode(a.raction));
        FormatFields(out, ActionFields(a.raction), a);
    }
}

void FormatService(std::string& out, const rServiceRules& s, std::int32_t i) {
    WriteHeaderLine(out, Numbered("[Service ", i));
    FormatFields(out, ServiceFields(), s);
    WriteIntKey(out, "rulecnt", s.rulelist.rulecnt());
    std::int32_t j = 0;
    for (const RuleRec& r : s.rulelist.rules) FormatRule(out, r, ++j);
}

// ---- reading -------------------------------------------------------------

// Thrown after the warning that explains it: reading stops, what was read stays.
struct StopReading {};

class ConfigReader {
public:
    ConfigReader(IniLineReader& in, ServiceStore& store, const ConfigWarning& warn)
        : in_(in), store_(store), warn_(warn) {}

    void ReadAfterFirstLine() {
        std::string version;
        Str("Version", version);
        if (const std::optional<double> v = ParseConfigVersion(version, SystemDecimalSeparator()))
            store_.ConfigVersion = *v;
        else
            Warn("Error retrieving version number.");
        Fields(MainInfoFields(), store_);
        std::int32_t serviceCount = store_.ServiceCount();
        Count("Service Count", serviceCount, kNetworkCount, INT32_MAX);
        std::int32_t customCount = store_.CustomCount();
        // Derived from the records themselves once they are read; checked only
        // so that a damaged header is noticed before anything is replaced.
        Count("Custom Count", customCount, 0, serviceCount);
        for (std::int32_t i = 1; i <= serviceCount; ++i) Service(i);
        store_.ServiceTable.resize(static_cast<std::size_t>(serviceCount));
        if (const std::string* next = in_.Peek(); next && *next == kRuleExtensionsHeader) {
            std::string header;
            in_.ReadLine(header);
            if (!ReadRuleExtensions(in_, store_, warn_)) skippedLines_ = true;
        }
        if (in_.Remaining() > 0) skippedLines_ = true;
    }

    // Lines the reader passed over (before a header, or after the last
    // record): the next save drops them.
    bool SkippedLines() const { return skippedLines_; }

private:
    void Warn(const std::string& text) {
        if (warn_) warn_(text);
    }
    static void Check(KeyRead r) {
        if (r == KeyRead::Failed) throw StopReading{};
    }
    // A key past the last line means the file was cut short (a crash while
    // it was copied, a full disk): the record it belongs to is incomplete,
    // and its missing values would be saved as empty ones at the next change.
    void NotAtEnd(const char* key) {
        if (in_.Remaining() > 0) return;
        Warn(InputErrorText(key));
        throw StopReading{};
    }
    void Str(const char* key, std::string& field) {
        NotAtEnd(key);
        Check(ReadStrKey(in_, key, field, warn_));
    }
    void Int(const char* key, std::int32_t& field) {
        NotAtEnd(key);
        Check(ReadIntKey(in_, key, field, warn_));
    }
    void Code(const char* key, std::uint8_t& field) {
        NotAtEnd(key);
        Check(ReadCodeKey(in_, key, field, warn_));
    }
    // A kind is stored as its number, whatever number the file holds.
    template <class Kind>
    void Code(const char* key, Kind& field) {
        std::uint8_t code = KindCode(field);
        Code(key, code);
        field = static_cast<Kind>(code);
    }
    void Bool(const char* key, bool& field) {
        NotAtEnd(key);
        Check(ReadBoolKey(in_, key, field, warn_));
    }
    void Section(const std::string& header) {
        const std::size_t before = in_.Remaining();
        if (FindSection(in_, header, warn_) != 0) throw StopReading{};
        if (before - in_.Remaining() > 1) skippedLines_ = true;
    }

    // A count the file cannot possibly back (each element takes at least one
    // of the remaining lines) is damage, never a size to allocate.
    void Count(const char* key, std::int32_t& field, std::int32_t least, std::int32_t most) {
        Int(key, field);
        const auto remaining = static_cast<std::int64_t>(in_.Remaining());
        if (field < least || field > most || field > remaining) {
            Warn(InputErrorText(key));
            throw StopReading{};
        }
    }

    // A service enters the table once its own lines are read; its rules follow
    // one by one, each only when complete, so a half-read rule (an action
    // without the conditions that narrow it) never runs.
    void Service(std::int32_t i) {
        Section(Numbered("[Service ", i));
        const std::size_t pos = static_cast<std::size_t>(i - 1);
        std::vector<rServiceRules>& table = store_.ServiceTable;
        rServiceRules rec = pos < table.size() ? table[pos] : rServiceRules{};
        rec.rulelist.rules.clear();
        Fields(ServiceFields(), rec);
        std::int32_t rulecnt = 0;
        Count("rulecnt", rulecnt, 0, INT32_MAX);
        store_.AssignUid(rec);
        if (pos < table.size())
            table[pos] = std::move(rec);
        else
            table.push_back(std::move(rec));
        for (std::int32_t j = 1; j <= rulecnt; ++j) {
            RuleRec rule = Rule(j);
            table[pos].rulelist.rules.push_back(std::move(rule));
        }
    }

    RuleRec Rule(std::int32_t j) {
        Section(Numbered("[Rule ", j));
        RuleRec r;
        Fields(RuleFields(), r);
        std::int32_t condcnt = 0;
        Count("condcnt", condcnt, 0, INT32_MAX);
        Fields(RuleLimitFields(), r);
        for (std::int32_t k = 0; k < condcnt; ++k) {
            ruleacondrec c;
            Code("rcond", c.rcond);
            Fields(ConditionFields(c.rcond), c);
            r.conds.push_back(std::move(c));
        }
        std::int32_t actioncnt = 0;
        Count("actioncnt", actioncnt, 0, INT32_MAX);
        for (std::int32_t k = 0; k < actioncnt; ++k) {
            ruleactionrec a;
            Code("raction", a.raction);
            Fields(ActionFields(a.raction), a);
            r.actions.push_back(std::move(a));
        }
        return r;
    }

    // Values are taken by position, so the fields are read in the writer's order.
    template <class Record>
    void Fields(std::span<const ConfigField<Record>> fields, Record& r) {
        for (const ConfigField<Record>& f : fields) {
            if (f.optional && !NextKeyIs(f.key)) continue;
            std::visit(
                [&](auto* value) {
                    using T = std::remove_pointer_t<decltype(value)>;
                    if constexpr (std::is_same_v<T, std::string>)
                        Str(f.key, *value);
                    else if constexpr (std::is_same_v<T, std::int32_t>)
                        Int(f.key, *value);
                    else if constexpr (std::is_same_v<T, std::uint8_t> ||
                                       std::is_same_v<T, TriggerKind>)
                        Code(f.key, *value);
                    else
                        Bool(f.key, *value);
                },
                f.at(r));
        }
    }

    bool NextKeyIs(const char* key) const {
        const std::string* line = in_.Peek();
        if (!line) return false;
        std::string name, value;
        return SplitLine(*line, name, value) == 0 && name == key;
    }

    IniLineReader& in_;
    ServiceStore& store_;
    const ConfigWarning& warn_;
    bool skippedLines_ = false;
};

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    char buf[16384];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) bytes.append(buf, in.gcount());
    if (in.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

std::string FormatConfigFile(const ServiceStore& store) {
    std::string out;
    out.reserve(4096);
    WriteHeaderLine(out, "[Main Info]");
    WriteHeaderLine(out, "Version=1.00");
    WriteBoolKey(out, "UseSMTP", store.UseSMTP);
    WriteStrKey(out, "SMTP Server", store.SmtpServer);
    WriteStrKey(out, "ReplyTo", store.ReplyTo);
    WriteIntKey(out, "Service Count", store.ServiceCount());
    WriteIntKey(out, "Custom Count", store.CustomCount());
    std::int32_t i = 0;
    for (const rServiceRules& s : store.ServiceTable) FormatService(out, s, ++i);
    out += FormatRuleExtensions(store);
    return out;
}

Status SaveConfigFile(const std::string& path, const ServiceStore& store) {
    // Owner-only: the file holds FTP passwords in plain text.
    return WriteFileAtomically(path, FormatConfigFile(store), true);
}

int WriteConfigFile(const std::string& path, const ServiceStore& store) {
    return SaveConfigFile(path, store) ? 0 : -2;
}

namespace {

int ReadConfigLines(IniLineReader& in, ServiceStore& store, const ConfigWarning& warn,
                    bool* skippedLines) {
    std::string first;
    if (!in.ReadLine(first) || first != "[Main Info]") {
        if (warn) warn("Error: Invalid alarm file");
        return -1;
    }
    ConfigReader reader(in, store, warn);
    try {
        reader.ReadAfterFirstLine();
    } catch (const StopReading&) {
        return -1;
    }
    if (skippedLines) *skippedLines = reader.SkippedLines();
    return 0;
}

}  // namespace

int ReadConfigFile(const std::string& path, ServiceStore& store, const ConfigWarning& warn,
                   bool* skippedLines) {
    if (skippedLines) *skippedLines = false;
    IniLineReader in;
    if (!in.Load(path)) return -2;
    return ReadConfigLines(in, store, warn, skippedLines);
}

int ReadConfigText(std::string_view text, ServiceStore& store, const ConfigWarning& warn,
                   bool* skippedLines) {
    if (skippedLines) *skippedLines = false;
    IniLineReader in;
    in.LoadText(text);
    return ReadConfigLines(in, store, warn, skippedLines);
}

namespace {

ConfigWarning AtLineOf(const IniLineReader& in, const LocatedConfigWarning& warn) {
    if (!warn) return {};
    return [&in, warn](const std::string& text) {
        warn(text, std::max<std::size_t>(in.LineNumber(), 1));
    };
}

}  // namespace

int ReadConfigFileLocated(const std::string& path, ServiceStore& store,
                          const LocatedConfigWarning& warn) {
    IniLineReader in;
    if (!in.Load(path)) return -2;
    return ReadConfigLines(in, store, AtLineOf(in, warn), nullptr);
}

int ReadConfigTextLocated(std::string_view text, ServiceStore& store,
                          const LocatedConfigWarning& warn) {
    IniLineReader in;
    in.LoadText(text);
    return ReadConfigLines(in, store, AtLineOf(in, warn), nullptr);
}

std::string BackupConfigPath(const std::string& path) { return path + ".bak"; }

void LoadConfigAtStartup(const std::string& path, ServiceStore& store, const ConfigWarning& warn) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    bool skipped = false;
    if (ReadConfigFile(path, store, warn, &skipped) != 0 || skipped) {
        // What could not be read is about to be replaced by what could; keep
        // the user's original where it can be recovered by hand.
        if (const std::optional<std::string> bytes = ReadWholeFile(path)) {
            // The file is rewritten from what could be read: a copy that
            // could not be kept is said, so the user can save the file first.
            const std::string backup = BackupConfigPath(path);
            if (Status kept = WriteFileAtomically(backup, *bytes, true); !kept)
                warn("Could not keep a copy of the damaged file as " + backup + ": " + kept.error);
        }
    }
    if (store.ConfigVersion < 1.0) WriteConfigFile(path, store);
}

std::optional<double> ParseConfigVersion(const std::string& text, char systemSeparator) {
    if (const std::optional<double> v = ParseNumber<double>(text, Blanks::Allowed)) return v;
    if (systemSeparator == '.' || text.find('.') != std::string::npos) return std::nullopt;
    std::string local = text;
    for (char& c : local)
        if (c == systemSeparator) c = '.';
    return ParseNumber<double>(local, Blanks::Allowed);
}

char SystemDecimalSeparator() {
    try {
        return std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
    } catch (const std::runtime_error&) {
        return '.';  // the environment names a locale that is not installed
    }
}

}  // namespace kb
