#include "editor/paramdialog.h"

#include <QColor>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "editor/paramexchange.h"
#include "ui/msgbox.h"
#include "ui/placement.h"

namespace kb {

void SetUpParamDialog(QDialog* dialog, const QSize& designSize, QPushButton* okButton) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    if (okButton) okButton->setDefault(true);
    // The design size is a floor: the platform's font may need more room.
    dialog->setFixedSize(dialog->sizeHint().expandedTo(designSize));
    PlaceAtPointer(dialog);
}

QHBoxLayout* NewButtonRow(QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QLabel* NewHintLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(p);
    return label;
}

ComparisonForm BuildComparisonForm(
    QDialog* dialog, const std::function<void(QGroupBox* group, QHBoxLayout* row)>& fillNumberRow) {
    ComparisonForm f;
    f.group = new QGroupBox(dialog);
    f.group->setObjectName(QStringLiteral("GroupBox1"));
    f.less = new QRadioButton(QStringLiteral("Less Than"), f.group);
    f.less->setObjectName(QStringLiteral("rblt"));
    f.greater = new QRadioButton(QStringLiteral("Greater Than"), f.group);
    f.greater->setObjectName(QStringLiteral("rbgt"));
    f.greater->setChecked(true);
    auto* numberRow = new QHBoxLayout;
    fillNumberRow(f.group, numberRow);
    numberRow->addStretch();
    f.ok = new QPushButton(QStringLiteral("OK"), dialog);
    f.ok->setObjectName(QStringLiteral("Button1"));
    f.cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    f.cancel->setObjectName(QStringLiteral("Button2"));

    auto* radios = new QHBoxLayout;
    radios->addWidget(f.less);
    radios->addWidget(f.greater);
    radios->addStretch();
    auto* group = new QVBoxLayout(f.group);
    group->addLayout(radios);
    group->addLayout(numberRow);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(f.group);
    layout->addLayout(NewButtonRow(f.ok, f.cancel));

    QObject::connect(f.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return f;
}

void ShowComparison(const ComparisonForm& form, QLineEdit* edit, std::uint8_t comparison,
                    std::int32_t value) {
    // The number is what one types: the cursor waits there, so no digit
    // typed at once goes to a radio button.
    edit->setFocus(Qt::OtherFocusReason);
    if (value == -1) return;
    (comparison == cmpGreater ? form.greater : form.less)->setChecked(true);
    edit->setText(QString::number(value));
    edit->selectAll();
}

bool ReadComparison(QDialog* dialog, const QRadioButton* greater, const QLineEdit* edit,
                    const QString& invalidMessage, std::uint8_t& comparison, std::int32_t& value) {
    const std::optional<std::int32_t> n = TypedWholeNumber(edit->text());
    if (!n || *n < 0) {
        WarnAt(dialog, invalidMessage);
        return false;
    }
    value = *n;
    comparison = greater->isChecked() ? cmpGreater : cmpLess;
    return true;
}

}  // namespace kb
