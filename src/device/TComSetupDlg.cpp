#include "device/TComSetupDlg.h"

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

TComSetupDlg::TComSetupDlg(Prompter& prompter, QWidget* owner)
    : QDialog(owner), prompter_(prompter) {
    setObjectName(QStringLiteral("ComSetupDlg"));
    setWindowTitle(QStringLiteral("Comunication Setup Dialog"));
    setFixedSize(314, 212);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 297, 161);

    Label3 = label(this, "Label3", QStringLiteral("Port"), {16, 16});
    PortEdit = new QComboBox(this);
    PortEdit->setObjectName(QStringLiteral("PortEdit"));
    PortEdit->setEditable(false);
    PortEdit->setGeometry(16, 32, 145, 21);
    PortEdit->addItems({"LPT378", "LPT278", "COM1", "COM2", "COM3", "COM4"});
    PortEdit->setCurrentIndex(0);
    connect(PortEdit, &QComboBox::currentIndexChanged, this, [this] { PortEditChange(); });

    Label2 = label(this, "Label2", QStringLiteral("Device ID"), {16, 64});
    DevIDEdit = edit(this, "DevIDEdit", {16, 80, 121, 21});
    DevIDUpDown = new UpDown(DevIDEdit, 0, 127, this);
    DevIDUpDown->setObjectName(QStringLiteral("DevIDUpDown"));
    DevIDUpDown->setGeometry(137, 80, 16, 21);

    Label1 = label(this, "Label1", QStringLiteral("Run advance (sec)"), {16, 112});
    RunAdvEdit = edit(this, "RunAdvEdit", {16, 128, 121, 21});
    RunAdvUpDown = new UpDown(RunAdvEdit, 0, 3600, this);
    RunAdvUpDown->setObjectName(QStringLiteral("RunAdvUpDown"));
    RunAdvUpDown->setGeometry(137, 128, 16, 21);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(79, 180, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        if (FormCloseQuery())
            accept();
    });
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(159, 180, 75, 25);
    // Cancel, Escape and the close box all reject without any check.
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, PortEdit);
    setTabOrder(PortEdit, DevIDEdit);
    setTabOrder(DevIDEdit, DevIDUpDown);
    setTabOrder(DevIDUpDown, RunAdvEdit);
    setTabOrder(RunAdvEdit, RunAdvUpDown);
}

void TComSetupDlg::showConnection(int index) {
    while (PortEdit->count() > kListedPorts)
        PortEdit->removeItem(kListedPorts);
    if (index >= kListedPorts) {
        PortEdit->addItem(QStringLiteral("COM%1").arg(index - 1), index);
        PortEdit->setCurrentIndex(kListedPorts);
    } else {
        PortEdit->setCurrentIndex(index >= 0 ? index : -1);
    }
}

int TComSetupDlg::selectedConnection() const {
    const QVariant extra = PortEdit->currentData();
    return extra.isValid() ? extra.toInt() : PortEdit->currentIndex();
}

void TComSetupDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TComSetupDlg::FormShow() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    PortEditChange();
}

void TComSetupDlg::PortEditChange() {
    const bool serial = PortEdit->currentIndex() >= 2;
    DevIDUpDown->setEnabled(serial);
    DevIDEdit->setEnabled(serial);
}

bool TComSetupDlg::FormCloseQuery() {
    const std::optional<int> deviceId = parseWholeNumber(DevIDEdit->text());
    const std::optional<int> runAdvance = parseWholeNumber(RunAdvEdit->text());
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
