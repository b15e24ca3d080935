#include "schedule/DayScheduleFile.h"

#include <QRandomGenerator>
#include <QTest>

using namespace cantrel;

using Rows = QList<QStringList>;

namespace {

// A row as the grid holds it: the empty mark, then the four fields.
QStringList row(const QString& time, const QString& output = {}, const QString& comment = {},
                const QString& media = {}) {
    return {QString(), time, output, comment, media};
}

// Literal bytes that may hold NUL.
template <std::size_t N> QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

} // namespace

class TestDayScheduleFile : public QObject {
    Q_OBJECT

  private slots:
    void writes_data();
    void writes();
    void reads_data();
    void reads();
    void cellsSurviveWriteAndRead_data();
    void cellsSurviveWriteAndRead();
    void foreignBytesSurviveReadAndWrite();
    void hugeInputs();
    void randomBytesReadStably();
};

void TestDayScheduleFile::writes_data() {
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("new untouched row") << Rows{row({})} << QByteArray(",,,\r\n");
    QTest::newRow("plain fields") << Rows{row("12:00:00", "3", "Intro", "/m/a.mp3")}
                                  << QByteArray("12:00:00,3,Intro,/m/a.mp3\r\n");
    QTest::newRow("mark is never written")
        << Rows{{"+", "08:00:00", "1", "", ""}} << QByteArray("08:00:00,1,,\r\n");
    QTest::newRow("comma") << Rows{row("1", "", "a,b")} << QByteArray("1,,\"a,b\",\r\n");
    QTest::newRow("space") << Rows{row("1", "", "", "/My Music/x.mp3")}
                           << QByteArray("1,,,\"/My Music/x.mp3\"\r\n");
    QTest::newRow("quote") << Rows{row("", "", "say \"hi\"")}
                           << QByteArray(",,\"say \"\"hi\"\"\",\r\n");
    QTest::newRow("tab") << Rows{row("", "", "a\tb")} << QByteArray(",,\"a\tb\",\r\n");
    QTest::newRow("code 1") << Rows{row("", "", "a\x01")} << QByteArray(",,\"a\x01\",\r\n");
    QTest::newRow("blanks at the ends")
        << Rows{row(" 10:00 ", "", "x ")} << QByteArray("\" 10:00 \",,\"x \",\r\n");
    QTest::newRow("NUL alone is no reason to quote")
        << Rows{row("", "", QString::fromUtf16(u"a\0b", 3))} << raw(",,a\0b,\r\n");
    QTest::newRow("utf-8 and a foreign byte")
        << Rows{row("", "", QString::fromUtf16(u"caf\u00E9"), QString::fromUtf16(u"\xDCE9"))}
        << QByteArray(",,caf\xC3\xA9,\xE9\r\n");
    QTest::newRow("utf-8 with a quote and a space")
        << Rows{row("", "", QString::fromUtf16(u"\u00E9 \"x"))}
        << QByteArray(",,\"\xC3\xA9 \"\"x\",\r\n");
    QTest::newRow("two rows, missing cells empty")
        << Rows{row("1", "2"), {QString(), "3"}} << QByteArray("1,2,,\r\n3,,,\r\n");
}

void TestDayScheduleFile::writes() {
    QFETCH(Rows, rows);
    QFETCH(QByteArray, bytes);
    QCOMPARE(writeDayRows(rows), bytes);
}

void TestDayScheduleFile::reads_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Rows>("rows");
    const Rows ab{row("a", "1"), row("b", "2")};

    QTest::newRow("empty file") << QByteArray() << Rows{};
    QTest::newRow("only blank lines") << QByteArray("\r\n\r\n  \t\r\n\r\n") << Rows{};
    QTest::newRow("three commas") << QByteArray(",,,\r\n") << Rows{row({})};
    QTest::newRow("plain") << QByteArray("12:00:00,3,Intro,/m/a.mp3\r\n")
                           << Rows{row("12:00:00", "3", "Intro", "/m/a.mp3")};
    QTest::newRow("numbers as written")
        << QByteArray("1,07,00,016") << Rows{row("1", "07", "00", "016")};
    QTest::newRow("unquoted two-word comment") << QByteArray("08:00:00,1,Good morning,/m/a.mp3\r\n")
                                               << Rows{row("08:00:00", "1", "Good", "morning")};
    QTest::newRow("five or more fields keep four")
        << QByteArray("a,b,c,d,e,f\r\n") << Rows{row("a", "b", "c", "d")};
    QTest::newRow("blank line mid-file stops")
        << QByteArray("a,1\r\n \r\nb,2\r\n") << Rows{row("a", "1")};
    QTest::newRow("NUL-only line mid-file stops")
        << raw("a,1\r\n\0\r\nb,2\r\n") << Rows{row("a", "1")};
    QTest::newRow("empty lines are skipped") << QByteArray("a,1\r\n\r\n\n\rb,2\r\n") << ab;
    QTest::newRow("CR LF") << QByteArray("a,1\r\nb,2\r\n") << ab;
    QTest::newRow("CR only") << QByteArray("a,1\rb,2\r") << ab;
    QTest::newRow("LF only") << QByteArray("a,1\nb,2\n") << ab;
    QTest::newRow("missing final line end") << QByteArray("a,1\r\nb,2") << ab;
    QTest::newRow("line trimmed") << QByteArray("\t a,1 \x01\r\n") << Rows{row("a", "1")};
    QTest::newRow("blanks around commas") << QByteArray("a , b ,\tc") << Rows{row("a", "b", "c")};
    QTest::newRow("blank separates without comma")
        << QByteArray("a b\tc") << Rows{row("a", "b", "c")};
    QTest::newRow("empty middle field") << QByteArray("a,,c,d") << Rows{row("a", "", "c", "d")};
    QTest::newRow("quoted with comma and doubled quote")
        << QByteArray("1,,\"say \"\"hi\"\", you\",x") << Rows{row("1", "", "say \"hi\", you", "x")};
    QTest::newRow("quoted cell trimmed") << QByteArray("\" a \",b") << Rows{row("a", "b")};
    QTest::newRow("text after closing quote is the next field")
        << QByteArray("\"ab\"cd,e") << Rows{row("ab", "cd", "e")};
    QTest::newRow("missing closing quote takes the rest")
        << QByteArray("x,\"open, still \"\"on") << Rows{row("x", "open, still \"on")};
    QTest::newRow("NUL inside a field is text")
        << raw("a\0b,1") << Rows{row(QString::fromUtf16(u"a\0b", 3), "1")};
    QTest::newRow("NUL at a cell end is trimmed") << raw("1,\0x") << Rows{row("1", "x")};
    QTest::newRow("foreign byte") << QByteArray("caf\xE9,1")
                                  << Rows{row(QString::fromUtf16(u"caf\xDCE9"), "1")};
}

void TestDayScheduleFile::reads() {
    QFETCH(QByteArray, bytes);
    QFETCH(Rows, rows);
    QCOMPARE(readDayRows(bytes), rows);
}

void TestDayScheduleFile::cellsSurviveWriteAndRead_data() {
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QStringList>("readBack");
    const auto same = [](const char* name, const QStringList& cells) {
        QTest::newRow(name) << cells << cells;
    };
    same("comma and spaces", row("12:00:00", "16", "a,b", "/My Music/x y.mp3"));
    same("quotes", row("", "", "say \"hi\"", "\""));
    same("doubled quote, tab, code 1, lone comma", row("\"\"", "a\tb", "a\x01z", ","));
    same("quote or comma at an end", row("\"lead", "trail\"", "a,", ",b"));
    same("utf-8, foreign bytes, NUL, two spaces",
         row(QString::fromUtf16(u"\u00E9t\u00E9 \U0001F3B5"), QString::fromUtf16(u"\xDCE9\xDCFF"),
             QString::fromUtf16(u"a\0b", 3), "x  y"));
    QTest::newRow("blanks at the ends are dropped")
        << row(" 10:00 ", "\t3", "x ", " \" ") << row("10:00", "3", "x", "\"");
}

void TestDayScheduleFile::cellsSurviveWriteAndRead() {
    QFETCH(QStringList, cells);
    QFETCH(QStringList, readBack);
    QCOMPARE(readDayRows(writeDayRows({cells, cells})), (Rows{readBack, readBack}));
}

void TestDayScheduleFile::foreignBytesSurviveReadAndWrite() {
    const QByteArray file = raw("12:00:00,1,a\0b\xE9,\"/m/\xFF\xC0\xAF x.mp3\"\r\n"
                                "13:00:00,,\xED\xA0\x80\xE2\x82,\r\n");
    QCOMPARE(writeDayRows(readDayRows(file)), file);
}

void TestDayScheduleFile::hugeInputs() {
    const QByteArray longField(4 * 1024 * 1024, 'x');
    Rows rows = readDayRows("1,\"" + longField);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][2].size(), longField.size());

    rows = readDayRows("1," + longField + "," + longField + ",a,b,c");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][4], QStringLiteral("a"));

    QByteArray many;
    for (int k = 0; k < 1000000; ++k)
        many += "1,2,\"c d\",e\r\n";
    rows = readDayRows(many);
    QCOMPARE(rows.size(), 1000000);
    QCOMPARE(rows.last(), row("1", "2", "c d", "e"));
    QCOMPARE(writeDayRows(rows), many);
}

void TestDayScheduleFile::randomBytesReadStably() {
    // Whatever a file holds, what was read must be written so that it reads
    // back as the same cells.
    static const char alphabet[] = {',',  '"', ' ', '\t',   '\r',   '\n',
                                    '\0', 'a', 'b', '\xE9', '\xC3', '\xA9'};
    QRandomGenerator random(7);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes(random.bounded(40), Qt::Uninitialized);
        for (char& b : bytes)
            b = alphabet[random.bounded(int(sizeof alphabet))];
        const Rows rows = readDayRows(bytes);
        for (const QStringList& cells : rows) {
            QCOMPARE(cells.size(), 5);
            QVERIFY(cells[0].isEmpty());
        }
        QCOMPARE(readDayRows(writeDayRows(rows)), rows);
    }
}

QTEST_GUILESS_MAIN(TestDayScheduleFile)
#include "test_day_schedule_file.moc"
