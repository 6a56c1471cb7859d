#include "shell/settingsdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/completion.h"
#include "platform/registry.h"
#include "ui/msgbox.h"
#include "ui/placement.h"

namespace kb {

namespace {

QLabel* Hint(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("hint"));
    l->setWordWrap(true);
    return l;
}

}  // namespace

SettingsDialog::SettingsDialog(Settings& options, QWidget* mainWindow)
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

    seUnseenWriterMinutes = new QSpinBox(downloads);
    seUnseenWriterMinutes->setObjectName(QStringLiteral("seUnseenWriterMinutes"));
    seUnseenWriterMinutes->setRange(0, kMaxUnseenWriterMinutes);
    seUnseenWriterMinutes->setSuffix(QStringLiteral(" minutes"));
    auto* unseenLabel = new QLabel(
        QStringLiteral("When nothing can tell whether a program still writes a file, wait"),
        downloads);
    unseenLabel->setBuddy(seUnseenWriterMinutes);
    auto* unseenRow = new QHBoxLayout;
    unseenRow->addWidget(unseenLabel);
    unseenRow->addWidget(seUnseenWriterMinutes);
    unseenRow->addStretch(1);
    box->addLayout(unseenRow);
    box->addWidget(Hint(QStringLiteral("Another user's files and files on a network folder can be "
                                       "written without the system saying so."),
                        downloads));

    tePartialSuffixes = new QLineEdit(downloads);
    tePartialSuffixes->setObjectName(QStringLiteral("tePartialSuffixes"));
    auto* suffixLabel =
        new QLabel(QStringLiteral("Names of downloads in progress end in:"), downloads);
    suffixLabel->setBuddy(tePartialSuffixes);
    auto* defaults = new QPushButton(QStringLiteral("Defaults"), downloads);
    defaults->setObjectName(QStringLiteral("btnPartialDefaults"));
    connect(defaults, &QPushButton::clicked, this,
            [this] { tePartialSuffixes->setText(QString::fromLatin1(kDefaultPartialSuffixes)); });
    auto* suffixRow = new QHBoxLayout;
    suffixRow->addWidget(tePartialSuffixes, 1);
    suffixRow->addWidget(defaults);
    box->addWidget(suffixLabel);
    box->addLayout(suffixRow);
    box->addWidget(Hint(QStringLiteral("Separated by \";\". Such a file is never acted on, nor a "
                                       "file beside one named after it (\"x\" beside "
                                       "\"x.aria2\"), nor a folder holding one."),
                        downloads));

    chkFoldersAsDownloads =
        new QCheckBox(QStringLiteral("Treat a folder as one download"), downloads);
    chkFoldersAsDownloads->setObjectName(QStringLiteral("chkFoldersAsDownloads"));
    box->addWidget(chkFoldersAsDownloads);
    box->addWidget(Hint(QStringLiteral("A folder in a shared folder is then acted on whole, once "
                                       "every file in it has settled; its size is that of all its "
                                       "files."),
                        downloads));
    for (QWidget* w : {static_cast<QWidget*>(seUnseenWriterMinutes),
                       static_cast<QWidget*>(tePartialSuffixes), static_cast<QWidget*>(defaults)})
        connect(chkWaitSettled, &QCheckBox::toggled, w, &QWidget::setEnabled);

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
    connect(Buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::confirm);
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
    seUnseenWriterMinutes->setValue(options_.UnseenWriterMinutes);
    seUnseenWriterMinutes->setEnabled(options_.WaitSettled);
    tePartialSuffixes->setText(QString::fromStdString(options_.PartialSuffixes));
    tePartialSuffixes->setCursorPosition(0);  // the list from its start
    tePartialSuffixes->setEnabled(options_.WaitSettled);
    defaults->setEnabled(options_.WaitSettled);
    chkFoldersAsDownloads->setChecked(options_.FoldersAsDownloads);
    chkDeleteToTrash->setChecked(options_.DeleteToTrash);
    chkNotifyFailures->setChecked(options_.NotifyFailures);
    chkNotifyEvery->setChecked(options_.NotifyEvery);

    // Wrapped hints need their height for the width they get: the layout
    // keeps the dialog at least as tall as that.
    outer->setSizeConstraint(QLayout::SetMinimumSize);
    setMinimumWidth(520);
    adjustSize();
    // A group box lays its wrapped hints out by their preferred height, not
    // the height their width needs: once the width is known, each hint is
    // given that height.
    resize(width(), height());
    outer->activate();
    for (QLabel* hint : findChildren<QLabel*>(QStringLiteral("hint"))) {
        // Its group's width less the group's margins.
        const QWidget* group = hint->parentWidget();
        const QMargins m = group->layout()->contentsMargins();
        hint->setMinimumHeight(
            hint->heightForWidth(group->contentsRect().width() - m.left() - m.right()));
    }
    adjustSize();
    PlaceDialog(this, mainWindow);
}

void SettingsDialog::confirm() {
    Settings changed = options_;
    changed.WaitSettled = chkWaitSettled->isChecked();
    changed.SettleSeconds = seSettleSeconds->value();
    changed.UnseenWriterMinutes = seUnseenWriterMinutes->value();
    // Stored as the user will read it back: the endings, tidied.
    changed.PartialSuffixes =
        JoinPartialSuffixes(ParsePartialSuffixes(tePartialSuffixes->text().toStdString()));
    changed.FoldersAsDownloads = chkFoldersAsDownloads->isChecked();
    changed.DeleteToTrash = chkDeleteToTrash->isChecked();
    changed.NotifyFailures = chkNotifyFailures->isChecked();
    changed.NotifyEvery = chkNotifyEvery->isChecked();
    try {
        SaveSettings(changed);
    } catch (const RegistryError& e) {
        ErrorCentered(this, QString::fromStdString(e.what()));
        return;
    }
    options_ = changed;
    accept();
}

bool ShowSettings(QWidget* mainWindow, Settings& options) {
    const Settings before = options;
    SettingsDialog dlg(options, mainWindow);
    return dlg.exec() == QDialog::Accepted && !(options == before);
}

}  // namespace kb
