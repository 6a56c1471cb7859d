// The side bar reports clicks by group and item and keeps nothing selected.
#include "ui/sidebar.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "ui/icons.h"

namespace {

using namespace kb;

TEST(SideBar, ReportsEachItemByGroupAndIndexAndStaysUnselected) {
    SideBar bar;
    const int g0 = bar.AddGroup("First");
    const int g1 = bar.AddGroup("Second");
    EXPECT_EQ(g0, 0);
    EXPECT_EQ(g1, 1);
    EXPECT_EQ(bar.AddItem(g0, "A", QIcon(), "itemA"), 0);
    EXPECT_EQ(bar.AddItem(g1, "C", QIcon(), "itemC"), 0);
    EXPECT_EQ(bar.AddItem(g0, "B", QIcon(), "itemB"), 1);
    EXPECT_EQ(bar.AddItem(7, "X", QIcon(), "itemX"), -1);
    EXPECT_EQ(bar.ItemCount(0), 2);
    EXPECT_EQ(bar.ItemCount(1), 1);
    EXPECT_EQ(bar.Item(0, 2), nullptr);
    EXPECT_EQ(bar.Item(-1, 0), nullptr);
    bar.show();

    QSignalSpy clicks(&bar, &SideBar::ItemClick);
    QTest::mouseClick(bar.findChild<QToolButton*>("itemB"), Qt::LeftButton);
    QTest::mouseClick(bar.findChild<QToolButton*>("itemC"), Qt::LeftButton);
    QTest::mouseClick(bar.findChild<QToolButton*>("itemB"), Qt::LeftButton);
    ASSERT_EQ(clicks.size(), 3);
    EXPECT_EQ(clicks[0], (QList<QVariant>{0, 1}));
    EXPECT_EQ(clicks[1], (QList<QVariant>{1, 0}));
    EXPECT_EQ(clicks[2], (QList<QVariant>{0, 1}));
    EXPECT_FALSE(bar.Item(0, 1)->isChecked());
    EXPECT_EQ(bar.Item(0, 1)->text(), "B");

    // Items stay under their own group's caption, in order.
    EXPECT_LT(bar.Item(0, 0)->y(), bar.Item(0, 1)->y());
    EXPECT_LT(bar.Item(0, 1)->y(), bar.Item(1, 0)->y());
}

TEST(SideBar, EveryServiceHasAnIconAndThereIsAProgramIcon) {
    EXPECT_FALSE(AppIcon().isNull());
    EXPECT_FALSE(AppIcon().pixmap(32, 32).isNull());
    for (std::uint8_t id = 0; id <= 6; ++id)
        EXPECT_FALSE(ServiceIcon(id).pixmap(22, 22).isNull()) << int(id);
    EXPECT_TRUE(ServiceIcon(7).isNull());
}

}  // namespace
