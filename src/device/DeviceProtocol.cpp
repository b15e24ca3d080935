#include "device/DeviceProtocol.h"

namespace cantrel {

quint8 ComputeChecksum(const quint8* bytes, int count) {
    unsigned sum = 0;
    for (int i = 0; i < count; ++i) {
        sum += bytes[i];
    }
    return static_cast<quint8>((sum ^ 0x7Bu) & 0x7Fu);
}

QByteArray buildRequest(qint32 deviceId, int output) {
    const quint8 bytes[RequestSize] = {RequestCode, static_cast<quint8>(deviceId & 0xFF),
                                       static_cast<quint8>(output & 0xFF), 0};
    QByteArray request(reinterpret_cast<const char*>(bytes), RequestSize);
    request[3] = static_cast<char>(ComputeChecksum(bytes, 3));
    return request;
}

ReplyMeaning decodeReply(QByteArrayView reply, int output) {
    if (reply.isEmpty()) {
        return {QStringLiteral("No link"), std::nullopt};
    }
    const auto code = static_cast<quint8>(reply[0]);
    if (code == 0xF9) {
        return {QStringLiteral("Link OK"), std::nullopt, true};
    }
    if (code != 0xFE) {
        return {QStringLiteral("Link error"), std::nullopt};
    }
    // Only the answer to a status request reports the selection; an answer to
    // an output request may still describe the state before the switch.
    ReplyMeaning meaning{QStringLiteral("Link OK"), std::nullopt, true};
    if (reply.size() >= 50 && (output & 0xFF) == 0) {
        const char tens = reply[25];
        const char units = reply[26];
        if ((tens == '0' || tens == '1') && units >= '0' && units <= '9') {
            meaning.reportedOutput = 10 * (tens - '0') + (units - '0');
        }
    }
    return meaning;
}

std::optional<quint8> parallelPulseByte(int output) {
    const unsigned n = static_cast<unsigned>(output) & 0xFFu;
    if (n == 0) {
        return std::nullopt;
    }
    // The register has 8 lines: outputs 9..32 clear a bit above the byte and
    // move nothing, and the pattern repeats every 32.
    return static_cast<quint8>((0xFFu ^ (1u << ((n - 1) % 32))) & 0xFFu);
}

QString parallelPortName(quint32 lptAddr) {
    return lptAddr == 632 ? QStringLiteral("LPT278") : QStringLiteral("LPT378");
}

QString parallelConnectionText(quint32 lptAddr, bool portPresent) {
    return QStringLiteral("Connection: ") + parallelPortName(lptAddr) +
           (portPresent ? QString() : QStringLiteral(" (no port)"));
}

QString serialConnectionText(quint32 comNumber, qint32 deviceId) {
    return QStringLiteral("Connection: COM") + QString::number(comNumber) +
           QStringLiteral("   Device ID: ") + QString::number(deviceId);
}

} // namespace cantrel
