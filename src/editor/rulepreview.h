// The wizard's preview: which files of the service's folder the rule being
// edited would take now, and what its actions would do to them, in order.
// The folder is read on a worker thread from a copy of the service and the
// rule, so a folder of a hundred thousand files never freezes the window;
// nothing is moved, copied, deleted, uploaded or started.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QFutureWatcher>
#include <QTimer>
#include <atomic>
#include <memory>

#include "engine/dryrun.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace kb {

// The files of a preview, one row each: name, size, and whether the rule
// would take it now or wait for it to finish downloading.
class PreviewFileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Size, State, ColumnCount };
    explicit PreviewFileModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void SetFiles(std::vector<FilePreview> files);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    std::vector<FilePreview> files_;
};

// The sentence that tells what the preview found, as the dialog shows it.
QString PreviewVerdict(const RulePreview& p);

class RulePreviewDialog : public QDialog {
    Q_OBJECT
public:
    // Starts reading `service`'s folder at once; `rule` is the wizard's
    // working copy, `ruleName` what its name field holds.
    RulePreviewDialog(const rServiceRules& service, const RuleRec& rule, const QString& ruleName,
                      ScanEnvironment env, QWidget* parent = nullptr);
    // Stops a listing still running and waits for it (it ends at the next
    // few hundred entries).
    ~RulePreviewDialog() override;

    bool Running() const { return running_; }
    // What was found; meaningful once Running() is false.
    const RulePreview& Result() const { return result_; }

    QLabel* Verdict = nullptr;
    QLabel* Actions = nullptr;
    QProgressBar* Progress = nullptr;
    QTableView* Files = nullptr;
    QPushButton* btnClose = nullptr;

signals:
    void Finished();

protected:
    void reject() override;

private:
    void showProgress();
    void showResult();

    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<std::size_t>> seen_ = std::make_shared<std::atomic<std::size_t>>(0);
    QFutureWatcher<RulePreview> watcher_;
    QTimer ticker_;
    PreviewFileModel* model_ = nullptr;
    RulePreview result_;
    bool running_ = true;
};

}  // namespace kb
