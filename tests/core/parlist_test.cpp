// Parameter lists: lookups, both file forms, hostile input, and the copies
// between a list and the property table (without definitions).

#include "core/definitions.h"
#include "core/parlist.h"
#include "core/proptable.h"
#include "core/qvstream.h"
#include "core/test_util.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {
namespace {

using test::Bytes;
using test::Hex;
using test::TempDir;
using test::WriteFile;
using Field = TPropertyTable::Field;

const std::string AB = "\xAB";

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries EntriesOf(const TParList& list)
{
    Entries out;
    for (int i = 0; i < list.Count(); ++i)
        out.emplace_back(list.Par(i)->Name, list.Par(i)->Value);
    return out;
}

void AddRaw(TParList& list, const std::string& name, const std::string& value)
{
    list.Add(std::make_unique<TPar>(name, value));
}

const TPropertyRow* RowNamed(const TPropertyTable& t, const std::string& name)
{
    for (const auto& r : t.Rows())
        if (r.name == name)
            return &r;
    return nullptr;
}

class ParListTest : public ::testing::Test {
protected:
    void SetUp() override { RememberedRowName().clear(); }
    void TearDown() override { RememberedRowName().clear(); }
};

// ---- lookups ----

TEST(ParListValues, GetValueIsExactAndLastWins)
{
    TParList list("wallDef");
    AddRaw(list, "Alpha", "1");
    AddRaw(list, "alpha", "2");
    AddRaw(list, "Alpha", "3");
    EXPECT_EQ(list.GetValue("Alpha"), "3");
    EXPECT_EQ(list.GetValue("alpha"), "2");
    EXPECT_EQ(list.GetValue("ALPHA"), "");
    EXPECT_EQ(list.GetValue("missing"), "");
    EXPECT_EQ(list.IndexOfName("ALPHA"), 0);
}

TEST(ParListValues, SetValueIgnoresCaseAndKeepsTheSpelling)
{
    TParList list("wallDef");
    AddRaw(list, "imageDir", "walls/");
    AddRaw(list, "size", "1");

    TPar* changed = list.SetValue("IMAGEDIR", "other/");
    EXPECT_EQ(changed, list.Par(0));
    EXPECT_EQ(EntriesOf(list), (Entries{{"imageDir", "other/"}, {"size", "1"}}));
    EXPECT_EQ(list.GetValue("IMAGEDIR"), "");
    EXPECT_EQ(list.GetValue("imageDir"), "other/");

    TPar* added = list.SetValue("newOne", "x");
    EXPECT_EQ(added, list.Par(2));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(added->Name, "newOne");
}

TEST(ParListValues, KindTellsParametersFromEvents)
{
    TParList params("itemDef");
    TEventList events("itemDef");
    EXPECT_EQ(params.Kind(), 0);
    EXPECT_EQ(events.Kind(), 1);
    EXPECT_EQ(static_cast<TParList&>(events).Kind(), 1);
    EXPECT_EQ(events.Name, "itemDef");
}

// ---- file forms ----

TEST(ParListFile, TextBytesAndEndMarker)
{
    TParList list("names");
    AddRaw(list, "a", "1");
    AddRaw(list, "b", "2");
    TQVFileStream w{TFileStream::MemoryTag{}};
    list.SaveToStream(w);
    EXPECT_EQ(Hex(w.Bytes()), "0D 0A 61 AB 31 AB 0D 0A 62 AB 32 AB 0D 0A AB");

    TQVFileStreamBinary c{TFileStream::MemoryTag{}};
    list.SaveToStream(c);
    EXPECT_EQ(Hex(c.Bytes()), "01 61 01 31 01 62 01 32 00");

    // The end marker first: an empty list.
    TQVFileStream r(TFileStream::MemoryTag{}, Bytes("0D 0A AB 0D 0A 61 AB 31 AB"));
    TParList empty("names", r);
    EXPECT_EQ(empty.Count(), 0);
}

TEST(ParListFile, StreamConstructorStopsAtTheEndMarker)
{
    const std::string bytes = "\r\nsizeX" + AB + "12" + AB + "\r\nsizeY" + AB + AB + "\r\n" + AB + "after" + AB;
    TQVFileStream r(TFileStream::MemoryTag{}, bytes);
    TParList list("map", r);
    EXPECT_EQ(list.Name, "map");
    EXPECT_EQ(EntriesOf(list), (Entries{{"sizeX", "12"}, {"sizeY", ""}}));
    EXPECT_EQ(r.ReadToken(), "after");

    TQVFileStreamBinary c(TFileStream::MemoryTag{}, Bytes("01 61 00 00 05") + "after");
    TParList counted("map", c);
    EXPECT_EQ(EntriesOf(counted), (Entries{{"a", ""}}));
    EXPECT_EQ(c.ReadToken(), "after");
}

// The entries one load reads live side by side; every list operation on
// them (and a second load appended to the same list) behaves as on entries
// made one by one, and an extracted entry outlives its list.
TEST(ParListFile, LoadedEntriesTakePartInEveryListOperation)
{
    std::string bytes;
    for (const char* n : {"a", "b", "c", "d", "e"})
        bytes += std::string("\r\n") + n + AB + std::string(40, *n) + AB;
    bytes += "\r\n" + AB;
    TQVFileStream r(TFileStream::MemoryTag{}, bytes + bytes);
    std::unique_ptr<TLoadSaveItem> kept;
    {
        TParList list("p", r);
        list.LoadFromStream(r); // appended: the second load's entries cannot share the first block
        ASSERT_EQ(list.Count(), 10);
        TPar* c = list.Par(2);
        kept = list.Extract(1); // "b" leaves in a heap entry of its own
        EXPECT_EQ(list.Par(1), c); // the others stay where they are
        list.Move(0, 3);
        list.Delete(4);
        list.Insert(0, std::move(kept));
        list.SetValue("new", "1");
        std::string names;
        for (int i = 0; i < list.Count(); ++i)
            names += list.Par(i)->Name;
        EXPECT_EQ(names, "bcdeabcdenew");
        EXPECT_EQ(list.GetValue("c"), std::string(40, 'c'));
        kept = list.Extract(0);
        list.SortByName();
        list.Clear();
        list.LoadFromStream(r); // nothing left: reads nothing
        EXPECT_EQ(list.Count(), 0);
    }
    EXPECT_EQ(static_cast<TPar*>(kept.get())->Value, std::string(40, 'b'));

    // A long list as loaded: looked up through the name index, bounds
    // checked, and then changed.
    std::string many;
    for (int i = 0; i < 30; ++i)
        many += "\r\nn" + std::to_string(i) + AB + "v" + AB;
    TQVFileStream m(TFileStream::MemoryTag{}, many + "\r\n" + AB);
    TParList loaded("p", m);
    for (int round = 0; round < 6; ++round)
        EXPECT_EQ(loaded.IndexOfName("N17"), 17);
    EXPECT_THROW(loaded.Item(30), std::out_of_range);
    loaded.SetValue("n30", "w");
    loaded.Delete(0);
    EXPECT_EQ(loaded.IndexOfName("n30"), 29);
    EXPECT_EQ(loaded.Par(16)->Name, "n17");
}

// Values of every length and kind: held in the entry, on the heap, or kept
// in the block of a counted load, which goes away with its list.
TEST(ParText, ValuesStayWholeThroughCopiesMovesAndTheirListsEnd)
{
    const std::string at15(15, 'x'), at16(16, 'y'), longer(300, 'z');
    for (const std::string& text : {std::string(), at15, at16, longer}) {
        TParText value(text);
        TParText copy = value, moved = std::move(TParText(value));
        EXPECT_EQ(copy, text);
        EXPECT_EQ(moved, text);
        EXPECT_EQ(std::string(moved), text);
        value = std::string_view(value).substr(text.empty() ? 0 : 1); // from its own text
        EXPECT_EQ(value, text.empty() ? text : text.substr(1));
        copy = std::move(moved);
        EXPECT_EQ(copy, text);
    }

    std::string bytes;
    TFileStream::MemoryTag memory;
    TQVFileStreamBinary w(memory);
    for (const std::string& v : {at15, at16, longer, std::string()}) {
        w.WriteToken("k" + std::to_string(v.size()));
        w.WriteToken(v);
    }
    w.WriteToken("");
    std::unique_ptr<TLoadSaveItem> out;
    TParText copied;
    {
        TQVFileStreamBinary r(memory, w.Bytes());
        TParList list("p", r);
        ASSERT_EQ(list.Count(), 4);
        EXPECT_EQ(list.GetValue("k300"), longer);
        copied = list.Par(2)->Value;
        out = list.Extract(1);
        list.Par(1)->Value = list.Par(1)->Value.View().substr(100); // a kept value from its own text
        EXPECT_EQ(list.Par(1)->Value, longer.substr(100));
    }
    EXPECT_EQ(static_cast<TPar*>(out.get())->Value, at16);
    EXPECT_EQ(copied, longer);
}

TEST(ParListFile, BothFormsRoundTrip)
{
    TempDir dir;
    TParList list("game params");
    AddRaw(list, "plain", "value");
    AddRaw(list, "empty", "");
    AddRaw(list, "multiLine", "line one\r\nline two");
    AddRaw(list, "#computed", "#not a comment");
    AddRaw(list, "long", std::string(3000, 'L'));
    AddRaw(list, "Plain", "same word other case");

    list.SaveToFile(dir / "game.qv5", false);
    TParList text("game params", dir / "game.qv5");
    EXPECT_EQ(EntriesOf(text), EntriesOf(list));

    // The counted form keeps what the text form cannot.
    AddRaw(list, "  spaced  ", "\r\n  padded \xAB value \r\n");
    list.SaveToFile(dir / "game.bin", true);
    TParList counted("game params");
    counted.LoadFromFile(dir / "game.bin", true);
    EXPECT_EQ(EntriesOf(counted), EntriesOf(list));

    // The text form trims names and values.
    TParList trimmed("names");
    AddRaw(trimmed, " key ", "  value\r\n");
    trimmed.SaveToFile(dir / "names.qv5", false);
    TParList back("names", dir / "names.qv5");
    EXPECT_EQ(EntriesOf(back), (Entries{{"key", "value"}}));

    TParList none("names", dir / "absent.qv5");
    EXPECT_EQ(none.Count(), 0);
}

TEST(ParListFile, GarbageAndTruncationNeverCrash)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 500; ++round) {
        std::string bytes = test::RandomBytes(rng, 400);
        if (round % 2 == 0)
            for (char& c : bytes)
                if (static_cast<unsigned char>(c) % 5 == 0)
                    c = (c & 1) ? '\xAB' : '\n';
        {
            TQVFileStream r(TFileStream::MemoryTag{}, bytes);
            ASSERT_NO_THROW(TParList("p", r)) << "round " << round;
        }
        {
            TQVFileStreamBinary r(TFileStream::MemoryTag{}, bytes);
            ASSERT_NO_THROW(TParList("p", r)) << "round " << round;
        }
    }

    // Every cut of a valid file loads a prefix of its entries.
    TParList list("p");
    AddRaw(list, "first", "1");
    AddRaw(list, "second", std::string(300, 's'));
    AddRaw(list, "third", "3");
    for (bool counted : {false, true}) {
        std::string whole;
        if (counted) {
            TQVFileStreamBinary w{TFileStream::MemoryTag{}};
            list.SaveToStream(w);
            whole = w.Bytes();
        } else {
            TQVFileStream w{TFileStream::MemoryTag{}};
            list.SaveToStream(w);
            whole = w.Bytes();
        }
        for (size_t n = 0; n <= whole.size(); ++n) {
            const std::string cut = whole.substr(0, n);
            std::unique_ptr<TQVFileStream> r;
            if (counted)
                r = std::make_unique<TQVFileStreamBinary>(TFileStream::MemoryTag{}, cut);
            else
                r = std::make_unique<TQVFileStream>(TFileStream::MemoryTag{}, cut);
            TParList loaded("p", *r);
            ASSERT_LE(loaded.Count(), 3) << "cut at " << n;
            for (int i = 0; i + 1 < loaded.Count(); ++i)
                EXPECT_EQ(loaded.Par(i)->Name, list.Par(i)->Name) << "cut at " << n;
            if (n == whole.size()) {
                EXPECT_EQ(EntriesOf(loaded), EntriesOf(list));
            }
        }
        // Without the end marker every entry is there.
        const size_t marker = counted ? 1 : 3;
        const std::string noMarker = whole.substr(0, whole.size() - marker);
        std::unique_ptr<TQVFileStream> r;
        if (counted)
            r = std::make_unique<TQVFileStreamBinary>(TFileStream::MemoryTag{}, noMarker);
        else
            r = std::make_unique<TQVFileStream>(TFileStream::MemoryTag{}, noMarker);
        TParList loaded("p", *r);
        EXPECT_EQ(EntriesOf(loaded), EntriesOf(list)) << (counted ? "counted" : "text");
    }
}

// ---- table copies ----

TEST_F(ParListTest, FillAndReadTable)
{
    TParList list("names");
    AddRaw(list, "zeta", "z");
    AddRaw(list, "Alpha", "a");
    AddRaw(list, "beta", "");
    TPropertyTable table;
    list.FillTable(table);

    ASSERT_EQ(table.TotalCount(), 3);
    for (const auto& r : table.Rows())
        EXPECT_FALSE(r.grp.has_value()) << r.name;
    EXPECT_EQ(RowNamed(table, "zeta")->value, "z");
    EXPECT_EQ(RowNamed(table, "Alpha")->value, "a");
    ASSERT_NE(RowNamed(table, "beta"), nullptr);
    EXPECT_EQ(table.UpdateNesting, 0);

    // An edit not yet posted is taken along; empty values are dropped.
    ASSERT_TRUE(table.Locate(Field::Name, "zeta"));
    table.SetValue("changed");
    list.ReadTable(table);
    EXPECT_EQ(table.GetState(), TPropertyTable::State::Browse);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetValue("zeta"), "changed");
    EXPECT_EQ(list.GetValue("Alpha"), "a");
    EXPECT_EQ(list.IndexOfName("beta"), -1);

    table.Append();
    table.SetName("added");
    table.SetValue("new");
    list.ReadTable(table);
    EXPECT_EQ(list.GetValue("added"), "new");
    EXPECT_EQ(list.Count(), 3);
}

TEST_F(ParListTest, StoreFromTableKeepsOnlyRealValues)
{
    TParList list("wallDef");
    AddRaw(list, "keep", "1");
    AddRaw(list, "blank", "x");
    AddRaw(list, "lineOnly", "x");
    AddRaw(list, "trailing", "x");
    TPropertyTable table;
    list.ExpandToTable(table, "", nullptr);
    ASSERT_EQ(table.TotalCount(), 4);

    auto set = [&](const std::string& name, const std::string& value) {
        ASSERT_TRUE(table.Locate(Field::Name, name)) << name;
        table.SetValue(value);
        ASSERT_TRUE(table.Post());
    };
    set("blank", " ");
    set("lineOnly", "\r\n");
    set("trailing", "text\r\n");
    table.AppendRow("#orientation", "North");
    table.AppendRow("+Heading", "");
    table.AppendRow("undefined", "kept");
    table.AppendRow("", "no name");
    table.Append(); // still being inserted when the copy starts
    table.SetName("pending");
    table.SetValue("posted");

    list.StoreFromTable(table, "");
    EXPECT_EQ(list.GetValue("keep"), "1");
    EXPECT_EQ(list.IndexOfName("blank"), -1);
    EXPECT_EQ(list.IndexOfName("lineOnly"), -1);
    EXPECT_EQ(list.GetValue("trailing"), "text\r\n");
    EXPECT_EQ(list.IndexOfName("#orientation"), -1);
    EXPECT_EQ(list.IndexOfName("+Heading"), -1);
    EXPECT_EQ(list.GetValue("undefined"), "kept");
    EXPECT_EQ(list.GetValue("pending"), "posted");
    EXPECT_EQ(list.IndexOfName(""), -1);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(table.UpdateNesting, 0);
}

TEST_F(ParListTest, LongNamesAndValuesSurviveTheTable)
{
    const std::string name45 = "p" + std::string(43, 'n') + "Z";
    const std::string value9000 = std::string(8999, 'v') + "!";
    ASSERT_EQ(name45.size(), 45u);

    TParList list("itemDef");
    AddRaw(list, name45, value9000);
    TPropertyTable table;
    list.ExpandToTable(table, "", nullptr);
    ASSERT_NE(RowNamed(table, name45), nullptr);
    list.StoreFromTable(table, "");
    EXPECT_EQ(EntriesOf(list), (Entries{{name45, value9000}}));

    list.FillTable(table);
    list.ReadTable(table);
    EXPECT_EQ(EntriesOf(list), (Entries{{name45, value9000}}));
}

TEST_F(ParListTest, ExpandWithoutDefinitionsIsAPlainCopy)
{
    TEventList events("itemDef");
    AddRaw(events, "onUse", "script");
    AddRaw(events, "onDrop", "other");
    TPropertyTable table;
    table.AppendRow("stale", "row");
    events.ExpandToTable(table, "", nullptr);
    EXPECT_EQ(table.TotalCount(), 2);
    EXPECT_EQ(RowNamed(table, "stale"), nullptr);
    EXPECT_EQ(RowNamed(table, "onUse")->value, "script");
    for (const auto& r : table.Rows())
        EXPECT_NE(r.name[0], '+');
}

TEST_F(ParListTest, ExpandCompletesFromTheChosenSection)
{
    TValList defs;
    defs.LoadFromText("map\n mapParam\nmapSquare\n+Look\n squareParam\n"
                      "mapWall\n wallParam\n.EVENTS\n onHit\n");
    TParList map("map");
    AddRaw(map, "extra", "e");
    TPropertyTable table;

    auto rows = [&]() {
        std::vector<std::pair<std::string, int>> out;
        for (const auto& r : table.Rows())
            out.emplace_back(r.name, r.grp.value_or(-1));
        return out;
    };
    using Rows = std::vector<std::pair<std::string, int>>;

    map.ExpandToTable(table, "[1,2]", &defs);
    EXPECT_EQ(rows(), (Rows{{"extra", 0}, {"+Look", 1}, {"squareParam", 1}}));
    map.ExpandToTable(table, "[1,2,0]", &defs);
    EXPECT_EQ(rows(), (Rows{{"extra", 0}, {"wallParam", 0}}));
    map.ExpandToTable(table, "", &defs);
    EXPECT_EQ(rows(), (Rows{{"extra", 0}, {"mapParam", 0}}));

    TEventList events("map");
    events.ExpandToTable(table, "[1,2,0]", &defs);
    EXPECT_EQ(rows(), (Rows{{"onHit", 0}}));

    // Defined rows left empty and headings are not stored.
    map.ExpandToTable(table, "[1,2]", &defs);
    map.StoreFromTable(table, "[1,2]");
    EXPECT_EQ(EntriesOf(map), (Entries{{"extra", "e"}}));
    map.ExpandToTable(table, "[1,2]", &defs);
    ASSERT_TRUE(table.Locate(Field::Name, "squareParam"));
    table.SetValue("5");
    map.StoreFromTable(table, "[1,2]");
    EXPECT_EQ(map.GetValue("squareParam"), "5");
    EXPECT_EQ(map.Count(), 2);
}

TEST(ParListSection, MapFiltersChooseTheSection)
{
    TParList map("map");
    EXPECT_EQ(map.SectionFor("[1,2]"), "mapSquare");
    EXPECT_EQ(map.SectionFor("[1,2,0]"), "mapWall");
    EXPECT_EQ(map.SectionFor("[10,255,3]"), "mapWall");
    EXPECT_EQ(map.SectionFor("[7]"), "mapSquare");
    EXPECT_EQ(map.SectionFor(""), "map");

    EXPECT_EQ(TParList("wallDef").SectionFor("[1,2]"), "wallDef");
    EXPECT_EQ(TParList("Map").SectionFor("[1,2]"), "Map");
    EXPECT_EQ(TParList("maps").SectionFor("[1,2,0]"), "maps");
}

// A list holding the entries of several cells, each stored as "[x,y]:name";
// the filter is the cell's key.
class TCellEvents : public TEventList {
public:
    using TEventList::TEventList;

    bool Accepts(const std::string& name, const std::string& filter) const override
    {
        return name.compare(0, filter.size() + 1, filter + ":") == 0;
    }
    std::string DisplayName(const std::string& name, const std::string& filter) const override
    {
        return name.substr(filter.size() + 1);
    }
    void AddEntry(const std::string& name, const std::string& value, const std::string& filter) override
    {
        SetValue(filter + ":" + name, value);
    }
};

TEST_F(ParListTest, ViewsOfOneListStaySeparate)
{
    TCellEvents events("map");
    AddRaw(events, "[1,2]:onEnter", "enter12");
    AddRaw(events, "[3,4]:onEnter", "enter34");
    AddRaw(events, "[1,2]:onLeave", "leave12");
    AddRaw(events, "[3,4]:onLeave", "leave34");

    TPropertyTable table;
    events.ExpandToTable(table, "[1,2]", nullptr);
    ASSERT_EQ(table.TotalCount(), 2);
    ASSERT_NE(RowNamed(table, "onEnter"), nullptr);
    EXPECT_EQ(RowNamed(table, "onEnter")->value, "enter12");
    EXPECT_EQ(RowNamed(table, "onLeave")->value, "leave12");

    ASSERT_TRUE(table.Locate(Field::Name, "onLeave"));
    table.SetValue("");
    table.Post();
    table.AppendRow("onUse", "use12");
    events.StoreFromTable(table, "[1,2]");

    EXPECT_EQ(events.GetValue("[1,2]:onEnter"), "enter12");
    EXPECT_EQ(events.IndexOfName("[1,2]:onLeave"), -1);
    EXPECT_EQ(events.GetValue("[1,2]:onUse"), "use12");
    EXPECT_EQ(events.GetValue("[3,4]:onEnter"), "enter34");
    EXPECT_EQ(events.GetValue("[3,4]:onLeave"), "leave34");
    EXPECT_EQ(events.Count(), 4);
}

} // namespace
} // namespace kestrune
