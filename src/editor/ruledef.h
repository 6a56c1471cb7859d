// The rule wizard: page one chooses the trigger, page two the conditions,
// the actions, their values and the rule's name. It edits a private copy of
// the rule and touches the service table only when Finish succeeds.
#pragma once

#include <QDialog>
#include <QString>

#include "store/model.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QWidget;

namespace kb {

class ServiceContext;
class LinkedSentenceList;
class RulePreviewDialog;

// Condition check list entries (0-based rows of clConditions) and the
// condition kind each one adds. The oldest/newest rows cross over: row 3 adds
// kind 4 and row 4 adds kind 3.
ConditionKind ConditionKindOfEntry(int row);
// Action check list entries (rows of clActions) and the action kind each adds;
// rows 3 and 4 cross over the same way (launch is kind 4, FTP kind 3).
ActionKind ActionKindOfEntry(int row);

// Open it modally with exec(); it closes with Accepted only after the rule was
// stored in the current service record and the configuration was saved. The
// opener owns the object (make it on the stack or delete it after exec()).
class RuleWizard : public QDialog {
    Q_OBJECT

public:
    // RuleEditMode false: a new rule, appended to the current service record
    // on Finish. True: edits the rule at EditRuleIndex of that record, which
    // is replaced in place on Finish. The current service record is found
    // through ctx.CurrentServiceIndex() when the wizard opens and again on
    // Finish, so the table may change in between.
    RuleWizard(ServiceContext& ctx, bool RuleEditMode, int EditRuleIndex,
               QWidget* parent = nullptr);

    // The wizard's working copy of the rule.
    RuleRec WorkRule;

    // True when the wizard edits an existing rule (false also when the rule to
    // edit could not be found on opening; Finish then appends instead).
    bool RuleEditMode() const { return ruleEditMode_; }
    int EditRuleIndex() const { return editRuleIndex_; }

    // Refills the summary list from WorkRule.
    void RebuildSummary();

private:
    void next();
    void previous();
    void conditionChecked(QListWidgetItem* item);
    void actionChecked(QListWidgetItem* item);
    // A link of the rule's sentences was clicked: its value is asked for.
    void sentenceLinkClicked(int idx, const QString& href, QString& value);
    // Checks the rule, stores it in the service record, saves and closes.
    void finish();
    // Opens the preview of WorkRule on the current service's folder (window
    // modal, deleted when closed) and returns it; null when the service is gone.
    RulePreviewDialog* showPreview();
    void build();
    QWidget* buildTriggerPage();
    QWidget* buildRulePage();
    void loadRuleIntoControls();
    void showPage(int page);
    void updateDateExclusion();
    // Returns the first Finish check that fails, or an empty text.
    QString finishProblem() const;
    bool storeWorkRule();

    ServiceContext& ctx_;
    bool ruleEditMode_;
    int editRuleIndex_;

    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QRadioButton* rbNewComp = nullptr;
    QRadioButton* rbTotalFileCount = nullptr;
    QRadioButton* rbTotalFileSize = nullptr;
    QListWidget* clConditions = nullptr;
    QListWidget* clActions = nullptr;
    LinkedSentenceList* ParamListBox1 = nullptr;
    QLineEdit* teRuleName = nullptr;
    QPushButton* btnPrevious = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* btnFinish = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnPreview = nullptr;
};

}  // namespace kb
