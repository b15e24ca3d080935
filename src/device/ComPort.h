#pragma once

#include <QByteArray>
#include <QIODevice>

#include <memory>

namespace cantrel {

// The read and write limits of the serial line, in milliseconds. A read ends
// after readTotalMs in all, or readIntervalMs after the last byte received, or
// when the buffer is full; a write of n bytes may take writePerByteMs * n.
struct ComTimeouts {
    int readIntervalMs = 20;
    int readTotalMs = 100;
    int writePerByteMs = 100;
};

// One open serial line: what the exchange with the device needs from it.
class ComPort {
  public:
    virtual ~ComPort() = default;

    // 8N1, no flow control, DTR and RTS off, at the given rate.
    virtual bool configure(qint32 baudRate) = 0;
    virtual bool setTimeouts(const ComTimeouts& timeouts) = 0;
    // Drops whatever has been received and not yet read.
    virtual void purgeInput() = 0;
    // Both return -1 when the call fails. A write that runs out of time after
    // a part of the bytes is not a failure; a read that times out returns what
    // arrived, possibly nothing.
    virtual qint64 write(const QByteArray& bytes) = 0;
    virtual qint64 read(char* buffer, qint64 maxSize) = 0;
};

// The line over any QIODevice, so the exchange can be driven against a pipe,
// a pseudo-terminal or a device that fails on purpose.
class IoComPort : public ComPort {
  public:
    explicit IoComPort(std::unique_ptr<QIODevice> device);

    bool configure(qint32 baudRate) override;
    bool setTimeouts(const ComTimeouts& timeouts) override;
    void purgeInput() override;
    qint64 write(const QByteArray& bytes) override;
    qint64 read(char* buffer, qint64 maxSize) override;

    QIODevice& device() const { return *device_; }

  protected:
    // True once the line can no longer carry bytes.
    virtual bool lineFailed() const;
    void drainInput();

    ComTimeouts timeouts_;

  private:
    std::unique_ptr<QIODevice> device_;
};

} // namespace cantrel
