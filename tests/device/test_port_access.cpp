#include "DeviceTestSupport.h"
#include "device/DeviceLink.h"
#include "device/PortLibrary.h"
#include "device/SerialPort.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

using namespace cantrel;
using cantrel::test::RecordingView;
using cantrel::test::failureLineOf;
using cantrel::test::failureOf;

namespace {

// The slave side of a pseudo-terminal stands in for a serial port.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            path_ = QString::fromLocal8Bit(ptsname(master_));
        }
    }
    ~PseudoTerminal() { close(master_); }
    QString path() const { return path_; }
    int master() const { return master_; }

  private:
    int master_ = -1;
    QString path_;
};

// What the ports did, in order, and which steps they are to refuse.
struct Journal {
    QStringList steps;
    QSet<QString> refuseConfig;
    QSet<QString> refuseTimeouts;
};

// Passes everything to a real port and notes each step, so the order of opening,
// configuring and closing can be read back.
class JournalPort : public ComPort {
  public:
    JournalPort(std::unique_ptr<ComPort> inner, QString name, Journal& journal)
        : inner_(std::move(inner)), name_(std::move(name)), journal_(journal) {}
    ~JournalPort() override { journal_.steps << "close " + name_; }

    bool configure(qint32 baudRate) override {
        journal_.steps << "configure " + name_;
        return !journal_.refuseConfig.contains(name_) && inner_->configure(baudRate);
    }
    bool setTimeouts(const ComTimeouts& timeouts) override {
        journal_.steps << "timeouts " + name_;
        return !journal_.refuseTimeouts.contains(name_) && inner_->setTimeouts(timeouts);
    }
    void purgeInput() override { inner_->purgeInput(); }
    qint64 write(const QByteArray& bytes) override { return inner_->write(bytes); }
    qint64 read(char* buffer, qint64 maxSize) override { return inner_->read(buffer, maxSize); }

  private:
    std::unique_ptr<ComPort> inner_;
    QString name_;
    Journal& journal_;
};

} // namespace

class TestPortAccess : public QObject {
    Q_OBJECT

    QString bin_ = qEnvironmentVariable("CANTREL_TEST_BIN");
    QTemporaryDir dir_;
    PseudoTerminal ptyA_, ptyB_, ptyC_;
    Journal journal_;
    RecordingView view_;
    std::unique_ptr<DeviceLink> link_;

    QString tracePath() const { return dir_.filePath("ports.trace"); }

    // "0378 FB" per write, time stamps cut off.
    QStringList traceWrites() const {
        QStringList writes;
        for (const QString& line : traceLines()) {
            writes << line.section(' ', 2);
        }
        return writes;
    }
    QStringList traceLines() const {
        QFile file(tracePath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    static QDateTime stampOf(const QString& line) {
        return QDateTime::fromString(line.left(23), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    }

    ComPortOpener journalOpener() {
        return [this](const QString& name, QString* why) -> std::unique_ptr<ComPort> {
            journal_.steps << "open " + name;
            std::unique_ptr<ComPort> port = openSerialComPort(name, why);
            if (!port) {
                return nullptr;
            }
            return std::make_unique<JournalPort>(std::move(port), name, journal_);
        };
    }

  private slots:
    void initTestCase() {
        QVERIFY(!bin_.isEmpty());
        QVERIFY(dir_.isValid());
        QVERIFY(!ptyA_.path().isEmpty() && !ptyB_.path().isEmpty() && !ptyC_.path().isEmpty());
        // Never touch a real parallel port from a test.
        qputenv("CANTREL_PARPORT_378", "/nonexistent/parport");
        qputenv("CANTREL_PARPORT_278", "/nonexistent/parport1");
        qputenv("CANTREL_PORT_TRACE", tracePath().toLocal8Bit());
        QVERIFY(QFile::link(ptyA_.path(), dir_.filePath("alias-of-a")));
        qputenv("CANTREL_COM1", ptyA_.path().toLocal8Bit());
        qputenv("CANTREL_COM2", ptyB_.path().toLocal8Bit());
        qputenv("CANTREL_COM3", dir_.filePath("no-such-port").toLocal8Bit());
        qputenv("CANTREL_COM4", dir_.filePath("alias-of-a").toLocal8Bit());
        qputenv("CANTREL_COM5", ptyC_.path().toLocal8Bit());
        qputenv("CANTREL_COM6", ptyA_.path().toLocal8Bit());
    }

    void init() {
        QFile::remove(tracePath());
        journal_ = Journal();
        view_ = RecordingView();
        link_ = std::make_unique<DeviceLink>(QStringList{bin_ + "/inpout32"}, journalOpener());
        view_.watch(*link_);
    }
    void cleanup() { link_.reset(); }

    void traceLine() {
        PortLibrary library({bin_ + "/inpout32"});
        library.load();
        library.out32(0x378, 0x1FE);
        library.out32(0x278, 0xAB);
        const QStringList lines = traceLines();
        QCOMPARE(lines.size(), 2);
        const QRegularExpression format(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} 0378 FE$"));
        QVERIFY2(format.match(lines[0]).hasMatch(), qPrintable(lines[0]));
        QVERIFY(lines[1].endsWith(" 0278 AB"));
        QVERIFY(qAbs(stampOf(lines[0]).secsTo(QDateTime::currentDateTime())) < 5);
        // Without a port the data register reads back what was written.
        QCOMPARE(library.inp32(0x378), quint8(0xFE));
        library.unload();
    }

    void loadFailure_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing") << "missing/inpout32"
                                 << "Load inpout32 Library Failed. Reinstall application\n";
        QTest::newRow("without Inp32")
            << "testlibs/no_inp32/inpout32"
            << "GetProcAddress for Inp32 Failed. Reinstall application\n";
        QTest::newRow("without Out32")
            << "testlibs/no_out32/inpout32"
            << "GetProcAddress for Oup32 Failed. Reinstall application\n";
    }
    void loadFailure() {
        QFETCH(QString, file);
        QFETCH(QString, text);
        DeviceLink link({bin_ + "/" + file});
        QCOMPARE(failureOf([&] { link.loadPortLibrary(); }), text);
        QCOMPARE(traceWrites(), QStringList());
        link.unloadPortLibrary();
    }

    // Whether writes to an address reach anything, and why not. No test has a
    // parallel port, so a port is reached here through the trace only.
    void portProblem_data() {
        QTest::addColumn<QString>("library");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("trace"); // "", "writable" or "unwritable"
        QTest::addColumn<QString>("problem");
        const QString absent378 = "/nonexistent/parport: No such file or directory";
        QTest::newRow("LPT378 without a trace") << "inpout32" << 0x378 << "" << absent378;
        QTest::newRow("LPT278 without a trace")
            << "inpout32" << 0x278 << "" << "/nonexistent/parport1: No such file or directory";
        QTest::newRow("LPT378's control register") << "inpout32" << 0x37A << "" << absent378;
        QTest::newRow("LPT378 with a trace") << "inpout32" << 0x378 << "writable" << "";
        QTest::newRow("a trace that cannot be written")
            << "inpout32" << 0x378 << "unwritable" << absent378;
        QTest::newRow("no port at the address")
            << "inpout32" << 0x300 << "" << "no parallel port is known at this address";
        QTest::newRow("the trace takes any address") << "inpout32" << 0x300 << "writable" << "";
        QTest::newRow("a library without PortProblem")
            << "testlibs/no_port_problem/inpout32" << 0x378 << "" << "";
    }
    void portProblem() {
        QFETCH(QString, library);
        QFETCH(int, address);
        QFETCH(QString, trace);
        QFETCH(QString, problem);
        const auto restore = qScopeGuard([this] {
            qputenv("CANTREL_PORT_TRACE", tracePath().toLocal8Bit());
        });
        if (trace.isEmpty()) {
            qunsetenv("CANTREL_PORT_TRACE");
        } else if (trace == "unwritable") {
            qputenv("CANTREL_PORT_TRACE", dir_.filePath("no-such-folder/ports.trace").toLocal8Bit());
        }
        PortLibrary ports({bin_ + "/" + library});
        ports.load();
        QCOMPARE(ports.problem(quint16(address)), problem);
        ports.unload();
    }

    // A parallel port in force that writes do not reach: the panel says so, a
    // pulse fails with the port and why (output 0 fires nothing and does not
    // fail), and the panel follows the port as it comes and goes.
    void parallelPortAbsent_data() {
        QTest::addColumn<int>("connection");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("writes");
        QTest::newRow("LPT378") << 0 << "LPT378" << "/nonexistent/parport"
                                << QStringList{"0378 FB", "0378 FF"};
        QTest::newRow("LPT278") << 1 << "LPT278" << "/nonexistent/parport1"
                                << QStringList{"0278 FB", "0278 FF"};
    }
    void parallelPortAbsent() {
        QFETCH(int, connection);
        QFETCH(QString, name);
        QFETCH(QString, device);
        QFETCH(QStringList, writes);
        const auto restore = qScopeGuard([this] {
            qputenv("CANTREL_PORT_TRACE", tracePath().toLocal8Bit());
        });
        qunsetenv("CANTREL_PORT_TRACE");
        link_->loadPortLibrary();
        link_->setConnection(connection);
        const QString detail = name + " (" + device + "): No such file or directory";
        QCOMPARE(view_.take(), QStringList({"connection Connection: " + name + " (no port)",
                                            "lost " + detail, "link Wait", "enable 4"}));
        QCOMPARE(failureLineOf([&] { link_->pulseOutput(3); }),
                 "Can't write to port: " + detail);
        QCOMPARE(view_.take(), QStringList{"lost Can't write to port: " + detail});
        QCOMPARE(failureOf([&] { link_->pulseOutput(0); }), QString());
        QCOMPARE(failureOf([&] { link_->pulseOutput(256); }), QString());
        link_->testLink();
        QCOMPARE(view_.take(), QStringList());

        qputenv("CANTREL_PORT_TRACE", tracePath().toLocal8Bit());
        link_->testLink();
        QCOMPARE(view_.take(), QStringList{"connection Connection: " + name});
        link_->pulseOutput(3);
        QCOMPARE(traceWrites(), writes);

        qunsetenv("CANTREL_PORT_TRACE");
        link_->testLink();
        QCOMPARE(view_.take(),
                 QStringList({"connection Connection: " + name + " (no port)", "lost " + detail}));
        link_->unloadPortLibrary();
    }

    void loadWritesIdleByte() {
        link_->loadPortLibrary();
        QCOMPARE(traceWrites(), QStringList{"0378 FF"});
        link_->unloadPortLibrary();
    }

    void parallelPulse_data() {
        QTest::addColumn<int>("connection");
        QTest::addColumn<int>("output");
        QTest::addColumn<QStringList>("writes");
        QTest::newRow("3") << 0 << 3 << QStringList{"0378 FB", "0378 FF"};
        QTest::newRow("12 moves no line") << 0 << 12 << QStringList{"0378 FF", "0378 FF"};
        QTest::newRow("35 as 3") << 0 << 35 << QStringList{"0378 FB", "0378 FF"};
        QTest::newRow("259 as 3") << 0 << 259 << QStringList{"0378 FB", "0378 FF"};
        QTest::newRow("0 fires nothing") << 0 << 0 << QStringList();
        QTest::newRow("1 on LPT278") << 1 << 1 << QStringList{"0278 FE", "0278 FF"};
    }
    void parallelPulse() {
        QFETCH(int, connection);
        QFETCH(int, output);
        QFETCH(QStringList, writes);
        link_->loadPortLibrary();
        link_->setConnection(connection);
        QFile::remove(tracePath());

        QElapsedTimer clock;
        clock.start();
        link_->pulseOutput(output);
        const qint64 elapsed = clock.elapsed();

        QCOMPARE(traceWrites(), writes);
        if (writes.isEmpty()) {
            QVERIFY2(elapsed < 50, "output 0 must not wait");
        } else {
            const QStringList lines = traceLines();
            const qint64 pulse = stampOf(lines[0]).msecsTo(stampOf(lines[1]));
            QVERIFY2(pulse >= 99 && pulse < 1000, qPrintable(QString::number(pulse)));
        }
        link_->unloadPortLibrary();
    }

    void lineSettings() {
        link_->setComPort(1, 28800);
        termios2 line{};
        QCOMPARE(ioctl(ptyA_.master(), TCGETS2, &line), 0);
        QCOMPARE(line.c_ospeed, 28800u);
        QCOMPARE(line.c_ispeed, 28800u);
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    }

    void setComPortSequence() {
        link_->setComPort(1, 28800);
        const ComPort* first = link_->serialPort();
        QVERIFY(first);
        QCOMPARE(link_->comNumber, 1u);

        link_->setComPort(1, 28800);
        QCOMPARE(link_->serialPort(), first);

        link_->setComPort(2, 28800);
        QCOMPARE(link_->comNumber, 2u);
        QVERIFY2(openSerialComPort("COM1"), "the old port must be free again");

        link_->setComPort(0, 0);
        QVERIFY(!link_->serialPort());
        QCOMPARE(link_->comNumber, 2u);
        QVERIFY(openSerialComPort("COM2"));
        link_->setComPort(0, 0);

        const QStringList expected{
            "open COM1", "configure COM1", "timeouts COM1", "configure COM1", "timeouts COM1",
            "open COM2", "configure COM2", "timeouts COM2", "close COM1",     "close COM2"};
        QCOMPARE(journal_.steps, expected);
    }

    void setComPortFailureKeepsPort_data() {
        QTest::addColumn<int>("comNumber");
        QTest::addColumn<QString>("refuse");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("no such device") << 3 << ""
                                        << "Can't open port" << QStringList{"open COM3"};
        QTest::newRow("negative number") << -2 << ""
                                         << "Can't open port" << QStringList{"open COM-2"};
        QTest::newRow("open under the same name") << 6 << ""
                                                  << "Can't open port" << QStringList{"open COM6"};
        QTest::newRow("open under another name") << 4 << ""
                                                 << "Can't open port" << QStringList{"open COM4"};
        QTest::newRow("config refused")
            << 2 << "config"
            << "Can't setup com config" << QStringList{"open COM2", "configure COM2", "close COM2"};
        QTest::newRow("timeouts refused")
            << 2 << "timeouts"
            << "Can't setup timeouts"
            << QStringList{"open COM2", "configure COM2", "timeouts COM2", "close COM2"};
        QTest::newRow("config refused on the open port")
            << 1 << "config"
            << "Can't setup com config" << QStringList{"configure COM1"};
    }
    void setComPortFailureKeepsPort() {
        QFETCH(int, comNumber);
        QFETCH(QString, refuse);
        QFETCH(QString, text);
        QFETCH(QStringList, steps);
        link_->setComPort(1, 28800);
        const ComPort* first = link_->serialPort();
        journal_.steps.clear();
        const QString name = QStringLiteral("COM%1").arg(comNumber);
        if (refuse == "config") {
            journal_.refuseConfig << name;
        } else if (refuse == "timeouts") {
            journal_.refuseTimeouts << name;
        }

        QCOMPARE(failureOf([&] { link_->setComPort(comNumber, 28800); }), text);
        QCOMPARE(journal_.steps, steps);
        QCOMPARE(link_->serialPort(), first);
        QCOMPARE(link_->comNumber, 1u);
        QVERIFY2(!openSerialComPort("COM1"), "COM1 must still be held");
    }

    void setConnection_data() {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("connectionIndex");
        QTest::addColumn<uint>("comNumber");
        QTest::addColumn<uint>("lptAddr");
        const QStringList com2{"connection Connection: COM2   Device ID: 5", "enable 16"};
        QTest::newRow("LPT378 closes COM2")
            << QList<int>{3} << 0
            << QStringList{"connection Connection: LPT378", "link Wait", "enable 4"} << 0 << 2u
            << 888u;
        QTest::newRow("LPT278") << QList<int>{} << 1
                                << QStringList{"connection Connection: LPT278", "link Wait",
                                               "enable 4"}
                                << 1 << 0u << 632u;
        QTest::newRow("COM2 keeps the address") << QList<int>{1} << 3 << com2 << 3 << 2u << 632u;
        QTest::newRow("COM2 again") << QList<int>{3} << 3 << com2 << 3 << 2u << 888u;
        QTest::newRow("COM3 fails while COM2 is open")
            << QList<int>{3} << 4
            << QStringList{"message Can't open port: COM3 (" + dir_.filePath("no-such-port") +
                           "): no such device"}
            << 3 << 2u << 888u;
        QTest::newRow("6 is COM5")
            << QList<int>{} << 6
            << QStringList{"connection Connection: COM5   Device ID: 5", "enable 16"} << 6 << 5u
            << 888u;
        QTest::newRow("-1 cannot be opened")
            << QList<int>{} << -1 << QStringList{"message Can't open port: COM-2: not a port name"}
            << 0 << 0u << 888u;
    }
    void setConnection() {
        QFETCH(QList<int>, before);
        QFETCH(int, index);
        QFETCH(QStringList, events);
        QFETCH(int, connectionIndex);
        QFETCH(uint, comNumber);
        QFETCH(uint, lptAddr);
        link_->deviceId = 5;
        for (int step : before) {
            link_->setConnection(step);
        }
        view_.take();

        link_->setConnection(index);
        QCOMPARE(view_.events, events);
        QCOMPARE(link_->connectionIndex(), connectionIndex);
        QCOMPARE(link_->comNumber, comNumber);
        QCOMPARE(link_->parallelAddress, lptAddr);
    }

    // Why a serial port does not open, told apart, beside "Can't open port".
    void openFailureSaysWhy_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no such device") << "missing" << "no such device";
        QTest::newRow("in use") << "held" << "in use by another program";
        QTest::newRow("no permission")
            << "forbidden" << "no permission (a serial line needs the dialout group)";
    }
    void openFailureSaysWhy() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        PseudoTerminal terminal;
        QString path = dir_.filePath("no-such-port");
        std::unique_ptr<ComPort> holder;
        if (kind == "held") {
            path = terminal.path();
            qputenv("CANTREL_COM7", path.toLocal8Bit());
            holder = openSerialComPort("COM7");
            QVERIFY(holder);
        } else if (kind == "forbidden") {
            path = dir_.filePath("forbidden-port");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setPermissions({}));
        }
        qputenv("CANTREL_COM7", path.toLocal8Bit());
        // Root may open anything: the port is tried as nobody instead.
        const bool asNobody = kind == "forbidden" && geteuid() == 0;
        if (asNobody) {
            QCOMPARE(seteuid(65534), 0);
        }
        const auto back = qScopeGuard([asNobody] {
            if (asNobody && seteuid(0) != 0) {
                qFatal("cannot become root again");
            }
        });
        QString why;
        QVERIFY(!openSerialComPort("COM7", &why));
        QCOMPARE(why, "COM7 (" + path + "): " + reason);
        link_->setConnection(8);
        QCOMPARE(view_.take(), QStringList{"message Can't open port: " + why});
    }

    void connectionIndexOfOtherAddress() {
        link_->parallelAddress = 0x300;
        QCOMPARE(link_->connectionIndex(), 0);
    }

    void portsFileLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("device");
        const QByteArray file("# USB adapters by their stable names\r\n"
                              "COM1=/dev/serial/by-id/usb-FTDI-if00-port0\r\n"
                              "  com2 = /dev/ttyUSB1  \n"
                              "\n"
                              "COM3\n"
                              "=/dev/nothing\n"
                              "COM1=/dev/second\n"
                              "#COM4=/dev/commented\n"
                              "COM12=/dev/ttyACM0\n");
        QTest::newRow("named") << file << "COM1" << "/dev/serial/by-id/usb-FTDI-if00-port0";
        QTest::newRow("spaces and case") << file << "COM2" << "/dev/ttyUSB1";
        QTest::newRow("no equals sign") << file << "COM3" << "";
        QTest::newRow("commented out") << file << "COM4" << "";
        QTest::newRow("COM12 is not COM1")
            << QByteArray("COM12=/dev/ttyACM0\nCOM1=/dev/ttyS9\n") << "COM1" << "/dev/ttyS9";
        QTest::newRow("two digits") << file << "COM12" << "/dev/ttyACM0";
        QTest::newRow("missing") << file << "COM5" << "";
        QTest::newRow("empty file") << QByteArray() << "COM1" << "";
    }
    void portsFileLines() {
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        QFETCH(QString, device);
        QCOMPARE(portsFileDevice(content, port), device);
    }

    // COMn is found by the environment, then the ports file, then /dev/ttyS(n-1);
    // a pseudo-terminal named in the ports file opens as COM5.
    void portsFileNamesThePort() {
        QTemporaryDir config;
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        qunsetenv("CANTREL_COM5");
        QCOMPARE(portsFilePath(), config.path() + "/cantrel/ports.conf");
        QCOMPARE(comDevicePath("COM5"), QStringLiteral("/dev/ttyS4"));

        PseudoTerminal terminal;
        QVERIFY(QDir(config.path()).mkpath("cantrel"));
        QFile ports(config.path() + "/cantrel/ports.conf");
        QVERIFY(ports.open(QIODevice::WriteOnly));
        ports.write("COM5=" + terminal.path().toLocal8Bit() + "\n");
        ports.close();
        QCOMPARE(comDevicePath("COM5"), terminal.path());
        const std::unique_ptr<ComPort> held = openSerialComPort("COM5");
        QVERIFY(held != nullptr);
        // Why a port does not open goes with the failure.
        QString why;
        QVERIFY(openSerialComPort("COM5", &why) == nullptr);
        QVERIFY2(why.startsWith("COM5 (" + terminal.path() + "): ") && why.contains("in use"),
                 qPrintable(why));

        qputenv("CANTREL_COM5", "/nonexistent/tty");
        QCOMPARE(comDevicePath("COM5"), QStringLiteral("/nonexistent/tty"));
        QVERIFY(openSerialComPort("COM5", &why) == nullptr);
        QCOMPARE(why, QStringLiteral("COM5 (/nonexistent/tty): no such device"));
        qunsetenv("CANTREL_COM5");

        qputenv("XDG_CONFIG_HOME", "relative/config");
        QCOMPARE(portsFilePath(), QDir::homePath() + "/.config/cantrel/ports.conf");
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
};

QTEST_GUILESS_MAIN(TestPortAccess)
#include "test_port_access.moc"
