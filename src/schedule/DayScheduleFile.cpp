#include "schedule/DayScheduleFile.h"

#include "schedule/CommaText.h"
#include "schedule/LineReader.h"

namespace cantrel {

QList<QStringList> readDayRows(QByteArrayView bytes) {
    QList<QStringList> rows;
    LineReader reader(bytes);
    QByteArrayView line;
    while (reader.next(line)) {
        QStringList row;
        row.reserve(dayRowCells);
        row.append(QString());
        splitCommaText(line, dayRowCells - 1, row);
        while (row.size() < dayRowCells)
            row.append(QString());
        rows.append(std::move(row));
    }
    return rows;
}

QByteArray writeDayRows(const QList<QStringList>& rows) {
    // Room for plain ASCII rows with a few quotes, so the output is seldom
    // copied while it grows.
    qsizetype estimate = 0;
    for (const QStringList& row : rows) {
        for (qsizetype cell = 1; cell < dayRowCells && cell < row.size(); ++cell)
            estimate += row.at(cell).size() + 2;
        estimate += dayRowCells;
    }
    QByteArray out;
    out.reserve(estimate);
    for (const QStringList& row : rows) {
        for (qsizetype cell = 1; cell < dayRowCells; ++cell) {
            if (cell > 1)
                out.append(',');
            if (cell < row.size())
                appendCommaField(out, row.at(cell));
        }
        out.append("\r\n");
    }
    return out;
}

} // namespace cantrel
