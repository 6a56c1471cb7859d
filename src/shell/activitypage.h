// The Activity page: what the rules did, newest first, from the journal. The
// table fetches its rows a page at a time, so a journal of a million entries
// opens at once; a text filter and "Failures only" narrow it, and Undo takes
// back the selected actions.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
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
    enum Column { Time, Service, Rule, Action, File, WhereTo, Result, ColumnCount };
    static constexpr int kPage = 200;

    explicit ActivityModel(Journal* journal, QObject* parent = nullptr);

    // Starts again from the newest entry with these filters.
    void SetFilter(const QString& text, bool failuresOnly);
    // Puts the entries written since the last look at the top.
    void Refresh();
    // The row's entry again from the journal (undo marks it).
    void Reload(int row);

    const JournalEntry& Entry(int row) const { return rows_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // How an entry's action and result read in the table.
    static QString ActionText(const JournalEntry& e);
    static QString ResultText(const JournalEntry& e);

private:
    JournalQuery query() const;

    Journal* journal_;
    QString text_;
    bool failuresOnly_ = false;
    std::vector<JournalEntry> rows_;
    bool atEnd_ = false;
};

class ActivityPage : public QWidget {
    Q_OBJECT

public:
    explicit ActivityPage(Journal* journal, QWidget* parent = nullptr);

    ActivityModel* Model() const { return model_; }
    // Shows what is wrong with the journal above the table ("" hides it).
    void SetProblem(const QString& text);
    // The journal entries of the selected rows.
    std::vector<int> SelectedRows() const;

signals:
    void UndoRequested(const std::vector<int>& rows);
    // The folder that holds the file of this row now.
    void OpenFolderRequested(const QString& folder);

private:
    void selectionChanged();
    void showMenu(const QPoint& at);

    Journal* journal_;
    ActivityModel* model_ = nullptr;
    QLabel* problem_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QCheckBox* failuresOnly_ = nullptr;
    QPushButton* undo_ = nullptr;
    QTableView* table_ = nullptr;
    bool sized_ = false;
};

// The folder that holds an entry's file now: where it was moved, copied or
// trashed to; where it was, when the action failed or was undone.
QString FolderOfFileNow(const JournalEntry& e);

}  // namespace kb
