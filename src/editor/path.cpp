#include "editor/path.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/paramdialog.h"
#include "ui/folderchooser.h"
#include "ui/msgbox.h"

namespace kb {

FolderDialog::FolderDialog(ParamExchange& ex, QWidget* parent)
    : QDialog(parent), ex_(ex), lastFolder_(QDir::rootPath()) {
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

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(tePath, 1);
    pathRow->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(pathRow);
    layout->addLayout(NewButtonRow(Button2, Button3));

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
    if (text.isEmpty() || !QFileInfo(text).isDir()) {
        WarnCentered(this, QStringLiteral("Path does not exist"));
        return;
    }
    ex_.path = text;
    accept();
}

}  // namespace kb
