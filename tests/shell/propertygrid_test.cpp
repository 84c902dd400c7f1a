#include "controls/datagrid.h"
#include "model/project.h"
#include "shell/picturepreview.h"
#include "shell/propertygrid.h"
#include "shell_test_util.h"

#include <gtest/gtest.h>

#include <QImage>

namespace kestrune::test {
namespace {

class FakeGridHost : public TGridHost {
public:
    int modified = 0, previews = 0, repaints = 0, placements = 0, resized = 0;
    std::vector<std::string> moves;
    TMap* map = nullptr;
    const TListedItem* selected = nullptr;

    void SetModified() override { ++modified; }
    TMap* OpenMap() override { return map; }
    const TListedItem* SelectedLibraryElement() override { return selected; }
    void RefreshPreview() override { ++previews; }
    void RepaintCursorCell() override { ++repaints; }
    void ListPlacements() override { ++placements; }
    void MapResized() override { ++resized; }
    void MoveSelectedNode(const std::string& parent) override { moves.push_back(parent); }
    std::vector<std::string> openedEvents;
    std::string CodeOpenEvent(TListedItem*, const std::string& name) override
    {
        openedEvents.push_back(name);
        return "Say(\"open\");";
    }
};

class Grid : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "game", install.Path(), fs::copy_options::recursive);
        project.DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
        project.Load((install.Path() / "demo.game").string());
        host.map = project.Maps->MapAt(0);
    }
    const TPropertyRow* Row(const std::string& name)
    {
        for (const TPropertyRow& r : grid.Table.Rows())
            if (r.name == name)
                return &r;
        return nullptr;
    }
    bool Visible(const std::string& name)
    {
        for (grid.Table.First(); !grid.Table.Eof(); grid.Table.Next())
            if (grid.Table.Name() == name)
                return true;
        return false;
    }
    TempDir install;
    Project project;
    ScriptedDialogs dialogs;
    FakeGridHost host;
    TPropertyGrid grid{project, dialogs, host};
};

TEST_F(Grid, WallsInEditModeShowTheCursorsCellSide)
{
    project.CurrentKind = 1;
    TMap* map = host.map;
    map->SelX = 3;
    map->SelY = 10;
    map->SelSide = 2;
    map->Params->SetValue("locked[3,10,2]", "T");
    grid.ShowElement(project.Walls->Element(0));
    EXPECT_EQ(grid.ShownElement(), map);
    EXPECT_EQ(grid.ShownKey(), "[3,10,2]");
    EXPECT_EQ(grid.Caption(), "map [3,10,2]");
    EXPECT_FALSE(grid.ReadOnly());
    ASSERT_NE(Row("locked"), nullptr);
    EXPECT_EQ(Row("locked")->value, "T");
    EXPECT_GT(host.modified, 0); // filling the grid counts as a change
    EXPECT_EQ(project.SelectedElement, project.Walls->Element(0));

    // Moving the cursor stores the rows and shows the new side.
    grid.ClickHeading("+Side");
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "locked"));
    grid.Table.SetValue("F");
    map->SelSide = 1;
    grid.ShowElement(project.Walls->Element(0));
    EXPECT_EQ(map->Params->GetValue("locked[3,10,2]"), "F");
    EXPECT_EQ(grid.ShownKey(), "[3,10,1]");
}

TEST_F(Grid, DefinitionsAreReadOnlyOutsideLibModeAndSharedOnesInIt)
{
    project.CurrentKind = 6;
    TListedItem* rat = project.MonsterDefs->Element(0);
    ASSERT_TRUE(rat->Shared);
    grid.ShowElement(rat);
    EXPECT_EQ(grid.ShownElement(), rat);
    EXPECT_TRUE(grid.ReadOnly());
    project.LibMode = true;
    host.selected = rat;
    grid.ShowElement(rat);
    EXPECT_TRUE(grid.ReadOnly());
    TListedItem* own = project.MonsterDefs->Element(project.MonsterDefs->Count() - 1);
    ASSERT_FALSE(own->Shared);
    host.selected = own;
    grid.ShowElement(own);
    EXPECT_FALSE(grid.ReadOnly());
    EXPECT_EQ(grid.Caption(), "1monsterDef ");

    // Read-only, the ellipsis still opens a definition's event, and nothing else.
    project.LibMode = false;
    grid.ShowElement(rat);
    ASSERT_TRUE(grid.ReadOnly());
    bool edited = false;
    grid.Ellipsis([&](const std::string& text) {
        edited = true;
        return text;
    });
    EXPECT_FALSE(edited);
    EXPECT_TRUE(dialogs.Questions.empty());
    grid.SetTab(TPropertyGrid::Tab::Events);
    ASSERT_NE(grid.Table.Current(), nullptr);
    const std::string event = grid.Table.Name();
    const std::string before = grid.Table.Value();
    const std::string stored = rat->Events->GetValue(event);
    grid.Ellipsis(nullptr);
    EXPECT_EQ(host.openedEvents, (std::vector<std::string>{event}));
    // What the pane opened (another text here) is never written back into
    // the read-only row or the shared definition.
    EXPECT_EQ(grid.Table.Value(), before);
    EXPECT_EQ(rat->Events->GetValue(event), stored);
}

TEST_F(Grid, OneGroupOpenAtATime)
{
    project.LibMode = true;
    project.CurrentKind = 6;
    grid.ShowElement(project.MonsterDefs->Element(0));
    EXPECT_TRUE(Visible("parent"));  // group 0
    EXPECT_FALSE(Visible("hitPoints"));
    grid.ClickHeading("+Fight");
    EXPECT_TRUE(Visible("hitPoints"));
    EXPECT_FALSE(Visible("image"));
    grid.ClickHeading("+Look");
    EXPECT_TRUE(Visible("image"));
    EXPECT_FALSE(Visible("hitPoints"));
    grid.ClickHeading("+Look");
    EXPECT_FALSE(Visible("image"));
    EXPECT_TRUE(Visible("+Fight"));
    EXPECT_TRUE(Visible("parent"));
}

TEST_F(Grid, InvalidValuesAreRefusedAndStayInEditing)
{
    project.LibMode = true;
    project.CurrentKind = 6;
    TListedItem* own = project.MonsterDefs->Element(project.MonsterDefs->Count() - 1);
    host.selected = own;
    grid.ShowElement(own);
    grid.ClickHeading("+Fight");
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "hitPoints"));
    grid.Table.SetValue("12a");
    EXPECT_FALSE(grid.Post());
    EXPECT_EQ(dialogs.Errors, (std::vector<std::string>{"Invalid value for field hitPoints!"}));
    EXPECT_EQ(grid.Table.GetState(), TPropertyTable::State::Edit);
    EXPECT_EQ(grid.Table.Value(), "12a");
    grid.Table.SetValue("12");
    EXPECT_TRUE(grid.Post());

    // A changed parent moves the node in the tree.
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "parent"));
    grid.Table.SetValue("Rat");
    EXPECT_TRUE(grid.Post());
    EXPECT_EQ(host.moves, (std::vector<std::string>{"Rat"}));
    grid.StoreTable();
    EXPECT_EQ(own->Params->GetValue("hitPoints"), "12");
}

TEST_F(Grid, MapSizeRowsResizeTheOpenMap)
{
    project.CurrentKind = 0;
    TMap* map = host.map;
    grid.ShowElement(map);
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "sizeX"));
    grid.Table.SetValue("20");
    EXPECT_TRUE(grid.Post());
    EXPECT_EQ(map->SizeX, 20);
    EXPECT_GT(host.resized, 0);
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "sizeY"));
    grid.Table.SetValue("300");
    grid.Post();
    EXPECT_NE(map->SizeY, 300);
    EXPECT_FALSE(dialogs.Errors.empty()); // a map holds at most 256 rows

    // An emptied size row leaves the list and comes back as the map's size;
    // another row posted before the table is shown again does not empty it.
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "sizeX"));
    grid.Table.SetValue("");
    grid.Post();
    EXPECT_EQ(map->Params->GetValue("sizeX"), "20");
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "sizeY"));
    grid.Table.SetValue("12");
    grid.Post();
    EXPECT_EQ(map->Params->GetValue("sizeX"), "20");
    EXPECT_EQ(map->Params->GetValue("sizeY"), "12");
}

TEST_F(Grid, AddRenameAndRemoveRows)
{
    project.CurrentKind = 0;
    grid.ShowElement(host.map);
    dialogs.InputAnswers = {std::string("TITLE"), std::string("mood"), std::string("")};
    grid.AddRow(); // "TITLE" exists as "title": refused, asked again with the typed text
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "Field TITLE already exist!");
    EXPECT_NE(Row("mood"), nullptr);
    grid.AddRow(); // empty: nothing
    dialogs.InputAnswers = {std::string("weather")};
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "mood"));
    grid.Table.SetValue("grim");
    grid.Post();
    grid.RenameRow();
    EXPECT_EQ(Row("mood"), nullptr);
    ASSERT_NE(Row("weather"), nullptr);
    dialogs.ConfirmAnswers = {true};
    grid.RemoveRow();
    EXPECT_EQ(dialogs.Confirmations, (std::vector<std::string>{"Remove this field ?"}));
    EXPECT_EQ(Row("weather"), nullptr);
}

TEST_F(Grid, TabsStoreOneListAndShowTheOther)
{
    project.CurrentKind = 2;
    TMap* map = host.map;
    map->SelX = map->SelY = 1;
    grid.ShowElement(project.Floors->Element(0));
    grid.SetTab(TPropertyGrid::Tab::Events);
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "onEnter"));
    grid.Table.SetValue("Say(\"hi\");");
    grid.Post();
    grid.SetTab(TPropertyGrid::Tab::Properties);
    EXPECT_EQ(map->Events->GetValue("onEnter[1,1]"), "Say(\"hi\");");
    EXPECT_NE(Row("dark"), nullptr);
}

TEST(GridDisplay, FootprintAndShownValues)
{
    const auto f = FootprintOf("32x48 picture of the NPC", "walls/door.png,4,8|1");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Width, 32);
    EXPECT_EQ(f->Height, 48);
    EXPECT_EQ(f->OffsetX, 4);
    EXPECT_EQ(f->OffsetY, 8);
    EXPECT_FALSE(FootprintOf("picture of the NPC", "a.png"));
    EXPECT_FALSE(FootprintOf("32xbig picture", "a.png"));
    const auto none = FootprintOf("16x16", "a.png,left,3");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->OffsetX, 0);
    EXPECT_EQ(none->OffsetY, 0);
    // X is all of the text between the two commas.
    const auto barred = FootprintOf("16x16", "a.png,4|2,8");
    ASSERT_TRUE(barred);
    EXPECT_EQ(barred->OffsetX, 0);
    EXPECT_EQ(barred->OffsetY, 0);
    std::string value;
    for (int i = 0; i < 12; ++i)
        value += "0123456789\r\n";
    EXPECT_EQ(ValueDisplayText(value), "01234567890123456789012345678901234567890123456789");
    EXPECT_EQ(ValueDisplayText("a\r\nb"), "ab");
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Grid, EllipsisChoosesPicturesRelativeToTheirFolderAndEditsOtherText)
{
    project.LibMode = true;
    project.CurrentKind = 4;
    TListedItem* own = project.Objects->Element(project.Objects->Count() - 1);
    ASSERT_FALSE(own->Shared);
    host.selected = own;
    grid.ShowElement(own);
    grid.ClickHeading("+Look");
    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "image"));
    // The project has its own objects folder, so pictures are chosen there.
    const std::string base = project.ProjectFolder + "images/objects/";
    dialogs.PictureAnswers = {base + "sub/chest.png", std::nullopt};
    grid.Ellipsis(nullptr);
    EXPECT_EQ(dialogs.Questions.back().rfind("Picture : ", 0), 0u);
    EXPECT_EQ(dialogs.PictureFolders.back(), base);
    EXPECT_EQ(grid.Table.Value(), "sub/chest.png");
    grid.Ellipsis(nullptr); // cancelled: the value stays, in the folder of the value
    EXPECT_EQ(dialogs.PictureFolders.back(), base + "sub/");
    EXPECT_EQ(grid.Table.Value(), "sub/chest.png");

    ASSERT_TRUE(grid.Table.Locate(TPropertyTable::Field::Name, "group"));
    grid.Ellipsis([](const std::string& text) { return text + "\r\nmore"; });
    EXPECT_EQ(grid.Table.GetState(), TPropertyTable::State::Browse);
    EXPECT_EQ(grid.Table.Value().substr(grid.Table.Value().size() - 6), "\r\nmore");
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// Rows naming the file already shown still set their own footprint.
TEST(GridDisplay, PreviewSetsTheFootprintOfEveryPictureRow)
{
    TempDir dir;
    const std::string file = (dir.Path() / "door.png").string();
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(file)));
    TPicturePreview preview;
    preview.resize(100, 100);
    preview.ShowFile(file, FootprintOf("32x48", "door.png,4,8"));
    EXPECT_EQ(preview.PictureRect(), QRect(30, 40, 40, 20));
    EXPECT_EQ(preview.FootprintRect(), QRect(26, 32, 32, 48));
    preview.ShowFile(file, FootprintOf("32x48", "door.png,-2,0"));
    EXPECT_EQ(preview.FootprintRect(), QRect(32, 40, 32, 48));
    preview.ShowFile(file, std::nullopt);
    EXPECT_TRUE(preview.FootprintRect().isEmpty());
    EXPECT_EQ(preview.ShownFile(), file);
    preview.ShowFile((dir.Path() / "missing.png").string(), FootprintOf("32x48", ""));
    EXPECT_FALSE(preview.HasPicture());
    EXPECT_EQ(preview.ShownFile(), "");
}

} // namespace
} // namespace kestrune::test
