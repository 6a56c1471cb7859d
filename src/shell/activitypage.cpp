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
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "journal/undo.h"
#include "runtime/outcometext.h"
#include "runtime/session.h"
#include "shell/notifier.h"
#include "store/settings.h"
#include "ui/msgbox.h"

namespace kb {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString BaseName(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    return Q(sep == std::string::npos ? path : path.substr(sep + 1));
}

// Everything about a row, for its tooltip: the columns keep to one line.
QString Details(const JournalEntry& e) {
    QStringList lines;
    if (!e.source.empty()) lines << Q(e.source);
    QString action = EntryActionText(e);
    if (!e.target.empty()) action += QStringLiteral(" to ") + Q(e.target);
    lines << action;
    lines << EntryResultText(e);
    if (!e.service.empty() || !e.rule.empty())
        lines << QStringLiteral("Rule: ") + Q(e.service) + QStringLiteral(" / ") + Q(e.rule);
    lines << QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(
        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return lines.join(QLatin1Char('\n'));
}

bool Undoable(const JournalEntry& e) {
    return e.ok && e.undoneBy == 0 &&
           (e.action == "move" || e.action == "copy" || e.action == "trash");
}

}  // namespace

QString RelativeTimeText(std::int64_t ms, const QDateTime& now) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
    const qint64 days = t.date().daysTo(now.date());
    if (days == 0) return t.toString(QStringLiteral("HH:mm"));  // the seconds are in the tooltip
    if (days == 1) return QStringLiteral("Yesterday ") + t.toString(QStringLiteral("HH:mm"));
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
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

void ActivityModel::ReloadEntry(std::int64_t id) {
    if (!journal_) return;
    const auto it = std::find_if(rows_.begin(), rows_.end(),
                                 [id](const JournalEntry& e) { return e.id == id; });
    if (it == rows_.end()) return;
    if (std::optional<JournalEntry> e = journal_->Get(id)) {
        *it = *e;
        const int row = static_cast<int>(it - rows_.begin());
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

QVariant ActivityModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const JournalEntry& e = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && !e.ok) return QColor(0xb0, 0x00, 0x20);
    if (role == Qt::UserRole) return QVariant::fromValue<qlonglong>(e.id);
    if (role == Qt::ToolTipRole) return Details(e);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case When:
            return RelativeTimeText(e.timeMs, QDateTime::currentDateTime());
        case Rule:
            return e.service.empty() ? Q(e.rule) : Q(e.service) + QStringLiteral(" / ") + Q(e.rule);
        case Action:
            return EntryActionText(e);
        case File:
            return BaseName(e.source);
        case WhereTo:
            return Q(e.target);
        case Result:
            return EntryResultText(e);
        default:
            return {};
    }
}

QVariant ActivityModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[] = {"File", "Result", "When", "Action", "Rule", "Where to"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section])
                                                 : QVariant();
}

ActivityPage::ActivityPage(Session& session, Notifier* notifier, QWidget* parent)
    : QWidget(parent), session_(session), notifier_(notifier), journal_(session.State().journal) {
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
    // Its caption whole, however narrow the window.
    undo_->setMinimumWidth(undo_->sizeHint().width());
    failuresOnly_->setMinimumWidth(failuresOnly_->sizeHint().width());
    bar->addWidget(filter_, 1);
    bar->addWidget(failuresOnly_);
    bar->addWidget(undo_);
    l->addLayout(bar);

    model_ = new ActivityModel(journal_, this);
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
    QHeaderView* header = table_->horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    l->addWidget(table_, 1);

    auto refilter = [this] { model_->SetFilter(filter_->text(), failuresOnly_->isChecked()); };
    connect(filter_, &QLineEdit::textChanged, this, refilter);
    connect(failuresOnly_, &QCheckBox::toggled, this, refilter);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ActivityPage::selectionChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, &ActivityPage::selectionChanged);
    connect(model_, &QAbstractItemModel::dataChanged, this, &ActivityPage::selectionChanged);
    connect(undo_, &QPushButton::clicked, this, [this] { Undo(selectedIds()); });
    connect(table_, &QTableView::customContextMenuRequested, this, &ActivityPage::showMenu);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) emit OpenFolderRequested(FolderOfFileNow(model_->Entry(index.row())));
    });
    // Widths that show the file, its result and when at the window's own
    // size; the user's own widths, order and columns once there are some.
    const int em = table_->fontMetrics().horizontalAdvance(QLatin1Char('M'));
    const int time = table_->fontMetrics().horizontalAdvance(QStringLiteral("00:00")) + 2 * em;
    const int widths[] = {13 * em, 12 * em, time, 5 * em, 9 * em, 12 * em};
    for (int c = 0; c < ActivityModel::ColumnCount; ++c) table_->setColumnWidth(c, widths[c]);
    const QByteArray stored = QByteArray::fromBase64(
        QByteArray::fromStdString(session_.State().settings.ActivityColumns));
    sized_ = !stored.isEmpty() && header->restoreState(stored);
    saveColumns_ = new QTimer(this);
    saveColumns_->setSingleShot(true);
    saveColumns_->setInterval(1000);
    connect(saveColumns_, &QTimer::timeout, this, &ActivityPage::saveColumns);
    auto columnsChanged = [this] { saveColumns_->start(); };
    connect(header, &QHeaderView::sectionResized, this, columnsChanged);
    connect(header, &QHeaderView::sectionMoved, this, columnsChanged);
    connect(header, &QHeaderView::customContextMenuRequested, this, &ActivityPage::showColumnMenu);
    connect(&session_.Scheduler(), &ScanScheduler::PassFinished, this, &ActivityPage::passFinished);
    refilter();
}

void ActivityPage::Refresh() { model_->Refresh(); }

void ActivityPage::showColumnMenu(const QPoint& at) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("ActivityColumns"));
    QHeaderView* header = table_->horizontalHeader();
    int shown = 0;
    for (int c = 0; c < ActivityModel::ColumnCount; ++c)
        shown += header->isSectionHidden(c) ? 0 : 1;
    for (int c = 0; c < ActivityModel::ColumnCount; ++c) {
        QAction* a = menu.addAction(model_->headerData(c, Qt::Horizontal).toString());
        a->setCheckable(true);
        a->setChecked(!header->isSectionHidden(c));
        a->setEnabled(header->isSectionHidden(c) || shown > 1);  // one column always stays
        connect(a, &QAction::toggled, this, [this, header, c](bool on) {
            header->setSectionHidden(c, !on);
            saveColumns();
        });
    }
    menu.exec(header->mapToGlobal(at));
}

void ActivityPage::saveColumns() {
    Settings& s = session_.State().settings;
    const std::string state = table_->horizontalHeader()->saveState().toBase64().toStdString();
    if (state == s.ActivityColumns) return;
    s.ActivityColumns = state;
    try {
        SaveSettings(s);
    } catch (const std::exception&) {
        // Kept in memory; the next save of the options writes it.
    }
}

void ActivityPage::setProblem(const QString& text) {
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

std::vector<std::int64_t> ActivityPage::selectedIds() const {
    std::vector<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::int64_t> ids;
    for (int r : rows) ids.push_back(model_->Entry(r).id);
    return ids;
}

void ActivityPage::selectionChanged() {
    bool any = false;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows())
        any |= Undoable(model_->Entry(i.row()));
    undo_->setEnabled(any);
}

void ActivityPage::passFinished() {
    model_->Refresh();
    const ScanScheduler& scheduler = session_.Scheduler();
    if (notifier_) {
        for (const std::string& n : scheduler.LastNotices())
            notifier_->Show(Notice{QStringLiteral("Kestrelbox"), QString::fromStdString(n)});
        if (std::optional<Notice> notice =
                NoticeFor(scheduler.LastOutcomes(), session_.State().settings))
            notifier_->Show(*notice);
    }
    if (!journal_) return;
    std::string problem;
    if (journal_->TakeNewProblem(problem)) {
        setProblem(QString::fromStdString(problem));
        if (notifier_)
            notifier_->Show(Notice{QStringLiteral("Kestrelbox: the activity journal"),
                                   QString::fromStdString(problem)});
    } else if (journal_->Problem().empty()) {
        setProblem({});
    }
}

void ActivityPage::Undo(const std::vector<std::int64_t>& ids) {
    std::vector<JournalEntry> entries;
    QStringList refused;
    for (std::int64_t id : ids) {
        const std::optional<JournalEntry> e = journal_ ? journal_->Get(id) : std::nullopt;
        if (!e) continue;
        const Status st = CanUndo(*e);
        if (st)
            entries.push_back(*e);
        else
            refused << UndoRefusedText(*e, st.error);
    }
    if (!refused.isEmpty()) WarnAt(this, refused.join(QLatin1Char('\n')));
    if (entries.empty() || !journal_) return;
    // The results come back from the worker through this.
    auto failures = std::make_shared<QStringList>();
    auto undone = std::make_shared<std::vector<bool>>(entries.size(), false);
    Journal* journal = journal_;
    ScanScheduler& scheduler = session_.Scheduler();
    // A move its download client made is taken back by the client.
    std::shared_ptr<ClientDesk> clients = scheduler.Clients();
    scheduler.RunBetweenPasses(
        [entries, journal, failures, undone, clients] {
            for (std::size_t k = 0; k < entries.size(); ++k) {
                const JournalEntry& e = entries[k];
                const JournalEntry undo =
                    kb::Undo(e, QDateTime::currentMSecsSinceEpoch(), clients.get());
                std::int64_t id = 0;
                Status recorded = journal->Append({undo}, &id);
                if (recorded && undo.ok && id > 0) recorded = journal->MarkUndone(e.id, id);
                (*undone)[k] = undo.ok;
                if (!undo.ok)
                    *failures << UndoRefusedText(e, undo.error);
                else if (!recorded)
                    *failures << QString::fromStdString("The journal could not record it: " +
                                                        recorded.error);
            }
        },
        [this, entries, failures, undone] {
            // What came back is no new download for a new-file rule, and the
            // rule whose action was undone leaves it alone until it changes.
            for (std::size_t k = 0; k < entries.size(); ++k) {
                const JournalEntry& e = entries[k];
                const auto sep = e.source.find_last_of("/\\");
                if (sep != std::string::npos)
                    session_.Scheduler().PutBack(e.source.substr(0, sep), e.source.substr(sep + 1),
                                                 (*undone)[k] ? e.rule : std::string());
            }
            // By id: the pass that ran first may have put new rows on top.
            for (const JournalEntry& e : entries) model_->ReloadEntry(e.id);
            model_->Refresh();
            if (!failures->isEmpty()) WarnAt(this, failures->join(QLatin1Char('\n')));
        });
}

void ActivityPage::showMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* undo = menu.addAction(QStringLiteral("Undo"));
    undo->setObjectName(QStringLiteral("actUndo"));
    undo->setEnabled(undo_->isEnabled());
    QAction* open = menu.addAction(QStringLiteral("Open Folder"));
    const QModelIndex index = table_->indexAt(at);
    open->setEnabled(index.isValid());
    // A file undo put back, or one the rule keeps failing on, waits for the
    // rule; this lets the rule take it at the next pass.
    QAction* again = menu.addAction(QStringLiteral("Run the rule on it again"));
    again->setObjectName(QStringLiteral("actRunAgain"));
    const JournalEntry picked = index.isValid() ? model_->Entry(index.row()) : JournalEntry{};
    const bool undoneOrFailed =
        !picked.rule.empty() && !picked.source.empty() && (picked.undoneBy != 0 || !picked.ok);
    again->setEnabled(undoneOrFailed);
    QAction* chosen = menu.exec(table_->viewport()->mapToGlobal(at));
    if (chosen == undo) Undo(selectedIds());
    if (chosen == again && undoneOrFailed) {
        const auto sep = picked.source.find_last_of("/\\");
        if (sep != std::string::npos)
            session_.Scheduler().Release(picked.source.substr(0, sep),
                                         picked.source.substr(sep + 1), picked.rule);
    }
    if (chosen == open && index.isValid())
        emit OpenFolderRequested(FolderOfFileNow(model_->Entry(index.row())));
}

}  // namespace kb
