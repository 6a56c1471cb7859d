#include "shell/settingsdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/registry.h"
#include "ui/msgbox.h"
#include "ui/placement.h"

namespace kb {

namespace {

QLabel* Hint(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

}  // namespace

TfrmSettings::TfrmSettings(Options& options, QWidget* mainWindow)
    : QDialog(mainWindow), options_(options) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* downloads = new QGroupBox(QStringLiteral("Downloads"), this);
    downloads->setObjectName(QStringLiteral("gbDownloads"));
    chkWaitSettled =
        new QCheckBox(QStringLiteral("Wait until a file has stopped changing"), downloads);
    chkWaitSettled->setObjectName(QStringLiteral("chkWaitSettled"));
    seSettleSeconds = new QSpinBox(downloads);
    seSettleSeconds->setObjectName(QStringLiteral("seSettleSeconds"));
    seSettleSeconds->setRange(0, kMaxSettleSeconds);
    seSettleSeconds->setSuffix(QStringLiteral(" seconds"));
    seSettleSeconds->setAccessibleName(QStringLiteral("Seconds a file must stay unchanged"));
    auto* row = new QHBoxLayout;
    row->addWidget(chkWaitSettled);
    row->addWidget(seSettleSeconds);
    row->addStretch(1);
    auto* box = new QVBoxLayout(downloads);
    box->addLayout(row);
    box->addWidget(
        Hint(QStringLiteral("A rule acts on a file only once it has settled: the same size and "
                            "date at two scans in a row, unchanged for this many seconds, and no "
                            "program still writing it."),
             downloads));
    connect(chkWaitSettled, &QCheckBox::toggled, seSettleSeconds, &QWidget::setEnabled);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    connect(Buttons, &QDialogButtonBox::accepted, this, &TfrmSettings::OkClick);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(downloads);
    outer->addStretch(1);
    outer->addWidget(Buttons);

    chkWaitSettled->setChecked(options_.WaitSettled);
    seSettleSeconds->setValue(options_.SettleSeconds);
    seSettleSeconds->setEnabled(options_.WaitSettled);

    setMinimumWidth(420);
    adjustSize();
    PlaceDialog(this, mainWindow);
}

void TfrmSettings::OkClick() {
    Options changed = options_;
    changed.WaitSettled = chkWaitSettled->isChecked();
    changed.SettleSeconds = seSettleSeconds->value();
    try {
        SaveOptions(changed);
    } catch (const RegistryError& e) {
        ErrorCentered(this, QString::fromStdString(e.what()));
        return;
    }
    options_ = changed;
    accept();
}

bool ShowSettings(QWidget* mainWindow, Options& options) {
    const Options before = options;
    TfrmSettings dlg(options, mainWindow);
    return dlg.exec() == QDialog::Accepted && !(options == before);
}

}  // namespace kb
