#include "cli/commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDateTime>
#include <nlohmann/json.hpp>
#include <ostream>

#include "journal/journal.h"
#include "journal/undo.h"
#include "platform/instanceguard.h"
#include "remote/clientdesk.h"
#include "runtime/startup.h"
#include "store/clientlinks.h"

namespace kb {

namespace {

bool IsStartup(const QString& a) {
    return a.compare(QLatin1String("startup"), Qt::CaseInsensitive) == 0;
}

CommandLine Error(const QString& what) {
    CommandLine c;
    c.mode = CommandLine::Mode::Error;
    c.error = what;
    return c;
}

}  // namespace

QString UsageText() {
    return QStringLiteral(
        "Usage: kestrelbox [startup] [options]\n"
        "\n"
        "  startup          start hidden in the notification area, as at log-on\n"
        "  --headless       run without a window, tray icon or display: scan, act\n"
        "                   and journal as the window would, until SIGTERM or Ctrl+C\n"
        "  --dry-run        print what each switched-on rule would do now, and end;\n"
        "                   nothing is moved, written or started\n"
        "  --json           with --dry-run: one JSON object per rule, one per line\n"
        "  --config FILE    use FILE as kbconf.ini instead of the usual one\n"
        "  --history [N]    print the last N entries of the activity journal (20 when\n"
        "                   N is not given) as JSON lines, newest last, and end\n"
        "  --undo ID        take back the journal entry ID (its \"id\" in --history)\n"
        "                   while no other copy runs, and end\n"
        "  --rules          print every service and its rules as the window shows\n"
        "                   them (with --json: one JSON object per service), and end\n"
        "  --export-rules [FILE]\n"
        "                   write every service and rule as a rule file (TOML) to\n"
        "                   FILE, or to standard output, and end\n"
        "  --import-rules FILE\n"
        "                   check the rule file FILE and, when it has no error, make\n"
        "                   it the rules of kbconf.ini (the old file kept as\n"
        "                   kbconf.ini.bak); a running copy takes them at once\n"
        "  -h, --help       print this text and end\n"
        "  --version        print the version and end\n");
}

CommandLine ParseCommandLine(const QStringList& arguments) {
    // What the parser would misread: a long option with one dash, and a
    // negative count taken for an option.
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool negative = a.size() > 1 && a[0] == QLatin1Char('-') &&
                              a.mid(1).toLongLong() != 0 && a.mid(1).front().isDigit();
        if (negative && i > 1 && arguments[i - 1] == QLatin1String("--history"))
            return Error(
                QStringLiteral("kestrelbox: --history wants a count of 1 or more, not \"%1\".")
                    .arg(a));
        if (a.size() > 2 && a[0] == QLatin1Char('-') && a[1] != QLatin1Char('-') && !negative)
            return Error(QStringLiteral("kestrelbox: unknown option '%1'; long options take two "
                                        "dashes (-%1).")
                             .arg(a));
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption history(QStringLiteral("history"));
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption config(QStringLiteral("config"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption undo(QStringLiteral("undo"), QString(), QStringLiteral("ID"));
    const QCommandLineOption rules(QStringLiteral("rules"));
    const QCommandLineOption exportRules(QStringLiteral("export-rules"));
    const QCommandLineOption importRules(QStringLiteral("import-rules"), QString(),
                                         QStringLiteral("FILE"));
    parser.addOptions({help, version, history, headless, dryRun, json, config, undo, rules,
                       exportRules, importRules});
    if (!parser.parse(arguments)) return Error(QStringLiteral("kestrelbox: ") + parser.errorText());

    CommandLine c;
    if (parser.isSet(help)) {
        c.mode = CommandLine::Mode::Help;
        return c;
    }
    if (parser.isSet(version)) {
        c.mode = CommandLine::Mode::Version;
        return c;
    }
    // "startup" may stand anywhere; the only other words are the history
    // count and the export's file.
    c.startHidden = HasStartupArgument(arguments);
    QStringList words;
    for (const QString& a : parser.positionalArguments())
        if (!IsStartup(a)) words << a;
    const int modes = int(parser.isSet(history)) + int(parser.isSet(headless)) +
                      int(parser.isSet(dryRun)) + int(parser.isSet(undo)) +
                      int(parser.isSet(rules)) + int(parser.isSet(exportRules)) +
                      int(parser.isSet(importRules));
    if (modes > 1)
        return Error(QStringLiteral(
            "kestrelbox: --headless, --dry-run, --history, --undo, --rules, --export-rules and "
            "--import-rules cannot be used together."));
    if (!words.isEmpty() && !parser.isSet(history) && !parser.isSet(exportRules))
        return Error(QStringLiteral("kestrelbox: unexpected \"%1\"; the only word it takes is "
                                    "\"startup\".")
                         .arg(words.front()));
    if (parser.isSet(json) && !parser.isSet(dryRun) && !parser.isSet(rules))
        return Error(QStringLiteral("kestrelbox: --json goes with --dry-run or --rules."));
    if (parser.isSet(config)) {
        c.configFile = parser.value(config);
        if (c.configFile.isEmpty())
            return Error(QStringLiteral("kestrelbox: --config wants a file name."));
    }
    if (parser.isSet(history)) {
        c.mode = CommandLine::Mode::History;
        // The count is optional: the word after the option, when there is one.
        if (words.size() > 1)
            return Error(QStringLiteral("kestrelbox: --history takes one count, not \"%1\".")
                             .arg(words.join(QLatin1Char(' '))));
        if (!words.isEmpty()) {
            bool ok = false;
            const int n = words.front().toInt(&ok);
            if (!ok || n < 1)
                return Error(
                    QStringLiteral("kestrelbox: --history wants a count of 1 or more, not \"%1\".")
                        .arg(words.front()));
            c.historyCount = n;
        }
    } else if (parser.isSet(undo)) {
        c.mode = CommandLine::Mode::Undo;
        bool ok = false;
        c.undoId = parser.value(undo).toLongLong(&ok);
        if (!ok || c.undoId < 1)
            return Error(
                QStringLiteral("kestrelbox: --undo wants a journal entry's id, not \"%1\".")
                    .arg(parser.value(undo)));
    } else if (parser.isSet(rules)) {
        c.mode = CommandLine::Mode::Rules;
        c.json = parser.isSet(json);
    } else if (parser.isSet(exportRules)) {
        c.mode = CommandLine::Mode::ExportRules;
        // The file is optional: the word after the option, when there is one.
        if (words.size() > 1)
            return Error(QStringLiteral("kestrelbox: --export-rules takes one file, not \"%1\".")
                             .arg(words.join(QLatin1Char(' '))));
        if (!words.isEmpty()) c.rulesFile = words.front();
    } else if (parser.isSet(importRules)) {
        c.mode = CommandLine::Mode::ImportRules;
        c.rulesFile = parser.value(importRules);
        if (c.rulesFile.isEmpty())
            return Error(QStringLiteral("kestrelbox: --import-rules wants a file name."));
    } else if (parser.isSet(headless)) {
        c.mode = CommandLine::Mode::Headless;
    } else if (parser.isSet(dryRun)) {
        c.mode = CommandLine::Mode::DryRun;
        c.json = parser.isSet(json);
    }
    return c;
}

int PrintHistory(const std::string& journalPath, int count, std::ostream& out) {
    Journal journal(journalPath, Journal::Mode::ReadOnly);
    for (const JournalEntry& e : journal.Last(count)) {
        nlohmann::ordered_json line;
        line["time"] =
            QDateTime::fromMSecsSinceEpoch(e.timeMs)
                .toOffsetFromUtc(QDateTime::fromMSecsSinceEpoch(e.timeMs).offsetFromUtc())
                .toString(Qt::ISODateWithMs)
                .toStdString();
        line["id"] = e.id;  // what --undo takes
        line["service"] = e.service;
        line["rule"] = e.rule;
        line["action"] = e.action;
        line["source"] = e.source;
        line["target"] = e.target;
        line["size"] = e.size;
        line["ok"] = e.ok;
        line["error"] = e.error;
        // File names are bytes from strangers: invalid UTF-8 is replaced, not fatal.
        out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }
    return 0;
}

int RunUndo(const std::string& journalPath, long long id, std::ostream& out, std::ostream& err) {
    try {
        // Held while the undo runs, so no copy starts meanwhile.
        if (CheckAppAlreadyRunning(kAppTitle, false, false)) {
            err << "kestrelbox: " << AlreadyRunningText(ReadGuardHolder(kAppTitle)).toStdString()
                << " Take it back from its Activity page, or stop it first.\n";
            return 1;
        }
    } catch (const std::exception& e) {
        err << "kestrelbox: " << e.what() << '\n';
        return 1;
    }
    Journal journal(journalPath);
    const std::optional<JournalEntry> e = journal.Get(id);
    if (!e) {
        err << "kestrelbox: the journal has no entry " << id << ".\n";
        ReleaseInstanceGuard();
        return 1;
    }
    // Every client this user linked or has, whatever folder it serves: the
    // one that made a move is found by its folder and kind.
    std::vector<ClientLink> links = LoadClientLinks();
    for (const FoundClient& f : FindClients(ClientPlaces::FromEnvironment()))
        if (std::optional<ClientLink> l = LinkFor(f.folder, {}, {f})) links.push_back(*l);
    const std::shared_ptr<ClientDesk> clients = BuildClientDesk(links);
    const JournalEntry u = Undo(*e, QDateTime::currentMSecsSinceEpoch(), clients.get());
    std::int64_t newId = 0;
    Status recorded = journal.Append({u}, &newId);
    if (recorded && u.ok && newId > 0) recorded = journal.MarkUndone(e->id, newId);
    ReleaseInstanceGuard();
    (u.ok ? out : err) << "Undo " << e->action << " of " << e->source << ": "
                       << (u.ok ? "Done" : u.error) << '\n';
    if (!recorded) err << "The journal could not record it: " << recorded.error << '\n';
    return u.ok ? 0 : 1;
}

}  // namespace kb
