#include "editor/fext.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/paramdialog.h"
#include "ui/msgbox.h"

namespace kb {

ExtensionsDialog::ExtensionsDialog(ParamExchange& ex, QWidget* parent) : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmInput"));
    Label1 = new QLabel(ex.prompt, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    teInput = new QLineEdit(this);
    teInput->setObjectName(QStringLiteral("teInput"));
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Cancel"), this);
    Button3->setObjectName(QStringLiteral("Button3"));

    setWindowTitle(ex.caption);
    if (ex.linkText != QLatin1StringView(kSpecified)) teInput->setText(ex.linkText);
    numeric_ = ex.input == ParamExchange::Input::WholeNumber;
    teInput->setFixedWidth(numeric_ ? 40 : 265);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(teInput);
    layout->addLayout(NewButtonRow(Button2, Button3));

    connect(Button2, &QPushButton::clicked, this, &ExtensionsDialog::confirm);
    connect(Button3, &QPushButton::clicked, this, &ExtensionsDialog::reject);
    SetUpParamDialog(this, QSize(290, 92), Button2);
}

void ExtensionsDialog::confirm() {
    ex_.linkText = teInput->text();
    if (!numeric_) {
        accept();
        return;
    }
    const std::optional<std::int32_t> n = TypedWholeNumber(teInput->text());
    if (!n || *n < 0) {
        // One message for counts and sizes alike.
        WarnAt(this, QStringLiteral("Invalid value for file count"));
        return;
    }
    if (*n < ex_.least) {
        WarnAt(this, QStringLiteral("The number of files must be %1 or more.").arg(ex_.least));
        return;
    }
    ex_.number = *n;
    accept();
}

void ExtensionsDialog::reject() {
    ex_.linkText.clear();
    QDialog::reject();
}

}  // namespace kb
