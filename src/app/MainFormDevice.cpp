// The main window's side of the device link: the status bar panels, the
// radio bank and the timer that drive DeviceLink.
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
    device_ = std::make_unique<DeviceLink>(*this);
    radioBank_ = new RadioBank(BottomPanel);
    radioBank_->adopt(RadioButton1);
    connect(radioBank_, &RadioBank::clicked, this,
            [this](int output) { showUnhandled(*this, [this, output] { PulseOutput(output); }); });
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

void TMainForm::setConnectionText(const QString& text) {
    ConnectionPanel->setText(text);
}

void TMainForm::setLinkText(const QString& text) {
    LinkPanel->setText(text);
}

void TMainForm::enableRadios(int count) {
    radioBank_->enable(count);
}

void TMainForm::showSelectedRadio(int n) {
    radioBank_->show(n);
}

// The device reports its selected output. Selecting a button that was not
// selected counts as a click on it: its output fires, inside this exchange,
// and a failure of that inner exchange ends the outer one too, so it reaches
// the error display through the link test rather than through the click.
void TMainForm::selectRadio(int n) {
    if (radioBank_->select(n))
        PulseOutput(n);
}

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
