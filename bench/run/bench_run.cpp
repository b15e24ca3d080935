// The scheduler tick over a full day of one row per second, and the time from
// the tick that finds a row due to its worker's first report.

#include "app/MainWindow.h"
#include "run/DueScan.h"
#include "run/RunEngine.h"
#include "schedule/DayScheduleFile.h"
#include "schedule/StringGrid.h"
#include "support/TestDoubles.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <unistd.h>

using namespace cantrel;

namespace {

constexpr int kRows = 86400;
const QDate kToday(2026, 12, 10);

struct DayRows {
    const StringGridModel& cells;
    int rowCount() const { return cells.gridRowCount(); }
    const QString& time(int r) const { return cells.cell(1, r); }
    const QString& mark(int r) const { return cells.cell(0, r); }
};

// A window in Run mode over a day with a row in every second, output 0 and
// no media file. The benchmarks tick by hand; the run's own timer fires only
// in an event loop: never while a tick is timed, and in BM_DueToFirstReport's
// waits only on a second whose row has already started.
struct RunWindow {
    QTemporaryDir dir;
    test::FakeClock clock;
    test::ScriptedPrompter prompter;
    test::RecordingOpener opener;
    std::unique_ptr<MainWindow> form;
    qint64 reportedAt = 0;
    QElapsedTimer sinceStart;

    RunWindow() {
        QDir::setCurrent(dir.path());
        // The run's as-run log goes here, not to the user's.
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path()));
        QList<QStringList> rows;
        rows.reserve(kRows);
        for (int s = 0; s < kRows; ++s)
            rows.append({QString(), QTime(0, 0).addSecs(s).toString(QStringLiteral("HH:mm:ss")),
                         QStringLiteral("0"), QString(), QString()});
        QFile file(dir.filePath(QStringLiteral("day.24h")));
        if (!file.open(QIODevice::WriteOnly) || file.write(writeDayRows(rows)) < 0)
            qFatal("cannot write the day file");
        file.close();

        form = std::make_unique<MainWindow>(MainWindow::Services{&clock, &prompter, &opener});
        if (!form->start())
            qFatal("start-up failed");
        form->monthGrid->setCell(2, kToday.day(), file.fileName());
        // The first report of an output-0 row is its pulse: note when it runs.
        sinceStart.start();
        form->runEngine()->setPulseHook([this](int) { reportedAt = sinceStart.nsecsElapsed(); });
        clock.set(QDateTime(kToday, QTime(0, 0)));
        form->runButton->click();
        if (!form->runEngine()->running() || form->dayGrid->rowCount() != kRows + 1)
            qFatal("Run mode not entered");
    }
    void markAll(const QString& mark) {
        for (int r = 1; r <= kRows; ++r)
            form->dayGrid->setCell(0, r, mark);
    }
};

// Built once, on first use, and gone before the application object.
std::unique_ptr<RunWindow> theWindow;

RunWindow& runWindow() {
    if (!theWindow)
        theWindow = std::make_unique<RunWindow>();
    return *theWindow;
}

// A tick's row scan with no row due: every row has fired already.
void BM_TickScanLiteral(benchmark::State& state) {
    RunWindow& w = runWindow();
    w.markAll(QStringLiteral("+"));
    const DayRows rows{*w.form->dayGrid->cells()};
    for (auto _ : state) {
        DueScan scan = literalDueScan(rows, 43200, [](int) { return false; });
        benchmark::DoNotOptimize(scan);
    }
}
BENCHMARK(BM_TickScanLiteral)->Unit(benchmark::kMicrosecond);

void BM_TickScanIndexed(benchmark::State& state) {
    RunWindow& w = runWindow();
    w.markAll(QStringLiteral("+"));
    const StringGridModel& cells = *w.form->dayGrid->cells();
    DueIndex index;
    index.watch(&cells, 1);
    for (auto _ : state) {
        DueScan scan = index.scan(
            DayRows{cells}, 43200, [](int) { return false; }, cells.structureVersion());
        benchmark::DoNotOptimize(scan);
    }
}
BENCHMARK(BM_TickScanIndexed)->Unit(benchmark::kMicrosecond);

// The whole tick as the timer runs it in Run mode: clock, day check, scan and
// the next row shown.
void BM_TimerTimerNoRowDue(benchmark::State& state) {
    RunWindow& w = runWindow();
    w.markAll(QStringLiteral("+"));
    w.clock.set(QDateTime(kToday, QTime(12, 0)));
    // Once untimed: the first tick passes over the seconds since the last one.
    w.form->runEngine()->tick();
    for (auto _ : state)
        w.form->runEngine()->tick();
    if (!w.form->runEngine()->running() || w.form->windowTitle() != kRunModeTitle)
        state.SkipWithError("the tick ended Run mode");
}
BENCHMARK(BM_TimerTimerNoRowDue)->Unit(benchmark::kMicrosecond);

// From the tick that finds a row due to the worker's first report running on
// the GUI thread, for 1000 rows in turn.
void BM_DueToFirstReport(benchmark::State& state) {
    RunWindow& w = runWindow();
    w.markAll(QString());
    std::vector<double> micros;
    for (auto _ : state) {
        micros.clear();
        for (int k = 0; k < 1000; ++k) {
            const int second = 36000 + k;
            w.clock.set(QDateTime(kToday, QTime(0, 0).addSecs(second)));
            w.reportedAt = 0;
            const qint64 start = w.sinceStart.nsecsElapsed();
            w.form->runEngine()->tick();
            while (w.reportedAt == 0)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            micros.push_back(double(w.reportedAt - start) / 1000.0);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["worst_us"] = micros.back();
}
BENCHMARK(BM_DueToFirstReport)->Iterations(1)->Unit(benchmark::kMillisecond);

// Prints the literal scan's time over the indexed one's after the table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto literal = times_.find("BM_TickScanLiteral");
        const auto indexed = times_.find("BM_TickScanIndexed");
        if (literal != times_.end() && indexed != times_.end() && indexed->second > 0)
            std::printf("tick scan over %d rows, literal / indexed: %.0fx\n", kRows,
                        literal->second / indexed->second);
    }

  private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    theWindow.reset();
    benchmark::Shutdown();
    return 0;
}
