#include "editor/ruledef.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "editor/paramedit.h"
#include "editor/paramlistbox.h"
#include "editor/ruleextras.h"
#include "editor/rulepreview.h"
#include "runtime/servicecontext.h"
#include "runtime/summary.h"
#include "ui/msgbox.h"
#include "ui/placement.h"

namespace kb {

namespace {

constexpr int kClientWidth = 376;
constexpr int kButtonStripHeight = 37;
constexpr int kControlWidth = 353;
constexpr int kCheckListHeight = 73;
// Room for a rule with every condition and action, a horizontal scroll bar
// included, without scrolling (the original 105 showed four lines then).
constexpr int kSummaryHeight = 185;
// The original height, plus the summary's extra room and the preview's row.
constexpr int kPreviewRowHeight = 31;
constexpr int kClientHeight = 406 + (kSummaryHeight - 105) + kPreviewRowHeight;

// The design size fits the original small system font. With larger desktop
// fonts the wizard widens by what its longest texts need, so no caption is
// cut off and a typical trigger sentence fits without a horizontal scroll bar.
int WidthExtra() {
    const QFontMetrics fm(QApplication::font());
    const int radio =
        QRadioButton(QStringLiteral("Whenever total file count exceeds specified number"))
            .sizeHint()
            .width();
    const int sentence = fm.horizontalAdvance(QStringLiteral(
                             "Whenever the total completed file size exceeds 10000 MB")) +
                         16;
    // Page and group box margins around the radio buttons; list frame and
    // text indent around a summary line.
    return std::max({0, radio + 48 - kClientWidth, sentence - kControlWidth});
}

int ClientWidth() { return kClientWidth + WidthExtra(); }
int ControlWidth() { return kControlWidth + WidthExtra(); }

constexpr int kTriggerPage = 0;
constexpr int kRulePage = 1;

// The entries that only make sense for triggers looking at all files: a
// new-file trigger has no "all files" to date or rank against.
constexpr int kFirstDateEntry = 2;
constexpr int kNewestEntry = 4;

const char* const kConditionEntries[] = {
    "Where file extension is specified extension",
    "Where file size is specified",
    "Where file date is specified",
    "Where file date is the oldest specified of all files",
    "Where file date is the newest specified of all files",
    "Where file name matches specified wildcards",
    "Where file name matches specified regular expression",
};
constexpr ConditionKind kConditionKinds[] = {
    condExtension, condSize, condDate, condOldest, condNewest, condNameWildcard, condNameRegex};
constexpr int kConditionCount = static_cast<int>(std::size(kConditionKinds));

bool RanksOrDates(ConditionKind k) { return k == condDate || k == condNewest || k == condOldest; }

const char* const kActionEntries[] = {
    "Move file to specified directory",
    "Copy file to specified directory",
    "Delete file",
    "Launch program/script",
    "FTP file to specified server",
    "Rename file",
};

// Remembers the check state the handlers last saw, so that item changes which
// are not a toggle (flags, text) are not mistaken for one.
constexpr int kSeenCheckedRole = Qt::UserRole + 1;
// The condition kind a condition entry adds (the rows move as the trigger
// takes the date entries out and puts them back).
constexpr int kKindRole = Qt::UserRole + 2;

void addCheckEntry(QListWidget* list, const char* text, bool checked = false) {
    auto* item = new QListWidgetItem(QString::fromUtf8(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    item->setData(kSeenCheckedRole, checked);
    list->addItem(item);
}

void setEntryChecked(QListWidget* list, int row, bool checked) {
    QListWidgetItem* item = list->item(row);
    if (!item) return;
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    item->setData(kSeenCheckedRole, checked);
}

bool entryChecked(const QListWidget* list, int row) {
    const QListWidgetItem* item = list->item(row);
    return item && item->checkState() == Qt::Checked;
}

void setEntryEnabled(QListWidget* list, int row, bool enabled) {
    QListWidgetItem* item = list->item(row);
    if (!item) return;
    Qt::ItemFlags flags = item->flags();
    flags.setFlag(Qt::ItemIsEnabled, enabled);
    item->setFlags(flags);
}

// True when the item's check state differs from the one last seen, recording
// the new state.
bool takeToggle(QListWidgetItem* item) {
    const bool checked = item->checkState() == Qt::Checked;
    if (item->data(kSeenCheckedRole).toBool() == checked) return false;
    item->setData(kSeenCheckedRole, checked);
    return true;
}

ruleacondrec newCondition(ConditionKind kind) {
    ruleacondrec c;
    c.rcond = kind;
    switch (kind) {
        case condSize:
            c.size = -1;
            break;
        case condDate:
            c.rdays = -1;
            break;
        case condNewest:
            c.newestcnt = -1;
            break;
        case condOldest:
            c.oldestcnt = -1;
            break;
        default:
            break;
    }
    return c;
}

template <typename T, typename Pred>
void eraseFirst(std::vector<T>& v, Pred pred) {
    auto it = std::find_if(v.begin(), v.end(), pred);
    if (it != v.end()) v.erase(it);
}

QLabel* captionLabel(const char* text, QWidget* parent) {
    return new QLabel(QString::fromUtf8(text), parent);
}

QPushButton* stripButton(const char* name, const char* text, int left, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromUtf8(name));
    b->setGeometry(left, (kButtonStripHeight - 25) / 2, 81, 25);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

ConditionKind ConditionKindOfEntry(int row) {
    return row >= 0 && row < kConditionCount ? kConditionKinds[row] : condExtension;
}

ActionKind ActionKindOfEntry(int row) {
    static constexpr ActionKind kinds[] = {actMove,   actCopy, actDelete,
                                           actLaunch, actFtp,  actRename};
    return row >= 0 && row < static_cast<int>(std::size(kinds)) ? kinds[row] : actMove;
}

namespace {

void addConditionEntry(QListWidget* list, int entry, int row) {
    auto* item = new QListWidgetItem(QString::fromUtf8(kConditionEntries[entry]));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setData(kSeenCheckedRole, false);
    item->setData(kKindRole, KindCode(kConditionKinds[entry]));
    list->insertItem(row, item);
}

ConditionKind kindOfItem(const QListWidgetItem* item) {
    return static_cast<ConditionKind>(item->data(kKindRole).toInt());
}

// The row of the entry that adds `kind`, or -1 while the list lacks it.
int rowOfKind(const QListWidget* list, ConditionKind kind) {
    for (int row = 0; row < list->count(); ++row)
        if (kindOfItem(list->item(row)) == kind) return row;
    return -1;
}

}  // namespace

RuleWizard::RuleWizard(ServiceContext& ctx, bool RuleEditMode, int EditRuleIndex, QWidget* parent)
    : QDialog(parent ? parent : ctx.MainWindow()),
      ctx_(ctx),
      ruleEditMode_(RuleEditMode),
      editRuleIndex_(EditRuleIndex) {
    setObjectName(QStringLiteral("frmRule"));
    setWindowTitle(QStringLiteral("Rule Definition"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    const int clientWidth = ClientWidth();
    const int buttonShift = (clientWidth - kClientWidth) / 2;
    setFixedSize(clientWidth, kClientHeight);

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, clientWidth, kClientHeight - kButtonStripHeight);
    PageControl1->addWidget(buildTriggerPage());
    PageControl1->addWidget(buildRulePage());

    auto* strip = new QWidget(this);
    strip->setGeometry(0, kClientHeight - kButtonStripHeight, clientWidth, kButtonStripHeight);
    btnPrevious = stripButton("btnPrevious", "<< Previous", 8 + buttonShift, strip);
    Button4 = stripButton("Button4", "Cancel", 104 + buttonShift, strip);
    btnFinish = stripButton("btnFinish", "Finish", 192 + buttonShift, strip);
    btnNext = stripButton("btnNext", "Next >>", 280 + buttonShift, strip);

    connect(btnNext, &QPushButton::clicked, this, &RuleWizard::next);
    connect(btnPrevious, &QPushButton::clicked, this, &RuleWizard::previous);
    connect(btnFinish, &QPushButton::clicked, this, &RuleWizard::finish);
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
    connect(clConditions, &QListWidget::itemChanged, this, &RuleWizard::conditionChecked);
    connect(clActions, &QListWidget::itemChanged, this, &RuleWizard::actionChecked);
    connect(ParamListBox1, &LinkedSentenceList::OnParamClick, this,
            &RuleWizard::sentenceLinkClicked);
    connect(btnPreview, &QPushButton::clicked, this, &RuleWizard::showPreview);

    build();
}

QWidget* RuleWizard::buildTriggerPage() {
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));

    auto* group = new QGroupBox(TabSheet1);
    group->setObjectName(QStringLiteral("GroupBox1"));
    rbNewComp = new QRadioButton(QStringLiteral("Whenever a new completed file is present"), group);
    rbNewComp->setObjectName(QStringLiteral("rbNewComp"));
    rbTotalFileCount = new QRadioButton(
        QStringLiteral("Whenever total file count exceeds specified number"), group);
    rbTotalFileCount->setObjectName(QStringLiteral("rbTotalFileCount"));
    rbTotalFileSize =
        new QRadioButton(QStringLiteral("Whenever total file size exceeds specified limit"), group);
    rbTotalFileSize->setObjectName(QStringLiteral("rbTotalFileSize"));
    rbNewComp->setChecked(true);

    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(captionLabel("New File Operations:", group));
    groupLayout->addWidget(rbNewComp);
    groupLayout->addSpacing(8);
    groupLayout->addWidget(captionLabel("All File Operations:", group));
    groupLayout->addWidget(rbTotalFileCount);
    groupLayout->addWidget(rbTotalFileSize);

    auto* page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(11, 11, 11, 11);
    page->addWidget(captionLabel("Select When To Apply This Rule:", TabSheet1));
    page->addWidget(group);
    page->addStretch(1);
    return TabSheet1;
}

QWidget* RuleWizard::buildRulePage() {
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));

    clConditions = new QListWidget(TabSheet2);
    clConditions->setObjectName(QStringLiteral("clConditions"));
    clConditions->setFixedSize(ControlWidth(), kCheckListHeight);
    for (int entry = 0; entry < kConditionCount; ++entry)
        addConditionEntry(clConditions, entry, entry);

    clActions = new QListWidget(TabSheet2);
    clActions->setObjectName(QStringLiteral("clActions"));
    clActions->setFixedSize(ControlWidth(), kCheckListHeight);
    for (const char* text : kActionEntries) addCheckEntry(clActions, text);

    ParamListBox1 = new LinkedSentenceList(TabSheet2);
    ParamListBox1->setObjectName(QStringLiteral("ParamListBox1"));
    ParamListBox1->setFixedSize(ControlWidth(), kSummaryHeight);
    ParamListBox1->ParamColor = QColor(0, 128, 0);
    ParamListBox1->ShowSelection = false;
    ParamListBox1->InertLinks = InertRuleLinks();

    teRuleName = new QLineEdit(TabSheet2);
    teRuleName->setObjectName(QStringLiteral("teRuleName"));
    teRuleName->setFixedWidth(ControlWidth());

    btnPreview = new QPushButton(QStringLiteral("Pre&view..."), TabSheet2);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnPreview->setAutoDefault(false);
    btnPreview->setToolTip(
        QStringLiteral("Which files of the folder this rule would take now, and what it would "
                       "do to them; nothing is done."));
    auto* previewRow = new QHBoxLayout;
    previewRow->setContentsMargins(0, 2, 0, 2);
    previewRow->addStretch(1);
    previewRow->addWidget(btnPreview);

    auto* page = new QVBoxLayout(TabSheet2);
    page->setContentsMargins(11, 6, 12, 4);
    page->setSpacing(2);
    page->addWidget(captionLabel("Additional Conditions:", TabSheet2));
    page->addWidget(clConditions);
    page->addSpacing(2);
    page->addWidget(captionLabel("Actions:", TabSheet2));
    page->addWidget(clActions);
    page->addSpacing(2);
    page->addWidget(captionLabel("Rule Conditions:", TabSheet2));
    page->addWidget(ParamListBox1);
    page->addLayout(previewRow);
    page->addWidget(captionLabel("Enter a name for this rule:", TabSheet2));
    page->addWidget(teRuleName);
    page->addStretch(1);
    return TabSheet2;
}

void RuleWizard::build() {
    showPage(kTriggerPage);
    PlaceDialog(this, ctx_.MainWindow());

    const RuleRec* stored = nullptr;
    if (ruleEditMode_) {
        const int svc = ctx_.CurrentServiceIndex();
        auto& table = ctx_.Store().ServiceTable;
        if (svc >= 0 && svc < static_cast<int>(table.size())) {
            const auto& rules = table[svc].rulelist.rules;
            if (editRuleIndex_ >= 0 && editRuleIndex_ < static_cast<int>(rules.size()))
                stored = &rules[editRuleIndex_];
        }
        // Without the rule to edit there is nothing to replace; Finish adds
        // the rule instead of writing past the end of the list.
        if (!stored) ruleEditMode_ = false;
    }

    if (stored) {
        WorkRule = *stored;
        loadRuleIntoControls();
    } else {
        WorkRule = RuleRec{};
        WorkRule.enabled = true;
    }
    teRuleName->setText(QString::fromStdString(WorkRule.rulename));
}

void RuleWizard::loadRuleIntoControls() {
    switch (WorkRule.mcond) {
        case trgFileCount:
            rbTotalFileCount->setChecked(true);
            break;
        case trgTotalSize:
            rbTotalFileSize->setChecked(true);
            break;
        default:
            rbNewComp->setChecked(true);
            break;
    }

    const QSignalBlocker blockConditions(clConditions);
    for (const ruleacondrec& c : WorkRule.conds) {
        const int row = rowOfKind(clConditions, c.rcond);
        if (row >= 0) setEntryChecked(clConditions, row, true);
    }
    updateDateExclusion();

    const QSignalBlocker blockActions(clActions);
    for (const ruleactionrec& a : WorkRule.actions) {
        for (int row = 0; row < clActions->count(); ++row)
            if (ActionKindOfEntry(row) == a.raction) setEntryChecked(clActions, row, true);
    }
}

void RuleWizard::showPage(int page) {
    PageControl1->setCurrentIndex(page);
    const bool rulePage = page == kRulePage;
    btnPrevious->setEnabled(rulePage);
    btnFinish->setEnabled(rulePage);
    btnNext->setEnabled(!rulePage);
    // Enter moves the wizard on: Next on the first page, Finish on the second.
    btnNext->setDefault(!rulePage);
    btnFinish->setDefault(rulePage);
    if (rulePage)
        teRuleName->setFocus();
    else
        btnNext->setFocus();
}

// Oldest and newest rank the same files from opposite ends; only one of them
// may be chosen. An entry is locked only while the other one is checked and it
// is not, so a rule that somehow holds both can still have either removed.
void RuleWizard::updateDateExclusion() {
    const int oldestRow = rowOfKind(clConditions, condOldest);
    const int newestRow = rowOfKind(clConditions, condNewest);
    if (oldestRow < 0 || newestRow < 0) return;
    const QSignalBlocker block(clConditions);
    const bool oldest = entryChecked(clConditions, oldestRow);
    const bool newest = entryChecked(clConditions, newestRow);
    setEntryEnabled(clConditions, oldestRow, oldest || !newest);
    setEntryEnabled(clConditions, newestRow, newest || !oldest);
}

void RuleWizard::RebuildSummary() {
    ParamListBox1->Clear();
    for (const std::string& line : SummaryLines(WorkRule))
        ParamListBox1->AddLine(QString::fromStdString(line));
}

void RuleWizard::next() {
    if (PageControl1->currentIndex() == kTriggerPage) {
        if (rbNewComp->isChecked()) {
            WorkRule.mcond = trgNewFile;
            {
                const QSignalBlocker block(clConditions);
                for (int row = clConditions->count() - 1; row >= 0; --row)
                    if (RanksOrDates(kindOfItem(clConditions->item(row))))
                        delete clConditions->takeItem(row);
            }
            std::erase_if(WorkRule.conds, [](const ruleacondrec& c) {
                return c.rcond == condDate || c.rcond == condNewest || c.rcond == condOldest;
            });
        } else {
            if (rowOfKind(clConditions, condDate) < 0) {
                const QSignalBlocker block(clConditions);
                for (int entry = kFirstDateEntry; entry <= kNewestEntry; ++entry)
                    addConditionEntry(clConditions, entry, entry);
            }
            if (rbTotalFileCount->isChecked()) {
                WorkRule.mcond = trgFileCount;
                if (WorkRule.fcnt == 0) WorkRule.fcnt = 20;
            } else {
                WorkRule.mcond = trgTotalSize;
                if (WorkRule.fsize == 0) WorkRule.fsize = 10;
            }
        }
        RebuildSummary();
    }
    showPage(kRulePage);
}

void RuleWizard::previous() {
    if (PageControl1->currentIndex() != kRulePage) return;
    showPage(kTriggerPage);
}

void RuleWizard::conditionChecked(QListWidgetItem* item) {
    if (!item || !takeToggle(item)) return;
    const ConditionKind kind = kindOfItem(item);
    if (item->checkState() == Qt::Checked)
        WorkRule.conds.push_back(newCondition(kind));
    else
        eraseFirst(WorkRule.conds, [kind](const ruleacondrec& c) { return c.rcond == kind; });
    updateDateExclusion();
    RebuildSummary();
}

void RuleWizard::actionChecked(QListWidgetItem* item) {
    if (!item || !takeToggle(item)) return;
    const ActionKind kind = ActionKindOfEntry(clActions->row(item));
    auto& actions = WorkRule.actions;
    if (item->checkState() == Qt::Checked) {
        ruleactionrec a;
        a.raction = kind;
        // A new rule never overwrites a file that has the target name: the
        // file there goes to the Trash first (the user can choose otherwise).
        if (kind == actMove || kind == actCopy || kind == actRename)
            a.conflict = ConflictMode::TrashOld;
        // A move or copy must happen before the file is deleted, so it goes in
        // front of a delete that ends the list.
        const bool beforeDelete = (kind == actMove || kind == actCopy) && !actions.empty() &&
                                  actions.back().raction == actDelete;
        actions.insert(beforeDelete ? actions.end() - 1 : actions.end(), a);
    } else {
        eraseFirst(actions, [kind](const ruleactionrec& a) { return a.raction == kind; });
    }
    RebuildSummary();
}

void RuleWizard::sentenceLinkClicked(int /*idx*/, const QString& href, QString& /*value*/) {
    // Whatever the dialog's outcome, the list shows the rule as it now is.
    // The target editors draw their examples from the service's folder.
    const auto& table = ctx_.Store().ServiceTable;
    const int svc = ctx_.CurrentServiceIndex();
    QString folder, service;
    if (svc >= 0 && svc < static_cast<int>(table.size())) {
        folder = QString::fromStdString(table[static_cast<std::size_t>(svc)].sharedir);
        service = QString::fromStdString(ServiceName(table[static_cast<std::size_t>(svc)]));
    }
    WorkRule.rulename = teRuleName->text().toStdString();
    EditRuleParam(this, WorkRule, href, folder, service);
    RebuildSummary();
}

QString RuleWizard::finishProblem() const {
    if (WorkRule.actions.empty())
        return QStringLiteral("Warning: At least one action must be checked.");
    for (const ruleactionrec& a : WorkRule.actions) {
        if (a.raction == actMove && a.move.filepath.empty())
            return QStringLiteral("Move file path must be specified.");
        if (a.raction == actCopy && a.copy.filepath.empty())
            return QStringLiteral("Copy file path must be specified.");
    }
    for (const ruleacondrec& c : WorkRule.conds) {
        if (c.rcond == condExtension && c.fileext.ext.empty())
            return QStringLiteral("File extension must be specified.");
        if (c.rcond == condSize && c.size == -1)
            return QStringLiteral("File size must be specified.");
        if (c.rcond == condDate && c.rdays == -1)
            return QStringLiteral("Number of days must be specified.");
    }
    if (teRuleName->text().isEmpty()) return QStringLiteral("Please a name for the rule");
    if (QString extra = ExtensionProblem(WorkRule); !extra.isEmpty()) return extra;
    // Rules that could never work, told after the checks above and in the
    // same order: actions first, then conditions.
    for (const ruleactionrec& a : WorkRule.actions) {
        if (a.raction == actFtp && a.ftp.ftpserver.empty())
            return QStringLiteral("FTP server must be specified.");
        if (a.raction == actLaunch && a.launch.fprogram.empty())
            return QStringLiteral("Program to launch must be specified.");
    }
    for (const ruleacondrec& c : WorkRule.conds) {
        if ((c.rcond == condNewest && c.newestcnt == -1) ||
            (c.rcond == condOldest && c.oldestcnt == -1))
            return QStringLiteral("Number of files must be specified.");
    }
    return {};
}

RulePreviewDialog* RuleWizard::showPreview() {
    auto& table = ctx_.Store().ServiceTable;
    const int svc = ctx_.CurrentServiceIndex();
    if (svc < 0 || svc >= static_cast<int>(table.size())) {
        WarnAt(this, QStringLiteral("The service of this rule no longer exists."));
        return nullptr;
    }
    // The preview reads copies: the table and the working rule may change
    // while it runs.
    auto* preview = new RulePreviewDialog(table[static_cast<std::size_t>(svc)], WorkRule,
                                          teRuleName->text(), ctx_.PreviewEnvironment(), this);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->open();
    return preview;
}

void RuleWizard::finish() {
    const QString problem = finishProblem();
    if (!problem.isEmpty()) {
        WarnAt(this, problem);
        return;
    }
    WorkRule.rulename = teRuleName->text().toStdString();
    // An action that can never find its file is allowed, but said.
    if (const QString warning = UnreachableActionWarning(WorkRule); !warning.isEmpty())
        WarnAt(this, warning);
    if (storeWorkRule()) accept();
}

// Puts WorkRule into the current service record and saves. A save that fails
// with an error takes the change back out again, so the table keeps matching
// the file and a second Finish cannot add the rule twice.
bool RuleWizard::storeWorkRule() {
    auto& table = ctx_.Store().ServiceTable;
    const int svc = ctx_.CurrentServiceIndex();
    if (svc < 0 || svc >= static_cast<int>(table.size())) {
        ErrorCentered(this, QStringLiteral("The service of this rule no longer exists."));
        reject();
        return false;
    }

    auto& rules = table[svc].rulelist.rules;
    const bool replace =
        ruleEditMode_ && editRuleIndex_ >= 0 && editRuleIndex_ < static_cast<int>(rules.size());
    if (replace) {
        rules[editRuleIndex_] = WorkRule;
    } else {
        WorkRule.enabled = true;
        rules.push_back(WorkRule);
    }
    // A save that fails is reported by the window; the rule is kept.
    ctx_.SaveConfig();
    return true;
}

}  // namespace kb
