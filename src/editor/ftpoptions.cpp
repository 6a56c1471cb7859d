#include "editor/ftpoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtConcurrent>

#include "editor/paramdialog.h"
#include "editor/paramexchange.h"
#include "engine/ftpupload.h"
#include "platform/ftpclient.h"
#include "platform/secrets.h"
#include "ui/msgbox.h"

namespace kb {

namespace {

// The password edit masks with "*", whatever the platform's style prefers.
class StarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

QLineEdit* edit(const char* name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1StringView(name));
    return e;
}

// Extensions whose files ASCII mode sends unharmed.
bool IsTextExtension(QString ext) {
    ext = ext.toLower();
    if (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
    static const QStringList text{"txt", "nfo", "diz", "csv", "log",  "htm", "html", "xml", "md",
                                  "ini", "srt", "sub", "m3u", "m3u8", "cue", "sfv",  "json"};
    return text.contains(ext);
}

// Whether every file the rule can pick is text: only when its extension
// conditions all name text types.
bool RuleTakesOnlyText(const RuleRec& rule) {
    bool any = false;
    for (const ruleacondrec& c : rule.conds) {
        if (c.rcond != condExtension) continue;
        for (const QString& e :
             QString::fromStdString(c.fileext.ext)
                 .split(QRegularExpression(QStringLiteral("[;, ]")), Qt::SkipEmptyParts)) {
            if (!IsTextExtension(e)) return false;
            any = true;
        }
    }
    return any;
}

}  // namespace

FtpOptionsDialog::FtpOptionsDialog(RuleRec& rule, QWidget* parent) : QDialog(parent), rule_(rule) {
    setObjectName(QStringLiteral("frmFTPOptions"));
    setWindowTitle(QStringLiteral("FTP Options"));
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    auto* options = new QWidget;
    options->setObjectName(QStringLiteral("TabSheet1"));
    teFTPServer = edit("teFTPServer", options);
    teFTPPort = edit("teFTPPort", options);
    teFTPPort->setFixedWidth(48);
    teFTPPort->setText(QStringLiteral("21"));
    teFTPPath = edit("teFTPPath", options);
    teFTPUser = edit("teFTPUser", options);
    teFTPPass = edit("teFTPPass", options);
    teFTPPass->setEchoMode(QLineEdit::Password);
    auto* maskStyle = new StarMaskStyle;
    maskStyle->setParent(teFTPPass);
    teFTPPass->setStyle(maskStyle);

    auto* server = new QVBoxLayout;
    server->setSpacing(0);
    server->addWidget(teFTPServer);
    server->addWidget(NewHintLabel(QStringLiteral("(ex. ftp.example.com)"), options));
    auto* port = new QHBoxLayout;
    port->addWidget(teFTPPort);
    port->addWidget(NewHintLabel(QStringLiteral("Standard port is 21"), options));
    port->addStretch();
    auto* form = new QFormLayout(options);
    form->addRow(QStringLiteral("FTP Server Name:"), server);
    form->addRow(QStringLiteral("FTP Port:"), port);
    form->addRow(QStringLiteral("Remote Directory:"), teFTPPath);
    form->addRow(QStringLiteral("User Name:"), teFTPUser);
    form->addRow(QStringLiteral("Password:"), teFTPPass);
    PageControl1->addTab(options, QStringLiteral("FTP Options"));

    auto* transfer = new QWidget;
    transfer->setObjectName(QStringLiteral("TabSheet2"));
    auto* mode = new QGroupBox(QStringLiteral("Transfer Mode"), transfer);
    rbASCII = new QRadioButton(QStringLiteral("Use ASCII Transfer Mode"), mode);
    rbASCII->setObjectName(QStringLiteral("rbASCII"));
    rbASCII->setChecked(true);
    rbBinary = new QRadioButton(QStringLiteral("Use Binary Transfer Mode"), mode);
    rbBinary->setObjectName(QStringLiteral("rbBinary"));
    auto* modeLayout = new QVBoxLayout(mode);
    modeLayout->addWidget(rbASCII);
    modeLayout->addWidget(rbBinary);
    chkPassive = new QCheckBox(QStringLiteral("Use Passive Transfer Mode"), transfer);
    chkPassive->setObjectName(QStringLiteral("chkPassive"));
    lblAsciiWarning = new QLabel(
        QStringLiteral("ASCII mode rewrites line ends: files that are not text arrive damaged."),
        transfer);
    lblAsciiWarning->setObjectName(QStringLiteral("lblAsciiWarning"));
    lblAsciiWarning->setWordWrap(true);
    {
        QPalette p = lblAsciiWarning->palette();
        p.setColor(QPalette::WindowText, QColor(160, 0, 0));
        lblAsciiWarning->setPalette(p);
    }

    auto* security = new QGroupBox(QStringLiteral("Security"), transfer);
    cbSecurity = new QComboBox(security);
    cbSecurity->setObjectName(QStringLiteral("cbSecurity"));
    cbSecurity->addItems({QStringLiteral("None: plain FTP"),
                          QStringLiteral("FTP with TLS, asked for (ftpes://)"),
                          QStringLiteral("FTP with TLS from the start (ftps://)"),
                          QStringLiteral("SFTP over SSH (sftp://)")});
    teKeyFile = edit("teKeyFile", security);
    teKeyFile->setPlaceholderText(QStringLiteral("~/.ssh/id_ed25519 or id_rsa"));
    btnKeyFile = new QPushButton(QStringLiteral("Browse..."), security);
    btnKeyFile->setObjectName(QStringLiteral("btnKeyFile"));
    btnTrust = new QPushButton(security);
    btnTrust->setObjectName(QStringLiteral("btnTrust"));
    lblTrust = new QLabel(security);
    lblTrust->setObjectName(QStringLiteral("lblTrust"));
    lblTrust->setWordWrap(true);
    lblTrust->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(teKeyFile, 1);
    keyRow->addWidget(btnKeyFile);
    auto* securityForm = new QFormLayout(security);
    securityForm->addRow(QStringLiteral("Connection:"), cbSecurity);
    securityForm->addRow(QStringLiteral("SSH key:"), keyRow);
    securityForm->addRow(btnTrust);
    securityForm->addRow(lblTrust);
    chkKeyring =
        new QCheckBox(QStringLiteral("Keep the password in the desktop's secret store"), transfer);
    chkKeyring->setObjectName(QStringLiteral("chkKeyring"));
    const bool storeRuns = SecretStoreAvailable();
    chkKeyring->setEnabled(storeRuns);
    chkKeyring->setChecked(storeRuns);
    if (!storeRuns)
        chkKeyring->setToolTip(
            QStringLiteral("No secret store runs in this session: the password is kept in "
                           "kbconf.ini."));

    auto* transferLayout = new QVBoxLayout(transfer);
    transferLayout->addWidget(mode);
    transferLayout->addWidget(lblAsciiWarning);
    transferLayout->addWidget(chkPassive);
    transferLayout->addWidget(security);
    transferLayout->addWidget(chkKeyring);
    transferLayout->addStretch();
    PageControl1->addTab(transfer, QStringLiteral("Transfer Options"));

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(NewButtonRow(Button1, Button2));

    PageControl1->setCurrentIndex(0);
    for (std::size_t i = 0; i < rule.actions.size(); ++i) {
        if (rule.actions[i].raction == actFtp) {
            actionIndex_ = static_cast<int>(i);
            break;
        }
    }
    // A new upload sends files as they are (ASCII mode rewrites line ends)
    // and opens its data connections itself (active mode fails behind
    // almost every router).
    rbBinary->setChecked(true);
    chkPassive->setChecked(true);
    if (actionIndex_ >= 0) {
        const racftp& ftp = rule.actions[actionIndex_].ftp;
        if (!ftp.ftpserver.empty()) {
            teFTPServer->setText(QString::fromStdString(ftp.ftpserver));
            teFTPPort->setText(QString::number(ftp.ftpport));
            teFTPPath->setText(QString::fromStdString(ftp.ftppath));
            teFTPUser->setText(QString::fromStdString(ftp.ftpuser));
            teFTPPass->setText(QString::fromStdString(ftp.ftppass));
            (ftp.ftpascmode ? rbASCII : rbBinary)->setChecked(true);
            chkPassive->setChecked(ftp.ftppassive);
            teKeyFile->setText(QString::fromStdString(ftp.keyFile));
            pinnedKey_ = ftp.pinnedKey;
            if (ftp.passwordInKeyring) {
                std::string why;
                const std::optional<std::string> password =
                    LookupSecret(UploadSecretKey(ftp), &why);
                chkKeyring->setChecked(true);
                if (password) {
                    teFTPPass->setText(QString::fromStdString(*password));
                } else {
                    teFTPPass->setPlaceholderText(QStringLiteral("not found in the secret store"));
                    teFTPPass->setToolTip(QString::fromStdString(why));
                }
            } else if (!ftp.ftppass.empty()) {
                // A password kept in the file stays there unless the user moves it.
                chkKeyring->setChecked(false);
            }
        }
    }
    lastSecurity_ = static_cast<int>(SecurityOf(teFTPServer->text().toStdString()));
    cbSecurity->setCurrentIndex(lastSecurity_);
    updateSecurityControls();
    updateAsciiWarning();
    connect(cbSecurity, &QComboBox::activated, this, &FtpOptionsDialog::securityChosen);
    connect(teFTPServer, &QLineEdit::textEdited, this, &FtpOptionsDialog::serverEdited);
    connect(rbASCII, &QRadioButton::toggled, this, &FtpOptionsDialog::updateAsciiWarning);
    connect(btnTrust, &QPushButton::clicked, this, &FtpOptionsDialog::askServer);
    connect(btnKeyFile, &QPushButton::clicked, this, [this] {
        const QString start =
            teKeyFile->text().isEmpty() ? QDir::homePath() + "/.ssh" : teKeyFile->text();
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("SSH key"), start);
        if (!file.isEmpty()) teKeyFile->setText(file);
    });

    connect(Button1, &QPushButton::clicked, this, &FtpOptionsDialog::confirm);
    connect(Button2, &QPushButton::clicked, this, &FtpOptionsDialog::reject);
    SetUpParamDialog(this, QSize(314, 233), Button1);
}

void FtpOptionsDialog::securityChosen(int index) {
    const auto chosen = static_cast<FtpSecurity>(index);
    const auto before = static_cast<FtpSecurity>(lastSecurity_);
    teFTPServer->setText(
        QString::fromStdString(WithSecurity(teFTPServer->text().toStdString(), chosen)));
    // The port follows the scheme while it is the old scheme's own.
    if (TypedWholeNumber(teFTPPort->text()) == DefaultPort(before))
        teFTPPort->setText(QString::number(DefaultPort(chosen)));
    if (chosen != before) pinnedKey_.clear();  // a key accepted for another protocol
    lastSecurity_ = index;
    updateSecurityControls();
}

void FtpOptionsDialog::serverEdited() {
    const int now = static_cast<int>(SecurityOf(teFTPServer->text().toStdString()));
    if (now == lastSecurity_) return;
    cbSecurity->setCurrentIndex(now);
    if (TypedWholeNumber(teFTPPort->text()) == DefaultPort(static_cast<FtpSecurity>(lastSecurity_)))
        teFTPPort->setText(QString::number(DefaultPort(static_cast<FtpSecurity>(now))));
    pinnedKey_.clear();
    lastSecurity_ = now;
    updateSecurityControls();
}

void FtpOptionsDialog::updateSecurityControls() {
    const auto security = static_cast<FtpSecurity>(cbSecurity->currentIndex());
    const bool sftp = security == FtpSecurity::Sftp;
    teKeyFile->setEnabled(sftp);
    btnKeyFile->setEnabled(sftp);
    btnTrust->setVisible(security != FtpSecurity::Plain);
    btnTrust->setText(sftp ? QStringLiteral("Trust this server's host key...")
                           : QStringLiteral("Accept this server's certificate..."));
    // SFTP has no transfer type or data connection of its own.
    rbASCII->setEnabled(!sftp);
    chkPassive->setEnabled(!sftp);
    showTrust();
}

void FtpOptionsDialog::showTrust() {
    const auto security = static_cast<FtpSecurity>(cbSecurity->currentIndex());
    if (security == FtpSecurity::Plain) {
        lblTrust->setText(QStringLiteral("Password and files travel unencrypted."));
    } else if (security == FtpSecurity::Sftp) {
        lblTrust->setText(QStringLiteral("The server's host key must be in ~/.ssh/known_hosts."));
    } else if (pinnedKey_.empty()) {
        lblTrust->setText(QStringLiteral("The certificate must be trusted by this system."));
    } else {
        lblTrust->setText(
            QStringLiteral("Accepted key: %1").arg(QString::fromStdString(pinnedKey_)));
    }
}

void FtpOptionsDialog::updateAsciiWarning() {
    lblAsciiWarning->setVisible(rbASCII->isChecked() && !RuleTakesOnlyText(rule_));
}

void FtpOptionsDialog::askServer() {
    FtpRequest r;
    r.server = teFTPServer->text().toStdString();
    r.port = TypedWholeNumber(teFTPPort->text()).value_or(0);
    r.user = teFTPUser->text().toStdString();
    if (!IsUsableServer(r.server) || FtpHost(r.server).empty()) {
        WarnAt(this, QStringLiteral("FTP server name required"));
        return;
    }
    btnTrust->setEnabled(false);
    lblTrust->setText(
        QStringLiteral("Asking %1...").arg(QString::fromStdString(FtpHost(r.server))));
    struct Answer {
        Status status = Status::Success();
        ServerIdentity id;
    };
    auto* watcher = new QFutureWatcher<Answer>(this);
    connect(watcher, &QFutureWatcher<Answer>::finished, this, [this, watcher, r] {
        watcher->deleteLater();
        btnTrust->setEnabled(true);
        const Answer a = watcher->result();
        if (!a.status.ok) {
            lblTrust->setText(QStringLiteral("The server could not be asked: %1")
                                  .arg(QString::fromStdString(a.status.error)));
            return;
        }
        const QString host = QString::fromStdString(FtpHost(r.server));
        if (SecurityOf(r.server) == FtpSecurity::Sftp) {
            const QString line = QString::fromStdString(a.id.knownHostsLine);
            const QString file = QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
            QMessageBox ask(QMessageBox::Question, QStringLiteral("Trust host key"),
                            QStringLiteral("%1 shows this host key:\n\n%2\n\nCompare it with "
                                           "the server's own (ssh-keygen -lf on the server) "
                                           "before you trust it. Add it to %3?")
                                .arg(host, line, file),
                            QMessageBox::Yes | QMessageBox::No, this);
            ask.setObjectName(QStringLiteral("TrustHostKey"));
            if (ask.exec() != QMessageBox::Yes) return showTrust();
            QDir().mkpath(QDir::homePath() + QStringLiteral("/.ssh"));
            QFile out(file);
            if (!out.open(QIODevice::Append | QIODevice::Text) ||
                out.write((line + QLatin1Char('\n')).toUtf8()) < 0) {
                lblTrust->setText(
                    QStringLiteral("Could not write %1: %2").arg(file, out.errorString()));
                return;
            }
            lblTrust->setText(QStringLiteral("The host key is trusted (%1).").arg(file));
            return;
        }
        QMessageBox ask(
            QMessageBox::Question, QStringLiteral("Accept certificate"),
            QStringLiteral("%1 shows a certificate for %2 with the key\n\n%3\n\n"
                           "Accept this key for this upload? Only a server with this "
                           "very key is then sent files.")
                .arg(host, QString::fromStdString(a.id.subject), QString::fromStdString(a.id.pin)),
            QMessageBox::Yes | QMessageBox::No, this);
        ask.setObjectName(QStringLiteral("AcceptCertificate"));
        if (ask.exec() == QMessageBox::Yes) pinnedKey_ = a.id.pin;
        showTrust();
    });
    watcher->setFuture(QtConcurrent::run([r] {
        Answer a;
        a.status = FetchServerIdentity(r, a.id, FtpTimeouts{5000, 5000, 5000});
        return a;
    }));
}

void FtpOptionsDialog::confirm() {
    // A refused field is shown: its tab comes to the front and it takes the
    // focus, whichever tab the user pressed OK on.
    auto refuse = [this](QLineEdit* field, const QString& text) {
        PageControl1->setCurrentIndex(0);
        WarnAt(this, text);
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    };
    // A TCP port is 1 to 65535; 0, negative and larger numbers never connect.
    const std::optional<std::int32_t> port = TypedWholeNumber(teFTPPort->text());
    if (!port || *port < 1 || *port > 65535)
        return refuse(teFTPPort, QStringLiteral("Invalid port number"));
    // A scheme alone ("sftp://") names no server either.
    if (teFTPServer->text().isEmpty() || FtpHost(teFTPServer->text().toStdString()).empty())
        return refuse(teFTPServer, QStringLiteral("FTP server name required"));
    if (teFTPUser->text().isEmpty())
        return refuse(teFTPUser, QStringLiteral("FTP username required"));
    // Over SFTP a key may be all the login there is.
    const bool sftp = SecurityOf(teFTPServer->text().toStdString()) == FtpSecurity::Sftp;
    if (teFTPPass->text().isEmpty() && !sftp)
        return refuse(teFTPPass, QStringLiteral("FTP password required"));
    // The rule may have lost its FTP action only through a caller's fault;
    // then there is nothing to write into.
    if (actionIndex_ >= 0 && actionIndex_ < static_cast<int>(rule_.actions.size())) {
        racftp& ftp = rule_.actions[actionIndex_].ftp;
        ftp.ftpport = *port;
        ftp.ftpserver = teFTPServer->text().toStdString();
        ftp.ftppath = teFTPPath->text().toStdString();
        ftp.ftpuser = teFTPUser->text().toStdString();
        ftp.ftppass = teFTPPass->text().toStdString();
        ftp.ftpascmode = rbASCII->isChecked();
        ftp.ftppassive = chkPassive->isChecked();
        ftp.keyFile = sftp ? teKeyFile->text().toStdString() : std::string();
        ftp.pinnedKey = pinnedKey_;
        ftp.passwordInKeyring = false;
        if (chkKeyring->isChecked() && chkKeyring->isEnabled() && !ftp.ftppass.empty()) {
            const Status kept = StoreSecret(UploadSecretKey(ftp), ftp.ftppass);
            if (kept) {
                ftp.ftppass.clear();
                ftp.passwordInKeyring = true;
            } else {
                WarnAt(this, QStringLiteral("The password could not be put in the secret store "
                                            "(%1); it is kept in kbconf.ini.")
                                 .arg(QString::fromStdString(kept.error)));
            }
        }
    }
    accept();
}

}  // namespace kb
