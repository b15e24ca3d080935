// The main window's side of the device link: the status bar panels and the
// radio bank show it, the link test timer and the setup dialog drive it.
#include "app/MainWindow.h"
#include "device/RadioBank.h"
#include "device/ConnectionDialog.h"
#include "device/UpDown.h"
#include "run/RunEngine.h"
#include "service/ServiceClient.h"
#include "schedule/MonthCalendarFile.h"
#include "platform/ProgramError.h"

#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QTimer>

#include <functional>

namespace cantrel {

namespace {

// The link test and the radio buttons have nothing of their own to do about a
// line that fails: whatever escapes them, the program's texts included, goes to
// the general error display, and the timer goes on firing.
void showUnhandled(MainWindow& form, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const TextFailure& failure) {
        form.prompter().error(kProgramTitle, failure.text(), failure.detail());
    } catch (const std::exception& failure) {
        form.prompter().error(kProgramTitle, QString::fromLocal8Bit(failure.what()));
    }
}
} // namespace

void MainWindow::connectDevice() {
    device_ = std::make_unique<DeviceThread>();
    radioBank_ = new RadioBank(bottomPanel);
    radioBank_->adopt(noOutputRadio);
    connect(device_.get(), &DeviceThread::connectionTextChanged, connectionPanel, &QLabel::setText);
    connect(device_.get(), &DeviceThread::linkTextChanged, linkPanel, &QLabel::setText);
    connect(device_.get(), &DeviceThread::outputCountChanged, this, &MainWindow::showOutputs);
    connect(device_.get(), &DeviceThread::selectedOutputChanged, radioBank_, &RadioBank::show);
    connect(device_.get(), &DeviceThread::connectionFailed, this, &MainWindow::showMessage);
    connect(radioBank_, &RadioBank::clicked, this, [this](int output) {
        showUnhandled(*this, [this, output] { chooseOutput(output); });
    });
    connect(linkTestTimer, &QTimer::timeout, this, [this] {
        // The exchange goes out on every tick, also while a failure box is
        // open, so the port is taken up again and the panels and the log
        // follow the line; only a second box on top of the open one is left out.
        // Beside the service its state is asked for again, in case a
        // change went by unheard.
        if (besideService()) {
            services_.service->requestState();
            return;
        }
        device_->testLink([this](const std::optional<DeviceFailure>& failure) {
            if (!failure || linkTestBoxOpen_)
                return;
            const QScopedValueRollback open(linkTestBoxOpen_, true);
            showDeviceFailure(*failure);
        });
    });
}

// What the device raised, as the general error display shows it.
void MainWindow::showDeviceFailure(const DeviceFailure& failure) {
    prompter().error(kProgramTitle, failure.text, failure.detail);
}

bool MainWindow::serialConnectionOpen() const {
    return device_->serialOpen();
}

// The connection dialog: what it shows comes from the device and the run
// engine, and goes back to them when the checks pass.
int MainWindow::runConnectionDialog() {
    ConnectionDialog& dlg = *connectionDialog;
    // Beside the service the connection the settings hold is shown.
    dlg.showConnection(besideService() ? device().askedConnection() : device().connectionIndex());
    dlg.deviceIdUpDown->setPosition(device().deviceId);
    dlg.deviceIdEdit->setText(QString::number(device().deviceId));
    dlg.runAdvanceUpDown->setPosition(runEngine_->runAdvance());
    dlg.runAdvanceEdit->setText(QString::number(runEngine_->runAdvance()));
    if (dlg.exec() != QDialog::Accepted)
        return -1;
    // The checks passed, so both texts are whole numbers in range. The device
    // ID is stored first so the connection panel shows the new one.
    device().deviceId = parseWholeNumber(dlg.deviceIdEdit->text()).value_or(0);
    const int index = dlg.selectedConnection();
    device().setConnection(index);
    runEngine_->setRunAdvance(parseWholeNumber(dlg.runAdvanceEdit->text()).value_or(0));
    return index;
}

void MainWindow::setUpConnection() {
    runConnectionDialog();
}

} // namespace cantrel
