// The steam screen's model work per frame: seven droplets with trails and a fast finger stroke
// (100 points a frame, 46 marks), without drawing.
#include <benchmark/benchmark.h>

#include <memory>

#include "physics/Knode.h"
#include "physics/Random.h"
#include "render/Touch.h"
#include "render/Viewport.h"
#include "steam/Droplet.h"
#include "steam/DropletsScreen.h"
#include "steam/FrostedGlass.h"
#include "steam/SurfaceTrack.h"

namespace {

// What drawing would do with the marks: ask the world to drop them.
void dropMarks(DropletsScreen& screen, SurfaceTrack& track) {
    for (const auto& mark : track.points()) screen.removeNode(mark.get());
    track.removeDrawnNodes();
}

void BM_SteamFrame(benchmark::State& state) {
    brumelo::seedRandom(3);
    Viewport viewport({0, 0, 1}, 320, 480, 0, 0);
    DropletsScreen screen(&viewport);
    screen.setGravityVector({0.3, 1.0, 0});
    Touch finger{1, 1, 0, 0};
    int frame = 0;
    for (auto _ : state) {
        while (screen.droplets().size() < DropletsScreen::kMaxDroplets) screen.addRandomDroplet();
        double x = (frame % 2) ? 50.0 : -50.0;
        screen.addTrackPoint(finger, {x, 0, 0});
        dropMarks(screen, *screen.fingerTracks().at(1));
        for (const auto& d : screen.droplets()) dropMarks(screen, *d->track());
        screen.updatePhysics(0.02, &viewport);
        ++frame;
    }
    state.counters["nodes"] = static_cast<double>(screen.nodes().size());
}
BENCHMARK(BM_SteamFrame);

// The glass look's fogged view of a background, made once for each: a 1280 x 1920 photo over
// the pane at 1, 2 and 3 pixels a point.
void BM_FrostedView(benchmark::State& state) {
    std::vector<std::uint8_t> photo(1280u * 1920u * 4u);
    for (std::size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    frost::Picture picture{photo.data(), 1280, 1280, 1920, 320, 480};
    const auto density = static_cast<float>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(frost::frostedPixels(picture, 320, 480, density).data());
}
BENCHMARK(BM_FrostedView)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
