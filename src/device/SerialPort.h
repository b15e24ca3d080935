#pragma once

#include "device/ComPort.h"

#include <QString>

#include <memory>

namespace cantrel {

// The device path behind a port name "COMn", the first of: the environment
// variable CANTREL_COMn (a pseudo-terminal, a test); a "COMn=/dev/..." line
// in the ports file (a USB adapter by its stable /dev/serial/by-id name);
// /dev/ttyS(n-1). Empty for any other name, such as "COM-2", which therefore
// cannot be opened.
QString comDevicePath(const QString& portName);

// The ports file: $XDG_CONFIG_HOME/cantrel/ports.conf, ~/.config when that
// variable is unset or not an absolute path.
QString portsFilePath();

// The device a ports file's "COMn=/dev/..." line names for portName; empty
// when none does. Lines are trimmed, empty ones and "#" comments skipped;
// names compare without regard to case, and the first line for a name counts.
QString portsFileDevice(const QByteArray& content, const QString& portName);

// What the system knows of the device behind a port name, for the setup
// dialog: its path and its state, which is what the system says it is
// ("FT232R USB UART, FTDI"), "present" when it says nothing of it (a
// pseudo-terminal, a port without a driver's description), or "absent".
struct ComDeviceInfo {
    QString path;
    QString state;
};
ComDeviceInfo describeComDevice(const QString& portName);

// Opens the named port read-write and for this process alone; null when it
// cannot be opened, and then why gets the reason ("COM1 (/dev/ttyUSB0): no
// such device"). The port is not configured yet.
std::unique_ptr<ComPort> openSerialComPort(const QString& portName, QString* why = nullptr);

} // namespace cantrel
