// How late a row's pulse reaches the device after the start of its second:
// a row every second on the simulated device over a serial line, measured
// from the device's own log. The window (built offscreen, in this process)
// with and without the wake-up at due seconds, and `cantrel --run` as a
// process. CANTREL_BENCH_ROWS sets the number of rows (200).
#include "app/MainWindow.h"
#include "device/DeviceTestSupport.h"
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "run/RunEngine.h"
#include "schedule/StringGrid.h"
#include "support/TestDoubles.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
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

    explicit Schedule(int count) : first(QDateTime::currentDateTime().addSecs(4)), rows(count) {
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

// The ms into its second at which each output request reached the device.
std::vector<double> latenessFromLog(const QString& path) {
    QFile file(path);
    std::vector<double> ms;
    if (!file.open(QIODevice::ReadOnly))
        return ms;
    static const QRegularExpression request("^\\S+ \\d\\d:\\d\\d:\\d\\d\\.(\\d{3}) FD 00 ([0-9A-F]{2}) ");
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QRegularExpressionMatch m = request.match(QString::fromLatin1(line));
        // Output 0 is the link test, output 1 the device's own selection at the first test.
        if (m.hasMatch() && m.captured(2) != "00" && m.captured(2) != "01")
            ms.push_back(m.captured(1).toDouble());
    }
    return ms;
}

void report(benchmark::State& state, std::vector<double> ms, int rows) {
    if (ms.empty()) {
        state.SkipWithError("no pulse reached the device");
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    state.counters["rows"] = double(rows);
    state.counters["pulses"] = double(ms.size());
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["worst_ms"] = ms.back();
}

// The simulated device for a schedule, or a skip when it did not start.
std::unique_ptr<DevSim> startDevice(benchmark::State& state, const Schedule& schedule) {
    auto device = std::make_unique<DevSim>(bin() + "/cantrel-devsim", schedule.dir.path());
    if (!device->start()) {
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

void windowRun(benchmark::State& state, bool wake) {
    for (auto _ : state) {
        Schedule schedule(rowCount());
        const std::unique_ptr<DevSim> device = startDevice(state, schedule);
        if (!device)
            return;
        qputenv("CANTREL_COM1", device->linkPath().toLocal8Bit());
        SystemClock clock;
        ScriptedPrompter prompter;
        DesktopMediaOpener opener;
        MainWindow window({&clock, &prompter, &opener, schedule.dir.path()});
        if (!window.start()) {
            state.SkipWithError("the window did not start");
            return;
        }
        window.runEngine()->setWakeAtDueSeconds(wake);
        window.device().setConnection(2);
        window.monthGrid->setCell(2, schedule.first.date().day(),
                                  schedule.dir.filePath("day.24h"));
        window.runButton->click();
        waitMs(schedule.msToEnd());
        window.runButton->click();
        report(state, latenessFromLog(device->logPath()), schedule.rows);
    }
}

void BM_WindowTickAlone(benchmark::State& state) {
    windowRun(state, false);
}
void BM_WindowOnTheSecond(benchmark::State& state) {
    windowRun(state, true);
}

void BM_HeadlessOnTheSecond(benchmark::State& state) {
    for (auto _ : state) {
        Schedule schedule(rowCount());
        const std::unique_ptr<DevSim> device = startDevice(state, schedule);
        if (!device)
            return;
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CANTREL_COM1", device->linkPath());
        env.insert("XDG_STATE_HOME", schedule.dir.filePath("state"));
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(schedule.dir.path());
        run.start(bin() + "/cantrel", {"--run"});
        if (!run.waitForStarted()) {
            state.SkipWithError("cantrel --run did not start");
            return;
        }
        waitMs(schedule.msToEnd());
        ::kill(pid_t(run.processId()), SIGTERM);
        run.waitForFinished(5000);
        report(state, latenessFromLog(device->logPath()), schedule.rows);
    }
}

BENCHMARK(BM_WindowTickAlone)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_WindowOnTheSecond)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_HeadlessOnTheSecond)->Iterations(1)->Unit(benchmark::kSecond);

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
