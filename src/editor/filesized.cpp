#include "editor/filesized.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editor/paramdialog.h"

namespace kb {

FileSizeDialog::FileSizeDialog(ParamExchange& ex, QWidget* parent) : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmFileSize"));
    setWindowTitle(QStringLiteral("Enter File Size"));
    const ComparisonForm form =
        BuildComparisonForm(this, [this](QGroupBox* group, QHBoxLayout* row) {
            auto* label = new QLabel(QStringLiteral("Size of File (in kilobytes):"), group);
            teFileSize = new QLineEdit(group);
            teFileSize->setObjectName(QStringLiteral("teFileSize"));
            teFileSize->setFixedWidth(80);
            row->addWidget(label);
            row->addWidget(teFileSize);
        });
    GroupBox1 = form.group;
    rblt = form.less;
    rbgt = form.greater;
    Button1 = form.ok;
    Button2 = form.cancel;
    ShowComparison(form, teFileSize, ex.comparison, ex.size);

    connect(Button1, &QPushButton::clicked, this, &FileSizeDialog::confirm);
    SetUpParamDialog(this, QSize(297, 135), Button1);
}

void FileSizeDialog::confirm() {
    if (ReadComparison(this, rbgt, teFileSize, QStringLiteral("Invalid file size value."),
                       ex_.comparison, ex_.size))
        accept();
}

}  // namespace kb
