// The property table: editing and posting with hooks, the record filter,
// the GRP;NAME order, locating rows, suspended display updates, and the
// bulk-change brackets.

#include "core/proptable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune {
namespace {

using Field = TPropertyTable::Field;
using State = TPropertyTable::State;

// The names of the visible rows, walking from the first to the end.
std::vector<std::string> VisibleNames(TPropertyTable& t)
{
    std::vector<std::string> names;
    for (t.First(); !t.Eof(); t.Next())
        names.push_back(t.Name());
    return names;
}

std::vector<std::string> AllNames(const TPropertyTable& t)
{
    std::vector<std::string> names;
    for (const auto& r : t.Rows())
        names.push_back(r.name);
    return names;
}

TEST(TableFields, FieldNamesIgnoreCase)
{
    EXPECT_EQ(TPropertyTable::FieldByName("name"), Field::Name);
    EXPECT_EQ(TPropertyTable::FieldByName("VALUE"), Field::Value);
    EXPECT_EQ(TPropertyTable::FieldByName("Grp"), Field::Grp);
    EXPECT_FALSE(TPropertyTable::FieldByName("group").has_value());
}

TEST(TableEdit, AppendPostAndCancel)
{
    TPropertyTable t;
    EXPECT_TRUE(t.IsEmpty());

    t.Append();
    EXPECT_EQ(t.GetState(), State::Insert);
    EXPECT_TRUE(t.Modified());
    t.SetName("sizeX");
    t.SetValue("12");
    t.SetGrp(3);
    EXPECT_EQ(t.TotalCount(), 0); // nothing stored before the post
    EXPECT_TRUE(t.Post());
    EXPECT_EQ(t.GetState(), State::Browse);
    ASSERT_EQ(t.TotalCount(), 1);
    EXPECT_EQ(t.Rows()[0].name, "sizeX");
    EXPECT_EQ(t.Rows()[0].value, "12");
    EXPECT_EQ(t.Rows()[0].grp, 3);
    EXPECT_EQ(t.Grp(), 3);

    t.Append();
    t.SetName("dropped");
    t.Cancel();
    EXPECT_EQ(t.GetState(), State::Browse);
    EXPECT_EQ(t.TotalCount(), 1);

    // Setting a field in browse state edits the current row.
    t.First();
    t.SetValue("99");
    EXPECT_EQ(t.GetState(), State::Edit);
    EXPECT_EQ(t.Value(), "99");
    EXPECT_EQ(t.Rows()[0].value, "12");
    t.Cancel();
    EXPECT_EQ(t.Value(), "12");

    t.Edit();
    t.SetValue("");
    t.SetGrp(std::nullopt);
    EXPECT_TRUE(t.Post());
    EXPECT_EQ(t.Rows()[0].value, "");
    EXPECT_FALSE(t.Rows()[0].grp.has_value());

    // Appended rows go to the end, whatever the current row.
    t.AppendRow("b", "2", 0);
    t.First();
    t.Append();
    t.SetName("c");
    t.Post();
    EXPECT_EQ(AllNames(t), (std::vector<std::string>{"sizeX", "b", "c"}));
    EXPECT_EQ(t.Name(), "c");

    t.First();
    t.Delete();
    EXPECT_EQ(AllNames(t), (std::vector<std::string>{"b", "c"}));
    t.Append();
    t.Clear();
    EXPECT_EQ(t.TotalCount(), 0);
    EXPECT_EQ(t.GetState(), State::Browse);
    EXPECT_EQ(t.CurrentIndex(), -1);
}

TEST(TableEdit, PostHooks)
{
    TPropertyTable t;
    t.AppendRow("count", "1");

    bool accept = false;
    int before = 0, after = 0;
    std::string seenValue;
    t.BeforePost = [&](TPropertyTable& table) {
        ++before;
        seenValue = table.Value();
        return accept;
    };
    t.AfterPost = [&](TPropertyTable& table) {
        ++after;
        EXPECT_EQ(table.GetState(), State::Browse);
    };

    t.First();
    t.Edit();
    t.SetValue("x");
    EXPECT_FALSE(t.Post());
    EXPECT_EQ(before, 1);
    EXPECT_EQ(seenValue, "x");
    EXPECT_EQ(after, 0);
    EXPECT_EQ(t.GetState(), State::Edit); // still editing, nothing stored
    EXPECT_EQ(t.Rows()[0].value, "1");
    EXPECT_EQ(t.Value(), "x");

    accept = true;
    t.SetValue("2");
    EXPECT_TRUE(t.Post());
    EXPECT_EQ(before, 2);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(t.Rows()[0].value, "2");

    accept = false;
    t.Append();
    t.SetName("new");
    EXPECT_FALSE(t.Post());
    EXPECT_EQ(t.GetState(), State::Insert);
    EXPECT_EQ(t.TotalCount(), 1);
    accept = true;
    EXPECT_TRUE(t.Post());
    EXPECT_EQ(t.TotalCount(), 2);
    EXPECT_EQ(after, 2);
}

TEST(TableFilter, HiddenRowsAreSkipped)
{
    TPropertyTable t;
    for (const char* n : {"a", "#hidden1", "b", "#hidden2", "c", "#hidden3"})
        t.AppendRow(n, "v");
    t.OnFilterRecord = [](const TPropertyRow& r) { return r.name.empty() || r.name[0] != '#'; };

    t.SetFiltered(true);
    EXPECT_TRUE(t.Filtered());
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(t.TotalCount(), 6);
    EXPECT_EQ(VisibleNames(t), (std::vector<std::string>{"a", "b", "c"}));

    t.Last();
    EXPECT_EQ(t.Name(), "c");
    t.Prior();
    EXPECT_EQ(t.Name(), "b");
    EXPECT_FALSE(t.MoveTo(3)); // hidden
    EXPECT_EQ(t.Name(), "b");
    EXPECT_FALSE(t.Locate(Field::Name, "#hidden1"));

    t.SetFiltered(false);
    EXPECT_EQ(t.RecordCount(), 6);
    EXPECT_EQ(VisibleNames(t).size(), 6u);
    EXPECT_TRUE(t.MoveTo(3));
    EXPECT_EQ(t.Name(), "#hidden2");

    // All rows hidden: the table looks empty.
    t.OnFilterRecord = [](const TPropertyRow&) { return false; };
    t.SetFiltered(true);
    EXPECT_TRUE(t.IsEmpty());
    t.First();
    EXPECT_TRUE(t.Eof());
}

TEST(TableSort, GroupAsNumberThenNames)
{
    TPropertyTable t;
    struct Row {
        const char* name;
        std::optional<int> grp;
    } rows[] = {
        {"beta", 2},  {"+Sounds", 2}, {"alpha", 1}, {"Zeta", 0},   {"Alpha", 1}, {"9lives", 1},
        {"+Look", 1}, {"apple", 0},   {"x", 10},    {"none", std::nullopt},      {"imageDir", 1},
    };
    for (const auto& r : rows)
        t.AppendRow(r.name, "", r.grp);

    t.SortBy("GRP;NAME");
    EXPECT_EQ(t.SortFields(), "GRP;NAME");
    EXPECT_EQ(AllNames(t), (std::vector<std::string>{"none", "apple", "Zeta", "+Look", "9lives", "alpha",
                                                     "Alpha", "imageDir", "+Sounds", "beta", "x"}));
    EXPECT_EQ(t.Name(), "none"); // moved to the first row

    // Rows appended later are not kept in order.
    t.AppendRow("aaa", "", 0);
    EXPECT_EQ(t.Rows().back().name, "aaa");
}

TEST(TableLocate, ExactMatchOfAField)
{
    TPropertyTable t;
    t.AppendRow("imageDir", "walls/");
    t.AppendRow("ImageDir", "other/");
    t.AppendRow("size", "12");
    t.First();

    EXPECT_TRUE(t.Locate(Field::Name, "ImageDir"));
    EXPECT_EQ(t.Value(), "other/");
    EXPECT_TRUE(t.Locate(Field::Value, "12"));
    EXPECT_EQ(t.Name(), "size");
    EXPECT_FALSE(t.Locate(Field::Name, "IMAGEDIR"));
    EXPECT_FALSE(t.Locate(Field::Name, "image"));
}

TEST(TableControls, DisabledControlsSuppressChanges)
{
    TPropertyTable t;
    int changes = 0;
    t.OnChange = [&](TPropertyTable&) { ++changes; };

    t.AppendRow("a", "1");
    EXPECT_GT(changes, 0);

    changes = 0;
    t.DisableControls();
    t.DisableControls();
    t.AppendRow("b", "2");
    t.First();
    t.Edit();
    t.SetValue("3");
    t.Post();
    t.Clear();
    t.AppendRow("c", "");
    t.EnableControls();
    EXPECT_TRUE(t.ControlsDisabled());
    EXPECT_EQ(changes, 0);
    t.EnableControls();
    EXPECT_FALSE(t.ControlsDisabled());
    // The viewer hears once that things changed while it was not told.
    EXPECT_GE(changes, 1);

    changes = 0;
    t.Last();
    t.AppendRow("d", "");
    EXPECT_GT(changes, 0);
}

// ---- bulk-change brackets ----

class TableUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        RememberedRowName().clear();
        for (auto [n, g] : {std::pair{"zz", 0}, std::pair{"+Head", 1}, std::pair{"beta", 1},
                            std::pair{"#shown", 0}, std::pair{"alpha", 1}, std::pair{"aa", 0}})
            t.AppendRow(n, "v", g);
        // Hides the rows whose value is empty.
        t.OnFilterRecord = [](const TPropertyRow& r) { return !r.value.empty(); };
    }
    void TearDown() override { RememberedRowName().clear(); }

    TPropertyTable t;
};

TEST_F(TableUpdate, RestoresFilterOrderAndCurrentRow)
{
    t.SetFiltered(true);
    ASSERT_TRUE(t.Locate(Field::Name, "beta"));

    BeginTableUpdate(t);
    EXPECT_EQ(t.UpdateNesting, 1);
    EXPECT_FALSE(t.Filtered());
    EXPECT_TRUE(t.ControlsDisabled());
    EXPECT_EQ(RememberedRowName(), "beta");
    EXPECT_TRUE(t.SortFields().empty());

    BeginTableUpdate(t); // nested: nothing new remembered
    EXPECT_EQ(t.UpdateNesting, 2);
    t.First();
    t.AppendRow("hidden", "", 2); // filtered out at the end
    t.AppendRow("+Other", "x", 2);
    EndTableUpdate(t);
    EXPECT_EQ(t.UpdateNesting, 1);
    EXPECT_FALSE(t.Filtered());
    EXPECT_TRUE(t.ControlsDisabled());
    EXPECT_EQ(t.Rows().back().name, "+Other"); // not sorted yet
    EXPECT_EQ(RememberedRowName(), "beta");

    EndTableUpdate(t);
    EXPECT_EQ(t.UpdateNesting, 0);
    EXPECT_TRUE(t.Filtered());
    EXPECT_FALSE(t.ControlsDisabled());
    EXPECT_EQ(AllNames(t), (std::vector<std::string>{"#shown", "aa", "zz", "+Head", "alpha", "beta", "+Other",
                                                     "hidden"}));
    EXPECT_EQ(t.Name(), "beta");
    EXPECT_EQ(VisibleNames(t),
              (std::vector<std::string>{"#shown", "aa", "zz", "+Head", "alpha", "beta", "+Other"}));
}

TEST_F(TableUpdate, FilterIsOnAfterTheOutermostEnd)
{
    ASSERT_FALSE(t.Filtered());
    BeginTableUpdate(t);
    EXPECT_TRUE(RememberedRowName().empty()); // nothing remembered without the filter
    t.AppendRow("gone", "", 0);
    EndTableUpdate(t);
    EXPECT_TRUE(t.Filtered());
    EXPECT_EQ(t.RecordCount(), 6);
    EXPECT_EQ(t.TotalCount(), 7);
    EXPECT_EQ(t.SortFields(), "GRP;NAME");
}

TEST_F(TableUpdate, RemembersTheRowAcrossARebuild)
{
    t.SetFiltered(true);
    ASSERT_TRUE(t.Locate(Field::Name, "alpha"));
    BeginTableUpdate(t);
    t.Clear();
    for (const char* n : {"omega", "alpha", "delta"})
        t.AppendRow(n, "1", 0);
    t.First();
    EndTableUpdate(t);
    EXPECT_EQ(AllNames(t), (std::vector<std::string>{"alpha", "delta", "omega"}));
    EXPECT_EQ(t.Name(), "alpha");
}

} // namespace
} // namespace kestrune

namespace kestrune::test {
namespace {

TEST(PropertyTableRefusedPost, NavigationStaysAndNoOtherRowGetsTheEdit)
{
    TPropertyTable t;
    t.AppendRow("a", "1", 0);
    t.AppendRow("b", "2", 0);
    t.AppendRow("c", "3", 0);
    t.BeforePost = [](TPropertyTable& table) { return table.Value() != "bad"; };
    t.First();
    t.SetValue("bad");
    t.Next();
    EXPECT_EQ(t.Name(), "a"); // still on the edited row
    EXPECT_EQ(t.GetState(), TPropertyTable::State::Edit);
    EXPECT_FALSE(t.MoveTo(2));
    EXPECT_FALSE(t.Locate(TPropertyTable::Field::Name, "c"));
    t.Last();
    t.Prior();
    EXPECT_EQ(t.Name(), "a");
    // Reordering drops the refused edit instead of writing it elsewhere.
    t.SortBy("NAME");
    EXPECT_EQ(t.GetState(), TPropertyTable::State::Browse);
    for (const TPropertyRow& row : t.Rows())
        EXPECT_NE(row.value, "bad");
    EXPECT_EQ(t.Rows()[1].value, "2");
}

} // namespace
} // namespace kestrune::test
