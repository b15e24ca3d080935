#include "schedule/MonthCalendarFile.h"

#include <QTest>

#include <optional>

using namespace cantrel;

using Pairs = QList<QPair<QString, QString>>;
using OptionalInt = std::optional<int>;

namespace {

Pairs pairsOf(const QList<MonthLine>& lines) {
    Pairs pairs;
    for (const MonthLine& line : lines)
        pairs.append({line.dayText, line.path});
    return pairs;
}

} // namespace

class TestMonthCalendarFile : public QObject {
    Q_OBJECT

  private slots:
    void newCalendarBytes();
    void writesPathsUnchanged();
    void readsLines_data();
    void readsLines();
    void pathsSurviveWriteAndRead();
    void parsesWholeNumbers_data();
    void parsesWholeNumbers();
};

void TestMonthCalendarFile::newCalendarBytes() {
    const QByteArray expected("1 \r\n2 \r\n3 \r\n4 \r\n5 \r\n6 \r\n7 \r\n8 \r\n9 \r\n10 \r\n"
                              "11 \r\n12 \r\n13 \r\n14 \r\n15 \r\n16 \r\n17 \r\n18 \r\n19 \r\n"
                              "20 \r\n21 \r\n22 \r\n23 \r\n24 \r\n25 \r\n26 \r\n27 \r\n28 \r\n"
                              "29 \r\n30 \r\n31 \r\n");
    QCOMPARE(writeMonthCalendar(QStringList(31)), expected);
    QCOMPARE(writeMonthCalendar({}), expected);
}

void TestMonthCalendarFile::writesPathsUnchanged() {
    QStringList paths(31);
    paths[0] = "/home/op/My Schedules/mon.24h";
    paths[1] = " lead";
    paths[30] = QString::fromUtf16(u"/s/caf\u00E9\xDCE9.24h");
    const QByteArray bytes = writeMonthCalendar(paths);
    QVERIFY(bytes.startsWith("1 /home/op/My Schedules/mon.24h\r\n2  lead\r\n3 \r\n"));
    QVERIFY(bytes.endsWith("\r\n30 \r\n31 /s/caf\xC3\xA9\xE9.24h\r\n"));
}

void TestMonthCalendarFile::readsLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Pairs>("pairs");
    QTest::newRow("empty file") << QByteArray() << Pairs{};
    QTest::newRow("path with spaces")
        << QByteArray("1 /My Schedules/a b.24h\r\n") << Pairs{{"1", "/My Schedules/a b.24h"}};
    QTest::newRow("several blanks dropped")
        << QByteArray("2   \t /x.24h \r\n") << Pairs{{"2", "/x.24h"}};
    QTest::newRow("number only, with or without its space")
        << QByteArray("3 \r\n4\r\n") << Pairs{{"3", ""}, {"4", ""}};
    QTest::newRow("tab does not split") << QByteArray("5\t/x.24h\r\n") << Pairs{{"5\t/x.24h", ""}};
    QTest::newRow("first space splits, later ones stay")
        << QByteArray("6 a  b c\r\n") << Pairs{{"6", "a  b c"}};
    QTest::newRow("reverse order kept as written")
        << QByteArray("31 /c\r\n2 /b\r\n1 /a\r\n") << Pairs{{"31", "/c"}, {"2", "/b"}, {"1", "/a"}};
    QTest::newRow("blank line stops, empty lines do not")
        << QByteArray("1 /a\n\n2 /b\r\n \r\n3 /c\r\n") << Pairs{{"1", "/a"}, {"2", "/b"}};
    QTest::newRow("text day is not checked here") << QByteArray("x /a\r\n") << Pairs{{"x", "/a"}};
    QTest::newRow("foreign byte") << QByteArray("7 /\xE9.24h")
                                  << Pairs{{"7", QString::fromUtf16(u"/\xDCE9.24h")}};
}

void TestMonthCalendarFile::readsLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(Pairs, pairs);
    QCOMPARE(pairsOf(readMonthLines(bytes)), pairs);
}

void TestMonthCalendarFile::pathsSurviveWriteAndRead() {
    QStringList paths(31);
    paths[0] = "/My Schedules/a b.24h";
    paths[9] = QString::fromUtf16(u"/\xDCFF\u00E9 x.24h");
    paths[30] = "C:\\day,1.24h";
    const QList<MonthLine> lines = readMonthLines(writeMonthCalendar(paths));
    QCOMPARE(lines.size(), 31);
    for (int day = 1; day <= 31; ++day) {
        QCOMPARE(lines[day - 1].dayText, QString::number(day));
        QCOMPARE(lines[day - 1].path, paths[day - 1]);
    }
}

void TestMonthCalendarFile::parsesWholeNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionalInt>("value");
    QTest::newRow("0") << "0" << OptionalInt(0);
    QTest::newRow("31") << "31" << OptionalInt(31);
    QTest::newRow("leading zeros") << "007" << OptionalInt(7);
    QTest::newRow("plus") << "+7" << OptionalInt(7);
    QTest::newRow("minus") << "-5" << OptionalInt(-5);
    QTest::newRow("largest") << "2147483647" << OptionalInt(2147483647);
    QTest::newRow("lowest") << "-2147483648" << OptionalInt(-2147483647 - 1);
    QTest::newRow("one past largest") << "2147483648" << OptionalInt();
    QTest::newRow("one past lowest") << "-2147483649" << OptionalInt();
    QTest::newRow("huge") << "99999999999999999999999" << OptionalInt();
    QTest::newRow("empty") << "" << OptionalInt();
    QTest::newRow("sign only") << "-" << OptionalInt();
    QTest::newRow("two signs") << "+-1" << OptionalInt();
    QTest::newRow("leading blank") << " 1" << OptionalInt();
    QTest::newRow("trailing blank") << "1 " << OptionalInt();
    QTest::newRow("tab inside") << "5\t/x.24h" << OptionalInt();
    QTest::newRow("letters after") << "1a" << OptionalInt();
    QTest::newRow("hex") << "0x10" << OptionalInt();
    QTest::newRow("dollar hex") << "$10" << OptionalInt();
    QTest::newRow("decimal point") << "1.0" << OptionalInt();
    QTest::newRow("full-width digit") << QString::fromUtf16(u"\uFF11") << OptionalInt();
}

void TestMonthCalendarFile::parsesWholeNumbers() {
    QFETCH(QString, text);
    QFETCH(OptionalInt, value);
    QCOMPARE(parseWholeNumber(text), value);
}

QTEST_GUILESS_MAIN(TestMonthCalendarFile)
#include "test_month_calendar_file.moc"
