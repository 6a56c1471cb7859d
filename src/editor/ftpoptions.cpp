#include "editor/ftpoptions.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "editor/paramdialog.h"
#include "editor/paramexchange.h"
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
    auto* transferLayout = new QVBoxLayout(transfer);
    transferLayout->addWidget(mode);
    transferLayout->addWidget(chkPassive);
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
        }
    }

    connect(Button1, &QPushButton::clicked, this, &FtpOptionsDialog::confirm);
    connect(Button2, &QPushButton::clicked, this, &FtpOptionsDialog::reject);
    SetUpParamDialog(this, QSize(314, 233), Button1);
}

void FtpOptionsDialog::confirm() {
    // A TCP port is 1 to 65535; 0, negative and larger numbers never connect.
    const std::optional<std::int32_t> port = TypedWholeNumber(teFTPPort->text());
    if (!port || *port < 1 || *port > 65535) {
        WarnAt(this, QStringLiteral("Invalid port number"));
        return;
    }
    if (teFTPServer->text().isEmpty()) {
        WarnAt(this, QStringLiteral("FTP server name required"));
        return;
    }
    if (teFTPUser->text().isEmpty()) {
        WarnAt(this, QStringLiteral("FTP username required"));
        return;
    }
    if (teFTPPass->text().isEmpty()) {
        WarnAt(this, QStringLiteral("FTP password required"));
        return;
    }
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
    }
    accept();
}

}  // namespace kb
