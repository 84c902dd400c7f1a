#include "model_test_util.h"

#include <gtest/gtest.h>

#include <QImage>

#include <map>
#include <sys/stat.h>

#include <chrono>
#include <map>

namespace kestrune::test {
namespace {

const std::string EndMarker = "\r\n\xAB";

std::string ColoursFile(const std::vector<std::array<int, 3>>& colours, bool closing = true)
{
    std::string s;
    for (const auto& c : colours)
        s += T(std::to_string(c[0])) + T(std::to_string(c[1])) + T(std::to_string(c[2])) + "\x0A\x0D";
    return closing ? s + "\xAB" : s;
}

std::string MapFileBytes(int sx, int sy)
{
    return Bytes("02 00 00 00 00 00") + W(sx) + W(sy) + std::string(static_cast<size_t>(sx * sy * 8), '\0') +
           Bytes("00 00 00") + C("sizeX") + C(std::to_string(sx)) + C("sizeY") + C(std::to_string(sy)) +
           Bytes("00 00 00");
}

std::vector<std::string> FilesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ProjectLoad, EmptyProjectFolderGivesSharedElementsAndSavesEmptyFiles)
{
    Installation inst;
    WriteFile(inst.DataDef("walls.qv5"), Library(Element("Stone", Rows(4, "11111111111"))));
    WriteFile(inst.DataDef("monsters.qv5"), Library(Element("Rat", {})));
    auto p = NewProject();
    p->Load(inst.GameFolder());
    ASSERT_TRUE(p->LoadComplete());
    ASSERT_EQ(p->Walls->Count(), 1);
    EXPECT_TRUE(p->Walls->Element(0)->Shared);
    EXPECT_TRUE(p->MonsterDefs->Element(0)->Shared);
    EXPECT_EQ(p->DataFolder, WithSeparator(fs::absolute(inst.data).lexically_normal().string()));

    p->Save();
    for (const char* f : {"walls.qv5", "floors.qv5", "ceilings.qv5", "objects.qv5", "items.qv5", "monsters.qv5",
                          "npcs.qv5", "names.qv5", "game.qv5"})
        EXPECT_EQ(Hex(ReadFile(inst.GameDef(f))), Hex(EndMarker)) << f;
    EXPECT_EQ(Hex(ReadFile(inst.GameDef("mapColors.qv5"))),
              Hex(ColoursFile(std::vector<std::array<int, 3>>(17, {0, 0, 0}))));
    EXPECT_EQ(Hex(ReadFile(inst.Map("defined.npcs"))), "00");
    // Nothing else was left behind (no temporary files).
    EXPECT_EQ(FilesIn(inst.game / "def").size(), 10u);
}

TEST(ProjectLoad, ProjectElementsFollowSharedOnesAndOnlyTheyAreSaved)
{
    Installation inst;
    WriteFile(inst.DataDef("floors.qv5"), Library(Element("Moss", Rows(11, "00000000000"))));
    const std::string own = Library(Element("moss", Rows(11, "33333333333"), {{"image", "m.png"}}));
    WriteFile(inst.GameDef("floors.qv5"), own);
    auto p = NewProject();
    p->Load(inst.GameFolder());
    ASSERT_EQ(p->Floors->Count(), 2);
    EXPECT_TRUE(p->Floors->Element(0)->Shared);
    EXPECT_FALSE(p->Floors->Element(1)->Shared);
    EXPECT_EQ(p->Floors->Element(1)->Name, "moss");
    p->Save();
    EXPECT_EQ(Hex(ReadFile(inst.GameDef("floors.qv5"))), Hex(own));
}

TEST(ProjectLoad, MapsAreFilesEndingInMapAnyCaseSortedByBytes)
{
    Installation inst;
    WriteFile(inst.Map("apple.map"), MapFileBytes(2, 2));
    WriteFile(inst.Map("Zebra.MAP"), MapFileBytes(3, 1));
    WriteFile(inst.Map("extra.mapx"), MapFileBytes(1, 1));
    WriteFile(inst.Map("notes.txt"), "x");
    fs::create_directories(inst.game / "maps" / "folder.map");
    auto p = NewProject();
    p->Load(inst.GameFolder());
    ASSERT_EQ(p->Maps->Count(), 2);
    EXPECT_EQ(p->Maps->MapAt(0)->Name, "Zebra");
    EXPECT_EQ(p->Maps->MapAt(1)->Name, "apple");
    EXPECT_EQ(p->LibraryTable[6], p->Maps.get());

    // A map read from ".MAP" goes back into that same file.
    p->Maps->MapAt(0)->Cell(0, 0).Orientation() = 1;
    p->Save();
    EXPECT_FALSE(fs::exists(inst.Map("Zebra.map")));
    EXPECT_EQ(static_cast<int>(ReadFile(inst.Map("Zebra.MAP"))[10 + 7]), 1);
}

TEST(ProjectLoad, RefusedMapIsReportedOthersLoadAndItsFileSurvivesSaving)
{
    Installation inst;
    WriteFile(inst.Map("good.map"), MapFileBytes(2, 2));
    std::string bad = MapFileBytes(2, 2);
    bad[6] = 0; // sizeX 0
    bad[7] = 0;
    WriteFile(inst.Map("bad.map"), bad);
    auto p = NewProject();
    p->Load(inst.GameFolder());
    ASSERT_TRUE(p->LoadComplete());
    ASSERT_EQ(p->Maps->Count(), 1);
    ASSERT_EQ(p->Warnings.size(), 1u);
    EXPECT_NE(p->Warnings[0].find("bad.map"), std::string::npos);
    p->Save();
    EXPECT_EQ(ReadFile(inst.Map("bad.map")), bad);
}

TEST(ProjectLoad, HundredsOfRefusedMapsMakeOneMessageListingTheFirstTwenty)
{
    Installation inst;
    std::string bad = MapFileBytes(2, 2);
    bad[6] = 0; // sizeX 0
    bad[7] = 0;
    for (int i = 0; i < 300; ++i)
        WriteFile(inst.Map("broken" + std::to_string(i) + ".map"), bad);
    WriteFile(inst.Map("good.map"), MapFileBytes(2, 2));
    auto p = NewProject();
    p->Load(inst.GameFolder());
    ASSERT_EQ(p->Maps->Count(), 1);
    ASSERT_EQ(p->RefusedMaps.size(), 300u);
    std::vector<std::string> messages;
    for (const auto& refused : p->RefusedMaps)
        messages.push_back(refused.Message);

    const std::string text = RefusedMapsMessage(messages);
    EXPECT_EQ(text.rfind("300 map files were not loaded", 0), 0u) << text;
    size_t named = 0;
    for (size_t at = text.find("broken"); at != std::string::npos; at = text.find("broken", at + 1))
        ++named;
    EXPECT_EQ(named, 20u);
    EXPECT_NE(text.find(messages[19]), std::string::npos);
    EXPECT_EQ(text.find(messages[20]), std::string::npos);
    EXPECT_NE(text.find("and 280 more."), std::string::npos);
    // One refused file is told as it is.
    EXPECT_EQ(RefusedMapsMessage({messages[0]}), messages[0]);
}

TEST(ProjectLoad, ColoursFileFillsTheUserEntries)
{
    Installation inst;
    WriteFile(inst.GameDef("mapColors.qv5"), ColoursFile({{1, 2, 3}, {255, 0, 0}, {0, 0, 255}}));
    auto p = NewProject();
    p->FaceColor = 0x123456;
    p->Load(inst.GameFolder());
    EXPECT_EQ(p->MapColors[0], 0x123456u);
    EXPECT_EQ(p->MapColors[10], 0x0000FFu); // red in the low byte
    EXPECT_EQ(p->MapColors[17], 0x030201u);
    EXPECT_EQ(p->MapColors[18], 0x0000FFu);
    EXPECT_EQ(p->MapColors[19], 0xFF0000u);
    EXPECT_EQ(p->MapColors[20], 0u);
    p->MapColors[33] = 0x0A0B0C;
    p->Save();
    std::vector<std::array<int, 3>> expected(17, {0, 0, 0});
    expected[0] = {1, 2, 3};
    expected[1] = {255, 0, 0};
    expected[2] = {0, 0, 255};
    expected[16] = {12, 11, 10};
    EXPECT_EQ(Hex(ReadFile(inst.GameDef("mapColors.qv5"))), Hex(ColoursFile(expected)));
}

TEST(ProjectLoad, FailedLoadsAreReportedAndCanNeverBeSaved)
{
    Installation inst;
    WriteFile(inst.GameDef("items.qv5"), Library(Element("Sword", {})));
    const std::string npcs = C("Mira") + Bytes("00 00 00 00");
    WriteFile(inst.Map("defined.npcs"), npcs);

    auto noDefinitions = NewProject();
    noDefinitions->DefinitionFile = inst.dir / "missing.def";
    try {
        noDefinitions->Load(inst.GameFolder());
        FAIL() << "a missing definition file was accepted";
    } catch (const KestruneError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_FALSE(noDefinitions->LoadComplete());
    EXPECT_THROW(noDefinitions->Save(), KestruneError);

    WriteFile(inst.GameDef("mapColors.qv5"), ColoursFile({{1, 2, 3}}) + T("red") + T("0") + T("0"));
    auto badColour = NewProject();
    EXPECT_THROW(badColour->Load(inst.GameFolder()), KestruneError);
    EXPECT_FALSE(badColour->LoadComplete());
    EXPECT_THROW(badColour->Save(), KestruneError);
    EXPECT_EQ(ReadFile(inst.GameDef("items.qv5")), Library(Element("Sword", {})));
    EXPECT_EQ(ReadFile(inst.Map("defined.npcs")), npcs);
}

TEST(ProjectSave, ASaveThatFailsChangesNoFile)
{
    Installation inst;
    WriteFile(inst.Map("hall.map"), MapFileBytes(1, 1));
    WriteFile(inst.Map("yard.map"), MapFileBytes(1, 1));
    auto p = NewProject();
    p->Load(inst.GameFolder());
    ASSERT_EQ(p->Maps->Count(), 2);
    // A folder in place of the last map: every file written before it stays as it was.
    fs::remove(inst.Map("yard.map"));
    fs::create_directory(inst.Map("yard.map"));
    auto snapshot = [&inst] {
        std::map<std::string, std::pair<ino_t, std::string>> files;
        for (const auto& entry : fs::recursive_directory_iterator(inst.game)) {
            struct stat st {};
            ::lstat(entry.path().c_str(), &st);
            files[entry.path().string()] = {st.st_ino, entry.is_regular_file() ? ReadFile(entry.path()) : ""};
        }
        return files;
    };
    const auto before = snapshot();
    try {
        p->Save();
        FAIL() << "saving over a folder succeeded";
    } catch (const KestruneError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file ", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("yard.map\nIs a directory"), std::string::npos) << e.what();
    }
    EXPECT_EQ(snapshot(), before);
}

TEST(ProjectSave, RemovingAWallRenumbersEveryMap)
{
    Installation inst;
    std::string walls;
    for (int i = 1; i <= 5; ++i)
        walls += Element("W" + std::to_string(i), Rows(4, "00000000000"));
    WriteFile(inst.GameDef("walls.qv5"), Library(walls));
    WriteFile(inst.GameDef("floors.qv5"), Library(Element("F1", {}) + Element("F2", {}) + Element("F3", {})));
    auto p = NewProject();
    p->Load(inst.GameFolder());
    for (const char* name : {"a", "b"}) {
        auto* m = static_cast<TMap*>(p->Maps->Add(std::make_unique<TMap>(name, p->Maps.get(), 2, 1)));
        m->Cell(0, 0).Wall(0) = 3;
        m->Cell(0, 0).Wall(1) = 4;
        m->Cell(1, 0).Wall(3) = 2;
        m->Cell(1, 0).Floor() = 3;
    }
    p->RemoveFromMaps(0, 2);
    p->Walls->Delete(2);
    for (int i = 0; i < 2; ++i) {
        const TMap* m = p->Maps->MapAt(i);
        EXPECT_EQ(m->Cell(0, 0).Wall(0), 0);
        EXPECT_EQ(m->Cell(0, 0).Wall(1), 3);
        EXPECT_EQ(m->Cell(1, 0).Wall(3), 2);
        EXPECT_EQ(m->Cell(1, 0).Floor(), 3);
    }
    p->Save();
    auto again = NewProject();
    again->Load(inst.GameFolder());
    ASSERT_EQ(again->Maps->Count(), 2);
    EXPECT_EQ(again->Walls->Element(again->Maps->MapAt(0)->Cell(0, 0).Wall(1) - 1)->Name, "W4");
}

TEST(ProjectLoad, LibraryOfKindAndTheLibraryTable)
{
    Installation inst;
    auto p = NewProject();
    p->Load(inst.GameFolder());
    EXPECT_EQ(p->LibraryOfKind(0), p->Maps.get());
    EXPECT_EQ(p->LibraryOfKind(3), p->Ceilings.get());
    EXPECT_EQ(p->LibraryOfKind(7), p->Npcs.get());
    p->LibMode = true;
    EXPECT_EQ(p->LibraryOfKind(7), p->NpcDefs.get());
    EXPECT_EQ(p->LibraryOfKind(8), nullptr);
    EXPECT_EQ(p->Definitions->Context.LibraryTable[0], p->ItemDefs.get());
    EXPECT_EQ(p->Definitions->Context.LibraryTable[6], p->Maps.get());
}

TEST(ProjectLoad, DataEditModeEditsTheSharedLibrariesThemselves)
{
    Installation inst;
    WriteFile(inst.DataDef("walls.qv5"), Library(Element("Stone", Rows(4, "11111111111"))));
    WriteFile(inst.DataDef("names.qv5"), T("\r\nhero1") + T("Aldric") + EndMarker);
    WriteFile(inst.DataDef("mapColors.qv5"), ColoursFile({{9, 9, 9}}));
    WriteFile(inst.GameDef("game.qv5"), T("\r\nstartX") + T("3") + EndMarker);
    fs::create_directories(inst.data / "maps");

    auto p = NewProject();
    p->DataEditMode = true;
    p->Load(inst.data.string());
    ASSERT_EQ(p->Walls->Count(), 1);
    EXPECT_FALSE(p->Walls->Element(0)->Shared);
    EXPECT_EQ(p->GameParams, nullptr);
    EXPECT_EQ(p->ProjectNames, nullptr);
    EXPECT_EQ(p->MapColors[13], 0xFF0000u); // the fixed colours are there
    EXPECT_EQ(p->MapColors[17], 0x090909u);
    p->SharedNames->SetValue("hero2", "Brenna");
    p->Save();
    EXPECT_EQ(ReadFile(inst.DataDef("walls.qv5")), Library(Element("Stone", Rows(4, "11111111111"))));
    EXPECT_NE(ReadFile(inst.DataDef("names.qv5")).find("Brenna"), std::string::npos);
    EXPECT_FALSE(fs::exists(inst.DataDef("game.qv5")));
    EXPECT_EQ(ReadFile(inst.GameDef("game.qv5")), T("\r\nstartX") + T("3") + EndMarker);
    EXPECT_EQ(ReadFile(inst.DataDef("mapColors.qv5")).substr(0, 8), ColoursFile({{9, 9, 9}}, false));
}

TEST(ProjectLoad, GarbageLibraryAndColourFilesNeverCrash)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
        Installation inst;
        for (const char* f : {"walls.qv5", "floors.qv5", "items.qv5", "npcs.qv5", "names.qv5", "game.qv5", "mapColors.qv5"})
            WriteFile(inst.GameDef(f), RandomBytes(rng, 400));
        WriteFile(inst.Map("defined.npcs"), RandomBytes(rng, 400));
        WriteFile(inst.Map("m.map"), RandomBytes(rng, 400));
        auto p = NewProject();
        try {
            p->Load(inst.GameFolder());
        } catch (const KestruneError&) {
            EXPECT_FALSE(p->LoadComplete());
        }
    }
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// Every file under a folder, by its path relative to the folder.
std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[fs::relative(e.path(), root).generic_string()] = ReadFile(e.path());
    return files;
}

TEST(SampleGame, LoadsWholeAndSavesByteForByte)
{
    TempDir copy;
    const fs::path sample = SourceDir() / "examples" / "game";
    fs::copy(sample, copy.Path(), fs::copy_options::recursive);
    auto p = NewProject();
    ScriptedChooser chooser;
    p->Chooser = &chooser;
    p->Load((copy / "demo.game").string());
    ASSERT_TRUE(p->LoadComplete());
    EXPECT_TRUE(chooser.Questions.empty());
    EXPECT_TRUE(p->Warnings.empty());
    EXPECT_EQ(p->Maps->Count(), 3);
    EXPECT_GE(p->Walls->Count(), 8);
    EXPECT_GE(p->Npcs->Count(), 2);
    for (int i = 0; i < p->Walls->Count(); ++i) {
        ASSERT_TRUE(p->Walls->Element(i)->Picture) << p->Walls->Element(i)->Name;
        EXPECT_FALSE(p->Walls->Element(i)->Picture->isNull()) << p->Walls->Element(i)->Name;
    }
    for (int i = 0; i < p->ItemDefs->Count(); ++i) {
        ASSERT_TRUE(p->ItemDefs->Element(i)->Picture) << p->ItemDefs->Element(i)->Name;
        EXPECT_FALSE(p->ItemDefs->Element(i)->Picture->isNull()) << p->ItemDefs->Element(i)->Name;
    }
    const auto before = Tree(copy.Path());
    const auto stamp = fs::last_write_time(copy / "demo.game" / "maps" / "Cellar.map");
    fs::last_write_time(copy / "demo.game" / "maps" / "Cellar.map", stamp - std::chrono::hours(1));
    p->Save();
    EXPECT_NE(fs::last_write_time(copy / "demo.game" / "maps" / "Cellar.map"), stamp - std::chrono::hours(1));
    const auto after = Tree(copy.Path());
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, bytes] : before)
        EXPECT_TRUE(after.at(name) == bytes) << name << " changed on saving";
}

} // namespace
} // namespace kestrune::test
