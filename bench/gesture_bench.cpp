// A drag stroke across 256 cells of a 256 x 256 map at zoom 6, painted
// through the map view as the editor does: every step paints one cell and
// repaints what changed. Reports the cells drawn per step.

#include "mapedit/gestures.h"
#include "mapedit/history.h"
#include "mapedit/maparea.h"
#include "controls/userdialogs.h"
#include "model/project.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <malloc.h>
#include <memory>

using namespace kestrune;

namespace {

class BenchHost : public TGestureHost {
public:
    TMapArea* area = nullptr;
    TMap* map = nullptr;
    TMap* CurrentMap() override { return map; }
    int SelectedIndex() override { return 0; }
    void SelectByIndex(int) override {}
    void FocusTree() override {}
    void SetModified() override {}
    void ShowCursorLists() override {}
    void ShowElement(TListedItem*) override {}
    TListedItem* ShownElement() override { return nullptr; }
    bool TreeHasSelection() override { return true; }
    void RepaintCell(int x, int y) override { area->RepaintCell(x, y); }
    void RepaintAll() override { area->RepaintAll(); }
    void PlacementsChanged() override {}
};

void BM_DragStroke256CellsZoom6(benchmark::State& state)
{
    Project project;
    project.LoadingShared = false;
    project.Zoom = 6;
    auto* floor = static_cast<TListedItem*>(project.Floors->Add(project.Floors->CreateItem()));
    floor->Name = "Floor";
    for (auto& row : floor->PatternCells)
        for (auto& cell : row)
            cell = 10;
    project.PrepareMapPictures();
    TMap* map = static_cast<TMap*>(project.Maps->Add(std::make_unique<TMap>("Big", project.Maps.get(), 256, 256)));
    project.CurrentKind = 2;

    TMapArea area(project);
    // Wide enough to show the whole row, so that every step of the stroke is
    // really painted and counted.
    area.resize(256 * 13 * 6 + 40, 1080);
    area.show();
    // Scrolled so that the stroke's row is in view.
    map->ScrollV = (map->SizeY - 1 - 200) * 13 * 6 - 400;
    area.ShowMap(map);
    QApplication::processEvents();
    BenchHost host;
    host.area = &area;
    host.map = map;
    class NoDialogs : public UserDialogs {
        void Error(const std::string&) override {}
        bool Confirm(const std::string&) override { return false; }
        Answer YesNoCancel(const std::string&) override { return Answer::Cancel; }
        std::optional<std::string> Input(const std::string&, const std::string&, const std::string&) override
        {
            return std::nullopt;
        }
        std::optional<std::string> OpenPicture(const std::string&, const std::string&) override { return std::nullopt; }
    } dialogs;
    TMapGestures gestures(project, dialogs, host);

    const int c = 13 * 6;
    long long cells = 0, steps = 0;
    for (auto _ : state) {
        // A stroke along row 200 from column 0 to 255, the first cell pressed.
        const int py = (map->SizeY - 1 - 200) * c + c / 2;
        const long long before = area.View()->CellsDrawn;
        gestures.PressCell(TMapGestures::Source::Mouse, Qt::LeftButton, c / 2, py);
        QApplication::processEvents();
        for (int x = 1; x < 256; ++x) {
            gestures.MouseMove(Qt::LeftButton, x * c + c / 2, py);
            QApplication::processEvents();
        }
        cells += area.View()->CellsDrawn - before;
        steps += 256;
    }
    state.counters["cells_drawn_per_step"] = static_cast<double>(cells) / static_cast<double>(steps);
    state.counters["visible_cells"] = static_cast<double>(area.View()->CellsIn(area.viewport()->rect().translated(
        -area.View()->pos())).LastX + 1);
}

// 10,000 strokes of 50 cells each on a 256 x 256 map recorded in the
// history, then every one of them undone. Reports the heap the history holds
// and the time of the undo of all of them.
void BM_History10000Strokes(benchmark::State& state)
{
    Project project;
    project.LoadingShared = false;
    TMap* map = static_cast<TMap*>(project.Maps->Add(std::make_unique<TMap>("Big", project.Maps.get(), 256, 256)));
    double bytes = 0, undoMs = 0;
    for (auto _ : state) {
        TMapHistory history;
        history.Stack().setUndoLimit(0); // every step kept
        const size_t before = mallinfo2().uordblks;
        for (int stroke = 0; stroke < 10000; ++stroke) {
            history.BeginStroke();
            for (int i = 0; i < 50; ++i) {
                const int x = (stroke * 7 + i) % 256, y = (stroke * 13 + i * 3) % 256;
                TMapCell& cell = map->Cell(x, y);
                const int was = cell.Floor();
                cell.SetSlot(4, (was + 1) % 200);
                history.CellChanged(map, x, y, 4, was, cell.Floor());
            }
        }
        bytes = static_cast<double>(mallinfo2().uordblks - before);
        const auto start = std::chrono::steady_clock::now();
        while (history.Stack().canUndo())
            history.Stack().undo();
        undoMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["history_MiB"] = bytes / (1024.0 * 1024.0);
    state.counters["undo_all_ms"] = undoMs;
}

} // namespace

BENCHMARK(BM_DragStroke256CellsZoom6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_History10000Strokes)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
