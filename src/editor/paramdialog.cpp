#include "editor/paramdialog.h"

#include <QColor>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "ui/placement.h"

namespace kb {

void SetUpParamDialog(QDialog* dialog, const QSize& designSize, QPushButton* okButton) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    if (okButton) okButton->setDefault(true);
    // The design size is a floor: the platform's font may need more room.
    dialog->setFixedSize(dialog->sizeHint().expandedTo(designSize));
    PlaceAtPointer(dialog);
}

QHBoxLayout* NewButtonRow(QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QLabel* NewHintLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(p);
    return label;
}

}  // namespace kb
