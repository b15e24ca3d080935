// ports.conf: whatever the file holds, a line put first names the device for
// its port, and no answer carries blanks at its ends or a line break.

#include "FuzzCheck.h"
#include "device/SerialPort.h"

#include <cstddef>
#include <cstdint>

using namespace cantrel;
using fuzz::shown;

namespace {

QString swappedAsciiCase(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(u - 32);
        else if (u >= u'A' && u <= u'Z')
            c = QChar(u + 32);
    }
    return text;
}

QString deviceOf(const QByteArray& content, const QString& port) {
    const QString device = portsFileDevice(content, port);
    FUZZ_CHECK(device == device.trimmed() && !device.contains(u'\n'),
               shown(port) + " gives " + shown(device) + "\nfile: " + shown(content));
    return device;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    deviceOf(content, QStringLiteral("COM1"));

    // The names the file's own lines give, as the reader sees them.
    QStringList ports;
    for (const QByteArray& raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && !line.startsWith(u'#'))
            ports.append(line.left(equals).trimmed());
    }
    // Each name costs a pass over the file; a few of them are enough.
    for (const QString& port : ports.mid(0, 8)) {
        // The UTF-8 reader drops a byte order mark at the start of a line, so
        // a name beginning with one cannot be written first on a line.
        if (port.isEmpty() || port.startsWith(QChar(0xFEFF)))
            continue;
        deviceOf(content, port);
        const QString device = QStringLiteral(" /dev/serial/by-id/usb-") + port + u' ';
        const QByteArray first = (port + u'=' + device + u'\n').toUtf8() + content;
        const QString found = deviceOf(first, swappedAsciiCase(port));
        FUZZ_CHECK(found == device.trimmed(), shown(port) + " gives " + shown(found) +
                                                  "\nfile: " + shown(first));
    }
    return 0;
}
