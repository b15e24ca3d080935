#pragma once

#include <QLibrary>
#include <QStringList>
#include <QtGlobal>

namespace cantrel {

// The port I/O library, loaded at run time and resolved by its two export names,
// and PortProblem where the library has it.
// It is tried under each file name in turn; QLibrary adds the platform's prefix
// and suffix (libinpout32.so, inpout32.dll).
class PortLibrary {
  public:
    explicit PortLibrary(QStringList fileNames = defaultFileNames());
    PortLibrary(const PortLibrary&) = delete;
    PortLibrary& operator=(const PortLibrary&) = delete;

    // CANTREL_PORT_LIBRARY when set; otherwise "inpout32" in the program's folder
    // (a dlopen from Qt does not search the executable's RUNPATH), then the plain
    // name for the system's own search.
    static QStringList defaultFileNames();

    // Raises the three "Reinstall application" texts. A library that lacks an
    // export stays loaded until unload().
    void load();
    void unload();
    bool isResolved() const { return out32_ != nullptr; }

    // Writes the low byte of value to a 16-bit I/O address.
    void out32(quint16 address, quint16 value) const;
    quint8 inp32(quint16 address) const;
    // Why writes to the address reach nothing ("/dev/parport0: No such file or
    // directory"); empty when they reach a port or the trace, or when the
    // library cannot tell.
    QString problem(quint16 address) const;

  private:
    using Inp32Function = short (*)(short);
    using Out32Function = void (*)(short, short);
    using PortProblemFunction = int (*)(short, char*, int);

    QStringList fileNames_;
    QLibrary library_;
    Inp32Function inp32_ = nullptr;
    Out32Function out32_ = nullptr;
    PortProblemFunction portProblem_ = nullptr;
};

} // namespace cantrel
