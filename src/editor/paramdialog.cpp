#include "editor/paramdialog.h"

#include <QDialog>
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

}  // namespace kb
