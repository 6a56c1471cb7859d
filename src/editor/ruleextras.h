// The editors of what a rule holds beyond the specified parameters: the
// fields a target or a new name may hold (inserted from a menu, with an
// example for a file of the folder), the choice made when a name is taken,
// and the name patterns.
#pragma once

#include <QDialog>
#include <QString>

#include "editor/paramexchange.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace kb {

// A "Fields" button whose menu inserts a template field at `edit`'s cursor.
QToolButton* NewFieldsButton(QLineEdit* edit, bool counter, QWidget* parent);

// The five choices in a combo box, `mode` selected.
QComboBox* NewConflictCombo(ConflictMode mode, QWidget* parent);
ConflictMode ConflictOf(const QComboBox* combo);

// What the folder and the new name give for the newest file of `ex.sampleFolder`:
// "Example: /music/2026/03/song.mp3", or why they cannot be filled.
QString TemplateExample(const ParamExchange& ex, const QString& folder, const QString& newName);

// Why a folder or name template cannot be used as typed; empty when it can.
QString FolderTemplateProblem(const QString& folder);
QString NameTemplateProblem(const QString& name, bool required);

// What Finish refuses in the extended parameters (a name condition
// without a usable pattern, a rename without a name, a template that cannot
// be filled); empty when nothing.
QString ExtensionProblem(const RuleRec& rule);
// A warning, not a refusal: an action placed where it can never find its
// file (after the delete, or a delete after a move or rename).
QString UnreachableActionWarning(const RuleRec& rule);

// "Enter New Name": a rename's name, or the name a move or copy gives.
class NameTemplateDialog : public QDialog {
    Q_OBJECT
public:
    // Reads ex.newName (and ex.linkName: "rRename" requires a name); OK
    // writes the typed template back.
    explicit NameTemplateDialog(ParamExchange& ex, QWidget* parent = nullptr);
    QLineEdit* teName;
    QLabel* lblExample;
    QPushButton* btnOK;

private:
    void confirm();
    ParamExchange& ex_;
};

// "When the Name Is Taken".
class ConflictDialog : public QDialog {
    Q_OBJECT
public:
    explicit ConflictDialog(ParamExchange& ex, QWidget* parent = nullptr);
    QComboBox* cbConflict;

private:
    ParamExchange& ex_;
};

// "Enter File Name Pattern": wildcards or a regular expression, refused
// with the pattern library's own words when it does not compile.
class PatternDialog : public QDialog {
    Q_OBJECT
public:
    // `regex`: a regular expression rather than wildcards. Reads
    // ex.linkText and ex.matchCase; OK writes them back.
    PatternDialog(ParamExchange& ex, bool regex, QWidget* parent = nullptr);
    QLineEdit* tePattern;
    QCheckBox* cbMatchCase;
    QPushButton* btnOK;

private:
    void confirm();
    ParamExchange& ex_;
    bool regex_;
};

}  // namespace kb
