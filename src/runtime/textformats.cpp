#include "runtime/textformats.h"

#include <QLocale>

namespace kb {

namespace {

QChar systemTimeSeparator() {
    // The separator is whatever the locale puts right after the hours.
    const QString f = QLocale::system().timeFormat(QLocale::LongFormat);
    const qsizetype h = f.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
    if (h >= 0) {
        qsizetype i = h;
        while (i < f.size() && f[i].toLower() == QLatin1Char('h')) ++i;
        if (i < f.size() && !f[i].isLetterOrNumber() && f[i] != QLatin1Char('\'')) return f[i];
    }
    return QLatin1Char(':');
}

TextFormats makeFormats() {
    TextFormats t;
    t.DateSeparator = QLatin1Char('/');
    t.TimeSeparator = systemTimeSeparator();
    t.ShortDateFormat = QStringLiteral("M/d/yyyy");
    const QString sep(t.TimeSeparator);
    // "AP" gives AM or PM and turns "hh" into the twelve-hour clock.
    t.LongTimeFormat =
        QStringLiteral("hh") + sep + QStringLiteral("mm") + sep + QStringLiteral("ssAP");
    return t;
}

TextFormats& formats() {
    static TextFormats f = makeFormats();
    return f;
}

}  // namespace

void SetProcessTextFormats() { (void)formats(); }

const TextFormats& ProcessTextFormats() { return formats(); }

QString FormatShortDate(const QDate& date) {
    // Formatting through the C locale keeps digits and AM/PM in ASCII whatever
    // the desktop's language.
    return QLocale::c().toString(date, formats().ShortDateFormat);
}

QString FormatLongTime(const QTime& time) {
    return QLocale::c().toString(time, formats().LongTimeFormat);
}

QDate ParseShortDate(const QString& text) {
    return QLocale::c().toDate(text.trimmed(), formats().ShortDateFormat);
}

QString FormatDataSize(std::int64_t bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

}  // namespace kb
