// The Activity page: what the rules did, newest first, from the journal. The
// table fetches its rows a page at a time, so a journal of a million entries
// opens at once; a text filter and "Failures only" narrow it, and Undo takes
// back the selected actions.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "journal/journal.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace kb {

class ActivityModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // What a row says first is what people look for: which file, and what
    // became of it. The service and the rule share a column.
    enum Column { File, Result, When, Action, Rule, WhereTo, ColumnCount };
    static constexpr int kPage = 200;

    explicit ActivityModel(Journal* journal, QObject* parent = nullptr);

    // Starts again from the newest entry with these filters.
    void SetFilter(const QString& text, bool failuresOnly);
    // Puts the entries written since the last look at the top.
    void Refresh();
    // The entry with this id again from the journal, wherever its row is
    // now (undo marks it; a refresh may have moved it down meanwhile).
    void ReloadEntry(std::int64_t id);

    const JournalEntry& Entry(int row) const { return rows_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    JournalQuery query() const;

    Journal* journal_;
    QString text_;
    bool failuresOnly_ = false;
    std::vector<JournalEntry> rows_;
    bool atEnd_ = false;
};

class Notifier;
class Session;

class ActivityPage : public QWidget {
    Q_OBJECT

public:
    // The journal and the scheduler are the session's; notifications of
    // what each pass did go through `notifier`.
    ActivityPage(Session& session, Notifier* notifier, QWidget* parent = nullptr);

    ActivityModel* Model() const { return model_; }
    // Reads the newest entries in (when the page is shown).
    void Refresh();
    // Takes back the actions of these journal entries between two passes;
    // what cannot be taken back is said first, what fails after.
    void Undo(const std::vector<std::int64_t>& ids);

signals:
    // The folder that holds the file of this row now.
    void OpenFolderRequested(const QString& folder);

private:
    // The journal ids of the selected rows, in the table's order.
    std::vector<std::int64_t> selectedIds() const;
    void selectionChanged();
    void showMenu(const QPoint& at);
    // A pass ended: its entries are shown, its failures (or everything)
    // notified, the journal's problems said once.
    void passFinished();
    void setProblem(const QString& text);
    // The header's context menu: which columns are shown.
    void showColumnMenu(const QPoint& at);
    // Keeps the columns' widths, order and visibility for the next start.
    void saveColumns();

    Session& session_;
    Notifier* notifier_;
    Journal* journal_;
    ActivityModel* model_ = nullptr;
    QLabel* problem_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QCheckBox* failuresOnly_ = nullptr;
    QPushButton* undo_ = nullptr;
    QTableView* table_ = nullptr;
    bool sized_ = false;
    class QTimer* saveColumns_ = nullptr;
};

// "14:05" today, "Yesterday 14:05", else "2026-12-09 14:05" (local time).
QString RelativeTimeText(std::int64_t ms, const QDateTime& now);

}  // namespace kb
