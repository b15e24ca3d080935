// The main window's side of the device link: the status bar panels, the
// radio bank and the timers that drive DeviceLink.
#include "app/TMainForm.h"
#include "platform/ProgramError.h"

#include <QLabel>
#include <QRadioButton>
#include <QTimer>

namespace cantrel {

namespace {
QRadioButton* findRadio(QWidget* panel, int n) {
    const QString name = QStringLiteral("Radio%1").arg(n);
    for (QObject* child : panel->children())
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return qobject_cast<QRadioButton*>(child);
    return nullptr;
}
} // namespace

void TMainForm::connectDevice() {
    device_ = std::make_unique<DeviceLink>(*this);
    connect(TestLinkTimer, &QTimer::timeout, this, [this] {
        // While one link test's failure box is open, later ticks do not stack
        // another box on top of it every three seconds.
        if (linkTestRunning_)
            return;
        linkTestRunning_ = true;
        handle([this] { TestLinkTimerTimer(); });
        linkTestRunning_ = false;
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

void TMainForm::RadioButtonClick(QObject* sender) {
    device_->PulseOutput(sender->property("tag").toInt() & 0xFF);
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
    EnableRadios(count);
}

// The device reports its selected output. Selecting a button that was not
// selected counts as a click on it: its output fires, inside this exchange,
// and a failure of that inner exchange ends the outer one too.
void TMainForm::selectRadio(int n) {
    if (n < 1 || n > 16)
        return;
    QRadioButton* radio = findRadio(BottomPanel, n);
    if (!radio)
        throw ProgramError(QStringLiteral("Can't find control"));
    if (radio->isChecked())
        return;
    {
        const QSignalBlocker quiet(radio);
        radio->setChecked(true);
    }
    RadioButtonClick(radio);
}

} // namespace cantrel
