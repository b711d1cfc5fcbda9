// Whole frames of a headless run: a finger stroking the glass while droplets run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <vector>

#include "app/AlertView.h"
#include "app/Program.h"

namespace {

using Clock = std::chrono::steady_clock;

brumelo::Settings benchSettings(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("brumelo-bench-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    brumelo::Settings s;
    s.headless = true;
    s.seed = 11;
    s.dataDir = dir.string();
    s.resourceDir = std::string(BRUMELO_SOURCE_DIR) + "/resources";
    s.deviceModel = "Bench";
    return s;
}

brumelo::ScriptEvent touch(brumelo::ScriptEvent::Kind kind, double x, double y) {
    brumelo::ScriptEvent e;
    e.kind = kind;
    e.id = 1;
    e.x = x;
    e.y = y;
    return e;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_StartupToFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        brumelo::Program program(benchSettings("startup"));
        if (program.launch() != 0) {
            state.SkipWithError("launch failed");
            break;
        }
        program.stepFrame();
    }
    state.counters["peak_MiB"] = peakMemoryMiB();
}
BENCHMARK(BM_StartupToFirstFrame)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->MeasureProcessCPUTime();

// Argument 0 draws the classic look, 1 the glass look.
void BM_FrameWithStrokeAndDroplets(benchmark::State& state) {
    brumelo::Settings settings = benchSettings("frame");
    settings.look = state.range(0) ? brumelo::Look::Glass : brumelo::Look::Classic;
    brumelo::Program program(settings);
    if (program.launch() != 0) {
        state.SkipWithError("launch failed");
        return;
    }
    if (AlertView* alert = AlertView::visibleAlert()) alert->pressButton(0);
    using Kind = brumelo::ScriptEvent::Kind;
    // Droplets: a few taps.
    for (int i = 0; i < 5; ++i) {
        program.deliver(touch(Kind::TouchDown, 40.0 + 60 * i, 60));
        program.deliver(touch(Kind::TouchUp, 40.0 + 60 * i, 60));
    }
    program.deliver(touch(Kind::TouchDown, 160, 240));
    std::vector<double> ms;
    int step = 0;
    for (auto _ : state) {
        // The finger circles, so the stroke goes on for as long as we measure.
        const double a = 0.15 * step++;
        program.deliver(touch(Kind::TouchMove, 160 + 100 * std::cos(a), 240 + 150 * std::sin(a)));
        const auto t0 = Clock::now();
        program.stepFrame();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    program.deliver(touch(Kind::TouchUp, 160, 240));
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        state.counters["median_ms"] = ms[ms.size() / 2];
        state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    }
    state.counters["peak_MiB"] = peakMemoryMiB();
}
// Process CPU time, since the GL rasteriser works on threads of its own.
BENCHMARK(BM_FrameWithStrokeAndDroplets)
    ->ArgName("glass")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(500)
    ->MeasureProcessCPUTime();

}  // namespace
