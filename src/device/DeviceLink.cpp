#include "device/DeviceLink.h"

#include "device/DeviceProtocol.h"
#include "device/SerialPort.h"
#include "platform/ProgramError.h"

#include <QThread>

namespace cantrel {

namespace {
constexpr qint32 DeviceBaudRate = 28800;
} // namespace

DeviceLink::DeviceLink(QStringList portLibraryFiles, ComPortOpener openComPort, QObject* parent)
    : QObject(parent), portLibrary_(std::move(portLibraryFiles)),
      openComPort_(std::move(openComPort)) {}

DeviceLink::~DeviceLink() = default;

ComPortOpener DeviceLink::defaultComPortOpener() {
    return [](const QString& portName) { return openSerialComPort(portName); };
}

void DeviceLink::LoadPortLibrary() {
    portLibrary_.load();
    portLibrary_.out32(static_cast<quint16>(LPTAddr), IdleByte);
}

void DeviceLink::UnloadPortLibrary() {
    portLibrary_.unload();
}

void DeviceLink::SetComPort(int comNumber, qint32 baudRate) {
    const QString portName = QStringLiteral("COM%1").arg(comNumber);
    if (comNumber == 0) {
        ComHandle.reset();
        return;
    }
    std::unique_ptr<ComPort> opened;
    ComPort* port = ComHandle.get();
    if (!ComHandle || static_cast<quint32>(comNumber) != ComNumber) {
        opened = openComPort_(portName);
        if (!opened) {
            throw ProgramError(QStringLiteral("Can't open port"));
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
        ComHandle = std::move(opened); // closes the old port, after the new one is ready
    }
    ComNumber = static_cast<quint32>(comNumber);
}

void DeviceLink::SetConnection(int index) {
    if (index == 0 || index == 1) {
        LPTAddr = index == 0 ? 888 : 632;
        SetComPort(0, 0);
        emit connectionTextChanged(parallelConnectionText(LPTAddr));
        emit linkTextChanged(QStringLiteral("Wait"));
        emit outputCountChanged(4);
        return;
    }
    // Computed unsigned so that no stored value can overflow.
    const int comNumber = static_cast<int>(static_cast<unsigned>(index) - 1u);
    try {
        SetComPort(comNumber, DeviceBaudRate);
    } catch (const ProgramError& failure) {
        emit connectionFailed(failure.text());
        return;
    }
    emit connectionTextChanged(serialConnectionText(ComNumber, DeviceID));
    emit outputCountChanged(16);
}

int DeviceLink::ConnectionIndex() const {
    if (ComHandle) {
        return static_cast<int>(ComNumber + 1);
    }
    return LPTAddr == 632 ? 1 : 0;
}

void DeviceLink::PulseOutput(int output) {
    output &= 0xFF;
    if (ComHandle) {
        DeviceExchange(output);
        return;
    }
    const std::optional<quint8> pulse = parallelPulseByte(output);
    if (!pulse) {
        return;
    }
    const auto address = static_cast<quint16>(LPTAddr);
    portLibrary_.out32(address, *pulse);
    QThread::msleep(PulseTime);
    portLibrary_.out32(address, IdleByte);
}

int DeviceLink::DeviceExchange(int output) {
    output &= 0xFF;
    if (!ComHandle) {
        throw ProgramError(QStringLiteral("Can't write to port"));
    }
    ComHandle->purgeInput();
    if (ComHandle->write(buildRequest(DeviceID, output)) < 0) {
        throw ProgramError(QStringLiteral("Can't write to port"));
    }
    char reply[ReplyBufferSize];
    const qint64 received = ComHandle->read(reply, ReplyBufferSize);
    if (received < 0) {
        throw ProgramError(QStringLiteral("Can't read from port"));
    }
    const ReplyMeaning meaning = decodeReply(QByteArrayView(reply, received), output);
    // The selection comes first: a newly reported output fires, a whole
    // inner exchange with its own link text, before this one's text.
    if (meaning.reportedOutput && select(*meaning.reportedOutput)) {
        PulseOutput(*meaning.reportedOutput);
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
    PulseOutput(n);
}

void DeviceLink::TestLinkTimerTimer() {
    if (ComHandle) {
        DeviceExchange(0);
    }
}

} // namespace cantrel
