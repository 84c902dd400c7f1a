// The definition file: the line grammar and its part switches, the value
// types and their validation, picture folders, the folder listings of folder
// choices, library choices, defaults for new elements, completing the
// property table, and the game's own definition file.

#include "core/definitions.h"
#include "core/errors.h"
#include "core/loadsave.h"
#include "core/parlist.h"
#include "core/proptable.h"
#include "core/test_util.h"
#include "core/text.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <typeinfo>
#include <string>
#include <vector>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;
using Strings = std::vector<std::string>;

std::vector<std::string> Names(const TFieldList& list)
{
    std::vector<std::string> names;
    for (const auto& entry : list)
        names.push_back(entry.first);
    return names;
}

template <class T>
T* As(TField* f)
{
    return dynamic_cast<T*>(f);
}

// Group and default of a definition, or markers when it is missing.
int GroupOf(const TField* f) { return f ? f->Group : -1; }
std::string DefaultOf(const TField* f) { return f ? f->DefaultValue : "<missing>"; }

// One section "s" holding the given definition lines.
TField* Define(TValList& defs, const std::string& line)
{
    defs.LoadFromText("s\n " + line + "\n");
    const TDefValue* s = defs.GetDefValue("s");
    return s && !s->ParamDefs.empty() ? s->ParamDefs.front().second.get() : nullptr;
}

// ---- the line grammar ----

TEST(DefGrammar, SectionsDefinitionsCommentsAndLineEnds)
{
    TValList defs;
    defs.LoadFromText("# comment\r\n/ comment\rwallDef\r\n imageDir | DIRS(x) | def | the folder | ignored\n"
                      " bare\r\n\r\n   \n two|INT|7\n"
                      "FloorDef  \t\n image||\n");
    ASSERT_EQ(defs.Count(), 2);
    EXPECT_EQ(defs.SectionName(0), "wallDef");
    EXPECT_EQ(defs.SectionName(1), "FloorDef"); // trailing blanks and tabs go first

    const TDefValue* wall = defs.GetDefValue("wallDef");
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(Names(wall->ParamDefs), (Strings{"bare", "imageDir", "two"}));
    TField* dir = defs.GetField("walldef", "IMAGEDIR");
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->DefaultValue, "def");
    EXPECT_EQ(dir->Description, "the folder");
    EXPECT_EQ(dir->Group, 0);
    EXPECT_EQ(DefaultOf(defs.GetField("wallDef", "bare")), "");
    EXPECT_EQ(DefaultOf(defs.GetField("wallDef", "two")), "7");
    EXPECT_NE(defs.GetField("FloorDef", "image"), nullptr);
    EXPECT_EQ(defs.GetField("FloorDef", "two"), nullptr);
    EXPECT_EQ(defs.GetField("nothing", "two"), nullptr);
}

TEST(DefGrammar, SectionNamesIgnoreCaseAndTheFirstOfTwoWins)
{
    TValList defs;
    defs.LoadFromText("WALLDEF\n a\nwalldef\n b\n");
    const TDefValue* wall = defs.GetDefValue("wallDef");
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(Names(wall->ParamDefs), Strings{"a"});
    EXPECT_EQ(defs.GetField("wallDef", "b"), nullptr);
    EXPECT_EQ(defs.GetDefValue("wallDe"), nullptr);
}

TEST(DefGrammar, LinesThatOpenSections)
{
    TValList defs;
    // Before any section a definition, a heading and a part switch are names.
    defs.LoadFromText(" early|INT\n caught\n+h\n.EVENTS\n");
    ASSERT_EQ(defs.Count(), 1);
    EXPECT_EQ(defs.SectionName(0), " early|INT");
    const TDefValue* s = defs.Section(0);
    EXPECT_EQ(Names(s->ParamDefs), Strings{"caught"});
    EXPECT_EQ(s->Headings, Strings{"h"});

    defs.LoadFromText("s\n a\n\tb|INT\n c\n");
    ASSERT_EQ(defs.Count(), 2); // a tab is not the leading space
    EXPECT_EQ(defs.SectionName(1), "\tb|INT");
    EXPECT_EQ(Names(defs.Section(1)->ParamDefs), Strings{"c"});
    EXPECT_EQ(Names(defs.Section(0)->ParamDefs), Strings{"a"});
}

TEST(DefGrammar, PartSwitches)
{
    TValList defs;
    defs.LoadFromText("s\n p1\n.events\n e1\n.PARAMS\n p2\n.Events   \n e2\n.events x\n p3\n.\n p4\n");
    const TDefValue* s = defs.GetDefValue("s");
    EXPECT_EQ(Names(s->ParamDefs), (Strings{"p1", "p2", "p3", "p4"}));
    EXPECT_EQ(Names(s->EventDefs), (Strings{"e1", "e2"}));

    // A new section starts with parameters.
    defs.LoadFromText("a\n.EVENTS\nb\n x\n");
    EXPECT_EQ(Names(defs.GetDefValue("b")->ParamDefs), Strings{"x"});
}

TEST(DefGrammar, HeadingCounterIsResetOnlyByEvents)
{
    TValList defs;
    defs.LoadFromText("s\n p0\n+One\n p1\n+Two\n p2\n.EVENTS\n e0\n+Three\n e1\n.other\n p3\n"
                      "+Four\n p4\nt\n q\n");
    const TDefValue* s = defs.GetDefValue("s");
    EXPECT_EQ(s->Headings, (Strings{"One", "Two", "Three", "Four"}));
    const std::map<std::string, int> params = {{"p0", 0}, {"p1", 1}, {"p2", 2}, {"p3", 1}, {"p4", 2}};
    for (const auto& [name, group] : params)
        EXPECT_EQ(GroupOf(TDefValue::FindField(s->ParamDefs, name)), group) << name;
    EXPECT_EQ(GroupOf(TDefValue::FindField(s->EventDefs, "e0")), 0);
    EXPECT_EQ(GroupOf(TDefValue::FindField(s->EventDefs, "e1")), 1);
    EXPECT_EQ(GroupOf(defs.GetField("t", "q")), 0);
}

TEST(DefGrammar, LongLinesAreCut)
{
    TValList defs;
    const std::string name(300, 'n');
    const std::string heading(300, 'h');
    defs.LoadFromText("s\n " + name + "\n+" + heading + "\n " + std::string(250, 'a') + "|INT|123456789\n");
    const TDefValue* s = defs.GetDefValue("s");
    ASSERT_EQ(s->ParamDefs.size(), 2u);
    EXPECT_NE(TDefValue::FindField(s->ParamDefs, std::string(255, 'n')), nullptr);
    EXPECT_EQ(s->Headings, Strings{std::string(255, 'h')});
    // 250 + "|INT|" is 255: the default is cut away altogether.
    TField* cut = TDefValue::FindField(s->ParamDefs, std::string(250, 'a'));
    ASSERT_NE(cut, nullptr);
    EXPECT_NE(As<TIntField>(cut), nullptr);
    EXPECT_EQ(cut->DefaultValue, "");
}

TEST(DefGrammar, DuplicatesKeepTheFirstAndListsAreSortedWithoutCase)
{
    TValList defs;
    defs.LoadFromText("s\n beta|INT|1\n Alpha\n BETA|BOOL|2\n gamma\n alpha|INT\n.EVENTS\n beta|INT|e\n");
    const TDefValue* s = defs.GetDefValue("s");
    EXPECT_EQ(Names(s->ParamDefs), (Strings{"Alpha", "beta", "gamma"}));
    TField* beta = defs.GetField("s", "Beta");
    EXPECT_NE(As<TIntField>(beta), nullptr);
    EXPECT_EQ(DefaultOf(beta), "1");
    EXPECT_EQ(As<TIntField>(defs.GetField("s", "alpha")), nullptr);
    // The same name may be an event too; GetField never finds events.
    EXPECT_EQ(DefaultOf(TDefValue::FindField(s->EventDefs, "beta")), "e");
    EXPECT_EQ(DefaultOf(defs.GetField("s", "gamma")), "");
}

TEST(DefGrammar, UnnamedDefinitionsAreLeftOut)
{
    TValList defs;
    defs.LoadFromText("s\n |INT|5\n  | x\n ok\n");
    EXPECT_EQ(Names(defs.GetDefValue("s")->ParamDefs), Strings{"ok"});
}

// ---- value types ----

TEST(DefTypes, Keywords)
{
    TValList defs;
    const std::map<std::string, int> listed = {{"ITEMS", 0}, {"monsters", 1}, {"Wall", 2}, {"FLOORS", 3},
                                               {"ceilings", 4}, {"NPCS", 5}, {"maps", 6}};
    for (const auto& [word, kind] : listed) {
        auto* f = As<TListedField>(Define(defs, "x|" + word));
        ASSERT_NE(f, nullptr) << word;
        EXPECT_EQ(f->LibraryKind, kind);
        EXPECT_EQ(f->EditStyle(), esPickList);
    }
    for (const char* t : {"int", "Integer"})
        EXPECT_EQ(Define(defs, std::string("x|") + t)->EditStyle(), esSimple) << t;
    for (const char* t : {"bool", "BOOLEAN"}) {
        auto* f = As<TBoolField>(Define(defs, std::string("x|") + t));
        ASSERT_NE(f, nullptr) << t;
        EXPECT_EQ(f->Choices.Items(), (Strings{"F", "T"}));
    }
    for (const char* t : {"", "text", "INTEGERS", "WALLS", "ITEM", "(IMAGE)"}) {
        TField* f = Define(defs, std::string("x|") + t);
        ASSERT_NE(f, nullptr) << t;
        EXPECT_EQ(typeid(*f), typeid(TField)) << t;
        EXPECT_EQ(f->EditStyle(), esEllipsis);
        EXPECT_EQ(f->GetValues(), nullptr);
    }
}

TEST(DefTypes, ArgumentsOfPictureAndFolderTypes)
{
    TValList defs;
    struct PictureCase {
        std::string type, folder;
    } pictures[] = {
        {"IMAGE(images/Walls/$imageDir)", "images/Walls/$imageDir/"},
        {"image(images/)", "images/"},
        {"IMAGE", ""},
        {"IMAGE()", ""},
        {"Images(a(b))", "a(b)/"},
        {"IMAGE(a))", "a)/"},
        {"IMAGE(a", "a/"},
    };
    for (const auto& c : pictures) {
        auto* f = As<TPictureField>(Define(defs, "x|" + c.type));
        ASSERT_NE(f, nullptr) << c.type;
        EXPECT_EQ(f->Folder, c.folder) << c.type;
    }
    struct DirCase {
        std::string type, pattern;
        int attributes;
    } dirs[] = {
        {"WAVS(Sounds)", "Sounds/*.wav", 32},
        {"wavs", "/*.wav", 32},
        {"DIRS(images/Walls)", "images/Walls", 16},
        {"Files(Scripts/*.q)", "Scripts/*.q", 63},
    };
    for (const auto& c : dirs) {
        auto* f = As<TDirField>(Define(defs, "x|" + c.type));
        ASSERT_NE(f, nullptr) << c.type;
        EXPECT_EQ(f->Pattern, c.pattern) << c.type;
        EXPECT_EQ(f->Attributes, c.attributes) << c.type;
        EXPECT_TRUE(f->IsValid("anything at all"));
    }
}

TEST(DefTypes, BracketChoices)
{
    TValList defs;
    struct Case {
        std::string type;
        Strings choices;
    } cases[] = {
        {"[north, south ]", {"NORTH", "SOUTH"}},
        {"[West,East,east]", {"EAST", "WEST"}},
        {"[a,,b]", {"", "A", "B"}},
        {"[]", {""}},
        {"[", {""}},
        {"[one", {"ONE"}},
        {"[x] ]", {"X]"}},
    };
    for (const auto& c : cases) {
        auto* f = As<TListField>(Define(defs, "x|" + c.type));
        ASSERT_NE(f, nullptr) << c.type;
        EXPECT_EQ(f->Choices.Items(), c.choices) << c.type;
        ASSERT_NE(f->GetValues(), nullptr);
        EXPECT_EQ(*f->GetValues(), c.choices);
    }
}

TEST(DefTypes, ChoiceListSortsAndDropsDuplicatesWithoutCase)
{
    TChoiceList list;
    for (const char* s : {"b", "A", "+x", "a", "", "1", "B"})
        list.Add(s);
    EXPECT_EQ(list.Items(), (Strings{"", "+x", "1", "A", "b"}));
    EXPECT_TRUE(list.Contains("a"));
    EXPECT_TRUE(list.Contains("B"));
    EXPECT_FALSE(list.Contains("c"));
    EXPECT_FALSE(list.Add("+X"));
}

// ---- validation ----

TEST(DefValidation, ListKeysBeforeCommaAndBar)
{
    TValList defs;
    TField* f = Define(defs, "dir|[NORTH,SOUTH]");
    for (const char* ok : {"", "north", "SOUTH", "north,more text", "South|x", "north,|x", "south|a,b"})
        EXPECT_TRUE(f->IsValid(ok)) << ok;
    for (const char* bad : {"west|more", "west", ",north", "|south", " north", "nor"})
        EXPECT_FALSE(f->IsValid(bad)) << bad;
    EXPECT_EQ(TListField::ValueKey("a|b,c"), "a");
    EXPECT_EQ(TListField::ValueKey("a,b|c"), "a");

    TField* withEmpty = Define(defs, "dir|[a,,b]");
    EXPECT_TRUE(withEmpty->IsValid(",tail"));
}

TEST(DefValidation, BooleansAndIntegers)
{
    TValList defs;
    TField* b = Define(defs, "flag|BOOL");
    for (const char* ok : {"T", "t", "F", "f", ""})
        EXPECT_TRUE(b->IsValid(ok)) << ok;
    for (const char* bad : {"true", "1", "x"})
        EXPECT_FALSE(b->IsValid(bad)) << bad;

    TField* i = Define(defs, "n|INT");
    for (const char* ok : {"", "-12", "  -12", "$1F", "0x1f", "X10", "+7", "2147483647", "-2147483648"})
        EXPECT_TRUE(i->IsValid(ok)) << ok;
    for (const char* bad : {"12a", "12 ", "   ", "-", "2147483648", "1.5", "$"})
        EXPECT_FALSE(i->IsValid(bad)) << bad;

    EXPECT_TRUE(Define(defs, "t|")->IsValid("anything"));
}

// ---- picture folders ----

TEST(DefPicture, ResolvedFolder)
{
    const std::string sep(1, static_cast<char>(fs::path::preferred_separator));
    TPictureField f;
    f.Folder = "images/$imageDir/";
    TParList params("wallDef");
    EXPECT_EQ(f.ResolvedFolder(params), "images" + sep);
    params.Add(std::make_unique<TPar>("imagedir", "wrong case"));
    EXPECT_EQ(f.ResolvedFolder(params), "images" + sep);
    params.Add(std::make_unique<TPar>("imageDir", "brick"));
    EXPECT_EQ(f.ResolvedFolder(params), "images" + sep + "brick" + sep);

    // Of two entries with exactly that name the last one counts.
    params.Add(std::make_unique<TPar>("imageDir", "stone/"));
    EXPECT_EQ(f.ResolvedFolder(params), "images" + sep + "stone" + sep);

    f.Folder = "$imageDir/";
    EXPECT_EQ(f.ResolvedFolder(params), "stone" + sep);
    f.Folder = "pics/walls/";
    EXPECT_EQ(f.ResolvedFolder(params), "pics" + sep + "walls" + sep);
    f.Folder = "";
    EXPECT_EQ(f.ResolvedFolder(params), "");
}

TEST(DefPicture, RelativePicturePath)
{
    TempDir dir;
    const fs::path folder = dir / "images";
    EXPECT_EQ(TPictureField::RelativePicturePath(folder, folder / "walls" / "a.png"), "walls/a.png");
    EXPECT_EQ(TPictureField::RelativePicturePath(folder.string() + "/", folder / "b.png"), "b.png");
    EXPECT_EQ(TPictureField::RelativePicturePath(folder / "x" / "..", dir / "images" / "c.png"), "c.png");
    EXPECT_EQ(TPictureField::RelativePicturePath(folder, dir / "other" / "d.png"), "../other/d.png");
    EXPECT_EQ(TPictureField::RelativePicturePath(folder, folder / "w\\e.png"), "w/e.png");
}

// ---- folder choices ----

class DefDirListing : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = tmp / "data";
        project = tmp / "project.game";
        for (const char* f : {"data/sounds/a.wav", "data/sounds/b.WAV", "data/sounds/c.txt",
                              "data/sounds/.hidden.wav", "data/sounds/sub/d.wav",
                              "data/images/walls/top.png", "data/images/walls/.secret.png",
                              "data/images/walls/noext", "data/images/walls/brick/front.png",
                              "data/images/walls/.git/x", "data/images/walls/stone/side.png",
                              "project.game/sounds/A.wav", "project.game/sounds/e.wav",
                              "project.game/images/walls/stone/new.png"}) {
            fs::create_directories((tmp / f).parent_path());
            WriteFile(tmp / f, "");
        }
        std::error_code ec;
        fs::create_directory_symlink("..", data / "images" / "walls" / "stone" / "loop", ec);
        haveLink = !ec;
        defs.Context.DataFolder = data;
        defs.Context.ProjectFolder = project;
    }

    Strings List(const std::string& type)
    {
        auto* f = As<TDirField>(Define(defs, "x|" + type));
        EXPECT_NE(f, nullptr) << type;
        return f ? *f->GetValues() : Strings{};
    }

    TempDir tmp;
    fs::path data, project;
    bool haveLink = false;
    TValList defs;
};

TEST_F(DefDirListing, WavsListsOrdinaryFilesOfOneFolderFromBothFolders)
{
    EXPECT_EQ(List("WAVS(sounds)"), (Strings{"a.wav", "b.WAV", "e.wav"}));
    defs.Context.ProjectFolder.clear();
    EXPECT_EQ(List("WAVS(sounds)"), (Strings{"a.wav", "b.WAV"}));
    defs.Context.DataFolder = tmp / "missing";
    EXPECT_EQ(List("WAVS(sounds)"), Strings{});
}

TEST_F(DefDirListing, DirsListsVisibleFilesAndFoldersOfTheTree)
{
    Strings expected = {"brick", "brick/front.png", "noext", "stone", "stone/new.png", "stone/side.png", "top.png"};
    if (haveLink)
        expected.insert(expected.begin() + 4, "stone/loop"); // listed, never entered
    EXPECT_EQ(List("DIRS(images/walls)"), expected);
    EXPECT_EQ(List("DIRS(images/walls/)"), expected);
}

TEST_F(DefDirListing, FilesListsEveryFileOfTheTree)
{
    EXPECT_EQ(List("FILES(images/walls)"), (Strings{".git/x", ".secret.png", "brick/front.png", "noext",
                                                    "stone/new.png", "stone/side.png", "top.png"}));
    // The file part of a wildcard pattern applies in every sub-folder.
    EXPECT_EQ(List("FILES(images/walls/*.PNG)"),
              (Strings{".secret.png", "brick/front.png", "stone/new.png", "stone/side.png", "top.png"}));
    EXPECT_EQ(List("FILES(sounds/?.wav*)"), (Strings{"a.wav", "b.WAV", "e.wav", "sub/d.wav"}));
}

TEST_F(DefDirListing, ListingIsRebuiltOnEveryCall)
{
    auto* f = As<TDirField>(Define(defs, "x|WAVS(sounds)"));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetValues()->size(), 3u);
    WriteFile(data / "sounds" / "z.wav", "");
    fs::remove(project / "sounds" / "e.wav");
    EXPECT_EQ(*f->GetValues(), (Strings{"a.wav", "b.WAV", "z.wav"}));
}

// ---- library choices ----

class Library : public TLoadSaveList {
public:
    struct Element : TLoadSaveItem {
        bool LoadFromStream(TQVFileStream&) override { return false; }
        void SaveToStream(TQVFileStream&) override {}
    };
    explicit Library(const Strings& names)
    {
        for (const auto& n : names) {
            auto e = std::make_unique<Element>();
            e->Name = n;
            Add(std::move(e));
        }
    }
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<Element>(); }
};

TEST(DefListed, ChoicesComeFromTheLibraryOfItsKind)
{
    TValList defs;
    defs.LoadFromText("s\n weapon|ITEMS\n home|MAPS\n");
    auto* weapon = As<TListedField>(defs.GetField("s", "weapon"));
    auto* home = As<TListedField>(defs.GetField("s", "home"));
    ASSERT_NE(weapon, nullptr);
    ASSERT_NE(home, nullptr);

    EXPECT_FALSE(weapon->IsValid("Sword")); // nothing offered yet
    EXPECT_EQ(*weapon->GetValues(), Strings{""});

    Library items({"Sword", "axe", "SWORD", "Bow"});
    defs.Context.LibraryTable[0] = &items;
    EXPECT_EQ(*weapon->GetValues(), (Strings{"", "axe", "Bow", "Sword"}));
    EXPECT_TRUE(weapon->IsValid("sword"));
    EXPECT_TRUE(weapon->IsValid("AXE,2"));
    EXPECT_TRUE(weapon->IsValid(""));
    EXPECT_FALSE(weapon->IsValid("dagger"));
    EXPECT_EQ(*home->GetValues(), Strings{""});

    // Validation follows the last listing, not the library itself.
    items.Add(std::make_unique<Library::Element>())->Name = "Dagger";
    EXPECT_FALSE(weapon->IsValid("dagger"));
    weapon->GetValues();
    EXPECT_TRUE(weapon->IsValid("dagger"));
}

// ---- defaults and the property table ----

TEST(DefCreateDefault, SetsNonEmptyDefaultsOfParameters)
{
    TValList defs;
    defs.LoadFromText("s\n b|INT|5\n A||x\n c||\n.EVENTS\n e||script\n");
    TParList params("s");
    params.SetValue("a", "old");
    defs.CreateDefault("S", params);
    ASSERT_EQ(params.Count(), 2);
    EXPECT_EQ(params.Par(0)->Name, "a");
    EXPECT_EQ(params.Par(0)->Value, "x");
    EXPECT_EQ(params.Par(1)->Name, "b");
    EXPECT_EQ(params.Par(1)->Value, "5");

    defs.CreateDefault("unknown", params);
    EXPECT_EQ(params.Count(), 2);
}

std::map<std::string, int> Groups(const TPropertyTable& table)
{
    std::map<std::string, int> groups;
    for (const auto& row : table.Rows())
        groups[row.name] = row.grp.value_or(-1);
    return groups;
}

const char* const kExpandText = "wallDef\n imageDir|DIRS(x)\n+Look\n imageFront|IMAGE(x)\n+Sound\n"
                                " knock|WAVS(s)\n.EVENTS\n onHit\n";

TEST(DefExpandDS, EmptyTableGetsDefinitionsAndHeadings)
{
    TValList defs;
    defs.LoadFromText(kExpandText);
    TPropertyTable table;
    defs.ExpandDS(table, "WALLDEF", 0);
    ASSERT_EQ(table.TotalCount(), 5);
    EXPECT_EQ(Groups(table), (std::map<std::string, int>{
                                 {"imageDir", 0}, {"imageFront", 1}, {"knock", 2}, {"+Look", 1}, {"+Sound", 2}}));
    for (const auto& row : table.Rows())
        EXPECT_EQ(row.value, "");
    EXPECT_EQ(table.CurrentIndex(), 0);
    EXPECT_EQ(table.GetState(), TPropertyTable::State::Browse);
}

TEST(DefExpandDS, StoredRowsGetTheirGroups)
{
    TValList defs;
    defs.LoadFromText(kExpandText);
    TPropertyTable table;
    table.AppendRow("IMAGEFRONT", "f.png");
    table.AppendRow("custom", "1");
    defs.ExpandDS(table, "wallDef", 0);
    EXPECT_EQ(table.TotalCount(), 6);
    EXPECT_EQ(Groups(table), (std::map<std::string, int>{{"IMAGEFRONT", 1}, {"custom", 0}, {"imageDir", 0},
                                                         {"knock", 2}, {"+Look", 1}, {"+Sound", 2}}));
    EXPECT_EQ(table.Rows()[0].value, "f.png");
    EXPECT_EQ(table.GetState(), TPropertyTable::State::Browse);
}

TEST(DefExpandDS, EventsGetNoHeadingsAndUnknownSectionsNothing)
{
    TValList defs;
    defs.LoadFromText("s\n+One\n p\n.EVENTS\n onHit\n+Late\n onUse\n");
    TPropertyTable table;
    table.AppendRow("onhit", "x");
    defs.ExpandDS(table, "s", 1);
    EXPECT_EQ(Groups(table), (std::map<std::string, int>{{"onhit", 0}, {"onUse", 1}}));
    // A heading of the events part is still a heading of the section.
    TPropertyTable params;
    defs.ExpandDS(params, "s", 0);
    EXPECT_EQ(Groups(params), (std::map<std::string, int>{{"p", 1}, {"+One", 1}, {"+Late", 2}}));

    TPropertyTable other;
    other.AppendRow("a", "1");
    defs.ExpandDS(other, "nothing", 0);
    ASSERT_EQ(other.TotalCount(), 1);
    EXPECT_FALSE(other.Rows()[0].grp.has_value());
}

// ---- files ----

TEST(DefFile, MissingAndUnreadableFiles)
{
    TempDir dir;
    try {
        TValList defs(dir / "qv5game.def");
        FAIL() << "no error";
    } catch (const KestruneError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    TValList defs;
    defs.LoadFromText("kept\n");
    try {
        defs.LoadFromFile(dir.Path());
        FAIL() << "no error";
    } catch (const KestruneError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.Path().string());
    }
    EXPECT_NE(defs.GetDefValue("kept"), nullptr);

    WriteFile(dir / "a.def", "first\r\n x|INT\r\n");
    defs.LoadFromFile(dir / "a.def");
    EXPECT_EQ(defs.Count(), 1);
    EXPECT_NE(As<TIntField>(defs.GetField("FIRST", "X")), nullptr);
}

TEST(DefFile, GarbageNeverBreaksTheReader)
{
    std::mt19937 rng(20240611);
    TValList defs;
    TParList params("p");
    for (int round = 0; round < 300; ++round) {
        std::string text = test::RandomBytes(rng, 3000);
        // Push some rounds towards the grammar's own characters.
        if (round % 2)
            for (char& c : text)
                if (static_cast<unsigned char>(c) % 5 == 0)
                    c = " |+.\n["[static_cast<unsigned char>(c) % 6];
        defs.LoadFromText(text);
        for (int i = 0; i < defs.Count(); ++i) {
            TDefValue* s = defs.Section(i);
            for (auto* list : {&s->ParamDefs, &s->EventDefs})
                for (auto& entry : *list) {
                    entry.second->GetValues();
                    entry.second->IsValid(entry.first);
                }
            defs.CreateDefault(defs.SectionName(i), params);
        }
    }
    defs.LoadFromText("s\n " + std::string(1 << 20, 'x') + "\n" + std::string(1 << 20, '+'));
    ASSERT_EQ(defs.Count(), 1);
    EXPECT_EQ(defs.Section(0)->ParamDefs.front().first, std::string(255, 'x'));
    EXPECT_EQ(defs.Section(0)->Headings, Strings{std::string(255, '+')});

    // NUL bytes are ordinary characters inside a line and blanks at its end.
    static const char nulText[] = "sec\0tion\n\0\n n\0me|INT\0\n";
    defs.LoadFromText(std::string(nulText, sizeof nulText - 1));
    ASSERT_EQ(defs.Count(), 1);
    EXPECT_NE(As<TIntField>(defs.GetField(std::string("sec\0tion", 8), std::string("n\0me", 4))), nullptr);
}

TEST(DefFile, TheGamesDefinitionFile)
{
    // The build copies the file into the build folder, which is the tests'
    // working folder; started by hand, the test looks beside its own folder.
    fs::path file = "qv5game.def";
    std::error_code ec;
    if (!fs::exists(file, ec))
        file = fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "qv5game.def";
    ASSERT_TRUE(fs::exists(file, ec)) << "qv5game.def is not in the build folder";
    TValList defs(file);
    for (const char* section : {"wallDef", "FloorDef", "CeilingDef", "ObjectDef", "itemDef", "1monsterDef",
                                "1NPCDef", "map", "mapSquare", "mapWall", "item", "monster", "NPC", "names",
                                "game params"})
        EXPECT_NE(defs.GetDefValue(section), nullptr) << section;

    auto* dir = As<TDirField>(defs.GetField("wallDef", "imageDir"));
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->Pattern, "images/walls");
    auto* front = As<TPictureField>(defs.GetField("wallDef", "imageFront"));
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(front->Folder, "images/walls/$imageDir/");
    for (const char* s : {"FloorDef", "CeilingDef", "ObjectDef", "1monsterDef", "1NPCDef"})
        EXPECT_NE(As<TPictureField>(defs.GetField(s, "image")), nullptr) << s;
    EXPECT_NE(defs.GetField("itemDef", "icon"), nullptr);
    for (const char* s : {"monster", "NPC"})
        for (const char* p : {"x", "y", "sizeX", "sizeY"})
            EXPECT_NE(As<TIntField>(defs.GetField(s, p)), nullptr) << s << " " << p;
    auto* map = As<TListedField>(defs.GetField("NPC", "map"));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->LibraryKind, 6);
    EXPECT_EQ(defs.GetField("mapSquare", "#orientation"), nullptr);

    // Every value type occurs, and no section is defined twice.
    std::set<int> kinds, attributes;
    bool intSeen = false, boolSeen = false, listSeen = false;
    std::set<std::string> sections;
    for (int i = 0; i < defs.Count(); ++i) {
        EXPECT_TRUE(sections.insert(UpperCase(defs.SectionName(i))).second) << defs.SectionName(i);
        for (const auto& [name, f] : defs.Section(i)->ParamDefs) {
            if (auto* l = dynamic_cast<TListedField*>(f.get()))
                kinds.insert(l->LibraryKind);
            else if (auto* d = dynamic_cast<TDirField*>(f.get()))
                attributes.insert(d->Attributes);
            else if (dynamic_cast<TBoolField*>(f.get()))
                boolSeen = true;
            else if (dynamic_cast<TListField*>(f.get()))
                listSeen = true;
            else if (dynamic_cast<TIntField*>(f.get()))
                intSeen = true;
        }
    }
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(attributes, (std::set<int>{16, 32, 63}));
    EXPECT_TRUE(intSeen && boolSeen && listSeen);
}

} // namespace
} // namespace kestrune
