// The .31d reader and writer, the day number check the calendar applies to
// every line, and paths typed into the calendar written and read back.

#include "FuzzCheck.h"
#include "schedule/MonthCalendarFile.h"

#include <charconv>
#include <cstddef>
#include <cstdint>

using namespace cantrel;
using fuzz::shown;

namespace {

// std::from_chars as the second opinion: it takes "-" but not "+", and
// reports overflow itself.
std::optional<int> referenceWholeNumber(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return std::nullopt;
    QByteArray digits = text.toLatin1();
    if (digits.startsWith('+')) {
        digits.remove(0, 1);
        if (digits.isEmpty() || digits[0] < '0' || digits[0] > '9')
            return std::nullopt;
    }
    int value = 0;
    const char* end = digits.constData() + digits.size();
    const auto [stop, error] = std::from_chars(digits.constData(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

void checkNumber(QStringView text) {
    const std::optional<int> parsed = parseWholeNumber(text);
    const std::optional<int> reference = referenceWholeNumber(text);
    FUZZ_CHECK(parsed == reference,
               shown(text) + " gives " +
                   (parsed ? QByteArray::number(*parsed) : QByteArray("nothing")) +
                   ", from_chars " +
                   (reference ? QByteArray::number(*reference) : QByteArray("nothing")));
}

// 31 lines, day k holding paths[k - 1].
void checkCalendar(const QStringList& paths, const QByteArray& written) {
    const QList<MonthLine> lines = readMonthLines(written);
    FUZZ_CHECK(lines.size() == monthDays, shown(written));
    for (int day = 1; day <= monthDays; ++day) {
        const MonthLine& line = lines[day - 1];
        FUZZ_CHECK(line.dayText == QString::number(day) && line.path == paths[day - 1],
                   "day " + QByteArray::number(day) + ": " + shown(line.dayText) + " " +
                       shown(line.path) + ", expected " + shown(paths[day - 1]) +
                       "\nwritten: " + shown(written));
    }
}

void checkFile(QByteArrayView bytes) {
    const QList<MonthLine> lines = readMonthLines(bytes);
    QStringList paths(monthDays);
    bool loads = true;
    for (const MonthLine& line : lines) {
        FUZZ_CHECK(!line.dayText.isEmpty() && line.path == fuzz::trimmedBlanks(line.path),
                   shown(line.dayText) + " " + shown(line.path));
        checkNumber(line.dayText);
        // The calendar refuses a file with a day that is no number, and
        // ignores days outside 1..31; a later line for a day wins.
        const std::optional<int> day = parseWholeNumber(line.dayText);
        if (!day)
            loads = false;
        else if (*day >= 1 && *day <= monthDays)
            paths[*day - 1] = line.path;
    }
    if (loads)
        checkCalendar(paths, writeMonthCalendar(paths));
}

void checkTypedPaths(QByteArrayView bytes) {
    // Every cell of the table is a path, day after day; beyond 31 they are
    // not written, fewer leave the rest empty.
    QStringList typed;
    for (const QStringList& row : fuzz::tableOf(bytes))
        typed += row;
    QStringList expected;
    for (int day = 1; day <= monthDays; ++day)
        expected.append(fuzz::asReadBack(typed.value(day - 1)));
    checkCalendar(expected, writeMonthCalendar(typed));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkFile(bytes);
    checkTypedPaths(bytes);
    if (size <= 64)
        checkNumber(decodeLossless(bytes));
    return 0;
}
