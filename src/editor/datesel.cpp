#include "editor/datesel.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/paramdialog.h"
#include "ui/msgbox.h"

namespace kb {

TUpDown::TUpDown(QLineEdit* buddy, int min, int max, int position, QWidget* parent)
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

void TUpDown::StepBy(int steps) {
    std::int32_t typed = 0;
    if (ParseWholeNumber(buddy_->text(), typed)) position_ = std::clamp<int>(typed, min_, max_);
    position_ = std::clamp(position_ + steps, min_, max_);
    buddy_->setText(QString::number(position_));
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TfrmDateSel::TfrmDateSel(ParamExchange& ex, QWidget* parent) : QDialog(parent), ex_(ex) {
    setObjectName(QStringLiteral("frmDateSel"));
    setWindowTitle(QStringLiteral("File Date Definition"));
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    rblt = new QRadioButton(QStringLiteral("Less Than"), GroupBox1);
    rblt->setObjectName(QStringLiteral("rblt"));
    rbgt = new QRadioButton(QStringLiteral("Greater Than"), GroupBox1);
    rbgt->setObjectName(QStringLiteral("rbgt"));
    rbgt->setChecked(true);
    auto* label = new QLabel(QStringLiteral("Number of Days Old:"), GroupBox1);
    teDays = new QLineEdit(GroupBox1);
    teDays->setObjectName(QStringLiteral("teDays"));
    teDays->setFixedWidth(40);
    UpDown1 = new TUpDown(teDays, 0, 100, 10, GroupBox1);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* radios = new QHBoxLayout;
    radios->addWidget(rblt);
    radios->addWidget(rbgt);
    radios->addStretch();
    auto* daysRow = new QHBoxLayout;
    daysRow->setSpacing(0);
    daysRow->addWidget(label);
    daysRow->addSpacing(6);
    daysRow->addWidget(teDays);
    daysRow->addWidget(UpDown1);
    daysRow->addStretch();
    auto* group = new QVBoxLayout(GroupBox1);
    group->addLayout(radios);
    group->addLayout(daysRow);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);

    if (ex.days != -1) {
        (ex.comparison == cmpGreater ? rbgt : rblt)->setChecked(true);
        teDays->setText(QString::number(ex.days));
    }

    connect(Button1, &QPushButton::clicked, this, &TfrmDateSel::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmDateSel::reject);
    SetUpParamDialog(this, QSize(296, 135), Button1);
}

void TfrmDateSel::Button1Click() {
    std::int32_t n = 0;
    if (!ParseWholeNumber(teDays->text(), n) || n < 0) {
        WarnAt(this, QStringLiteral("Invalid number of days."));
        return;
    }
    ex_.days = n;
    ex_.comparison = rbgt->isChecked() ? cmpGreater : cmpLess;
    accept();
}

}  // namespace kb
