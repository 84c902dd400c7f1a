// The function index of the QV5Lang help: the scan of class pages, the
// sorted name list with its tree, and the real help pages of the sample game.

#include "help/functionindex.h"

#include "core/test_util.h"
#include "core/text.h"

#include "help/help_pages_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace kestrune {
namespace {

using test::ClassLink;
using test::Function;
using test::WritePage;

using test::TempDir;

TEST(FunctionIndexScan, ReadsNamesParametersAndReturnTypes)
{
    const std::string page =
        "<a name=top></a><a name=\"functions.Quoted\"></a><a name=functions></a><a name=#functions.X>"
        "<a href=\"#functions.Link\">Link</a>\n" +
        Function("Spawn", "(name, x, y)", "<a href=\"Monster.class.html\">Monster</a><br>the new one") +
        Function("Count", "", "int<br>how many") + Function("Clear", "()", "") +
        Function("Help", "(topic)", "<a href=\"other.html\">page</a>") +
        Function("Late", "(a)", "</i><a href=\"Item.class.html\">Item</a>") +
        // the anchor ends at a blank or "(" before ">"; the last Returns has no anchor after it
        "<a name=functions.Open(x)></a><b>Open</b> (door)<ul></ul><b>Returns</b><ul>\r\n  bool  \r\n";
    const auto f = ScanPageText(page);
    ASSERT_EQ(f.size(), 6u);
    const std::vector<std::vector<std::string>> expected = {
        {"Spawn", "(name, x, y)", "#Monster"}, {"Count", "", "int"},   {"Clear", "()", ""},
        {"Help", "(topic)", "other.html\">page"},  {"Late", "(a)", ""}, {"Open", "(door)", "bool"},
    };
    for (size_t i = 0; i < f.size(); ++i) {
        EXPECT_EQ(f[i].Name, expected[i][0]);
        EXPECT_EQ(f[i].Params, expected[i][1]) << f[i].Name;
        EXPECT_EQ(f[i].Returns, expected[i][2]) << f[i].Name;
    }
}

TEST(FunctionIndexScan, HeadingAndReturnsEdgeCases)
{
    // A heading runs to the next "<ul>", even past the next anchor. A Returns
    // section past the next function anchor belongs to that function only.
    auto f = ScanPageText("<a name=functions.A><b>A</b> (x)\r\n<a name=functions.B><b>B</b> (y)<ul>"
                          "<b>Returns</b><ul> <a href=\" Map.class.html\">Map</a>");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].Params, "(x)\r\n<a name=functions.B><b>B</b> (y)");
    EXPECT_EQ(f[0].Returns, "");
    EXPECT_EQ(f[1].Params, "(y)");
    EXPECT_EQ(f[1].Returns, "#Map");
    // Anchors without a ">" after them are no anchors; an empty page has none.
    EXPECT_TRUE(ScanPageText("<b>A</b><a name=functions.Lost (x) text").empty());
    // A heading with no "<ul>" after it gives no parameter text.
    f = ScanPageText("<a name=functions.Tail><b>Tail</b> (x)");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].Params, "");
    EXPECT_TRUE(ScanPageText("").empty());
    // The name in the heading must be followed by five characters before "(".
    f = ScanPageText("<a name=functions.Go><b>Go</b>(x, y)<ul>");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].Params, "");
}

TEST(FunctionIndexScan, ReadPageTextJoinsLinesWithCrLf)
{
    TempDir dir;
    WritePage(dir / "p.html", "a\nb\r\nc\rd");
    EXPECT_EQ(ReadPageText(dir / "p.html"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(ReadPageText(dir / "missing.html"), "");
}

TEST(FunctionIndexScan, LargePagesTakeLinearTime)
{
    // 100,000 function anchors with one Returns section at the very end, and
    // a 10 MB page of anchors that never close: a quadratic scan would take
    // minutes and run into the test's time-out; a linear one takes milliseconds.
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "<a name=functions.F" + std::to_string(i) + "></a><b>F" + std::to_string(i) + "</b> (v)<ul>x</ul>\n";
    many += "<b>Returns</b><ul>int</ul>";
    std::string open;
    while (open.size() < 10000000)
        open += "<a name=functions.Z ";
    const auto f = ScanPageText(many);
    EXPECT_EQ(ScanPageText(open).size(), 0u);
    ASSERT_EQ(f.size(), 100000u);
    EXPECT_EQ(f[5].Params, "(v)");
    EXPECT_EQ(f[5].Returns, "");
    EXPECT_EQ(f.back().Returns, "int");
}

TEST(FunctionIndexBuild, SortsNamesAndKeepsTheTree)
{
    TempDir dir;
    WritePage(dir / "Monster.class.html", Function("say", "(text)", "") + Function("Kill", "()", ""));
    WritePage(dir / "Npc.class.html", Function("Say", "(text, seconds)", "int") +
                                          Function("Follow", "", "<a href=\"Npc.class.html\">Npc</a>"));
    WritePage(dir / "Empty.CLASS.HTML", "<a name=top></a>no functions");
    WritePage(dir / "index.html", Function("Ignored", "()", ""));
    TFunctionIndex index;
    index.BuildFunctionIndex(dir.Path().string() + "/");
    EXPECT_EQ(index.HelpFolder(), dir.Path().string() + "/");

    std::vector<std::string> names;
    for (const auto& e : index.FunctionNames())
        names.push_back(LowerCase(e.Name));
    EXPECT_EQ(names, (std::vector<std::string>{"follow", "kill", "say", "say"}));
    ASSERT_EQ(index.FunctionParams().size(), 4u);
    ASSERT_EQ(index.FunctionReturns().size(), 4u);

    // Lookups ignore case and give the first entry; each entry reaches its
    // class, parameters and return type through its node.
    EXPECT_EQ(index.IndexOfName("SAY"), 2);
    EXPECT_EQ(index.IndexOfName("Ignored"), -1);
    EXPECT_EQ(index.IndexOfName("Sa"), -1);
    std::vector<std::string> classes = {index.ClassOf(2), index.ClassOf(3)};
    std::sort(classes.begin(), classes.end());
    EXPECT_EQ(classes, (std::vector<std::string>{"Monster", "Npc"}));
    const int follow = index.IndexOfName("follow");
    EXPECT_EQ(index.ClassOf(follow), "Npc");
    EXPECT_EQ(index.ParamsOf(follow), "");
    EXPECT_EQ(index.ReturnsOf(follow), "#Npc");

    const auto& nodes = index.Nodes();
    ASSERT_EQ(index.TopLevel().size(), 3u);
    std::vector<std::string> top;
    for (int n : index.TopLevel())
        top.push_back(nodes[n].Text);
    EXPECT_EQ(top, (std::vector<std::string>{"Empty", "Monster", "Npc"}));
    const THelpNode& empty = nodes[index.TopLevel()[0]];
    EXPECT_EQ(empty.Image, 0);
    EXPECT_EQ(index.ClassPagePath(index.TopLevel()[0]), dir.Path().string() + "/Empty.CLASS.HTML");
    EXPECT_TRUE(empty.Children.empty());
    const THelpNode& monster = nodes[index.TopLevel()[1]];
    EXPECT_EQ(monster.Image, 1);
    EXPECT_EQ(monster.Data, 0);
    ASSERT_EQ(monster.Children.size(), 2u);
    EXPECT_EQ(index.ClassPagePath(monster.Children[1]), dir.Path().string() + "/Monster.class.html");
    const THelpNode& say = nodes[monster.Children[0]];
    EXPECT_EQ(say.Text, "say");
    EXPECT_EQ(say.Image, 2);
    EXPECT_EQ(say.SelectedImage, 3);
    EXPECT_EQ(index.FunctionParams()[say.Data - 1], "(text)");
    EXPECT_EQ(index.FunctionReturns()[say.Data - 1], "");

    // Building again starts afresh; a missing folder gives an empty index.
    index.BuildFunctionIndex(dir / "missing");
    EXPECT_TRUE(index.FunctionNames().empty());
    EXPECT_TRUE(index.FunctionParams().empty());
    EXPECT_TRUE(index.Nodes().empty());
    EXPECT_EQ(index.IndexOfName("Say"), -1);
    EXPECT_EQ(index.PagePath("index.html"), (dir / "missing").string() + "/index.html");
}

TEST(FunctionIndexBuild, IndexesTheSampleHelpPages)
{
    TFunctionIndex index;
    index.BuildFunctionIndex(std::filesystem::path(KESTRUNE_SOURCE_DIR) / "examples/game/qv5lang");
    const auto& names = index.FunctionNames();
    ASSERT_GE(names.size(), 40u);
    for (size_t i = 1; i < names.size(); ++i)
        EXPECT_LE(LocaleCompare(names[i - 1].Name, names[i].Name, false), 0) << names[i].Name;

    std::vector<std::string> top;
    for (int n : index.TopLevel()) {
        top.push_back(index.Nodes()[n].Text);
        EXPECT_EQ(index.Nodes()[n].Image, 1) << top.back();
    }
    for (const char* cls : {"index", "Item", "Map", "Monster", "Npc", "Player"})
        EXPECT_NE(std::find(top.begin(), top.end(), cls), top.end()) << cls;

    const int say = index.IndexOfName("say");
    ASSERT_GE(say, 0);
    ASSERT_LT(say + 1, static_cast<int>(names.size()));
    EXPECT_EQ(names[say + 1].Name, "Say");
    std::vector<std::string> classes = {index.ClassOf(say), index.ClassOf(say + 1)};
    std::sort(classes.begin(), classes.end());
    EXPECT_EQ(classes, (std::vector<std::string>{"Monster", "Npc"}));
    EXPECT_EQ(index.ParamsOf(say), "(text, seconds)");

    const int spawn = index.IndexOfName("SpawnMonster");
    ASSERT_GE(spawn, 0);
    EXPECT_EQ(index.ClassOf(spawn), "Map");
    EXPECT_EQ(index.ParamsOf(spawn), "(name, x, y)");
    EXPECT_EQ(index.ReturnsOf(spawn), "#Monster");
    const int random = index.IndexOfName("Random");
    ASSERT_GE(random, 0);
    EXPECT_EQ(index.ClassOf(random), "index");
    EXPECT_EQ(index.ReturnsOf(random), "int");
}

} // namespace
} // namespace kestrune
