// The library base: whole-file load and save in both forms, lookups by name,
// sorting, and the once-per-name question for missing elements.

#include "core/errors.h"
#include "core/loadsave.h"
#include "core/parlist.h"
#include "core/qvstream.h"
#include "core/text.h"
#include "core/test_util.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestrune {
namespace {

using test::Bytes;
using test::Hex;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string AB = "\xAB";

// An element whose name may legitimately read as empty: a marker token
// ("E"), then the name. An empty marker is the list end.
class TTestItem : public TLoadSaveItem {
public:
    bool LoadFromStream(TQVFileStream& stream) override
    {
        if (stream.ReadToken().empty())
            return false;
        Name = stream.ReadToken();
        return true;
    }
    void SaveToStream(TQVFileStream& stream) override
    {
        stream.WriteToken("E");
        stream.WriteToken(Name);
    }
};

class TTestLibrary : public TLibraryList {
public:
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TTestItem>(); }

    void AddNamed(const std::string& name)
    {
        auto item = CreateItem();
        item->Name = name;
        Add(std::move(item));
    }
};

// Answers the "Select replace" question from a script and records what it was shown.
class TScriptedChooser : public TReplacementChooser {
public:
    struct Answer {
        std::optional<int> choice;
        bool tickRemoveAll = false;
    };
    std::deque<Answer> answers;
    std::vector<std::string> messages;
    std::vector<std::vector<std::string>> shownNames;

protected:
    std::optional<int> ShowModal(const std::string& message, const std::vector<std::string>& names) override
    {
        messages.push_back(message);
        shownNames.push_back(names);
        if (answers.empty())
            return std::nullopt;
        const Answer a = answers.front();
        answers.pop_front();
        if (a.tickRemoveAll)
            RemoveAllMissing = true;
        return a.choice;
    }
};

// ---- files ----

TEST(LibraryFile, SavesBothFormsAsExactBytes)
{
    TempDir dir;
    TParList list("names");
    list.SetValue("a", "1");
    list.SetValue("b", "2");

    list.SaveToFile(dir / "text.qv5", false);
    EXPECT_EQ(Hex(ReadFile(dir / "text.qv5")), "0D 0A 61 AB 31 AB 0D 0A 62 AB 32 AB 0D 0A AB");
    list.SaveToFile(dir / "counted.bin", true);
    EXPECT_EQ(Hex(ReadFile(dir / "counted.bin")), "01 61 01 31 01 62 01 32 00");

    TParList empty("names");
    empty.SaveToFile(dir / "empty.qv5", false);
    EXPECT_EQ(Hex(ReadFile(dir / "empty.qv5")), "0D 0A AB");
    empty.SaveToFile(dir / "empty.bin", true);
    EXPECT_EQ(Hex(ReadFile(dir / "empty.bin")), "00");

    // Saving replaces an existing file whole.
    WriteFile(dir / "text.qv5", std::string(1000, 'x'));
    empty.SaveToFile(dir / "text.qv5", false);
    EXPECT_EQ(Hex(ReadFile(dir / "text.qv5")), "0D 0A AB");
    EXPECT_EQ(dir.Entries().size(), 4u);
}

TEST(LibraryFile, LoadAppendsAndMissingFileLoadsNothing)
{
    TempDir dir;
    TTestLibrary lib;
    lib.AddNamed("first");
    lib.AddNamed("Second");

    lib.LoadFromFile(dir / "absent.qv5", false);
    EXPECT_EQ(lib.Count(), 2);

    TTestLibrary other;
    other.AddNamed("SECOND");
    other.AddNamed("third");
    other.SaveToFile(dir / "lib.qv5", false);
    other.SaveToFile(dir / "lib.bin", true);

    lib.LoadFromFile(dir / "lib.qv5", false);
    EXPECT_EQ(lib.Names(), (std::vector<std::string>{"first", "Second", "SECOND", "third"}));
    EXPECT_EQ(lib.IndexOfName("second"), 1); // the earlier of the two
    EXPECT_EQ(lib.FindByName("SeCoNd"), lib.Item(1));

    lib.LoadFromFile(dir / "lib.bin", true);
    EXPECT_EQ(lib.Count(), 6);
    EXPECT_EQ(lib.Item(5)->Name, "third");
}

TEST(LibraryFile, SaveErrorsKeepTheOldFile)
{
    TempDir dir;
    TParList list("names");
    list.SetValue("key", "bad" + AB + "value");

    WriteFile(dir / "names.qv5", "old");
    EXPECT_THROW(list.SaveToFile(dir / "names.qv5", false), KestruneError);
    EXPECT_EQ(ReadFile(dir / "names.qv5"), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"names.qv5"});

    TParList ok("names");
    ok.SetValue("a", "1");
    const auto target = dir / "names.qv5" / "inner.qv5";
    try {
        ok.SaveToFile(target, false);
        FAIL() << "saving below a file must fail";
    } catch (const KestruneError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + target.string() + "\nNot a directory");
    }
}

TEST(LibraryFile, EndsWithoutMarkerAndEmptyNames)
{
    TempDir dir;
    // Two complete elements, no end marker.
    WriteFile(dir / "cut.qv5", "E" + AB + "one" + AB + "E" + AB + "two" + AB);
    TTestLibrary cut;
    cut.LoadFromFile(dir / "cut.qv5", false);
    EXPECT_EQ(cut.Names(), (std::vector<std::string>{"one", "two"}));

    // An element whose name reads as empty is dropped and loading goes on.
    WriteFile(dir / "blank.qv5", "E" + AB + "a" + AB + "E" + AB + "  \r\n" + AB + "E" + AB + "b" + AB +
                                     "\r\n" + AB + "E" + AB + "after end" + AB);
    TTestLibrary blank;
    blank.LoadFromFile(dir / "blank.qv5", false);
    EXPECT_EQ(blank.Names(), (std::vector<std::string>{"a", "b"}));

    // Counted form: the same rules.
    WriteFile(dir / "blank.bin", Bytes("01 45 01 61 01 45 00 01 45 01 62"));
    TTestLibrary counted;
    counted.LoadFromFile(dir / "blank.bin", true);
    EXPECT_EQ(counted.Names(), (std::vector<std::string>{"a", "b"}));
}

TEST(LibraryFile, GarbageNeverCrashes)
{
    TempDir dir;
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = test::RandomBytes(rng, 300);
        if (round % 3 == 0) // make the text terminator and line breaks common
            for (char& c : bytes)
                if (static_cast<unsigned char>(c) % 7 == 0)
                    c = static_cast<char>(0xAB);
        WriteFile(dir / "junk", bytes);
        for (bool counted : {false, true}) {
            TTestLibrary lib;
            ASSERT_NO_THROW(lib.LoadFromFile(dir / "junk", counted)) << "round " << round;
            for (int i = 0; i < lib.Count(); ++i)
                EXPECT_FALSE(lib.Item(i)->Name.empty());
            TParList params("p");
            ASSERT_NO_THROW(params.LoadFromFile(dir / "junk", counted)) << "round " << round;
            for (int i = 0; i < params.Count(); ++i)
                EXPECT_FALSE(params.Item(i)->Name.empty());
        }
    }
}

// ---- lookups and order ----

TEST(LibraryLookup, IndexOfNameIgnoresCase)
{
    TTestLibrary lib;
    lib.AddNamed("STONE WALL");
    lib.AddNamed("Door");
    lib.AddNamed("door");
    EXPECT_EQ(lib.IndexOfName("stone wall"), 0);
    EXPECT_EQ(lib.IndexOfName("DOOR"), 1);
    EXPECT_EQ(lib.IndexOfName("Stone"), -1);
    EXPECT_EQ(lib.IndexOfName(""), -1);
    EXPECT_EQ(lib.FindByName("nothing"), nullptr);
}

// Long lists searched often are looked up through an index; whatever the
// index holds, the answer is the first element equal without regard to case,
// as a search one by one finds it.
TEST(LibraryLookup, IndexedLookupsAgreeWithASearchOneByOne)
{
    TTestLibrary lib;
    std::vector<std::string> queries;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "Element " + std::to_string(i % 200); // the last 100 repeat earlier names
        lib.AddNamed(i % 3 == 0 ? UpperCase(name) : name);
        queries.push_back(LowerCase(name));
    }
    queries.push_back("element 999");
    queries.push_back("");
    auto scan = [&lib](const std::string& name) {
        for (int i = 0; i < lib.Count(); ++i)
            if (SameText(lib.Item(i)->Name, name))
                return i;
        return -1;
    };
    auto checkAll = [&]() {
        for (int round = 0; round < 3; ++round) // later rounds go through the index
            for (const std::string& q : queries)
                ASSERT_EQ(lib.IndexOfName(q), scan(q)) << q;
        std::vector<int> scanned;
        for (const std::string& q : queries)
            scanned.push_back(scan(q));
        EXPECT_EQ(lib.IndexOfNames(queries), scanned); // all at once
    };
    checkAll();

    // Appended while the index is in use: new names, repeated names, and
    // enough of them for the index to grow.
    for (int i = 0; i < 500; ++i) {
        const std::string name = "Added " + std::to_string(i % 400);
        lib.AddNamed(name);
        queries.push_back(name);
        ASSERT_EQ(lib.IndexOfName(name), scan(name)) << name;
    }
    checkAll();

    // Renamed and told, then changed by insertion and removal.
    lib.Item(5)->Name = "Renamed";
    lib.NamesChanged();
    queries.push_back("renamed");
    checkAll();
    auto first = lib.CreateItem();
    first->Name = "element 7";
    lib.Insert(0, std::move(first));
    lib.Delete(10);
    checkAll();

    // Renamed without telling the list: the old name is still answered as a
    // search one by one answers it (here by a later element of that name).
    const std::string old = lib.Item(20)->Name;
    lib.Item(20)->Name = "Quietly renamed";
    EXPECT_GT(scan(old), 20);
    EXPECT_EQ(lib.IndexOfNames({"element 3", old}), (std::vector<int>{scan("element 3"), scan(old)}));
    EXPECT_EQ(lib.IndexOfName(old), scan(old));
    lib.NamesChanged();
    queries.push_back("quietly renamed");
    checkAll();
}

TEST(LibraryLookup, SortByNameComparesBytes)
{
    TTestLibrary lib;
    for (const char* n : {"apple", "Zebra", "zebra", "Apple", "_x", "10", "2"})
        lib.AddNamed(n);
    TLoadSaveItem* zebra = lib.Item(1);
    lib.SortByName();
    EXPECT_EQ(lib.Names(), (std::vector<std::string>{"10", "2", "Apple", "Zebra", "_x", "apple", "zebra"}));
    EXPECT_EQ(lib.Item(3), zebra); // elements move, they are not copied
}

// ---- missing elements ----

TEST(LibraryReplace, MessageText)
{
    EXPECT_EQ(TReplacementChooser::Message("Wall", "brick"), "Wall with name brick doesn't exists!");
}

TEST(LibraryReplace, AsksOncePerMissingName)
{
    TTestLibrary walls;
    walls.AddNamed("stone");
    walls.AddNamed("wood");
    TScriptedChooser chooser;
    walls.Chooser = &chooser;

    EXPECT_EQ(walls.ResolveName("Wall", "WOOD"), 1);
    EXPECT_TRUE(chooser.messages.empty());

    chooser.answers.push_back({1});
    EXPECT_EQ(walls.ResolveName("Wall", "brick"), 1);
    ASSERT_EQ(chooser.messages.size(), 1u);
    EXPECT_EQ(chooser.messages[0], "Wall with name brick doesn't exists!");
    EXPECT_EQ(chooser.shownNames[0], (std::vector<std::string>{"stone", "wood"}));

    // A second map with the same missing name, in any case: no question.
    EXPECT_EQ(walls.ResolveName("Wall", "brick"), 1);
    EXPECT_EQ(walls.ResolveName("Wall", "BRICK"), 1);
    EXPECT_EQ(chooser.messages.size(), 1u);

    // "None" is remembered too; a different name is asked again.
    chooser.answers.push_back({std::nullopt});
    EXPECT_EQ(walls.ResolveName("Wall", "glass"), -1);
    EXPECT_EQ(walls.ResolveName("Wall", "glass"), -1);
    EXPECT_EQ(chooser.messages.size(), 2u);
    EXPECT_EQ(chooser.messages[1], "Wall with name glass doesn't exists!");
    ASSERT_EQ(walls.Replacements.size(), 2u);

    // Each library keeps its own answers.
    TTestLibrary floors;
    floors.AddNamed("grass");
    floors.Chooser = &chooser;
    chooser.answers.push_back({0});
    EXPECT_EQ(floors.ResolveName("Floor", "brick"), 0);
    EXPECT_EQ(chooser.messages.size(), 3u);
    EXPECT_EQ(chooser.messages[2], "Floor with name brick doesn't exists!");
    EXPECT_EQ(chooser.shownNames[2], std::vector<std::string>{"grass"});
    EXPECT_EQ(walls.ResolveName("Wall", "brick"), 1);

    // An element added later is found before the remembered answer is used.
    walls.AddNamed("Glass");
    EXPECT_EQ(walls.ResolveName("Wall", "glass"), 2);
}

TEST(LibraryReplace, RemoveAllMissingStopsEveryLaterQuestion)
{
    TScriptedChooser chooser;
    TTestLibrary walls, objects;
    walls.AddNamed("stone");
    objects.AddNamed("torch");
    walls.Chooser = &chooser;
    objects.Chooser = &chooser;

    chooser.answers.push_back({std::nullopt, true});
    EXPECT_EQ(walls.ResolveName("Wall", "brick"), -1);
    EXPECT_TRUE(chooser.RemoveAllMissing);
    EXPECT_EQ(chooser.messages.size(), 1u);

    EXPECT_EQ(walls.ResolveName("Wall", "glass"), -1);
    EXPECT_EQ(objects.ResolveName("Object", "lamp"), -1);
    EXPECT_EQ(objects.ResolveName("Object", "TORCH"), 0); // present elements still resolve
    EXPECT_EQ(chooser.messages.size(), 1u);

    EXPECT_EQ(chooser.Ask("Wall", "x", walls), -1);
    EXPECT_EQ(chooser.messages.size(), 1u);
}

TEST(LibraryReplace, WithoutChooserMissingNamesDrop)
{
    TTestLibrary walls;
    walls.AddNamed("stone");
    EXPECT_EQ(walls.ResolveName("Wall", "brick"), -1);
    EXPECT_EQ(walls.ResolveName("Wall", "stone"), 0);
}

} // namespace
} // namespace kestrune
