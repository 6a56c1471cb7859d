#include "shell/activitypage.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace kb {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString BaseName(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    return Q(sep == std::string::npos ? path : path.substr(sep + 1));
}

QString FolderOf(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    return Q(sep == std::string::npos ? std::string() : path.substr(0, sep == 0 ? 1 : sep));
}

bool Undoable(const JournalEntry& e) {
    return e.ok && e.undoneBy == 0 &&
           (e.action == "move" || e.action == "copy" || e.action == "trash");
}

QString Capitalised(QString s) {
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s;
}

}  // namespace

QString FolderOfFileNow(const JournalEntry& e) {
    if (!e.ok || e.undoneBy != 0) return FolderOf(e.source);
    if (e.action == "move" || e.action == "copy") return Q(e.target);
    if (e.action == "trash") return FolderOf(e.target);
    if (e.action.rfind("undo ", 0) == 0) return Q(e.target);
    return FolderOf(e.source);
}

ActivityModel::ActivityModel(Journal* journal, QObject* parent)
    : QAbstractTableModel(parent), journal_(journal) {}

JournalQuery ActivityModel::query() const {
    JournalQuery q;
    q.text = text_.toStdString();
    q.failuresOnly = failuresOnly_;
    q.limit = kPage;
    return q;
}

void ActivityModel::SetFilter(const QString& text, bool failuresOnly) {
    beginResetModel();
    text_ = text;
    failuresOnly_ = failuresOnly;
    rows_.clear();
    atEnd_ = journal_ == nullptr;
    endResetModel();
    if (canFetchMore({})) fetchMore({});
}

void ActivityModel::Refresh() {
    if (!journal_) return;
    if (rows_.empty()) {
        SetFilter(text_, failuresOnly_);
        return;
    }
    JournalQuery q = query();
    q.afterId = rows_.front().id;
    q.limit = 100000;
    std::vector<JournalEntry> fresh = journal_->Read(q);
    if (fresh.empty()) return;
    beginInsertRows({}, 0, static_cast<int>(fresh.size()) - 1);
    rows_.insert(rows_.begin(), fresh.begin(), fresh.end());
    endInsertRows();
}

void ActivityModel::Reload(int row) {
    if (!journal_ || row < 0 || row >= rowCount()) return;
    if (std::optional<JournalEntry> e = journal_->Get(rows_[static_cast<std::size_t>(row)].id)) {
        rows_[static_cast<std::size_t>(row)] = *e;
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
}

int ActivityModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ActivityModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool ActivityModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !atEnd_;
}

void ActivityModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || atEnd_ || !journal_) return;
    JournalQuery q = query();
    if (!rows_.empty()) q.beforeId = rows_.back().id;
    std::vector<JournalEntry> more = journal_->Read(q);
    atEnd_ = static_cast<int>(more.size()) < kPage;
    if (more.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(more.size()) - 1);
    rows_.insert(rows_.end(), more.begin(), more.end());
    endInsertRows();
}

QString ActivityModel::ActionText(const JournalEntry& e) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"move", "Move"},           {"copy", "Copy"},      {"delete", "Delete"},
        {"trash", "Move to Trash"}, {"ftp", "FTP upload"}, {"launch", "Launch"},
        {kWarningAction, "Warning"}};
    std::string action = e.action;
    const bool undo = action.rfind("undo ", 0) == 0;
    if (undo) action = action.substr(5);
    QString text = Q(action);
    for (const auto& [key, name] : kNames)
        if (action == key) text = QString::fromLatin1(name);
    return undo ? QStringLiteral("Undo ") + text.toLower() : text;
}

QString ActivityModel::ResultText(const JournalEntry& e) {
    if (e.action == kWarningAction) return Q(e.error);
    if (!e.ok) return QStringLiteral("Failed: ") + Q(e.error);
    QString text = e.error.empty() ? QStringLiteral("Done") : Capitalised(Q(e.error));
    if (e.undoneBy != 0) text += QStringLiteral(", undone");
    return text;
}

QVariant ActivityModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const JournalEntry& e = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && !e.ok) return QColor(0xb0, 0x00, 0x20);
    if (role == Qt::UserRole) return QVariant::fromValue<qlonglong>(e.id);
    if (role == Qt::ToolTipRole) {
        switch (index.column()) {
            case File:
                return Q(e.source);
            case WhereTo:
                return Q(e.target);
            case Result:
                return ResultText(e);
            default:
                return {};
        }
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case Time:
            return QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(
                QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case Service:
            return Q(e.service);
        case Rule:
            return Q(e.rule);
        case Action:
            return ActionText(e);
        case File:
            return BaseName(e.source);
        case WhereTo:
            return Q(e.target);
        case Result:
            return ResultText(e);
        default:
            return {};
    }
}

QVariant ActivityModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[] = {"Time", "Service",  "Rule",  "Action",
                                           "File", "Where to", "Result"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section])
                                                 : QVariant();
}

ActivityPage::ActivityPage(Journal* journal, QWidget* parent) : QWidget(parent), journal_(journal) {
    setObjectName(QStringLiteral("tsActivity"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(4, 4, 4, 4);

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("lblJournalProblem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(
        QStringLiteral("QLabel { background: #fff4d6; color: #5a3a00; "
                       "border: 1px solid #e0c070; padding: 4px; }"));
    problem_->hide();
    l->addWidget(problem_);

    auto* bar = new QHBoxLayout;
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("teActivityFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter"));
    filter_->setClearButtonEnabled(true);
    failuresOnly_ = new QCheckBox(QStringLiteral("Failures only"), this);
    failuresOnly_->setObjectName(QStringLiteral("chkFailuresOnly"));
    undo_ = new QPushButton(QStringLiteral("Undo"), this);
    undo_->setObjectName(QStringLiteral("btnUndo"));
    undo_->setEnabled(false);
    bar->addWidget(filter_, 1);
    bar->addWidget(failuresOnly_);
    bar->addWidget(undo_);
    l->addLayout(bar);

    model_ = new ActivityModel(journal, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tvActivity"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    l->addWidget(table_, 1);

    auto refilter = [this] { model_->SetFilter(filter_->text(), failuresOnly_->isChecked()); };
    connect(filter_, &QLineEdit::textChanged, this, refilter);
    connect(failuresOnly_, &QCheckBox::toggled, this, refilter);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ActivityPage::selectionChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, &ActivityPage::selectionChanged);
    connect(model_, &QAbstractItemModel::dataChanged, this, &ActivityPage::selectionChanged);
    connect(undo_, &QPushButton::clicked, this, [this] { emit UndoRequested(SelectedRows()); });
    connect(table_, &QTableView::customContextMenuRequested, this, &ActivityPage::showMenu);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) emit OpenFolderRequested(FolderOfFileNow(model_->Entry(index.row())));
    });
    // The columns take the width of the first rows they show.
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (sized_) return;
        table_->resizeColumnsToContents();
        // Long paths keep to a width that leaves the result in view; the
        // whole text is in the tooltip.
        for (int c = 0; c < ActivityModel::ColumnCount; ++c)
            table_->setColumnWidth(c, std::min(table_->columnWidth(c), 240));
        sized_ = true;
    });
    refilter();
}

void ActivityPage::SetProblem(const QString& text) {
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

std::vector<int> ActivityPage::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ActivityPage::selectionChanged() {
    const std::vector<int> rows = SelectedRows();
    undo_->setEnabled(std::any_of(rows.begin(), rows.end(),
                                  [this](int r) { return Undoable(model_->Entry(r)); }));
}

void ActivityPage::showMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* undo = menu.addAction(QStringLiteral("Undo"));
    undo->setObjectName(QStringLiteral("actUndo"));
    undo->setEnabled(undo_->isEnabled());
    QAction* open = menu.addAction(QStringLiteral("Open Folder"));
    const QModelIndex index = table_->indexAt(at);
    open->setEnabled(index.isValid());
    QAction* chosen = menu.exec(table_->viewport()->mapToGlobal(at));
    if (chosen == undo) emit UndoRequested(SelectedRows());
    if (chosen == open && index.isValid())
        emit OpenFolderRequested(FolderOfFileNow(model_->Entry(index.row())));
}

}  // namespace kb
