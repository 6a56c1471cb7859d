#include "editor/paramlistbox.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

namespace kb {
namespace {

class ParamListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        box.resize(400, 200);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    }

    // A point on the middle of the text of line `idx`, `chars` characters of
    // `prefix` in from the text's start.
    QPoint pointAt(int idx, const QString& prefix) const {
        const QRect r = box.visualRect(box.model()->index(idx, 0));
        return {r.left() + 2 + QFontMetrics(box.font()).horizontalAdvance(prefix) + 2,
                r.center().y()};
    }

    LinkedSentenceList box;
};

TEST_F(ParamListBoxTest, OutOfRangeIndexesRaiseInvalidItemIndex) {
    box.AddLine("only <a href=\"L\">line</a>");
    for (int bad : {-1, 1}) {
        try {
            box.GetParamValue(bad, "L");
            FAIL() << "no error for " << bad;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "Invalid item index");
        }
        EXPECT_THROW(box.SetParamValue(bad, "L", "x"), std::out_of_range);
    }
    EXPECT_EQ(box.GetParamValue(0, "L"), "line");
    box.SetParamValue(0, "l", "a<b");
    EXPECT_EQ(box.Line(0), "only <a href=\"L\">a&lt;b</a>");
    EXPECT_EQ(box.GetParamValue(0, "L"), "a<b");
}

TEST_F(ParamListBoxTest, EveryLineIsOneTextLinePlusFourPixelsHigh) {
    box.AddLine("plain");
    box.AddLine("with <a href=\"L\">a link</a>");
    box.AddLine("");
    const int expected = QFontMetrics(box.font()).height() + 4;
    for (int i = 0; i < box.Count(); ++i)
        EXPECT_EQ(box.visualRect(box.model()->index(i, 0)).height(), expected) << i;
    QFont bigger = box.font();
    bigger.setPointSize(bigger.pointSize() * 2);
    box.setFont(bigger);
    EXPECT_EQ(box.visualRect(box.model()->index(0, 0)).height(), QFontMetrics(bigger).height() + 4);
}

TEST_F(ParamListBoxTest, HitTestFindsLinksNotTheTextBesideThem) {
    box.AddLine("no links at all");
    box.AddLine("Move to <a href=\"rMove\">target</a> directory");
    QString href = "stale";
    EXPECT_EQ(box.HitTest(pointAt(0, "no li"), &href), 0);
    EXPECT_EQ(href, "");
    EXPECT_EQ(box.HitTest(pointAt(1, "Move to t"), &href), 1);
    EXPECT_EQ(href, "rMove");
    EXPECT_EQ(box.HitTest(pointAt(1, "Move"), &href), 1);
    EXPECT_EQ(href, "");
    EXPECT_EQ(box.HitTest(pointAt(1, "Move to target di"), &href), 1);
    EXPECT_EQ(href, "");
    const QRect last = box.visualRect(box.model()->index(1, 0));
    EXPECT_EQ(box.HitTest(QPoint(10, last.bottom() + 20), &href), -1);
    EXPECT_EQ(href, "");
    // Inside the line but in the padding above its text.
    EXPECT_EQ(box.HitTest(QPoint(pointAt(1, "Move to t").x(), last.top()), &href), 1);
    EXPECT_EQ(href, "");
}

TEST_F(ParamListBoxTest, PressOnALinkReportsItsNameAndTextAsWritten) {
    box.AddLine("  <a href=\"FileExt\">R&amp;B</a> extension");
    struct Click {
        int idx;
        QString href, value;
    };
    std::vector<Click> clicks;
    QObject::connect(&box, &LinkedSentenceList::OnParamClick,
                     [&](int idx, const QString& href, const QString& value) {
                         clicks.push_back({idx, href, value});
                     });
    QSignalSpy changes(&box, &LinkedSentenceList::OnParamChanged);
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, pointAt(0, "  R&B ext"));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, pointAt(0, " "));
    EXPECT_EQ(clicks.size(), 0u);
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, pointAt(0, "  R"));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].idx, 0);
    EXPECT_EQ(clicks[0].href, "FileExt");
    EXPECT_EQ(clicks[0].value, "R&amp;B");
    EXPECT_EQ(changes.count(), 0);  // the value was left alone
    EXPECT_EQ(box.Line(0), "  <a href=\"FileExt\">R&amp;B</a> extension");
}

TEST_F(ParamListBoxTest, AHandlerThatChangesTheValueRewritesTheLine) {
    box.AddLine("size <a href=\"N\">5</a> and <a href=\"N\">5</a>");
    QObject::connect(&box, &LinkedSentenceList::OnParamClick,
                     [](int, const QString&, QString& value) { value = "<9>"; });
    QSignalSpy changes(&box, &LinkedSentenceList::OnParamChanged);
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, pointAt(0, "size "));
    EXPECT_EQ(box.Line(0), "size <a href=\"N\">&lt;9&gt;</a> and <a href=\"N\">5</a>");
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][2].toString(), "5");
    EXPECT_EQ(changes[0][3].toString(), "<9>");
}

TEST_F(ParamListBoxTest, AHandlerMayRefillTheListItWasCalledFrom) {
    box.AddLine("a <a href=\"L\">link</a>");
    int calls = 0;
    QObject::connect(
        &box, &LinkedSentenceList::OnParamClick, [&](int, const QString&, QString& value) {
            ++calls;
            box.Clear();
            box.AddLine("rebuilt <a href=\"L\">other</a>");
            value = "changed";  // the line it came from is gone; the new one is left alone
        });
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, pointAt(0, "a l"));
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(box.Count(), 1);
    // Line 0 exists again, so the change lands there: the behaviour of a list
    // that reports by index. What matters is that nothing is read from freed items.
    EXPECT_EQ(box.GetParamValue(0, "L"), "changed");
}

TEST_F(ParamListBoxTest, HandPointerOnlyOverLinks) {
    box.AddLine("plain <a href=\"L\">link</a>");
    QSignalSpy enters(&box, &LinkedSentenceList::OnParamEnter);
    QSignalSpy exits(&box, &LinkedSentenceList::OnParamExit);
    QTest::mouseMove(box.viewport(), pointAt(0, "pl"));
    EXPECT_NE(box.viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(box.viewport(), pointAt(0, "plain l"));
    EXPECT_EQ(box.viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(enters.count(), 1);
    QTest::mouseMove(box.viewport(), pointAt(0, "plain li"));
    EXPECT_EQ(enters.count(), 1);  // still the same link
    QTest::mouseMove(box.viewport(), pointAt(0, "p"));
    EXPECT_NE(box.viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(exits.count(), 1);
}

// Colour of the pixel at `p` of the list as drawn.
QColor pixel(LinkedSentenceList& box, const QPoint& p) {
    const QImage image = box.viewport()->grab().toImage();
    return image.pixelColor(p * image.devicePixelRatio());
}

TEST_F(ParamListBoxTest, SelectionIsDrawnOnlyWhenShown) {
    box.AddLine("selected line");
    box.AddLine("other");
    box.SelectionColor = QColor(200, 0, 200);
    const QRect r = box.visualRect(box.model()->index(0, 0));
    const QPoint blank(r.right() - 3, r.center().y());  // right of the text
    box.ShowSelection = false;
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, pointAt(0, "sel"));
    ASSERT_EQ(box.currentRow(), 0);
    EXPECT_EQ(pixel(box, blank), box.palette().color(QPalette::Base));
    box.ShowSelection = true;
    EXPECT_EQ(pixel(box, blank), QColor(200, 0, 200));
}

TEST_F(ParamListBoxTest, LinksAreDrawnInTheLinkColour) {
    box.AddLine("<a href=\"L\">MMMMMMMM</a>");
    box.AddLine("MMMMMMMM");
    box.ParamColor = QColor(0, 128, 0);
    auto colours = [&](int row) {
        const QRect r = box.visualRect(box.model()->index(row, 0));
        const QImage image = box.viewport()->grab(r).toImage();
        QSet<QRgb> seen;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) seen.insert(image.pixel(x, y));
        return seen;
    };
    EXPECT_TRUE(colours(0).contains(QColor(0, 128, 0).rgb()));
    EXPECT_FALSE(colours(1).contains(QColor(0, 128, 0).rgb()));
}

// A link that opens nothing is shown and handled as the words around it:
// no link colour, no hand, no click, and Tab passes over it.
TEST_F(ParamListBoxTest, AnInertLinkIsPlainWordsToThePointerTheKeyboardAndTheEye) {
    box.InertLinks = {"rDelete"};
    box.ParamColor = QColor(0, 128, 0);
    box.AddLine("<a href=\"rDelete\">MMMMMMMM</a>(s)");
    box.AddLine("Move to <a href=\"rMove\">target</a> directory");
    int clicks = 0;
    QObject::connect(&box, &LinkedSentenceList::OnParamClick,
                     [&](int, const QString&, const QString&) { ++clicks; });
    QString href = "stale";
    EXPECT_EQ(box.HitTest(pointAt(0, "MM"), &href), 0);
    EXPECT_EQ(href, "");
    QTest::mouseMove(box.viewport(), pointAt(0, "MM"));
    EXPECT_NE(box.viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, pointAt(0, "MM"));
    EXPECT_EQ(clicks, 0);
    const QRect r = box.visualRect(box.model()->index(0, 0));
    const QImage image = box.viewport()->grab(r).toImage();
    bool green = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            green |= image.pixel(x, y) == QColor(0, 128, 0).rgb();
    EXPECT_FALSE(green);
    // The keyboard lands on the live link only.
    box.clearFocus();
    box.setFocus(Qt::TabFocusReason);
    EXPECT_EQ(box.FocusedHref(), "rMove");
    EXPECT_EQ(box.FocusedLine(), 1);
    // The line keeps its markup.
    EXPECT_EQ(box.Line(0), "<a href=\"rDelete\">MMMMMMMM</a>(s)");
}

}  // namespace
}  // namespace kb
