#include "editor/parammarkup.h"

#include <algorithm>

namespace kb {

namespace {

constexpr int kTabColumns = 8;

struct Entity {
    QLatin1StringView code;
    QChar ch;
};
const Entity kEntities[] = {
    {QLatin1StringView("&amp;"), QChar('&')},
    {QLatin1StringView("&lt;"), QChar('<')},
    {QLatin1StringView("&gt;"), QChar('>')},
    {QLatin1StringView("&quot;"), QChar('"')},
};

// One tag of a line: where it starts ("<") and ends (after ">").
struct Tag {
    int begin = 0;
    int end = 0;
    bool anchorOpen = false;
    bool anchorClose = false;
    QString href;
};

// End of the tag opening at `lt` (index after its ">"), or -1 when the line
// stops inside it. A ">" inside a quoted attribute value does not end it.
int tagEnd(const QString& line, int lt) {
    QChar quote;
    for (int i = lt + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return -1;
}

QString hrefOf(const QString& body) {
    static const QLatin1StringView key("href");
    int from = 0;
    while (true) {
        const int at = body.indexOf(key, from, Qt::CaseInsensitive);
        if (at < 0) return {};
        int i = at + key.size();
        while (i < body.size() && body[i].isSpace()) ++i;
        if (i < body.size() && body[i] == '=') {
            ++i;
            while (i < body.size() && body[i].isSpace()) ++i;
            if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
                const QChar quote = body[i];
                const int close = body.indexOf(quote, i + 1);
                return close < 0 ? body.mid(i + 1) : body.mid(i + 1, close - i - 1);
            }
        }
        from = at + key.size();
    }
}

Tag readTag(const QString& line, int lt, int end) {
    Tag tag;
    tag.begin = lt;
    tag.end = end;
    const QString body = line.mid(lt + 1, end - lt - 2).trimmed();
    if (body.startsWith('/')) {
        tag.anchorClose =
            body.mid(1).trimmed().compare(QLatin1StringView("a"), Qt::CaseInsensitive) == 0;
        return tag;
    }
    int nameEnd = 0;
    while (nameEnd < body.size() && !body[nameEnd].isSpace() && body[nameEnd] != '/') ++nameEnd;
    if (body.left(nameEnd).compare(QLatin1StringView("a"), Qt::CaseInsensitive) == 0) {
        tag.anchorOpen = true;
        tag.href = hrefOf(body.mid(nameEnd));
    }
    return tag;
}

// Position of the text of the first anchor named `name`: [begin, end) in the
// raw line, the text running up to the next "<". False when there is none.
bool findLinkText(const QString& line, const QString& name, int& begin, int& end) {
    int pos = 0;
    while (true) {
        const int lt = line.indexOf('<', pos);
        if (lt < 0) return false;
        const int close = tagEnd(line, lt);
        if (close < 0) return false;
        const Tag tag = readTag(line, lt, close);
        if (tag.anchorOpen && tag.href.compare(name, Qt::CaseInsensitive) == 0) {
            begin = close;
            end = line.indexOf('<', close);
            if (end < 0) end = line.size();
            return true;
        }
        pos = close;
    }
}

// Appends drawn text: tabs to the next tab stop, line breaks as spaces.
void appendDrawn(QString& out, const QString& text, int& column) {
    for (const QChar c : text) {
        if (c == '\t') {
            const int spaces = kTabColumns - column % kTabColumns;
            out.append(QString(spaces, QChar(' ')));
            column += spaces;
        } else {
            out.append(c == '\n' || c == '\r' ? QChar(' ') : c);
            ++column;
        }
    }
}

}  // namespace

QString EncodeEntities(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == '&')
            out.append(QLatin1StringView("&amp;"));
        else if (c == '<')
            out.append(QLatin1StringView("&lt;"));
        else if (c == '>')
            out.append(QLatin1StringView("&gt;"));
        else if (c == '"')
            out.append(QLatin1StringView("&quot;"));
        else
            out.append(c);
    }
    return out;
}

QString DecodeEntities(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size();) {
        bool matched = false;
        if (text[i] == '&') {
            for (const Entity& e : kEntities) {
                if (QStringView(text).mid(i).startsWith(e.code)) {
                    out.append(e.ch);
                    i += e.code.size();
                    matched = true;
                    break;
                }
            }
        }
        if (!matched) out.append(text[i++]);
    }
    return out;
}

std::vector<MarkupRun> ParseMarkup(const QString& line) {
    std::vector<MarkupRun> runs;
    bool inLink = false;
    QString href, linkRaw;
    int column = 0;
    int pos = 0;
    while (pos < line.size()) {
        if (line[pos] == '<') {
            const int close = tagEnd(line, pos);
            if (close < 0) break;  // the line stops inside a tag: draw what came before
            const Tag tag = readTag(line, pos, close);
            if (tag.anchorOpen) {
                inLink = true;
                href = tag.href;
                int next = line.indexOf('<', close);
                if (next < 0) next = line.size();
                linkRaw = line.mid(close, next - close);
            } else if (tag.anchorClose) {
                inLink = false;
            }
            pos = close;
            continue;
        }
        int next = line.indexOf('<', pos);
        if (next < 0) next = line.size();
        MarkupRun run;
        appendDrawn(run.text, DecodeEntities(line.mid(pos, next - pos)), column);
        if (inLink) {
            run.link = true;
            run.href = href;
            run.rawText = linkRaw;
        }
        runs.push_back(std::move(run));
        pos = next;
    }
    return runs;
}

QString MarkupParamValue(const QString& line, const QString& name) {
    int begin = 0, end = 0;
    if (!findLinkText(line, name, begin, end)) return {};
    return DecodeEntities(line.mid(begin, end - begin));
}

QString MarkupSetParamValue(const QString& line, const QString& name, const QString& value) {
    int begin = 0, end = 0;
    if (!findLinkText(line, name, begin, end)) return line;
    QString out = line;
    out.replace(begin, end - begin, EncodeEntities(value));
    return out;
}

std::vector<MarkupPiece> LayoutMarkup(const std::vector<MarkupRun>& runs, int left,
                                      const TextWidth& width) {
    std::vector<MarkupPiece> pieces;
    pieces.reserve(runs.size());
    int x = left;
    for (const MarkupRun& run : runs) {
        const int w = std::max(0, width(run.text));
        pieces.push_back({x, x + w});
        x += w;
    }
    return pieces;
}

int LinkRunAt(const std::vector<MarkupRun>& runs, const std::vector<MarkupPiece>& pieces, int x) {
    const std::size_t n = std::min(runs.size(), pieces.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (runs[i].link && x >= pieces[i].x0 && x < pieces[i].x1) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace kb
