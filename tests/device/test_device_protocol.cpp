#include "device/DeviceProtocol.h"

#include <QtTest>

using namespace cantrel;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

// FE, then bytes 1..count-1 as spaces with the two digits at offsets 25 and 26.
QByteArray reply(char code, int count, const char* digits = "07") {
    QByteArray bytes(count, ' ');
    bytes[0] = code;
    if (count > 26) {
        bytes[25] = digits[0];
        bytes[26] = digits[1];
    }
    return bytes;
}

} // namespace

class TestDeviceProtocol : public QObject {
    Q_OBJECT

  private slots:
    void request_data() {
        QTest::addColumn<int>("deviceId");
        QTest::addColumn<int>("output");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("device 0 status") << 0 << 0 << QByteArray("\xFD\x00\x00\x06", 4);
        QTest::newRow("device 0 output 1") << 0 << 1 << QByteArray("\xFD\x00\x01\x05", 4);
        QTest::newRow("device 5 output 3") << 5 << 3 << QByteArray("\xFD\x05\x03\x7E", 4);
        QTest::newRow("device 127 output 16") << 127 << 16 << QByteArray("\xFD\x7F\x10\x77", 4);
        QTest::newRow("device 0 output 7") << 0 << 7 << QByteArray("\xFD\x00\x07\x7F", 4);
        QTest::newRow("only low bytes count")
            << 0x105 << 0x203 << QByteArray("\xFD\x05\x03\x7E", 4);
    }
    void request() {
        QFETCH(int, deviceId);
        QFETCH(int, output);
        QFETCH(QByteArray, bytes);
        QCOMPARE(buildRequest(deviceId, output), bytes);
        QCOMPARE(ComputeChecksum(reinterpret_cast<const quint8*>(bytes.constData()), 3),
                 static_cast<quint8>(bytes[3]));
    }

    void replyMeaning_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("linkText");
        QTest::addColumn<std::optional<int>>("reported");
        const std::optional<int> none;
        QTest::newRow("FE+50 after status")
            << reply('\xFE', 51) << 0 << "Link OK" << std::optional(7);
        QTest::newRow("FE+49 after status")
            << reply('\xFE', 50) << 0 << "Link OK" << std::optional(7);
        QTest::newRow("FE+48 too short") << reply('\xFE', 49) << 0 << "Link OK" << none;
        QTest::newRow("FE alone") << reply('\xFE', 1) << 0 << "Link OK" << none;
        QTest::newRow("after output request") << reply('\xFE', 51) << 3 << "Link OK" << none;
        QTest::newRow("output 256 is a status request")
            << reply('\xFE', 51) << 256 << "Link OK" << std::optional(7);
        QTest::newRow("digits 16")
            << reply('\xFE', 51, "16") << 0 << "Link OK" << std::optional(16);
        // Reported as read; the link ignores what names no radio button.
        QTest::newRow("digits 00") << reply('\xFE', 51, "00") << 0 << "Link OK" << std::optional(0);
        QTest::newRow("digits 17")
            << reply('\xFE', 51, "17") << 0 << "Link OK" << std::optional(17);
        QTest::newRow("digits 19")
            << reply('\xFE', 51, "19") << 0 << "Link OK" << std::optional(19);
        QTest::newRow("tens digit 2") << reply('\xFE', 51, "20") << 0 << "Link OK" << none;
        QTest::newRow("units not a digit") << reply('\xFE', 51, "1:") << 0 << "Link OK" << none;
        QTest::newRow("F9") << reply('\xF9', 51) << 0 << "Link OK" << none;
        QTest::newRow("echo of the request")
            << QByteArray("\xFD\x00\x00\x06", 4) << 0 << "Link error" << none;
        QTest::newRow("other code") << reply('\x00', 51) << 0 << "Link error" << none;
        QTest::newRow("nothing") << QByteArray() << 0 << "No link" << none;
    }
    void replyMeaning() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, output);
        QFETCH(QString, linkText);
        QFETCH(std::optional<int>, reported);
        const ReplyMeaning meaning = decodeReply(bytes, output);
        QCOMPARE(meaning.linkText, linkText);
        QCOMPARE(meaning.reportedOutput, reported);
    }

    void pulseByte_data() {
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("byte"); // -1: no pulse
        QTest::newRow("0") << 0 << -1;
        QTest::newRow("1") << 1 << 0xFE;
        QTest::newRow("2") << 2 << 0xFD;
        QTest::newRow("3") << 3 << 0xFB;
        QTest::newRow("8") << 8 << 0x7F;
        QTest::newRow("9") << 9 << 0xFF;
        QTest::newRow("12") << 12 << 0xFF;
        QTest::newRow("32") << 32 << 0xFF;
        QTest::newRow("33") << 33 << 0xFE;
        QTest::newRow("35") << 35 << 0xFB;
        QTest::newRow("40") << 40 << 0x7F;
        QTest::newRow("41") << 41 << 0xFF;
        QTest::newRow("231 as 7") << 231 << 0xBF;
        QTest::newRow("255") << 255 << 0xFF;
        QTest::newRow("256 is 0") << 256 << -1;
        QTest::newRow("259 is 3") << 259 << 0xFB;
    }
    void pulseByte() {
        QFETCH(int, output);
        QFETCH(int, byte);
        const std::optional<quint8> pulse = parallelPulseByte(output);
        QCOMPARE(pulse.has_value(), byte >= 0);
        if (pulse) {
            QCOMPARE(int(*pulse), byte);
        }
    }

    void connectionTexts() {
        QCOMPARE(parallelConnectionText(888), QString("Connection: LPT378"));
        QCOMPARE(parallelConnectionText(632), QString("Connection: LPT278"));
        QCOMPARE(serialConnectionText(2, 5), QString("Connection: COM2   Device ID: 5"));
        QCOMPARE(serialConnectionText(12, 127), QString("Connection: COM12   Device ID: 127"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceProtocol)
#include "test_device_protocol.moc"
