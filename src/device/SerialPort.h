#pragma once

#include "device/ComPort.h"

#include <QString>

#include <memory>

namespace cantrel {

// The device path behind a port name "COMn": the environment variable
// CANTREL_COMn when set (a USB adapter, a pseudo-terminal), else /dev/ttyS(n-1).
// Empty for any other name, such as "COM-2", which therefore cannot be opened.
QString comDevicePath(const QString& portName);

// Opens the named port read-write and for this process alone; null when it
// cannot be opened. The port is not configured yet.
std::unique_ptr<ComPort> openSerialComPort(const QString& portName);

} // namespace cantrel
