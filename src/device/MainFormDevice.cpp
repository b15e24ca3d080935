// The main window's side of the device link: the status bar panels, the
// radio bank and the timers that drive DeviceLink.
#include "app/TMainForm.h"
#include "platform/ProgramError.h"

#include <QLabel>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTimer>

#include <functional>

namespace cantrel {

namespace {
QRadioButton* findRadio(QWidget* panel, int n) {
    const QString name = QStringLiteral("Radio%1").arg(n);
    for (QObject* child : panel->children())
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return qobject_cast<QRadioButton*>(child);
    return nullptr;
}

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

// Selecting a button counts as a click on it; clicking the selected one
// does nothing.
void TMainForm::connectRadio(QRadioButton* radio) {
    connect(radio, &QRadioButton::toggled, this, [this, radio](bool checked) {
        if (checked)
            showUnhandled(*this, [this, radio] { RadioButtonClick(radio); });
    });
}

// The radio bank: one button per output, with its number below it.
void TMainForm::CreateRadioBank(int count) {
    for (int n = 1; n <= count; ++n) {
        auto* radio = new QRadioButton(BottomPanel);
        radio->setObjectName(QStringLiteral("Radio%1").arg(n));
        radio->setProperty("tag", n);
        radio->setGeometry(8 + 24 * (n - 1), 40, 16, 17);
        connectRadio(radio);
        radio->show();
        auto* label = new QLabel(QString::number(n), BottomPanel);
        label->move(8 + 24 * (n - 1) + (n <= 8 ? 3 : 0), 58);
        label->adjustSize();
        label->show();
    }
}

void TMainForm::EnableRadios(int count) {
    for (int n = 1; n <= 16; ++n)
        if (QRadioButton* radio = findRadio(BottomPanel, n))
            radio->setEnabled(n <= count);
}

void TMainForm::connectDevice() {
    device_ = std::make_unique<DeviceLink>(*this);
    connectRadio(RadioButton1);
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

void TMainForm::showSelectedRadio(int n) {
    if (QRadioButton* radio = findRadio(BottomPanel, n)) {
        const QSignalBlocker quiet(radio);
        radio->setChecked(true);
    }
}

// The device reports its selected output. Selecting a button that was not
// selected counts as a click on it: its output fires, inside this exchange,
// and a failure of that inner exchange ends the outer one too, so it reaches
// the error display through the link test rather than through the click.
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
