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

#include "runtime/scanscheduler.h"
#include "runtime/session.h"
#include "shell/addservice.h"
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

NetworkPage::NetworkPage(const NetworkPageRow& row, Session& session, QWidget* parent)
    : QWidget(parent), row_(row), session_(session) {
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

    rules_ = new RuleListPanel(session, this);
    rules_->setObjectName(Name(row.panelName));
    rules_->SetRuleTip([this](const RuleRec& rule) {
        const rServiceRules* rec = record();
        return rec ? session_.RuleTip(*rec, rule) : QString();
    });
    rules_->SetRuleFailure([this](const RuleRec& rule) {
        const rServiceRules* rec = record();
        return rec ? session_.RuleFailure(*rec, rule) : QString();
    });
    l->addWidget(rules_, 1);
    failing_ = new QLabel(this);
    failing_->setObjectName(QStringLiteral("lblFailing"));
    failing_->setVisible(false);
    l->addWidget(failing_);
    // After each pass the marks and the count follow the journal.
    connect(&session_.Scheduler(), &ScanScheduler::PassFinished, this, [this] {
        rules_->RefreshMarks();
        showFailing();
    });

    connect(switch_, &QCheckBox::clicked, this, &NetworkPage::switchClicked);
    connect(browse_, &QPushButton::clicked, this, &NetworkPage::browseClicked);
    connect(client_, &ClientRow::LinkChanged, &session_, &Session::RefreshClients);
    connect(&session_, &Session::RulesChanged, this, [this](std::uint8_t id) {
        if (id == row_.serviceId) refreshRules();
    });
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

rServiceRules* NetworkPage::record() const {
    auto& table = session_.Store().ServiceTable;
    return row_.position < static_cast<int>(table.size()) ? &table[row_.position] : nullptr;
}

void NetworkPage::Refresh() {
    const rServiceRules* rec = record();
    switch_->setChecked(rec && rec->enabled);
    folder_->setText(rec ? QString::fromStdString(rec->sharedir) : QString());
    refreshRules();
    rules_->SetButtons();
}

void NetworkPage::refreshRules() {
    const rServiceRules* rec = record();
    rules_->FillRules(rec ? &rec->rulelist : nullptr);
    client_->SetFolder(rec ? rec->sharedir : std::string());
    showFailing();
}

void NetworkPage::showFailing() {
    const int n = rules_->FailingCount();
    failing_->setVisible(n > 0);
    failing_->setText(n == 1 ? QStringLiteral("1 rule is failing: its last action did not succeed "
                                              "(the Activity page says why).")
                             : QStringLiteral("%1 rules are failing: their last actions did not "
                                              "succeed (the Activity page says why).")
                                   .arg(n));
}

void NetworkPage::switchClicked() {
    rServiceRules* rec = record();
    if (!rec) return;
    rec->enabled = switch_->isChecked();
    session_.SaveConfig();
}

void NetworkPage::browseClicked() {
    // Every folder on this system has a path, so an empty answer is a cancel.
    const QString native = ChooseFolder(window(), folder_->text(), session_.LastChosenFolder());
    if (native.isEmpty()) return;
    rServiceRules* rec = record();
    if (!rec) return;
    folder_->setText(native);
    // Only the directory changes: the record keeps its identity, and with it
    // the baseline, so files already there are not taken for new ones if the
    // same folder is chosen again.
    rec->sharedir = native.toStdString();
    client_->SetFolder(rec->sharedir);
    session_.SaveConfig();
}

OthersPage::OthersPage(Session& session, QWidget* parent) : QWidget(parent), session_(session) {
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
    QPushButton* add = makeButton("btnAddService", QStringLiteral("Add Service..."), 18);
    edit_ = makeButton("btnEditService", QStringLiteral("Edit Service..."), 44);
    delete_ = makeButton("btnDeleteService", QStringLiteral("Delete Service"), 70);
    sl->addWidget(column);
    l->addWidget(strip);
    client_ = new ClientRow(this);
    l->addWidget(client_);

    rules_ = new RuleListPanel(session, this);
    rules_->setObjectName(QStringLiteral("frSwapRules6"));
    rules_->SetRuleTip([this](const RuleRec& rule) {
        const int at = session_.RecordFor(sidOther);
        return at < 0 ? QString()
                      : session_.RuleTip(
                            session_.Store().ServiceTable[static_cast<std::size_t>(at)], rule);
    });
    rules_->SetRuleFailure([this](const RuleRec& rule) {
        const int at = session_.RecordFor(sidOther);
        return at < 0 ? QString()
                      : session_.RuleFailure(
                            session_.Store().ServiceTable[static_cast<std::size_t>(at)], rule);
    });
    connect(&session_.Scheduler(), &ScanScheduler::PassFinished, rules_,
            &RuleListPanel::RefreshMarks);
    l->addWidget(rules_, 1);

    services_->viewport()->installEventFilter(this);
    connect(add, &QPushButton::clicked, this, &OthersPage::AddService);
    connect(edit_, &QPushButton::clicked, this, &OthersPage::editService);
    connect(delete_, &QPushButton::clicked, this, &OthersPage::deleteService);
    connect(services_, &QListWidget::itemSelectionChanged, this, &OthersPage::selectionChanged);
    connect(services_, &QListWidget::itemChanged, this, &OthersPage::checkChanged);
    connect(client_, &ClientRow::LinkChanged, &session_, &Session::RefreshClients);
    connect(&session_, &Session::RulesChanged, this, [this](std::uint8_t id) {
        if (id == sidOther) refreshRules();
    });
}

int OthersPage::selectedLine() const {
    QListWidgetItem* item = services_->currentItem();
    return item && item->isSelected() ? services_->currentRow() : -1;
}

void OthersPage::FillServices() {
    const auto& table = session_.Store().ServiceTable;
    {
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
    }
    const bool any = services_->count() > 0;
    edit_->setEnabled(any);
    delete_->setEnabled(any);
    if (any) services_->setCurrentRow(0);
    session_.SetSelectedOtherLine(selectedLine());
    refreshRules();
}

void OthersPage::SelectLine(int line) {
    if (line >= 0 && line < services_->count()) services_->setCurrentRow(line);
}

void OthersPage::refreshRules() {
    const int at = session_.RecordFor(sidOther);
    const auto& table = session_.Store().ServiceTable;
    rules_->FillRules(at >= 0 ? &table[static_cast<std::size_t>(at)].rulelist : nullptr);
    client_->SetFolder(at >= 0 ? table[static_cast<std::size_t>(at)].sharedir : std::string());
    // "Add Rule..." needs a service to add to.
    rules_->SetCanAdd(session_.Store().CustomCount() > 0);
}

void OthersPage::selectionChanged() {
    session_.SetSelectedOtherLine(selectedLine());
    refreshRules();
}

void OthersPage::checkChanged(QListWidgetItem* item) {
    if (!item) return;
    const int line = services_->row(item);
    if (line < 0) return;
    // Toggling a mark makes its line the selected one, so the rule panel
    // shows the service being switched.
    if (selectedLine() != line) services_->setCurrentRow(line);
    const int index = session_.Store().FindAdditional(line + 1);
    if (index < 0) return;
    session_.Store().ServiceTable[static_cast<std::size_t>(index)].enabled =
        item->checkState() == Qt::Checked;
    session_.SaveConfig();
}

void OthersPage::AddService() {
    std::vector<std::string> taken;
    for (const rServiceRules& r : session_.Store().ServiceTable) taken.push_back(r.sharedir);
    AddServiceDialog dlg(session_, false, window(),
                         FindClients(ClientPlaces::FromEnvironment(), taken));
    if (dlg.exec() != QDialog::Accepted) return;
    FillServices();
    // The new service, listed last, is the one the next Add Rule... or
    // Delete Service acts on.
    services_->setCurrentRow(services_->count() - 1);
    session_.SaveConfig();
    emit ServicesChanged();
}

void OthersPage::editService() {
    const int line = selectedLine();
    if (line < 0) return;
    AddServiceDialog dlg(session_, true, window());
    if (dlg.exec() != QDialog::Accepted) return;
    FillServices();
    if (line < services_->count()) services_->setCurrentRow(line);
    session_.SaveConfig();
}

void OthersPage::deleteService() {
    const int line = selectedLine();
    if (line >= 0) {
        ServiceStore& store = session_.Store();
        const int index = store.FindAdditional(line + 1);
        if (index >= 0)
            session_.RememberDeletedService(index,
                                            store.ServiceTable[static_cast<std::size_t>(index)]);
        store.DeleteService(index);
    }
    FillServices();
    // Saved at once: nothing is saved at exit, so a deletion kept only in
    // memory would bring the service back at the next start.
    session_.SaveConfig();
    emit ServicesChanged();
}

bool OthersPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == services_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        if (selectedLine() >= 0) editService();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kb
