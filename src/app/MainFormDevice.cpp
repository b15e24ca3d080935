// The main window's side of the device link: the status bar panels and the
// radio bank show it, the link test timer and the setup dialog drive it.
#include "app/TMainForm.h"
#include "device/RadioBank.h"
#include "device/TComSetupDlg.h"
#include "device/UpDown.h"
#include "run/RunEngine.h"
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
void showUnhandled(TMainForm& form, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const TextFailure& failure) {
        form.prompter().error(kProgramTitle, failure.text());
    } catch (const std::exception& failure) {
        form.prompter().error(kProgramTitle, QString::fromLocal8Bit(failure.what()));
    }
}
} // namespace

void TMainForm::connectDevice() {
    device_ = std::make_unique<DeviceLink>();
    radioBank_ = new RadioBank(BottomPanel);
    radioBank_->adopt(RadioButton1);
    connect(device_.get(), &DeviceLink::connectionTextChanged, ConnectionPanel, &QLabel::setText);
    connect(device_.get(), &DeviceLink::linkTextChanged, LinkPanel, &QLabel::setText);
    connect(device_.get(), &DeviceLink::outputCountChanged, radioBank_, &RadioBank::enable);
    connect(device_.get(), &DeviceLink::selectedOutputChanged, radioBank_, &RadioBank::show);
    connect(device_.get(), &DeviceLink::connectionFailed, this, &TMainForm::ShowMessage);
    connect(radioBank_, &RadioBank::clicked, this, [this](int output) {
        showUnhandled(*this, [this, output] { device_->chooseOutput(output); });
    });
    connect(TestLinkTimer, &QTimer::timeout, this, [this] {
        // While one link test's failure box is open, later ticks do not stack
        // another box on top of it every three seconds.
        if (linkTestRunning_)
            return;
        const QScopedValueRollback running(linkTestRunning_, true);
        showUnhandled(*this, [this] { TestLinkTimerTimer(); });
    });
}

void TMainForm::LoadPortLibrary() {
    device_->LoadPortLibrary();
}

void TMainForm::UnloadPortLibrary() {
    device_->UnloadPortLibrary();
}

void TMainForm::CloseComPort() {
    device_->SetComPort(0, 0);
}

void TMainForm::TestLinkTimerTimer() {
    device_->TestLinkTimerTimer();
}

bool TMainForm::serialConnectionOpen() const {
    return device_->serialOpen();
}

void TMainForm::PulseOutput(int output) {
    device_->PulseOutput(output);
}

// The menu item is kept hidden; it has nothing to do.
void TMainForm::Sound1Click() {}

// The connection dialog: what it shows comes from the device and the run
// engine, and goes back to them when the checks pass.
int TMainForm::ExecuteComSetup() {
    TComSetupDlg& dlg = *ComSetupDlg;
    dlg.showConnection(device().ConnectionIndex());
    dlg.DevIDUpDown->setPosition(device().DeviceID);
    dlg.DevIDEdit->setText(QString::number(device().DeviceID));
    dlg.RunAdvUpDown->setPosition(runEngine_->runAdvance());
    dlg.RunAdvEdit->setText(QString::number(runEngine_->runAdvance()));
    if (dlg.exec() != QDialog::Accepted)
        return -1;
    // The checks passed, so both texts are whole numbers in range. The device
    // ID is stored first so the connection panel shows the new one.
    device().DeviceID = parseWholeNumber(dlg.DevIDEdit->text()).value_or(0);
    const int index = dlg.selectedConnection();
    device().SetConnection(index);
    runEngine_->setRunAdvance(parseWholeNumber(dlg.RunAdvEdit->text()).value_or(0));
    return index;
}

void TMainForm::Port1Click() {
    ExecuteComSetup();
}

} // namespace cantrel
