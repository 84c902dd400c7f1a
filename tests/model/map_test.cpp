#include "model_test_util.h"

#include <gtest/gtest.h>

#include <random>

namespace kestrune::test {
namespace {

// A project whose libraries hold named walls, floors, ceilings and objects
// (no definition file, so elements carry no defaults).
class MapFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        p.LoadingShared = false;
        p.ProjectFolder = WithSeparator(inst.GameFolder());
        for (int i = 1; i <= 8; ++i) {
            Add(*p.Walls, "W" + std::to_string(i));
            Add(*p.Floors, "F" + std::to_string(i));
            Add(*p.Ceilings, "C" + std::to_string(i));
            Add(*p.Objects, "O" + std::to_string(i));
        }
        Add(*p.ItemDefs, "Sword");
        Add(*p.MonsterDefs, "Rat");
    }
    static void Add(TListedList& library, const std::string& name)
    {
        library.Add(library.CreateItem())->Name = name;
    }
    std::string Save(TMap& map)
    {
        TQVFileStreamBinary out{TFileStream::MemoryTag{}};
        map.SaveToStream(out);
        return out.Bytes();
    }
    std::unique_ptr<TMap> Load(const std::string& bytes, const std::string& file = "m.map")
    {
        WriteFile(inst.Map(file), bytes);
        return TMap::CreateFromFile(file, p.Maps.get());
    }
    // A version 2 file with the given tables, size and cells (x outer, y inner).
    static std::string File(const std::vector<std::vector<std::string>>& tables, int sx, int sy,
                            const std::string& cells, const std::string& rest = std::string("\0\0\0\0\0\0", 6))
    {
        std::string s = "\x02" + C("");
        for (const auto& t : tables) {
            s += static_cast<char>(t.size());
            for (const auto& n : t)
                s += C(n);
        }
        return s + W(sx) + W(sy) + cells + rest;
    }

    Installation inst;
    Project p;
};

TEST_F(MapFile, EmptyMapIs834Bytes)
{
    TMap map("Empty", p.Maps.get(), 10, 10);
    const std::string bytes = Save(map);
    const std::string expected = Bytes("02 00 00 00 00 00 0A 00 0A 00") + std::string(800, '\0') +
                                 Bytes("00 00 00") + C("sizeX") + C("10") + C("sizeY") + C("10") +
                                 Bytes("00 00 00");
    ASSERT_EQ(bytes.size(), 834u);
    EXPECT_EQ(Hex(bytes), Hex(expected));
}

TEST_F(MapFile, WallTableFollowsFirstUseAndRecordsAreBottomLeftTopRight)
{
    TMap map("M", p.Maps.get(), 2, 2);
    map.Cell(0, 0).Wall(0) = 3;
    map.Cell(0, 0).Wall(1) = 3;
    map.Cell(0, 0).Wall(2) = 7;
    map.Cell(1, 1).Floor() = 2;
    map.Cell(1, 1).ObjectIndex() = 8;
    map.Cell(1, 1).Orientation() = 3;
    const std::string bytes = Save(map);
    const std::string head = Bytes("02 00 02") + C("W3") + C("W7") + Bytes("01") + C("F2") + Bytes("00 01") +
                             C("O8") + W(2) + W(2);
    ASSERT_EQ(Hex(bytes.substr(0, head.size())), Hex(head));
    EXPECT_EQ(Hex(bytes.substr(head.size(), 8)), "02 00 01 01 00 00 00 00");
    EXPECT_EQ(Hex(bytes.substr(head.size() + 24, 8)), "00 00 00 00 01 00 01 03");

    // Loading it back gives the same cells, and saving again the same bytes.
    auto loaded = Load(bytes);
    EXPECT_EQ(loaded->Cell(0, 0).Wall(2), 7);
    EXPECT_EQ(loaded->Cell(1, 1).ObjectIndex(), 8);
    EXPECT_EQ(Hex(Save(*loaded)), Hex(bytes));
}

TEST_F(MapFile, NamesResolveToTheirCurrentLibraryPositions)
{
    // The table names W5 and f2 (another letter case); unknown names and
    // numbers beyond the table load as nothing.
    std::string cells = Bytes("01 00 02 03 01 00 00 00") + Bytes("00 00 00 00 02 01 00 00");
    auto map = Load(File({{"W5", "nowhere", "W1"}, {"f2", "F9"}, {}, {}}, 1, 2, cells));
    EXPECT_EQ(map->Name, "m");
    EXPECT_EQ(map->Cell(0, 0).Wall(2), 5); // record byte 0 is side 2
    EXPECT_EQ(map->Cell(0, 0).Wall(3), 0);
    EXPECT_EQ(map->Cell(0, 0).Wall(0), 0); // "nowhere"
    EXPECT_EQ(map->Cell(0, 0).Wall(1), 1);
    EXPECT_EQ(map->Cell(0, 0).Floor(), 2);
    EXPECT_EQ(map->Cell(0, 1).Floor(), 0); // "F9" is not in the library
    EXPECT_EQ(map->Cell(0, 1).Ceiling(), 0); // beyond an empty table
}

TEST_F(MapFile, MissingNamesAskTheChooserOnceAndRememberTheAnswer)
{
    ScriptedChooser chooser;
    chooser.Answers = {3};
    p.Walls->Chooser = &chooser;
    const std::string cells = Bytes("01 01 00 00 00 00 00 00");
    auto first = Load(File({{"Gone"}, {}, {}, {}}, 1, 1, cells));
    auto second = Load(File({{"GONE"}, {}, {}, {}}, 1, 1, cells), "n.map");
    ASSERT_EQ(chooser.Questions.size(), 1u);
    EXPECT_EQ(chooser.Questions[0], "Wall with name Gone doesn't exists!");
    EXPECT_EQ(first->Cell(0, 0).Wall(2), 4);
    EXPECT_EQ(second->Cell(0, 0).Wall(3), 4);
}

TEST_F(MapFile, VersionOneHasByteSizesAndBytePositions)
{
    std::string v1 = "\x01" + C("") + std::string(4, '\0') + Bytes("05 07") + std::string(5 * 7 * 8, '\0');
    v1 += Bytes("00");                                           // events
    v1 += W(1) + Bytes("03 04") + C("itemDef") + C("Sword") + Bytes("00 00"); // one item at (3, 4)
    v1 += Bytes("00") + W(0);                                    // parameters, monsters
    auto map = Load(v1);
    EXPECT_EQ(p.MapFileVersion, 1);
    EXPECT_EQ(map->SizeX, 5);
    EXPECT_EQ(map->SizeY, 7);
    ASSERT_EQ(map->Items->Count(), 1);
    EXPECT_EQ(map->Items->ItemAt(0)->X, 3);
    EXPECT_EQ(map->Items->ItemAt(0)->Y, 4);
    EXPECT_EQ(map->Cell(3, 4).ItemCount, 1);
    EXPECT_EQ(map->Items->ItemAt(0)->Name, "Sword");

    const std::string v2 = Save(*map);
    EXPECT_EQ(p.MapFileVersion, 2);
    EXPECT_EQ(Hex(v2.substr(0, 10)), "02 00 00 00 00 00 05 00 07 00");
    auto again = Load(v2);
    EXPECT_EQ(again->Items->ItemAt(0)->X, 3);
    EXPECT_EQ(again->Items->ItemAt(0)->Y, 4);
}

TEST_F(MapFile, OrientationIsKeptAndItemsOutsideMoveToColumnZero)
{
    std::string cells(10 * 10 * 8, '\0');
    cells[7] = 2; // cell (0, 0): orientation 2, no object
    const std::string items = W(1) + W(300) + W(4) + C("itemDef") + C("Sword") + Bytes("00 00");
    auto map = Load(File({{}, {}, {}, {}}, 10, 10, cells, Bytes("00") + items + Bytes("00") + W(0)));
    EXPECT_EQ(map->Cell(0, 0).Orientation(), 2);
    ASSERT_EQ(map->Items->Count(), 1);
    EXPECT_EQ(map->Items->ItemAt(0)->X, 0);
    EXPECT_EQ(map->Items->ItemAt(0)->Y, 4);
    EXPECT_EQ(map->Cell(0, 4).ItemCount, 1);
    EXPECT_EQ(static_cast<uint8_t>(Save(*map)[10 + 7]), 2);
}

TEST_F(MapFile, StoredSizeEntriesGiveWayToTheFileSizes)
{
    const std::string params = C("title") + C("Crypt") + C("sizeX") + C("99") + Bytes("00");
    auto map = Load(File({{}, {}, {}, {}}, 2, 3, std::string(48, '\0'), Bytes("00") + W(0) + params + W(0)));
    EXPECT_EQ(map->Params->GetValue("sizeX"), "2");
    EXPECT_EQ(map->Params->GetValue("sizeY"), "3");
    EXPECT_EQ(map->Params->Par(0)->Name, "title");
}

TEST_F(MapFile, ImpossibleSizesRefuseTheMapAndLeaveTheFile)
{
    for (const auto& [sx, sy] : std::vector<std::pair<int, int>>{{0, 5}, {5, 0}, {257, 4}, {4, 65535}}) {
        const std::string bytes = File({{}, {}, {}, {}}, sx, sy, std::string(64, '\x01'));
        WriteFile(inst.Map("bad.map"), bytes);
        try {
            TMap::CreateFromFile("bad.map", p.Maps.get());
            ADD_FAILURE() << "size " << sx << " x " << sy << " was accepted";
        } catch (const TMapRefused& e) {
            EXPECT_NE(std::string(e.what()).find("bad.map"), std::string::npos);
        }
        EXPECT_EQ(ReadFile(inst.Map("bad.map")), bytes);
    }
}

TEST_F(MapFile, MissingFileIsReported)
{
    EXPECT_THROW(TMap::CreateFromFile("absent.map", p.Maps.get()), KestruneError);
}

TEST_F(MapFile, ElementBeyondThe255thRefusesTheMap)
{
    for (int i = 0; i < 300; ++i)
        Add(*p.Floors, "Extra" + std::to_string(i));
    const std::string bytes = File({{}, {"Extra260"}, {}, {}}, 1, 1, Bytes("00 00 00 00 01 00 00 00"));
    EXPECT_THROW(Load(bytes), TMapRefused);
    EXPECT_EQ(ReadFile(inst.Map("m.map")), bytes);
    // Within the first 255 it loads.
    auto ok = Load(File({{}, {"Extra200"}, {}, {}}, 1, 1, Bytes("00 00 00 00 01 00 00 00")));
    EXPECT_EQ(ok->Cell(0, 0).Floor(), 209);
}

TEST_F(MapFile, SetSizeKeepsOuterCellsInMemoryAndRefusesImpossibleSizes)
{
    TMap map("M", p.Maps.get(), 10, 10);
    map.Cell(8, 8).Floor() = 4;
    map.SetSize(5, 5);
    EXPECT_EQ(map.Params->GetValue("sizeX"), "5");
    map.SetSize(10, 10);
    EXPECT_EQ(map.Cell(8, 8).Floor(), 4);

    map.SetSize(5, 5);
    auto reloaded = Load(Save(map));
    reloaded->SetSize(10, 10);
    EXPECT_EQ(reloaded->Cell(8, 8).Floor(), 0);

    EXPECT_THROW(map.SetSize(0, 5), KestruneError);
    EXPECT_THROW(map.SetSize(5, 257), KestruneError);
    EXPECT_EQ(map.SizeX, 5);
    EXPECT_EQ(map.Params->GetValue("sizeY"), "5");
}

TEST_F(MapFile, GridFollowsTheSizeAndKeepsCellsThroughGrowingAndShrinking)
{
    TMap map("M", p.Maps.get(), 1, 1);
    EXPECT_EQ(map.GridX() * map.GridY(), 1);
    map.Cell(0, 0).Floor() = 3;
    map.SetSize(256, 200);
    EXPECT_EQ(map.Cell(0, 0).Floor(), 3);
    map.Cell(7, 2).ObjectIndex() = 2;
    map.Cell(255, 199).Wall(2) = 1;

    // Content beyond the smaller size is held until the map grows again...
    map.SetSize(8, 3);
    EXPECT_EQ(map.GridX(), 256);
    map.SetSize(256, 200);
    EXPECT_EQ(map.Cell(255, 199).Wall(2), 1);
    // ...and an empty outside is let go, the cells inside kept.
    map.Cell(255, 199).Wall(2) = 0;
    map.SetSize(8, 3);
    EXPECT_EQ(map.GridX() * map.GridY(), 24);
    EXPECT_EQ(map.Cell(0, 0).Floor(), 3);
    EXPECT_EQ(map.Cell(7, 2).ObjectIndex(), 2);
    EXPECT_EQ(map.Cell(100, 100).Floor(), 0);

    // The file is the one of a map made at that size.
    TMap fresh("M", p.Maps.get(), 8, 3);
    fresh.Cell(0, 0).Floor() = 3;
    fresh.Cell(7, 2).ObjectIndex() = 2;
    EXPECT_EQ(Save(map), Save(fresh));

    // Undo puts a larger size back: its cells are there to paint.
    map.RestoreDerivedState({40, 30});
    map.Cell(39, 29).Floor() = 1;
    EXPECT_EQ(map.Cell(39, 29).Floor(), 1);
    EXPECT_EQ(map.Cell(7, 2).ObjectIndex(), 2);
}

TEST_F(MapFile, OrientationParameterIsClampedAndNonNumbersRefused)
{
    TMap map("M", p.Maps.get(), 4, 4);
    map.SelX = 2;
    map.SelY = 1;
    EXPECT_TRUE(map.ParameterChanged("#orientation", "2"));
    EXPECT_EQ(map.Cell(2, 1).Orientation(), 2);
    EXPECT_TRUE(map.ParameterChanged("#orientation", "9"));
    EXPECT_EQ(map.Cell(2, 1).Orientation(), 3);
    EXPECT_TRUE(map.ParameterChanged("#orientation", "-4"));
    EXPECT_EQ(map.Cell(2, 1).Orientation(), 0);
    EXPECT_THROW(map.ParameterChanged("#orientation", "east"), KestruneError);
    EXPECT_THROW(map.ParameterChanged("#orientation", "$2"), KestruneError);
    EXPECT_EQ(map.Cell(2, 1).Orientation(), 0);
    EXPECT_FALSE(map.ParameterChanged("title", "x"));
}

TEST_F(MapFile, RemoveElementReferencesRenumbersOneLayerInsideTheMap)
{
    TMap map("M", p.Maps.get(), 3, 1);
    map.Cell(0, 0).Floor() = 3;
    map.Cell(1, 0).Floor() = 5;
    map.Cell(2, 0).Floor() = 2;
    map.Cell(2, 0).Ceiling() = 3;
    map.SetSize(2, 1);
    map.RemoveElementReferences(1, 2);
    EXPECT_EQ(map.Cell(0, 0).Floor(), 0);
    EXPECT_EQ(map.Cell(1, 0).Floor(), 4);
    EXPECT_EQ(map.Cell(2, 0).Floor(), 2); // outside the current size
    EXPECT_EQ(map.Cell(2, 0).Ceiling(), 3);
}

TEST_F(MapFile, SelectedSlotFollowsTheKind)
{
    TMap map("M", p.Maps.get(), 2, 2);
    map.SelSide = 2;
    EXPECT_EQ(map.SelectedSlot(1), 2);
    EXPECT_EQ(map.SelectedSlot(2), 4);
    EXPECT_EQ(map.SelectedSlot(3), 5);
    EXPECT_EQ(map.SelectedSlot(4), 6);
    EXPECT_EQ(map.SelectedSlot(0), -1);
    EXPECT_EQ(map.SelectedSlot(5), -1);
}

TEST_F(MapFile, UnknownElementNamesAreWrittenAsQuestionMarks)
{
    TMap map("M", p.Maps.get(), 1, 1);
    map.Cell(0, 0).Wall(0) = 200;
    const std::string bytes = Save(map);
    EXPECT_EQ(Hex(bytes.substr(0, 5)), Hex(Bytes("02 00 01") + C("?")));
}

TEST_F(MapFile, TruncatedAndGarbageFilesNeverCrash)
{
    TMap map("M", p.Maps.get(), 6, 5);
    map.Cell(1, 1).Wall(0) = 1;
    map.Cell(2, 3).Floor() = 2;
    map.AddItem(static_cast<TItemDef*>(p.ItemDefs->Element(0)), 1, 1);
    map.AddMonster(static_cast<TMonsterDef*>(p.MonsterDefs->Element(0)), 2, 2);
    map.Events->SetValue("onEnter[1,1]", "Say(\"hi\");");
    const std::string whole = Save(map);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        try {
            auto m = Load(whole.substr(0, cut));
            EXPECT_LE(m->Items->Count(), 1);
            EXPECT_LE(m->Monsters->Count(), 1);
        } catch (const KestruneError&) {
            // a refused size is a clear error
        }
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        try {
            Load(RandomBytes(rng, 600));
        } catch (const KestruneError&) {
        }
    }
}

TEST_F(MapFile, ChangedIsClearedWhenTheFileIsWritten)
{
    TMap map("Hall", p.Maps.get(), 3, 3);
    map.AddItem(static_cast<TItemDef*>(p.ItemDefs->Element(0)), 0, 0);
    EXPECT_TRUE(map.Changed);
    map.SaveToFile(map.MapFileName(inst.game / "maps" / ""));
    EXPECT_FALSE(map.Changed);
    EXPECT_TRUE(fs::exists(inst.Map("Hall.map")));
}

} // namespace
} // namespace kestrune::test
