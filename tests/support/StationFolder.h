#pragma once

// The folder a station runs `cantrel --run` from, the simulated device beside
// it, and what the tests that start the real program as a process share:
// its start without a display, its end by a signal, and its lines.
#include "device/DeviceTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

namespace cantrel::test {

inline QString bin() {
    return qEnvironmentVariable("CANTREL_TEST_BIN");
}

struct StationFolder {
    QTemporaryDir dir;
    DevSim device{bin() + "/cantrel-devsim", dir.path()};
    // The program that opens the rows' media files.
    QString opener = QStringLiteral("/bin/true");

    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
    }
    QByteArray read(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A shell script in the folder, ready to run.
    QString script(const QString& name, const QByteArray& body) const {
        write(name, "#!/bin/sh\n" + body);
        QFile::setPermissions(path(name), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
        return path(name);
    }

    // cantrel in this folder, without a display, COM1 on the device and the
    // as-run log in state/; extra variables on top. A wrapper, when given,
    // starts the program (as another user, say).
    void start(QProcess& run, const QStringList& arguments = {"--run"},
               const QStringList& extra = {}, const QStringList& wrapper = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "CANTREL_PORT_TRACE"})
            env.remove(QLatin1String(name));
        env.insert("CANTREL_COM1", device.linkPath());
        env.insert("CANTREL_OPENER", opener);
        env.insert("XDG_STATE_HOME", path("state"));
        for (const QString& assignment : extra)
            env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(dir.path());
        if (wrapper.isEmpty())
            run.start(bin() + "/cantrel", arguments);
        else
            run.start(wrapper.first(),
                      wrapper.mid(1) + QStringList{bin() + "/cantrel"} + arguments);
    }

    // How many requests for output the device has had.
    int requestsFor(int output) const {
        const QString request =
            QStringLiteral("FD 00 %1 ").arg(output, 2, 16, QLatin1Char('0')).toUpper();
        return int(device.requests().filter(request).size());
    }
};

// Ends the process with a signal; its exit status, or -1 if it did not end.
inline int endWith(QProcess& run, int signal) {
    ::kill(pid_t(run.processId()), signal);
    if (!run.waitForFinished(10000))
        return -1;
    return run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1;
}

inline QStringList linesOf(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts);
}

// How many of the run's own lines ("2026-12-10 12:00:00 " and the text) say text.
inline int saidLines(const QByteArray& err, const QString& text) {
    int count = 0;
    for (const QString& line : linesOf(err))
        count += line.mid(20) == text;
    return count;
}

} // namespace cantrel::test
