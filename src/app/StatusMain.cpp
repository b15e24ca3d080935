#include "app/StatusMain.h"

#include "service/ServiceClient.h"
#include "service/StatusText.h"

#include <QCoreApplication>

#include <cstdio>

namespace cantrel {

namespace {

constexpr int kRunning = 0;
constexpr int kFailed = 1;
constexpr int kNotRunning = 3;

int notRunning() {
    std::fputs("cantrel --run is not running: no service on this user's session bus\n", stdout);
    return kNotRunning;
}

} // namespace

int showStatus(int& argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Cantrel"));
    ServiceClient client;
    if (!client.busConnected()) {
        std::fputs(QStringLiteral("cantrel: no session bus to ask (%1)\n")
                       .arg(client.busError())
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        return kFailed;
    }
    if (!client.serviceRunning())
        return notRunning();
    QString why;
    const std::optional<ServiceState> state = client.readState(&why);
    if (!state) {
        // It may have ended between the two questions.
        if (!client.serviceRunning())
            return notRunning();
        std::fputs(QStringLiteral("cantrel: the service does not answer: %1\n")
                       .arg(why)
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        return kFailed;
    }
    std::fputs(statusText(*state).toLocal8Bit().constData(), stdout);
    return kRunning;
}

} // namespace cantrel
