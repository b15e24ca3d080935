#include "device/ConnectionDialog.h"

#include "device/SerialPort.h"
#include "device/UpDown.h"
#include "platform/Prompter.h"
#include "schedule/MonthCalendarFile.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace cantrel {

namespace {
constexpr int kListedPorts = 6; // LPT378, LPT278, COM1 to COM4

QLabel* label(QWidget* parent, const char* name, const QString& text, QPoint at) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->move(at);
    l->adjustSize();
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, QRect rect) {
    auto* e = new QLineEdit(QStringLiteral("0"), parent);
    e->setObjectName(QLatin1String(name));
    e->setGeometry(rect);
    return e;
}
} // namespace

ConnectionDialog::ConnectionDialog(Prompter& prompter, QWidget* owner)
    : QDialog(owner), prompter_(prompter) {
    setObjectName(QStringLiteral("ComSetupDlg"));
    setWindowTitle(QStringLiteral("Comunication Setup Dialog"));
    setFixedSize(314, 212);

    bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 297, 161);

    portLabel = label(this, "Label3", QStringLiteral("Port"), {16, 16});
    portList = new QComboBox(this);
    portList->setObjectName(QStringLiteral("PortEdit"));
    portList->setEditable(false);
    portList->setGeometry(16, 32, 145, 21);
    portList->addItems({"LPT378", "LPT278", "COM1", "COM2", "COM3", "COM4"});
    portList->setCurrentIndex(0);
    connect(portList, &QComboBox::currentIndexChanged, this, [this] { portChanged(); });
    portDeviceLabel = new QLabel(this);
    portDeviceLabel->setObjectName(QStringLiteral("PortDeviceLabel"));
    portDeviceLabel->setGeometry(168, 16, 130, 84);
    portDeviceLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    portDeviceLabel->setWordWrap(true);
    portDeviceLabel->setTextFormat(Qt::PlainText);

    deviceIdLabel = label(this, "Label2", QStringLiteral("Device ID"), {16, 64});
    deviceIdEdit = edit(this, "DevIDEdit", {16, 80, 121, 21});
    deviceIdUpDown = new UpDown(deviceIdEdit, 0, 127, this);
    deviceIdUpDown->setObjectName(QStringLiteral("DevIDUpDown"));
    deviceIdUpDown->setGeometry(137, 80, 16, 21);

    runAdvanceLabel = label(this, "Label1", QStringLiteral("Run advance (sec)"), {16, 112});
    runAdvanceEdit = edit(this, "RunAdvEdit", {16, 128, 121, 21});
    runAdvanceUpDown = new UpDown(runAdvanceEdit, 0, 3600, this);
    runAdvanceUpDown->setObjectName(QStringLiteral("RunAdvUpDown"));
    runAdvanceUpDown->setGeometry(137, 128, 16, 21);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("OKBtn"));
    okButton->setGeometry(79, 180, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, [this] {
        if (mayClose())
            accept();
    });
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("CancelBtn"));
    cancelButton->setGeometry(159, 180, 75, 25);
    // Cancel, Escape and the close box all reject without any check.
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(okButton, cancelButton);
    setTabOrder(cancelButton, portList);
    setTabOrder(portList, deviceIdEdit);
    setTabOrder(deviceIdEdit, deviceIdUpDown);
    setTabOrder(deviceIdUpDown, runAdvanceEdit);
    setTabOrder(runAdvanceEdit, runAdvanceUpDown);
}

void ConnectionDialog::showConnection(int index) {
    while (portList->count() > kListedPorts)
        portList->removeItem(kListedPorts);
    if (index >= kListedPorts) {
        portList->addItem(QStringLiteral("COM%1").arg(index - 1), index);
        portList->setCurrentIndex(kListedPorts);
    } else {
        portList->setCurrentIndex(index >= 0 ? index : -1);
    }
}

int ConnectionDialog::selectedConnection() const {
    const QVariant extra = portList->currentData();
    return extra.isValid() ? extra.toInt() : portList->currentIndex();
}

void ConnectionDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreAndRefresh();
}

void ConnectionDialog::centreAndRefresh() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    portChanged();
}

void ConnectionDialog::portChanged() {
    const bool serial = portList->currentIndex() >= 2;
    deviceIdUpDown->setEnabled(serial);
    deviceIdEdit->setEnabled(serial);
    showPortDevice();
}

void ConnectionDialog::showPortDevice() {
    if (portList->currentIndex() < 2) {
        portDeviceLabel->clear();
        portDeviceLabel->setToolTip(QString());
        return;
    }
    const ComDeviceInfo info =
        describeComDevice(QStringLiteral("COM%1").arg(selectedConnection() - 1));
    // A /dev/serial/by-id name is long: its middle gives way, the tooltip has it whole.
    const QString path = portDeviceLabel->fontMetrics().elidedText(info.path, Qt::ElideMiddle,
                                                                   portDeviceLabel->width());
    portDeviceLabel->setText(path + u'\n' + info.state);
    portDeviceLabel->setToolTip(info.path);
}

bool ConnectionDialog::mayClose() {
    const std::optional<int> deviceId = parseWholeNumber(deviceIdEdit->text());
    const std::optional<int> runAdvance = parseWholeNumber(runAdvanceEdit->text());
    if (!deviceId || !runAdvance) {
        prompter_.message(kProgramTitle, QStringLiteral("Incorrect number"));
        return false;
    }
    bool canClose = true;
    if (*runAdvance < 0 || *runAdvance >= 3600) {
        prompter_.message(kProgramTitle, QStringLiteral("Incorrect run advance"));
        canClose = false;
    }
    if (*deviceId < 0 || *deviceId > 127) {
        prompter_.message(kProgramTitle, QStringLiteral("Incorrect device ID"));
        canClose = false;
    }
    return canClose;
}

} // namespace cantrel
