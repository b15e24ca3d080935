#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace cantrel {

// The device's wire format and the texts derived from it, free of any port so
// that every rule can be checked byte by byte.

inline constexpr int RequestSize = 4;
inline constexpr int ReplyBufferSize = 51; // the most one read takes
inline constexpr quint8 RequestCode = 0xFD;
inline constexpr quint8 IdleByte = 0xFF;

// (sum of the bytes XOR 0x7B) AND 0x7F.
quint8 ComputeChecksum(const quint8* bytes, int count);

// FD, device id low byte, output low byte, checksum. Output 0 is the status request.
QByteArray buildRequest(qint32 deviceId, int output);

struct ReplyMeaning {
    QString linkText; // "No link", "Link OK" or "Link error"
    // Set when the reply reports the device's selected output (0..19 as the
    // digits allow); only 1..16 names a radio button, the rest is ignored.
    std::optional<int> reportedOutput;
    // The reply code says the device took the request (FE or F9).
    bool acknowledged = false;
};

// What a reply of reply.size() bytes (at most 51) means after a request for output.
ReplyMeaning decodeReply(QByteArrayView reply, int output);

// The data register byte during a parallel pulse for an output number (low 8
// bits count); no value for output 0, which fires nothing.
std::optional<quint8> parallelPulseByte(int output);

// "LPT278" at 632, else "LPT378".
QString parallelPortName(quint32 lptAddr);

// Connection panel texts; a parallel port that writes do not reach is "(no port)".
QString parallelConnectionText(quint32 lptAddr, bool portPresent = true);
QString serialConnectionText(quint32 comNumber, qint32 deviceId);

} // namespace cantrel
