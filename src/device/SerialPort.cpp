// The one place that knows the serial line is a QSerialPort.

#include "device/SerialPort.h"

#include "platform/UserConfigFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace cantrel {

namespace {

class SerialComPort : public IoComPort {
  public:
    explicit SerialComPort(const QString& path)
        : IoComPort(std::make_unique<QSerialPort>()), path_(path),
          port_(static_cast<QSerialPort*>(&device())) {
        port_->setPortName(path_);
    }

    // Empty when open, else why not.
    QString open() {
        if (!port_->open(QIODevice::ReadWrite)) {
            switch (port_->error()) {
            case QSerialPort::DeviceNotFoundError:
                return QStringLiteral("no such device");
            case QSerialPort::PermissionError:
                // Qt says the same for a device that another program holds;
                // one that this user may open at all is held.
                return ::faccessat(AT_FDCWD, QFile::encodeName(path_).constData(), R_OK | W_OK,
                                   AT_EACCESS) == 0
                           ? QStringLiteral("in use by another program")
                           : QStringLiteral("no permission (a serial line needs the dialout "
                                            "group)");
            default:
                return port_->errorString();
            }
        }
        // QSerialPort's own lock file is keyed by the name it was given, so a
        // second name for the same device (a symlink) would get through; a lock
        // on the open device itself cannot be sidestepped that way.
        if (flock(port_->handle(), LOCK_EX | LOCK_NB) != 0) {
            port_->close();
            return QStringLiteral("in use by another program");
        }
        return {};
    }

    bool configure(qint32 baudRate) override {
        baudRate_ = baudRate;
        if (!port_->isOpen() || !port_->setBaudRate(baudRate) ||
            !port_->setDataBits(QSerialPort::Data8) || !port_->setParity(QSerialPort::NoParity) ||
            !port_->setStopBits(QSerialPort::OneStop) ||
            !port_->setFlowControl(QSerialPort::NoFlowControl)) {
            return false;
        }
        // A pseudo-terminal or a three-wire adapter has no modem lines to lower;
        // that is no reason to refuse the port.
        if (!port_->setDataTerminalReady(false) &&
            port_->error() != QSerialPort::UnsupportedOperationError) {
            return false;
        }
        if (!port_->setRequestToSend(false) &&
            port_->error() != QSerialPort::UnsupportedOperationError) {
            return false;
        }
        port_->clearError();
        return true;
    }

    void purgeInput() override {
        // Draining first also notices a line that hung up while idle.
        drainInput();
        if (lineFailed()) {
            // The device may be back under the same path (a USB adapter plugged
            // in again, the simulator restarted): take it up again, so the link
            // recovers without the operator choosing the port anew.
            reopen();
        }
        if (port_->isOpen()) {
            port_->clearError();
            port_->clear(QSerialPort::Input);
        }
    }

  protected:
    bool lineFailed() const override {
        switch (port_->error()) {
        case QSerialPort::NoError:
        case QSerialPort::TimeoutError:
        case QSerialPort::UnsupportedOperationError:
            return !port_->isOpen();
        default:
            return true;
        }
    }

  private:
    void reopen() {
        port_->close();
        port_->clearError();
        if (open().isEmpty() && !(configure(baudRate_) && setTimeouts(timeouts_))) {
            port_->close();
        }
    }

    QString path_;
    QSerialPort* port_;
    qint32 baudRate_ = 0;
};

} // namespace

QString comDevicePath(const QString& portName) {
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,9})$"));
    const QRegularExpressionMatch match = comName.match(portName);
    if (!match.hasMatch()) {
        return {};
    }
    const QString chosen = qEnvironmentVariable(("CANTREL_" + portName).toLatin1().constData());
    if (!chosen.isEmpty()) {
        return chosen;
    }
    QFile ports(portsFilePath());
    if (ports.open(QIODevice::ReadOnly)) {
        const QString named = portsFileDevice(ports.readAll(), portName);
        if (!named.isEmpty()) {
            return named;
        }
    }
    const qint64 number = match.captured(1).toLongLong();
    return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
}

QString portsFilePath() {
    return userConfigFolder() + QStringLiteral("/ports.conf");
}

ComDeviceInfo describeComDevice(const QString& portName) {
    ComDeviceInfo info{comDevicePath(portName), QString()};
    // A /dev/serial/by-id name is a link; the system lists the device itself.
    const QString device = QFileInfo(info.path).canonicalFilePath();
    if (info.path.isEmpty() || device.isEmpty()) {
        info.state = QStringLiteral("absent");
        return info;
    }
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    const auto listed = std::find_if(ports.begin(), ports.end(), [&](const QSerialPortInfo& port) {
        return QFileInfo(port.systemLocation()).canonicalFilePath() == device;
    });
    QStringList said;
    if (listed != ports.end())
        for (const QString& part : {listed->description(), listed->manufacturer()})
            if (!part.trimmed().isEmpty())
                said << part.trimmed();
    info.state = said.isEmpty() ? QStringLiteral("present") : said.join(QStringLiteral(", "));
    return info;
}

QString portsFileDevice(const QByteArray& content, const QString& portName) {
    for (const QByteArray& raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 &&
            line.left(equals).trimmed().compare(portName, Qt::CaseInsensitive) == 0) {
            return line.mid(equals + 1).trimmed();
        }
    }
    return {};
}

std::unique_ptr<ComPort> openSerialComPort(const QString& portName, QString* why) {
    const QString path = comDevicePath(portName);
    if (path.isEmpty()) {
        if (why) {
            *why = QStringLiteral("%1: not a port name").arg(portName);
        }
        return nullptr;
    }
    auto port = std::make_unique<SerialComPort>(path);
    const QString failure = port->open();
    if (!failure.isEmpty()) {
        if (why) {
            *why = QStringLiteral("%1 (%2): %3").arg(portName, path, failure);
        }
        return nullptr;
    }
    return port;
}

} // namespace cantrel
