#include "platform/LosslessText.h"

#include <cstdint>
#include <cstring>

namespace cantrel {

namespace {

constexpr std::uint64_t highBits = 0x8080808080808080ULL;

// Length of the leading run of bytes below 0x80, eight at a time.
qsizetype asciiPrefix(const unsigned char* p, qsizetype n) {
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, p + i, 8);
        if (chunk & highBits)
            break;
    }
    while (i < n && p[i] < 0x80)
        ++i;
    return i;
}

bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Decodes one well-formed multi-byte sequence at p[0..n) into out; returns the
// number of bytes consumed, or 0 if the sequence there is not well-formed.
// The second-byte ranges exclude overlong forms, surrogates and values above
// U+10FFFF.
int decodeSequence(const unsigned char* p, qsizetype n, char16_t*& out) {
    const unsigned char b0 = p[0];
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (n < 2 || !isContinuation(p[1]))
            return 0;
        *out++ = char16_t(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (n < 3)
            return 0;
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
        if (p[1] < lo || p[1] > hi || !isContinuation(p[2]))
            return 0;
        *out++ = char16_t(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (n < 4)
            return 0;
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
        if (p[1] < lo || p[1] > hi || !isContinuation(p[2]) || !isContinuation(p[3]))
            return 0;
        const char32_t cp = (char32_t(b0 & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                            (char32_t(p[2] & 0x3F) << 6) | char32_t(p[3] & 0x3F);
        *out++ = char16_t(0xD800 + ((cp - 0x10000) >> 10));
        *out++ = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
        return 4;
    }
    return 0;
}

} // namespace

QString decodeLossless(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = asciiPrefix(p, n);
    if (i == n)
        return QString::fromLatin1(bytes);

    // Every byte yields at most one UTF-16 unit (a 4-byte sequence yields two).
    QString result(n, Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(result.data());
    char16_t* out = begin;
    for (qsizetype k = 0; k < i; ++k)
        *out++ = p[k];
    while (i < n) {
        if (p[i] < 0x80) {
            const qsizetype run = asciiPrefix(p + i, n - i);
            for (qsizetype k = 0; k < run; ++k)
                *out++ = p[i + k];
            i += run;
            continue;
        }
        const int used = decodeSequence(p + i, n - i, out);
        if (used > 0) {
            i += used;
        } else {
            *out++ = char16_t(0xDC00 + p[i]);
            ++i;
        }
    }
    result.resize(out - begin);
    return result;
}

QByteArray encodeLossless(QStringView text) {
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && s[i] < 0x80)
        ++i;
    if (i == n)
        return text.toLatin1();

    // At most three bytes per unit (a surrogate pair takes four for two).
    QByteArray result(n * 3, Qt::Uninitialized);
    auto* const begin = reinterpret_cast<unsigned char*>(result.data());
    unsigned char* out = begin;
    for (qsizetype k = 0; k < i; ++k)
        *out++ = static_cast<unsigned char>(s[k]);
    for (; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            *out++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 &&
                   s[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            *out++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
            *out++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            *out++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            *out++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            *out++ = static_cast<unsigned char>(c - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            *out++ = 0xEF;
            *out++ = 0xBF;
            *out++ = 0xBD;
        } else {
            *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    result.resize(out - begin);
    return result;
}

} // namespace cantrel
