// The communication setup dialog driven through its widgets while it runs
// modally, and what OK applies to the main window.
#include "run/RunEngine.h"
#include "device/ConnectionDialog.h"
#include "device/UpDown.h"
#include "support/FakeComPort.h"
#include "support/MainWindowFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace cantrel;
using namespace cantrel::test;

namespace {

struct Setup : MainWindowFixture {
    ConnectionDialog* dlg = nullptr;
    Setup() {
        if (!start())
            qFatal("start-up failed");
        dlg = form->connectionDialog;
    }

    // Runs the dialog; `act` works on it while it is open. If the dialog is
    // still open afterwards it is cancelled. Returns runConnectionDialog's result.
    int run(const std::function<void()>& act) {
        QTimer::singleShot(0, dlg, [this, act] {
            act();
            if (dlg->isVisible())
                QTest::mouseClick(dlg->cancelButton, Qt::LeftButton);
        });
        return form->runConnectionDialog();
    }

    void typeInto(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
};

} // namespace

class TestSetupDialog : public QObject {
    Q_OBJECT
private slots:
    void layoutAndTabOrder();
    void fieldsFollowThePort();
    void checksOnOk_data();
    void checksOnOk();
    void okAppliesDeviceIdBeforeConnection();
    void failedConnectionStillStoresNumbers();
    void cancelAndEscapeChangeNothing();
    void upDownsStepWithinTheirRange();
    void portBeyondCom4KeepsItsOwnEntry();
    void comEntryShowsItsDevice();
};

void TestSetupDialog::layoutAndTabOrder() {
    Setup s;
    ConnectionDialog& d = *s.dlg;
    QCOMPARE(d.windowTitle(), QStringLiteral("Comunication Setup Dialog"));
    QCOMPARE(d.size(), QSize(314, 212));
    QStringList items;
    for (int i = 0; i < d.portList->count(); ++i)
        items << d.portList->itemText(i);
    QCOMPARE(items, (QStringList{"LPT378", "LPT278", "COM1", "COM2", "COM3", "COM4"}));
    QVERIFY(!d.portList->isEditable());
    QCOMPARE(d.portLabel->text(), QStringLiteral("Port"));
    QCOMPARE(d.deviceIdLabel->text(), QStringLiteral("Device ID"));
    QCOMPARE(d.runAdvanceLabel->text(), QStringLiteral("Run advance (sec)"));
    QCOMPARE(d.portList->geometry(), QRect(16, 32, 145, 21));
    QCOMPARE(d.deviceIdEdit->geometry(), QRect(16, 80, 121, 21));
    QCOMPARE(d.deviceIdUpDown->geometry(), QRect(137, 80, 16, 21));
    QCOMPARE(d.runAdvanceEdit->geometry(), QRect(16, 128, 121, 21));
    QCOMPARE(d.runAdvanceUpDown->geometry(), QRect(137, 128, 16, 21));
    QCOMPARE(d.okButton->geometry(), QRect(79, 180, 75, 25));
    QCOMPARE(d.cancelButton->geometry(), QRect(159, 180, 75, 25));
    QCOMPARE(d.okButton->text(), QStringLiteral("OK"));
    QCOMPARE(d.cancelButton->text(), QStringLiteral("Cancel"));
    QVERIFY(d.okButton->isDefault());

    QList<QWidget*> order;
    QWidget* w = d.okButton;
    for (int i = 0; i < 7; ++i) {
        order << w;
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
    }
    QCOMPARE(order, (QList<QWidget*>{d.okButton, d.cancelButton, d.portList, d.deviceIdEdit,
                                      d.deviceIdUpDown, d.runAdvanceEdit, d.runAdvanceUpDown}));
}

void TestSetupDialog::fieldsFollowThePort() {
    Setup s;
    s.form->device().deviceId = 9;
    s.form->runEngine()->setRunAdvance(15);
    s.run([&] {
        ConnectionDialog& d = *s.dlg;
        QCOMPARE(d.portList->currentIndex(), 0);
        QCOMPARE(d.deviceIdEdit->text(), QStringLiteral("9"));
        QCOMPARE(d.runAdvanceEdit->text(), QStringLiteral("15"));
        QVERIFY(!d.deviceIdEdit->isEnabled() && !d.deviceIdUpDown->isEnabled());
        d.portList->setCurrentIndex(3);
        QVERIFY(d.deviceIdEdit->isEnabled() && d.deviceIdUpDown->isEnabled());
        d.portList->setCurrentIndex(1);
        QVERIFY(!d.deviceIdEdit->isEnabled());
    });
}

void TestSetupDialog::checksOnOk_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("deviceId");
    QTest::addColumn<QString>("runAdvance");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("12a") << 2 << "12a" << "5000" << QStringList{"Incorrect number"};
    QTest::newRow("empty") << 2 << "" << "0" << QStringList{"Incorrect number"};
    QTest::newRow("3600") << 2 << "0" << "3600" << QStringList{"Incorrect run advance"};
    QTest::newRow("both wrong") << 2 << "128" << "-1"
                                << QStringList{"Incorrect run advance", "Incorrect device ID"};
    QTest::newRow("200 with LPT278") << 1 << "200" << "0" << QStringList{"Incorrect device ID"};
    QTest::newRow("3599 and 127") << 0 << "127" << "3599" << QStringList{};
    QTest::newRow("zeros") << 0 << "0" << "0" << QStringList{};
}

void TestSetupDialog::checksOnOk() {
    QFETCH(int, port);
    QFETCH(QString, deviceId);
    QFETCH(QString, runAdvance);
    QFETCH(QStringList, messages);
    Setup s;
    bool closedByOk = false;
    const int result = s.run([&] {
        ConnectionDialog& d = *s.dlg;
        d.portList->setCurrentIndex(port);
        d.deviceIdEdit->setText(deviceId);
        s.typeInto(d.runAdvanceEdit, runAdvance);
        QTest::keyClick(d.runAdvanceEdit, Qt::Key_Return);
        closedByOk = !d.isVisible();
    });
    QCOMPARE(s.prompter.takeTexts(), messages);
    QCOMPARE(closedByOk, messages.isEmpty());
    QCOMPARE(result, messages.isEmpty() ? port : -1);
    if (messages.isEmpty()) {
        QCOMPARE(s.form->runEngine()->runAdvance(), runAdvance.toInt());
        QCOMPARE(s.form->device().deviceId, deviceId.toInt());
    }
}

void TestSetupDialog::okAppliesDeviceIdBeforeConnection() {
    FakeComPort com2(2);
    Setup s;
    s.run([&] {
        s.dlg->portList->setCurrentIndex(3);
        s.typeInto(s.dlg->deviceIdEdit, "77");
        QTest::mouseClick(s.dlg->okButton, Qt::LeftButton);
    });
    QCOMPARE(s.form->connectionPanel->text(), QStringLiteral("Connection: COM2   Device ID: 77"));
    QCOMPARE(s.form->device().connectionIndex(), 3);
}

void TestSetupDialog::failedConnectionStillStoresNumbers() {
    Setup s;
    s.form->device().setConnection(1);
    s.run([&] {
        s.dlg->portList->setCurrentIndex(4); // COM3, which is not there
        s.typeInto(s.dlg->deviceIdEdit, "12");
        s.typeInto(s.dlg->runAdvanceEdit, "30");
        QTest::mouseClick(s.dlg->okButton, Qt::LeftButton);
    });
    QCOMPARE(s.prompter.takeTexts(), QStringList{"Can't open port"});
    QCOMPARE(s.form->connectionPanel->text(), QStringLiteral("Connection: LPT278 (no port)"));
    QCOMPARE(s.form->device().connectionIndex(), 1);
    QCOMPARE(s.form->device().askedConnection(), 4); // what the settings keep
    QCOMPARE(s.form->device().deviceId, 12);
    QCOMPARE(s.form->runEngine()->runAdvance(), 30);
}

void TestSetupDialog::cancelAndEscapeChangeNothing() {
    Setup s;
    for (bool escape : {false, true}) {
        const int result = s.run([&] {
            s.dlg->portList->setCurrentIndex(1);
            s.typeInto(s.dlg->deviceIdEdit, "999");
            s.typeInto(s.dlg->runAdvanceEdit, "x");
            if (escape)
                QTest::keyClick(s.dlg, Qt::Key_Escape);
            else
                QTest::mouseClick(s.dlg->cancelButton, Qt::LeftButton);
        });
        QCOMPARE(result, -1);
        QVERIFY(s.prompter.takeShown().isEmpty());
        QCOMPARE(s.form->connectionPanel->text(), QStringLiteral("Connection: None"));
    }
    // Reopening shows the stored values again.
    s.run([&] {
        QCOMPARE(s.dlg->deviceIdEdit->text(), QStringLiteral("0"));
        QCOMPARE(s.dlg->runAdvanceEdit->text(), QStringLiteral("0"));
        QCOMPARE(s.dlg->portList->currentIndex(), 0);
    });
}

void TestSetupDialog::upDownsStepWithinTheirRange() {
    Setup s;
    s.form->runEngine()->setRunAdvance(3599);
    const int result = s.run([&] {
        ConnectionDialog& d = *s.dlg;
        auto arrows = d.runAdvanceUpDown->findChildren<QToolButton*>();
        QCOMPARE(arrows.size(), 2);
        QToolButton* up = arrows[0]->arrowType() == Qt::UpArrow ? arrows[0] : arrows[1];
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(d.runAdvanceEdit->text(), QStringLiteral("3600"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(d.runAdvanceEdit->text(), QStringLiteral("3600"));
        QTest::mouseClick(d.okButton, Qt::LeftButton);
        QCOMPARE(s.prompter.takeTexts(), QStringList{"Incorrect run advance"});
        QTest::keyClick(d.runAdvanceEdit, Qt::Key_Down);
        QCOMPARE(d.runAdvanceEdit->text(), QStringLiteral("3599"));

        d.portList->setCurrentIndex(2);
        d.deviceIdEdit->setText(QStringLiteral("0"));
        QTest::keyClick(d.deviceIdEdit, Qt::Key_Down);
        QCOMPARE(d.deviceIdEdit->text(), QStringLiteral("0"));
        d.deviceIdEdit->setText(QStringLiteral("126"));
        QTest::keyClick(d.deviceIdEdit, Qt::Key_Up);
        QTest::keyClick(d.deviceIdEdit, Qt::Key_Up);
        QCOMPARE(d.deviceIdEdit->text(), QStringLiteral("127"));
        d.portList->setCurrentIndex(0);
        QTest::mouseClick(d.okButton, Qt::LeftButton);
    });
    QCOMPARE(result, 0);
    QCOMPARE(s.form->runEngine()->runAdvance(), 3599);
    QCOMPARE(s.form->device().deviceId, 127);
}

void TestSetupDialog::portBeyondCom4KeepsItsOwnEntry() {
    FakeComPort com7(7);
    Setup s;
    s.form->device().setConnection(8);
    QCOMPARE(s.form->connectionPanel->text(), QStringLiteral("Connection: COM7   Device ID: 0"));
    const int result = s.run([&] {
        QCOMPARE(s.dlg->portList->currentText(), QStringLiteral("COM7"));
        QVERIFY(s.dlg->deviceIdEdit->isEnabled());
        QTest::mouseClick(s.dlg->okButton, Qt::LeftButton);
    });
    QCOMPARE(result, 8);
    QCOMPARE(s.form->device().connectionIndex(), 8);
    // Choosing a listed port drops the extra entry at the next opening.
    s.run([&] {
        s.dlg->portList->setCurrentIndex(0);
        QTest::mouseClick(s.dlg->okButton, Qt::LeftButton);
    });
    s.run([&] { QCOMPARE(s.dlg->portList->count(), 6); });
}

// The selected COM entry's device and whether the system has it; the
// environment names the devices here, as a ports file or a USB adapter would.
void TestSetupDialog::comEntryShowsItsDevice() {
    Setup s;
    s.write("ttyUSB9", "");
    qputenv("CANTREL_COM1", s.path("ttyUSB9").toLocal8Bit());
    qputenv("CANTREL_COM2", "/nonexistent/ttyUSB0");
    qputenv("CANTREL_COM7", "/nonexistent/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    s.run([&] {
        s.dlg->showConnection(8);
        QLabel* label = s.dlg->portDeviceLabel;
        // A long name gives way in its middle and stays whole in the tooltip.
        const QString byId =
            QStringLiteral("/nonexistent/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        QCOMPARE(label->toolTip(), byId);
        const QStringList lines = label->text().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("/non") && lines[0].endsWith("port0") &&
                     lines[0].contains(QChar(0x2026)),
                 qPrintable(lines[0]));
        QVERIFY(label->fontMetrics().horizontalAdvance(lines[0]) <= label->width());
        QCOMPARE(lines[1], QStringLiteral("absent"));
        s.dlg->portList->setCurrentIndex(2);
        QCOMPARE(label->toolTip(), s.path("ttyUSB9"));
        QCOMPARE(label->text().section(u'\n', 1), QStringLiteral("present"));
        s.dlg->portList->setCurrentIndex(3);
        QCOMPARE(label->text(), QStringLiteral("/nonexistent/ttyUSB0\nabsent"));
        s.dlg->portList->setCurrentIndex(0);
        QCOMPARE(label->text(), QString());
    });
    for (const char* name : {"CANTREL_COM1", "CANTREL_COM2", "CANTREL_COM7"})
        qunsetenv(name);
}

QTEST_MAIN(TestSetupDialog)
#include "test_setup_dialog.moc"
