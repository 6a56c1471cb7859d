#include "editor/filesized.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "editor/paramdialog.h"
#include "ui/msgbox.h"

namespace kb {

TfrmFileSize::TfrmFileSize(ParamExchange& ex, QWidget* parent) : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmFileSize"));
    setWindowTitle(QStringLiteral("Enter File Size"));
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    rblt = new QRadioButton(QStringLiteral("Less Than"), GroupBox1);
    rblt->setObjectName(QStringLiteral("rblt"));
    rbgt = new QRadioButton(QStringLiteral("Greater Than"), GroupBox1);
    rbgt->setObjectName(QStringLiteral("rbgt"));
    rbgt->setChecked(true);
    auto* label = new QLabel(QStringLiteral("Size of File (in kilobytes):"), GroupBox1);
    teFileSize = new QLineEdit(GroupBox1);
    teFileSize->setObjectName(QStringLiteral("teFileSize"));
    teFileSize->setFixedWidth(80);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* radios = new QHBoxLayout;
    radios->addWidget(rblt);
    radios->addWidget(rbgt);
    radios->addStretch();
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(label);
    sizeRow->addWidget(teFileSize);
    sizeRow->addStretch();
    auto* group = new QVBoxLayout(GroupBox1);
    group->addLayout(radios);
    group->addLayout(sizeRow);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);

    if (ex.size != -1) {
        (ex.comparison == cmpGreater ? rbgt : rblt)->setChecked(true);
        teFileSize->setText(QString::number(ex.size));
    }

    connect(Button1, &QPushButton::clicked, this, &TfrmFileSize::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmFileSize::reject);
    SetUpParamDialog(this, QSize(297, 135), Button1);
}

void TfrmFileSize::Button1Click() {
    std::int32_t n = 0;
    if (!ParseWholeNumber(teFileSize->text(), n) || n < 0) {
        WarnAt(this, QStringLiteral("Invalid file size value."));
        return;
    }
    ex_.size = n;
    ex_.comparison = rbgt->isChecked() ? cmpGreater : cmpLess;
    accept();
}

}  // namespace kb
