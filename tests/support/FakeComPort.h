#pragma once

// A pseudo-terminal standing in for the serial port named COMn, through the
// CANTREL_COMn variable the program maps port names with.
#include <QByteArray>
#include <QtGlobal>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace cantrel::test {

struct FakeComPort {
    int master = -1;
    QByteArray name;
    explicit FakeComPort(int n) : name("CANTREL_COM" + QByteArray::number(n)) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            qFatal("no pseudo-terminal");
        qputenv(name.constData(), ::ptsname(master));
    }
    ~FakeComPort() {
        qunsetenv(name.constData());
        ::close(master);
    }
    FakeComPort(const FakeComPort&) = delete;
    FakeComPort& operator=(const FakeComPort&) = delete;
};

} // namespace cantrel::test
