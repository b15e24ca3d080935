#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace cantrel {

// UTF-8 that never loses a byte: any byte that is not part of a well-formed
// UTF-8 sequence (stray continuation, overlong form, encoded surrogate,
// truncated sequence, 0xF5..0xFF) becomes the lone code unit U+DC80+byte, and
// encodeLossless writes such a unit back as that one byte. So files written by
// older systems in an 8-bit code page survive a load and a save unchanged.
QString decodeLossless(QByteArrayView bytes);

// A lone surrogate outside U+DC80..U+DCFF cannot come from decodeLossless; it
// is written as U+FFFD so the output is always well-formed apart from the
// escaped bytes.
QByteArray encodeLossless(QStringView text);

} // namespace cantrel
