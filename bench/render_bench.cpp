// Map drawing: a 256 x 256 map whose every cell has a floor, an object and
// four walls, drawn whole at zoom 1 and as a 1920 x 1080 view at zoom 3,
// with 10,000 cell-keyed events and 10,000 cell-keyed parameters and with
// none.

#include "model/pngwriter.h"
#include "model/project.h"
#include "model/region.h"
#include "model/render.h"

#include <benchmark/benchmark.h>

#include <QBuffer>

#include <memory>
#include <random>
#include <string>

using namespace kestrune;

namespace {

struct Scene {
    Project project;
    TMap* map = nullptr;
};

// The map, with or without its keyed events and parameters.
Scene& TheScene(bool keyed)
{
    static Scene* scenes[2] = {nullptr, nullptr};
    Scene*& scene = scenes[keyed ? 1 : 0];
    if (scene)
        return *scene;
    scene = new Scene;
    Project& p = scene->project;
    p.LoadingShared = false;
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> colour(0, 33);
    for (TListedList* library : {static_cast<TListedList*>(p.Walls.get()), static_cast<TListedList*>(p.Floors.get()),
                                 static_cast<TListedList*>(p.Objects.get())})
        for (int i = 0; i < 8; ++i) {
            auto* e = static_cast<TListedItem*>(library->Add(library->CreateItem()));
            e->Name = "E" + std::to_string(i);
            for (auto& row : e->PatternCells)
                for (auto& cell : row)
                    cell = static_cast<uint8_t>(colour(rng));
        }
    scene->map = static_cast<TMap*>(p.Maps->Add(std::make_unique<TMap>("Big", p.Maps.get(), 256, 256)));
    TMap& map = *scene->map;
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 256; ++y) {
            TMapCell& c = map.Cell(x, y);
            for (int k = 0; k < 4; ++k)
                c.Wall(k) = static_cast<uint8_t>(1 + (x + y + k) % 8);
            c.Floor() = static_cast<uint8_t>(1 + x % 8);
            c.ObjectIndex() = static_cast<uint8_t>(1 + y % 8);
            c.Orientation() = static_cast<uint8_t>((x + y) % 4);
        }
    if (keyed) {
        std::uniform_int_distribution<int> cell(0, 255), side(0, 3);
        for (int i = 0; i < 10000; ++i) {
            const int x = cell(rng), y = cell(rng);
            const std::string key = i % 2 ? CellKey(x, y) : CellKey(x, y, side(rng));
            map.Events->Add(std::make_unique<TPar>("onEvent" + std::to_string(i) + key, "Run();"));
            map.Params->Add(std::make_unique<TPar>("param" + std::to_string(i) + key, "T"));
        }
    }
    return *scene;
}

void Prepare(Project& p, int zoom)
{
    p.Zoom = zoom;
    for (TListedList* library : {static_cast<TListedList*>(p.Walls.get()), static_cast<TListedList*>(p.Floors.get()),
                                 static_cast<TListedList*>(p.Objects.get())})
        PrepareAllPictures(*library);
}

// range(0): keyed entries or not; range(1): browser kind; range(2): direct variant.
void BM_WholeMapZoom1(benchmark::State& state)
{
    Scene& s = TheScene(state.range(0) != 0);
    Prepare(s.project, 1);
    s.project.MapDirectDraw = state.range(2) != 0;
    QImage image(256 * 13, 256 * 13, QImage::Format_RGB32);
    TCanvas canvas(image);
    const int kind = static_cast<int>(state.range(1));
    for (auto _ : state) {
        if (s.project.MapDirectDraw)
            s.map->DrawAreaDirect(canvas, kind, {0, 255, 0, 255});
        else
            s.map->DrawArea(canvas, kind, {0, 255, 0, 255});
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_ViewZoom3(benchmark::State& state)
{
    Scene& s = TheScene(state.range(0) != 0);
    Prepare(s.project, 3);
    s.project.MapDirectDraw = state.range(2) != 0;
    // The view shows 1920 x 1080 pixels of the map, in the middle of it.
    const int c = 13 * 3;
    QImage image(256 * c, 256 * c, QImage::Format_RGB32);
    TCanvas canvas(image);
    const int firstX = 100, lastX = firstX + (1920 + c - 1) / c;
    const int topRow = 100, rows = (1080 + c - 1) / c;
    const TCellRange range{firstX, lastX, 255 - topRow - rows, 255 - topRow};
    const int kind = static_cast<int>(state.range(1));
    for (auto _ : state) {
        if (s.project.MapDirectDraw)
            s.map->DrawAreaDirect(canvas, kind, range);
        else
            s.map->DrawArea(canvas, kind, range);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["cells"] = static_cast<double>((lastX - firstX + 1) * (rows + 1));
}

// The repaint after a paste: a 64 x 64 region copied from the corner of the
// keyed map and pasted in its middle, its cells drawn at zoom 3 as the view
// redraws them. range(0): browser kind; range(1): direct variant.
void BM_PastedRegionZoom3(benchmark::State& state)
{
    Scene& s = TheScene(true);
    static bool pasted = false;
    if (!pasted) {
        pasted = true;
        const TRegion region = CopyRegion(s.project, *s.map, {0, 0, 63, 63});
        PasteRegion(s.project, *s.map, region, 100, 163);
    }
    Prepare(s.project, 3);
    s.project.MapDirectDraw = state.range(1) != 0;
    const int c = 13 * 3;
    QImage image(64 * c, 64 * c, QImage::Format_RGB32);
    TCanvas canvas(image);
    canvas.SetOrigin(100 * c, (255 - 163) * c);
    const int kind = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (s.project.MapDirectDraw)
            s.map->DrawAreaDirect(canvas, kind, {100, 163, 100, 163});
        else
            s.map->DrawArea(canvas, kind, {100, 163, 100, 163});
        benchmark::DoNotOptimize(image.constBits());
    }
}


// A whole map as the tool's render writes it: drawn at zoom 3 (9,984 pixels a
// side) and encoded as PNG. range(0): 0 the toolkit's own PNG writer at its
// default settings, 1 libpng with every row "Up" filtered (what the tool does).
void BM_RenderToPng(benchmark::State& state)
{
    Scene& s = TheScene(false);
    Prepare(s.project, 3);
    s.project.MapDirectDraw = false;
    const int c = 13 * 3;
    QImage image(256 * c, 256 * c, QImage::Format_RGB32);
    TCanvas canvas(image);
    size_t bytes = 0;
    for (auto _ : state) {
        image.fill(Qt::white);
        s.map->DrawArea(canvas, 4, {0, 255, 0, 255});
        if (state.range(0) == 0) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            bytes = static_cast<size_t>(png.size());
        } else {
            bytes = EncodePng(image).size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["png_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace

BENCHMARK(BM_WholeMapZoom1)
    ->ArgNames({"keyed", "kind", "direct"})
    ->Args({0, 4, 0})->Args({1, 4, 0})->Args({0, 1, 0})->Args({1, 1, 0})->Args({1, 4, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewZoom3)
    ->ArgNames({"keyed", "kind", "direct"})
    ->Args({0, 4, 0})->Args({1, 4, 0})->Args({0, 1, 0})->Args({1, 1, 0})->Args({0, 4, 1})->Args({1, 4, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_RenderToPng)->ArgNames({"libpng_up"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// Last: the paste changes the keyed map.
BENCHMARK(BM_PastedRegionZoom3)
    ->ArgNames({"kind", "direct"})
    ->Args({4, 0})->Args({1, 0})->Args({4, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
