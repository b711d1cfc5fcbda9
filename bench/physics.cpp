#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "physics/Knode.h"
#include "physics/Kworld.h"
#include "physics/Random.h"
#include "physics/matrix_impl.h"

namespace {

void fillMatrices(float* a, float* b) {
    brumelo::seedRandom(99);
    for (int i = 0; i < 16; ++i) {
        a[i] = brumelo::randomFraction() - 0.5f;
        b[i] = brumelo::randomFraction() * 0.01f + (i % 5 == 0 ? 1.0f : 0.0f);
    }
}

// In place, as the integrator uses it: each product feeds the next.
template <void (*Mul)(const float*, const float*, float*)>
void BM_Matrix4MulChained(benchmark::State& state) {
    alignas(16) float a[16], b[16];
    fillMatrices(a, b);
    for (auto _ : state) {
        Mul(a, b, a);
        benchmark::DoNotOptimize(a);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Matrix4MulChained<brumelo::Matrix4MulVector>)->Name("BM_Matrix4MulVector");
BENCHMARK(BM_Matrix4MulChained<brumelo::Matrix4MulScalar>)->Name("BM_Matrix4MulScalar");

// Many independent states times one step matrix, as a world pass does: throughput per product.
template <void (*Mul)(const float*, const float*, float*)>
void BM_Matrix4MulBatch(benchmark::State& state) {
    constexpr int kStates = 256;
    alignas(16) static float states[kStates][16];
    alignas(16) float a[16], b[16];
    fillMatrices(a, b);
    for (auto& m : states) std::copy(a, a + 16, m);
    for (auto _ : state) {
        for (auto& m : states) Mul(m, b, m);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kStates);
}
BENCHMARK(BM_Matrix4MulBatch<brumelo::Matrix4MulVector>)->Name("BM_Matrix4MulVectorBatch");
BENCHMARK(BM_Matrix4MulBatch<brumelo::Matrix4MulScalar>)->Name("BM_Matrix4MulScalarBatch");

void BM_NodeSubStep(benchmark::State& state) {
    Kworld world(nullptr);
    auto node = Knode::initWithParams(0, 0, 0, 1, 1, 0, nullptr, 0, &world);
    node->setGravityFactor(1.0);
    const _Vector3f g{0.0, 1.0, 0.0};
    for (auto _ : state) {
        node->updateSimpleEulerStepVFP_matrixWithGravity(0.02, g);
        // Keep the node near the origin so the numbers stay ordinary.
        node->data[3] = node->data[7] = 0.0f;
        node->data[2] = node->data[6] = 0.0f;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NodeSubStep);

// A screenful of discs inside walls, each in one of four inter groups and in an intra group by
// column: the arrangement the steam screen uses. Reports the time per node per sub-step.
void BM_WorldSubStep(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    brumelo::seedRandom(7);
    Kworld world(nullptr);
    for (int i = 0; i < count; ++i) {
        const float x = (brumelo::randomFraction() - 0.5f) * 316.0f;
        const float y = (brumelo::randomFraction() - 0.5f) * 476.0f;
        auto n = Knode::initWithParams(x, y, 0, 1.0f, 1.5f, 0, nullptr, 0, &world);
        n->setGravityFactor(30.0);
        n->setBounceLeftLimit(-160);
        n->setBounceRightLimit(160);
        n->setBounceBottomLimit(-240);
        n->setBounceTopLimit(240);
        n->setElasticity(0.3);
        // Inter groups pair every node with three quarters of the others: too many for a large
        // world, so the large case keeps only the grid.
        if (count <= 2000) n->setInterCollisionGroup(i % 4);
        // Intra groups are 8 x 12 cells of 40 points.
        const int column = static_cast<int>((x + 160.0f) / 40.0f);
        const int row = static_cast<int>((y + 240.0f) / 40.0f);
        n->setIntraCollisionGroup(4 + row * 8 + column);
    }
    for (auto _ : state) world.updatePhysics(0.02, nullptr);
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["per_node_substep"] =
        benchmark::Counter(static_cast<double>(state.iterations() * count),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WorldSubStep)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
