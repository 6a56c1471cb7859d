#include "editor/path.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "editor/paramdialog.h"
#include "editor/ruleextras.h"
#include "engine/nametemplate.h"
#include "ui/folderchooser.h"
#include "ui/msgbox.h"

namespace kb {

FolderDialog::FolderDialog(ParamExchange& ex, QWidget* parent)
    : QDialog(parent), ex_(ex), lastFolder_(QDir::homePath()) {
    setObjectName(QStringLiteral("frmPath"));
    setWindowTitle(QStringLiteral("Enter Path"));
    Label1 = new QLabel(QStringLiteral("Enter path to move file to:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    tePath = new QLineEdit(this);
    tePath->setObjectName(QStringLiteral("tePath"));
    tePath->setMinimumWidth(209);
    Button1 = new QPushButton(QStringLiteral("Browse..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Cancel"), this);
    Button3->setObjectName(QStringLiteral("Button3"));

    if (ex.linkName == QLatin1StringView("rCopy"))
        Label1->setText(QStringLiteral("Enter path to copy to"));
    if (ex.linkText != QLatin1StringView(kSpecified)) tePath->setText(ex.linkText);

    teNewName = new QLineEdit(ex.newName, this);
    teNewName->setObjectName(QStringLiteral("teNewName"));
    teNewName->setPlaceholderText(QStringLiteral("its own name"));
    cbConflict = NewConflictCombo(ex.conflict, this);
    lblExample = NewHintLabel({}, this);
    lblExample->setObjectName(QStringLiteral("lblExample"));

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(tePath, 1);
    pathRow->addWidget(NewFieldsButton(tePath, false, this));
    pathRow->addWidget(Button1);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("New name:"), this));
    nameRow->addWidget(teNewName, 1);
    nameRow->addWidget(NewFieldsButton(teNewName, true, this));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(pathRow);
    layout->addLayout(nameRow);
    layout->addWidget(new QLabel(QStringLiteral("When a different file has that name:"), this));
    layout->addWidget(cbConflict);
    layout->addWidget(lblExample);
    layout->addLayout(NewButtonRow(Button2, Button3));
    auto update = [this] {
        lblExample->setText(TemplateExample(ex_, tePath->text(), teNewName->text()));
    };
    connect(tePath, &QLineEdit::textChanged, this, update);
    connect(teNewName, &QLineEdit::textChanged, this, update);
    update();

    connect(Button1, &QPushButton::clicked, this, &FolderDialog::browse);
    connect(Button2, &QPushButton::clicked, this, &FolderDialog::confirm);
    connect(Button3, &QPushButton::clicked, this, &FolderDialog::reject);
    SetUpParamDialog(this, QSize(289, 91), Button2);
}

void FolderDialog::browse() {
    const QString chosen = ChooseFolder(this, tePath->text(), lastFolder_);
    if (!chosen.isEmpty()) tePath->setText(chosen);
}

void FolderDialog::confirm() {
    const QString text = tePath->text();
    const bool fields = HasFields(text.toStdString());
    if (text.isEmpty() || (!fields && !QFileInfo(text).isDir())) {
        WarnCentered(this, QStringLiteral("Path does not exist"));
        return;
    }
    QString problem = FolderTemplateProblem(text);
    if (problem.isEmpty()) problem = NameTemplateProblem(teNewName->text(), false);
    if (!problem.isEmpty()) {
        WarnCentered(this, problem);
        return;
    }
    ex_.path = text;
    ex_.newName = teNewName->text();
    ex_.conflict = ConflictOf(cbConflict);
    accept();
}

}  // namespace kb
