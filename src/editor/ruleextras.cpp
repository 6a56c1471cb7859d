#include "editor/ruleextras.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "editor/paramdialog.h"
#include "engine/namepattern.h"
#include "engine/nametemplate.h"
#include "platform/localtime.h"
#include "runtime/summary.h"
#include "ui/msgbox.h"

namespace kb {

namespace {

constexpr ConflictMode kModes[] = {ConflictMode::TrashOld, ConflictMode::KeepBoth,
                                   ConflictMode::Skip, ConflictMode::ReplaceOlder,
                                   ConflictMode::Replace};

std::string Std(const QString& s) { return s.toStdString(); }

}  // namespace

QToolButton* NewFieldsButton(QLineEdit* edit, bool counter, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(QStringLiteral("Fields"));
    button->setToolTip(QStringLiteral("Insert a part filled in for each file"));
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    static const std::pair<const char*, const char*> kTitles[] = {
        {"{name}", "name without extension"},
        {"{ext}", "extension"},
        {"{file}", "whole file name"},
        {"{year}", "year of the file's date"},
        {"{month}", "month (01-12)"},
        {"{day}", "day (01-31)"},
        {"{service}", "service name"},
        {"{rule}", "rule name"},
        {"{counter}", "counter for a free name"}};
    for (const auto& [field, title] : kTitles) {
        if (!counter && QLatin1StringView(field) == QLatin1StringView("{counter}")) continue;
        const QString f = QString::fromLatin1(field);
        QAction* a = menu->addAction(f + QStringLiteral("  ") + QString::fromLatin1(title));
        QObject::connect(a, &QAction::triggered, edit, [edit, f] {
            edit->insert(f);
            edit->setFocus();
        });
    }
    button->setMenu(menu);
    return button;
}

QComboBox* NewConflictCombo(ConflictMode mode, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("cbConflict"));
    for (ConflictMode m : kModes) {
        QString text = QString::fromStdString(ConflictPhrase(m));
        text[0] = text[0].toUpper();
        combo->addItem(text, static_cast<int>(m));
        if (m == mode) combo->setCurrentIndex(combo->count() - 1);
    }
    return combo;
}

ConflictMode ConflictOf(const QComboBox* combo) {
    return static_cast<ConflictMode>(combo->currentData().toInt());
}

QString FolderTemplateProblem(const QString& folder) {
    const std::string t = Std(folder);
    if (const std::string e = TemplateError(t, false); !e.empty())
        return QStringLiteral("The path cannot be filled in: ") + QString::fromStdString(e) +
               QLatin1Char('.');
    if (!HasFields(t)) return {};
    const std::string fixed = FixedPart(t);
    if (fixed.empty() || !QFileInfo(QString::fromStdString(fixed)).isDir())
        return QStringLiteral(
            "The path must begin with a folder that exists (the folders after "
            "it are made as files arrive).");
    return {};
}

QString NameTemplateProblem(const QString& name, bool required) {
    if (name.isEmpty()) return required ? QStringLiteral("New name must be specified.") : QString();
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("A new name cannot hold a folder separator.");
    if (const std::string e = TemplateError(Std(name), true); !e.empty())
        return QStringLiteral("The name cannot be filled in: ") + QString::fromStdString(e) +
               QLatin1Char('.');
    return {};
}

QString TemplateExample(const ParamExchange& ex, const QString& folder, const QString& newName) {
    const QDir dir(ex.sampleFolder);
    const QFileInfoList files =
        ex.sampleFolder.isEmpty()
            ? QFileInfoList()
            : dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Time);
    const QFileInfo sample =
        files.isEmpty() ? QFileInfo(QStringLiteral("Example.mp3")) : files.first();
    const std::string name = Std(sample.fileName());
    const QDateTime when = files.isEmpty() ? QDateTime::currentDateTime() : sample.lastModified();
    const QDate d = when.date();
    const std::string service = Std(ex.serviceName), rule = Std(ex.ruleName);
    const TemplateFile f{name, EncodeDays(d.year(), d.month(), d.day(), 12, 0, 0), service, rule};
    const FilledTemplate dirPart = FillTemplate(Std(folder), f, 1, false);
    const FilledTemplate namePart = newName.isEmpty() ? FilledTemplate{name, {}, false}
                                                      : FillTemplate(Std(newName), f, 1, true);
    if (!dirPart.error.empty() || !namePart.error.empty()) return {};
    QString path = QString::fromStdString(dirPart.text);
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return QStringLiteral("Example: ") + path + QString::fromStdString(namePart.text);
}

QString ExtensionProblem(const RuleRec& rule) {
    for (const ruleactionrec& a : rule.actions) {
        if (a.raction == actRename && a.newname.empty())
            return QStringLiteral("New name must be specified.");
        if (a.raction != actMove && a.raction != actCopy && a.raction != actRename) continue;
        const QString folder =
            QString::fromStdString(a.raction == actMove ? a.move.filepath : a.copy.filepath);
        QString problem = a.raction == actRename ? QString() : FolderTemplateProblem(folder);
        if (problem.isEmpty())
            problem = NameTemplateProblem(QString::fromStdString(a.newname), false);
        if (!problem.isEmpty()) return problem;
    }
    for (const ruleacondrec& c : rule.conds) {
        if (c.rcond != condNameWildcard && c.rcond != condNameRegex) continue;
        if (c.pattern.empty()) return QStringLiteral("File name pattern must be specified.");
        if (const std::string e = PatternError(c); !e.empty())
            return QStringLiteral("The pattern cannot be used: ") + QString::fromStdString(e) +
                   QLatin1Char('.');
    }
    return {};
}

QString UnreachableActionWarning(const RuleRec& rule) {
    static const char* const kNames[] = {"move",       "copy",   "delete",
                                         "FTP upload", "launch", "rename"};
    auto nameOf = [](ActionKind k) {
        const auto code = KindCode(k);
        return QString::fromLatin1(code < std::size(kNames) ? kNames[code] : "action");
    };
    bool deleted = false, moved = false;
    ActionKind mover = actMove;
    for (const ruleactionrec& a : rule.actions) {
        const bool needsFile =
            a.raction != actLaunch || a.launch.fparams.find("mfile") != std::string::npos;
        if (deleted && needsFile)
            return QStringLiteral(
                       "The %1 comes after the delete: the file is gone by then, so "
                       "the %1 never finds it.")
                .arg(nameOf(a.raction));
        if (a.raction == actDelete && moved)
            return QStringLiteral(
                       "The delete comes after the %1: the file is no longer in the "
                       "shared folder then, so the delete never deletes anything.")
                .arg(nameOf(mover));
        if (a.raction == actDelete) deleted = true;
        if (a.raction == actMove || a.raction == actRename) {
            moved = true;
            mover = a.raction;
        }
    }
    return {};
}

NameTemplateDialog::NameTemplateDialog(ParamExchange& ex, QWidget* parent)
    : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmNewName"));
    setWindowTitle(QStringLiteral("Enter New Name"));
    auto* label =
        new QLabel(QStringLiteral("Enter the name the file gets (empty: its own name):"), this);
    teName = new QLineEdit(ex.newName, this);
    teName->setObjectName(QStringLiteral("teName"));
    teName->setPlaceholderText(QStringLiteral("{name} ({year}-{month}).{ext}"));
    lblExample = NewHintLabel({}, this);
    lblExample->setObjectName(QStringLiteral("lblExample"));
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* row = new QHBoxLayout;
    row->addWidget(teName, 1);
    row->addWidget(NewFieldsButton(teName, true, this));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(lblExample);
    layout->addLayout(NewButtonRow(btnOK, cancel));
    auto update = [this] { lblExample->setText(TemplateExample(ex_, {}, teName->text())); };
    connect(teName, &QLineEdit::textChanged, this, update);
    update();
    connect(btnOK, &QPushButton::clicked, this, &NameTemplateDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    SetUpParamDialog(this, QSize(340, 110), btnOK);
}

void NameTemplateDialog::confirm() {
    const bool required = ex_.linkName == QLatin1StringView("rRename");
    if (const QString problem = NameTemplateProblem(teName->text(), required); !problem.isEmpty()) {
        WarnAt(this, problem);
        return;
    }
    ex_.newName = teName->text();
    accept();
}

ConflictDialog::ConflictDialog(ParamExchange& ex, QWidget* parent) : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmConflict"));
    setWindowTitle(QStringLiteral("When the Name Is Taken"));
    auto* label = new QLabel(
        QStringLiteral("When a different file already has the name (an identical copy is never "
                       "written again):"),
        this);
    label->setWordWrap(true);
    cbConflict = NewConflictCombo(ex.conflict, this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(cbConflict);
    layout->addLayout(NewButtonRow(ok, cancel));
    connect(ok, &QPushButton::clicked, this, [this] {
        ex_.conflict = ConflictOf(cbConflict);
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    SetUpParamDialog(this, QSize(320, 100), ok);
}

PatternDialog::PatternDialog(ParamExchange& ex, bool regex, QWidget* parent)
    : QDialog(parent), ex_(ex), regex_(regex) {
    setObjectName(QStringLiteral("frmPattern"));
    setWindowTitle(QStringLiteral("Enter File Name Pattern"));
    auto* label = new QLabel(
        regex ? QStringLiteral("Enter a regular expression the whole name must match:")
              : QStringLiteral("Enter the name with wildcards (* any text, ? one character, "
                               "[abc] one of these):"),
        this);
    label->setWordWrap(true);
    tePattern = new QLineEdit(this);
    tePattern->setObjectName(QStringLiteral("tePattern"));
    if (ex.linkText != QLatin1StringView(kSpecified)) tePattern->setText(ex.linkText);
    tePattern->setPlaceholderText(regex ? QStringLiteral(R"(.*\(live\).*\.mp3)")
                                        : QStringLiteral("*live*.mp3"));
    cbMatchCase = new QCheckBox(QStringLiteral("Letter case counts"), this);
    cbMatchCase->setObjectName(QStringLiteral("cbMatchCase"));
    cbMatchCase->setChecked(ex.matchCase);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(tePattern);
    layout->addWidget(cbMatchCase);
    layout->addLayout(NewButtonRow(btnOK, cancel));
    connect(btnOK, &QPushButton::clicked, this, &PatternDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    SetUpParamDialog(this, QSize(320, 120), btnOK);
}

void PatternDialog::confirm() {
    ruleacondrec c;
    c.rcond = regex_ ? condNameRegex : condNameWildcard;
    c.pattern = Std(tePattern->text());
    c.matchCase = cbMatchCase->isChecked();
    if (c.pattern.find_first_of("\r\n") != std::string::npos) c.pattern.clear();
    if (const std::string e = PatternError(c); !e.empty()) {
        WarnAt(this, QStringLiteral("The pattern cannot be used: ") + QString::fromStdString(e) +
                         QLatin1Char('.'));
        return;
    }
    ex_.linkText = tePattern->text();
    ex_.matchCase = c.matchCase;
    accept();
}

}  // namespace kb
