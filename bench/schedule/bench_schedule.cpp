// A full day at one row per second: the largest schedule the editor can hold.

#include "schedule/DayScheduleFile.h"
#include "schedule/TimeOrder.h"

#include <QFile>
#include <QTemporaryFile>

#include <benchmark/benchmark.h>

using namespace cantrel;

namespace {

constexpr int secondsPerDay = 86400;

const QByteArray& dayFileBytes() {
    static const QByteArray bytes = [] {
        QByteArray out;
        for (int s = 0; s < secondsPerDay; ++s) {
            out += QStringLiteral(
                       "%1:%2:%3,%4,\"Cue %5, part %6\",\"/home/op/My Media/clip %5.mp3\"\r\n")
                       .arg(s / 3600, 2, 10, QChar('0'))
                       .arg(s / 60 % 60, 2, 10, QChar('0'))
                       .arg(s % 60, 2, 10, QChar('0'))
                       .arg(s % 17)
                       .arg(s)
                       .arg(s % 4 + 1)
                       .toUtf8();
        }
        return out;
    }();
    return bytes;
}

void BM_ReadDayRows(benchmark::State& state) {
    const QByteArray& bytes = dayFileBytes();
    for (auto _ : state) {
        QList<QStringList> rows = readDayRows(bytes);
        benchmark::DoNotOptimize(rows);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ReadDayRows)->Unit(benchmark::kMillisecond);

void BM_WriteDayRows(benchmark::State& state) {
    const QList<QStringList> rows = readDayRows(dayFileBytes());
    for (auto _ : state) {
        QByteArray bytes = writeDayRows(rows);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(state.iterations() * dayFileBytes().size());
}
BENCHMARK(BM_WriteDayRows)->Unit(benchmark::kMillisecond);

// The floor for a load: getting the same bytes off the disk and nothing more.
void BM_ReadFileOnly(benchmark::State& state) {
    QTemporaryFile file;
    if (!file.open() || file.write(dayFileBytes()) != dayFileBytes().size() || !file.flush()) {
        state.SkipWithError("cannot write the temporary file");
        return;
    }
    file.close();
    for (auto _ : state) {
        QFile in(file.fileName());
        if (!in.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot read the temporary file");
            return;
        }
        QByteArray bytes = in.readAll();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(state.iterations() * dayFileBytes().size());
}
BENCHMARK(BM_ReadFileOnly)->Unit(benchmark::kMillisecond);

// What Insert hands the sort: a schedule already in order plus one new row
// at the end.
std::vector<std::optional<int>> sortedPlusOne(int rows) {
    std::vector<std::optional<int>> times(rows);
    for (int k = 0; k < rows; ++k)
        times[k] = static_cast<int>(static_cast<long long>(k) * secondsPerDay / rows);
    times.push_back(secondsPerDay / 2);
    return times;
}

template <TimeOrderResult (*Order)(const std::vector<std::optional<int>>&, int)>
void BM_Order(benchmark::State& state) {
    const auto times = sortedPlusOne(static_cast<int>(state.range(0)));
    const int selected = static_cast<int>(times.size()) - 1;
    for (auto _ : state) {
        TimeOrderResult result = Order(times, selected);
        benchmark::DoNotOptimize(result);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Order<orderByTime>)
    ->Name("BM_OrderByTime")
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(86400)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK(BM_Order<orderByTimeLiteral>)
    ->Name("BM_OrderByTimeLiteral")
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNSquared);

} // namespace

BENCHMARK_MAIN();
