#include "schedule/LineReader.h"

namespace cantrel {

namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
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
    while (pos_ < n && !isLineEnd(p[pos_]))
        ++pos_;
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
