#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

namespace cantrel {

// Cells of a day row: the execution mark, then the four fields of a line.
inline constexpr qsizetype dayRowCells = 5;

// One entry per line of a .24h file, each of dayRowCells cells with the mark
// empty. Data without any line gives an empty list; the document then keeps
// its single empty row.
QList<QStringList> readDayRows(QByteArrayView bytes);

// The .24h bytes for rows of day cells: cells 1..4 of each row as comma text,
// every line ending in CR LF. The mark is never written; missing cells count
// as empty.
QByteArray writeDayRows(const QList<QStringList>& rows);

} // namespace cantrel
