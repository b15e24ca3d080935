#pragma once

// Shared by the device tests and the device benchmark: a recorder of what the
// link gives out, and the simulated device as a child process.

#include "device/DeviceLink.h"
#include "platform/ProgramError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <utility>

#include <sys/resource.h>

namespace cantrel::test {

// The program's failure text that a call raises, or an empty text.
template <typename Call> QString failureOf(Call&& call) {
    try {
        call();
    } catch (const ProgramError& failure) {
        return failure.text();
    }
    return {};
}

// The failure a call raises as one line, text and detail, or an empty text.
template <typename Call> QString failureLineOf(Call&& call) {
    try {
        call();
    } catch (const ProgramError& failure) {
        return failure.oneLine();
    }
    return {};
}

// Records what the link gives out through its signals, in order.
class RecordingView {
  public:
    QStringList events;

    // Listens to link from now on.
    void watch(DeviceLink& link) {
        QObject::connect(&link, &DeviceLink::connectionTextChanged,
                         [this](const QString& text) { events << "connection " + text; });
        QObject::connect(&link, &DeviceLink::linkTextChanged,
                         [this](const QString& text) { events << "link " + text; });
        QObject::connect(&link, &DeviceLink::outputCountChanged,
                         [this](int count) { events << QStringLiteral("enable %1").arg(count); });
        QObject::connect(&link, &DeviceLink::selectedOutputChanged,
                         [this](int n) { events << QStringLiteral("show %1").arg(n); });
        QObject::connect(&link, &DeviceLink::connectionFailed,
                         [this](const QString& text, const QString& detail) {
                             events << "message " + TextFailure::withDetail(text, detail);
                         });
        QObject::connect(&link, &DeviceLink::linkLost,
                         [this](const QString& why) { events << "lost " + why; });
    }
    QStringList take() { return std::exchange(events, {}); }
};

// cantrel-devsim on a pseudo-terminal linked at <dir>/com, its answer mode
// switched through <dir>/mode and its request log in <dir>/devsim.log.
class DevSim {
  public:
    DevSim(const QString& program, const QString& dir) : program_(program), dir_(dir) {}
    ~DevSim() { stop(); }

    bool start(const QStringList& extra = {}) {
        setMode(QStringLiteral("normal"));
        process_.start(program_, QStringList{"--link", linkPath(), "--control", dir_ + "/mode",
                                             "--log", logPath()} +
                                     extra);
        if (!process_.waitForStarted()) {
            return false;
        }
        // A real device answers within the read limit however busy the PC is;
        // its stand-in shares the CPUs with everything else, so it asks to be
        // served first. Without the right to, it runs as it is.
        setpriority(PRIO_PROCESS, static_cast<id_t>(process_.processId()), -20);
        return waitForTerminal();
    }
    void stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(3000);
        }
    }
    // The device prints its terminal on start and again when it comes back
    // after a hang-up.
    bool waitForTerminal(int ms = 5000) {
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(ms)) {
                return false;
            }
        }
        terminal_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return !terminal_.isEmpty();
    }
    void setMode(const QString& mode) {
        QFile file(dir_ + "/mode");
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(mode.toLatin1() + "\n");
        }
    }
    // The logged requests, "FD 00 00 06 normal -> ...", without time stamps.
    QStringList requests() const {
        QFile file(logPath());
        QStringList lines;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                const QString text = QString::fromLatin1(line).section(' ', 2);
                if (text.startsWith("FD ")) {
                    lines << text;
                }
            }
        }
        return lines;
    }
    // Started with --micro: the wall clock (ns since the epoch) at which
    // each logged request reached the device, and its first four bytes.
    QList<std::pair<qint64, QString>> stampedRequests() const {
        QList<std::pair<qint64, QString>> out;
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return out;
        static const QRegularExpression line("^(\\S+ \\S+)\\.(\\d{6}) (FD \\S\\S \\S\\S \\S\\S)");
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
            if (m.hasMatch())
                out.append({QDateTime::fromString(m.captured(1), "yyyy-MM-dd HH:mm:ss")
                                        .toMSecsSinceEpoch() *
                                    1000000 +
                                m.captured(2).toLongLong() * 1000,
                            m.captured(3)});
        }
        return out;
    }
    // How many held-back parts of answers (a late answer, the rest after a
    // pause) have gone out on the line so far.
    int heldBackSends() const {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count(" bytes sent after ")) : 0;
    }
    QString linkPath() const { return dir_ + "/com"; }
    QString logPath() const { return dir_ + "/devsim.log"; }
    QString terminal() const { return terminal_; }

  private:
    QString program_;
    QString dir_;
    QString terminal_;
    QProcess process_;
};

} // namespace cantrel::test
