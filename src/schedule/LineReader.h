#pragma once

#include <QByteArrayView>

namespace cantrel {

// Splits the bytes of a schedule file into lines the way both document
// formats read them: CR and LF each end a line, line ends before any other
// byte of a line are skipped, every line is trimmed of codes 0..32, and the
// first line that is empty after trimming ends the reading for good.
class LineReader {
  public:
    explicit LineReader(QByteArrayView data) : data_(data) {}

    // The next trimmed, non-empty line (a view into the data); false once the
    // reading has ended.
    bool next(QByteArrayView& line);

  private:
    QByteArrayView data_;
    qsizetype pos_ = 0;
    bool ended_ = false;
};

// Codes 0..32 count as blanks wherever the file formats trim.
inline bool isTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

QByteArrayView trimmedBytes(QByteArrayView bytes);

} // namespace cantrel
