#include "model_test_util.h"

#include "core/definitions.h"
#include "core/proptable.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrune::test {
namespace {

class Placements : public ::testing::Test {
protected:
    void SetUp() override
    {
        p = NewProject();
        p->Definitions = std::make_unique<TValList>(DefinitionFile());
        p->LoadingShared = false;
        sword = static_cast<TItemDef*>(p->ItemDefs->Add(p->ItemDefs->CreateItem()));
        sword->Name = "Sword";
        rat = static_cast<TMonsterDef*>(p->MonsterDefs->Add(p->MonsterDefs->CreateItem()));
        rat->Name = "Rat";
        map = static_cast<TMap*>(p->Maps->Add(std::make_unique<TMap>("Crypt", p->Maps.get(), 10, 10)));
    }
    std::unique_ptr<Project> p;
    TItemDef* sword = nullptr;
    TMonsterDef* rat = nullptr;
    TMap* map = nullptr;
};

TEST_F(Placements, ItemsOnObjectsAreHidden)
{
    map->Cell(2, 2).ObjectIndex() = 1;
    TItem* hidden = map->AddItem(sword, 2, 2);
    TItem* plain = map->AddItem(sword, 3, 3);
    EXPECT_EQ(hidden->Params->GetValue("visible"), "F");
    EXPECT_EQ(plain->Params->GetValue("visible"), "T"); // the section's default
    EXPECT_EQ(plain->Params->GetValue("itemDef"), "Sword");
    EXPECT_EQ(plain->Name, "Sword");
    EXPECT_EQ(map->Cell(2, 2).ItemCount, 1);
    EXPECT_TRUE(map->Changed);
}

TEST_F(Placements, ItemDefinitionIsLookedUpWithoutAsking)
{
    TItem* item = map->AddItem(sword, 0, 0);
    EXPECT_TRUE(item->ParameterChanged("itemDef", "SWORD"));
    EXPECT_EQ(item->Def, sword);
    EXPECT_TRUE(item->ParameterChanged("itemDef", "Axe"));
    EXPECT_EQ(item->Def, nullptr);
    EXPECT_EQ(item->Name, "?????Axe");
    EXPECT_FALSE(item->ParameterChanged("amount", "2"));
}

TEST_F(Placements, MovingAndRemovingItemsKeepsTheCounts)
{
    TItem* a = map->AddItem(sword, 1, 1);
    TItem* b = map->AddItem(sword, 1, 1);
    map->Changed = false;
    map->MoveItem(a, 4, 5);
    EXPECT_EQ(map->Cell(1, 1).ItemCount, 1);
    EXPECT_EQ(map->Cell(4, 5).ItemCount, 1);
    EXPECT_FALSE(map->Changed);
    EXPECT_EQ(map->FirstItemAt(1, 1), b);
    EXPECT_EQ(map->FirstItemAt(4, 5), a);
    EXPECT_EQ(map->FirstItemAt(0, 0), nullptr);
    map->RemovePlacement(b);
    EXPECT_EQ(map->Cell(1, 1).ItemCount, 0);
    EXPECT_EQ(map->Items->Count(), 1);
    EXPECT_FALSE(map->Changed);
}

TEST_F(Placements, MonsterRectangleIsTheSameInEveryParameterOrder)
{
    std::vector<std::pair<std::string, std::string>> entries = {
        {"x", "4"}, {"y", "6"}, {"sizeX", "2"}, {"sizeY", "1"}};
    std::sort(entries.begin(), entries.end());
    do {
        TMonster m(map->Monsters.get());
        for (const auto& [n, v] : entries)
            m.ParameterChanged(n, v);
        EXPECT_EQ(m.Area(), (TCellRect{4, 6, 6, 7}));
    } while (std::next_permutation(entries.begin(), entries.end()));

    TMonster m(map->Monsters.get());
    for (const auto& [n, v] : entries)
        m.ParameterChanged(n, v);
    m.MoveTo(0, 0);
    EXPECT_EQ(m.Area(), (TCellRect{0, 0, 2, 1}));
    EXPECT_EQ(m.Params->GetValue("x"), "0");
    EXPECT_EQ(m.Params->GetValue("y"), "0");
    EXPECT_EQ(m.AreaAt(5, 5), (TCellRect{5, 5, 7, 6}));
}

TEST_F(Placements, MonsterParameterOddities)
{
    TMonster* m = map->AddMonster(rat, 3, 3);
    EXPECT_EQ(m->Name, "Rat");
    EXPECT_EQ(m->Params->GetValue("1monsterDef"), "Rat");
    EXPECT_EQ(m->Params->GetValue("x"), "3");
    EXPECT_TRUE(m->ParameterChanged("sizeX", "lots"));
    EXPECT_EQ(m->Right, 3);
    EXPECT_TRUE(m->ParameterChanged("x", "left"));
    EXPECT_EQ(m->Left, 3);
    EXPECT_FALSE(m->ParameterChanged("x", ""));
    EXPECT_TRUE(m->ParameterChanged("1monsterDef", "Dragon"));
    EXPECT_EQ(m->Name, "??1monsterDef");
    EXPECT_EQ(m->Def, nullptr);
    // Extreme numbers saturate instead of overflowing.
    EXPECT_TRUE(m->ParameterChanged("x", "2147483647"));
    EXPECT_TRUE(m->ParameterChanged("sizeX", "2147483647"));
    EXPECT_EQ(m->Right, 2147483647);

    m->SetArea({1, 2, 4, 2});
    EXPECT_EQ(m->Params->GetValue("sizeX"), "3");
    EXPECT_EQ(m->Params->GetValue("sizeY"), "0");
}

TEST_F(Placements, KeyedListsAcceptOnlyTheirOwnKey)
{
    TMapEventsList& events = map->MapEvents();
    EXPECT_TRUE(events.Accepts("onEnter[3,1]", "[3,1]"));
    EXPECT_EQ(events.DisplayName("onEnter[3,1]", "[3,1]"), "onEnter");
    EXPECT_FALSE(events.Accepts("onEnter[13,1]", "[3,1]"));
    EXPECT_FALSE(events.Accepts("onEnter[3,1,0]", "[3,1]"));
    EXPECT_FALSE(events.Accepts("a[3,1]b[3,1]", "[3,1]"));
    EXPECT_TRUE(events.Accepts("onEnter", ""));
    EXPECT_FALSE(events.Accepts("onEnter[3,1]", ""));
    events.AddEntry("onHit", "Hurt();", "[2,5,3]");
    EXPECT_EQ(events.GetValue("onHit[2,5,3]"), "Hurt();");
    // A name equal to another but for its letter case is an entry of its own.
    const int count = events.Count();
    events.AddEntry("ONHIT", "Block();", "[2,5,3]");
    EXPECT_EQ(events.Count(), count + 1);
    EXPECT_EQ(events.GetValue("onHit[2,5,3]"), "Hurt();");
    EXPECT_EQ(events.GetValue("ONHIT[2,5,3]"), "Block();");
    EXPECT_EQ(map->MapParams().Kind(), 0);
    EXPECT_EQ(events.Kind(), 1);
}

TEST_F(Placements, CellParametersExpandFromTheCellSections)
{
    TPropertyTable table;
    map->Params->SetValue("dark[1,1]", "T");
    map->Params->SetValue("locked[1,1,2]", "T");
    map->Cell(1, 1).Orientation() = 2;
    map->SelX = map->SelY = 1;

    p->CurrentKind = 2;
    map->Params->ExpandToTable(table, "[1,1]", p->Definitions.get());
    bool dark = false, orientation = false, secret = false;
    for (const auto& row : table.Rows()) {
        dark |= row.name == "dark" && row.value == "T";
        orientation |= row.name == "#orientation";
        secret |= row.name == "secret";
    }
    EXPECT_TRUE(dark);
    EXPECT_FALSE(orientation);
    EXPECT_FALSE(secret); // a side parameter of mapWall

    p->CurrentKind = 4;
    map->Params->ExpandToTable(table, "[1,1]", p->Definitions.get());
    ASSERT_TRUE(table.Locate(TPropertyTable::Field::Name, "#orientation"));
    EXPECT_EQ(table.Value(), "2");
    // Storing the rows back never stores the orientation row.
    map->Params->StoreFromTable(table, "[1,1]");
    EXPECT_EQ(map->Params->GetValue("#orientation[1,1]"), "");
    EXPECT_EQ(map->Params->GetValue("dark[1,1]"), "T");
    EXPECT_EQ(map->Params->GetValue("locked[1,1,2]"), "T");
}

TEST_F(Placements, CellKeyDependsOnKindModeAndSelection)
{
    map->SelX = 3;
    map->SelY = 10;
    map->SelSide = 2;
    const std::vector<std::pair<int, std::string>> expected = {
        {0, ""}, {1, "[3,10,2]"}, {2, "[3,10]"}, {3, "[3,10]"}, {4, "[3,10]"}, {5, ""}, {6, ""}, {7, ""}};
    for (const auto& [kind, key] : expected) {
        p->CurrentKind = kind;
        EXPECT_EQ(p->CellKeyOf(*map), key) << "kind " << kind;
    }
    p->SelectedElement = map;
    p->CurrentKind = 5;
    EXPECT_EQ(p->CellKeyOf(*map), "[3,10]");
    p->CurrentKind = 6;
    EXPECT_EQ(p->CellKeyOf(*map), "[3,10]");
    p->LibMode = true;
    p->CurrentKind = 1;
    EXPECT_EQ(p->CellKeyOf(*map), "");
}

TEST_F(Placements, ThePlacementsOfTheSelectedCell)
{
    TItem* a = map->AddItem(sword, 2, 3);
    map->AddItem(sword, 3, 2);
    TItem* c = map->AddItem(sword, 2, 3);
    TMonster* big = map->AddMonster(rat, 1, 1);
    big->SetArea({1, 1, 3, 4});
    map->AddMonster(rat, 5, 5);
    auto npc = std::make_unique<TNPC>(p->Npcs.get());
    npc->Name = "Mira";
    npc->Params->SetValue("map", "Crypt");
    npc->SetArea({2, 3, 2, 3});
    auto elsewhere = std::make_unique<TNPC>(p->Npcs.get());
    elsewhere->Name = "Otto";
    elsewhere->Params->SetValue("map", "crypt"); // exact name only
    elsewhere->SetArea({2, 3, 2, 3});
    TListedItem* mira = static_cast<TListedItem*>(p->Npcs->Add(std::move(npc)));
    p->Npcs->Add(std::move(elsewhere));

    map->SelX = 2;
    map->SelY = 3;
    EXPECT_EQ(map->PlacementsAtSelection(5), (std::vector<TListedItem*>{a, c}));
    EXPECT_EQ(map->PlacementsAtSelection(6), (std::vector<TListedItem*>{big}));
    EXPECT_EQ(map->PlacementsAtSelection(7), (std::vector<TListedItem*>{mira}));
    EXPECT_TRUE(map->PlacementsAtSelection(4).empty());
    map->RemovePlacement(big);
    EXPECT_TRUE(map->PlacementsAtSelection(6).empty());
}

TEST_F(Placements, NpcInstancesFileRoundTrips)
{
    std::string file;
    for (const char* name : {"Mira", "Otto", "Brannoc"})
        file += C(name) + C("1NPCDef") + C("Healer") + C("map") + C("Crypt") + C("x") + C("2") + C("y") + C("3") +
                Bytes("00") + C("onTalk") + C("Say(\"Hello\");\r\nGive(1);") + Bytes("00") + C("bye") +
                C("Farewell.") + Bytes("00");
    file += Bytes("00");
    TQVFileStreamBinary in{TFileStream::MemoryTag{}, file};
    p->Npcs->LoadFromStream(in);
    ASSERT_EQ(p->Npcs->Count(), 3);
    EXPECT_EQ(p->Npcs->NpcAt(2)->Name, "Brannoc");
    EXPECT_EQ(p->Npcs->NpcAt(1)->Keywords->GetValue("bye"), "Farewell.");
    EXPECT_EQ(p->Npcs->NpcAt(0)->Area(), (TCellRect{2, 3, 2, 3}));
    EXPECT_EQ(p->Npcs->NpcAt(0)->DefName, "NPC");

    TQVFileStreamBinary out{TFileStream::MemoryTag{}};
    p->Npcs->SaveToStream(out);
    EXPECT_EQ(Hex(out.Bytes()), Hex(file));

    // Every truncation loads without failing and keeps only named NPCs.
    for (size_t cut = 0; cut < file.size(); ++cut) {
        TNPCsList list(p.get());
        TQVFileStreamBinary part{TFileStream::MemoryTag{}, file.substr(0, cut)};
        list.LoadFromStream(part);
        EXPECT_LE(list.Count(), 3);
    }
}

TEST_F(Placements, ItemAndMonsterListsInTheMapFile)
{
    map->AddItem(sword, 7, 9)->Events->SetValue("onTake", "Take();");
    map->AddMonster(rat, 2, 2)->SetArea({2, 2, 4, 3});
    TQVFileStreamBinary out{TFileStream::MemoryTag{}};
    map->SaveToStream(out);

    Installation inst;
    WriteFile(inst.Map("Crypt.map"), out.Bytes());
    p->ProjectFolder = WithSeparator(inst.GameFolder());
    auto loaded = TMap::CreateFromFile("Crypt.map", p->Maps.get());
    ASSERT_EQ(loaded->Items->Count(), 1);
    EXPECT_EQ(loaded->Items->ItemAt(0)->X, 7);
    EXPECT_EQ(loaded->Items->ItemAt(0)->Y, 9);
    EXPECT_EQ(loaded->Items->ItemAt(0)->Def, sword);
    EXPECT_EQ(loaded->Items->ItemAt(0)->Events->GetValue("onTake"), "Take();");
    EXPECT_EQ(loaded->Cell(7, 9).ItemCount, 1);
    ASSERT_EQ(loaded->Monsters->Count(), 1);
    EXPECT_EQ(loaded->Monsters->MonsterAt(0)->Area(), (TCellRect{2, 2, 4, 3}));
    EXPECT_EQ(loaded->Monsters->MonsterAt(0)->Def, rat);
}

} // namespace
} // namespace kestrune::test
