#include "shell/about.h"

#include <QLabel>
#include <QPushButton>

#include "store/version.h"
#include "ui/icons.h"
#include "ui/placement.h"

namespace kb {

AboutDialog::AboutDialog(QWidget* mainWindow) : QDialog(mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("frmabout"));
    setWindowTitle(QStringLiteral("About Kestrelbox"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(247, 153);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 16, 32, 32);
    Image1->setPixmap(AppIcon().pixmap(32, 32));

    auto label = [this](const char* name, const QString& text, int x, int y) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(x, y);
        return l;
    };
    lblPName = label("lblPName", QStringLiteral("Kestrelbox"), 48, 8);
    QFont bold = lblPName->font();
    bold.setBold(true);
    bold.setPointSize(10);
    lblPName->setFont(bold);
    lblPName->adjustSize();
    lblVersion =
        label("lblVersion", QStringLiteral("Version ") + QString::fromLatin1(kVersionText), 48, 26);
    lblVersion->adjustSize();
    Label1 = label("Label1", QStringLiteral("Build 2"), 48, 40);
    Label1->adjustSize();
    lblComment = label("lblComment", QStringLiteral("Thank you for using Kestrelbox."), 8, 72);
    lblComment->resize(233, 49);
    lblComment->setWordWrap(true);
    lblComment->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblComment->setAttribute(Qt::WA_TranslucentBackground);
    QPalette navy = lblComment->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lblComment->setPalette(navy);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(88, 120, 81, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    place();
}

void AboutDialog::place() { PlaceDialog(this, mainWindow_); }

void ShowAbout(QWidget* mainWindow) {
    AboutDialog box(mainWindow);
    box.exec();
}

}  // namespace kb
