#include "device/PortLibrary.h"

#include "platform/ProgramError.h"

#include <QCoreApplication>

namespace cantrel {

PortLibrary::PortLibrary(QStringList fileNames) : fileNames_(std::move(fileNames)) {}

QStringList PortLibrary::defaultFileNames() {
    const QString chosen = qEnvironmentVariable("CANTREL_PORT_LIBRARY");
    if (!chosen.isEmpty()) {
        return {chosen};
    }
    QStringList names;
    if (QCoreApplication::instance()) {
        names << QCoreApplication::applicationDirPath() + QStringLiteral("/inpout32");
    }
    names << QStringLiteral("inpout32");
    return names;
}

void PortLibrary::load() {
    bool loaded = false;
    for (const QString& name : fileNames_) {
        library_.setFileName(name);
        if (library_.load()) {
            loaded = true;
            break;
        }
    }
    if (!loaded) {
        throw ProgramError(QStringLiteral("Load inpout32 Library Failed. Reinstall application\n"));
    }
    inp32_ = reinterpret_cast<Inp32Function>(library_.resolve("Inp32"));
    if (!inp32_) {
        throw ProgramError(
            QStringLiteral("GetProcAddress for Inp32 Failed. Reinstall application\n"));
    }
    out32_ = reinterpret_cast<Out32Function>(library_.resolve("Out32"));
    if (!out32_) {
        throw ProgramError(
            QStringLiteral("GetProcAddress for Oup32 Failed. Reinstall application\n"));
    }
    // Optional: a library of its own without it counts as reaching its ports.
    portProblem_ = reinterpret_cast<PortProblemFunction>(library_.resolve("PortProblem"));
}

void PortLibrary::unload() {
    inp32_ = nullptr;
    out32_ = nullptr;
    portProblem_ = nullptr;
    if (library_.isLoaded()) {
        library_.unload();
    }
}

void PortLibrary::out32(quint16 address, quint16 value) const {
    Q_ASSERT(out32_);
    if (out32_) {
        out32_(static_cast<short>(address), static_cast<short>(value));
    }
}

quint8 PortLibrary::inp32(quint16 address) const {
    Q_ASSERT(inp32_);
    return inp32_ ? static_cast<quint8>(inp32_(static_cast<short>(address))) : 0xFF;
}

QString PortLibrary::problem(quint16 address) const {
    char why[512] = {};
    if (!portProblem_ || portProblem_(static_cast<short>(address), why, sizeof why) == 0) {
        return {};
    }
    const QString text = QString::fromLocal8Bit(why);
    return text.isEmpty() ? QStringLiteral("the port library gives no reason") : text;
}

} // namespace cantrel
