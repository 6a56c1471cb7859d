#include "editor/parammarkup.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

// Every character 10 pixels wide, so positions are easy to reason about.
int tenEach(const QString& s) { return 10 * static_cast<int>(s.size()); }

TEST(MarkupEntities, EncodeAndDecodeRoundTrip) {
    EXPECT_EQ(EncodeEntities("a&b<c>\"d\""), "a&amp;b&lt;c&gt;&quot;d&quot;");
    EXPECT_EQ(DecodeEntities("a&amp;b&lt;c&gt;&quot;d&quot;"), "a&b<c>\"d\"");
    const QString awkward = "&amp; & &lt &;<>\"";
    EXPECT_EQ(DecodeEntities(EncodeEntities(awkward)), awkward);
}

TEST(MarkupEntities, DecodingIsOnePassAndLeavesOtherAmpersands) {
    EXPECT_EQ(DecodeEntities("&amp;lt;"), "&lt;");
    EXPECT_EQ(DecodeEntities("R&B &nbsp; &"), "R&B &nbsp; &");
}

TEST(ParseMarkup, SplitsTextAndLinksKeepingSpaces) {
    const auto runs = ParseMarkup("    Where file is <a href=\"FileExt\">mp3</a> extension");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, "    Where file is ");
    EXPECT_FALSE(runs[0].link);
    EXPECT_TRUE(runs[1].link);
    EXPECT_EQ(runs[1].href, "FileExt");
    EXPECT_EQ(runs[1].text, "mp3");
    EXPECT_EQ(runs[2].text, " extension");
    EXPECT_FALSE(runs[2].link);
}

TEST(ParseMarkup, TagsAnyCaseRawTextAndEntities) {
    const auto runs = ParseMarkup("x <A HREF=\"rMove\">R&amp;B &lt;1&gt;</A> y");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].href, "rMove");
    EXPECT_EQ(runs[1].text, "R&B <1>");
    EXPECT_EQ(runs[1].rawText, "R&amp;B &lt;1&gt;");
    EXPECT_EQ(runs[0].text, "x ");
    EXPECT_EQ(runs[2].text, " y");
}

TEST(ParseMarkup, IncompleteMarkup) {
    // A link without a closing tag stays a link to the end of the line.
    auto runs = ParseMarkup("a <a href=\"L\">open to the end");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[1].link);
    EXPECT_EQ(runs[1].text, "open to the end");
    // A line that stops inside a tag is drawn up to the tag.
    runs = ParseMarkup("before <a href=\"L\"");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, "before ");
    // Other tags are not shown; a ">" inside the quoted name does not end the tag.
    runs = ParseMarkup("<b>bold</b> <a href=\"x>y\">v</a>");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, "bold");
    EXPECT_EQ(runs[2].href, "x>y");
    EXPECT_EQ(runs[2].text, "v");
}

TEST(ParseMarkup, TabsExpandToTheNextStopAcrossRuns) {
    const auto runs = ParseMarkup("ab\tc<a href=\"L\">\td</a>");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, "ab      c");  // to column 8
    EXPECT_EQ(runs[1].text, "       d");   // column 9 to 16
}

TEST(MarkupParamValue, FirstLinkOfTheNameCaseInsensitive) {
    const QString line = "<a href=\"N\">one &amp; two</a> and <a href=\"n\">three</a>";
    EXPECT_EQ(MarkupParamValue(line, "N"), "one & two");
    EXPECT_EQ(MarkupParamValue(line, "n"), "one & two");
    EXPECT_EQ(MarkupParamValue(line, "missing"), "");
    EXPECT_EQ(MarkupParamValue("no links here", "N"), "");
    EXPECT_EQ(MarkupParamValue("<a href=\"Other\">x</a> <a href=\"N\">y</a>", "N"), "y");
}

TEST(MarkupSetParamValue, ReplacesOnlyTheFirstAndEncodes) {
    const QString line = "<a href=\"N\">one</a> and <a href=\"N\">one</a>";
    EXPECT_EQ(MarkupSetParamValue(line, "n", "a<b"),
              "<a href=\"N\">a&lt;b</a> and <a href=\"N\">one</a>");
    EXPECT_EQ(MarkupSetParamValue(line, "absent", "x"), line);
    // The text matching elsewhere in the line is not what gets replaced.
    EXPECT_EQ(MarkupSetParamValue("one <a href=\"N\">one</a>", "N", "two"),
              "one <a href=\"N\">two</a>");
    EXPECT_EQ(MarkupSetParamValue("<a href=\"N\"></a>", "N", "filled"), "<a href=\"N\">filled</a>");
    const QString set = MarkupSetParamValue(line, "N", "\"&\"");
    EXPECT_EQ(MarkupParamValue(set, "N"), "\"&\"");
}

TEST(LayoutMarkup, PiecesFollowEachOtherFromTheLeftInset) {
    const auto runs = ParseMarkup("ab<a href=\"L\">cde</a>f");
    const auto pieces = LayoutMarkup(runs, 2, tenEach);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].x0, 2);
    EXPECT_EQ(pieces[0].x1, 22);
    EXPECT_EQ(pieces[1].x0, 22);
    EXPECT_EQ(pieces[1].x1, 52);
    EXPECT_EQ(pieces[2].x0, 52);
    EXPECT_EQ(pieces[2].x1, 62);
}

TEST(LinkRunAt, HitsOnlyLinkTextWithExactEdges) {
    const auto runs = ParseMarkup("ab<a href=\"L\">cde</a>f<a href=\"M\">g</a>");
    const auto pieces = LayoutMarkup(runs, 2, tenEach);
    EXPECT_EQ(LinkRunAt(runs, pieces, 21), -1);  // plain text beside the link
    EXPECT_EQ(LinkRunAt(runs, pieces, 22), 1);   // first pixel of the link
    EXPECT_EQ(LinkRunAt(runs, pieces, 51), 1);   // last pixel
    EXPECT_EQ(LinkRunAt(runs, pieces, 52), -1);  // "f"
    EXPECT_EQ(LinkRunAt(runs, pieces, 65), 3);   // the second link
    EXPECT_EQ(LinkRunAt(runs, pieces, 72), -1);  // past the end
    EXPECT_EQ(LinkRunAt(runs, pieces, 0), -1);   // in the inset
}

}  // namespace
}  // namespace kb
