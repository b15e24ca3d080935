#pragma once

// A station's folder with the simulated device beside it, and the
// `cantrel --run` started from it as a service on the test's private
// session bus; what the tests of the service and of the window beside it
// share.
#include "service/ServiceClient.h"
#include "support/StationFolder.h"

#include <QDateTime>
#include <QTest>

#include <functional>
#include <optional>

namespace cantrel::test {

// The station of StationFolder, with today's schedule set up on it.
struct Station : StationFolder {
    const QDateTime now = QDateTime::currentDateTime();

    // The time of day so many seconds after the station was set up.
    QString at(int seconds) const { return now.addSecs(seconds).toString("HH:mm:ss"); }
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
    QByteArray log() const {
        return read("state/cantrel/as-run-" + now.toString("yyyy-MM-dd").toUtf8() + ".log");
    }
};

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
