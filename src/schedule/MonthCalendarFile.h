#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace cantrel {

inline constexpr int monthDays = 31;

// The .31d bytes: for each day 1..31 its number, one space, the path as it
// stands and CR LF. Paths beyond the 31st are ignored; missing ones are empty.
QByteArray writeMonthCalendar(const QStringList& paths31);

// One line of a .31d file, split at its first space; the day text is not yet
// checked, so the caller can report it as it was written.
struct MonthLine {
    QString dayText;
    QString path;
};

// The lines of a .31d file in file order.
QList<MonthLine> readMonthLines(QByteArrayView bytes);

// A whole decimal number: an optional + or - and digits only, nothing else,
// within int. Anything else (blanks, empty text, overflow) gives nullopt.
std::optional<int> parseWholeNumber(QStringView text);

} // namespace cantrel
