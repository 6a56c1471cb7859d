#include "shell/commandline.h"

#include <QDateTime>
#include <nlohmann/json.hpp>
#include <ostream>

#include "journal/journal.h"

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
        "  --history [N]    print the last N entries of the activity journal (20 when\n"
        "                   N is not given) as JSON lines, newest last, and end\n"
        "  --help           print this text and end\n"
        "  --version        print the version and end\n");
}

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine c;
    bool history = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (IsStartup(a)) {
            c.startHidden = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.mode = CommandLine::Mode::Help;
            return c;
        } else if (a == QLatin1String("--version")) {
            c.mode = CommandLine::Mode::Version;
            return c;
        } else if (a == QLatin1String("--history")) {
            history = true;
            // The count is optional: the next argument, when it is a number.
            if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-')) &&
                !IsStartup(arguments[i + 1])) {
                bool ok = false;
                const int n = arguments[i + 1].toInt(&ok);
                if (!ok || n < 1)
                    return Error(QStringLiteral("kestrelbox: --history wants a count of 1 or "
                                                "more, not \"%1\"")
                                     .arg(arguments[i + 1]));
                c.historyCount = n;
                ++i;
            }
        } else if (a.startsWith(QLatin1Char('-'))) {
            return Error(QStringLiteral("kestrelbox: unknown option \"%1\"").arg(a));
        }
        // Other words are left alone, as they always were.
    }
    if (history) c.mode = CommandLine::Mode::History;
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
