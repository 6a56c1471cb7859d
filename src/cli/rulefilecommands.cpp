#include "cli/rulefilecommands.h"

#include <QFileInfo>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "cli/configread.h"
#include "engine/namepattern.h"
#include "engine/nametemplate.h"
#include "platform/atomicfile.h"
#include "platform/paths.h"
#include "runtime/startup.h"
#include "runtime/summary.h"
#include "store/configfile.h"
#include "store/discovery.h"
#include "store/rulefile.h"

namespace kb {

namespace {

std::string OnOff(bool on) { return on ? "on" : "off"; }

}  // namespace

int PrintRules(const CommandLine& command, std::ostream& out, std::ostream& err) {
    const std::string path = ConfigPathOf(command);
    ServiceStore store;
    if (ReadTableForCommand(path, store, err) == TableRead::Refused) return 1;
    int n = 0;
    for (const rServiceRules& s : store.ServiceTable) {
        ++n;
        if (command.json) {
            nlohmann::ordered_json j;
            j["number"] = n;
            j["service"] = ServiceName(s);
            j["enabled"] = s.enabled;
            j["folder"] = s.sharedir;
            j["exclude"] = s.excludefiles;
            nlohmann::ordered_json rules = nlohmann::ordered_json::array();
            int k = 0;
            for (const RuleRec& r : s.rulelist.rules) {
                rules.push_back({{"number", ++k},
                                 {"name", r.rulename},
                                 {"enabled", r.enabled},
                                 {"sentence", PlainSummaryLines(r)}});
            }
            j["rules"] = std::move(rules);
            out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
            continue;
        }
        out << n << ". " << ServiceName(s) << " (" << OnOff(s.enabled)
            << "): " << (s.sharedir.empty() ? std::string("no folder") : s.sharedir);
        if (!s.excludefiles.empty()) out << ", leaving out " << s.excludefiles;
        out << '\n';
        int k = 0;
        for (const RuleRec& r : s.rulelist.rules) {
            out << "   " << n << "." << ++k << " " << r.rulename << " (" << OnOff(r.enabled)
                << ")\n";
            for (const std::string& line : PlainSummaryLines(r)) out << "       " << line << '\n';
        }
    }
    return 0;
}

int ExportRules(const CommandLine& command, std::ostream& out, std::ostream& err) {
    const std::string path = ConfigPathOf(command);
    ServiceStore store;
    if (ReadTableForCommand(path, store, err) == TableRead::Refused) return 1;
    const std::string text = FormatRuleFile(store);
    if (command.rulesFile.isEmpty()) {
        out << text;
        return out.good() ? 0 : 1;
    }
    // The file holds FTP passwords, as kbconf.ini does: its owner's only.
    const std::string file = command.rulesFile.toStdString();
    if (const Status st = WriteFileAtomically(file, text, true); !st) {
        err << "kestrelbox: cannot write " << file << ": " << st.error << ".\n";
        return 1;
    }
    return 0;
}

int ImportRules(const CommandLine& command, std::ostream& out, std::ostream& err) {
    const std::string file = command.rulesFile.toStdString();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        err << "kestrelbox: cannot read " << file << ".\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    // With no kbconf.ini yet, the file goes where the window and --headless
    // would make it (its folder made for a new account).
    std::string path = ConfigPathOf(command);
    std::error_code missing;
    if (command.configFile.isEmpty() && !std::filesystem::exists(path, missing))
        path = ChooseConfigFilePath(DirectoryOf(ExecutablePath()));
    ServiceStore store;
    // The mail settings stay as kbconf.ini has them.
    if (ReadTableForCommand(path, store, err) == TableRead::Refused) {
        err << "kestrelbox: nothing was imported; mend " << path << " or move it away first.\n";
        return 1;
    }
    RuleFileChecks checks;
    checks.condition = [](const ruleacondrec& c) -> std::string {
        if (c.rcond != condNameWildcard && c.rcond != condNameRegex) return {};
        const std::string why = PatternError(c);
        return why.empty() ? why : "the pattern cannot be used: " + why;
    };
    checks.action = [](const ruleactionrec& a) -> std::string {
        if (a.raction != actMove && a.raction != actCopy && a.raction != actRename) return {};
        if (a.raction != actRename) {
            const std::string& folder = a.raction == actMove ? a.move.filepath : a.copy.filepath;
            if (std::string why = TemplateError(folder, false); !why.empty())
                return "the folder cannot be filled in: " + why;
        }
        if (a.newname.find_first_of("/\\") != std::string::npos)
            return "a new name cannot hold a folder separator";
        if (std::string why = TemplateError(a.newname, true); !why.empty())
            return "the new name cannot be filled in: " + why;
        return {};
    };
    const std::vector<RuleFileError> errors = ParseRuleFile(text.str(), store, checks);
    for (const RuleFileError& e : errors) {
        err << file;
        if (e.line > 0) err << ':' << e.line << ':' << e.column;
        err << ": " << e.text << '\n';
    }
    if (!errors.empty()) {
        err << "kestrelbox: " << errors.size() << (errors.size() == 1 ? " error" : " errors")
            << " in " << file << "; nothing was changed.\n";
        return 1;
    }
    std::error_code ec;
    const bool had = std::filesystem::exists(path, ec);
    if (had) {
        std::ifstream old(path, std::ios::binary);
        std::stringstream bytes;
        bytes << old.rdbuf();
        if (const Status kept = WriteFileAtomically(BackupConfigPath(path), bytes.str(), true);
            !kept) {
            err << "kestrelbox: cannot keep the old rules as " << BackupConfigPath(path) << ": "
                << kept.error << "; nothing was changed.\n";
            return 1;
        }
    }
    if (const Status st = SaveConfigFile(path, store); !st) {
        err << "kestrelbox: cannot write " << path << ": " << st.error << ".\n";
        return 1;
    }
    int services = 0, rules = 0;
    for (const rServiceRules& s : store.ServiceTable) {
        services += s.enabled ? 1 : 0;
        rules += s.rulelist.rulecnt();
    }
    out << "Imported " << rules << (rules == 1 ? " rule" : " rules") << " into " << path;
    if (had) out << " (the old file is kept as " << BackupConfigPath(path) << ")";
    out << "; " << services << (services == 1 ? " service is" : " services are")
        << " switched on.\n";
    return 0;
}

}  // namespace kb
