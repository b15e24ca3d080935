// The lossless codec both ways: any bytes decode and encode back to
// themselves, and any UTF-16 text encodes to bytes that decode to what the
// codec promises.

#include "FuzzCheck.h"
#include "platform/LosslessText.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace cantrel;
using fuzz::shown;

namespace {

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool isEscape(char16_t u) { return u >= 0xDC80 && u <= 0xDCFF; }

void checkBytes(QByteArrayView bytes) {
    const QString text = decodeLossless(bytes);
    const QByteArray back = encodeLossless(text);
    FUZZ_CHECK(back == bytes, shown(bytes) + " decoded " + shown(text) + " encoded " + shown(back));

    // Lone surrogates in the text only ever stand for bytes 0x80..0xFF.
    const auto* u = reinterpret_cast<const char16_t*>(text.utf16());
    bool wellFormed = true;
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (isHigh(u[k]) && k + 1 < text.size() && isLow(u[k + 1])) {
            ++k;
            continue;
        }
        FUZZ_CHECK(!isHigh(u[k]) && (!isLow(u[k]) || isEscape(u[k])), shown(text));
        wellFormed = wellFormed && !isLow(u[k]);
    }
    // Well-formed UTF-8 reads as any UTF-8 reader reads it, and nothing else
    // decodes free of escapes.
    FUZZ_CHECK(bytes.isValidUtf8() == wellFormed, shown(bytes) + " decoded " + shown(text));
    if (wellFormed)
        FUZZ_CHECK(text == QString::fromUtf8(bytes), shown(bytes) + " decoded " + shown(text));
}

// What encoding then decoding makes of a text: lone surrogates other than the
// escapes become U+FFFD, and a run of escapes reads as the bytes it stands
// for, which may form UTF-8 again.
QString expectedAfterEncoding(QStringView text) {
    QString out;
    const qsizetype n = text.size();
    for (qsizetype k = 0; k < n;) {
        const char16_t u = text[k].unicode();
        if (isHigh(u) && k + 1 < n && isLow(text[k + 1].unicode())) {
            out += text.sliced(k, 2);
            k += 2;
        } else if (isEscape(u)) {
            QByteArray escaped;
            for (; k < n && isEscape(text[k].unicode()); ++k)
                escaped += char(text[k].unicode() - 0xDC00);
            out += decodeLossless(escaped);
        } else {
            out += (isHigh(u) || isLow(u)) ? QChar(0xFFFD) : QChar(u);
            ++k;
        }
    }
    return out;
}

void checkText(QStringView text) {
    const QByteArray bytes = encodeLossless(text);
    const QString back = decodeLossless(bytes);
    const QString expected = expectedAfterEncoding(text);
    FUZZ_CHECK(back == expected, shown(text) + " encoded " + shown(bytes) + " decoded " +
                                     shown(back) + ", expected " + shown(expected));
    // Text without lone surrogates is plain UTF-8.
    if (text.isValidUtf16())
        FUZZ_CHECK(bytes == text.toUtf8(), shown(text) + " encoded " + shown(bytes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkBytes(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    // The same bytes as UTF-16 units, as the grid's cells may hold any.
    std::vector<char16_t> units(size / 2);
    if (!units.empty())
        std::memcpy(units.data(), data, units.size() * 2);
    checkText(QStringView(units.data(), qsizetype(units.size())));
    return 0;
}
