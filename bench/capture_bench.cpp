// The picture's share of a screenshot: encoding a real capture as PNG, and
// drawing marks on it. NUVRA_BENCH_PNG names the picture (bench/
// screenshot_bench.py passes one the tool wrote); without it these skip.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "capture/marks.h"
#include "capture/png.h"

namespace nuvra {
namespace {

std::optional<ScreenImage> capture() {
    const char* path = std::getenv("NUVRA_BENCH_PNG");
    if (path == nullptr) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    return decodePng(std::string(std::istreambuf_iterator<char>(in), {}), int64_t{1} << 26);
}

void BM_EncodePng(benchmark::State& state) {
    std::optional<ScreenImage> image = capture();
    if (!image) return state.SkipWithError("NUVRA_BENCH_PNG names no picture");
    size_t bytes = 0;
    for (auto _ : state) bytes = encodePng(*image)->size();
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

// 300 elements in a grid of rows, as a marked window of that size holds.
void BM_DrawMarks(benchmark::State& state) {
    std::optional<ScreenImage> image = capture();
    if (!image) return state.SkipWithError("NUVRA_BENCH_PNG names no picture");
    std::vector<ObservedElement> elements;
    for (int64_t i = 0; i < 300; ++i)
        elements.push_back({i + 1, nullptr, "", ScreenRect{static_cast<double>(i % 3 * 400),
                                                             static_cast<double>(i / 3 * 8), 380, 30}});
    const PixelMap map({0, 0, static_cast<double>(image->width), static_cast<double>(image->height)},
                       image->width, image->height);
    for (auto _ : state) {
        ScreenImage copy = *image;
        benchmark::DoNotOptimize(drawMarks(copy, map, elements));
    }
}
BENCHMARK(BM_DrawMarks)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nuvra
