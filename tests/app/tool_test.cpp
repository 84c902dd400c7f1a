#include "app/toolcommands.h"
#include "model/model_test_util.h"
#include "model/render.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrune::test {
namespace {

struct ToolRun {
    int status = 0;
    std::string out, err;
};

ToolRun Tool(std::vector<std::string> args)
{
    std::ostringstream out, err;
    ToolRun r;
    UseToolDrawing(); // as kestrune-tool-drawing, which runs render and check
    r.status = RunTool(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::string Def() { return KESTRUNE_DEF_FILE; }

TEST(JsonText, EightBitBytesAndControlsAreEscaped)
{
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("\xC9p\xE9" "e"), "\"\\u00c9p\\u00e9e\"");
    EXPECT_EQ(JsonString("x\r\ny\x01"), "\"x\\r\\ny\\u0001\"");
}

class ToolProject : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(inst.DataDef("walls.qv5"), Library(Element("Stone", Rows(4, "1234567890A"))));
        WriteFile(inst.DataDef("items.qv5"), Library(Element("\xC9p\xE9" "e", {}, {{"kind", "WEAPON"}})));
        WriteFile(inst.GameDef("floors.qv5"), Library(Element("Moss", Rows(11, "33333333333"))));
        WriteFile(inst.GameDef("names.qv5"), T("\r\nhero1") + T("Aldric") + T("\r\n"));
        // A map naming the wall Stone and a wall that no library holds.
        std::string map = Bytes("02 00 02") + C("Stone") + C("Lost") + Bytes("01") + C("Moss") + Bytes("00 00") +
                          W(2) + W(1) + Bytes("01 02 00 00 01 00 00 03") + Bytes("00 00 00 00 00 00 00 00");
        map += Bytes("00") + W(1) + W(1) + W(0) + C("itemDef") + C("\xC9p\xE9" "e") + Bytes("00 00");
        map += C("sizeX") + C("2") + C("sizeY") + C("1") + Bytes("00") + W(0);
        WriteFile(inst.Map("Hall.map"), map);
        WriteFile(inst.Map("Cellar.map"), map);
    }
    Installation inst;
};

TEST_F(ToolProject, DumpWritesTheWholeProjectAsJson)
{
    const ToolRun r = Tool({"dump", inst.GameFolder(), "--def", Def()});
    ASSERT_EQ(r.status, 0) << r.err;
    // The missing wall is reported once although two maps name it.
    EXPECT_EQ(r.err, "Wall with name Lost doesn't exists!\n");
    const std::string& j = r.out;
    EXPECT_NE(j.find("\"walls\": [\n      {\"name\": \"Stone\", \"shared\": true, \"pattern\": "
                     "[\"1234567890A\", \"1234567890A\", \"1234567890A\", \"1234567890A\"]"),
              std::string::npos);
    EXPECT_NE(j.find("{\"name\": \"Moss\", \"shared\": false"), std::string::npos);
    EXPECT_NE(j.find("\"name\": \"\\u00c9p\\u00e9e\""), std::string::npos);
    EXPECT_NE(j.find("\"cells\": [[0, 0, [0, 0, 1, 0], 1, 0, 0, 3, 0], [1, 0, [0, 0, 0, 0], 0, 0, 0, 0, 1]]"), std::string::npos) << j;
    EXPECT_NE(j.find("\"items\": [{\"name\": \"\\u00c9p\\u00e9e\", \"x\": 1, \"y\": 0"), std::string::npos);
    EXPECT_LT(j.find("{\"name\": \"Cellar\""), j.find("{\"name\": \"Hall\""));
    EXPECT_NE(j.find("\"projectNames\": [[\"hero1\", \"Aldric\"]]"), std::string::npos);
    EXPECT_NE(j.find("\"gameParams\": []"), std::string::npos);
    EXPECT_NE(j.find("\"mapColors\": [15790320, 0, 128, 32768,"), std::string::npos);
    EXPECT_EQ(j.find("\"keywords\""), std::string::npos);
    for (char c : j)
        EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST_F(ToolProject, ResaveWritesTheProjectBack)
{
    const std::string floors = ReadFile(inst.GameDef("floors.qv5"));
    const ToolRun r = Tool({"resave", inst.GameFolder(), "--def", Def()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(ReadFile(inst.GameDef("floors.qv5")), floors);
    EXPECT_TRUE(fs::exists(inst.GameDef("walls.qv5")));
    // The missing wall is gone from the map; the known one stays.
    const std::string hall = ReadFile(inst.Map("Hall.map"));
    EXPECT_EQ(Hex(hall.substr(0, 9)), Hex(Bytes("02 00 01") + C("Stone")));
}

TEST_F(ToolProject, GameModeEditsTheDataFolder)
{
    fs::create_directories(inst.data / "maps");
    const ToolRun r = Tool({"dump", inst.data.string(), "--game", "--def", Def()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"name\": \"Stone\", \"shared\": false"), std::string::npos);
    EXPECT_NE(r.out.find("\"projectNames\": null"), std::string::npos);
    EXPECT_NE(r.out.find("\"gameParams\": null"), std::string::npos);
}

TEST_F(ToolProject, CheckListsProblemsAsLinesOrJsonAndExitsWithThree)
{
    // Both maps name the wall Lost on side 3 of the cell (0, 0); nothing is asked.
    ToolRun r = Tool({"check", inst.GameFolder(), "--def", Def()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "");
    const std::string lost = ": the map names the wall \"Lost\", which the walls library does not hold (1 wall side; "
                             "the editor shows the map without it)\n";
    EXPECT_EQ(r.out, "error missing-element maps/Cellar.map [0,0,3]" + lost + "error missing-element maps/Hall.map [0,0,3]" + lost);

    r = Tool({"check", inst.GameFolder(), "--def", Def(), "--json"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.rfind("{\"problems\": [\n  {\"severity\": \"error\", \"kind\": \"missing-element\", "
                          "\"file\": \"maps/Cellar.map\", \"where\": \"[0,0,3]\", \"message\": \"the map names the wall "
                          "\\\"Lost\\\"",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 5), "}\n]}\n");

    const std::string sample = SourceDir() / "examples" / "game" / "demo.game";
    const std::string doc = SourceDir() / "examples" / "game" / "qv5lang";
    r = Tool({"check", sample, "--def", Def(), "--doc", doc});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    r = Tool({"check", sample, "--json", "--def", Def()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"problems\": []}\n");

    // A project that does not load, a help folder that is not there, options of other commands.
    EXPECT_EQ(Tool({"check", inst.GameFolder(), "--def", (inst.dir / "none.def").string()}).status, 1);
    r = Tool({"check", sample, "--def", Def(), "--doc", (inst.dir / "nowhere").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Tool({"check", sample, "--doc"}).status, 1);
    EXPECT_EQ(Tool({"check", sample, "--zoom", "2"}).status, 1);
    EXPECT_EQ(Tool({"dump", sample, "--json"}).status, 1);
}

TEST_F(ToolProject, FailuresExitWithOneAndWriteNothing)
{
    const std::string items = ReadFile(inst.DataDef("items.qv5"));
    ToolRun r = Tool({"resave", inst.GameFolder(), "--def", (inst.dir / "none.def").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "File not found\n");
    EXPECT_FALSE(fs::exists(inst.GameDef("walls.qv5")));

    WriteFile(inst.GameDef("mapColors.qv5"), T("12") + T("x") + T("0") + "\x0A\x0D\xAB");
    r = Tool({"resave", inst.GameFolder(), "--def", Def()});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(inst.GameDef("walls.qv5")));
    EXPECT_EQ(ReadFile(inst.DataDef("items.qv5")), items);

    EXPECT_EQ(Tool({}).status, 1);
    EXPECT_EQ(Tool({"render"}).status, 1);
    EXPECT_EQ(Tool({"dump"}).status, 1);
    EXPECT_EQ(Tool({"dump", inst.GameFolder(), "--def"}).status, 1);
    EXPECT_EQ(Tool({"dump", inst.GameFolder(), "--fast"}).status, 1);
    r = Tool({"dump", (inst.dir / "nowhere.game").string(), "--def", Def()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

class RenderCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(inst.DataDef("walls.qv5"), Library(Element("Stone", Rows(4, "AAAAAAAAAAA"))));
        WriteFile(inst.DataDef("floors.qv5"), Library(Element("Grass", Rows(11, "33333333333"))));
        std::string map = Bytes("02 00 01") + C("Stone") + Bytes("01") + C("Grass") + Bytes("00 00") + W(2) + W(2);
        map += Bytes("00 00 01 00 01 00 00 00") + std::string(24, '\0'); // cell (0, 0): wall on side 0, grass
        map += Bytes("00") + W(0) + C("sizeX") + C("2") + C("sizeY") + C("2") + Bytes("00") + W(0);
        WriteFile(inst.Map("Yard.map"), map);
    }
    ToolRun Render(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {"render", inst.GameFolder(), "yard", (inst.dir / "out.png").string(),
                                         "--def", Def()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Tool(args);
    }
    QImage Output() { return QImage(QString::fromStdString((inst.dir / "out.png").string())); }
    Installation inst;
};

TEST_F(RenderCommand, DrawsTheMapAsThePngOfItsCells)
{
    const ToolRun r = Render({"--zoom", "2", "--kind", "1", "--select", "1,1,2", "--face", "102030"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage image = Output();
    ASSERT_EQ(image.size(), QSize(52, 52));
    const QRgb face = qRgb(0x10, 0x20, 0x30);
    EXPECT_EQ(image.pixel(5, 40), qRgb(0, 128, 0));   // grass of cell (0, 0), the lower row
    EXPECT_EQ(image.pixel(5, 26), qRgb(255, 0, 0));   // its wall on side 0
    EXPECT_EQ(image.pixel(40, 13), face);             // cell (1, 1) is empty
    EXPECT_EQ(image.pixel(30, 25), qRgb(255, 0, 0));  // the selected side 2 of cell (1, 1)
    EXPECT_EQ(image.pixel(0, 0), ToRgb(GridColor) | 0xFF000000u);

    ASSERT_EQ(Render({"--no-floors", "--direct"}).status, 0);
    EXPECT_EQ(Output().size(), QSize(78, 78));
    EXPECT_NE(Output().pixel(10, 60), qRgb(0, 128, 0));
}

TEST_F(RenderCommand, BadRequestsWriteNothing)
{
    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{"--zoom", "7"}, {"--zoom", "x"}, {"--kind", "8"}, {"--select", "1,2"},
                                               {"--select", "1,2,4"}, {"--face", "12345"}, {"--face", "GG0000"},
                                               {"--direct", "--shiny"}}) {
        const ToolRun r = Render(extra);
        EXPECT_EQ(r.status, 1) << extra[0];
        EXPECT_FALSE(r.err.empty());
    }
    ToolRun r = Tool({"render", inst.GameFolder(), "Meadow", (inst.dir / "out.png").string(), "--def", Def()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Meadow"), std::string::npos);
    r = Tool({"render", inst.GameFolder(), "Yard", (inst.dir / "no" / "out.png").string(), "--def", Def()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot create file"), std::string::npos);
    EXPECT_EQ(Tool({"render", inst.GameFolder(), "Yard"}).status, 1);
    EXPECT_FALSE(fs::exists(inst.dir / "out.png"));
}

} // namespace
} // namespace kestrune::test
