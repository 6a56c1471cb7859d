#include "shell/settingsdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent>

#include "engine/completion.h"
#include "engine/ftpupload.h"
#include "platform/mail.h"
#include "platform/registry.h"
#include "platform/secrets.h"
#include "runtime/session.h"
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

// Upload actions whose password still stands in kbconf.ini.
int PasswordsInFile(const ServiceStore& store) {
    int n = 0;
    for (const rServiceRules& s : store.ServiceTable)
        for (const RuleRec& r : s.rulelist.rules)
            for (const ruleactionrec& a : r.actions)
                n += a.raction == actFtp && !a.ftp.ftppass.empty() ? 1 : 0;
    return n;
}

bool LooksLikeAddress(const QString& a) {
    const int at = a.indexOf(QLatin1Char('@'));
    return at > 0 && at < a.size() - 1 && !a.contains(QLatin1Char(' ')) &&
           !a.contains(QLatin1Char('<')) && !a.contains(QLatin1Char('>'));
}

}  // namespace

SettingsDialog::SettingsDialog(Settings& options, QWidget* mainWindow, Session* session)
    : QDialog(mainWindow), options_(options), session_(session) {
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
    if (session_) buildMail(outer);
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

void SettingsDialog::buildMail(QVBoxLayout* outer) {
    const ServiceStore& store = session_->State().store;
    const bool storeRuns = SecretStoreAvailable();
    auto* mail = new QGroupBox(QStringLiteral("Email"), this);
    mail->setObjectName(QStringLiteral("gbEmail"));
    chkUseSmtp = new QCheckBox(QStringLiteral("Mail me when actions fail"), mail);
    chkUseSmtp->setObjectName(QStringLiteral("chkUseSmtp"));
    auto line = [mail](const char* name, const QString& placeholder) {
        auto* e = new QLineEdit(mail);
        e->setObjectName(QLatin1StringView(name));
        e->setPlaceholderText(placeholder);
        return e;
    };
    teSmtpServer = line("teSmtpServer", QStringLiteral("mail.example.org:587"));
    teReplyTo = line("teReplyTo", QStringLiteral("me@example.org"));
    teSmtpUser = line("teSmtpUser", QStringLiteral("only if the server wants a login"));
    teSmtpPassword = line("teSmtpPassword", QString());
    teSmtpPassword->setEchoMode(QLineEdit::Password);
    chkSmtpKeyring =
        new QCheckBox(QStringLiteral("Keep the password in the desktop's secret store"), mail);
    chkSmtpKeyring->setObjectName(QStringLiteral("chkSmtpKeyring"));
    chkSmtpKeyring->setEnabled(storeRuns);
    btnTestMail = new QPushButton(QStringLiteral("Send a test message"), mail);
    btnTestMail->setObjectName(QStringLiteral("btnTestMail"));
    lblMailStatus = new QLabel(mail);
    lblMailStatus->setObjectName(QStringLiteral("lblMailStatus"));
    lblMailStatus->setWordWrap(true);
    lblMailStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("SMTP server:"), teSmtpServer);
    form->addRow(QStringLiteral("Address:"), teReplyTo);
    form->addRow(QStringLiteral("User name:"), teSmtpUser);
    form->addRow(QStringLiteral("Password:"), teSmtpPassword);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(btnTestMail);
    testRow->addWidget(lblMailStatus, 1);
    auto* mailBox = new QVBoxLayout(mail);
    mailBox->addWidget(chkUseSmtp);
    mailBox->addLayout(form);
    mailBox->addWidget(chkSmtpKeyring);
    mailBox->addLayout(testRow);
    mailBox->addWidget(Hint(QStringLiteral("Failures are mailed to the address, which is the "
                                           "sender too: at once, then at most once an hour per "
                                           "rule with a count. Nothing is sent before a server and "
                                           "an address are set. With a user name the connection "
                                           "must use TLS (STARTTLS)."),
                            mail));

    auto* passwords = new QGroupBox(QStringLiteral("Passwords"), this);
    passwords->setObjectName(QStringLiteral("gbPasswords"));
    btnMovePasswords = new QPushButton(QStringLiteral("Move passwords to the keyring"), passwords);
    btnMovePasswords->setObjectName(QStringLiteral("btnMovePasswords"));
    lblPasswords = new QLabel(passwords);
    lblPasswords->setObjectName(QStringLiteral("lblPasswords"));
    lblPasswords->setWordWrap(true);
    auto* pwRow = new QHBoxLayout(passwords);
    pwRow->addWidget(btnMovePasswords);
    pwRow->addWidget(lblPasswords, 1);

    outer->addWidget(mail);
    outer->addWidget(passwords);

    chkUseSmtp->setChecked(store.UseSMTP);
    teSmtpServer->setText(QString::fromStdString(store.SmtpServer));
    teReplyTo->setText(QString::fromStdString(store.ReplyTo));
    teSmtpUser->setText(QString::fromStdString(options_.SmtpUser));
    if (options_.SmtpPasswordInKeyring) {
        const std::optional<std::string> p = LookupSecret({store.SmtpServer, 0, options_.SmtpUser});
        if (p) teSmtpPassword->setText(QString::fromStdString(*p));
    } else {
        teSmtpPassword->setText(QString::fromStdString(options_.SmtpPassword));
    }
    chkSmtpKeyring->setChecked(storeRuns &&
                               (options_.SmtpPasswordInKeyring || options_.SmtpPassword.empty()));
    if (!options_.MailLastError.empty())
        lblMailStatus->setText(QStringLiteral("The last mail could not be delivered: %1")
                                   .arg(QString::fromStdString(options_.MailLastError)));
    showPasswordCount();
    connect(btnTestMail, &QPushButton::clicked, this, &SettingsDialog::sendTestMail);
    connect(btnMovePasswords, &QPushButton::clicked, this, &SettingsDialog::movePasswords);
}

void SettingsDialog::showPasswordCount() {
    const int n = PasswordsInFile(session_->State().store);
    const bool storeRuns = SecretStoreAvailable();
    btnMovePasswords->setEnabled(storeRuns && n > 0);
    if (!storeRuns)
        lblPasswords->setText(
            QStringLiteral("No secret store runs in this session: upload "
                           "passwords stay in kbconf.ini."));
    else if (n == 0)
        lblPasswords->setText(QStringLiteral("No upload password is kept in kbconf.ini."));
    else
        lblPasswords->setText(
            n == 1 ? QStringLiteral("1 upload password is kept in kbconf.ini.")
                   : QStringLiteral("%1 upload passwords are kept in kbconf.ini.").arg(n));
}

void SettingsDialog::movePasswords() {
    ServiceStore& store = session_->State().store;
    int moved = 0;
    std::string problem;
    for (rServiceRules& s : store.ServiceTable)
        for (RuleRec& r : s.rulelist.rules)
            for (ruleactionrec& a : r.actions) {
                if (a.raction != actFtp || a.ftp.ftppass.empty()) continue;
                const Status st = StoreSecret(UploadSecretKey(a.ftp), a.ftp.ftppass);
                if (!st) {
                    problem = st.error;
                    continue;
                }
                a.ftp.ftppass.clear();
                a.ftp.passwordInKeyring = true;
                ++moved;
            }
    if (moved > 0) session_->SaveConfig();
    showPasswordCount();
    if (!problem.empty())
        lblPasswords->setText(lblPasswords->text() + QStringLiteral(" The secret store refused: ") +
                              QString::fromStdString(problem));
}

bool SettingsDialog::readMailFields(std::string& server, std::string& address) const {
    server = teSmtpServer->text().trimmed().toStdString();
    address = teReplyTo->text().trimmed().toStdString();
    if (!server.empty() && MailServerUrl(server).empty()) {
        lblMailStatus->setText(QStringLiteral(
            "The SMTP server is a name with an optional port: mail.example.org:587."));
        return false;
    }
    if (!address.empty() && !LooksLikeAddress(QString::fromStdString(address))) {
        lblMailStatus->setText(QStringLiteral("The address is one address: me@example.org."));
        return false;
    }
    return true;
}

void SettingsDialog::sendTestMail() {
    MailMessage m;
    if (!readMailFields(m.server, m.to)) return;
    if (m.server.empty() || m.to.empty()) {
        lblMailStatus->setText(QStringLiteral("A test needs the SMTP server and the address."));
        return;
    }
    m.from = m.to;
    m.user = teSmtpUser->text().toStdString();
    m.password = teSmtpPassword->text().toStdString();
    m.subject = "Kestrelbox: a test message";
    m.body =
        "This is the test message sent from Kestrelbox's Settings. Failure notices will "
        "come this way.\n";
    btnTestMail->setEnabled(false);
    lblMailStatus->setText(QStringLiteral("Sending..."));
    auto* watcher = new QFutureWatcher<Status>(this);
    connect(watcher, &QFutureWatcher<Status>::finished, this, [this, watcher, to = m.to] {
        watcher->deleteLater();
        btnTestMail->setEnabled(true);
        const Status st = watcher->result();
        lblMailStatus->setText(
            st ? QStringLiteral("Sent to %1.").arg(QString::fromStdString(to))
               : QStringLiteral("Not sent: %1").arg(QString::fromStdString(st.error)));
    });
    watcher->setFuture(QtConcurrent::run([m] { return SendMail(m); }));
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
    std::string server, address;
    if (session_) {
        if (!readMailFields(server, address)) return;
        changed.SmtpUser = teSmtpUser->text().toStdString();
        changed.SmtpPassword = teSmtpPassword->text().toStdString();
        changed.SmtpPasswordInKeyring = false;
        if (chkSmtpKeyring->isEnabled() && chkSmtpKeyring->isChecked() &&
            !changed.SmtpPassword.empty()) {
            const Status kept = StoreSecret({server, 0, changed.SmtpUser}, changed.SmtpPassword);
            if (kept) {
                changed.SmtpPassword.clear();
                changed.SmtpPasswordInKeyring = true;
            }
        }
    }
    try {
        SaveSettings(changed);
    } catch (const RegistryError& e) {
        ErrorCentered(this, QString::fromStdString(e.what()));
        return;
    }
    options_ = changed;
    if (session_) {
        ServiceStore& store = session_->State().store;
        if (store.UseSMTP != chkUseSmtp->isChecked() || store.SmtpServer != server ||
            store.ReplyTo != address) {
            store.UseSMTP = chkUseSmtp->isChecked();
            store.SmtpServer = server;
            store.ReplyTo = address;
            session_->SaveConfig();
        }
    }
    accept();
}

bool ShowSettings(QWidget* mainWindow, Settings& options, Session* session) {
    const Settings before = options;
    SettingsDialog dlg(options, mainWindow, session);
    return dlg.exec() == QDialog::Accepted && !(options == before);
}

}  // namespace kb
