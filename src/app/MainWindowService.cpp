// The window beside a running service (`cantrel --run` on the session bus):
// the service holds the device and runs the schedule; the window leaves the
// port alone, shows the service's connection, link, next row and marks, and
// sends it the outputs clicked and the rows executed. It follows the service
// as it starts and stops.
#include "app/MainWindow.h"

#include "app/ControlTips.h"
#include "device/RadioBank.h"
#include "run/NextRowText.h"
#include "run/RunEngine.h"
#include "schedule/Cells.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "service/ServiceClient.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace cantrel {

namespace {

// A service that stops may be on its way to start again (systemd restarts
// it): the window waits this long before it takes the device itself.
constexpr int kTakeBackAfterMs = 2000;

// "Connection: COM1   Device ID: 0" as the service gives it becomes
// "Connection: COM1 (service)   Device ID: 0".
QString besideServiceText(const QString& connectionText) {
    const qsizetype gap = connectionText.indexOf(QLatin1String("   "));
    const QString held = QStringLiteral(" (service)");
    return gap < 0 ? connectionText + held
                   : connectionText.left(gap) + held + connectionText.mid(gap);
}

bool sameFile(const QString& a, const QString& b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

void MainWindow::watchService() {
    ServiceClient* service = services_.service;
    serviceClock_ = new QTimer(this);
    serviceClock_->setInterval(500);
    connect(serviceClock_, &QTimer::timeout, this, &MainWindow::showNextRow);
    takeBackTimer_ = new QTimer(this);
    takeBackTimer_->setSingleShot(true);
    takeBackTimer_->setInterval(kTakeBackAfterMs);
    if (!service || !service->busConnected())
        return;
    connect(service, &ServiceClient::serviceStarted, this, [this] {
        takeBackTimer_->stop();
        // A run of the window's own goes on; the service reports the port
        // in use until the window leaves Run mode.
        if (!runEngine_->running())
            stepAside();
    });
    connect(service, &ServiceClient::serviceStopped, takeBackTimer_, qOverload<>(&QTimer::start));
    connect(takeBackTimer_, &QTimer::timeout, this, [this] {
        if (besideService() && !services_.service->serviceRunning())
            takeDeviceBack();
    });
    connect(service, &ServiceClient::stateChanged, this, [this] {
        if (besideService())
            services_.service->requestState();
    });
    connect(service, &ServiceClient::stateRead, this, &MainWindow::showServiceState);
    connect(runEngine_.get(), &RunEngine::modeChanged, this, [this](bool running) {
        if (!running && services_.service->serviceRunning())
            stepAside();
    });
    // A day file opened that the service runs takes its marks.
    connect(&daySchedule(), &ScheduleDocument::nameChanged, this, [this] {
        if (besideService())
            services_.service->requestState();
    });
    if (service->serviceRunning())
        stepAside();
}

void MainWindow::stepAside() {
    if (besideService())
        return;
    device_->standBy();
    linkPanel->clear();
    serviceClock_->start();
    showRunAvailable();
    services_.service->requestState();
}

void MainWindow::takeDeviceBack() {
    serviceClock_->stop();
    serviceState_.reset();
    linkPanel->clear();
    device_->takeUp();
    showRunAvailable();
    showNextRow();
}

void MainWindow::showServiceState(const ServiceState& state) {
    if (!besideService())
        return;
    serviceState_ = state;
    serviceStateAge_.start();
    connectionPanel->setText(besideServiceText(state.connectionText));
    linkPanel->setText(state.linkText);
    showOutputs(state.connectionText.startsWith(QLatin1String("Connection: COM")) ? 16 : 4);
    showNextRow();
    // Today's day file, as the service runs it: its marks are the service's.
    StringGridModel& rows = daySchedule().rows();
    if (!daySchedule().isModified() && sameFile(daySchedule().name(), state.dayFile) &&
        rows.gridRowCount() - kFirstDayRow == state.marks.size()) {
        for (int i = 0; i < state.marks.size(); ++i)
            rows.setCell(DayCol::Mark, kFirstDayRow + i, state.marks[i]);
    }
}

// The service's next row, counted down from when its state was read.
QString MainWindow::serviceNextRowText() const {
    if (!serviceState_ || serviceState_->nextRow.isEmpty())
        return {};
    return nextRowText(QStringList{QString()} + serviceState_->nextRow,
                       serviceState_->msToNext - serviceStateAge_.elapsed());
}

void MainWindow::showRunAvailable() {
    const bool aside = besideService() && !runEngine_->running();
    runButton->setEnabled(!aside);
    runButton->setToolTip(aside ? QStringLiteral("The service (cantrel --run) runs the schedule; "
                                                 "Run is available when it stops")
                                : runButtonTip(runEngine_->running()));
}

void MainWindow::chooseOutput(int output) {
    if (!besideService()) {
        device_->chooseOutput(output, [this](const std::optional<DeviceFailure>& failure) {
            if (failure)
                showDeviceFailure(*failure);
        });
        return;
    }
    services_.service->fireOutput(output, [this, output](const QString& failure) {
        if (failure.isEmpty())
            radioBank_->show(output);
        else
            showMessage(failure);
    });
}

void MainWindow::executeSelectedRow() {
    if (!besideService()) {
        runEngine_->executeRow(dayGrid->row());
        return;
    }
    // The service executes a row of the file it runs, by its number there.
    const QString runs = serviceState_ ? serviceState_->dayFile : QString();
    if (daySchedule().isModified() || !sameFile(daySchedule().name(), runs)) {
        showMessage(QStringLiteral("Execute goes to the service, which runs another day file"),
                    runs.isEmpty() ? QStringLiteral("the service runs no day file now")
                                   : QStringLiteral("the service runs %1").arg(runs));
        return;
    }
    services_.service->executeRow(dayGrid->row() - kFirstDayRow + 1, [this](const QString& failure) {
        if (!failure.isEmpty())
            showMessage(failure);
    });
}

} // namespace cantrel
