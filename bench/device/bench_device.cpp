// How long the GUI thread is held by one output: a serial exchange with a
// device that answers at once, and a parallel pulse as the port trace saw it.

#include "DeviceTestSupport.h"
#include "device/DeviceLink.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

using namespace cantrel;
using cantrel::test::DevSim;
using cantrel::test::RecordingView;

namespace {

void reportSpread(benchmark::State& state, std::vector<double> ms, const char* name) {
    if (ms.empty()) {
        return;
    }
    std::sort(ms.begin(), ms.end());
    state.counters[std::string(name) + "_median_ms"] = ms[ms.size() / 2];
    state.counters[std::string(name) + "_worst_ms"] = ms.back();
}

void SerialExchange(benchmark::State& state) {
    QTemporaryDir dir;
    DevSim device(QCoreApplication::applicationDirPath() + "/cantrel-devsim", dir.path());
    if (!device.start()) {
        state.SkipWithError("cantrel-devsim did not start");
        return;
    }
    qputenv("CANTREL_COM1", device.linkPath().toLocal8Bit());
    DeviceLink link(QStringList{});
    RecordingView view;
    view.watch(link);
    link.setConnection(2);
    if (!link.serialOpen()) {
        state.SkipWithError("COM1 did not open");
        return;
    }
    // Output 3 is the device's selection all along: every exchange only reads Link OK.
    link.setSelectedOutput(3);
    view.take();
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        link.pulseOutput(3);
        const double elapsed = clock.nsecsElapsed() / 1e6;
        state.SetIterationTime(elapsed / 1000);
        ms.push_back(elapsed);
    }
    if (view.events.count("link Link OK") != view.events.size()) {
        state.SkipWithError("an exchange did not read Link OK");
    }
    reportSpread(state, ms, "call");
}
BENCHMARK(SerialExchange)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

void ParallelPulse(benchmark::State& state) {
    QTemporaryDir dir;
    const QString trace = dir.filePath("ports.trace");
    qputenv("CANTREL_PORT_TRACE", trace.toLocal8Bit());
    qputenv("CANTREL_PARPORT_378", "/nonexistent/parport"); // the trace only, never real lines
    DeviceLink link({QCoreApplication::applicationDirPath() + "/inpout32"});
    try {
        link.loadPortLibrary();
    } catch (const ProgramError& failure) {
        state.SkipWithError(failure.what());
        return;
    }
    std::vector<double> call, traced;
    for (auto _ : state) {
        QFile::remove(trace);
        QElapsedTimer clock;
        clock.start();
        link.pulseOutput(3);
        const double elapsed = clock.nsecsElapsed() / 1e6;
        state.SetIterationTime(elapsed / 1000);
        call.push_back(elapsed);

        state.PauseTiming();
        QFile file(trace);
        if (file.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = file.readAll().split('\n');
            if (lines.size() >= 2) {
                const auto stamp = [](const QByteArray& line) {
                    return QDateTime::fromString(QString::fromLatin1(line.left(23)),
                                                 QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
                };
                traced.push_back(double(stamp(lines[0]).msecsTo(stamp(lines[1]))));
            }
        }
        state.ResumeTiming();
    }
    link.unloadPortLibrary();
    reportSpread(state, call, "call");
    reportSpread(state, traced, "trace");
}
BENCHMARK(ParallelPulse)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
