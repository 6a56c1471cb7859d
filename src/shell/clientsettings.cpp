#include "shell/clientsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/registry.h"
#include "remote/clientdesk.h"
#include "ui/msgbox.h"
#include "ui/placement.h"

namespace kb {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The address each client serves by default, for a link typed by hand.
QString DefaultAddress(ClientKind kind) {
    switch (kind) {
        case ClientKind::QBittorrent:
            return QStringLiteral("http://127.0.0.1:8080/");
        case ClientKind::Transmission:
            return QStringLiteral("http://127.0.0.1:9091/transmission/rpc");
        case ClientKind::Aria2:
            return QStringLiteral("http://127.0.0.1:6800/jsonrpc");
        case ClientKind::None:
            break;
    }
    return {};
}

constexpr ClientKind kKinds[] = {ClientKind::None, ClientKind::QBittorrent,
                                 ClientKind::Transmission, ClientKind::Aria2};

std::optional<ClientLink> CurrentLink(const std::string& folder, bool& found) {
    const std::vector<ClientLink> stored = LoadClientLinks();
    const std::string clean = CleanFolderPath(folder);
    found = std::none_of(stored.begin(), stored.end(),
                         [&](const ClientLink& l) { return l.folder == clean; });
    return LinkFor(folder, stored, FindClients(ClientPlaces::FromEnvironment()));
}

}  // namespace

ClientTrial TryClient(const ClientLink& link) {
    const std::shared_ptr<DownloadClient> client = ClientOf(link);
    if (!client) return {false, QStringLiteral("no client is set")};
    std::vector<ClientDownload> downloads;
    const Status st = client->List(downloads);
    if (!st) return {false, QStringLiteral("cannot be asked: ") + Q(st.error)};
    return {true,
            QStringLiteral("answers: %1")
                .arg(downloads.size() == 1 ? QStringLiteral("1 download")
                                           : QStringLiteral("%1 downloads").arg(downloads.size()))};
}

ClientSettingsDialog::ClientSettingsDialog(const std::string& folder,
                                           const std::optional<ClientLink>& current,
                                           QWidget* parent)
    : QDialog(parent), folder_(CleanFolderPath(folder)) {
    setObjectName(QStringLiteral("frmClientSettings"));
    setWindowTitle(QStringLiteral("Download Client"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* intro = new QLabel(
        QStringLiteral("The client that downloads into %1. Asked, it tells which downloads are "
                       "unfinished (paused ones too), and moves what it seeds so it goes on "
                       "seeding.")
            .arg(Q(folder_)),
        this);
    intro->setWordWrap(true);
    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("cbClientKind"));
    kind_->addItem(QStringLiteral("None: the file system decides"));
    for (std::size_t i = 1; i < std::size(kKinds); ++i)
        kind_->addItem(QString::fromLatin1(ClientKindName(kKinds[i])));
    address_ = new QLineEdit(this);
    address_->setObjectName(QStringLiteral("teClientAddress"));
    user_ = new QLineEdit(this);
    user_->setObjectName(QStringLiteral("teClientUser"));
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("teClientPassword"));
    password_->setEchoMode(QLineEdit::Password);
    relocate_ = new QCheckBox(QStringLiteral("Let the client move what it seeds"), this);
    relocate_->setObjectName(QStringLiteral("chkClientRelocate"));
    test_ = new QPushButton(QStringLiteral("Test"), this);
    test_->setObjectName(QStringLiteral("btnTestClient"));
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("lblClientTest"));
    result_->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Client:"), kind_);
    form->addRow(QStringLiteral("Address:"), address_);
    userLabel_ = new QLabel(QStringLiteral("User name:"), this);
    passwordLabel_ = new QLabel(QStringLiteral("Password:"), this);
    form->addRow(userLabel_, user_);
    form->addRow(passwordLabel_, password_);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(test_);
    testRow->addWidget(result_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("Buttons"));
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(intro);
    outer->addLayout(form);
    outer->addWidget(relocate_);
    outer->addWidget(new QLabel(QStringLiteral("The password is kept in Kestrelbox's settings "
                                               "file, readable by you alone."),
                                this));
    outer->addLayout(testRow);
    outer->addWidget(buttons);

    const ClientLink link = current.value_or(ClientLink{});
    for (std::size_t i = 0; i < std::size(kKinds); ++i)
        if (kKinds[i] == link.kind) kind_->setCurrentIndex(static_cast<int>(i));
    address_->setText(Q(link.address));
    user_->setText(Q(link.user));
    password_->setText(Q(link.password));
    relocate_->setChecked(link.relocate);
    kindChanged();

    connect(kind_, &QComboBox::currentIndexChanged, this, [this] {
        address_->setText(DefaultAddress(kKinds[kind_->currentIndex()]));
        kindChanged();
    });
    connect(test_, &QPushButton::clicked, this, &ClientSettingsDialog::testClicked);
    connect(&trial_, &QFutureWatcher<ClientTrial>::finished, this,
            &ClientSettingsDialog::testEnded);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(460);
    adjustSize();
    PlaceDialog(this, parent);
}

void ClientSettingsDialog::kindChanged() {
    const ClientKind kind = kKinds[kind_->currentIndex()];
    const bool any = kind != ClientKind::None;
    for (QWidget* w : {static_cast<QWidget*>(address_), static_cast<QWidget*>(user_),
                       static_cast<QWidget*>(password_), static_cast<QWidget*>(test_)})
        w->setEnabled(any);
    // aria2 has a secret, and cannot move its downloads.
    const bool aria2 = kind == ClientKind::Aria2;
    user_->setVisible(!aria2);
    userLabel_->setVisible(!aria2);
    passwordLabel_->setText(aria2 ? QStringLiteral("Secret:") : QStringLiteral("Password:"));
    relocate_->setEnabled(any && !aria2);
    result_->clear();
}

ClientLink ClientSettingsDialog::Link() const {
    ClientLink l;
    l.folder = folder_;
    l.kind = kKinds[kind_->currentIndex()];
    if (l.kind == ClientKind::None) return l;
    l.address = address_->text().trimmed().toStdString();
    l.user = l.kind == ClientKind::Aria2 ? std::string() : user_->text().toStdString();
    l.password = password_->text().toStdString();
    l.relocate = relocate_->isChecked();
    return l;
}

void ClientSettingsDialog::testClicked() {
    if (trial_.isRunning()) return;
    result_->setText(QStringLiteral("Asking..."));
    test_->setEnabled(false);
    const ClientLink link = Link();
    trial_.setFuture(QtConcurrent::run([link] { return TryClient(link); }));
}

void ClientSettingsDialog::testEnded() {
    test_->setEnabled(kKinds[kind_->currentIndex()] != ClientKind::None);
    result_->setText(trial_.result().text);
}

ClientRow::ClientRow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ClientRow"));
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("lblClient"));
    label_->setTextFormat(Qt::PlainText);
    test_ = new QPushButton(QStringLiteral("Test"), this);
    test_->setObjectName(QStringLiteral("btnClientTest"));
    settings_ = new QPushButton(QStringLiteral("Client..."), this);
    settings_->setObjectName(QStringLiteral("btnClient"));
    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(4, 2, 4, 2);
    l->addWidget(label_, 1);
    l->addWidget(test_);
    l->addWidget(settings_);
    connect(test_, &QPushButton::clicked, this, &ClientRow::testClicked);
    connect(settings_, &QPushButton::clicked, this, &ClientRow::settingsClicked);
    connect(&trial_, &QFutureWatcher<ClientTrial>::finished, this, [this] {
        test_->setEnabled(link_.has_value());
        label_->setText(label_->text() + QStringLiteral(": ") + trial_.result().text);
    });
    refresh();
}

void ClientRow::SetFolder(const std::string& folder) {
    folder_ = folder;
    refresh();
}

void ClientRow::refresh() {
    link_.reset();
    if (!folder_.empty()) {
        link_ = CurrentLink(folder_, found_);
        if (link_ && link_->kind == ClientKind::None) link_.reset();
    }
    settings_->setEnabled(!folder_.empty());
    test_->setEnabled(link_.has_value());
    if (!link_) {
        label_->setText(QStringLiteral("Download client: none"));
        return;
    }
    label_->setText(QStringLiteral("Download client: %1 at %2%3")
                        .arg(QString::fromLatin1(ClientKindName(link_->kind)), Q(link_->address),
                             found_ ? QStringLiteral(" (from its settings)") : QString()));
}

void ClientRow::testClicked() {
    if (!link_ || trial_.isRunning()) return;
    refresh();
    test_->setEnabled(false);
    const ClientLink link = *link_;
    trial_.setFuture(QtConcurrent::run([link] { return TryClient(link); }));
}

void ClientRow::settingsClicked() {
    if (folder_.empty()) return;
    bool found = false;
    ClientSettingsDialog dlg(folder_, CurrentLink(folder_, found), window());
    if (dlg.exec() != QDialog::Accepted) return;
    const ClientLink chosen = dlg.Link();
    std::vector<ClientLink> links = LoadClientLinks();
    std::erase_if(links, [&](const ClientLink& l) { return l.folder == chosen.folder; });
    links.push_back(chosen);
    try {
        SaveClientLinks(links);
    } catch (const RegistryError& e) {
        ErrorCentered(this, QString::fromStdString(e.what()));
        return;
    }
    refresh();
    emit LinkChanged();
}

}  // namespace kb
