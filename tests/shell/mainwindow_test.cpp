#include "shell/commandline.h"
#include "shell/editorwindows.h"
#include "shell/mainwindow.h"
#include "help/helpwindow.h"
#include "script/codeedit.h"
#include "script/completion.h"
#include "script/sourceedit.h"
#include "model/picture.h"
#include "model/placements.h"
#include "core/proptable.h"
#include "shell/picturepreview.h"
#include "mapedit/mapview.h"
#include "controls/settings.h"
#include "model/projectcheck.h"
#include "shell/placesdock.h"
#include "shell_test_util.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QToolBar>
#include <QMimeData>
#include <QToolButton>
#include <QTreeWidget>

namespace kestrune::test {
namespace {

TEST(CommandLine, RulesInOrderAndTheLastOneWins)
{
    TCommandLine c = ParseCommandLine({"/nocoloredit", "/Develop", "/doc=help2", "/DOC=x", "/GAME=y", "", "/what"});
    EXPECT_TRUE(c.Develop);
    EXPECT_EQ(c.DocName, "help2");
    EXPECT_FALSE(c.DataEditMode); // "/GAME=" is not the option
    EXPECT_TRUE(c.ProjectFolder.empty());
    EXPECT_FALSE(c.PresetGiven);

    // Absolute paths begin with "/" too: what exists, or ends in ".game", is a path.
    TempDir games;
    c = ParseCommandLine({games.Path().string() + "/Demo.GAME", games.Path().string(), "/no/such/thing"});
    EXPECT_EQ(c.ProjectFolder, games.Path().string() + "/Demo.GAME");
    EXPECT_TRUE(c.PresetGiven);
    EXPECT_EQ(c.PresetFolder, games.Path().string());

    c = ParseCommandLine({"a.game/", "/game=/g/data", "b.game"});
    EXPECT_EQ(c.ProjectFolder, "b.game");
    EXPECT_TRUE(c.DataEditMode);
    EXPECT_FALSE(ParseCommandLine({"x"}).Develop);
    EXPECT_EQ(ParseCommandLine({}).DocName, "qv5lang");
}

// An editor over a copy of the sample game, with its own settings file.
class Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "game", install.Path(), fs::copy_options::recursive);
        windows.CreateAll();
        main().DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
        main().SelectProject = [this](const TCommandLine& c) -> std::optional<std::string> {
            ++selections;
            presetSeen = c.PresetFolder;
            return chosen;
        };
    }
    TForm1& main() { return *windows.Main; }
    std::string Game() const { return (install.Path() / "demo.game").string(); }

    OwnSettings settings;
    TempDir install;
    ScriptedDialogs dialogs;
    TEditorWindows windows{dialogs};
    std::optional<std::string> chosen;
    int selections = 0;
    std::string presetSeen;
};

TEST_F(Editor, FirstStartUsesTheDesignLayout)
{
    EXPECT_EQ(main().geometry(), QRect(266, 158, 751, 576));
    EXPECT_EQ(main().Zoom(), 3);
    EXPECT_TRUE(main().PaintFloors());
    EXPECT_EQ(main().windowTitle(), QStringLiteral("Kestrune Game Editor - v0.9"));
    EXPECT_EQ(main().BigToolbar()->iconSize(), QSize(32, 32));
    EXPECT_EQ(main().KindButton(0)->size(), QSize(38, 38));
    EXPECT_EQ(main().KindButton(6)->text(), QStringLiteral("Monst."));
    EXPECT_EQ(main().KindButton(6)->toolTip(), QStringLiteral("Monsters"));
    ASSERT_NE(main().MenuAction("Save"), nullptr);
    EXPECT_EQ(main().MenuAction("Save")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_EQ(main().MenuAction("Lib/Edit mode")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(main().MenuAction("Mon&sters")->shortcut(), QKeySequence(QStringLiteral("Alt+S")));
    EXPECT_EQ(main().MenuAction("&4")->shortcut(), QKeySequence(QStringLiteral("Ctrl+4")));
    EXPECT_NE(main().MenuAction("About"), nullptr);
}

TEST_F(Editor, LeavingTheSelectionEndsTheStartUp)
{
    main().Arguments = {install.Path().string()};
    EXPECT_FALSE(main().FormShow());
    EXPECT_EQ(selections, 1);
    EXPECT_EQ(presetSeen, install.Path().string());
    EXPECT_FALSE(main().Loaded());
    EXPECT_TRUE(main().CloseQuery());
}

TEST_F(Editor, StartsOnAProjectAndWritesItsSettingsWhenClosed)
{
    main().Arguments = {Game(), "/doc=" + (install.Path() / "qv5lang").string()};
    ASSERT_TRUE(main().FormShow()) << (dialogs.Errors.empty() ? "" : dialogs.Errors[0]);
    EXPECT_EQ(selections, 0);
    EXPECT_GE(windows.Help->Index.FunctionNames().size(), 40u); // the help system is loaded
    EXPECT_TRUE(main().Loaded());
    EXPECT_EQ(main().MapChooser()->count(), 3);
    EXPECT_EQ(main().ViewMode(), 0); // "Visual" without settings
    EXPECT_FALSE(main().CodeArea()->isVisibleTo(&main()));
    EXPECT_EQ(main().Proj().ProjectFolder.back(), '/');

    main().SetZoom(5);
    main().SetPaintFloors(false);
    main().SetViewMode(2);
    main().VisualHeight = 77;
    main().FormDestroy();
    auto s = TSettings::OpenSettings();
    EXPECT_EQ(s->ReadInteger("qv5editor", "zoom", 0), 5);
    EXPECT_FALSE(s->ReadBool("qv5editor", "floors", true));
    EXPECT_EQ(s->ReadInteger("qv5editor", "viewMode", 0), 2);
    EXPECT_EQ(s->ReadInteger("qv5editor", "codeEdit", 0), 77);
    EXPECT_EQ(s->ReadInteger("qv5editor", "width", 0), 751);
    EXPECT_EQ(s->ReadInteger("qv5editor", "left", 0), 266);
    EXPECT_GT(s->ReadInteger("qv5editor", "paleteWidth", 0), 0);
}

TEST_F(Editor, SettingsOfAnEarlierRunAreRestored)
{
    {
        auto s = TSettings::OpenSettings();
        s->WriteInteger("qv5editor", "width", 900);
        s->WriteInteger("qv5editor", "height", 700);
        s->WriteInteger("qv5editor", "left", 10);
        s->WriteInteger("qv5editor", "top", 20);
        s->WriteInteger("qv5editor", "zoom", 9);
        s->WriteInteger("qv5editor", "viewMode", 1);
        s->WriteBool("qv5editor", "floors", false);
        s->CloseSettings();
    }
    TEditorWindows again(dialogs);
    again.CreateAll();
    TForm1& w = *again.Main;
    EXPECT_EQ(w.geometry(), QRect(10, 20, 900, 700));
    EXPECT_EQ(w.Zoom(), 6); // clamped
    EXPECT_FALSE(w.PaintFloors());
    w.DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
    w.Arguments = {Game()};
    ASSERT_TRUE(w.FormShow());
    EXPECT_EQ(w.ViewMode(), 1);
    EXPECT_FALSE(w.VisualArea()->isVisibleTo(&w));
}

TEST_F(Editor, PanelSizesAreWrittenBackAsReadAndBothModeShowsTheMap)
{
    auto write = [](int mode) {
        auto s = TSettings::OpenSettings();
        s->WriteInteger("qv5editor", "paleteWidth", 201);
        s->WriteInteger("qv5editor", "propertiesWidth", 171);
        s->WriteInteger("qv5editor", "propertiesHeight", 121);
        s->WriteInteger("qv5editor", "viewMode", mode);
        s->WriteInteger("qv5editor", "codeEdit", 0);
        s->CloseSettings();
    };
    // Two runs each, with the visual area hidden ("Code edit") and shown ("Both").
    for (int mode : {1, 1, 2, 2}) {
        write(mode);
        TEditorWindows run(dialogs);
        run.CreateAll();
        TForm1& w = *run.Main;
        w.DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
        w.Arguments = {Game()};
        ASSERT_TRUE(w.FormShow());
        w.show();
        QCoreApplication::processEvents();
        if (mode == 2) {
            EXPECT_EQ(w.PaleteWidth(), 201);
            EXPECT_EQ(w.PropertiesWidth(), 171);
            // Never moved: half of the right side, not a 30-pixel strip.
            EXPECT_GT(w.VisualArea()->height(), 150);
        }
        w.SetElementPanelVisible(false); // hidden at close
        w.FormDestroy();
        w.hide();
        auto s = TSettings::OpenSettings();
        EXPECT_EQ(s->ReadInteger("qv5editor", "paleteWidth", 0), 201);
        EXPECT_EQ(s->ReadInteger("qv5editor", "propertiesWidth", 0), 171);
        EXPECT_EQ(s->ReadInteger("qv5editor", "propertiesHeight", 0), 121);
    }
}

TEST_F(Editor, ViewModesAndTheirCommands)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    main().CodeMapMode();
    EXPECT_EQ(main().ViewMode(), 1);
    main().CodeMapMode();
    EXPECT_EQ(main().ViewMode(), 0);
    main().BothMode();
    EXPECT_EQ(main().ViewMode(), 2);
    EXPECT_TRUE(main().VisualArea()->isVisibleTo(&main()));
    EXPECT_TRUE(main().CodeArea()->isVisibleTo(&main()));
    main().CodeMapMode(); // the code text has no focus: to the map
    EXPECT_EQ(main().ViewMode(), 0);
    main().ViewTabs()->setCurrentIndex(1);
    EXPECT_FALSE(main().VisualArea()->isVisibleTo(&main()));
}

TEST_F(Editor, GameDataModeHidesMapsAndLib)
{
    main().Arguments = {"/game=" + (install.Path() / "data").string()};
    ASSERT_TRUE(main().FormShow()) << (dialogs.Errors.empty() ? "" : dialogs.Errors[0]);
    EXPECT_TRUE(main().Proj().DataEditMode);
    EXPECT_TRUE(main().LibMode());
    EXPECT_EQ(main().CurrentKind(), 1);
    EXPECT_FALSE(main().KindButton(0)->isVisibleTo(&main()));
    EXPECT_FALSE(main().LibButton()->isVisibleTo(&main()));
    EXPECT_FALSE(main().Proj().Walls->Element(0)->Shared);
    // The hidden "Lib" button is up: the first use presses it, the second releases it.
    main().MenuAction("Lib/Edit mode")->trigger();
    EXPECT_TRUE(main().LibMode());
    main().MenuAction("Lib/Edit mode")->trigger();
    EXPECT_FALSE(main().LibMode());
}

TEST_F(Editor, CloseQuestionAnswers)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    // Filling the grid at start-up counts as a change.
    EXPECT_TRUE(main().Modified);
    dialogs.YesNoCancelAnswers = {UserDialogs::Answer::No};
    EXPECT_TRUE(main().CloseQuery());
    dialogs.Questions.clear();

    const fs::path walls = install.Path() / "demo.game" / "def" / "walls.qv5";
    const auto stamp = fs::last_write_time(walls);
    fs::last_write_time(walls, stamp - std::chrono::hours(2));
    main().Modified = true;
    dialogs.YesNoCancelAnswers = {UserDialogs::Answer::Cancel, UserDialogs::Answer::No, UserDialogs::Answer::Yes};
    EXPECT_FALSE(main().CloseQuery());
    EXPECT_TRUE(main().CloseQuery());
    EXPECT_EQ(fs::last_write_time(walls), stamp - std::chrono::hours(2)); // No saved nothing
    EXPECT_TRUE(main().CloseQuery());
    EXPECT_NE(fs::last_write_time(walls), stamp - std::chrono::hours(2)); // Yes saved
    EXPECT_FALSE(main().Modified);
    EXPECT_EQ(dialogs.Questions, (std::vector<std::string>{"Save changes?", "Save changes?", "Save changes?"}));

    // A script typed since the save is asked about, and Yes saves it.
    windows.CodeEdit->Editor()->SetText("say('bye');");
    dialogs.YesNoCancelAnswers = {UserDialogs::Answer::Yes};
    EXPECT_TRUE(main().CloseQuery());
    EXPECT_EQ(dialogs.Questions.size(), 4u);
    EXPECT_EQ(main().CurrentMap()->Events->GetValue(windows.CodeEdit->CurrentEntry()), "say('bye');");
}

TEST_F(Editor, AFailedSaveIsReportedAndKeepsTheChanges)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    // A folder where a map file belongs: nothing can be saved.
    const fs::path tower = install.Path() / "demo.game" / "maps" / "Tower.map";
    fs::remove(tower);
    fs::create_directory(tower);
    main().Modified = true;
    dialogs.YesNoCancelAnswers = {UserDialogs::Answer::Yes};
    EXPECT_FALSE(main().CloseQuery());
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0].rfind("Cannot create file ", 0), 0u);
    EXPECT_TRUE(main().Modified);
}

TEST_F(Editor, AProjectThatCannotBeLoadedEndsTheStartUp)
{
    main().DefinitionFile = install.Path() / "missing.def";
    main().Arguments = {Game()};
    EXPECT_FALSE(main().FormShow());
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "File not found");
    EXPECT_FALSE(main().Loaded());
    main().Modified = true;
    EXPECT_TRUE(main().CloseQuery()); // nothing of it can be saved
}

TEST_F(Editor, ZoomAndKindsFollowEveryControl)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    main().ZoomSpin()->setValue(5);
    EXPECT_EQ(main().Zoom(), 5);
    main().MenuAction("Increase")->trigger();
    main().MenuAction("Increase")->trigger();
    EXPECT_EQ(main().Zoom(), 6);
    main().MenuAction("&2")->trigger();
    EXPECT_EQ(main().ZoomSpin()->value(), 2);
    main().MenuAction("&Ceilings")->trigger();
    EXPECT_EQ(main().CurrentKind(), 3);
    EXPECT_TRUE(main().KindButton(3)->isChecked());
    main().KindButton(6)->click();
    EXPECT_EQ(main().CurrentKind(), 6);
    EXPECT_TRUE(main().MenuAction("Mon&sters")->isChecked());
    main().SetLibMode(true);
    EXPECT_EQ(main().KindButton(0)->text(), QStringLiteral("Game"));
    main().SetLibMode(false);

    // "+" and "-" reach the zoom also when the tree has the focus (as after
    // every press on the map); the tree would expand and collapse with them.
    auto key = [this](int code, Qt::KeyboardModifiers mods, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, code, mods, text);
        QCoreApplication::sendEvent(main().ElementTree(), &press);
    };
    key(Qt::Key_Plus, Qt::NoModifier, QStringLiteral("+"));
    EXPECT_EQ(main().Zoom(), 3);
    key(Qt::Key_Minus, Qt::NoModifier, QStringLiteral("-"));
    EXPECT_EQ(main().Zoom(), 2);

    // The wheel over a part of the window that does not scroll steps the maps.
    main().show();
    QCoreApplication::processEvents();
    const int before = main().MapChooser()->currentIndex();
    const QPoint over = main().StatusText()->mapTo(&main(), QPoint(5, 5));
    QWheelEvent wheel(over, main().mapToGlobal(over), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&main(), &wheel);
    EXPECT_TRUE(wheel.isAccepted());
    EXPECT_EQ(main().MapChooser()->currentIndex(), std::min(before + 1, main().MapChooser()->count() - 1));
    main().hide();

    // In a painting kind, Shift with the cursor keys paints from the tree.
    main().SelectKind(2);
    TMap* map = main().Proj().Maps->MapAt(0);
    main().Browser().ShowMap(map);
    main().Browser().SelectByIndex(0);
    map->SelX = 0;
    map->SelY = 0;
    map->Cell(1, 0).Floor() = 0;
    key(Qt::Key_Right, Qt::ShiftModifier, QString());
    EXPECT_EQ(map->SelX, 1);
    EXPECT_EQ(map->Cell(1, 0).Floor(), 1);
}

TEST_F(Editor, Screenshot)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    main().SetViewMode(0);
    main().SelectKind(5); // items, grouped by their kind
    main().ElementTree()->expandAll();
    main().Grid().ClickHeading("+Cell");
    main().show();
    const QImage shot = main().grab().toImage();
    EXPECT_FALSE(shot.isNull());
    shot.save(QString::fromStdString((fs::path(KESTRUNE_BUILD_DIR) / "tests" / "mainwindow.png").string()));
    main().hide();
    // NPCs at the design size: no empty panel above the grid, both tabs and
    // the "Key Words" button in view.
    main().SelectKind(7);
    main().show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(main().ElementPanel()->isVisible());
    EXPECT_TRUE(main().KeyWordsButton()->isVisible());
    QTabBar* tabs = main().PropertyTabs();
    EXPECT_LE(tabs->tabRect(1).right(), tabs->width());
    main().grab().toImage().save(
        QString::fromStdString((fs::path(KESTRUNE_BUILD_DIR) / "tests" / "npcs.png").string()));
    main().hide();
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, LibModePreviewsPictureRowsWithTheirFootprint)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    main().resize(900, 700);
    main().SetLibMode(true);
    main().SelectKind(7);
    ASSERT_NE(main().Grid().ShownElement(), nullptr);
    EXPECT_EQ(main().Grid().ShownElement()->DefName, "1NPCDef");
    main().Grid().ClickHeading("+Look");
    ASSERT_TRUE(main().Grid().Table.Locate(TPropertyTable::Field::Name, "standImage"));
    TPicturePreview* preview = main().PicturePreview();
    ASSERT_TRUE(preview->HasPicture());
    const QRect picture = preview->PictureRect();
    const QRect footprint = preview->FootprintRect();
    EXPECT_EQ(footprint.size(), QSize(32, 48));
    EXPECT_EQ(footprint.topLeft(), picture.topLeft()); // the value carries no offsets
    ASSERT_TRUE(main().Grid().Table.Locate(TPropertyTable::Field::Name, "parent"));
    EXPECT_FALSE(preview->HasPicture());
    main().SetLibMode(false);
    EXPECT_FALSE(preview->isVisibleTo(&main()));
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, TheMapViewShowsTheOpenMapAndItsCursorFollowsPresses)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    TMap* map = main().CurrentMap();
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(main().MapView()->Map(), map);
    EXPECT_EQ(main().MapView()->size(), QSize(map->SizeX * 39, map->SizeY * 39));
    main().SelectKind(2);
    ASSERT_TRUE(main().MapView()->OnPress);
    // The middle of cell (3, 4) at zoom 3.
    main().MapView()->OnPress(3 * 39 + 19, (map->SizeY - 1 - 4) * 39 + 19, Qt::MiddleButton);
    EXPECT_EQ(map->SelX, 0); // the middle button pans
    main().MapView()->OnPress(3 * 39 + 19, (map->SizeY - 1 - 4) * 39 + 19, Qt::RightButton);
    EXPECT_EQ(map->SelX, 3);
    EXPECT_EQ(map->SelY, 4);
    EXPECT_EQ(main().Grid().ShownKey(), "[3,4]");
    main().SetZoom(1);
    EXPECT_EQ(main().MapView()->size(), QSize(map->SizeX * 13, map->SizeY * 13));

    main().SetViewMode(0);
    main().resize(1000, 700);
    main().show();
    const QImage shot = main().grab().toImage();
    shot.save(QString::fromStdString((fs::path(KESTRUNE_BUILD_DIR) / "tests" / "mapview.png").string()));
    main().hide();
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, LibModeEditsTheSelectedElementsPattern)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    main().SetLibMode(true);
    main().SelectKind(2);
    // The project's own floor (shared ones cannot be edited).
    const TFloors& floors = *main().Proj().Floors;
    const TListedItem* own = floors.Element(floors.Count() - 1);
    ASSERT_FALSE(own->Shared);
    main().Browser().SelectByName(own->Name);
    auto* floor = const_cast<TListedItem*>(main().Proj().SelectedElement);
    ASSERT_EQ(floor, own);
    EXPECT_EQ(main().MapView()->size(), QSize(66, 66));
    EXPECT_TRUE(main().PatternEditor().ToolBar4()->isVisibleTo(&main()));
    main().PatternEditor().ChooseSwatch(10);
    main().Modified = false;
    main().MapView()->OnPress(6 * 3 + 2, 6 * 4 + 2, Qt::LeftButton);
    main().MapView()->OnRelease();
    EXPECT_EQ(floor->PatternCells[4][3], 10);
    EXPECT_TRUE(main().Modified);
    const uint8_t painted = floor->PatternCells[4][3];
    main().MenuAction("Undo")->trigger();
    EXPECT_NE(floor->PatternCells[4][3], painted);
    main().MenuAction("Redo")->trigger();
    EXPECT_EQ(floor->PatternCells[4][3], painted);
    // Undone from elsewhere, the pattern comes into view first.
    main().MenuAction("Undo")->trigger();
    main().SetLibMode(false);
    main().SelectKind(1);
    main().MenuAction("Redo")->trigger();
    EXPECT_TRUE(main().LibMode());
    EXPECT_EQ(main().CurrentKind(), 2);
    EXPECT_EQ(main().Proj().SelectedElement, own);
    EXPECT_EQ(floor->PatternCells[4][3], painted);
    main().SetLibMode(false);
    EXPECT_FALSE(main().PatternEditor().ToolBar4()->isVisibleTo(&main()));
    EXPECT_EQ(main().MapView()->size().width(), main().CurrentMap()->SizeX * 39);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, DefinitionsDroppedOnTheMapArePlacedThere)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    TMap* map = main().CurrentMap();
    const int before = map->Monsters->Count();
    main().SelectKind(6);
    QMimeData data;
    data.setData(QString::fromLatin1(TElementBrowser::DragMimeType), QByteArray("6,0"));
    ASSERT_TRUE(main().MapView()->AcceptsDrag(data));
    main().MapView()->OnDrop(2 * 39 + 5, (map->SizeY - 1 - 1) * 39 + 5, data);
    ASSERT_EQ(map->Monsters->Count(), before + 1);
    EXPECT_EQ(map->Monsters->MonsterAt(before)->Area(), (TCellRect{2, 1, 2, 1}));
    EXPECT_EQ(map->Monsters->MonsterAt(before)->Def, main().Proj().MonsterDefs->Element(0));
    main().MenuAction("Undo")->trigger();
    EXPECT_EQ(map->Monsters->Count(), before);
    // An item definition dragged while monsters are shown is not placed.
    QMimeData item;
    item.setData(QString::fromLatin1(TElementBrowser::DragMimeType), QByteArray("5,0"));
    main().MapView()->OnDrop(5, 5, item);
    EXPECT_EQ(map->Monsters->Count(), before);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, AnItemDraggedFromThePlacementsListMovesWhereItIsDropped)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    TMap* map = main().CurrentMap();
    main().SelectKind(5);
    const int atFrom = map->Cell(1, 1).ItemCount, atTo = map->Cell(3, 2).ItemCount;
    main().Gestures().DropFromTree(0, 1, 1);
    ASSERT_FALSE(main().Gestures().Placements().empty());
    auto* item = static_cast<TItem*>(map->Items->ItemAt(map->Items->Count() - 1));
    EXPECT_EQ(main().Proj().SelectedElement, item);
    QMimeData data;
    data.setData(QStringLiteral("application/x-kestrune-placement"), QByteArray("0"));
    ASSERT_TRUE(main().MapView()->AcceptsDrag(data));
    main().MapView()->OnDrop(3 * 39 + 5, (map->SizeY - 1 - 2) * 39 + 5, data);
    EXPECT_EQ(item->X, 3);
    EXPECT_EQ(item->Y, 2);
    EXPECT_EQ(map->Cell(1, 1).ItemCount, atFrom);
    EXPECT_EQ(map->Cell(3, 2).ItemCount, atTo + 1);
    main().MenuAction("Undo")->trigger();
    EXPECT_EQ(item->X, 1);
    main().SelectKind(2);
    EXPECT_FALSE(main().MapView()->AcceptsDrag(data));
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, TheDockedCodeEditorEditsTheShownEvents)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    TfrmCodeEdit& code = *windows.CodeEdit;
    TMap* map = main().CurrentMap();
    EXPECT_TRUE(main().CodeArea()->isAncestorOf(code.Pane()));
    // The open map's events are shown from the start.
    EXPECT_EQ(code.CurrentElement(), map);
    EXPECT_EQ(code.CurrentList(), map->Events.get());

    // A cell's event through the "Events" tab: its row belongs to the entry
    // keyed with the cell.
    main().SelectKind(2);
    main().Grid().SetTab(TPropertyGrid::Tab::Events);
    EXPECT_EQ(code.TableLink(), &main().Grid().Table);
    const std::string key = main().Grid().ShownKey();
    ASSERT_FALSE(key.empty());
    ASSERT_TRUE(main().Grid().Table.Locate(TPropertyTable::Field::Name, "onEnter"));
    main().Grid().Ellipsis(nullptr);
    EXPECT_EQ(code.CurrentEntry(), "onEnter" + key);
    EXPECT_EQ(code.RowName(), "onEnter");
    code.Editor()->SetText("say('hi');");
    code.SaveCurrent();
    EXPECT_EQ(map->Events->GetValue("onEnter" + key), "say('hi');");
    ASSERT_TRUE(main().Grid().Table.Locate(TPropertyTable::Field::Name, "onEnter"));
    EXPECT_EQ(main().Grid().Table.Value(), "say('hi');");
    EXPECT_TRUE(main().Modified);

    // Back on "Properties" the editor drops the table.
    main().Grid().SetTab(TPropertyGrid::Tab::Properties);
    EXPECT_EQ(code.TableLink(), nullptr);
}

TEST_F(Editor, AnEventDroppedOnACellTakesItsKey)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    TfrmCodeEdit& code = *windows.CodeEdit;
    TMap* map = main().CurrentMap();
    main().SelectKind(2);
    code.OpenEvent(map, "onLeave[1,1]");
    code.Editor()->SetText("leave();");
    QMimeData data;
    data.setData(QString::fromLatin1(TfrmCodeEdit::EntryMimeType()), QByteArray("onLeave[1,1]"));
    ASSERT_TRUE(main().MapView()->AcceptsDrag(data));
    main().MapView()->OnDrop(3 * 39 + 5, (map->SizeY - 1 - 2) * 39 + 5, data);
    EXPECT_EQ(map->Events->IndexOfName("onLeave[1,1]"), -1);
    EXPECT_EQ(map->Events->GetValue("onLeave[3,2]"), "leave();");
    EXPECT_EQ(code.CurrentEntry(), "onLeave[3,2]");

    // A cell whose key the list already holds refuses the move.
    code.OpenEvent(map, "onLeave[0,0]");
    code.Editor()->SetText("other();");
    data.setData(QString::fromLatin1(TfrmCodeEdit::EntryMimeType()), QByteArray("onLeave[0,0]"));
    const size_t errors = dialogs.Errors.size();
    main().MapView()->OnDrop(3 * 39 + 5, (map->SizeY - 1 - 2) * 39 + 5, data);
    EXPECT_EQ(dialogs.Errors.size(), errors + 1);
    EXPECT_EQ(map->Events->GetValue("onLeave[3,2]"), "leave();");
    EXPECT_EQ(code.CurrentEntry(), "onLeave[0,0]");

    // Walls: the key carries the side.
    main().SelectKind(1);
    EXPECT_EQ(main().Gestures().DroppedEventName("onUse[4,4,2]", 5, 6, 3), "onUse[5,6,3]");
    EXPECT_EQ(main().Gestures().DroppedEventName("onUse", 5, 6, 3), "onUse[5,6,3]");
}

TEST_F(Editor, KeyWordsOfAnNpcOpenInTheCodeEditor)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    main().SetViewMode(0);
    main().SelectKind(7);
    main().SelectByIndex(0);
    TListedItem* shown = main().Grid().ShownElement();
    ASSERT_NE(shown, nullptr);
    ASSERT_TRUE(main().Grid().KeyWordsVisible());
    main().OpenKeyWords();
    EXPECT_EQ(main().ViewMode(), 1);
    TfrmCodeEdit& code = *windows.CodeEdit;
    EXPECT_EQ(code.CurrentElement(), shown);
    if (auto* npc = dynamic_cast<TNPC*>(shown))
        EXPECT_EQ(code.CurrentList(), npc->Keywords.get());
    else if (auto* def = dynamic_cast<TNPCDef*>(shown))
        EXPECT_EQ(code.CurrentList(), def->Keywords.get());
    else
        ADD_FAILURE() << "an NPC is shown";
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// A look at the code pane: a coloured script with the completion list open.
TEST_F(Editor, CodePaneScreenshot)
{
    main().Arguments = {Game(), "/doc=" + (install.Path() / "qv5lang").string()};
    ASSERT_TRUE(main().FormShow());
    main().SetViewMode(2);
    main().resize(1100, 760);
    main().show();
    TfrmCodeEdit& code = *windows.CodeEdit;
    code.OpenEvent(main().CurrentMap(), "onEnter");
    code.Editor()->SetText("// greet the party\r\nif (Player.HasItem(\"Lantern\")) {\r\n"
                           "  Message(\"The lantern lights the cellar.\");\r\n  local n = PartySize + 42;\r\n}\r\n"
                           "Player.");
    code.Editor()->SetSelStart(static_cast<int>(code.Editor()->Text().size()));
    code.FocusText();
    code.Completion()->ShowCompletion();
    EXPECT_TRUE(code.Completion()->ListShown());
    const QImage shot = main().grab().toImage();
    EXPECT_FALSE(shot.isNull());
    shot.save(QString::fromStdString((fs::path(KESTRUNE_BUILD_DIR) / "tests" / "codepane.png").string()));
    main().hide();
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, ADefinitionDroppedOnThePlacementsListGoesToTheSelectedCell)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    TMap* map = main().CurrentMap();
    main().SelectKind(5);
    map->SelX = 2;
    map->SelY = 3;
    const int before = map->Cell(2, 3).ItemCount;
    QMimeData data;
    data.setData(QString::fromLatin1(TElementBrowser::DragMimeType), QByteArray("5,1"));
    ASSERT_TRUE(main().PlacementListAccepts(data));
    main().DropOnPlacementList(data);
    EXPECT_EQ(map->Cell(2, 3).ItemCount, before + 1);
    // Only the kind the tree shows, and never in Lib mode.
    QMimeData monster;
    monster.setData(QString::fromLatin1(TElementBrowser::DragMimeType), QByteArray("6,0"));
    EXPECT_FALSE(main().PlacementListAccepts(monster));
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// Clicking through maps, cells, sides, tabs and elements and saving changes no byte.
TEST_F(Editor, ShowingIsNotEditing)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    auto files = [this] {
        std::map<std::string, std::string> bytes;
        for (const auto& entry : fs::recursive_directory_iterator(Game()))
            if (entry.is_regular_file())
                bytes[entry.path().string()] = ReadFile(entry.path());
        return bytes;
    };
    const auto before = files();
    Project& p = main().Proj();
    for (int m = 0; m < p.Maps->Count(); ++m) {
        TMap* map = p.Maps->MapAt(m);
        main().Browser().ShowMap(map);
        for (int kind = 0; kind <= 7; ++kind) {
            main().SelectKind(kind);
            for (int x = 0; x < std::min(map->SizeX, 12); x += 3)
                for (int y = 0; y < std::min(map->SizeY, 12); y += 2) {
                    main().Gestures().MoveCursor(x - map->SelX, y - map->SelY, (x + y) % 4, false);
                    main().Grid().SetTab((x + y) % 3 ? TPropertyGrid::Tab::Properties : TPropertyGrid::Tab::Events);
                }
        }
    }
    main().SetLibMode(true);
    for (int kind = 1; kind <= 7; ++kind) {
        main().SelectKind(kind);
        for (int i = 0; p.LibraryOfKind(kind) && i < p.LibraryOfKind(kind)->Count(); ++i) {
            main().Browser().SelectByIndex(i);
            main().Grid().SetTab(i % 2 ? TPropertyGrid::Tab::Properties : TPropertyGrid::Tab::Events);
        }
    }
    ASSERT_TRUE(main().SaveProject());
    const auto after = files();
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [path, bytes] : before)
        EXPECT_TRUE(after.at(path) == bytes) << path << " changed";
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, AMissingOrUnwritableProjectFolderIsToldAtStartUp)
{
    const std::string missing = (install.Path() / "missing.game").string();
    main().Arguments = {missing};
    EXPECT_FALSE(main().FormShow()); // the selection was left
    EXPECT_EQ(selections, 1);
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "Project folder " + missing + " does not exist.");

    // A folder files cannot be made in (an immutable one, where the system allows it).
    EXPECT_TRUE(TForm1::FolderWritable(Game()));
    if (std::system(("chattr +i '" + Game() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "folders cannot be made immutable here";
    const bool writable = TForm1::FolderWritable(Game());
    TEditorWindows other{dialogs};
    other.CreateAll();
    other.Main->DefinitionFile = main().DefinitionFile;
    other.Main->Arguments = {Game()};
    dialogs.Errors.clear();
    const bool shown = other.Main->FormShow();
    std::system(("chattr -i '" + Game() + "'").c_str());
    EXPECT_FALSE(writable);
    ASSERT_TRUE(shown);
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "The project folder " + Game() + " cannot be written; changes cannot be saved.");
    EXPECT_TRUE(other.Main->windowTitle().endsWith(QStringLiteral(" [read-only]")));
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, AutosaveIsRecoveredAtTheNextStartAndRemovedBySaving)
{
    TempDir state;
    setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    const fs::path recovery = main().RecoveryFolder();
    EXPECT_EQ(recovery.parent_path(), state.Path() / "Kestrune" / "recovery");
    EXPECT_FALSE(main().Autosave()); // nothing unsaved
    const std::string game = ReadFile(fs::path(Game()) / "def" / "game.qv5");
    {
        TRecordListEdit edit(&main().Session(), "Edit Game parameters", nullptr, main().Proj().GameParams.get());
        main().Proj().GameParams->SetValue("soak", "42");
    }
    main().Modified = true;
    ASSERT_TRUE(main().Autosave());
    EXPECT_NE(ReadFile(recovery / "def" / "game.qv5").find("soak"), std::string::npos);
    EXPECT_EQ(ReadFile(fs::path(Game()) / "def" / "game.qv5"), game); // never into the project
    EXPECT_TRUE(main().Modified);

    // The editor ended without closing: the next start offers the changes.
    auto start = [this](bool open) {
        auto windows = std::make_unique<TEditorWindows>(dialogs);
        windows->CreateAll();
        windows->Main->DefinitionFile = main().DefinitionFile;
        windows->Main->Arguments = {Game()};
        dialogs.ConfirmAnswers = {open};
        dialogs.Confirmations.clear();
        EXPECT_TRUE(windows->Main->FormShow());
        return windows;
    };
    auto declined = start(false);
    ASSERT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_EQ(dialogs.Confirmations[0].rfind("Unsaved changes of " + Game() + " from ", 0), 0u);
    EXPECT_EQ(declined->Main->Proj().GameParams->GetValue("soak"), "");
    EXPECT_TRUE(fs::exists(recovery)); // kept for a later start
    auto accepted = start(true);
    EXPECT_EQ(accepted->Main->Proj().GameParams->GetValue("soak"), "42");
    EXPECT_TRUE(accepted->Main->Modified);
    ASSERT_TRUE(accepted->Main->SaveProject());
    EXPECT_FALSE(fs::exists(recovery));
    EXPECT_NE(ReadFile(fs::path(Game()) / "def" / "game.qv5").find("soak"), std::string::npos);
    unsetenv("XDG_STATE_HOME");
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, APlaceOfTheListTakesTheDesignerThere)
{
    main().Arguments = {Game()};
    ASSERT_TRUE(main().FormShow());
    Project& p = main().Proj();
    TMap* map = p.Maps->MapAt(1);
    auto go = [this](TPlace place) {
        TProblem problem;
        problem.place = place;
        main().ShowPlaces("places", {problem});
        main().PlacesDock()->Activate(0); // as a double click on the row
    };

    // A cell side of a map.
    TPlace side;
    side.map = map;
    side.x = 2;
    side.y = 1;
    side.side = 3;
    go(side);
    EXPECT_EQ(main().CurrentMap(), map);
    EXPECT_EQ(std::make_tuple(map->SelX, map->SelY, map->SelSide), std::make_tuple(2, 1, 3));

    // An item lying on a map: its kind, its cell, and it is the one shown.
    ASSERT_GT(map->Items->Count(), 0);
    TItem* item = map->Items->ItemAt(map->Items->Count() - 1);
    TPlace placed;
    placed.map = map;
    placed.element = item;
    go(placed);
    EXPECT_EQ(main().CurrentKind(), 5);
    EXPECT_EQ(std::make_pair(map->SelX, map->SelY), std::make_pair(item->X, item->Y));
    EXPECT_EQ(p.SelectedElement, item);

    // A library element.
    TPlace wall;
    wall.kind = 1;
    wall.element = p.Walls->Element(1);
    go(wall);
    EXPECT_EQ(main().CurrentKind(), 1);
    EXPECT_EQ(main().Browser().SelectedLibraryElement(), p.Walls->Element(1));

    // A map's script, at a place in its text.
    ASSERT_GT(map->Events->Count(), 0);
    TPlace script;
    script.map = map;
    script.scriptOwner = map;
    script.entry = map->Events->Item(0)->Name;
    script.offset = 3;
    go(script);
    EXPECT_EQ(windows.CodeEdit->CurrentElement(), map);
    EXPECT_EQ(windows.CodeEdit->CurrentEntry(), script.entry);
    EXPECT_EQ(windows.CodeEdit->Editor()->textCursor().position(), 3);
    EXPECT_NE(main().ViewMode(), 0);

    // A place whose map has gone since the list was made: nothing happens.
    TPlace gone;
    gone.map = reinterpret_cast<const TMap*>(&gone);
    EXPECT_FALSE(main().GoToPlace(TProblem{"", "", "", "", "", gone}));
    EXPECT_EQ(main().CurrentMap(), map);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Editor, PicturesPastTheMemoryBudgetAreToldInOneMessage)
{
    TPictureStore& store = TPictureStore::Shared();
    store.Clear();
    store.SetBudget(64); // not even one icon
    main().Arguments = {Game()};
    const bool started = main().FormShow();
    main().SelectKind(5); // the items' icons are drawn in the tree
    main().show();
    QCoreApplication::processEvents();
    main().TellRefusedPictures();
    main().hide();
    store.SetBudget(TPictureStore::DefaultBudget);
    store.Clear();
    ASSERT_TRUE(started);
    // The icon the map draws is refused and told once, in one box.
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    const std::string& told = dialogs.Errors[0];
    EXPECT_NE(told.find("lantern.gif is not shown"), std::string::npos);
    EXPECT_EQ(told.find("lantern.gif"), told.rfind("lantern.gif"));
    main().TellRefusedPictures(); // nothing new
    EXPECT_EQ(dialogs.Errors.size(), 1u);
}

} // namespace
} // namespace kestrune::test
