#include "editor/datesel.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/paramdialog.h"

namespace kb {

SpinEdit::SpinEdit(QLineEdit* buddy, int min, int max, int position, QWidget* parent)
    : QWidget(parent), buddy_(buddy), min_(min), max_(max), position_(position) {
    btnUp = new QToolButton(this);
    btnUp->setObjectName(QStringLiteral("btnUp"));
    btnUp->setArrowType(Qt::UpArrow);
    btnDown = new QToolButton(this);
    btnDown->setObjectName(QStringLiteral("btnDown"));
    btnDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {btnUp, btnDown}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(btnUp);
    layout->addWidget(btnDown);
    connect(btnUp, &QToolButton::clicked, this, [this] { StepBy(1); });
    connect(btnDown, &QToolButton::clicked, this, [this] { StepBy(-1); });
    buddy_->installEventFilter(this);
    buddy_->setText(QString::number(position_));
}

void SpinEdit::StepBy(int steps) {
    if (const std::optional<std::int32_t> typed = TypedWholeNumber(buddy_->text()))
        position_ = std::clamp<int>(*typed, min_, max_);
    position_ = std::clamp(position_ + steps, min_, max_);
    buddy_->setText(QString::number(position_));
}

bool SpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

FileDateDialog::FileDateDialog(ParamExchange& ex, QWidget* parent) : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmDateSel"));
    setWindowTitle(QStringLiteral("File Date Definition"));
    const ComparisonForm form =
        BuildComparisonForm(this, [this](QGroupBox* group, QHBoxLayout* row) {
            auto* label = new QLabel(QStringLiteral("Number of Days Old:"), group);
            teDays = new QLineEdit(group);
            teDays->setObjectName(QStringLiteral("teDays"));
            teDays->setFixedWidth(40);
            UpDown1 = new SpinEdit(teDays, 0, 100, 10, group);
            UpDown1->setObjectName(QStringLiteral("UpDown1"));
            // The arrows sit flush against the edit they step.
            row->setSpacing(0);
            row->addWidget(label);
            row->addSpacing(6);
            row->addWidget(teDays);
            row->addWidget(UpDown1);
        });
    GroupBox1 = form.group;
    rblt = form.less;
    rbgt = form.greater;
    Button1 = form.ok;
    Button2 = form.cancel;
    ShowComparison(form, teDays, ex.comparison, ex.days);

    connect(Button1, &QPushButton::clicked, this, &FileDateDialog::confirm);
    SetUpParamDialog(this, QSize(296, 135), Button1);
}

void FileDateDialog::confirm() {
    if (ReadComparison(this, rbgt, teDays, QStringLiteral("Invalid number of days."),
                       ex_.comparison, ex_.days))
        accept();
}

}  // namespace kb
