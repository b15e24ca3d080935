// The day schedule through the real window, offscreen: a whole day of rows
// loaded into the grid and saved again, and one row inserted into it.
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <benchmark/benchmark.h>

using namespace cantrel;
using namespace cantrel::test;

namespace {

constexpr int kDay = 86400;

QString hms(int s) {
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// One row per second, with quoted comments and paths.
QByteArray dayFile() {
    QByteArray bytes;
    for (int s = 0; s < kDay; ++s)
        bytes += hms(s).toLatin1() + "," + QByteArray::number(s % 17) + ",\"Bell, slot " +
                 QByteArray::number(s) + "\",\"/srv/media/jingle " + QByteArray::number(s % 50) +
                 ".wav\"\r\n";
    return bytes;
}

struct Window : MainWindowFixture {
    Window() {
        if (!start())
            qFatal("start-up failed");
        write("day.24h", dayFile());
    }
};

void BM_ReadBytesOnly(benchmark::State& state) {
    Window w;
    for (auto _ : state) {
        QFile f(w.path("day.24h"));
        f.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(f.readAll());
    }
}
BENCHMARK(BM_ReadBytesOnly)->Unit(benchmark::kMillisecond);

void BM_LoadDayIntoGrid(benchmark::State& state) {
    Window w;
    for (auto _ : state)
        w.form->loadDaySchedule(w.path("day.24h"));
    state.counters["rows"] = w.form->dayGrid->rowCount() - 1;
}
BENCHMARK(BM_LoadDayIntoGrid)->Unit(benchmark::kMillisecond);

void BM_SaveDayFromGrid(benchmark::State& state) {
    Window w;
    w.form->loadDaySchedule(w.path("day.24h"));
    for (auto _ : state)
        w.form->writeDaySchedule(w.path("out.24h"));
}
BENCHMARK(BM_SaveDayFromGrid)->Unit(benchmark::kMillisecond);

// Insert, sort included, into a sorted schedule of a whole day.
void BM_InsertIntoSortedDay(benchmark::State& state) {
    Window w;
    w.form->loadDaySchedule(w.path("day.24h"));
    const QStringList row = {"", "12:00:00", "3", "inserted", "/srv/media/x.wav"};
    for (auto _ : state) {
        w.form->dayEditGrid->setRowCells(0, row);
        w.form->insertRow();
        state.PauseTiming();
        w.form->removeRow();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InsertIntoSortedDay)->Unit(benchmark::kMillisecond);

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
