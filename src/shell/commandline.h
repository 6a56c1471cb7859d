// The command line: what the program is asked to do, read once before
// anything starts (a history query needs no display and no guard).
#pragma once

#include <QString>
#include <QStringList>
#include <iosfwd>

namespace kb {

struct CommandLine {
    enum class Mode { Window, History, Help, Version, Error };
    Mode mode = Mode::Window;
    bool startHidden = false;  // "startup", in any case, anywhere
    int historyCount = 20;
    QString error;  // Mode::Error: what was wrong, one line
};

// Parses the arguments (the program's path first).
CommandLine ParseCommandLine(const QStringList& arguments);

// The usage text --help prints and a bad command line ends with.
QString UsageText();

// --history: the newest `count` journal entries as JSON lines, newest last,
// read without changing anything. Returns the exit status.
int PrintHistory(const std::string& journalPath, int count, std::ostream& out);

}  // namespace kb
