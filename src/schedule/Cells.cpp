#include "schedule/Cells.h"

#include "schedule/MonthCalendarFile.h"

namespace cantrel {

QString trimmedControls(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

int outputNumber(const QString& cell) {
    return parseWholeNumber(trimmedControls(cell)).value_or(0);
}

} // namespace cantrel
