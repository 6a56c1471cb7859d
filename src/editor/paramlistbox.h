// A list whose lines are short markup texts with clickable links. The markup
// itself lives in parammarkup.h; this is the view: drawing, line heights, the
// hand pointer over a link and the click report. From the keyboard, Tab and
// the arrow keys go from link to link (the focused one framed and shaded),
// and Enter or Space opens it as a click would.
#pragma once

#include <QColor>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "editor/parammarkup.h"

namespace kb {

class LinkedSentenceList : public QListWidget {
    Q_OBJECT
public:
    explicit LinkedSentenceList(QWidget* parent = nullptr);

    // Link colour; green by default.
    QColor ParamColor{0, 128, 0};
    // Whether the selected line is drawn highlighted with a focus rectangle.
    bool ShowSelection = true;
    QColor SelectionColor;      // background of the selected line
    QColor SelectionFontColor;  // text and links of the selected line
    // Links that open nothing: drawn, pointed at and stepped over as plain
    // words, though the lines keep their markup.
    QStringList InertLinks;

    void Clear();
    void AddLine(const QString& markup);
    void InsertLine(int idx, const QString& markup);
    // Replaces line `idx`; throws std::out_of_range("Invalid item index").
    void SetLine(int idx, const QString& markup);
    int Count() const;
    // Throws std::out_of_range("Invalid item index") for an index outside the list.
    QString Line(int idx) const;

    // Text of the first link named `name` in line `idx`, entities decoded;
    // empty when there is none. Throws std::out_of_range("Invalid item index").
    QString GetParamValue(int idx, const QString& name) const;
    // Replaces the text of the first link named `name` in line `idx`.
    // Throws std::out_of_range("Invalid item index").
    void SetParamValue(int idx, const QString& name, const QString& value);

    // The line under `pos` (viewport coordinates), -1 when none; `href`
    // receives the name of the link under it, empty when none.
    int HitTest(const QPoint& pos, QString* href = nullptr) const;

    // The link that has the keyboard focus: its line and its place among
    // that line's runs; -1 when none.
    int FocusedLine() const { return focusLine_; }
    int FocusedRun() const { return focusRun_; }
    // The name of the focused link; empty when none.
    QString FocusedHref() const;
    // Whether `run` is a link that does something when pressed.
    bool IsLive(const MarkupRun& run) const;

signals:
    // A press on a link: its line, its name and its text as written. A
    // handler may change `value`; the line then takes the new text and
    // OnParamChanged follows. The handler may also clear and refill the list.
    void OnParamClick(int idx, const QString& href, QString& value);
    void OnParamChanged(int idx, const QString& href, const QString& oldvalue,
                        const QString& newvalue);
    // The pointer moved onto / off a link.
    void OnParamEnter(int idx, const QString& href, const QString& value);
    void OnParamExit(int idx, const QString& href);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Hit {
        int idx = -1;
        int run = -1;
        QString href;
        QString raw;
    };
    Hit hitAt(const QPoint& pos) const;
    // Every link of the list in reading order, as (line, run).
    std::vector<std::pair<int, int>> links() const;
    // Moves the keyboard focus `step` links on; false when there is none there.
    bool stepLink(int step);
    void focusLink(int line, int run);
    void activate(int idx, int run);
    void checkIndex(int idx) const;
    void trackPointer(const QPoint& pos);
    void forgetLink();

    bool handShown_ = false;
    int focusLine_ = -1;
    int focusRun_ = -1;
    int enteredIdx_ = -1;
    QString enteredHref_;
};

}  // namespace kb
