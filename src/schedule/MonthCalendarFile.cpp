#include "schedule/MonthCalendarFile.h"

#include "platform/LosslessText.h"
#include "schedule/LineReader.h"

#include <limits>

namespace cantrel {

QByteArray writeMonthCalendar(const QStringList& paths31) {
    QByteArray out;
    for (int day = 1; day <= monthDays; ++day) {
        out.append(QByteArray::number(day));
        out.append(' ');
        if (day <= paths31.size())
            out.append(encodeLossless(paths31.at(day - 1)));
        out.append("\r\n");
    }
    return out;
}

QList<MonthLine> readMonthLines(QByteArrayView bytes) {
    QList<MonthLine> lines;
    LineReader reader(bytes);
    QByteArrayView line;
    while (reader.next(line)) {
        // Only a space splits: a tab leaves the whole line as the day text.
        const qsizetype space = line.indexOf(' ');
        if (space < 0) {
            lines.append({decodeLossless(line), QString()});
            continue;
        }
        lines.append({decodeLossless(trimmedBytes(line.first(space))),
                      decodeLossless(trimmedBytes(line.sliced(space + 1)))});
    }
    return lines;
}

std::optional<int> parseWholeNumber(QStringView text) {
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    if (pos == text.size())
        return std::nullopt;
    // One past the largest int is the magnitude of the lowest.
    constexpr long long limit = -static_cast<long long>(std::numeric_limits<int>::min());
    long long magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const char16_t c = text[pos].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace cantrel
