// How the journal's entries read, the same on the Activity page, in the
// headless run's lines and in the window's messages.
#pragma once

#include <QString>
#include <string>

#include "engine/scanpass.h"
#include "journal/journal.h"

namespace kb {

// "Move", "Copy", "Move to Trash", "FTP upload", "Launch", "Warning",
// "Scan" (a pass that could not go through a folder), "Undo move", ...
QString EntryActionText(const JournalEntry& e);
// "Done", "Already there", "Failed: <why>", a warning's text; ", undone"
// after a success taken back.
QString EntryResultText(const JournalEntry& e);

// The folder that holds an entry's file now: where it was moved, copied or
// trashed to; where it was, when the action failed or was undone.
QString FolderOfFileNow(const JournalEntry& e);

// One line of the headless run: "Kazaa / Move music: Move /x/a.mp3 to /music: Done".
std::string OutcomeLine(const ActionOutcome& o);

// Why an action of the Activity page cannot be taken back:
// "Cannot undo move of a.mp3: it changed since (its size or date differ)."
QString UndoRefusedText(const JournalEntry& e, const std::string& reason);

// What the status bar says while kbconf.ini cannot be saved.
QString SaveFailedText(const QString& reason);

}  // namespace kb
