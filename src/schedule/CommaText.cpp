#include "schedule/CommaText.h"

#include "platform/LosslessText.h"
#include "schedule/LineReader.h"

#include <array>
#include <cstring>

namespace cantrel {

namespace {

// Codes 1..32 separate fields; NUL does not, it is ordinary field text.
bool isSeparatorBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The output column holds the same few numbers on every row. Handing out one
// shared string per number spares an allocation for each of them.
QString decodeField(QByteArrayView bytes) {
    static const std::array<QString, 110> numbers = [] {
        std::array<QString, 110> table;
        for (int k = 0; k < 10; ++k)
            table[k] = QString::number(k);
        for (int k = 0; k < 100; ++k)
            table[10 + k] = QString::number(k).rightJustified(2, u'0');
        return table;
    }();
    if (bytes.size() == 1 && isDigit(bytes[0]))
        return numbers[bytes[0] - '0'];
    if (bytes.size() == 2 && isDigit(bytes[0]) && isDigit(bytes[1]))
        return numbers[10 + (bytes[0] - '0') * 10 + (bytes[1] - '0')];
    return decodeLossless(bytes);
}

} // namespace

void splitCommaText(QByteArrayView line, qsizetype maxFields, QStringList& fields) {
    const qsizetype limit = fields.size() + maxFields;
    const char* const p = line.data();
    const qsizetype n = line.size();
    qsizetype pos = 0;
    QByteArray unquoted;

    while (pos < n && isSeparatorBlank(p[pos]))
        ++pos;
    while (pos < n && fields.size() < limit) {
        QByteArrayView field;
        if (p[pos] == '"') {
            ++pos;
            const qsizetype start = pos;
            bool doubled = false;
            for (;;) {
                const void* quote = std::memchr(p + pos, '"', n - pos);
                if (!quote) {
                    pos = n; // no closing quote: the rest of the line
                    break;
                }
                pos = static_cast<const char*>(quote) - p;
                if (pos + 1 < n && p[pos + 1] == '"') {
                    doubled = true;
                    pos += 2;
                    continue;
                }
                break;
            }
            field = line.sliced(start, pos - start);
            if (pos < n)
                ++pos; // the closing quote
            if (doubled) {
                unquoted = field.toByteArray().replace("\"\"", "\"");
                field = unquoted;
            }
        } else {
            const qsizetype start = pos;
            while (pos < n && p[pos] != ',' && !isSeparatorBlank(p[pos]))
                ++pos;
            field = line.sliced(start, pos - start);
        }
        fields.append(decodeField(trimmedBytes(field)));

        while (pos < n && isSeparatorBlank(p[pos]))
            ++pos;
        if (pos < n && p[pos] == ',') {
            ++pos;
            if (pos == n && fields.size() < limit)
                fields.append(QString());
            while (pos < n && isSeparatorBlank(p[pos]))
                ++pos;
        }
    }
}

namespace {

bool forcesQuotes(char16_t u) {
    return (u >= 1 && u <= 32) || u == u'"' || u == u',';
}

// Writes n units that are each one byte (ASCII text, or bytes already
// encoded) straight into out, sized once.
template <typename Unit>
void writeField(QByteArray& out, const Unit* s, qsizetype n, bool quote, qsizetype quotes) {
    const qsizetype old = out.size();
    out.resize(old + n + (quote ? 2 + quotes : 0));
    char* w = out.data() + old;
    if (!quote) {
        for (qsizetype k = 0; k < n; ++k)
            *w++ = static_cast<char>(s[k]);
        return;
    }
    *w++ = '"';
    for (qsizetype k = 0; k < n; ++k) {
        if (s[k] == '"')
            *w++ = '"';
        *w++ = static_cast<char>(s[k]);
    }
    *w = '"';
}

} // namespace

void appendCommaField(QByteArray& out, QStringView field) {
    // Every character that forces quotes is ASCII, so the text decides it
    // before encoding, and encoding never adds one.
    bool ascii = true;
    bool quote = false;
    qsizetype quotes = 0;
    for (const QChar c : field) {
        const char16_t u = c.unicode();
        ascii = ascii && u < 0x80;
        quote = quote || forcesQuotes(u);
        quotes += u == u'"';
    }
    if (ascii) {
        writeField(out, field.utf16(), field.size(), quote, quotes);
    } else {
        const QByteArray bytes = encodeLossless(field);
        writeField(out, bytes.constData(), bytes.size(), quote, quotes);
    }
}

} // namespace cantrel
