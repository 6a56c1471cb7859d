// The program's own date and time formats. They are fixed once at start-up
// and do not follow later changes to the desktop's regional settings, so a
// date the user typed reads back the same way for the whole run.
#pragma once

#include <QChar>
#include <QDate>
#include <QString>
#include <QTime>
#include <cstdint>

namespace kb {

struct TextFormats {
    QString ShortDateFormat;  // Qt pattern of "M/d/yyyy"
    QString LongTimeFormat;   // two-digit 12-hour clock, minutes, seconds, then AM/PM
    QChar DateSeparator;
    QChar TimeSeparator;  // the system's, left as it is
};

// Fixes the formats for the rest of the run. Later calls change nothing.
void SetProcessTextFormats();
// The formats in force (set on first use when start-up has not set them).
const TextFormats& ProcessTextFormats();

QString FormatShortDate(const QDate& date);
QString FormatLongTime(const QTime& time);
// Reads a date written in the short date format; an invalid QDate when the
// text is not one.
QDate ParseShortDate(const QString& text);

// A byte count as people read it, the same everywhere: "512 bytes",
// "4.1 MB" (1024-based, one decimal).
QString FormatDataSize(std::int64_t bytes);

}  // namespace kb
