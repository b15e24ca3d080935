#include "platform/LosslessText.h"

#include <QRandomGenerator>
#include <QTest>

using namespace cantrel;

class TestLosslessText : public QObject {
    Q_OBJECT

  private slots:
    void roundTripKeepsBytes_data();
    void roundTripKeepsBytes();
    void decodes_data();
    void decodes();
    void loneSurrogateIsWrittenAsReplacement();
    void randomBytesRoundTrip();
    void randomValidTextIsPlainUtf8();
};

void TestLosslessText::roundTripKeepsBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("ascii") << QByteArray("12:00:00,3,\"a, b\",C:\\x.mp3");
    QTest::newRow("two-byte") << QByteArray("caf\xC3\xA9");
    QTest::newRow("three-byte") << QByteArray("\xE2\x82\xAC 5");
    QTest::newRow("four-byte") << QByteArray("\xF0\x9F\x8E\xB5 song");
    QTest::newRow("latin-1 e acute alone") << QByteArray("caf\xE9");
    QTest::newRow("latin-1 before ascii") << QByteArray("\xE9t\xE9");
    QTest::newRow("truncated three-byte") << QByteArray("a\xE2\x82");
    QTest::newRow("truncated then ascii") << QByteArray("\xE2\x82z");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80");
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF");
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x80\xAF");
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80");
    QTest::newRow("stray continuation") << QByteArray("\x80\xBF");
    QTest::newRow("F5..FF") << QByteArray("\xF5\xFE\xFF");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0", 4);
    QTest::newRow("escaped-looking text") << QByteArray("\xED\xB2\x80");
    QTest::newRow("long ascii then invalid")
        << QByteArray(40, 'x') + QByteArray("\x91quoted\x92") + QByteArray(17, 'y');
}

void TestLosslessText::roundTripKeepsBytes() {
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeLossless(decodeLossless(bytes)), bytes);
}

void TestLosslessText::decodes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("abc") << QStringLiteral("abc");
    QTest::newRow("valid two-byte") << QByteArray("\xC3\xA9") << QString(QChar(0xE9));
    QTest::newRow("four-byte is a pair")
        << QByteArray("\xF0\x9F\x8E\xB5") << QString::fromUtf16(u"\U0001F3B5");
    QTest::newRow("lone E9") << QByteArray("\xE9") << QString(QChar(0xDCE9));
    QTest::newRow("overlong each byte")
        << QByteArray("\xC0\xAF") << QString::fromUtf16(u"\xDCC0\xDCAF");
    QTest::newRow("truncated keeps the ascii after it")
        << QByteArray("\xE2\x82z") << QString::fromUtf16(u"\xDCE2\xDC82z");
    QTest::newRow("NUL is text") << QByteArray("\0", 1) << QString(QChar(0));
    // Past eight bytes the ASCII run is looked at eight at a time: a letter
    // above 0x7F in a block of eight must end the run there.
    QTest::newRow("non-ascii in the first eight and later ones")
        << QByteArray("Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, 12:00:00 \xE9")
        << QString::fromUtf16(u"Gr\u00FC\u00DFe aus K\u00F6ln, 12:00:00 \xDCE9");
}

void TestLosslessText::decodes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeLossless(bytes), text);
}

void TestLosslessText::loneSurrogateIsWrittenAsReplacement() {
    // Only U+DC80..U+DCFF stand for bytes; other lone halves cannot be kept.
    QCOMPARE(encodeLossless(QString(QChar(0xD800))), QByteArray("\xEF\xBF\xBD"));
    QCOMPARE(encodeLossless(QString(QChar(0xDC7F))), QByteArray("\xEF\xBF\xBD"));
}

void TestLosslessText::randomBytesRoundTrip() {
    QRandomGenerator random(24);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(random.bounded(64), Qt::Uninitialized);
        // Mostly high bytes, so that valid and broken sequences both occur.
        for (char& b : bytes)
            b = static_cast<char>(random.bounded(4) == 0 ? random.bounded(128)
                                                         : 128 + random.bounded(128));
        QCOMPARE(encodeLossless(decodeLossless(bytes)), bytes);
    }
}

void TestLosslessText::randomValidTextIsPlainUtf8() {
    QRandomGenerator random(31);
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int k = random.bounded(32); k > 0; --k) {
            // Every length of sequence, surrogates excluded.
            static constexpr char32_t tops[] = {0x80, 0x800, 0xD800, 0x110000};
            char32_t cp = random.bounded(tops[random.bounded(4)]);
            if (cp >= 0xD800 && cp < 0xE000)
                cp += 0x800;
            const char32_t one[] = {cp};
            text += QString::fromUcs4(one, 1);
        }
        const QByteArray utf8 = text.toUtf8();
        QCOMPARE(encodeLossless(text), utf8);
        QCOMPARE(decodeLossless(utf8), text);
    }
}

QTEST_GUILESS_MAIN(TestLosslessText)
#include "test_lossless_text.moc"
