// The radio bank by itself, on a panel of its own: its buttons, which of them
// are enabled, and the difference between a click and a selection shown.
#include "device/RadioBank.h"

#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace cantrel;

class TestRadioBank : public QObject {
    Q_OBJECT
  private slots:
    void buttonsAndLabels();
    void clicksAndSelections();
};

void TestRadioBank::buttonsAndLabels() {
    QWidget panel;
    RadioBank bank(&panel);
    bank.create(16);
    for (int n = 1; n <= 16; ++n) {
        QRadioButton* radio = panel.findChild<QRadioButton*>(QStringLiteral("Radio%1").arg(n));
        QVERIFY(radio);
        QCOMPARE(bank.button(n), radio);
        QCOMPARE(radio->geometry().topLeft(), QPoint(8 + 24 * (n - 1), 40));
        QCOMPARE(radio->width(), 16);
        QVERIFY(radio->isEnabled());
        QVERIFY(!radio->isChecked());
    }
    QStringList labels;
    for (const QLabel* label : panel.findChildren<QLabel*>())
        labels << QStringLiteral("%1@%2").arg(label->text()).arg(label->x());
    QCOMPARE(labels.size(), 16);
    QVERIFY(labels.contains("1@11"));
    QVERIFY(labels.contains("8@179"));
    QVERIFY(labels.contains("9@200"));
    QVERIFY(labels.contains("16@368"));

    bank.enable(4);
    for (int n = 1; n <= 16; ++n)
        QCOMPARE(bank.button(n)->isEnabled(), n <= 4);
    bank.enable(16);
    QVERIFY(bank.button(16)->isEnabled());
}

void TestRadioBank::clicksAndSelections() {
    QWidget panel;
    RadioBank bank(&panel);
    bank.create(16);
    QSignalSpy clicked(&bank, &RadioBank::clicked);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));

    // The operator's click on a button that was not selected fires it; on
    // the selected one, nothing.
    QTest::mouseClick(bank.button(3), Qt::LeftButton);
    QTest::mouseClick(bank.button(3), Qt::LeftButton);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.takeFirst().value(0).toInt(), 3);

    // A selection the device reports is shown, never clicked.
    bank.show(12);
    QVERIFY(bank.button(12)->isChecked());
    QVERIFY(!bank.button(3)->isChecked());
    bank.show(0);
    bank.show(17);
    QVERIFY(bank.button(12)->isChecked());
    QCOMPARE(clicked.size(), 0);

    // A button laid out elsewhere joins the group with its own tag.
    auto* hidden = new QRadioButton(&panel);
    hidden->setProperty("tag", 0);
    bank.adopt(hidden);
    hidden->setChecked(true);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.takeFirst().value(0).toInt(), 0);
}

QTEST_MAIN(TestRadioBank)
#include "test_radio_bank.moc"
