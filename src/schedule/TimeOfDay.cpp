#include "schedule/TimeOfDay.h"

namespace cantrel {

namespace {

bool isBlank(QChar c) {
    return c.unicode() <= 32;
}

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// Reads one part of one or more digits at pos, as long as its value stays
// within limit ("007" is 7); nullopt if there is no digit or it goes beyond.
std::optional<int> readPart(QStringView text, qsizetype& pos, int limit) {
    const qsizetype start = pos;
    int value = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        value = value * 10 + (text[pos].unicode() - u'0');
        if (value > limit)
            return std::nullopt;
        ++pos;
    }
    if (pos == start)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<int> parseTimeOfDay(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    text = text.sliced(begin, end - begin);

    static constexpr int limits[] = {23, 59, 59};
    static constexpr int scale[] = {3600, 60, 1};
    qsizetype pos = 0;
    int seconds = 0;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (pos == text.size())
                break;
            if (text[pos] != u':')
                return std::nullopt;
            ++pos;
        }
        const std::optional<int> value = readPart(text, pos, limits[part]);
        if (!value)
            return std::nullopt;
        seconds += *value * scale[part];
    }
    if (pos != text.size())
        return std::nullopt;
    return seconds;
}

} // namespace cantrel
