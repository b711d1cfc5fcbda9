// Whole frames of a headless run: a finger stroking the glass while droplets run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "app/AlertView.h"
#include "app/Program.h"

// Every allocation of our code (the GL driver's own do not pass here). GCC sees new and delete
// of one heap in one file and takes them for a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
std::atomic<long> allocations{0};

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;

brumelo::Settings benchSettings(const std::string& name, int renderScale = 1) {
    auto dir = std::filesystem::temp_directory_path() / ("brumelo-bench-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    brumelo::Settings s;
    s.headless = true;
    s.seed = 11;
    s.dataDir = dir.string();
    s.resourceDir = std::string(BRUMELO_SOURCE_DIR) + "/resources";
    s.deviceModel = "Bench";
    s.renderScale = renderScale;
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

// A frame's CPU at 1, 2 and 3 pixels a point (the first argument), in the classic look (0) or
// the glass look (1).
void frameWithStrokeAndDroplets(benchmark::State& state, bool fullRedraw,
                                const std::string& camera = "") {
    brumelo::Settings settings = benchSettings("frame", static_cast<int>(state.range(0)));
    settings.look = state.range(1) ? brumelo::Look::Glass : brumelo::Look::Classic;
    settings.fullRedraw = fullRedraw;
    settings.cameraPipeline = camera;
    settings.cameraAsked = !camera.empty();
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
    ms.reserve(static_cast<std::size_t>(state.max_iterations));
    int step = 0;
    // Settle first: the driver compiles what the frame needs once.
    for (; step < 20; ++step) {
        const double a = 0.15 * step;
        program.deliver(touch(Kind::TouchMove, 160 + 100 * std::cos(a), 240 + 150 * std::sin(a)));
        program.stepFrame();
    }
    const long allocationsBefore = allocations.load();
    for (auto _ : state) {
        // The finger circles, so the stroke goes on for as long as we measure.
        const double a = 0.15 * step++;
        program.deliver(touch(Kind::TouchMove, 160 + 100 * std::cos(a), 240 + 150 * std::sin(a)));
        const auto t0 = Clock::now();
        program.stepFrame();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    state.counters["allocs_per_frame"] =
        static_cast<double>(allocations.load() - allocationsBefore) /
        static_cast<double>(std::max<std::size_t>(ms.size(), 1));
    program.deliver(touch(Kind::TouchUp, 160, 240));
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        state.counters["median_ms"] = ms[ms.size() / 2];
        state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    }
    state.counters["peak_MiB"] = peakMemoryMiB();
}
void BM_FrameWithStrokeAndDroplets(benchmark::State& state) {
    frameWithStrokeAndDroplets(state, false);
}
// The same, every frame redrawn whole, as when blowing or thinning steam changes it all.
void BM_FullRedrawWithStrokeAndDroplets(benchmark::State& state) {
    frameWithStrokeAndDroplets(state, true);
}
// The live camera behind the steam: a new 640 x 480 frame every frame, so all is redrawn.
void BM_CameraFrameWithStrokeAndDroplets(benchmark::State& state) {
    frameWithStrokeAndDroplets(state, false,
                               "videotestsrc pattern=smpte horizontal-speed=10"
                               " ! video/x-raw,format=RGBA,width=640,height=480,framerate=30/1");
}
// Process CPU time, since the GL rasteriser and the camera's pipeline work on threads of their
// own.
BENCHMARK(BM_CameraFrameWithStrokeAndDroplets)
    ->ArgNames({"scale", "glass"})
    ->ArgsProduct({{1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(300)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_FullRedrawWithStrokeAndDroplets)
    ->ArgNames({"scale", "glass"})
    ->ArgsProduct({{1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(500)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_FrameWithStrokeAndDroplets)
    ->ArgNames({"scale", "glass"})
    ->ArgsProduct({{1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(500)
    ->MeasureProcessCPUTime();

}  // namespace
