#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <QStringView>

namespace cantrel {

// Splits one line of comma text into at most maxFields fields, each decoded
// losslessly and trimmed of codes 0..32, and appends them to fields. Fields
// beyond maxFields are dropped. A quoted field whose closing quote is missing
// takes the rest of the line.
void splitCommaText(QByteArrayView line, qsizetype maxFields, QStringList& fields);

// Appends one field, in double quotes (inner quotes doubled) only when it
// holds a space, a code 1..31, a double quote or a comma.
void appendCommaField(QByteArray& out, QStringView field);

} // namespace cantrel
