// Map regions on a whole 256 x 256 map full of entries: every cell with
// four walls, a floor, a ceiling, an object, one event keyed to the cell and
// one parameter keyed to a side; 2,000 items and 500 monsters. Copy, the
// clipboard bytes, paste into an empty map, and paste recorded as one step
// of the project history (as the editor does it).

#include "mapedit/history.h"
#include "model/editsession.h"
#include "model/map.h"
#include "model/project.h"
#include "model/region.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace kestrune;

namespace {

struct Scene {
    Project project;
    TMap* full = nullptr;
    TRegion region;
};

Scene& TheScene()
{
    static Scene* scene = nullptr;
    if (scene)
        return *scene;
    scene = new Scene;
    Project& p = scene->project;
    p.LoadingShared = false;
    for (TListedList* library : {static_cast<TListedList*>(p.Walls.get()), static_cast<TListedList*>(p.Floors.get()),
                                 static_cast<TListedList*>(p.Ceilings.get()), static_cast<TListedList*>(p.Objects.get()),
                                 static_cast<TListedList*>(p.ItemDefs.get()), static_cast<TListedList*>(p.MonsterDefs.get())})
        for (int i = 0; i < 20; ++i)
            library->Add(library->CreateItem())->Name = "E" + std::to_string(i);
    scene->full = static_cast<TMap*>(p.Maps->Add(std::make_unique<TMap>("Full", p.Maps.get(), 256, 256)));
    TMap& map = *scene->full;
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 256; ++y) {
            TMapCell& c = map.Cell(x, y);
            for (int k = 0; k < 4; ++k)
                c.Wall(k) = static_cast<uint8_t>(1 + (x + y + k) % 20);
            c.Floor() = static_cast<uint8_t>(1 + x % 20);
            c.Ceiling() = static_cast<uint8_t>(1 + y % 20);
            c.ObjectIndex() = static_cast<uint8_t>(1 + (x * y) % 20);
            c.Orientation() = static_cast<uint8_t>((x + y) % 4);
            map.Events->Add(std::make_unique<TPar>("onEnter" + CellKey(x, y), "Message(\"cell\");"));
            map.Params->Add(std::make_unique<TPar>("light" + CellKey(x, y, (x + y) % 4), "T"));
        }
    for (int i = 0; i < 2000; ++i)
        map.AddItem(static_cast<TItemDef*>(p.ItemDefs->Element(i % 20)), (i * 7) % 256, (i * 13) % 256);
    for (int i = 0; i < 500; ++i)
        map.AddMonster(static_cast<TMonsterDef*>(p.MonsterDefs->Element(i % 20)), (i * 11) % 255, (i * 3) % 255);
    scene->region = CopyRegion(p, map, {0, 0, 255, 255});
    return *scene;
}

void BM_CopyWholeMap(benchmark::State& state)
{
    Scene& s = TheScene();
    for (auto _ : state) {
        TRegion region = CopyRegion(s.project, *s.full, {0, 0, 255, 255});
        benchmark::DoNotOptimize(region.Cells.data());
    }
    state.counters["entries"] = static_cast<double>(s.region.Events.size() + s.region.Params.size());
}

// Copy as the editor does it: the region, its clipboard bytes and its listing.
void BM_CopyWholeMapToClipboardForms(benchmark::State& state)
{
    Scene& s = TheScene();
    for (auto _ : state) {
        TRegion region = CopyRegion(s.project, *s.full, {0, 0, 255, 255});
        std::string bytes = region.ToBytes();
        std::string listing = region.Listing();
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(listing.data());
    }
}

// Paste from the clipboard bytes into an empty 256 x 256 map; range(0) 1:
// recorded as one step of the history, as the editor does.
void BM_PasteWholeMap(benchmark::State& state)
{
    Scene& s = TheScene();
    const std::string bytes = s.region.ToBytes();
    const bool recorded = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto target = std::make_unique<TMap>("Empty", s.project.Maps.get(), 256, 256);
        TMapHistory history;
        TEditSession session;
        session.OnListEdited = [&history](TListEdit& edit) { history.ListEdited(edit); };
        session.OnBeginSteps = [&history](const std::string& name) { history.BeginSteps(name); };
        session.OnEndSteps = [&history] { history.EndSteps(); };
        state.ResumeTiming();
        const auto region = TRegion::FromBytes(bytes);
        if (!recorded) {
            TPasteResult r = PasteRegion(s.project, *target, *region, 0, 255);
            benchmark::DoNotOptimize(r.Cells.data());
        } else {
            TStepGroup group(&session, "Paste region");
            TRecordListEdit events(&session, "Paste region", target.get(), target->Events.get());
            TRecordListEdit params(&session, "Paste region", target.get(), target->Params.get());
            TPasteResult r = PasteRegion(s.project, *target, *region, 0, 255);
            history.BeginStroke();
            history.CellsChanged(target.get(), r.Cells);
            for (TListedItem* placement : r.Placed)
                history.PlacementAdded(target.get(), placement);
        }
        state.PauseTiming();
        history.Clear();
        target.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_CopyWholeMap)->Unit(benchmark::kMillisecond)->UseRealTime();
// The clipboard forms alone: range(0) 0 the bytes, 1 the listing.
void BM_ClipboardForm(benchmark::State& state)
{
    Scene& s = TheScene();
    for (auto _ : state) {
        std::string form = state.range(0) == 0 ? s.region.ToBytes() : s.region.Listing();
        benchmark::DoNotOptimize(form.data());
    }
}

BENCHMARK(BM_ClipboardForm)->ArgNames({"listing"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyWholeMapToClipboardForms)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PasteWholeMap)->ArgNames({"recorded"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
