#include "editor/launchinput.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/paramdialog.h"
#include "ui/msgbox.h"

namespace kb {

namespace {

const QString kExecutableFilter = QStringLiteral("Executable Files (*)");
const QString kAllFilesFilter = QStringLiteral("All Files (*)");

// "Executable Files" shows what the system will run (programs and scripts
// marked executable; on Windows the executable extensions), which a name
// pattern alone cannot select.
void applyFilter(QFileDialog& chooser, const QString& filter) {
    QDir::Filters f = QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot;
    if (filter == kExecutableFilter) f |= QDir::Executable;
    chooser.setFilter(f);
}

}  // namespace

LaunchDialog::LaunchDialog(ParamExchange& ex, QWidget* parent) : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmLaunch"));
    setWindowTitle(QStringLiteral("Enter Program/Script to Launch"));
    auto* programLabel =
        new QLabel(QStringLiteral("Enter full path of program/script to run:"), this);
    teProgram = new QLineEdit(this);
    teProgram->setObjectName(QStringLiteral("teProgram"));
    teProgram->setMinimumWidth(193);
    Button1 = new QPushButton(QStringLiteral("Browse..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    auto* paramLabel = new QLabel(QStringLiteral("Enter Parameters:"), this);
    teParam = new QLineEdit(this);
    teParam->setObjectName(QStringLiteral("teParam"));
    teParam->setFixedWidth(145);
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Cancel"), this);
    Button3->setObjectName(QStringLiteral("Button3"));

    if (ex.linkText != QLatin1StringView(kSpecified)) {
        teProgram->setText(ex.linkText);
        teParam->setText(ex.parameters);
    }

    auto* programRow = new QHBoxLayout;
    programRow->addWidget(teProgram, 1);
    programRow->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(programLabel);
    layout->addLayout(programRow);
    layout->addWidget(paramLabel);
    layout->addWidget(teParam);
    layout->addWidget(
        NewHintLabel(QStringLiteral("Enter \"mfile\" to use found file as an argument"), this));
    layout->addWidget(NewHintLabel(QStringLiteral("(ex. -mfile)"), this));
    layout->addLayout(NewButtonRow(Button2, Button3));

    connect(Button1, &QPushButton::clicked, this, &LaunchDialog::browse);
    connect(Button2, &QPushButton::clicked, this, &LaunchDialog::confirm);
    connect(Button3, &QPushButton::clicked, this, &LaunchDialog::reject);
    SetUpParamDialog(this, QSize(268, 165), Button2);
}

void LaunchDialog::browse() {
    QFileDialog chooser(this);
    chooser.setObjectName(QStringLiteral("OpenDialog1"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    // The executable filter works on file permissions, which only the
    // built-in dialog can apply.
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setNameFilters({kExecutableFilter, kAllFilesFilter});
    applyFilter(chooser, kExecutableFilter);
    connect(&chooser, &QFileDialog::filterSelected, &chooser,
            [&chooser](const QString& filter) { applyFilter(chooser, filter); });
    const QFileInfo current(teProgram->text());
    if (!teProgram->text().isEmpty() && current.dir().exists()) chooser.setDirectory(current.dir());
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    teProgram->setText(QDir::toNativeSeparators(chooser.selectedFiles().constFirst()));
}

void LaunchDialog::confirm() {
    if (teProgram->text().isEmpty()) {
        WarnAt(this, QStringLiteral("Please enter a filename"));
        return;
    }
    ex_.path = teProgram->text();
    ex_.parameters = teParam->text();
    accept();
}

}  // namespace kb
