#include "mapedit/gestures.h"
#include "model/project.h"
#include "shell_test_util.h"

#include <gtest/gtest.h>

namespace kestrune::test {
namespace {

class FakeGestureHost : public TGestureHost {
public:
    TMap* map = nullptr;
    int selectedIndex = -1;
    std::vector<int> selectedByIndex;
    int modified = 0, cursorLists = 0, placementChanges = 0;
    TListedItem* shown = nullptr;
    Project* project = nullptr;

    TMap* CurrentMap() override { return map; }
    int SelectedIndex() override { return selectedIndex; }
    void SelectByIndex(int position) override { selectedByIndex.push_back(position); }
    void FocusTree() override {}
    void SetModified() override { ++modified; }
    void ShowCursorLists() override { ++cursorLists; }
    void ShowElement(TListedItem* e) override
    {
        shown = e;
        project->SelectedElement = e;
    }
    TListedItem* ShownElement() override { return shown; }
    bool TreeHasSelection() override { return selectedIndex >= 0; }
    void RepaintCell(int, int) override {}
    void RepaintAll() override {}
    void PlacementsChanged() override { ++placementChanges; }
};

class Gestures : public ::testing::Test {
protected:
    void SetUp() override
    {
        p.LoadingShared = false;
        p.Zoom = 1;
        for (int i = 0; i < 6; ++i)
            p.Floors->Add(p.Floors->CreateItem())->Name = "F" + std::to_string(i);
        p.Walls->Add(p.Walls->CreateItem())->Name = "W";
        p.Objects->Add(p.Objects->CreateItem())->Name = "O";
        p.ItemDefs->Add(p.ItemDefs->CreateItem())->Name = "Key";
        p.MonsterDefs->Add(p.MonsterDefs->CreateItem())->Name = "Rat";
        map = static_cast<TMap*>(p.Maps->Add(std::make_unique<TMap>("M", p.Maps.get(), 10, 10)));
        host.map = map;
        host.project = &p;
    }
    // The pixel in the middle of a cell, or near one of its sides, at zoom 1.
    QPoint Pixel(int x, int y, int side = -1) const
    {
        const int left = x * 13, top = (map->SizeY - 1 - y) * 13;
        switch (side) {
        case 0: return {left + 6, top + 1};
        case 1: return {left + 12, top + 6};
        case 2: return {left + 6, top + 12};
        case 3: return {left + 0, top + 6};
        default: return {left + 6, top + 4};
        }
    }
    void Click(int x, int y, Qt::MouseButton b = Qt::LeftButton, int side = -1)
    {
        const QPoint px = Pixel(x, y, side);
        g.PressCell(TMapGestures::Source::Mouse, b, px.x(), px.y());
    }
    void Drag(int x, int y, Qt::MouseButtons b = Qt::LeftButton, int side = -1)
    {
        const QPoint px = Pixel(x, y, side);
        g.MouseMove(b, px.x(), px.y());
    }

    Project p;
    TMap* map = nullptr;
    ScriptedDialogs dialogs;
    FakeGestureHost host;
    TMapGestures g{p, dialogs, host};
};

TEST_F(Gestures, ClickPaintsSecondClickErasesDragPaintsEveryCell)
{
    p.CurrentKind = 2;
    host.selectedIndex = 2;
    Click(1, 1);
    EXPECT_EQ(map->Cell(1, 1).Floor(), 3);
    EXPECT_TRUE(map->Changed);
    EXPECT_GT(host.modified, 0);
    Click(1, 1);
    EXPECT_EQ(map->Cell(1, 1).Floor(), 0);
    map->Cell(3, 1).Floor() = 3;
    Click(1, 1);
    for (int x = 2; x <= 5; ++x)
        Drag(x, 1);
    for (int x = 1; x <= 5; ++x)
        EXPECT_EQ(map->Cell(x, 1).Floor(), 3) << x;
    // Out of the map nothing changes.
    g.MouseMove(Qt::LeftButton, -5, -5);
    g.MouseMove(Qt::LeftButton, 10000, 5);
    host.selectedIndex = -1; // no element: a click clears
    Click(4, 1);
    EXPECT_EQ(map->Cell(4, 1).Floor(), 0);
}

TEST_F(Gestures, WallsKeepTheSideOfThePressWhileDragging)
{
    p.CurrentKind = 1;
    host.selectedIndex = 0;
    Click(2, 2, Qt::LeftButton, 0);
    EXPECT_EQ(map->SelSide, 0);
    EXPECT_EQ(map->Cell(2, 2).Wall(0), 1);
    Drag(3, 2, Qt::LeftButton, 2);
    Drag(4, 2, Qt::LeftButton, 3);
    EXPECT_EQ(map->Cell(3, 2).Wall(0), 1);
    EXPECT_EQ(map->Cell(4, 2).Wall(0), 1);
    EXPECT_EQ(map->Cell(3, 2).Wall(2), 0);
}

TEST_F(Gestures, RightClickPicksTheCellsElement)
{
    p.CurrentKind = 2;
    map->Cell(5, 5).Floor() = 5;
    Click(5, 5, Qt::RightButton);
    Click(6, 6, Qt::RightButton);
    EXPECT_EQ(host.selectedByIndex, (std::vector<int>{4, -1}));
    EXPECT_EQ(map->Cell(5, 5).Floor(), 5);
}

TEST_F(Gestures, ElementsBeyondThe255thAreRefused)
{
    p.CurrentKind = 2;
    host.selectedIndex = 255;
    map->Cell(1, 1).Floor() = 7;
    Click(1, 1);
    EXPECT_EQ(map->Cell(1, 1).Floor(), 7);
    EXPECT_EQ(dialogs.Errors, (std::vector<std::string>{
                                  "Only the first 255 elements of a library can be placed on a map."}));
}

TEST_F(Gestures, MonstersDropAndStretchFromTheirTopLeftCorner)
{
    p.CurrentKind = 6;
    g.DropFromTree(0, 4, 6);
    ASSERT_EQ(map->Monsters->Count(), 1);
    TMonster* m = map->Monsters->MonsterAt(0);
    EXPECT_EQ(m->Area(), (TCellRect{4, 6, 4, 6}));
    EXPECT_EQ(map->SelX, 4);
    EXPECT_EQ(map->SelY, 6);
    ASSERT_EQ(g.Placements().size(), 1u); // listed and shown
    EXPECT_EQ(host.shown, m);
    // The definition chosen again in the tree: a right press on the
    // monster's own (selected) cell starts the stretch at once.
    host.ShowElement(p.MonsterDefs->Element(0));
    Click(4, 6, Qt::RightButton);
    EXPECT_EQ(host.shown, m);
    Drag(5, 7, Qt::RightButton);
    Drag(6, 7, Qt::RightButton);
    EXPECT_EQ(m->Area(), (TCellRect{4, 6, 6, 7}));
    Drag(3, 5, Qt::RightButton);
    EXPECT_EQ(m->Area(), (TCellRect{4, 6, 4, 6}));
}

TEST_F(Gestures, ShiftArrowsPaintAndDeleteLowersTheItemCount)
{
    p.CurrentKind = 4;
    host.selectedIndex = 0;
    map->SelX = 2;
    map->SelY = 2;
    g.MoveCursor(1, 0, -1, true);
    EXPECT_EQ(map->SelX, 3);
    EXPECT_EQ(map->Cell(3, 2).ObjectIndex(), 1);
    g.MoveCursor(1, 0, -1, false);
    EXPECT_EQ(map->Cell(4, 2).ObjectIndex(), 0);
    g.MoveCursor(100, 0, 2, false);
    EXPECT_EQ(map->SelX, 9);
    EXPECT_EQ(map->SelSide, 2);

    p.CurrentKind = 5;
    g.DropFromTree(0, 1, 1);
    g.DropFromTree(0, 1, 1);
    EXPECT_EQ(map->Cell(1, 1).ItemCount, 2);
    ASSERT_EQ(g.Placements().size(), 2u);
    g.DeletePlacement();
    EXPECT_EQ(map->Cell(1, 1).ItemCount, 1);
    g.DeletePlacement();
    EXPECT_EQ(map->Cell(1, 1).ItemCount, 0);
    EXPECT_TRUE(g.Placements().empty());
    EXPECT_NE(host.shown, nullptr); // the grid shows the map, not a deleted item
    EXPECT_EQ(host.shown, map);
}

TEST_F(Gestures, EventKeysSelectTheirCell)
{
    g.SelectCellOfEvent("onUse[2,3,1]");
    EXPECT_EQ(map->SelX, 2);
    EXPECT_EQ(map->SelY, 3);
    EXPECT_EQ(map->SelSide, 1);
    g.SelectCellOfEvent("onEnter[40,3]");
    EXPECT_EQ(map->SelX, 2);
    g.SelectCellOfEvent("onEnter[4,5]");
    EXPECT_EQ(map->SelX, 4);
    EXPECT_EQ(map->SelY, 5);
    EXPECT_EQ(map->SelSide, 0);
    g.SelectCellOfEvent("onStart");
    EXPECT_EQ(map->SelX, 0);
    EXPECT_EQ(map->SelY, 0);
}

} // namespace
} // namespace kestrune::test

#include "mapedit/history.h"

namespace kestrune::test {
namespace {

class History : public Gestures {
protected:
    void SetUp() override
    {
        Gestures::SetUp();
        g.History = &history;
        history.OnPlacementLeaving = [this](TListedItem* placement) {
            if (host.shown == placement)
                host.ShowElement(map);
        };
    }
    TMapHistory history;
};

TEST_F(History, AStrokeIsOneStepAndRedoRepaintsIt)
{
    p.CurrentKind = 2;
    host.selectedIndex = 1;
    map->Cell(3, 1).Floor() = 6;
    Click(1, 1);
    for (int x = 2; x <= 4; ++x)
        Drag(x, 1);
    Click(1, 5); // a second step
    EXPECT_EQ(history.Stack().count(), 2);
    history.Stack().undo();
    EXPECT_EQ(map->Cell(1, 5).Floor(), 0);
    EXPECT_EQ(map->Cell(4, 1).Floor(), 2);
    history.Stack().undo();
    EXPECT_EQ(map->Cell(1, 1).Floor(), 0);
    EXPECT_EQ(map->Cell(3, 1).Floor(), 6);
    EXPECT_EQ(map->Cell(4, 1).Floor(), 0);
    history.Stack().redo();
    for (int x = 1; x <= 4; ++x)
        EXPECT_EQ(map->Cell(x, 1).Floor(), 2) << x;
}

TEST_F(History, PlacementsComeAndGoWithUndoAndRedo)
{
    p.CurrentKind = 5;
    g.DropFromTree(0, 2, 2);
    ASSERT_EQ(map->Items->Count(), 1);
    TItem* item = map->Items->ItemAt(0);
    history.Stack().undo();
    EXPECT_EQ(map->Items->Count(), 0);
    EXPECT_EQ(map->Cell(2, 2).ItemCount, 0);
    history.Stack().redo();
    ASSERT_EQ(map->Items->Count(), 1);
    EXPECT_EQ(map->Items->ItemAt(0), item);
    EXPECT_EQ(map->Cell(2, 2).ItemCount, 1);

    g.ListPlacements();
    g.DeletePlacement();
    EXPECT_EQ(map->Items->Count(), 0);
    history.Stack().undo();
    ASSERT_EQ(map->Items->Count(), 1);
    EXPECT_EQ(map->Cell(2, 2).ItemCount, 1);

    p.CurrentKind = 6;
    g.DropFromTree(0, 4, 6);
    TMonster* m = map->Monsters->MonsterAt(0);
    Click(4, 6, Qt::RightButton); // a press starts the stretch
    Drag(5, 7, Qt::RightButton);
    Drag(6, 7, Qt::RightButton);
    EXPECT_EQ(m->Area(), (TCellRect{4, 6, 6, 7}));
    history.Stack().undo(); // the whole stretch
    EXPECT_EQ(m->Area(), (TCellRect{4, 6, 4, 6}));
    history.Stack().undo(); // the drop
    EXPECT_EQ(map->Monsters->Count(), 0);
    EXPECT_NE(host.shown, static_cast<TListedItem*>(m));
}

} // namespace
} // namespace kestrune::test
