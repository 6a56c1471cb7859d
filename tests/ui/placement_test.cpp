// Dialogs placed against the main window keep their title bar on the screen.
#include "ui/placement.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

namespace {

TEST(Placement, ADialogTallerThanTheWindowStaysOnTheScreen) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect room = screen->availableGeometry();
    QWidget main;
    main.setGeometry(room.left(), room.top(), 600, 120);  // a short, wide window at the top
    QDialog tall;
    tall.setFixedSize(420, 480);
    kb::PlaceDialog(&tall, &main);
    EXPECT_GE(tall.pos().y(), room.top());
    EXPECT_GE(tall.pos().x(), room.left());
    EXPECT_LE(tall.pos().x() + tall.width(), room.right() + 1);

    // Where it fits, it is where the window's own rule puts it.
    main.setGeometry(room.left() + 100, room.top() + 100, 600, 500);
    QDialog small;
    small.setFixedSize(200, 100);
    kb::PlaceDialog(&small, &main);
    EXPECT_EQ(small.pos(),
              kb::DialogPlacement(main.frameGeometry(), small.size(), screen->geometry().size()));
}

}  // namespace
