// How late a row's pulse reaches the device after the start of its second,
// measured from each simulated device's own log, stamped to the microsecond:
// a row every second over a serial line. Side by side in one run, each
// against a device of its own: the floor (a small program that sleeps to each
// second on the wall clock and writes the request), the window (built
// offscreen, in this process) and `cantrel --run` as a process, once as the
// schedule stands and once with a run advance of 1 s; idle, and with one
// core kept busy. For the window and the run, the paired extra is
// their lateness less the floor's in the same second. A last run puts the
// window's link test just before every third row's second against a device
// that answers late. CANTREL_BENCH_ROWS sets the number of rows (200).
#include "app/MainWindow.h"
#include "device/DeviceTestSupport.h"
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "run/RunEngine.h"
#include "schedule/StringGrid.h"
#include "support/TestDoubles.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <csignal>
#include <vector>

using namespace cantrel;
using namespace cantrel::test;

namespace {

int rowCount() {
    bool ok = false;
    const int rows = qEnvironmentVariableIntValue("CANTREL_BENCH_ROWS", &ok);
    return ok && rows > 0 ? rows : 200;
}

QString bin() {
    return QCoreApplication::applicationDirPath();
}

// A day file with a row every second from `first` on, outputs 2 to 16 in
// turn, and the calendar and settings that run it today on COM1.
struct Schedule {
    QTemporaryDir dir;
    QDateTime first;
    int rows;

    explicit Schedule(int count, int leadSeconds = 4)
        : first(QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + leadSeconds)),
          rows(count) {
        QByteArray day;
        for (int i = 0; i < rows; ++i)
            day += first.addSecs(i).toString("HH:mm:ss").toUtf8() + "," +
                   QByteArray::number(i % 15 + 2) + ",,\r\n";
        write("day.24h", day);
        write("month.31d", QByteArray::number(first.date().day()) + " " +
                               dir.filePath("day.24h").toUtf8() + "\r\n");
        write("Cantrel.ini", "file31d=" + dir.filePath("month.31d").toUtf8() + "\r\nPort=2\r\n");
    }
    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
    }
    // Until a second after the last row.
    int msToEnd() const {
        return int(QDateTime::currentDateTime().msecsTo(first.addSecs(rows + 1)));
    }
};

// Row index -> ms from the start of its second to the request's arrival, from
// a device's log. Output 0 is the link test, output 1 the device's own
// selection at the first test; the rows' outputs tell a late request from
// the next row's.
std::map<int, double> latenessFromLog(const QString& path, const Schedule& schedule) {
    std::map<int, double> late;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return late;
    static const QRegularExpression request(
        "^(\\S+ \\d\\d:\\d\\d:\\d\\d)\\.(\\d{6}) FD 00 ([0-9A-F]{2}) ");
    const qint64 firstS = schedule.first.toSecsSinceEpoch();
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QRegularExpressionMatch m = request.match(QString::fromLatin1(line));
        if (!m.hasMatch() || m.captured(3) == "00" || m.captured(3) == "01")
            continue;
        const qint64 second =
            QDateTime::fromString(m.captured(1), "yyyy-MM-dd HH:mm:ss").toSecsSinceEpoch();
        const int output = m.captured(3).toInt(nullptr, 16);
        for (int i = int(second - firstS); i >= 0 && i > int(second - firstS) - 3; --i) {
            if (i < schedule.rows && i % 15 + 2 == output && !late.count(i)) {
                late[i] = double(second - firstS - i) * 1000.0 + m.captured(2).toDouble() / 1000.0;
                break;
            }
        }
    }
    return late;
}

struct Figures {
    double p50 = 0, p99 = 0, worst = 0;
    size_t count = 0;
};

Figures figuresOf(std::vector<double> ms) {
    Figures f;
    f.count = ms.size();
    if (ms.empty())
        return f;
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    f.p50 = at(0.50);
    f.p99 = at(0.99);
    f.worst = ms.back();
    return f;
}

std::vector<double> values(const std::map<int, double>& late) {
    std::vector<double> v;
    for (const auto& [row, ms] : late)
        v.push_back(ms);
    return v;
}

// The contender's lateness less the floor's, row by row.
std::vector<double> extraOver(const std::map<int, double>& late,
                              const std::map<int, double>& floor) {
    std::vector<double> v;
    for (const auto& [row, ms] : late)
        if (const auto f = floor.find(row); f != floor.end())
            v.push_back(ms - f->second);
    return v;
}

void put(benchmark::State& state, const std::string& name, const Figures& f) {
    state.counters[name + "_p50_ms"] = f.p50;
    state.counters[name + "_p99_ms"] = f.p99;
    state.counters[name + "_worst_ms"] = f.worst;
}

void printRow(const char* name, const Figures& f) {
    std::fprintf(stderr, "| %-28s | %5zu | %8.3f | %8.3f | %8.3f |\n", name, f.count, f.p50, f.p99,
                 f.worst);
}

// The simulated device in a folder of its own, or null after a skip.
std::unique_ptr<DevSim> startDevice(benchmark::State& state, const Schedule& schedule,
                                    const QString& name, const QStringList& extra = {}) {
    const QString dir = schedule.dir.filePath(name);
    QDir().mkpath(dir);
    auto device = std::make_unique<DevSim>(bin() + "/cantrel-devsim", dir);
    if (!device->start(QStringList{"--micro"} + extra)) {
        state.SkipWithError("cantrel-devsim did not start");
        return nullptr;
    }
    return device;
}

void waitMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(std::max(0, ms), &loop, &QEventLoop::quit);
    loop.exec();
}

// The window in this process, in Run mode on COM1 at linkPath.
struct WindowRun {
    SystemClock clock;
    ScriptedPrompter prompter;
    DesktopMediaOpener opener;
    std::unique_ptr<MainWindow> window;

    bool start(const Schedule& schedule, const QString& linkPath, bool wake = true) {
        qputenv("CANTREL_COM1", linkPath.toLocal8Bit());
        window = std::make_unique<MainWindow>(
            MainWindow::Services{&clock, &prompter, &opener, schedule.dir.path()});
        if (!window->start())
            return false;
        window->runEngine()->setWakeAtDueSeconds(wake);
        window->device().setConnection(2);
        window->monthGrid->setCell(2, schedule.first.date().day(),
                                   schedule.dir.filePath("day.24h"));
        window->runButton->click();
        return window->runEngine()->running();
    }
    void stop() {
        if (window && window->runEngine()->running())
            window->runButton->click();
    }
};

// `cantrel --run` as a process on COM1 at linkPath, with the settings in
// folder (the schedule's own, or one beside it with a run advance).
bool startHeadless(QProcess& run, const Schedule& schedule, const QString& linkPath,
                   const QString& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CANTREL_COM1", linkPath);
    env.insert("XDG_STATE_HOME", folder + "/state");
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(folder);
    run.start(bin() + "/cantrel", {"--run"});
    return run.waitForStarted();
}

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(5000))
        process.kill();
}

void BM_SideBySide(benchmark::State& state) {
    const bool busy = state.range(0) != 0;
    for (auto _ : state) {
        Schedule schedule(rowCount(), 6);
        const auto floorDevice = startDevice(state, schedule, "floor");
        const auto windowDevice = startDevice(state, schedule, "window");
        const auto headlessDevice = startDevice(state, schedule, "headless");
        // The same rows with a run advance of 1 s: each row's pulse is handed
        // to the device thread ahead of its moment.
        const auto aheadDevice = startDevice(state, schedule, "ahead");
        if (!floorDevice || !windowDevice || !headlessDevice || !aheadDevice)
            return;
        schedule.write("ahead/Cantrel.ini", "file31d=" + schedule.dir.filePath("month.31d").toUtf8() +
                                                "\r\nPort=2\r\nRunAdvance=1\r\n");
        // One core kept busy, at the same priority as everything else.
        QProcess spinner;
        if (busy) {
            spinner.start("sh", {"-c", "while :; do :; done"});
            spinner.waitForStarted();
        }
        QProcess floor;
        floor.start(bin() + "/cantrel-bench-floor",
                    {"--link", floorDevice->linkPath(), "--first",
                     QString::number(schedule.first.toSecsSinceEpoch()), "--rows",
                     QString::number(schedule.rows)});
        QProcess headless;
        QProcess ahead;
        WindowRun window;
        if (!floor.waitForStarted() ||
            !startHeadless(headless, schedule, headlessDevice->linkPath(), schedule.dir.path()) ||
            !startHeadless(ahead, schedule, aheadDevice->linkPath(), schedule.dir.filePath("ahead")) ||
            !window.start(schedule, windowDevice->linkPath())) {
            state.SkipWithError("a contender did not start");
            return;
        }
        waitMs(schedule.msToEnd());
        window.stop();
        stopProcess(headless);
        stopProcess(ahead);
        floor.waitForFinished(5000);
        stopProcess(spinner);

        const auto floorLate = latenessFromLog(floorDevice->logPath(), schedule);
        const auto windowLate = latenessFromLog(windowDevice->logPath(), schedule);
        const auto headlessLate = latenessFromLog(headlessDevice->logPath(), schedule);
        const auto aheadLate = latenessFromLog(aheadDevice->logPath(), schedule);
        const Figures f = figuresOf(values(floorLate));
        const Figures w = figuresOf(values(windowLate));
        const Figures h = figuresOf(values(headlessLate));
        const Figures wx = figuresOf(extraOver(windowLate, floorLate));
        const Figures hx = figuresOf(extraOver(headlessLate, floorLate));
        const Figures a = figuresOf(values(aheadLate));
        const Figures ax = figuresOf(extraOver(aheadLate, floorLate));
        put(state, "floor", f);
        put(state, "window", w);
        put(state, "run", h);
        put(state, "window_extra", wx);
        put(state, "run_extra", hx);
        put(state, "ahead", a);
        put(state, "ahead_extra", ax);
        std::fprintf(stderr, "\n%s, %d rows (ms after the second began)\n",
                     busy ? "one core busy" : "idle", schedule.rows);
        std::fprintf(stderr, "| %-28s | %5s | %8s | %8s | %8s |\n", "contender", "rows", "p50",
                     "p99", "worst");
        printRow("floor", f);
        printRow("window, Run mode", w);
        printRow("cantrel --run", h);
        printRow("window, extra over floor", wx);
        printRow("cantrel --run, extra", hx);
        printRow("--run, advance 1 s", a);
        printRow("--run, advance 1 s, extra", ax);
    }
}

// The link test just before every third row's second, against a device that
// answers late (after the 100 ms the read waits): those rows against the rest.
void BM_RowAfterLinkTest(benchmark::State& state) {
    for (auto _ : state) {
        Schedule schedule(rowCount(), 4);
        const auto device = startDevice(state, schedule, "late");
        if (!device)
            return;
        device->setMode("late");
        WindowRun window;
        if (!window.start(schedule, device->linkPath())) {
            state.SkipWithError("the window did not start");
            return;
        }
        QTimer* linkTest = window.window->linkTestTimer;
        linkTest->stop();
        // 50 ms before row 1's second, then every 3000 ms: rows 1, 4, 7, ...
        const qint64 phaseMs =
            QDateTime::currentDateTime().msecsTo(schedule.first.addSecs(1)) - 50;
        QTimer::singleShot(int(std::max<qint64>(0, phaseMs)), Qt::PreciseTimer, linkTest, [linkTest] {
            linkTest->setTimerType(Qt::PreciseTimer);
            linkTest->start();
            emit linkTest->timeout({});
        });
        waitMs(schedule.msToEnd());
        window.stop();
        std::map<int, double> after, others;
        for (const auto& [row, ms] : latenessFromLog(device->logPath(), schedule))
            ((row >= 1 && (row - 1) % 3 == 0) ? after : others)[row] = ms;
        const Figures a = figuresOf(values(after));
        const Figures o = figuresOf(values(others));
        put(state, "after_test", a);
        put(state, "others", o);
        std::fprintf(stderr, "\nlate device, link test 50 ms before every third row (ms)\n");
        std::fprintf(stderr, "| %-28s | %5s | %8s | %8s | %8s |\n", "rows", "rows", "p50", "p99",
                     "worst");
        printRow("right after a link test", a);
        printRow("the others", o);
    }
}

BENCHMARK(BM_SideBySide)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_RowAfterLinkTest)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
