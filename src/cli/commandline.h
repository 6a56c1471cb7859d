// The command line: what the program is asked to do, read once before
// anything starts (a history query or a dry run needs no display and no
// guard, a headless run no display).
#pragma once

#include <QString>
#include <QStringList>
#include <iosfwd>

namespace kb {

struct CommandLine {
    enum class Mode {
        Window,
        Headless,
        DryRun,
        History,
        Undo,
        Rules,        // --rules: print every service and rule
        ExportRules,  // --export-rules [FILE]
        ImportRules,  // --import-rules FILE
        Help,
        Version,
        Error
    };
    Mode mode = Mode::Window;
    bool startHidden = false;  // "startup", in any case, anywhere
    int historyCount = 20;
    long long undoId = 0;  // --undo: the journal entry to take back
    bool json = false;     // the dry run prints JSON
    QString configFile;    // --config: the kbconf.ini to use; empty for the usual one
    QString rulesFile;     // --export-rules (empty: standard output), --import-rules
    QString error;         // Mode::Error: what was wrong, one line
};

// Parses the arguments (the program's path first). Only the words are
// looked at: whether the --config file can be read is for start-up to find.
CommandLine ParseCommandLine(const QStringList& arguments);

// The usage text --help prints and a bad command line ends with.
QString UsageText();

// --history: the newest `count` journal entries as JSON lines, newest last,
// read without changing anything. Returns the exit status.
int PrintHistory(const std::string& journalPath, int count, std::ostream& out);

// --undo ID: takes back journal entry ID as the Activity page's Undo does
// (a move its download client made, through the client), records it, and
// says how it went. Refused while another copy runs: that copy's passes
// could meet the file. Returns the exit status: 0 done, 1 not.
int RunUndo(const std::string& journalPath, long long id, std::ostream& out, std::ostream& err);

}  // namespace kb
