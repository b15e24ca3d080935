#include "schedule/TimeOfDay.h"

#include <QTest>

#include <optional>

using namespace cantrel;

using OptionalInt = std::optional<int>;

class TestTimeOfDay : public QObject {
    Q_OBJECT

  private slots:
    void parses_data();
    void parses();
};

void TestTimeOfDay::parses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionalInt>("seconds");
    QTest::newRow("midnight") << "00:00:00" << OptionalInt(0);
    QTest::newRow("last second") << "23:59:59" << OptionalInt(86399);
    QTest::newRow("hours only") << "7" << OptionalInt(7 * 3600);
    QTest::newRow("hours and minutes") << "10:00" << OptionalInt(36000);
    QTest::newRow("one digit parts") << "9:5" << OptionalInt(9 * 3600 + 5 * 60);
    QTest::newRow("one digit seconds") << "1:2:3" << OptionalInt(3723);
    QTest::newRow("blanks around") << " \t12:30:15\r\n " << OptionalInt(45015);
    QTest::newRow("NUL around") << QString::fromUtf16(u"\0"
                                                      "1:00\0",
                                                      6)
                                << OptionalInt(3600);
    QTest::newRow("empty") << "" << OptionalInt();
    QTest::newRow("blanks only") << "   " << OptionalInt();
    QTest::newRow("hour 24") << "24:00" << OptionalInt();
    QTest::newRow("minute 60") << "12:60" << OptionalInt();
    QTest::newRow("second 60") << "12:00:60" << OptionalInt();
    QTest::newRow("four parts") << "12:00:00:00" << OptionalInt();
    QTest::newRow("letter") << "1a:00" << OptionalInt();
    QTest::newRow("trailing colon") << "12:" << OptionalInt();
    QTest::newRow("leading colon") << ":30" << OptionalInt();
    QTest::newRow("empty middle part") << "12::00" << OptionalInt();
    QTest::newRow("leading zeros in hours") << "007:30:00" << OptionalInt(7 * 3600 + 30 * 60);
    QTest::newRow("leading zeros everywhere") << "0000023:0059:00000059" << OptionalInt(86399);
    QTest::newRow("three digit seconds") << "12:00:001" << OptionalInt(43201);
    QTest::newRow("three digit hour") << "123:00" << OptionalInt();
    QTest::newRow("zeros then too large") << "00024:00" << OptionalInt();
    QTest::newRow("minute 100") << "12:100" << OptionalInt();
    QTest::newRow("long number") << "99999999999999999999" << OptionalInt();
    QTest::newRow("sign") << "+1:00" << OptionalInt();
    QTest::newRow("blank inside") << "12 :00" << OptionalInt();
    QTest::newRow("dot separator") << "12.30" << OptionalInt();
    QTest::newRow("full-width digit") << QString::fromUtf16(u"\uFF11:00") << OptionalInt();
}

void TestTimeOfDay::parses() {
    QFETCH(QString, text);
    QFETCH(OptionalInt, seconds);
    QCOMPARE(parseTimeOfDay(text), seconds);
}

QTEST_GUILESS_MAIN(TestTimeOfDay)
#include "test_time_of_day.moc"
