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

    auto* deleting = new QGroupBox(QStringLiteral("Deleting"), this);
    deleting->setObjectName(QStringLiteral("gbDeleting"));
    chkDeleteToTrash = new QCheckBox(QStringLiteral("Move deleted files to the Trash"), deleting);
    chkDeleteToTrash->setObjectName(QStringLiteral("chkDeleteToTrash"));
    auto* deleteBox = new QVBoxLayout(deleting);
    deleteBox->addWidget(chkDeleteToTrash);
    deleteBox->addWidget(Hint(QStringLiteral("A rule's delete can then be taken back, here or from "
                                             "the desktop's Trash. Off, deleted files are gone "
                                             "for good."),
                              deleting));

    auto* notify = new QGroupBox(QStringLiteral("Notifications"), this);
    notify->setObjectName(QStringLiteral("gbNotifications"));
    chkNotifyFailures = new QCheckBox(QStringLiteral("Notify me when an action fails"), notify);
    chkNotifyFailures->setObjectName(QStringLiteral("chkNotifyFailures"));
    chkNotifyEvery = new QCheckBox(QStringLiteral("Notify me of every action"), notify);
    chkNotifyEvery->setObjectName(QStringLiteral("chkNotifyEvery"));
    auto* notifyBox = new QVBoxLayout(notify);
    notifyBox->addWidget(chkNotifyFailures);
    notifyBox->addWidget(chkNotifyEvery);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    connect(Buttons, &QDialogButtonBox::accepted, this, &TfrmSettings::OkClick);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(downloads);
    outer->addWidget(deleting);
    outer->addWidget(notify);
    outer->addStretch(1);
    outer->addWidget(Buttons);

    chkWaitSettled->setChecked(options_.WaitSettled);
    seSettleSeconds->setValue(options_.SettleSeconds);
    seSettleSeconds->setEnabled(options_.WaitSettled);
    chkDeleteToTrash->setChecked(options_.DeleteToTrash);
    chkNotifyFailures->setChecked(options_.NotifyFailures);
    chkNotifyEvery->setChecked(options_.NotifyEvery);

    setMinimumWidth(420);
    adjustSize();
    PlaceDialog(this, mainWindow);
}

void TfrmSettings::OkClick() {
    Options changed = options_;
    changed.WaitSettled = chkWaitSettled->isChecked();
    changed.SettleSeconds = seSettleSeconds->value();
    changed.DeleteToTrash = chkDeleteToTrash->isChecked();
    changed.NotifyFailures = chkNotifyFailures->isChecked();
    changed.NotifyEvery = chkNotifyEvery->isChecked();
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
