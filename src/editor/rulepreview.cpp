#include "editor/rulepreview.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "runtime/textformats.h"

namespace kb {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString Number(std::int64_t n) { return QLocale::system().toString(static_cast<qlonglong>(n)); }

QString FileCount(std::int64_t n) {
    return n == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(Number(n));
}

constexpr int kTick = 100;  // ms between progress updates

}  // namespace

void PreviewFileModel::SetFiles(std::vector<FilePreview> files) {
    beginResetModel();
    files_ = std::move(files);
    endResetModel();
}

int PreviewFileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(files_.size());
}

int PreviewFileModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PreviewFileModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const FilePreview& f = files_[static_cast<std::size_t>(index.row())];
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
        case Name:
            // A folder taken as one download reads as one.
            return f.folder ? Q(f.name) + QLatin1Char('/') : Q(f.name);
        case Size:
            return FormatDataSize(f.size);
        case State: {
            if (f.waiting) return QStringLiteral("waits: ") + Q(f.why);
            // Where each move, copy and rename would put it.
            QStringList places;
            for (const std::string& place : f.placements) places << Q(place);
            for (const std::string& m : f.matched) places << QStringLiteral("matched ") + Q(m);
            return places.isEmpty() ? QStringLiteral("would be acted on")
                                    : places.join(QStringLiteral("; "));
        }
        default:
            return {};
    }
}

QVariant PreviewFileModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[] = {"File", "Size", "Now"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section])
                                                 : QVariant();
}

namespace {

// The files a rule takes that wait for their download to finish.
QString StillDownloading(std::int64_t n, bool more) {
    if (n == 1)
        return more ? QStringLiteral(
                          "1 more file is still downloading and waits until it has "
                          "finished.")
                    : QStringLiteral(
                          "The one file it takes is still downloading and waits "
                          "until it has finished.");
    return (more ? QStringLiteral("%1 more files are still downloading and wait until they have "
                                  "finished.")
                 : QStringLiteral("The %1 files it takes are still downloading and wait until "
                                  "they have finished."))
        .arg(Number(n));
}

}  // namespace

QString PreviewVerdict(const RulePreview& p) {
    const QString folder = Q(p.folder);
    if (p.folder.empty())
        return QStringLiteral("This service has no folder yet, so the rule has nothing to act on.");
    if (p.stopped) return QStringLiteral("Stopped after reading %1.").arg(FileCount(p.listed));
    if (p.folderMissing)
        return QStringLiteral("The folder %1 %2, so the rule has nothing to act on now.")
            .arg(folder,
                 p.folderProblem.empty() ? QStringLiteral("cannot be read") : Q(p.folderProblem));
    if (p.listed == 0)
        return QStringLiteral("The folder %1 is empty, so the rule has nothing to act on now.")
            .arg(folder);
    const QString there =
        QStringLiteral("%1 (%2)").arg(FileCount(p.listed), FormatDataSize(p.total));
    // Only files that have finished are acted on now; the rest are said apart.
    const std::int64_t acting = p.ActingNow();
    const std::int64_t waiting = std::ssize(p.files) - acting;
    const QString rest =
        waiting > 0 ? QLatin1Char(' ') + StillDownloading(waiting, true) : QString();
    if (p.onArrival) {
        const QString lead =
            QStringLiteral("The rule acts on new files only, so it would do nothing now. ");
        if (p.files.empty())
            return QStringLiteral(
                       "The rule acts on new files only. Its conditions take none of "
                       "the %1 there now.")
                .arg(there);
        if (acting == 0)
            return lead + QStringLiteral(
                              "Of the %1 there now, its conditions take only files "
                              "still downloading (%2); it would act on files like "
                              "these once they have finished.")
                              .arg(there, Number(waiting));
        return lead +
               QStringLiteral(
                   "If files like these arrived, it would act on %1 of the %2 there "
                   "now.")
                   .arg(Number(acting), there) +
               rest;
    }
    if (!p.holds)
        return QStringLiteral(
                   "The rule would not act now: it waits for %1, and the folder holds "
                   "%2.")
            .arg(Q(p.triggerText), there);
    if (p.files.empty())
        return QStringLiteral("The trigger holds (%1), but the conditions take none of the files.")
            .arg(there);
    if (acting == 0)
        return QStringLiteral("The rule would not act now. ") + StillDownloading(waiting, false);
    return QStringLiteral("The rule would act now on %1 of the %2.").arg(Number(acting), there) +
           rest;
}

RulePreviewDialog::RulePreviewDialog(const rServiceRules& service, const RuleRec& rule,
                                     const QString& ruleName, ScanEnvironment env, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmRulePreview"));
    setWindowTitle(QStringLiteral("Rule Preview"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    auto* heading = new QLabel(this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    heading->setWordWrap(true);
    heading->setTextFormat(Qt::PlainText);
    const QString folder = QString::fromStdString(service.sharedir);
    heading->setText(ruleName.isEmpty() ? QStringLiteral("This rule on %1").arg(folder)
                                        : QStringLiteral("\"%1\" on %2").arg(ruleName, folder));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    Verdict = new QLabel(QStringLiteral("Reading the folder..."), this);
    Verdict->setObjectName(QStringLiteral("lblVerdict"));
    Verdict->setWordWrap(true);
    Verdict->setTextFormat(Qt::PlainText);

    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("pbReading"));
    Progress->setRange(0, 0);  // how many files there are is known only at the end
    Progress->setTextVisible(false);

    model_ = new PreviewFileModel(this);
    Files = new QTableView(this);
    Files->setObjectName(QStringLiteral("tvFiles"));
    Files->setModel(model_);
    Files->setSelectionBehavior(QAbstractItemView::SelectRows);
    Files->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Files->verticalHeader()->hide();
    Files->verticalHeader()->setDefaultSectionSize(Files->fontMetrics().height() + 6);
    Files->horizontalHeader()->setSectionResizeMode(PreviewFileModel::Name, QHeaderView::Stretch);
    Files->horizontalHeader()->setSectionResizeMode(PreviewFileModel::Size,
                                                    QHeaderView::ResizeToContents);
    Files->horizontalHeader()->setSectionResizeMode(PreviewFileModel::State,
                                                    QHeaderView::ResizeToContents);
    Files->setWordWrap(false);
    Files->hide();

    Actions = new QLabel(this);
    Actions->setObjectName(QStringLiteral("lblActions"));
    Actions->setWordWrap(true);
    Actions->setTextFormat(Qt::PlainText);
    const std::vector<std::string> actions = DescribeActions(rule, env);
    QString text = actions.empty() ? QStringLiteral("The rule has no action yet.")
                                   : QStringLiteral("Its actions, in order, on each file:");
    for (std::size_t i = 0; i < actions.size(); ++i)
        text += QStringLiteral("\n%1. %2").arg(i + 1).arg(Q(actions[i]));
    Actions->setText(text);

    auto* note = new QLabel(
        QStringLiteral("Nothing is moved, copied, deleted, uploaded or started by a preview."),
        this);
    note->setObjectName(QStringLiteral("lblNothingDone"));
    note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    btnClose = buttons->addButton(QStringLiteral("Stop"), QDialogButtonBox::RejectRole);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &RulePreviewDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(Verdict);
    layout->addWidget(Progress);
    layout->addWidget(Files, 1);
    layout->addWidget(Actions);
    layout->addWidget(note);
    layout->addWidget(buttons);
    setMinimumSize(420, 300);
    resize(560, 420);
    // Centred over the wizard, on its screen: room for the table matters
    // more here than the placement of the small fixed dialogs.
    if (parent) {
        QRect g(QPoint(0, 0), size());
        g.moveCenter(parent->frameGeometry().center());
        if (const QScreen* s = parent->screen()) {
            const QRect area = s->availableGeometry();
            g.moveLeft(std::clamp(g.left(), area.left(),
                                  std::max(area.left(), area.right() + 1 - g.width())));
            g.moveTop(std::clamp(g.top(), area.top(),
                                 std::max(area.top(), area.bottom() + 1 - g.height())));
        }
        move(g.topLeft());
    }

    // The worker owns copies of everything it reads; the dialog may go first.
    connect(&watcher_, &QFutureWatcher<RulePreview>::finished, this,
            &RulePreviewDialog::showResult);
    connect(&ticker_, &QTimer::timeout, this, &RulePreviewDialog::showProgress);
    ticker_.start(kTick);
    env.launch = {};
    env.upload = {};
    watcher_.setFuture(
        QtConcurrent::run([service, rule, env = std::move(env), stop = stop_, seen = seen_]() {
            return PreviewRule(service, rule, env, [stop, seen](std::size_t n) {
                seen->store(n, std::memory_order_relaxed);
                return !stop->load(std::memory_order_relaxed);
            });
        }));
}

RulePreviewDialog::~RulePreviewDialog() {
    stop_->store(true);
    watcher_.disconnect(this);
    watcher_.waitForFinished();
}

void RulePreviewDialog::reject() {
    // The first press stops a listing still running; the dialog stays to
    // say how far it got.
    if (running_) {
        stop_->store(true);
        return;
    }
    QDialog::reject();
}

void RulePreviewDialog::showProgress() {
    const std::size_t n = seen_->load(std::memory_order_relaxed);
    if (n > 0)
        Verdict->setText(QStringLiteral("Reading the folder... %1 so far.").arg(FileCount(n)));
}

void RulePreviewDialog::showResult() {
    ticker_.stop();
    running_ = false;
    result_ = watcher_.result();
    Progress->hide();
    Verdict->setText(PreviewVerdict(result_));
    if (!result_.files.empty()) {
        model_->SetFiles(result_.files);
        Files->show();
    }
    btnClose->setText(QStringLiteral("Close"));
    emit Finished();
}

}  // namespace kb
