#include "shell/addservice.h"

#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "runtime/servicecontext.h"
#include "shell/clientsettings.h"
#include "ui/folderchooser.h"
#include "ui/msgbox.h"
#include "ui/placement.h"

namespace kb {

namespace {

constexpr int kClientWidth = 295;
constexpr int kClientHeight = 178;
constexpr int kBottomStripHeight = 33;
// Room for the list of folders found on this computer, above the buttons.
constexpr int kFoundRowsHeight = 46 + 26;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    const int room = kClientWidth - x - 4;
    // The layout is fixed; with a desktop font wider than the one it was
    // drawn for, a long caption goes on to a second line in the dialog's own
    // font (the caller makes room below it) rather than being cut or shrunk.
    if (l->fontMetrics().horizontalAdvance(text) > room) {
        l->setWordWrap(true);
        l->resize(room, l->heightForWidth(room));
    } else {
        l->resize(room, l->sizeHint().height());
    }
    return l;
}

// How much taller than one line of its font a caption had to be.
int ExtraLines(const QLabel* l) {
    return l->wordWrap() ? std::max(0, l->height() - l->fontMetrics().height()) : 0;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int x, int y, int width) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, width, e->sizeHint().height());
    return e;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text,
                        const QRect& geometry) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    return b;
}

}  // namespace

AddServiceDialog::AddServiceDialog(ServiceContext& ctx, bool ServiceEditMode, QWidget* parent,
                                   std::vector<FoundClient> found)
    : QDialog(parent),
      ctx_(ctx),
      editMode_(ServiceEditMode),
      found_(ServiceEditMode ? std::vector<FoundClient>() : std::move(found)),
      browseStart_(QDir::homePath()) {
    setObjectName(QStringLiteral("frmAddService"));
    setWindowTitle(QStringLiteral("Add Service"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    Label1 = makeLabel(this, "Label1", QStringLiteral("Enter Service Name:"), 8, 8);
    // Wide enough for names such as "Transmission daemon".
    teService = makeEdit(this, "teService", 8, 24, 177);
    Label2 = makeLabel(this, "Label2", QStringLiteral("Enter Shared Directory:"), 8, 50);
    teSharedDir = makeEdit(this, "teSharedDir", 8, 66, 177);
    // The directory comes only from the folder chooser, so it always names a
    // folder the user actually picked.
    teSharedDir->setReadOnly(true);
    teSharedDir->setPlaceholderText(QStringLiteral("Choose with Browse..."));
    Button3 = makeButton(this, "Button3", QStringLiteral("Browse..."), QRect(184, 64, 65, 25));
    Label3 = makeLabel(this, "Label3",
                       QStringLiteral("Enter Files To Be Excluded From Rules (Ex. *.dat;kazaa*)"),
                       8, 96);
    // Everything below the masks' caption moves down by its second line, if any.
    const int dy = ExtraLines(Label3);
    const int height = kClientHeight + dy + (found_.empty() ? 0 : kFoundRowsHeight);
    setFixedSize(kClientWidth, height);
    teExclude = makeEdit(this, "teExclude", 8, 112 + dy, 177);
    if (!found_.empty()) {
        lblFound =
            makeLabel(this, "lblFound", QStringLiteral("Found on this computer:"), 8, 140 + dy);
        cbFound = new QComboBox(this);
        cbFound->setObjectName(QStringLiteral("cbFound"));
        for (const FoundClient& o : found_)
            cbFound->addItem(QString::fromStdString(o.client) + QStringLiteral(": ") +
                             QDir::toNativeSeparators(QString::fromStdString(o.folder)));
        cbFound->setPlaceholderText(QStringLiteral("Choose one to fill in the fields"));
        cbFound->setCurrentIndex(-1);
        cbFound->setGeometry(8, 156 + dy, kClientWidth - 16, cbFound->sizeHint().height());
        connect(cbFound, &QComboBox::activated, this, &AddServiceDialog::foundChosen);
        const int row = 156 + dy + cbFound->sizeHint().height() + 4;
        btnTestFoundClient =
            makeButton(this, "btnTestFoundClient", QStringLiteral("Test"), QRect(8, row, 50, 22));
        lblFoundClient = new QLabel(this);
        lblFoundClient->setObjectName(QStringLiteral("lblFoundClient"));
        lblFoundClient->setGeometry(62, row, kClientWidth - 66, 22);
        lblFoundClient->setTextFormat(Qt::PlainText);
        btnTestFoundClient->setEnabled(false);
        connect(btnTestFoundClient, &QPushButton::clicked, this,
                &AddServiceDialog::testFoundClient);
        connect(&trial_, &QFutureWatcher<QString>::finished, this, [this] {
            btnTestFoundClient->setEnabled(true);
            lblFoundClient->setText(trial_.result());
            lblFoundClient->setToolTip(trial_.result());
        });
    }

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setGeometry(0, height - kBottomStripHeight, kClientWidth, kBottomStripHeight);
    Button1 = makeButton(Panel1, "Button1", QStringLiteral("OK"), QRect(56, 4, 81, 25));
    Button2 = makeButton(Panel1, "Button2", QStringLiteral("Cancel"), QRect(144, 4, 81, 25));
    Button1->setDefault(true);

    connect(Button3, &QPushButton::clicked, this, &AddServiceDialog::browse);
    connect(Button1, &QPushButton::clicked, this, &AddServiceDialog::confirm);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    place();
}

void AddServiceDialog::place() {
    PlaceDialog(this, ctx_.MainWindow());
    if (!editMode_) return;
    setWindowTitle(QStringLiteral("Edit Service"));
    const int idx = ctx_.CurrentServiceIndex();
    const auto& table = ctx_.Store().ServiceTable;
    if (idx < 0 || idx >= static_cast<int>(table.size())) return;
    const rServiceRules& rec = table[idx];
    editedUid_ = rec.uid;
    teService->setText(QString::fromStdString(rec.othername));
    teSharedDir->setText(QString::fromStdString(rec.sharedir));
    teExclude->setText(QString::fromStdString(rec.excludefiles));
}

void AddServiceDialog::foundChosen(int index) {
    if (index < 0 || index >= static_cast<int>(found_.size())) return;
    const FoundClient& o = found_[index];
    teService->setText(QString::fromStdString(o.name));
    teSharedDir->setText(QDir::toNativeSeparators(QString::fromStdString(o.folder)));
    teExclude->setText(QString::fromStdString(o.masks));
    browseStart_ = teSharedDir->text();
    chosen_ = index;
    // Whether Kestrelbox can ask this client about its downloads.
    const bool askable = o.iface.kind != ClientKind::None;
    btnTestFoundClient->setEnabled(askable && !trial_.isRunning());
    lblFoundClient->setToolTip({});
    if (!askable)
        lblFoundClient->setText(QStringLiteral("Kestrelbox cannot ask this client."));
    else if (!o.iface.enabled)
        lblFoundClient->setText(QStringLiteral("Its interface is switched off in its settings."));
    else
        lblFoundClient->setText(
            QStringLiteral("Asked at %1").arg(QString::fromStdString(o.iface.address)));
}

void AddServiceDialog::testFoundClient() {
    if (chosen_ < 0 || trial_.isRunning()) return;
    const FoundClient& o = found_[static_cast<std::size_t>(chosen_)];
    std::optional<ClientLink> link = LinkFor(o.folder, {}, {o});
    if (!link) {
        // Switched off in its settings: asked all the same, to say so.
        link =
            ClientLink{o.folder, o.iface.kind, o.iface.address, o.iface.user, o.iface.secret, true};
    }
    btnTestFoundClient->setEnabled(false);
    lblFoundClient->setText(QStringLiteral("Asking..."));
    const ClientLink l = *link;
    trial_.setFuture(QtConcurrent::run([l] {
        const ClientTrial t = TryClient(l);
        return QString::fromLatin1(ClientKindName(l.kind)) + QStringLiteral(" ") + t.text;
    }));
}

int AddServiceDialog::editedIndex() const {
    if (!editMode_ || editedUid_ == 0) return -1;
    return ctx_.Store().FindByUid(editedUid_);
}

void AddServiceDialog::browse() {
    const QString chosen = ChooseFolder(this, teSharedDir->text(), browseStart_);
    if (!chosen.isEmpty()) teSharedDir->setText(chosen);
}

QString AddServiceDialog::validationProblem() const {
    // Spaces around a name are never part of it: "   " is no name, and
    // "Alpha " is the same service as "Alpha".
    const QString name = teService->text().trimmed();
    if (name.isEmpty()) return QStringLiteral("Service name required");
    if (teSharedDir->text().isEmpty()) return QStringLiteral("Shared directory required");
    const int self = editedIndex();
    const auto& table = ctx_.Store().ServiceTable;
    for (int i = 0; i < static_cast<int>(table.size()); ++i)
        if (i != self && QString::fromStdString(table[i].othername).trimmed() == name)
            return QStringLiteral("Service name matches existing name");
    return {};
}

void AddServiceDialog::confirm() {
    if (const QString problem = validationProblem(); !problem.isEmpty()) {
        WarnAt(this, problem);
        return;
    }
    const std::string name = teService->text().trimmed().toStdString();
    const std::string dir = teSharedDir->text().toStdString();
    const std::string exclude = teExclude->text().toStdString();
    ServiceStore& store = ctx_.Store();
    if (!editMode_) {
        store.AppendAdditional(name, dir, exclude);
        accept();
        return;
    }
    const int idx = editedIndex();
    if (idx < 0) {
        // The service went away while the dialog was open; storing the fields
        // into another record would be worse than dropping the edit.
        reject();
        return;
    }
    rServiceRules& rec = store.ServiceTable[idx];
    rec.serviceid = sidOther;
    rec.sharedir = dir;
    rec.othername = name;
    rec.excludefiles = exclude;
    accept();
}

}  // namespace kb
