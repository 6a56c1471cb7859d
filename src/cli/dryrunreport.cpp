#include "cli/dryrunreport.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/configread.h"
#include "remote/clientdesk.h"
#include "runtime/textformats.h"
#include "store/discovery.h"
#include "store/settings.h"

namespace kb {

namespace {

std::string Bytes(std::int64_t n) { return FormatDataSize(n).toStdString(); }

std::string Count(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const char* TriggerKey(TriggerKind trigger) {
    switch (trigger) {
        case trgNewFile:
            return "new-file";
        case trgFileExists:
            return "file-exists";
        case trgFileCount:
            return "file-count";
        case trgTotalSize:
            return "total-size";
        default:
            return "unknown";
    }
}

void PrintActions(const RulePreview& p, const char* lead, std::ostream& out) {
    if (p.actions.empty()) {
        out << "    " << lead << "nothing: the rule has no action\n";
        return;
    }
    const std::string indent(std::string_view(lead).size(), ' ');
    for (std::size_t i = 0; i < p.actions.size(); ++i)
        out << "    " << (i == 0 ? lead : indent.c_str()) << p.actions[i] << '\n';
}

void PrintRule(const RulePreview& p, std::ostream& out) {
    out << "  Rule \"" << p.rule << "\", when " << p.triggerText << ":\n";
    if (p.folderMissing) {
        if (p.actions.empty())
            out << "    nothing to act on, and the rule has no action\n";
        else
            PrintActions(p, "nothing to act on now; its actions: ", out);
        return;
    }
    if (!p.files.empty()) {
        // Files still downloading are listed, but only finished ones are acted on now.
        const std::int64_t acting = p.ActingNow();
        const std::int64_t waiting = std::ssize(p.files) - acting;
        if (p.onArrival)
            out << "    acts on such files when they arrive; of those present now it would take "
                << p.files.size() << ":\n";
        else if (acting == 0)
            out << "    holds now, but the " << Count(waiting, "file", "files")
                << " it takes still download:\n";
        else
            out << "    holds now and would act on " << Count(acting, "file", "files")
                << (waiting > 0 ? " (" + std::to_string(waiting) + " more still downloading)" : "")
                << ":\n";
        for (const FilePreview& f : p.files) {
            // A folder taken as one download reads as one, with all it holds.
            out << "      " << f.name << (f.folder ? "/" : "") << " (" << Bytes(f.size) << ")";
            if (f.waiting)
                out << ", waits: " << f.why;
            else if (f.decidedBy == "client")
                out << ", the client reports it complete";
            for (const std::string& m : f.matched) out << ", matched " << m;
            out << '\n';
            for (const std::string& place : f.placements) out << "        " << place << '\n';
        }
        PrintActions(p, "then: ", out);
        return;
    }
    if (p.onArrival && !p.holds)
        out << "    no file is present now; it acts on the files that arrive\n";
    else if (p.onArrival)
        out << "    its conditions select none of the files present now\n";
    else if (p.holds)
        out << "    holds now, but its conditions select no file\n";
    else
        out << "    does not hold now (" << Count(p.listed, "file", "files") << ", "
            << Bytes(p.total) << ")\n";
    PrintActions(p, "its actions: ", out);
}

}  // namespace

void PrintDryRunText(const std::vector<RulePreview>& previews, std::ostream& out) {
    out << "Dry run: nothing is moved, copied, deleted, uploaded or started.\n";
    if (previews.empty()) {
        out << "\nNo service with a folder has a switched-on rule.\n";
        return;
    }
    const RulePreview* service = nullptr;
    for (const RulePreview& p : previews) {
        if (!service || service->service != p.service || service->folder != p.folder) {
            service = &p;
            out << '\n' << p.service << ": " << p.folder;
            if (p.folderMissing)
                out << " (the folder "
                    << (p.folderProblem.empty() ? "cannot be read" : p.folderProblem) << ")\n";
            else
                out << " (" << Count(p.listed, "file", "files") << ", " << Bytes(p.total) << ")\n";
        }
        PrintRule(p, out);
    }
}

void PrintDryRunJson(const std::vector<RulePreview>& previews, std::ostream& out) {
    for (const RulePreview& p : previews) {
        nlohmann::ordered_json j;
        j["service"] = p.service;
        j["folder"] = p.folder;
        j["folderReadable"] = !p.folderMissing;
        if (p.folderMissing && !p.folderProblem.empty()) j["folderProblem"] = p.folderProblem;
        j["rule"] = p.rule;
        j["trigger"] = TriggerKey(p.trigger);
        if (p.trigger == trgFileCount || p.trigger == trgTotalSize) j["threshold"] = p.threshold;
        j["triggerText"] = p.triggerText;
        j["onArrival"] = p.onArrival;
        j["holds"] = p.holds;
        j["listed"] = p.listed;
        j["totalBytes"] = p.total;
        nlohmann::ordered_json files = nlohmann::ordered_json::array();
        for (const FilePreview& f : p.files) {
            nlohmann::ordered_json file = {
                {"name", f.name}, {"size", f.size}, {"waiting", f.waiting}};
            if (f.waiting) file["why"] = f.why;
            if (f.leftOut) file["leftOutOfRanking"] = true;
            if (!f.decidedBy.empty()) file["decidedBy"] = f.decidedBy;
            if (f.folder) file["folder"] = true;
            if (!f.placements.empty()) file["placements"] = f.placements;
            if (!f.matched.empty()) file["matched"] = f.matched;
            files.push_back(std::move(file));
        }
        j["files"] = std::move(files);
        j["actions"] = p.actions;
        // File names are bytes from strangers: invalid UTF-8 is replaced, not fatal.
        out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }
}

int RunDryRun(const CommandLine& command, std::ostream& out, std::ostream& err) {
    const std::string path = ConfigPathOf(command);
    ServiceStore store;
    switch (ReadTableForCommand(path, store, err)) {
        case TableRead::Missing:
            err << "kestrelbox: there is no " << path << " yet, so no rule to try.\n";
            return 0;
        case TableRead::Refused:
            return 1;
        case TableRead::Clean:
            break;
    }
    Settings options;
    LoadSettings(options);
    ScanEnvironment env = DefaultScanEnvironment();
    // Nothing is started or sent; the previews never ask, and now cannot.
    env.launch = {};
    env.upload = {};
    ApplySettings(env, options);
    env.clients = BuildClientDesk(store);
    const std::vector<RulePreview> previews = DryRun(TakeScanSnapshot(store), env);
    if (command.json)
        PrintDryRunJson(previews, out);
    else
        PrintDryRunText(previews, out);
    // A folder that cannot be read is a rule that would fail.
    for (const RulePreview& p : previews)
        if (p.folderMissing) return 1;
    return 0;
}

}  // namespace kb
