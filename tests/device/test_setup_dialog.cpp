// The communication setup dialog driven through its widgets while it runs
// modally, and what OK applies to the main window.
#include "run/RunEngine.h"
#include "device/TComSetupDlg.h"
#include "device/UpDown.h"
#include "support/FakeComPort.h"
#include "support/MainFormFixture.h"

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

struct Setup : MainFormFixture {
    TComSetupDlg* dlg = nullptr;
    Setup() {
        if (!start())
            qFatal("start-up failed");
        dlg = form->ComSetupDlg;
    }

    // Runs the dialog; `act` works on it while it is open. If the dialog is
    // still open afterwards it is cancelled. Returns ExecuteComSetup's result.
    int run(const std::function<void()>& act) {
        QTimer::singleShot(0, dlg, [this, act] {
            act();
            if (dlg->isVisible())
                QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton);
        });
        return form->ExecuteComSetup();
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
};

void TestSetupDialog::layoutAndTabOrder() {
    Setup s;
    TComSetupDlg& d = *s.dlg;
    QCOMPARE(d.windowTitle(), QStringLiteral("Comunication Setup Dialog"));
    QCOMPARE(d.size(), QSize(314, 212));
    QStringList items;
    for (int i = 0; i < d.PortEdit->count(); ++i)
        items << d.PortEdit->itemText(i);
    QCOMPARE(items, (QStringList{"LPT378", "LPT278", "COM1", "COM2", "COM3", "COM4"}));
    QVERIFY(!d.PortEdit->isEditable());
    QCOMPARE(d.Label3->text(), QStringLiteral("Port"));
    QCOMPARE(d.Label2->text(), QStringLiteral("Device ID"));
    QCOMPARE(d.Label1->text(), QStringLiteral("Run advance (sec)"));
    QCOMPARE(d.PortEdit->geometry(), QRect(16, 32, 145, 21));
    QCOMPARE(d.DevIDEdit->geometry(), QRect(16, 80, 121, 21));
    QCOMPARE(d.DevIDUpDown->geometry(), QRect(137, 80, 16, 21));
    QCOMPARE(d.RunAdvEdit->geometry(), QRect(16, 128, 121, 21));
    QCOMPARE(d.RunAdvUpDown->geometry(), QRect(137, 128, 16, 21));
    QCOMPARE(d.OKBtn->geometry(), QRect(79, 180, 75, 25));
    QCOMPARE(d.CancelBtn->geometry(), QRect(159, 180, 75, 25));
    QCOMPARE(d.OKBtn->text(), QStringLiteral("OK"));
    QCOMPARE(d.CancelBtn->text(), QStringLiteral("Cancel"));
    QVERIFY(d.OKBtn->isDefault());

    QList<QWidget*> order;
    QWidget* w = d.OKBtn;
    for (int i = 0; i < 7; ++i) {
        order << w;
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
    }
    QCOMPARE(order, (QList<QWidget*>{d.OKBtn, d.CancelBtn, d.PortEdit, d.DevIDEdit,
                                      d.DevIDUpDown, d.RunAdvEdit, d.RunAdvUpDown}));
}

void TestSetupDialog::fieldsFollowThePort() {
    Setup s;
    s.form->device().DeviceID = 9;
    s.form->runEngine()->setRunAdvance(15);
    s.run([&] {
        TComSetupDlg& d = *s.dlg;
        QCOMPARE(d.PortEdit->currentIndex(), 0);
        QCOMPARE(d.DevIDEdit->text(), QStringLiteral("9"));
        QCOMPARE(d.RunAdvEdit->text(), QStringLiteral("15"));
        QVERIFY(!d.DevIDEdit->isEnabled() && !d.DevIDUpDown->isEnabled());
        d.PortEdit->setCurrentIndex(3);
        QVERIFY(d.DevIDEdit->isEnabled() && d.DevIDUpDown->isEnabled());
        d.PortEdit->setCurrentIndex(1);
        QVERIFY(!d.DevIDEdit->isEnabled());
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
        TComSetupDlg& d = *s.dlg;
        d.PortEdit->setCurrentIndex(port);
        d.DevIDEdit->setText(deviceId);
        s.typeInto(d.RunAdvEdit, runAdvance);
        QTest::keyClick(d.RunAdvEdit, Qt::Key_Return);
        closedByOk = !d.isVisible();
    });
    QCOMPARE(s.prompter.takeTexts(), messages);
    QCOMPARE(closedByOk, messages.isEmpty());
    QCOMPARE(result, messages.isEmpty() ? port : -1);
    if (messages.isEmpty()) {
        QCOMPARE(s.form->runEngine()->runAdvance(), runAdvance.toInt());
        QCOMPARE(s.form->device().DeviceID, deviceId.toInt());
    }
}

void TestSetupDialog::okAppliesDeviceIdBeforeConnection() {
    FakeComPort com2(2);
    Setup s;
    s.run([&] {
        s.dlg->PortEdit->setCurrentIndex(3);
        s.typeInto(s.dlg->DevIDEdit, "77");
        QTest::mouseClick(s.dlg->OKBtn, Qt::LeftButton);
    });
    QCOMPARE(s.form->ConnectionPanel->text(), QStringLiteral("Connection: COM2   Device ID: 77"));
    QCOMPARE(s.form->device().ConnectionIndex(), 3);
}

void TestSetupDialog::failedConnectionStillStoresNumbers() {
    Setup s;
    s.form->device().SetConnection(1);
    s.run([&] {
        s.dlg->PortEdit->setCurrentIndex(4); // COM3, which is not there
        s.typeInto(s.dlg->DevIDEdit, "12");
        s.typeInto(s.dlg->RunAdvEdit, "30");
        QTest::mouseClick(s.dlg->OKBtn, Qt::LeftButton);
    });
    QCOMPARE(s.prompter.takeTexts(), QStringList{"Can't open port"});
    QCOMPARE(s.form->ConnectionPanel->text(), QStringLiteral("Connection: LPT278"));
    QCOMPARE(s.form->device().ConnectionIndex(), 1);
    QCOMPARE(s.form->device().DeviceID, 12);
    QCOMPARE(s.form->runEngine()->runAdvance(), 30);
}

void TestSetupDialog::cancelAndEscapeChangeNothing() {
    Setup s;
    for (bool escape : {false, true}) {
        const int result = s.run([&] {
            s.dlg->PortEdit->setCurrentIndex(1);
            s.typeInto(s.dlg->DevIDEdit, "999");
            s.typeInto(s.dlg->RunAdvEdit, "x");
            if (escape)
                QTest::keyClick(s.dlg, Qt::Key_Escape);
            else
                QTest::mouseClick(s.dlg->CancelBtn, Qt::LeftButton);
        });
        QCOMPARE(result, -1);
        QVERIFY(s.prompter.takeShown().isEmpty());
        QCOMPARE(s.form->ConnectionPanel->text(), QStringLiteral("Connection: None"));
    }
    // Reopening shows the stored values again.
    s.run([&] {
        QCOMPARE(s.dlg->DevIDEdit->text(), QStringLiteral("0"));
        QCOMPARE(s.dlg->RunAdvEdit->text(), QStringLiteral("0"));
        QCOMPARE(s.dlg->PortEdit->currentIndex(), 0);
    });
}

void TestSetupDialog::upDownsStepWithinTheirRange() {
    Setup s;
    s.form->runEngine()->setRunAdvance(3599);
    const int result = s.run([&] {
        TComSetupDlg& d = *s.dlg;
        auto arrows = d.RunAdvUpDown->findChildren<QToolButton*>();
        QCOMPARE(arrows.size(), 2);
        QToolButton* up = arrows[0]->arrowType() == Qt::UpArrow ? arrows[0] : arrows[1];
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(d.RunAdvEdit->text(), QStringLiteral("3600"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(d.RunAdvEdit->text(), QStringLiteral("3600"));
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        QCOMPARE(s.prompter.takeTexts(), QStringList{"Incorrect run advance"});
        QTest::keyClick(d.RunAdvEdit, Qt::Key_Down);
        QCOMPARE(d.RunAdvEdit->text(), QStringLiteral("3599"));

        d.PortEdit->setCurrentIndex(2);
        d.DevIDEdit->setText(QStringLiteral("0"));
        QTest::keyClick(d.DevIDEdit, Qt::Key_Down);
        QCOMPARE(d.DevIDEdit->text(), QStringLiteral("0"));
        d.DevIDEdit->setText(QStringLiteral("126"));
        QTest::keyClick(d.DevIDEdit, Qt::Key_Up);
        QTest::keyClick(d.DevIDEdit, Qt::Key_Up);
        QCOMPARE(d.DevIDEdit->text(), QStringLiteral("127"));
        d.PortEdit->setCurrentIndex(0);
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
    });
    QCOMPARE(result, 0);
    QCOMPARE(s.form->runEngine()->runAdvance(), 3599);
    QCOMPARE(s.form->device().DeviceID, 127);
}

void TestSetupDialog::portBeyondCom4KeepsItsOwnEntry() {
    FakeComPort com7(7);
    Setup s;
    s.form->device().SetConnection(8);
    QCOMPARE(s.form->ConnectionPanel->text(), QStringLiteral("Connection: COM7   Device ID: 0"));
    const int result = s.run([&] {
        QCOMPARE(s.dlg->PortEdit->currentText(), QStringLiteral("COM7"));
        QVERIFY(s.dlg->DevIDEdit->isEnabled());
        QTest::mouseClick(s.dlg->OKBtn, Qt::LeftButton);
    });
    QCOMPARE(result, 8);
    QCOMPARE(s.form->device().ConnectionIndex(), 8);
    // Choosing a listed port drops the extra entry at the next opening.
    s.run([&] {
        s.dlg->PortEdit->setCurrentIndex(0);
        QTest::mouseClick(s.dlg->OKBtn, Qt::LeftButton);
    });
    s.run([&] { QCOMPARE(s.dlg->PortEdit->count(), 6); });
}

QTEST_MAIN(TestSetupDialog)
#include "test_setup_dialog.moc"
