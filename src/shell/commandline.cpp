#include "shell/commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDateTime>
#include <nlohmann/json.hpp>
#include <ostream>

#include "journal/journal.h"
#include "shell/startup.h"

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
        "  --help           print this text and end\n"
        "  --version        print the version and end\n");
}

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption history(QStringLiteral("history"));
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption config(QStringLiteral("config"), QString(), QStringLiteral("FILE"));
    parser.addOptions({help, version, history, headless, dryRun, json, config});
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
    // Words other than "startup" and the history count are left alone, as
    // they always were.
    c.startHidden = HasStartupArgument(arguments);
    QStringList words;
    for (const QString& a : parser.positionalArguments())
        if (!IsStartup(a)) words << a;
    const int modes =
        int(parser.isSet(history)) + int(parser.isSet(headless)) + int(parser.isSet(dryRun));
    if (modes > 1)
        return Error(QStringLiteral(
            "kestrelbox: --headless, --dry-run and --history cannot be used together"));
    if (parser.isSet(json) && !parser.isSet(dryRun))
        return Error(QStringLiteral("kestrelbox: --json goes with --dry-run"));
    if (parser.isSet(config)) {
        c.configFile = parser.value(config);
        if (c.configFile.isEmpty())
            return Error(QStringLiteral("kestrelbox: --config wants a file name"));
    }
    if (parser.isSet(history)) {
        c.mode = CommandLine::Mode::History;
        // The count is optional: the word after the option, when there is one.
        if (words.size() > 1)
            return Error(QStringLiteral("kestrelbox: --history takes one count, not \"%1\"")
                             .arg(words.join(QLatin1Char(' '))));
        if (!words.isEmpty()) {
            bool ok = false;
            const int n = words.front().toInt(&ok);
            if (!ok || n < 1)
                return Error(
                    QStringLiteral("kestrelbox: --history wants a count of 1 or more, not \"%1\"")
                        .arg(words.front()));
            c.historyCount = n;
        }
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

}  // namespace kb
