// A side bar in the style of an outlook bar: a grey column with one caption
// per group and a column of large icon buttons under it. The items act as
// buttons: clicking one reports it and nothing stays selected; the item of
// the page shown is marked.
#pragma once

#include <QFrame>
#include <QIcon>
#include <QString>
#include <QVector>

class QToolButton;
class QVBoxLayout;
class QLabel;

namespace kb {

class SideBar : public QFrame {
    Q_OBJECT

public:
    explicit SideBar(QWidget* parent = nullptr);

    // Adds a group with a caption; returns its index.
    int AddGroup(const QString& caption);
    // Adds an item to a group and returns its index within the group. The
    // item's button gets `objectName` so tests and style sheets can find it.
    int AddItem(int group, const QString& caption, const QIcon& icon, const QString& objectName);

    int GroupCount() const { return groups_.size(); }
    int ItemCount(int group) const;
    // The button of an item, or nullptr for an index out of range.
    QToolButton* Item(int group, int item) const;
    // Marks the item whose page is shown (-1: none). It is a mark, not a
    // selection: the items still act as buttons.
    void SetCurrent(int group, int item);
    bool IsCurrent(int group, int item) const;

signals:
    void ItemClick(int group, int item);

private:
    struct Group {
        QLabel* caption = nullptr;
        QVector<QToolButton*> items;
    };
    QWidget* content_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QVector<Group> groups_;
};

}  // namespace kb
