#pragma once

// A station's folder with the simulated device beside it, and the
// `cantrel --run` started from it as a service on the test's private
// session bus; what the tests of the service and of the window beside it
// share.
#include "device/DeviceTestSupport.h"
#include "service/ServiceClient.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <optional>

namespace cantrel::test {

inline QString bin() {
    return qEnvironmentVariable("CANTREL_TEST_BIN");
}

// The folder a station runs from, the device beside it.
struct Station {
    QTemporaryDir dir;
    DevSim device{bin() + "/cantrel-devsim", dir.path()};
    const QDateTime now = QDateTime::currentDateTime();

    QString path(const QString& name) const { return dir.filePath(name); }
    // The time of day so many seconds after the station was set up.
    QString at(int seconds) const { return now.addSecs(seconds).toString("HH:mm:ss"); }
    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
    }
    QByteArray read(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString script(const QString& name, const QByteArray& body) const {
        write(name, "#!/bin/sh\n" + body);
        QFile::setPermissions(path(name), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
        return path(name);
    }
    // Today's day file of "time,output,comment,media" lines, the calendar
    // naming it and the settings naming the calendar and the port.
    QString setUp(const QStringList& rows, int port = 2) const {
        const QString day = path("today.24h");
        write("today.24h", rows.join("\r\n").toUtf8() + "\r\n");
        write("month.31d", QByteArray::number(now.date().day()) + ' ' + day.toUtf8() + "\r\n");
        write("Cantrel.ini", "file31d=" + path("month.31d").toUtf8() + "\r\nPort=" +
                                 QByteArray::number(port) + "\r\nDeviceID=0\r\nRunAdvance=0\r\n");
        return day;
    }
    void start(QProcess& run, const QStringList& arguments = {"--run"},
               const QStringList& extra = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert("CANTREL_COM1", device.linkPath());
        env.insert("CANTREL_OPENER", "/bin/true");
        env.insert("XDG_STATE_HOME", path("state"));
        for (const QString& assignment : extra)
            env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(dir.path());
        run.start(bin() + "/cantrel", arguments);
    }
    QByteArray log() const {
        return read("state/cantrel/as-run-" + now.toString("yyyy-MM-dd").toUtf8() + ".log");
    }
    int requestsFor(int output) const {
        const QString request =
            QStringLiteral("FD 00 %1 ").arg(output, 2, 16, QLatin1Char('0')).toUpper();
        return int(device.requests().filter(request).size());
    }
};

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

// The service's state once its link is up.
inline ServiceState stateWithLink(const ServiceClient& client) {
    std::optional<ServiceState> state;
    std::ignore = QTest::qWaitFor(
        [&] {
            state = client.readState();
            return state && state->linkText == QLatin1String("Link OK");
        },
        10000);
    return state.value_or(ServiceState());
}

// A call's answer: its failure text, or empty.
inline QString answerOf(const std::function<void(ServiceClient::Done)>& call) {
    std::optional<QString> answer;
    call([&answer](const QString& failure) { answer = failure; });
    std::ignore = QTest::qWaitFor([&] { return answer.has_value(); }, 10000);
    return answer.value_or(QStringLiteral("no answer"));
}

} // namespace cantrel::test
