#include "schedule/CommaText.h"

#include "platform/LosslessText.h"
#include "schedule/LineReader.h"

namespace cantrel {

namespace {

// Codes 1..32 separate fields; NUL does not, it is ordinary field text.
bool isSeparatorBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

} // namespace

QStringList splitCommaText(QByteArrayView line, qsizetype maxFields) {
    QStringList fields;
    const char* const p = line.data();
    const qsizetype n = line.size();
    qsizetype pos = 0;
    QByteArray unquoted;

    while (pos < n && isSeparatorBlank(p[pos]))
        ++pos;
    while (pos < n && fields.size() < maxFields) {
        QByteArrayView field;
        if (p[pos] == '"') {
            ++pos;
            const qsizetype start = pos;
            bool doubled = false;
            while (pos < n) {
                if (p[pos] == '"') {
                    if (pos + 1 < n && p[pos + 1] == '"') {
                        doubled = true;
                        pos += 2;
                        continue;
                    }
                    break;
                }
                ++pos;
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
        fields.append(decodeLossless(trimmedBytes(field)));

        while (pos < n && isSeparatorBlank(p[pos]))
            ++pos;
        if (pos < n && p[pos] == ',') {
            ++pos;
            if (pos == n && fields.size() < maxFields)
                fields.append(QString());
            while (pos < n && isSeparatorBlank(p[pos]))
                ++pos;
        }
    }
    return fields;
}

void appendCommaField(QByteArray& out, QStringView field) {
    const QByteArray bytes = encodeLossless(field);
    bool quote = false;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 1 && u <= 32) || c == '"' || c == ',') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out.append(bytes);
        return;
    }
    out.append('"');
    for (const char c : bytes) {
        if (c == '"')
            out.append('"');
        out.append(c);
    }
    out.append('"');
}

} // namespace cantrel
