// The .24h reader and writer, from both ends: the bytes as a file, and the
// bytes as cells typed into the grid.

#include "FuzzCheck.h"
#include "schedule/DayScheduleFile.h"

#include <cstddef>
#include <cstdint>

using namespace cantrel;
using fuzz::shown;
using Rows = QList<QStringList>;

namespace {

void checkFile(QByteArrayView bytes) {
    const Rows rows = readDayRows(bytes);
    for (const QStringList& row : rows) {
        FUZZ_CHECK(row.size() == dayRowCells && row[0].isEmpty(), shown(row));
        for (qsizetype cell = 1; cell < dayRowCells; ++cell)
            FUZZ_CHECK(row[cell] == fuzz::trimmedBlanks(row[cell]), shown(row));
    }
    // A file saved after it was loaded loads as the same rows, whatever it held.
    const QByteArray written = writeDayRows(rows);
    const Rows again = readDayRows(written);
    FUZZ_CHECK(again == rows, "read:\n" + shown(rows) + "written: " + shown(written) +
                                  "\nread back:\n" + shown(again));
}

void checkCells(QByteArrayView bytes) {
    // Rows of any length: the writer treats missing cells as empty and never
    // writes the mark or a fifth field.
    const Rows rows = fuzz::tableOf(bytes);
    Rows expected;
    for (const QStringList& row : rows) {
        QStringList cells{QString()};
        for (qsizetype cell = 1; cell < dayRowCells; ++cell)
            cells.append(fuzz::asReadBack(row.value(cell)));
        expected.append(cells);
    }
    const QByteArray written = writeDayRows(rows);
    const Rows back = readDayRows(written);
    FUZZ_CHECK(back == expected, "cells:\n" + shown(rows) + "written: " + shown(written) +
                                     "\nread back:\n" + shown(back) + "expected:\n" +
                                     shown(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkFile(bytes);
    checkCells(bytes);
    return 0;
}
