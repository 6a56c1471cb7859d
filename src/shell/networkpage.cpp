#include "shell/networkpage.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/servicecontext.h"
#include "shell/buttoncolumn.h"
#include "shell/clientsettings.h"
#include "shell/rulelist.h"
#include "ui/folderchooser.h"

namespace kb {

const std::array<NetworkPageRow, 6> kNetworkPages = {{
    {0, sidKazaa, "Kazaa", "Enable Kazaa File Automation", "tskazaa", "chkKazaa", "teKazaa",
     "Button10", "frSwapRules1"},
    {1, sidMorpheus, "Morpheus", "Enable Morpheus File Automation", "tsmorpheus", "chkMorpheus",
     "teMorpheus", "Button2", "frSwapRules2"},
    {2, sidGrokster, "Grokster", "Enable Grokster File Automation", "tsgrokster", "chkGrokster",
     "teGrokster", "Button3", "frSwapRules3"},
    {3, sidAudioGalaxy, "AudioGalaxy", "Enable AudioGalaxy File Automation", "tsaudiogalaxy",
     "chkAudioGalaxy", "teAudioGalaxy", "Button4", "frSwapRules4"},
    {4, sidBearShare, "BearShare", "Enable BearShare Automation", "tsbearshare", "chkBearShare",
     "teBearShare", "Button5", "frSwapRules5"},
    {5, sidLimeWire, "LimeWire", "Enable LimeWire Automation", "tslimewire", "chkLimeWire",
     "teLimeWire", "Button1", "frSwapRules7"},
}};

namespace {

QString Name(const char* latin1) { return QString::fromLatin1(latin1); }

QVBoxLayout* TightColumn(QWidget* page) {
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    return l;
}

}  // namespace

NetworkPage::NetworkPage(const NetworkPageRow& row, ServiceContext& context, QWidget* parent)
    : QWidget(parent), row_(row), context_(context) {
    setObjectName(Name(row.pageName));
    QVBoxLayout* l = TightColumn(this);

    // The top strip keeps the design's fixed positions.
    auto* strip = new QWidget(this);
    strip->setObjectName(Name(row.pageName) + QStringLiteral("Top"));
    strip->setFixedHeight(65);
    // Narrower, the field or its Browse... button would be cut off.
    strip->setMinimumWidth(4 + 253 + 65 + 4 - 1);
    switch_ = new QCheckBox(Name(row.switchCaption), strip);
    switch_->setObjectName(Name(row.switchName));
    switch_->setGeometry(4, 0, 257, 20);
    auto* label = new QLabel(Name(row.network) + QStringLiteral(" Shared Directory:"), strip);
    label->setObjectName(Name(row.pageName) + QStringLiteral("Label"));
    label->setGeometry(4, 24, 253, 16);
    folder_ = new QLineEdit(strip);
    folder_->setObjectName(Name(row.folderName));
    folder_->setReadOnly(true);
    folder_->setGeometry(4, 40, 253, 25);
    browse_ = new QPushButton(QStringLiteral("Browse..."), strip);
    browse_->setObjectName(Name(row.browseName));
    browse_->setGeometry(256, 40, 65, 25);
    strip_ = strip;
    strip->installEventFilter(this);
    l->addWidget(strip);
    client_ = new ClientRow(this);
    l->addWidget(client_);

    rules_ = new TfrSwapRules(context, this);
    rules_->setObjectName(Name(row.panelName));
    l->addWidget(rules_, 1);

    connect(switch_, &QCheckBox::clicked, this, &NetworkPage::SwitchClicked);
    connect(browse_, &QPushButton::clicked, this, &NetworkPage::BrowseClicked);
}

bool NetworkPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == strip_ && event->type() == QEvent::Resize) {
        // The design's widths are the least; a wider page widens the field.
        constexpr int kLeft = 4, kBrowseWidth = 65, kRightMargin = 4, kDesignFieldWidth = 253;
        const int field =
            std::max(kDesignFieldWidth, strip_->width() - kLeft - kBrowseWidth - kRightMargin + 1);
        folder_->setGeometry(kLeft, 40, field, 25);
        browse_->move(kLeft + field - 1, 40);
    }
    return QWidget::eventFilter(watched, event);
}

rServiceRules* NetworkPage::Record() const {
    auto& table = context_.Store().ServiceTable;
    return row_.position < static_cast<int>(table.size()) ? &table[row_.position] : nullptr;
}

void NetworkPage::SwitchClick() {
    rServiceRules* rec = Record();
    if (!rec) return;
    rec->enabled = switch_->isChecked();
    context_.SaveConfig();
}

void NetworkPage::BrowseClick(QString& start) {
    // Every folder on this system has a path, so an empty answer is a cancel.
    const QString native = ChooseFolder(context_.MainWindow(), folder_->text(), start);
    if (native.isEmpty()) return;
    rServiceRules* rec = Record();
    if (!rec) return;
    folder_->setText(native);
    // Only the directory changes: the baseline stays, so files already there
    // are not taken for new ones if the same folder is chosen again.
    rec->sharedir = native.toStdString();
    context_.SaveConfig();
}

OthersPage::OthersPage(ServiceContext& context, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsOthers"));
    QVBoxLayout* l = TightColumn(this);

    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("tsOthersTop"));
    strip->setFixedHeight(94);
    auto* sl = new QHBoxLayout(strip);
    sl->setContentsMargins(4, 0, 0, 0);
    sl->setSpacing(0);
    auto* left = new QVBoxLayout;
    left->setSpacing(0);
    auto* label = new QLabel(QStringLiteral("Additional Swapping Services:"), strip);
    label->setObjectName(QStringLiteral("lblOthers"));
    label->setFixedHeight(17);
    left->addWidget(label);
    services_ = new QListWidget(strip);
    services_->setObjectName(QStringLiteral("clService"));
    services_->setSelectionMode(QAbstractItemView::SingleSelection);
    services_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    services_->setMinimumWidth(120);
    left->addWidget(services_, 1);
    sl->addLayout(left, 1);

    // The buttons sit at the design's fixed heights.
    auto* column = new QWidget(strip);
    column->setObjectName(QStringLiteral("tsOthersButtons"));
    column->setFixedWidth(SideButtonColumnWidth());
    auto makeButton = [column](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, column);
        b->setObjectName(Name(name));
        b->setGeometry(4, top, SideButtonWidth(), 22);
        return b;
    };
    add_ = makeButton("btnAddService", QStringLiteral("Add Service..."), 18);
    edit_ = makeButton("btnEditService", QStringLiteral("Edit Service..."), 44);
    delete_ = makeButton("btnDeleteService", QStringLiteral("Delete Service"), 70);
    sl->addWidget(column);
    l->addWidget(strip);
    client_ = new ClientRow(this);
    l->addWidget(client_);

    rules_ = new TfrSwapRules(context, this);
    rules_->setObjectName(QStringLiteral("frSwapRules6"));
    l->addWidget(rules_, 1);

    services_->viewport()->installEventFilter(this);
}

void OthersPage::FillServices(const std::vector<rServiceRules>& table) {
    const QSignalBlocker quiet(services_);
    services_->clear();
    for (const rServiceRules& rec : table) {
        if (rec.serviceid != sidOther) continue;
        auto* item = new QListWidgetItem(QString::fromStdString(rec.othername));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        services_->addItem(item);
    }
    // The check marks go by number, as the numbering invariant promises.
    for (const rServiceRules& rec : table)
        if (rec.serviceid == sidOther && rec.enabled)
            if (QListWidgetItem* item = services_->item(rec.othernum - 1))
                item->setCheckState(Qt::Checked);

    const bool any = services_->count() > 0;
    rules_->btnAdd->setEnabled(any);
    edit_->setEnabled(any);
    delete_->setEnabled(any);
    if (any) services_->setCurrentRow(0);
}

bool OthersPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == services_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        emit ServicesDoubleClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kb
