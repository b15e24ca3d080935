// cantrel-screenshots FOLDER: the operator's guide's pictures, taken of the
// real window as an operator would see it. A station is set up in a
// temporary folder (a day schedule, a month calendar, the settings on COM1)
// with the simulated device beside it; the window is driven through the
// steps the guide describes and each step is written as a PNG into FOLDER.
// `./dev.sh screenshots` runs it on a virtual desktop, so the pictures follow
// the program as it changes; a desktop test runs it into a temporary folder,
// so it keeps working.
#include "app/MainWindow.h"
#include "device/ConnectionDialog.h"
#include "device/RadioBank.h"
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "platform/QtPrompter.h"
#include "run/RunEngine.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"

#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <utility>

using namespace cantrel;

namespace {

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "cantrel-screenshots: %s\n", qPrintable(why));
    std::exit(1);
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

// Lets the window paint and the timers run for ms.
void settle(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        settle(50);
    }
    return true;
}

void save(const QPixmap& picture, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    if (!picture.save(path))
        fail(QStringLiteral("cannot write %1").arg(path));
    std::printf("%s\n", qPrintable(path));
}

// The window with a margin around it, each part named by a number in the
// margin beside it and a line to it, for the guide's legend.
enum class Side { Left, Right, Bottom };
struct Part {
    const QWidget* widget;
    Side side;
};

QPixmap withNumberedParts(QWidget& window, const QList<Part>& parts) {
    constexpr int margin = 34;
    const QPixmap shot = window.grab();
    QPixmap picture(shot.size() + QSize(2 * margin, margin));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(margin, 0, shot);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    int number = 0;
    for (const Part& part : parts) {
        const QRect r =
            QRect(part.widget->mapTo(&window, QPoint(0, 0)), part.widget->size()).translated(margin, 0);
        QPoint edge;
        QPoint mark;
        switch (part.side) {
        case Side::Left:
            edge = QPoint(r.left() + 6, r.center().y());
            mark = QPoint(margin / 2, edge.y());
            break;
        case Side::Right:
            edge = QPoint(r.right() - 6, r.center().y());
            mark = QPoint(picture.width() - margin / 2, edge.y());
            break;
        case Side::Bottom:
            edge = QPoint(r.center().x(), r.bottom() - 4);
            mark = QPoint(edge.x(), picture.height() - margin / 2);
            break;
        }
        painter.setPen(QPen(QColor(200, 30, 30), 2));
        painter.drawLine(mark, edge);
        painter.setBrush(QColor(200, 30, 30));
        const QRect circle(mark - QPoint(12, 12), QSize(24, 24));
        painter.drawEllipse(circle);
        painter.setPen(Qt::white);
        painter.drawText(circle, Qt::AlignCenter, QString::number(++number));
    }
    return picture;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Cantrel"));
    if (argc != 2)
        fail(QStringLiteral("usage: cantrel-screenshots FOLDER"));
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(out))
        fail(QStringLiteral("cannot make %1").arg(out));

    // The station: a morning of a radio station's day, its rows a few
    // seconds ahead so that some fire while the pictures are taken.
    QTemporaryDir dir;
    const auto path = [&dir](const QString& name) { return dir.filePath(name); };
    const QDateTime now = QDateTime::currentDateTime();
    const auto at = [&now](int seconds) { return now.addSecs(seconds).toString("HH:mm:ss"); };
    for (const char* media : {"jingle.mp3", "news.mp3", "traffic.mp3", "weather.mp3"})
        write(path(media), "sound");
    // Names as an operator keeps them: beside the calendar, the folder the
    // program is started from.
    // The run advance of 2 s opens the news 2 s before its time: its ">"
    // is pictured while the device waits for the second.
    write(path("today.24h"),
          (at(-3600) + ",1,\"Morning show\",jingle.mp3\r\n" + at(14) +
           ",3,\"News at the hour\",news.mp3\r\n" + at(15) + ",5,Traffic,traffic-old.mp3\r\n" +
           at(900) + ",7,Weather,weather.mp3\r\n" + at(1800) + ",2,\"Ad break\",\r\n" +
           at(3600) + ",3,\"News at the hour\",news.mp3\r\n")
              .toUtf8());
    write(path("weekend.24h"), "09:00:00,1,\"Weekend show\",\r\n");
    QByteArray calendar;
    for (int day = 1; day <= now.date().daysInMonth(); ++day) {
        const int weekday = now.date().addDays(day - now.date().day()).dayOfWeek();
        // Weekends are left to the plan, which the calendar shows greyed.
        calendar += QByteArray::number(day) + (weekday >= 6 ? " \r\n" : " today.24h\r\n");
    }
    write(path("month.31d"), calendar);
    write(path("month.plan"), "# weekends from the plan\nsat,sun  weekend.24h\n");
    write(path("Cantrel.ini"), "file31d=month.31d\r\nPort=2\r\nDeviceID=0\r\nRunAdvance=2\r\n");

    QProcess device;
    device.start(QCoreApplication::applicationDirPath() + "/cantrel-devsim",
                 {"--link", path("com"), "--control", path("mode"), "--log", path("devsim.log")});
    if (!device.waitForStarted() || !device.waitForReadyRead(5000))
        fail(QStringLiteral("the simulated device did not start"));
    qputenv("CANTREL_COM1", path("com").toLocal8Bit());
    qputenv("CANTREL_OPENER", "/bin/true");
    qputenv("XDG_STATE_HOME", path("state").toLocal8Bit());
    QDir::setCurrent(dir.path());
    QDir(dir.path()).mkpath(QStringLiteral("program"));

    SystemClock clock;
    QtPrompter prompter;
    DesktopMediaOpener opener;
    MainWindow window({&clock, &prompter, &opener, path("program")});
    prompter.setParent(&window);
    if (!window.start())
        fail(QStringLiteral("the window did not start"));
    window.show();
    window.loadMonthCalendar(QStringLiteral("month.31d"));
    window.loadDaySchedule(QStringLiteral("today.24h"));
    if (!waitFor([&] { return window.linkPanel->text() == QLatin1String("Link OK"); }, 10000))
        fail(QStringLiteral("no link to the simulated device"));
    window.dayGrid->setRow(4);
    settle(300);

    // 1. The window at a glance, its parts numbered.
    save(withNumberedParts(window, {{window.dayGrid, Side::Left},
                                    {window.dayEditGrid, Side::Left},
                                    {window.monthGrid, Side::Right},
                                    {window.monthEditGrid, Side::Right},
                                    {window.insertButton, Side::Left},
                                    {window.executeButton, Side::Bottom},
                                    {window.runButton, Side::Right},
                                    {window.radioBank()->button(8), Side::Bottom},
                                    {window.connectionPanel, Side::Bottom},
                                    {window.linkPanel, Side::Bottom},
                                    {window.planPanel, Side::Bottom},
                                    {window.nextRowPanel, Side::Bottom}}),
         out, QStringLiteral("window.png"));

    // 2. A new row typed into the editing row, before Insert.
    window.dayEditGrid->setRowCells(0, {QString(), QStringLiteral("07:30:00"), QStringLiteral("4"),
                                        QStringLiteral("Sports"), QStringLiteral("sports.mp3")});
    window.dayEditGrid->setCol(1);
    settle(200);
    save(window.dayGroupBox->grab(), out, QStringLiteral("editing-row.png"));

    // 3. The month calendar.
    save(window.monthGroupBox->grab(), out, QStringLiteral("calendar.png"));

    // 4. Setup > Port.
    window.connectionDialog->showConnection(window.device().connectionIndex());
    window.connectionDialog->deviceIdEdit->setText(QString::number(window.device().deviceId));
    window.connectionDialog->runAdvanceEdit->setText(
        QString::number(window.runEngine()->runAdvance()));
    window.connectionDialog->show();
    settle(300);
    save(window.connectionDialog->grab(), out, QStringLiteral("setup-port.png"));
    window.connectionDialog->hide();

    // 5. Run mode, once the news has fired and the traffic row has failed;
    // the failure's box is taken as it comes up, then closed as the
    // operator would.
    window.dayEditGrid->setRowCells(0, window.dayGrid->rowCells(window.dayGrid->row()));
    QTimer boxes;
    boxes.setInterval(100);
    QObject::connect(&boxes, &QTimer::timeout, [&out] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        static bool taken = false;
        if (!std::exchange(taken, true))
            save(box->grab(), out, QStringLiteral("failure-box.png"));
        box->accept();
    });
    boxes.start();
    window.enterRunMode();
    // 6. The news opened, waiting out the run advance.
    if (!window.runEngine() || !waitFor([&] { return window.dayGrid->cell(0, 2) == ">"; }, 25000))
        fail(QStringLiteral("the news row did not open"));
    save(window.dayGroupBox->grab(), out, QStringLiteral("run-advance.png"));
    if (!waitFor([&] { return window.dayGrid->cell(0, 3) == "!"; }, 15000))
        fail(QStringLiteral("the rows did not fire"));
    settle(1200);
    save(window.grab(), out, QStringLiteral("run-mode.png"));

    prompter.setParent(nullptr);
    window.runEngine()->leave(QStringLiteral("paused"));
    settle(200);
    device.terminate();
    device.waitForFinished(3000);
    return 0;
}
