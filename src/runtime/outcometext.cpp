#include "runtime/outcometext.h"

#include <utility>

namespace kb {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString FolderOf(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    return Q(sep == std::string::npos ? std::string() : path.substr(0, sep == 0 ? 1 : sep));
}

QString Capitalised(QString s) {
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s;
}

}  // namespace

QString EntryActionText(const JournalEntry& e) {
    static const std::pair<const char*, const char*> kNames[] = {{"move", "Move"},
                                                                 {"copy", "Copy"},
                                                                 {"delete", "Delete"},
                                                                 {"trash", "Move to Trash"},
                                                                 {"ftp", "FTP upload"},
                                                                 {"launch", "Launch"},
                                                                 {"rename", "Rename"},
                                                                 {kWarningAction, "Warning"},
                                                                 {kPassFailureAction, "Scan"}};
    std::string action = e.action;
    const bool undo = action.rfind("undo ", 0) == 0;
    if (undo) action = action.substr(5);
    QString text = Q(action);
    for (const auto& [key, name] : kNames)
        if (action == key) text = QString::fromLatin1(name);
    return undo ? QStringLiteral("Undo ") + text.toLower() : text;
}

QString EntryResultText(const JournalEntry& e) {
    if (e.action == kWarningAction) return Q(e.error);
    if (!e.ok) {
        QString text = QStringLiteral("Failed: ") + Q(e.error);
        // One row stands for the same failure pass after pass.
        if (e.repeats > 1) text += QStringLiteral(" (%1 times)").arg(e.repeats);
        return text;
    }
    QString text = e.error.empty() ? QStringLiteral("Done") : Capitalised(Q(e.error));
    if (e.undoneBy != 0) text += QStringLiteral(", undone");
    return text;
}

QString FolderOfFileNow(const JournalEntry& e) {
    if (!e.ok || e.undoneBy != 0) return FolderOf(e.source);
    if (e.action == "move" || e.action == "copy" || e.action == "rename") return Q(e.target);
    if (e.action == "trash") return FolderOf(e.target);
    if (e.action.rfind("undo ", 0) == 0) return Q(e.target);
    return FolderOf(e.source);
}

std::string OutcomeLine(const ActionOutcome& o) {
    const JournalEntry e = JournalEntryFor(o);
    std::string line = o.service + " / " + o.rulename + ": " + EntryActionText(e).toStdString();
    if (o.raction == actLaunch) {
        line += " " + o.target;
        if (!o.source.empty()) line += " for " + o.source;
    } else {
        line += " " + o.source;
        if (!o.target.empty()) line += " to " + o.target;
        if (!o.targetName.empty()) line += " as " + o.targetName;
    }
    return line + ": " + EntryResultText(e).toStdString();
}

QString UndoRefusedText(const JournalEntry& e, const std::string& reason) {
    const auto sep = e.source.find_last_of("/\\");
    const std::string name = sep == std::string::npos ? e.source : e.source.substr(sep + 1);
    return QStringLiteral("Cannot undo %1 of %2: %3.")
        .arg(EntryActionText(e).toLower(), Q(name), Q(reason));
}

QString SaveFailedText(const QString& reason) {
    return QStringLiteral(
               "Could not save kbconf.ini: %1. The rules are kept and saved again "
               "at the next change.")
        .arg(reason);
}

}  // namespace kb
