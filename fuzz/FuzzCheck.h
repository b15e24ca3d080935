#pragma once

// What every target shares: a check that stops the run with the values that
// broke it, and a way to turn fuzzer bytes into a table of texts.

#include "platform/LosslessText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Printable form of a text: ASCII as it is, every other unit as \uXXXX.
inline QByteArray shown(QStringView text) {
    QByteArray out = "\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 32 && u < 127 && u != '\\' && u != '"')
            out += char(u);
        else
            out += QByteArray("\\u") + QByteArray::number(uint(u), 16).rightJustified(4, '0');
    }
    return out + "\"";
}

inline QByteArray shown(QByteArrayView bytes) {
    QByteArray out = "\"";
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (u >= 32 && u < 127 && u != '\\' && u != '"')
            out += char(u);
        else
            out += QByteArray("\\x") + QByteArray::number(uint(u), 16).rightJustified(2, '0');
    }
    return out + "\"";
}

inline QByteArray shown(const QStringList& cells) {
    QByteArray out = "[";
    for (qsizetype k = 0; k < cells.size(); ++k)
        out += (k ? ", " : "") + shown(cells[k]);
    return out + "]";
}

inline QByteArray shown(const QList<QStringList>& rows) {
    QByteArray out;
    for (const QStringList& row : rows)
        out += shown(row) + "\n";
    return out;
}

[[noreturn]] inline void fail(const char* what, const QByteArray& detail, const char* file,
                              int line) {
    std::fprintf(stderr, "\n%s:%d: check failed: %s\n%s\n", file, line, what,
                 detail.constData());
    std::abort();
}

// The detail is only built when the check fails.
#define FUZZ_CHECK(condition, detail)                                                        \
    do {                                                                                     \
        if (!(condition))                                                                    \
            ::fuzz::fail(#condition, (detail), __FILE__, __LINE__);                          \
    } while (0)

// The input as a table edited by hand: decoded losslessly, rows split at
// U+001E and cells at U+001F. Line breaks cannot live inside a line of any of
// the file formats, so they become spaces.
inline QList<QStringList> tableOf(QByteArrayView bytes) {
    QString text = cantrel::decodeLossless(bytes);
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    QList<QStringList> rows;
    for (const QString& row : text.split(QChar(0x1E)))
        rows.append(row.split(QChar(0x1F)));
    return rows;
}

// The text without codes 0..32 at either end, as every reader here trims.
inline QString trimmedBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.sliced(begin, end - begin).toString();
}

// What a text becomes once written to a file and read back with its blanks
// trimmed: the codec turns lone surrogates into U+FFFD and may join escaped
// bytes that form UTF-8.
inline QString asReadBack(QStringView text) {
    return trimmedBlanks(cantrel::decodeLossless(cantrel::encodeLossless(text)));
}

} // namespace fuzz
