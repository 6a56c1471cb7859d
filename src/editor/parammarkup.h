// The small markup of the parameter list's lines, apart from any painting:
// plain text with anchors <a href="NAME">text</a> and the entities &amp;
// &lt; &gt; &quot;. Parsing, link lookup and replacement, and the horizontal
// layout that both drawing and hit-testing use, so the two always agree.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace kb {

// One stretch of a line drawn in one style.
struct MarkupRun {
    QString text;     // as drawn: entities decoded, tabs expanded, line breaks as spaces
    QString href;     // link name; empty for plain text
    QString rawText;  // a link's text exactly as written up to the next "<"
    bool link = false;
};

// Splits a line into runs. Tags other than anchors are skipped; markup that
// stops in the middle of a tag ends the line there; a link without a closing
// tag runs to the end of the line.
std::vector<MarkupRun> ParseMarkup(const QString& line);

// "&" -> "&amp;", "<" -> "&lt;", ">" -> "&gt;", '"' -> "&quot;".
QString EncodeEntities(const QString& text);
// The reverse of EncodeEntities; any other "&" stays as it is.
QString DecodeEntities(const QString& text);

// Text of the first link named `name` (case-insensitive), entities decoded;
// empty when the line has no such link.
QString MarkupParamValue(const QString& line, const QString& name);
// The line with the text of its first link named `name` replaced by `value`
// (encoded); the line unchanged when there is no such link.
QString MarkupSetParamValue(const QString& line, const QString& name, const QString& value);

// Horizontal extent of one run once laid out.
struct MarkupPiece {
    int x0 = 0;
    int x1 = 0;  // exclusive
};

// Width in pixels of a run of text in the list's font.
using TextWidth = std::function<int(const QString&)>;

// Places the runs one after another from `left`.
std::vector<MarkupPiece> LayoutMarkup(const std::vector<MarkupRun>& runs, int left,
                                      const TextWidth& width);

// Index of the first link run whose piece holds `x`, or -1.
int LinkRunAt(const std::vector<MarkupRun>& runs, const std::vector<MarkupPiece>& pieces, int x);

}  // namespace kb
