// The project check, "where used" and the search through the scripts.

#include "help/functionindex.h"
#include "model/map.h"
#include "model/model_test_util.h"
#include "model/placements.h"
#include "model/projectcheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrune::test {
namespace {

// A map file of 2 x 1 cells whose cell (0, 0) has the wall table's first
// entry on side 2, with the given sizes parameters and no placements.
std::string TwoCellMap(const std::string& wall)
{
    return Bytes("02 00 01") + C(wall) + Bytes("00 00 00") + W(2) + W(1) + Bytes("01 00 00 00 00 00 00 00") +
           std::string(8, '\0') + Bytes("00") + W(0) + C("sizeX") + C("2") + C("sizeY") + C("1") + Bytes("00") +
           W(0);
}

TMap* MapNamed(const Project& p, const std::string& name)
{
    for (int i = 0; i < p.Maps->Count(); ++i)
        if (p.Maps->MapAt(i)->Name == name)
            return p.Maps->MapAt(i);
    return nullptr;
}

std::vector<std::string> Summary(const std::vector<TProblem>& problems)
{
    std::vector<std::string> out;
    for (const TProblem& p : problems)
        out.push_back(p.severity + " " + p.kind + " " + p.file + " " + p.where);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(ProjectCheck, EachKindOfProblemIsFoundOnceWhereItIs)
{
    Installation inst;
    WriteFile(inst.DataDef("walls.qv5"), Library(Element("Stone", Rows(4, "00000000000"))));
    WriteFile(inst.DataDef("floors.qv5"),
              Library(Element("Moss", Rows(11, "00000000000"), {{"image", "moss.png"}}) +
                      Element("Tile", Rows(11, "00000000000"), {{"image", "bad.png"}}) +
                      Element("tile", Rows(11, "00000000000"))));
    fs::create_directories(inst.data / "images" / "floors");
    WriteFile(inst.data / "images" / "floors" / "bad.png", "not a picture at all, only text");
    WriteFile(inst.DataDef("items.qv5"), Library(Element("Sword", {}, {{"weight", "heavy"}})));
    WriteFile(inst.Map("Hall.map"), TwoCellMap("Lost"));                 // a wall no library holds
    WriteFile(inst.Map("Broken.map"), Bytes("02 00 00 00 00 00") + W(0) + W(0)); // refused: no cells
    const TempDir help;
    WriteFile(help / "index.class.html", "<a name=functions.Message><b>Message</b> (text)<ul></ul>");
    TFunctionIndex functions;
    functions.BuildFunctionIndex(help.Path());

    auto p = NewProject();
    p->Load(inst.GameFolder());
    ASSERT_TRUE(p->LoadComplete());
    TMap* hall = MapNamed(*p, "Hall");
    ASSERT_NE(hall, nullptr);
    hall->Events->SetValue("onEnter[5,0]", "Message(\"far away\");");
    hall->Events->SetValue("onEnter[1,0]", "Message(\"here\"); // a call in a comment: Nothing(1)");
    p->ItemDefs->Element(0)->Events->SetValue("onUse", "Message(\"hi\";");
    p->Floors->Element(0)->Events->SetValue("onEnter", "/* known */ Message('x'); Frobnicate(1);");
    auto npc = std::make_unique<TNPC>(p->Npcs.get());
    npc->Name = "Guard";
    npc->Params->SetValue("map", "Nowhere");
    p->Npcs->Add(std::move(npc));

    TCheckOptions options;
    options.functions = &functions;
    const std::vector<TProblem> problems = CheckProject(*p, options);
    EXPECT_EQ(Summary(problems), (std::vector<std::string>{
                                     "error duplicate-name def/floors.qv5 tile",
                                     "error invalid-value def/items.qv5 Sword",
                                     "error missing-element maps/Hall.map [0,0,2]",
                                     "error missing-map maps/defined.npcs Guard",
                                     "error outside-map maps/Hall.map [5,0]",
                                     "error unreadable-file maps/Broken.map -",
                                     "warning bad-picture def/floors.qv5 Tile",
                                     "warning missing-picture def/floors.qv5 Moss",
                                     "warning script-syntax def/items.qv5 Sword",
                                     "warning unknown-function def/floors.qv5 Moss",
                                 }));
    // Each one leads to its place.
    for (const TProblem& problem : problems) {
        SCOPED_TRACE(ProblemLine(problem));
        if (problem.kind == "missing-element") {
            EXPECT_EQ(problem.place.map, hall);
            EXPECT_EQ(problem.place.x, 0);
            EXPECT_EQ(problem.place.side, 2);
            EXPECT_NE(problem.message.find("\"Lost\""), std::string::npos);
        } else if (problem.kind == "outside-map") {
            EXPECT_EQ(problem.place.map, hall);
            EXPECT_EQ(problem.place.x, 5);
            EXPECT_EQ(problem.place.entry, "onEnter[5,0]");
        } else if (problem.kind == "unknown-function") {
            EXPECT_EQ(problem.place.scriptOwner, p->Floors->Element(0));
            EXPECT_EQ(problem.place.entry, "onEnter");
            EXPECT_EQ(problem.place.offset, 26);
        } else if (problem.kind == "duplicate-name") {
            EXPECT_EQ(problem.place.element, p->Floors->Element(2));
            EXPECT_EQ(problem.place.kind, 2);
        }
    }
    // Without the function index the calls are not judged.
    EXPECT_EQ(CheckProject(*p).size(), problems.size() - 1);

    // Put right, nothing is left.
    WriteFile(inst.Map("Broken.map"), TwoCellMap("Stone"));
    WriteFile(inst.Map("Hall.map"), TwoCellMap("Stone"));
    WriteFile(inst.DataDef("floors.qv5"), Library(Element("Tile", Rows(11, "00000000000"))));
    WriteFile(inst.DataDef("items.qv5"), Library(Element("Sword", {}, {{"weight", "12"}})));
    p = NewProject();
    p->Load(inst.GameFolder());
    EXPECT_EQ(Summary(CheckProject(*p, options)), std::vector<std::string>{});
}

TEST(ProjectCheck, TheSampleGameHasNoProblem)
{
    TFunctionIndex functions;
    functions.BuildFunctionIndex(SourceDir() / "examples" / "game" / "qv5lang");
    auto p = NewProject();
    p->Load((SourceDir() / "examples" / "game" / "demo.game").string());
    ASSERT_TRUE(p->LoadComplete());
    TCheckOptions options;
    options.functions = &functions;
    std::string lines;
    for (const TProblem& problem : CheckProject(*p, options))
        lines += ProblemLine(problem) + "\n";
    EXPECT_EQ(lines, "");
}

TEST(ProjectCheck, WhereUsedAndFindInScriptsListThePlaces)
{
    Installation inst;
    WriteFile(inst.DataDef("walls.qv5"),
              Library(Element("Brick", Rows(4, "00000000000")) +
                      Element("Stone", Rows(4, "00000000000"), {{"key", "Key"}})));
    WriteFile(inst.DataDef("items.qv5"), Library(Element("Key", {})));
    WriteFile(inst.Map("Hall.map"), TwoCellMap("Stone"));
    auto p = NewProject();
    p->Load(inst.GameFolder());
    TMap* hall = MapNamed(*p, "Hall");
    ASSERT_NE(hall, nullptr);
    hall->Cell(0, 0).Wall(0) = 2;  // Stone on sides 0 and 2 of the cell (0, 0)
    hall->Cell(1, 0).Wall(1) = 1;  // Brick elsewhere
    TItem* key = hall->AddItem(static_cast<TItemDef*>(p->ItemDefs->Element(0)), 1, 0);
    hall->Params->SetValue("key[1,0,1]", "key");
    hall->Events->SetValue("onEnter[1,0]", "Message(\"Key found\");\r\nkeyring = 1;");

    std::vector<std::string> wheres;
    const std::vector<TProblem> walls = WhereUsed(*p, 1, *p->Walls->Element(1));
    for (const TProblem& use : walls)
        wheres.push_back(use.kind + " " + use.file + " " + use.where);
    EXPECT_EQ(wheres, (std::vector<std::string>{"use maps/Hall.map [0,0,0]", "use maps/Hall.map [0,0,2]"}));
    EXPECT_EQ(walls[1].place.map, hall);
    EXPECT_EQ(walls[1].place.side, 2);

    // The item definition: the item lying on the map, the wall side's and the wall's parameters.
    wheres.clear();
    const std::vector<TProblem> keys = WhereUsed(*p, 5, *p->ItemDefs->Element(0));
    for (const TProblem& use : keys)
        wheres.push_back(use.file + " " + use.where);
    std::sort(wheres.begin(), wheres.end());
    EXPECT_EQ(wheres, (std::vector<std::string>{"def/walls.qv5 Stone", "maps/Hall.map [1,0,1]", "maps/Hall.map [1,0]"}));
    EXPECT_TRUE(std::any_of(keys.begin(), keys.end(), [&](const TProblem& u) { return u.place.element == key; }));

    auto found = [&](const std::string& text, bool wholeWord, bool matchCase) {
        std::vector<int> offsets;
        for (const TProblem& hit : FindInScripts(*p, text, wholeWord, matchCase)) {
            EXPECT_EQ(hit.place.scriptOwner, hall);
            EXPECT_EQ(hit.place.entry, "onEnter[1,0]");
            EXPECT_EQ(hit.where, "[1,0]");
            offsets.push_back(hit.place.offset);
        }
        return offsets;
    };
    EXPECT_EQ(found("key", false, false), (std::vector<int>{9, 23}));
    EXPECT_EQ(found("key", true, false), (std::vector<int>{9}));
    EXPECT_EQ(found("key", false, true), (std::vector<int>{23}));
    EXPECT_EQ(found("key", true, true), (std::vector<int>{}));
    EXPECT_EQ(found("", false, false), (std::vector<int>{}));
    const std::vector<TProblem> line = FindInScripts(*p, "keyring", true, true);
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(line[0].message, "onEnter[1,0] line 2: keyring = 1;");
}

} // namespace
} // namespace kestrune::test
