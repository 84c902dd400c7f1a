// Map regions: copying a rectangle with its keys and placements, pasting it
// in the same map and (through the clipboard bytes) into another project
// whose libraries are ordered differently, overhanging pastes, missing
// elements, and damaged clipboard bytes.

#include "model/map.h"
#include "model/project.h"
#include "model/region.h"

#include <gtest/gtest.h>

#include <random>

namespace kestrune::test {
namespace {

template <class T>
T* AddNamed(TListedList& library, const std::string& name)
{
    auto* e = static_cast<T*>(library.Add(library.CreateItem()));
    e->Name = name;
    return e;
}

struct World {
    Project p;
    TMap* map = nullptr;
    World(const std::vector<std::string>& walls, int sizeX, int sizeY)
    {
        p.LoadingShared = false;
        for (const std::string& w : walls)
            AddNamed<TWall>(*p.Walls, w);
        AddNamed<TFloor>(*p.Floors, "Flagstone");
        AddNamed<TItemDef>(*p.ItemDefs, "Torch");
        AddNamed<TMonsterDef>(*p.MonsterDefs, "Rat");
        map = static_cast<TMap*>(p.Maps->Add(std::make_unique<TMap>("M", p.Maps.get(), sizeX, sizeY)));
    }
    std::string WallName(int x, int y, int side) const
    {
        const int v = map->Cell(x, y).Wall(side);
        return v ? p.Walls->Element(v - 1)->Name : std::string();
    }
};

// A 10 x 10 map whose cells (2,3) and (3,4) carry walls, a floor, an
// object's orientation, keyed entries, an item and a monster.
struct Source : World {
    Source() : World({"Brick", "Stone"}, 10, 10) { Furnish(*this); }
    static void Furnish(World& w);
};

void Source::Furnish(World& w)
{
    TMap& m = *w.map;
    m.Cell(2, 3).Wall(0) = 2;
    m.Cell(2, 3).Floor() = 1;
    m.Cell(2, 3).Orientation() = 2;
    m.Cell(3, 4).Wall(1) = 1;
    m.Events->Add(std::make_unique<TPar>("onEnter[2,3]", "Message(1);"));
    m.Events->Add(std::make_unique<TPar>("onLoad", "Start();"));
    m.Events->Add(std::make_unique<TPar>("onEnter[5,5]", "Far();"));
    m.Params->Add(std::make_unique<TPar>("light[3,4,1]", "T"));
    TItem* torch = m.AddItem(static_cast<TItemDef*>(w.p.ItemDefs->Element(0)), 3, 4);
    torch->Params->SetValue("charges", "3");
    TMonster* rat = m.AddMonster(static_cast<TMonsterDef*>(w.p.MonsterDefs->Element(0)), 2, 3);
    rat->SetArea({2, 3, 3, 3});
}

TEST(Region, CopyAndPasteWithinAndAcrossMapsKeepKeysWallsAndPlacements)
{
    Source a;
    const TRegion region = CopyRegion(a.p, *a.map, TRegionRect::Spanning(3, 4, 2, 3));
    ASSERT_EQ(region.Width, 2);
    ASSERT_EQ(region.Height, 2);
    EXPECT_EQ(region.Events, (TRegionEntries{{"onEnter[0,0]", "Message(1);"}}));
    EXPECT_EQ(region.Params, (TRegionEntries{{"light[1,1,1]", "T"}}));
    ASSERT_EQ(region.Items.size(), 1u);
    ASSERT_EQ(region.Monsters.size(), 1u);

    // Within the map: the region's top-left cell (2,4) lands on (6,8).
    const TPasteResult here = PasteRegion(a.p, *a.map, region, 6, 8);
    EXPECT_EQ(here.CellsLeftOut, 0);
    EXPECT_EQ(a.WallName(6, 7, 0), "Stone");
    EXPECT_EQ(a.WallName(7, 8, 1), "Brick");
    EXPECT_EQ(a.map->Cell(6, 7).Floor(), 1);
    EXPECT_EQ(a.map->Cell(6, 7).Orientation(), 2);
    EXPECT_EQ(a.map->Events->GetValue("onEnter[6,7]"), "Message(1);");
    EXPECT_EQ(a.map->Params->GetValue("light[7,8,1]"), "T");
    ASSERT_EQ(a.map->Items->Count(), 2);
    const TItem* torch = a.map->Items->ItemAt(1);
    EXPECT_EQ(torch->X, 7);
    EXPECT_EQ(torch->Y, 8);
    EXPECT_EQ(torch->Params->GetValue("charges"), "3");
    EXPECT_EQ(a.map->Cell(7, 8).ItemCount, 1);
    ASSERT_EQ(a.map->Monsters->Count(), 2);
    EXPECT_EQ(a.map->Monsters->MonsterAt(1)->Area(), (TCellRect{6, 7, 7, 7}));
    EXPECT_EQ(a.map->Monsters->MonsterAt(1)->Params->GetValue("x"), "6");

    // Into another project, through the clipboard bytes: its walls are in
    // the other order, and a key of the target is taken by the pasted entry.
    const auto travelled = TRegion::FromBytes(region.ToBytes());
    ASSERT_TRUE(travelled);
    World b({"Stone", "Brick"}, 5, 5);
    b.map->Events->Add(std::make_unique<TPar>("onEnter[0,3]", "Old();"));
    EXPECT_TRUE(MissingElements(*travelled, b.p).empty());
    const TPasteResult there = PasteRegion(b.p, *b.map, *travelled, 0, 4);
    EXPECT_EQ(there.EntriesReplaced, 1);
    EXPECT_EQ(b.WallName(0, 3, 0), "Stone");
    EXPECT_EQ(b.WallName(1, 4, 1), "Brick");
    EXPECT_EQ(b.map->Events->Count(), 1);
    EXPECT_EQ(b.map->Events->GetValue("onEnter[0,3]"), "Message(1);");
    EXPECT_EQ(b.map->Items->ItemAt(0)->Def, b.p.ItemDefs->Element(0));
    EXPECT_EQ(b.map->Monsters->MonsterAt(0)->Def, b.p.MonsterDefs->Element(0));

    // The listing names what it holds.
    const std::string listing = region.Listing();
    EXPECT_NE(listing.find("wall top Stone"), std::string::npos) << listing;
    EXPECT_NE(listing.find("item Torch at [1,1]"), std::string::npos) << listing;
}

TEST(Region, APasteOverhangingTheMapLeavesOutTheCellsOutside)
{
    Source a;
    const TRegion region = CopyRegion(a.p, *a.map, {2, 3, 3, 4});
    // Top-left (2,4) on (9,0): only the region's cell (0,1) stays, on (9,0).
    const TPasteResult r = PasteRegion(a.p, *a.map, region, 9, 0);
    EXPECT_EQ(r.Target, (TRegionRect{9, 0, 9, 0}));
    EXPECT_EQ(r.CellsLeftOut, 3);
    EXPECT_EQ(r.EntriesLeftOut, 2);
    EXPECT_EQ(r.PlacementsLeftOut, 2);
    EXPECT_EQ(a.map->Cell(9, 0).Slot(0), 0);
    // Wholly outside: nothing is written.
    const TPasteResult none = PasteRegion(a.p, *a.map, region, 12, 4);
    EXPECT_TRUE(none.Target.Empty());
    EXPECT_TRUE(none.Cells.empty());
}

TEST(Region, MissingElementsAreNamed)
{
    Source a;
    const TRegion region = CopyRegion(a.p, *a.map, {2, 3, 3, 4});
    World c({"Brick"}, 10, 10);
    c.p.MonsterDefs->Clear();
    EXPECT_EQ(MissingElements(region, c.p), (std::vector<std::string>{"Wall Stone", "Monster Rat"}));
}

TEST(Region, DamagedClipboardBytesAreRefused)
{
    Source a;
    const std::string bytes = CopyRegion(a.p, *a.map, {0, 0, 9, 9}).ToBytes();
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(TRegion::FromBytes(bytes.substr(0, n))) << n;
    std::string error;
    EXPECT_FALSE(TRegion::FromBytes("hello", &error));
    EXPECT_EQ(error, "The clipboard does not hold a map region.");
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = bytes;
        for (int k = 0; k < 4; ++k)
            damaged[5 + rng() % (damaged.size() - 5)] = static_cast<char>(rng());
        if (const auto region = TRegion::FromBytes(damaged)) {
            // Whatever is accepted can be pasted safely.
            World b({"Brick", "Stone"}, 10, 10);
            PasteRegion(b.p, *b.map, *region, 0, 9);
        }
    }
}

} // namespace
} // namespace kestrune::test
