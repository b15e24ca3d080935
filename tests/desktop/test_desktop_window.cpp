// The main window under a window manager: its place and outer size, frame
// included, come back unchanged from one start to the next, and the laid-out
// and minimum sizes are sizes of the frame.
#include "DesktopSupport.h"
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

#include <QTest>
#include <QToolTip>
#include <QWindow>

using namespace cantrel;
using namespace cantrel::test;

namespace {

// Shows the window and waits until the window manager has framed it.
bool showFramed(MainWindow& w) {
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    return QTest::qWaitFor([&] { return !w.windowHandle()->frameMargins().isNull(); }, 10000);
}

} // namespace

class TestDesktopWindow : public QObject {
    Q_OBJECT
  private slots:
    void startsAndClosesKeepThePlace_data();
    void startsAndClosesKeepThePlace();
    void minimumSizeIsTheFrames();
    void planGreyedInWithItsRule();
};

void TestDesktopWindow::startsAndClosesKeepThePlace_data() {
    QTest::addColumn<QByteArray>("ini"); // empty: no settings file
    QTest::addColumn<QRect>("outer");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("laid out") << QByteArray() << QRect(203, 116, 651, 442)
                              << QByteArray("formLeft=203\r\nformTop=116\r\nformWidth=651\r\n"
                                            "formHeight=442\r\nmonthLeft=");
    QTest::newRow("remembered")
        << QByteArray("formLeft=100\r\nformTop=80\r\nformWidth=700\r\nformHeight=500\r\n")
        << QRect(100, 80, 700, 500)
        << QByteArray("formLeft=100\r\nformTop=80\r\nformWidth=700\r\nformHeight=500\r\n"
                      "monthLeft=");
}

void TestDesktopWindow::startsAndClosesKeepThePlace() {
    QFETCH(QByteArray, ini);
    QFETCH(QRect, outer);
    QFETCH(QByteArray, written);
    MainWindowFixture f;
    if (!ini.isEmpty())
        f.write("Cantrel.ini", ini);
    // Each start reads what the close before it wrote.
    for (int start = 1; start <= 3; ++start) {
        QVERIFY(f.start());
        MainWindow& w = *f.form;
        QVERIFY(showFramed(w));
        QVERIFY(w.frameGeometry().size() != w.size());
        QTRY_COMPARE(serverFrame(w), outer);
        QTRY_COMPARE(w.frameGeometry(), outer);
        QVERIFY(w.close());
        QVERIFY2(f.read("program/Cantrel.ini").startsWith(written),
                 qPrintable(QStringLiteral("start %1").arg(start)));
        f.form.reset();
    }
}

void TestDesktopWindow::minimumSizeIsTheFrames() {
    MainWindowFixture f;
    f.write("Cantrel.ini", "formWidth=300\r\nformHeight=200\r\n");
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    QVERIFY(showFramed(w));
    QTRY_COMPARE(serverFrame(w), QRect(203, 116, 480, 250));
    QTRY_COMPARE(w.frameGeometry(), QRect(203, 116, 480, 250));

    // Through the window manager, as a drag of the frame would: made larger,
    // then asked for less than the minimum, the frame stops at 480 x 250.
    const QString window = QString::number(w.winId());
    QVERIFY(xdotool({"windowsize", window, "800", "600"}));
    QTRY_COMPARE(w.size(), QSize(800, 600));
    QVERIFY(xdotool({"windowsize", window, "100", "100"}));
    QTRY_COMPARE(serverFrame(w), QRect(203, 116, 480, 250));
    QTRY_COMPARE(w.frameGeometry(), QRect(203, 116, 480, 250));
}

namespace {

// The darkest grey level drawn in a cell of the month grid's file column.
int darkestIn(StringGrid& grid, int day) {
    const QImage cell =
        grid.viewport()->grab(grid.visualRect(grid.model()->index(day - 1, 2))).toImage();
    int darkest = 255;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            darkest = std::min(darkest, qGray(cell.pixel(x, y)));
    return darkest;
}

} // namespace

// The plan's file on a day whose entry is empty, drawn lighter than the
// calendar's own entry, with the rule under the pointer; the calendar stays
// unmodified.
void TestDesktopWindow::planGreyedInWithItsRule() {
    MainWindowFixture f;
    f.clock.set(QDateTime(QDate(2026, 12, 12), QTime(10, 0)));
    f.write("month.plan", "mon-fri school.24h\nsat,sun -\n");
    f.write("month.31d", "1 first.24h\r\n");
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.loadMonthCalendar(f.path("month.31d"));
    QVERIFY(showFramed(w));
    StringGrid& grid = *w.monthGrid;
    // Away from day 1, whose highlight would hide the difference.
    grid.setRow(5);
    const int plan = darkestIn(grid, 2);
    const int own = darkestIn(grid, 1);
    // Text in grey (190 here), not in black (0), nor left out.
    QVERIFY2(plan >= 96 && plan <= 200 && own < 64, qPrintable(QStringLiteral("%1 %2").arg(plan).arg(own)));

    const QRect cell = grid.visualRect(grid.model()->index(1, 2));
    const QPoint at = grid.viewport()->mapToGlobal(cell.center());
    QVERIFY(xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())}));
    QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 10000);
    QCOMPARE(QToolTip::text(), QStringLiteral("plan line 1: mon-fri school.24h"));
    QVERIFY(!w.monthCalendar().isModified());
    QCOMPARE(w.monthGrid->cell(2, 2), QString());
}

QTEST_MAIN(TestDesktopWindow)
#include "test_desktop_window.moc"
