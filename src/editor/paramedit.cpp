#include "editor/paramedit.h"

#include "editor/datesel.h"
#include "editor/fext.h"
#include "editor/filesized.h"
#include "editor/ftpoptions.h"
#include "editor/launchinput.h"
#include "editor/paramexchange.h"
#include "editor/path.h"
#include "editor/ruleextras.h"
#include "runtime/summary.h"

namespace kb {

namespace {

ruleacondrec* firstCondition(RuleRec& rule, ConditionKind kind) {
    for (ruleacondrec& c : rule.conds)
        if (c.rcond == kind) return &c;
    return nullptr;
}

ruleactionrec* firstAction(RuleRec& rule, ActionKind kind) {
    for (ruleactionrec& a : rule.actions)
        if (a.raction == kind) return &a;
    return nullptr;
}

// The text input, asking for a whole number.
bool askNumber(QWidget* parent, ParamExchange& ex, const char* caption, const char* prompt,
               std::int32_t& target, std::int32_t least = 0) {
    ex.least = least;
    ex.caption = QString::fromLatin1(caption);
    ex.input = ParamExchange::Input::WholeNumber;
    ex.prompt = QString::fromLatin1(prompt);
    ExtensionsDialog dialog(ex, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    target = ex.number;
    return true;
}

// A "less than / greater than" dialog over a condition's comparison code and
// value; `field` is where the dialog reads and writes the value.
template <class Dialog>
bool askComparison(QWidget* parent, ParamExchange& ex, std::int32_t ParamExchange::*field,
                   std::uint8_t& comparison, std::int32_t& value) {
    ex.comparison = comparison;
    ex.*field = value;
    Dialog dialog(ex, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    comparison = ex.comparison;
    value = ex.*field;
    return true;
}

}  // namespace

bool EditRuleParam(QWidget* parent, RuleRec& rule, const QString& href, const QString& sampleFolder,
                   const QString& serviceName) {
    const std::string name = href.toStdString();
    const std::string linkText = SummaryLinkText(rule, name);
    // A link the rule's summary does not show has nothing behind it.
    if (linkText.empty()) return false;

    ParamExchange ex;
    ex.linkName = href;
    ex.linkText = QString::fromStdString(linkText);
    ex.sampleFolder = sampleFolder;
    ex.serviceName = serviceName;
    ex.ruleName = QString::fromStdString(rule.rulename);

    if (name == "FileCount")
        return askNumber(parent, ex, "Enter File Count", "Enter file count:", rule.fcnt);
    if (name == "TotalFileSize")
        return askNumber(parent, ex, "Enter File Size", "Enter total file size (MB):", rule.fsize);
    if (name == "FileDateNew")
        return askNumber(parent, ex, "Enter File Count",
                         "Enter number of files:", firstCondition(rule, condNewest)->newestcnt, 1);
    if (name == "FileDateOld")
        return askNumber(parent, ex, "Enter File Count",
                         "Enter number of files:", firstCondition(rule, condOldest)->oldestcnt, 1);
    if (name == "FileExt") {
        ex.caption = QStringLiteral("Enter File Extension");
        ex.prompt = QStringLiteral("Enter file extensions separated by semicolans(mp2;mp3):");
        ExtensionsDialog dialog(ex, parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        firstCondition(rule, condExtension)->fileext.ext = ex.linkText.toStdString();
        return true;
    }
    if (name == "FileSize") {
        ruleacondrec& c = *firstCondition(rule, condSize);
        return askComparison<FileSizeDialog>(parent, ex, &ParamExchange::size, c.rnum, c.size);
    }
    if (name == "FileDate") {
        ruleacondrec& c = *firstCondition(rule, condDate);
        return askComparison<FileDateDialog>(parent, ex, &ParamExchange::days, c.rdayscmp, c.rdays);
    }
    if (name == "rMove" || name == "rCopy") {
        ruleactionrec& a = *firstAction(rule, name == "rMove" ? actMove : actCopy);
        ex.newName = QString::fromStdString(a.newname);
        ex.conflict = a.conflict;
        FolderDialog dialog(ex, parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        (name == "rMove" ? a.move.filepath : a.copy.filepath) = ex.path.toStdString();
        a.newname = ex.newName.toStdString();
        a.conflict = ex.conflict;
        return true;
    }
    for (const auto& [prefix, kind] : {std::pair{"rMove", actMove}, std::pair{"rCopy", actCopy},
                                       std::pair{"rRename", actRename}}) {
        ruleactionrec* a = firstAction(rule, kind);
        if (!a) continue;
        ex.newName = QString::fromStdString(a->newname);
        ex.conflict = a->conflict;
        if (name == std::string(prefix) + "Name" || (kind == actRename && name == prefix)) {
            NameTemplateDialog dialog(ex, parent);
            if (dialog.exec() != QDialog::Accepted) return false;
            a->newname = ex.newName.toStdString();
            return true;
        }
        if (name == std::string(prefix) + "Conflict") {
            ConflictDialog dialog(ex, parent);
            if (dialog.exec() != QDialog::Accepted) return false;
            a->conflict = ex.conflict;
            return true;
        }
    }
    if (name == "FileWildcard" || name == "FileRegex") {
        const bool regex = name == "FileRegex";
        ruleacondrec& c = *firstCondition(rule, regex ? condNameRegex : condNameWildcard);
        ex.matchCase = c.matchCase;
        PatternDialog dialog(ex, regex, parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        c.pattern = ex.linkText.toStdString();
        c.matchCase = ex.matchCase;
        return true;
    }
    if (name == "rLaunch") {
        ex.parameters = QString::fromStdString(firstAction(rule, actLaunch)->launch.fparams);
        LaunchDialog dialog(ex, parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        raclaunch& launch = firstAction(rule, actLaunch)->launch;
        launch.fprogram = ex.path.toStdString();
        launch.fparams = ex.parameters.toStdString();
        return true;
    }
    if (name == "rFTP") {
        FtpOptionsDialog dialog(rule, parent);
        return dialog.exec() == QDialog::Accepted;
    }
    return false;  // "rDelete" has nothing to enter
}

QStringList InertRuleLinks() { return {QStringLiteral("rDelete")}; }

}  // namespace kb
