#include "device/DeviceLink.h"

#include "device/DeviceProtocol.h"
#include "device/SerialPort.h"
#include "platform/ProgramError.h"

#include <QThread>

namespace cantrel {

namespace {
constexpr qint32 DeviceBaudRate = 28800;

// The port library says "/dev/parport0: No such file or directory"; the
// operator reads "LPT378 (/dev/parport0): No such file or directory", as for
// a serial port.
QString parallelDetail(quint32 address, const QString& problem) {
    const QString name = parallelPortName(address);
    const qsizetype colon = problem.indexOf(QLatin1String(": "));
    return colon > 0
               ? QStringLiteral("%1 (%2)%3").arg(name, problem.left(colon), problem.mid(colon))
               : name + QStringLiteral(": ") + problem;
}
} // namespace

DeviceLink::DeviceLink(QStringList portLibraryFiles, ComPortOpener openComPort, QObject* parent)
    : QObject(parent), portLibrary_(std::move(portLibraryFiles)),
      openComPort_(std::move(openComPort)) {}

DeviceLink::~DeviceLink() = default;

ComPortOpener DeviceLink::defaultComPortOpener() {
    return [](const QString& portName, QString* why) { return openSerialComPort(portName, why); };
}

void DeviceLink::loadPortLibrary() {
    portLibrary_.load();
    portLibrary_.out32(static_cast<quint16>(parallelAddress), IdleByte);
}

void DeviceLink::unloadPortLibrary() {
    portLibrary_.unload();
}

void DeviceLink::setComPort(int number, qint32 baudRate) {
    const QString portName = QStringLiteral("COM%1").arg(number);
    if (number == 0) {
        port_.reset();
        return;
    }
    std::unique_ptr<ComPort> opened;
    ComPort* port = port_.get();
    if (!port_ || static_cast<quint32>(number) != comNumber) {
        QString why;
        opened = openComPort_(portName, &why);
        if (!opened) {
            throw ProgramError(QStringLiteral("Can't open port"), why);
        }
        port = opened.get();
    }
    // A newly opened port that fails here is closed again as it goes out of
    // scope; the one in force stays.
    if (!port->configure(baudRate)) {
        throw ProgramError(QStringLiteral("Can't setup com config"));
    }
    if (!port->setTimeouts(ComTimeouts{})) {
        throw ProgramError(QStringLiteral("Can't setup timeouts"));
    }
    if (opened) {
        port_ = std::move(opened); // closes the old port, after the new one is ready
        adoptReport_ = keepConnection_;
    }
    comNumber = static_cast<quint32>(number);
}

void DeviceLink::setConnection(int index) {
    askedConnection_ = index;
    if (standingBy_)
        return;
    if (index == 0 || index == 1) {
        parallelAddress = index == 0 ? 888 : 632;
        setComPort(0, 0);
        serialPending_ = false;
        showParallel(portLibrary_.problem(static_cast<quint16>(parallelAddress)));
        emit linkTextChanged(QStringLiteral("Wait"));
        emit outputCountChanged(4);
        return;
    }
    // Computed unsigned so that no stored value can overflow.
    const int number = static_cast<int>(static_cast<unsigned>(index) - 1u);
    try {
        setComPort(number, DeviceBaudRate);
    } catch (const ProgramError& failure) {
        emit connectionFailed(failure.text(), failure.detail());
        if (!keepConnection_) {
            return;
        }
        // Kept: the port is the connection in force all the same, without
        // its port, until a link test opens it.
        port_.reset();
        comNumber = static_cast<quint32>(number);
        serialPending_ = true;
        parallelPresent_.reset();
        serialNotOpen(failure);
        emit outputCountChanged(16);
        return;
    }
    serialPending_ = false;
    parallelPresent_.reset();
    emit connectionTextChanged(serialConnectionText(comNumber, deviceId));
    emit outputCountChanged(16);
}

int DeviceLink::connectionIndex() const {
    if (port_ || serialPending_) {
        return static_cast<int>(comNumber + 1);
    }
    return parallelAddress == 632 ? 1 : 0;
}

void DeviceLink::reopenSerial() {
    try {
        setComPort(static_cast<int>(comNumber), DeviceBaudRate);
    } catch (const ProgramError& failure) {
        serialNotOpen(failure);
        return;
    }
    serialPending_ = false;
    emit connectionTextChanged(serialConnectionText(comNumber, deviceId));
}

void DeviceLink::serialNotOpen(const ProgramError& failure) {
    serialProblem_ = failure.detail().isEmpty() ? failure.text() : failure.detail();
    emit linkLost(failure.oneLine());
}

QString DeviceLink::parallelProblem() {
    const QString problem = portLibrary_.problem(static_cast<quint16>(parallelAddress));
    if (parallelPresent_ && *parallelPresent_ != problem.isEmpty()) {
        showParallel(problem);
    }
    return problem;
}

void DeviceLink::showParallel(const QString& problem) {
    parallelPresent_ = problem.isEmpty();
    emit connectionTextChanged(parallelConnectionText(parallelAddress, *parallelPresent_));
    if (!problem.isEmpty()) {
        emit linkLost(parallelDetail(parallelAddress, problem));
    }
}

void DeviceLink::fail(const QString& text, const QString& detail) {
    emit linkLost(TextFailure::withDetail(text, detail));
    throw ProgramError(text, detail);
}

void DeviceLink::pulseOutput(int output) {
    output &= 0xFF;
    if (standingBy_)
        throw ProgramError(QStringLiteral("Can't write to port"),
                           QStringLiteral("the device is held by the service"));
    if (port_ || serialPending_) {
        exchange(output);
        return;
    }
    const std::optional<quint8> pulse = parallelPulseByte(output);
    if (!pulse) {
        return;
    }
    // A pulse that reaches no device is a failure, never a row fired.
    if (const QString problem = parallelProblem(); !problem.isEmpty()) {
        fail(QStringLiteral("Can't write to port"), parallelDetail(parallelAddress, problem));
    }
    const auto address = static_cast<quint16>(parallelAddress);
    portLibrary_.out32(address, *pulse);
    QThread::msleep(pulseMs);
    portLibrary_.out32(address, IdleByte);
}

int DeviceLink::exchange(int output) {
    output &= 0xFF;
    if (!port_) {
        fail(QStringLiteral("Can't write to port"), serialPending_ ? serialProblem_ : QString());
    }
    port_->purgeInput();
    if (port_->write(buildRequest(deviceId, output)) < 0) {
        fail(QStringLiteral("Can't write to port"));
    }
    char reply[ReplyBufferSize];
    const qint64 received = port_->read(reply, ReplyBufferSize);
    if (received < 0) {
        fail(QStringLiteral("Can't read from port"));
    }
    const ReplyMeaning meaning = decodeReply(QByteArrayView(reply, received), output);
    // The selection comes first: a newly reported output fires, a whole
    // inner exchange with its own link text, before this one's text.
    if (meaning.reportedOutput) {
        if (std::exchange(adoptReport_, false)) {
            select(*meaning.reportedOutput);
        } else if (select(*meaning.reportedOutput)) {
            pulseOutput(*meaning.reportedOutput);
        }
    }
    // The device has now selected this output. It counts as the selected
    // one at once: otherwise the next link test would report it as a new
    // selection and fire the same output a second time.
    if (meaning.acknowledged) {
        select(output);
    }
    emit linkTextChanged(meaning.linkText);
    return static_cast<int>(received);
}

bool DeviceLink::select(int n) {
    if (n < 1 || n > 16 || n == selectedOutput_) {
        return false;
    }
    selectedOutput_ = n;
    emit selectedOutputChanged(n);
    return true;
}

void DeviceLink::chooseOutput(int n) {
    select(n);
    pulseOutput(n);
}

void DeviceLink::standBy() {
    askedConnection_ = askedConnection();
    standingBy_ = true;
    setComPort(0, 0);
    serialPending_ = false;
    parallelPresent_.reset();
}

void DeviceLink::takeUp() {
    standingBy_ = false;
    setConnection(askedConnection());
}

void DeviceLink::testLink() {
    if (standingBy_)
        return;
    if (serialPending_) {
        reopenSerial();
    }
    if (port_) {
        exchange(0);
    } else if (!serialPending_) {
        parallelProblem();
    }
}

} // namespace cantrel
