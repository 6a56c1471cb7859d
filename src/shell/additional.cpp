#include "shell/additional.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "platform/registry.h"
#include "ui/msgbox.h"
#include "ui/placement.h"

namespace kb {

AdditionalOptionsDialog::AdditionalOptionsDialog(AdditionalOptions& settings,
                                                 std::string executable, QWidget* mainWindow)
    : QDialog(mainWindow),
      settings_(settings),
      executable_(std::move(executable)),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("frmAdditional"));
    setWindowTitle(QStringLiteral("Additional Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));

    chkAuto = new QCheckBox(QStringLiteral("Auto-Start Kestrelbox on Windows Startup"), GroupBox1);
    chkAuto->setObjectName(QStringLiteral("chkAuto"));
    // The design size suits a small system font; a larger desktop font widens
    // the dialog rather than cutting the caption off.
    const int extra = std::max(0, chkAuto->sizeHint().width() - 233);
    setFixedSize(262 + extra, 106);
    GroupBox1->setGeometry(8, 0, 249 + extra, 57);
    chkAuto->setGeometry(8, 16, 233 + extra, chkAuto->sizeHint().height());
    chkAuto->setChecked(true);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                              QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(40 + extra / 2, 72, 81, 25);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(136 + extra / 2, 72, 81, 25);
    BitBtn2->setAutoDefault(false);

    connect(BitBtn1, &QPushButton::clicked, this, &AdditionalOptionsDialog::confirm);
    // Esc and the close box reject as well.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    place();
}

void AdditionalOptionsDialog::place() {
    PlaceDialog(this, mainWindow_);
    chkAuto->setChecked(settings_.AutoStart);
}

void AdditionalOptionsDialog::confirm() {
    try {
        ApplyAutoStartSwitch(settings_, chkAuto->isChecked(), executable_);
    } catch (const RegistryError& e) {
        ErrorCentered(this, QString::fromStdString(e.what()));
        return;
    }
    accept();
}

int ShowAdditionalOptions(QWidget* mainWindow, AdditionalOptions& settings,
                          const std::string& executable) {
    AdditionalOptionsDialog dlg(settings, executable, mainWindow);
    return dlg.exec();
}

}  // namespace kb
