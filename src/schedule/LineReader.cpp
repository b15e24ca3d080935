#include "schedule/LineReader.h"

#include <cstdint>
#include <cstring>

namespace cantrel {

namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// Files can be megabytes long, so line ends are looked for eight bytes at a
// time: a word holds CR or LF exactly when one of its bytes XORed with it is
// zero.
qsizetype findLineEnd(const char* p, qsizetype pos, qsizetype n) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    for (; pos + 8 <= n; pos += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + pos, 8);
        const std::uint64_t lf = word ^ (ones * '\n');
        const std::uint64_t cr = word ^ (ones * '\r');
        if (((lf - ones) & ~lf & highs) | ((cr - ones) & ~cr & highs))
            break;
    }
    while (pos < n && !isLineEnd(p[pos]))
        ++pos;
    return pos;
}

} // namespace

QByteArrayView trimmedBytes(QByteArrayView bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isTrimmed(bytes[begin]))
        ++begin;
    while (end > begin && isTrimmed(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin);
}

bool LineReader::next(QByteArrayView& line) {
    if (ended_)
        return false;
    const char* const p = data_.data();
    const qsizetype n = data_.size();
    while (pos_ < n && isLineEnd(p[pos_]))
        ++pos_;
    const qsizetype start = pos_;
    pos_ = findLineEnd(p, pos_, n);
    line = trimmedBytes(data_.sliced(start, pos_ - start));
    if (line.isEmpty()) {
        // A blank line, or the end of the data, ends the reading: nothing
        // after it is ever read.
        ended_ = true;
        return false;
    }
    return true;
}

} // namespace cantrel
