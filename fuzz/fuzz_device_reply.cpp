// The device's replies and the requests sent to it. The input: two bytes of
// output number, four of device id (both little-endian), then the reply.

#include "FuzzCheck.h"
#include "device/DeviceProtocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace cantrel;
using fuzz::shown;

namespace {

QByteArray shownMeaning(const ReplyMeaning& m) {
    return m.linkText.toLatin1() + (m.acknowledged ? " acknowledged" : "") +
           (m.reportedOutput ? " output " + QByteArray::number(*m.reportedOutput) : "");
}

bool sameMeaning(const ReplyMeaning& a, const ReplyMeaning& b) {
    return a.linkText == b.linkText && a.reportedOutput == b.reportedOutput &&
           a.acknowledged == b.acknowledged;
}

void checkReply(QByteArrayView reply, int output) {
    const ReplyMeaning meaning = decodeReply(reply, output);
    const auto context = [&] {
        return shown(reply) + " after output " + QByteArray::number(output) + ": " +
               shownMeaning(meaning);
    };
    const auto code = reply.isEmpty() ? 0 : static_cast<quint8>(reply[0]);
    if (reply.isEmpty())
        FUZZ_CHECK(meaning.linkText == "No link" && !meaning.acknowledged, context());
    else if (code == 0xFE || code == 0xF9)
        FUZZ_CHECK(meaning.linkText == "Link OK" && meaning.acknowledged, context());
    else
        FUZZ_CHECK(meaning.linkText == "Link error" && !meaning.acknowledged, context());

    // Only a full FE answer to a status request reports the selection, and
    // only as its two digits say.
    if (meaning.reportedOutput) {
        const int n = *meaning.reportedOutput;
        FUZZ_CHECK(code == 0xFE && reply.size() >= 50 && (output & 0xFF) == 0, context());
        FUZZ_CHECK(n >= 0 && n <= 19 && reply[25] == '0' + n / 10 && reply[26] == '0' + n % 10,
                   context());
    }
    // The request carries the output's low byte alone, so the answer means
    // the same for every output with that byte.
    FUZZ_CHECK(sameMeaning(meaning, decodeReply(reply, output & 0xFF)), context());
}

void checkRequest(qint32 deviceId, int output) {
    const QByteArray request = buildRequest(deviceId, output);
    const auto context = [&] {
        return QByteArray::number(deviceId) + ", " + QByteArray::number(output) + ": " +
               shown(request);
    };
    FUZZ_CHECK(request.size() == RequestSize, context());
    const auto* bytes = reinterpret_cast<const quint8*>(request.constData());
    FUZZ_CHECK(bytes[0] == RequestCode && bytes[1] == quint8(deviceId) &&
                   bytes[2] == quint8(output) && bytes[3] == ComputeChecksum(bytes, 3) &&
                   bytes[3] < 0x80,
               context());
    FUZZ_CHECK(buildRequest(deviceId & 0xFF, output & 0xFF) == request, context());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6)
        return 0;
    quint16 output = 0;
    qint32 deviceId = 0;
    std::memcpy(&output, data, 2);
    std::memcpy(&deviceId, data + 2, 4);
    // One read takes at most ReplyBufferSize bytes, so no reply is longer.
    const QByteArrayView reply(reinterpret_cast<const char*>(data + 6),
                               std::min<qsizetype>(qsizetype(size) - 6, ReplyBufferSize));
    checkReply(reply, output);
    checkReply(reply, deviceId);
    checkRequest(deviceId, output);
    checkRequest(deviceId, deviceId);

    // The checksum depends on the byte sum modulo 128 alone.
    const auto* replyBytes = reinterpret_cast<const quint8*>(reply.data());
    unsigned sum = 0;
    for (qsizetype k = 0; k < reply.size(); ++k)
        sum += replyBytes[k];
    const quint8 low = quint8(sum);
    FUZZ_CHECK(ComputeChecksum(replyBytes, int(reply.size())) == ComputeChecksum(&low, 1),
               shown(reply));
    return 0;
}
