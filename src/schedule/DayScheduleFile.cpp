#include "schedule/DayScheduleFile.h"

#include "schedule/CommaText.h"
#include "schedule/LineReader.h"

namespace cantrel {

QList<QStringList> readDayRows(QByteArrayView bytes) {
    QList<QStringList> rows;
    LineReader reader(bytes);
    QByteArrayView line;
    while (reader.next(line)) {
        QStringList row = splitCommaText(line, dayRowCells - 1);
        row.prepend(QString());
        while (row.size() < dayRowCells)
            row.append(QString());
        rows.append(std::move(row));
    }
    return rows;
}

QByteArray writeDayRows(const QList<QStringList>& rows) {
    QByteArray out;
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
