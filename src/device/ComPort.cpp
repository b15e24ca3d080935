#include "device/ComPort.h"

#include <QElapsedTimer>

#include <algorithm>

namespace cantrel {

IoComPort::IoComPort(std::unique_ptr<QIODevice> device) : device_(std::move(device)) {}

bool IoComPort::configure(qint32 /*baudRate*/) {
    return !lineFailed();
}

bool IoComPort::setTimeouts(const ComTimeouts& timeouts) {
    timeouts_ = timeouts;
    return !lineFailed();
}

void IoComPort::drainInput() {
    if (!device_->isOpen()) {
        return;
    }
    while (device_->waitForReadyRead(0)) {
    }
    device_->readAll();
}

void IoComPort::purgeInput() {
    drainInput();
}

bool IoComPort::lineFailed() const {
    return !device_->isOpen();
}

qint64 IoComPort::write(const QByteArray& bytes) {
    if (lineFailed()) {
        return -1;
    }
    const qint64 written = device_->write(bytes);
    if (written < 0) {
        return -1;
    }
    if (device_->bytesToWrite() > 0) {
        device_->waitForBytesWritten(timeouts_.writePerByteMs * static_cast<int>(bytes.size()));
    }
    return lineFailed() ? -1 : written;
}

qint64 IoComPort::read(char* buffer, qint64 maxSize) {
    QElapsedTimer clock;
    clock.start();
    qint64 received = 0;
    qint64 lastByteAt = 0;
    while (received < maxSize) {
        if (lineFailed()) {
            return -1;
        }
        const qint64 n = device_->read(buffer + received, maxSize - received);
        if (n < 0) {
            return -1;
        }
        if (n > 0) {
            received += n;
            lastByteAt = clock.elapsed();
            continue;
        }
        const qint64 now = clock.elapsed();
        qint64 wait = timeouts_.readTotalMs - now;
        if (received > 0) {
            wait = std::min(wait, timeouts_.readIntervalMs - (now - lastByteAt));
        }
        if (wait <= 0) {
            break;
        }
        // False is a timeout (the wait ran to the limit computed above) or a
        // device that cannot wait for more; either way this read is over.
        if (!device_->waitForReadyRead(static_cast<int>(wait))) {
            if (lineFailed()) {
                return -1;
            }
            break;
        }
    }
    return received;
}

} // namespace cantrel
