// Where the windows meet: the grid, the code pane, the map and undo never
// lose a designer's work or write it into the wrong place.

#include "controls/datagrid.h"
#include "controls/settings.h"
#include "core/proptable.h"
#include "mapedit/mapview.h"
#include "model/placements.h"
#include "script/codeedit.h"
#include "script/sourceedit.h"
#include "shell/editorwindows.h"
#include "shell/mainwindow.h"
#include "shell_test_util.h"
#include "app/toolcommands.h"
#include "mapedit/history.h"
#include "mapedit/patterneditor.h"
#include "params/paramedit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTreeWidget>
#include <QUndoStack>
#include <QUndoView>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <sstream>

namespace kestrune::test {
namespace {

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "game", install.Path(), fs::copy_options::recursive);
        windows.CreateAll();
        main().DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
        main().Arguments = {(install.Path() / "demo.game").string()};
        ASSERT_TRUE(main().FormShow());
    }
    TForm1& main() { return *windows.Main; }
    TPropertyGrid& grid() { return main().Grid(); }
    TfrmCodeEdit& code() { return *windows.CodeEdit; }
    TMap* Map(const std::string& name) { return main().Proj().Maps->MapAt(main().Proj().Maps->IndexOfName(name)); }

    // The value of a row of the table, hidden in a closed group or not.
    std::string Row(const std::string& name)
    {
        for (const TPropertyRow& row : grid().Table.Rows())
            if (row.name == name)
                return row.value;
        return "<none>";
    }
    void Type(const std::string& row, const std::string& text)
    {
        ASSERT_TRUE(grid().Table.Locate(TPropertyTable::Field::Name, row)) << row;
        grid().Table.SetValue(text);
    }
    QPoint Pixel(int x, int y) { return {x * 39 + 5, (main().CurrentMap()->SizeY - 1 - y) * 39 + 5}; }
    void Click(int x, int y, Qt::MouseButton button = Qt::RightButton)
    {
        const QPoint p = Pixel(x, y);
        main().Gestures().PressCell(TMapGestures::Source::Mouse, button, p.x(), p.y());
    }
    TListedItem* Last(TItemList& list) { return list.Element(list.Count() - 1); }

    OwnSettings settings;
    TempDir install;
    ScriptedDialogs dialogs;
    TEditorWindows windows{dialogs};
};

TEST_F(Session, ARefusedValueNeverReachesTheList)
{
    TMap* map = main().CurrentMap();
    const std::string width = map->Params->GetValue("sizeX");
    const std::string refused = "Invalid value for field sizeX!";

    // Enter keeps the row in editing; "+" then adds nothing and renames nothing.
    Type("sizeX", "5x");
    EXPECT_FALSE(grid().Post());
    EXPECT_TRUE(grid().Table.Modified());
    EXPECT_EQ(dialogs.Errors.back(), refused);
    dialogs.InputAnswers = {std::string("mood")};
    grid().AddRow();
    EXPECT_EQ(Row("mood"), "<none>");
    EXPECT_EQ(grid().Table.Name(), "sizeX");

    // Every other way out refuses once and abandons the typed value.
    const size_t before = dialogs.Errors.size();
    grid().SetTab(TPropertyGrid::Tab::Events);
    EXPECT_EQ(dialogs.Errors.size(), before + 1);
    grid().SetTab(TPropertyGrid::Tab::Properties);
    EXPECT_EQ(map->Params->GetValue("sizeX"), width);
    EXPECT_EQ(map->Params->IndexOfName("mood"), -1);

    Type("sizeX", "5x");
    main().SelectKind(2); // a kind change (the tree is rebuilt and selected)
    EXPECT_EQ(map->Params->GetValue("sizeX"), width);
    EXPECT_EQ(dialogs.Errors.back(), refused);

    // A map click, with a cell's value being typed.
    grid().ClickHeading("+Travel");
    Type("teleportX", "9z");
    const std::string key = grid().ShownKey();
    Click(0, 0);
    EXPECT_EQ(map->Params->IndexOfName("teleportX" + key), -1);
    EXPECT_EQ(dialogs.Errors.back(), "Invalid value for field teleportX!");

    // Save, and the close question.
    main().SelectKind(0);
    Type("sizeX", "5x");
    EXPECT_TRUE(main().SaveProject());
    EXPECT_EQ(map->Params->GetValue("sizeX"), width);
    Type("sizeX", "6y");
    dialogs.YesNoCancelAnswers = {UserDialogs::Answer::Yes};
    EXPECT_TRUE(main().CloseQuery());
    EXPECT_EQ(map->Params->GetValue("sizeX"), width);
    Project saved;
    saved.DefinitionFile = main().DefinitionFile;
    saved.Load(main().Proj().ProjectFolder);
    EXPECT_EQ(saved.Maps->MapAt(saved.Maps->IndexOfName(map->Name))->Params->GetValue("sizeX"), width);
}

TEST_F(Session, TheCodePaneLetsGoOfWhatLeaves)
{
    main().SelectKind(5);
    TMap* map = main().CurrentMap();
    main().Gestures().DropFromTree(0, 1, 1);
    auto* item = Last(*map->Items);
    ASSERT_EQ(grid().ShownElement(), item);
    grid().SetTab(TPropertyGrid::Tab::Events);
    ASSERT_TRUE(grid().Table.Locate(TPropertyTable::Field::Name, "onTake"));
    grid().Ellipsis(nullptr);
    ASSERT_EQ(code().CurrentElement(), item);
    code().Editor()->SetText("take();");
    main().Browser().SelectByIndex(1); // another definition: the pane keeps the item

    // The text typed is a step of its own; the next undo takes the item off
    // the map: nothing refers to it any more.
    main().MenuAction("Undo")->trigger();
    EXPECT_EQ(main().History().Stack().redoText().toStdString(), "Add script onTake");
    EXPECT_EQ(item->Events->IndexOfName("onTake"), -1);
    main().MenuAction("Undo")->trigger();
    EXPECT_NE(code().CurrentElement(), item);
    EXPECT_NE(code().CurrentList(), item->Events.get());
    EXPECT_NE(grid().ShownElement(), item);
    EXPECT_NE(main().Proj().SelectedElement, item);
    for (TListedItem* p : main().Gestures().Placements())
        EXPECT_NE(p, item);
    // What was typed went with it, and comes back with it.
    main().MenuAction("Redo")->trigger();
    main().MenuAction("Redo")->trigger();
    EXPECT_EQ(item->Events->GetValue("onTake"), "take();");

    // Deleting it through the placements list lets go of it as well; the
    // undone step is freed by the next drop, and typing goes nowhere.
    grid().Ellipsis(nullptr);
    main().Browser().SelectByIndex(1);
    main().Gestures().ListPlacements();
    ASSERT_EQ(code().CurrentElement(), item);
    main().Gestures().ChoosePlacement(static_cast<int>(main().Gestures().Placements().size()) - 1);
    main().Gestures().DeletePlacement();
    EXPECT_NE(code().CurrentElement(), item);
    main().MenuAction("Undo")->trigger();
    main().MenuAction("Undo")->trigger();
    main().Gestures().DropFromTree(0, 2, 2);
    code().Editor()->SetText("more();");
    code().SaveCurrent();

    // Removing a map lets go of what lies on it.
    main().SelectKind(6);
    TMap* tower = Map("Tower");
    main().Browser().ShowMap(tower);
    TListedItem* monster = tower->Monsters->Element(0);
    code().OpenEvent(monster, "onSee");
    main().SelectKind(0);
    main().Browser().SelectByName("Tower");
    dialogs.ConfirmAnswers = {true};
    main().Browser().Remove();
    EXPECT_NE(code().CurrentElement(), monster);
    EXPECT_NE(code().CurrentElement(), tower);
    EXPECT_NE(main().CurrentMap(), nullptr);
}

TEST_F(Session, ScriptTextStaysInTheListItWasTypedInto)
{
    TMap* map = main().CurrentMap();
    code().OpenEvent(map, "onEnter");
    code().Editor()->SetText("enter();");
    main().SelectKind(5);
    grid().SetTab(TPropertyGrid::Tab::Events);
    main().Gestures().DropFromTree(0, 1, 1);
    auto* item = Last(*map->Items);
    ASSERT_EQ(grid().ShownEvents(), item->Events.get());
    code().Editor()->SetText("enter(2);");
    main().SelectKind(2);
    EXPECT_EQ(item->Events->IndexOfName("onEnter"), -1);
    EXPECT_EQ(map->Events->GetValue("onEnter"), "enter(2);");

    // The other way round: an item's script does not become a map event.
    main().SelectKind(0);
    ASSERT_EQ(grid().ShownEvents(), map->Events.get());
    code().OpenEvent(item, "onTake");
    code().Editor()->SetText("take();");
    main().SaveProject();
    EXPECT_EQ(item->Events->GetValue("onTake"), "take();");
    EXPECT_EQ(map->Events->IndexOfName("onTake"), -1);
}

TEST_F(Session, TheGridShowsAndSavesWhatTheMapShows)
{
    TMap* map = main().CurrentMap();
    // An NPC dropped on the map: the grid shows where it went, Save keeps it.
    main().SelectKind(7);
    main().Browser().SelectByName("Mara");
    auto* npc = static_cast<TNPC*>(grid().ShownElement());
    ASSERT_NE(npc, nullptr);
    main().Gestures().DropFromTree(-1, 4, 5);
    EXPECT_EQ(Row("x"), "4");
    EXPECT_EQ(Row("y"), "5");
    EXPECT_EQ(Row("map"), map->Name);
    main().SaveProject();
    EXPECT_EQ(npc->Params->GetValue("x"), "4");
    EXPECT_EQ(npc->Params->GetValue("map"), map->Name);

    // A monster stretched with the right button: drawn, shown and saved 2 x 2.
    main().SelectKind(6);
    main().Gestures().DropFromTree(0, 4, 6);
    auto* monster = static_cast<TMonster*>(Last(*map->Monsters));
    ASSERT_EQ(grid().ShownElement(), monster);
    const QPoint p = Pixel(5, 7);
    main().Gestures().MouseMove(Qt::RightButton, p.x(), p.y());
    EXPECT_EQ(monster->Area(), (TCellRect{4, 6, 5, 7}));
    EXPECT_EQ(Row("sizeX"), "1");
    EXPECT_EQ(Row("sizeY"), "1");
    main().SaveProject();
    EXPECT_EQ(monster->Params->GetValue("sizeX"), "1");
    // Undone, the grid follows too.
    main().MenuAction("Undo")->trigger();
    EXPECT_EQ(Row("sizeX"), "0");
}

TEST_F(Session, TheGridFollowsTheSelection)
{
    // A monster clicked on the map: both tabs show the monster.
    main().SelectKind(6);
    grid().SetTab(TPropertyGrid::Tab::Events);
    TMap* map = main().CurrentMap();
    TMonster* rat = map->Monsters->MonsterAt(0);
    Click(rat->Left + 1, rat->Top + 1);
    Click(rat->Left, rat->Top);
    EXPECT_EQ(grid().ShownElement(), rat);
    EXPECT_EQ(grid().ShownEvents(), rat->Events.get());
    EXPECT_EQ(grid().ShownParams(), rat->Params.get());

    // A script shows in the "Events" tab as it is written.
    main().SelectKind(2);
    ASSERT_TRUE(grid().Table.Locate(TPropertyTable::Field::Name, "onLeave"));
    grid().Ellipsis(nullptr);
    for (const char c : std::string("go")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar::fromLatin1(c)));
        QApplication::sendEvent(code().Editor(), &press);
    }
    ASSERT_TRUE(grid().Table.Locate(TPropertyTable::Field::Name, "onLeave"));
    EXPECT_EQ(grid().Table.Value(), "go");

    // A refused map width leaves the width shown.
    main().SelectKind(0);
    grid().SetTab(TPropertyGrid::Tab::Properties);
    const int width = map->SizeX;
    Type("sizeX", "300");
    grid().Post();
    EXPECT_FALSE(dialogs.Errors.empty());
    EXPECT_EQ(map->SizeX, width);
    EXPECT_EQ(Row("sizeX"), std::to_string(width));

    // After a map is removed, the grid shows the map that is open.
    dialogs.ConfirmAnswers = {true};
    main().Browser().Remove();
    ASSERT_NE(main().CurrentMap(), nullptr);
    EXPECT_NE(main().CurrentMap(), map);
    EXPECT_EQ(grid().ShownElement(), main().CurrentMap());
}

TEST_F(Session, RenamesCarryTheirReferencesAndRemovalsReachEveryMap)
{
    // A map renamed: the NPCs standing on it stay on it, links to it follow.
    TNPC* mara = nullptr;
    for (int i = 0; i < main().Proj().Npcs->Count(); ++i)
        if (main().Proj().Npcs->Element(i)->Name == "Mara")
            mara = static_cast<TNPC*>(main().Proj().Npcs->Element(i));
    ASSERT_NE(mara, nullptr);
    main().Browser().SelectByName("Deep Halls");
    dialogs.InputAnswers = {std::string("Depths")};
    main().Browser().Rename();
    EXPECT_EQ(mara->Params->GetValue("map"), "Depths");
    EXPECT_EQ(Map("Cellar")->Params->GetValue("upMap"), "Depths");

    // An item definition renamed: its placed items follow, through a save.
    TMap* cellar = Map("Cellar");
    main().SetLibMode(true);
    main().SelectKind(5);
    main().Browser().SelectByName("Lantern");
    dialogs.InputAnswers = {std::string("Lamp")};
    main().Browser().Rename();
    const TItem* lamp = cellar->FirstItemAt(3, 2);
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->Name, "Lamp");
    EXPECT_EQ(lamp->Params->GetValue("itemDef"), "Lamp");
    main().SetLibMode(false);
    ASSERT_TRUE(main().SaveProject());
    Project saved;
    saved.DefinitionFile = main().DefinitionFile;
    saved.Load(main().Proj().ProjectFolder);
    const TMap* again = saved.Maps->MapAt(saved.Maps->IndexOfName("Cellar"));
    ASSERT_NE(again->FirstItemAt(3, 2), nullptr);
    EXPECT_EQ(again->FirstItemAt(3, 2)->Name, "Lamp");
    EXPECT_NE(again->FirstItemAt(3, 2)->Def, nullptr);

    // With every map removed, items dropped on the placeholder lose a
    // removed definition as the maps' items do.
    main().SelectKind(0);
    for (const char* name : {"Cellar", "Depths", "Tower"}) {
        main().Browser().SelectByName(name);
        dialogs.ConfirmAnswers = {true};
        main().Browser().Remove();
    }
    ASSERT_EQ(main().Proj().Maps->Count(), 0);
    TMap* placeholder = main().CurrentMap();
    ASSERT_EQ(placeholder, main().Browser().PlaceholderMap());
    main().SelectKind(5);
    main().Gestures().DropFromTree(main().Proj().ItemDefs->IndexOfName("Lamp"), 0, 0);
    auto* dropped = static_cast<TItem*>(Last(*placeholder->Items));
    ASSERT_NE(dropped->Def, nullptr);
    main().SetLibMode(true);
    main().SelectKind(5);
    main().Browser().SelectByName("Lamp");
    dialogs.ConfirmAnswers = {true};
    main().Browser().Remove();
    EXPECT_EQ(main().Proj().ItemDefs->IndexOfName("Lamp"), -1);
    EXPECT_EQ(dropped->Def, nullptr);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Session, HistoryStepsAreNamedShownWhereTheyActAndSaved)
{
    TMap* cellar = main().CurrentMap();
    QAction* undo = main().MenuAction("Undo");
    ASSERT_NE(undo, nullptr);
    EXPECT_EQ(undo->text(), QStringLiteral("Undo"));

    // A floor painted, then another map opened: undo opens the map and
    // selects the cell first.
    main().SelectKind(2);
    main().Browser().SelectByIndex(0);
    Click(4, 3, Qt::LeftButton);
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Paint floors"));
    const int floor = cellar->Cell(4, 3).Floor();
    main().Browser().ShowMap(Map("Tower"));
    cellar->SelX = cellar->SelY = 0;
    cellar->Changed = false;
    undo->trigger();
    EXPECT_EQ(main().CurrentMap(), cellar);
    EXPECT_EQ(cellar->SelX, 4);
    EXPECT_EQ(cellar->SelY, 3);
    EXPECT_NE(cellar->Cell(4, 3).Floor(), floor);
    EXPECT_TRUE(cellar->Changed);
    EXPECT_EQ(main().MenuAction("Redo")->text(), QStringLiteral("Redo Paint floors"));

    // A right click on a definition places it as a step of its own.
    main().SelectKind(5);
    const int items = cellar->Items->Count();
    main().Browser().RightClickNode(main().ElementTree()->topLevelItem(0)->child(0));
    ASSERT_EQ(cellar->Items->Count(), items + 1);
    EXPECT_TRUE(undo->text().startsWith(QStringLiteral("Undo Place item ")));
    cellar->Changed = false;
    undo->trigger();
    EXPECT_EQ(cellar->Items->Count(), items);
    EXPECT_TRUE(cellar->Changed);

    // An NPC dropped on the map goes back, map and all.
    main().SelectKind(7);
    main().Browser().SelectByName("Mara");
    auto* mara = static_cast<TNPC*>(grid().ShownElement());
    const std::string from = mara->Params->GetValue("map"), x = mara->Params->GetValue("x");
    main().Gestures().DropFromTree(-1, 2, 2);
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Move NPC Mara"));
    undo->trigger();
    EXPECT_EQ(mara->Params->GetValue("map"), from);
    EXPECT_EQ(mara->Params->GetValue("x"), x);
    EXPECT_EQ(mara->Left, std::stoi(x));
    main().MenuAction("Redo")->trigger();
    EXPECT_EQ(mara->Params->GetValue("x"), "2");

    // The history window lists the steps; saving marks the saved point.
    main().ShowHistory();
    ASSERT_NE(main().HistoryView(), nullptr);
    EXPECT_EQ(main().HistoryView()->model()->rowCount(), main().History().Stack().count() + 1);
    EXPECT_FALSE(main().History().Stack().isClean());
    ASSERT_TRUE(main().SaveProject());
    EXPECT_TRUE(main().History().Stack().isClean());
}

TEST_F(Session, UndoKeysActOnTheTextBeingEdited)
{
    main().show();
    QApplication::setActiveWindow(&main());
    main().SelectKind(2);
    Click(1, 1, Qt::LeftButton);
    const int steps = main().History().Stack().index();
    code().OpenEvent(main().CurrentMap(), "onEnter");
    code().Editor()->setFocus();
    if (QApplication::focusWidget() != code().Editor())
        GTEST_SKIP() << "no keyboard focus on this platform";
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(code().Editor(), &press);
    ASSERT_TRUE(code().Editor()->CanUndo());
    main().UndoOrRedo(true);
    EXPECT_FALSE(code().Editor()->CanUndo());
    EXPECT_EQ(main().History().Stack().index(), steps); // the map is untouched
    main().ElementTree()->setFocus();
    main().UndoOrRedo(true);
    EXPECT_EQ(main().History().Stack().index(), steps - 1);
}

TEST(UndoLimit, ComesFromTheSettings)
{
    OwnSettings settings;
    {
        auto s = TSettings::OpenSettings();
        s->WriteInteger("qv5editor\\config", "undoLimit", 2);
        s->CloseSettings();
    }
    ScriptedDialogs dialogs;
    TEditorWindows windows{dialogs};
    windows.CreateAll();
    EXPECT_EQ(windows.Main->History().Stack().undoLimit(), 2);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// Every kind of step: done, undone and redone, the whole project is as it
// was before and after it.
TEST_F(Session, EveryKindOfStepUndoesAndRedoesTheWholeProject)
{
    QUndoStack& stack = main().History().Stack();
    auto dump = [this] {
        std::ostringstream out;
        DumpProject(main().Proj(), out);
        return out.str();
    };
    // Where two dumps part, briefly.
    auto differ = [](const std::string& a, const std::string& b) {
        size_t at = 0;
        while (at < a.size() && at < b.size() && a[at] == b[at])
            ++at;
        const size_t from = at > 60 ? at - 60 : 0;
        return a == b ? std::string() : a.substr(from, 120) + "\n  <>\n" + b.substr(from, 120);
    };
    auto step = [&](const std::string& name, const std::function<void()>& change) {
        main().SettleEdits();
        const std::string before = dump();
        const int index = stack.index();
        change();
        main().SettleEdits();
        const std::string after = dump();
        EXPECT_TRUE(before != after) << name << " changed nothing";
        EXPECT_EQ(stack.index(), index + 1) << name;
        EXPECT_EQ(stack.undoText().toStdString(), name);
        stack.undo();
        EXPECT_EQ(differ(dump(), before), "") << "undo " << name;
        stack.redo();
        EXPECT_EQ(differ(dump(), after), "") << "redo " << name;
    };
    const fs::path maps = fs::path(main().Proj().ProjectFolder) / "maps";
    TMap* tower = Map("Tower");
    main().Browser().ShowMap(tower);

    // The map view and the grid.
    main().SelectKind(1);
    main().Browser().SelectByIndex(1);
    step("Paint walls", [&] { Click(2, 2, Qt::LeftButton); });
    main().SelectKind(4);
    step("Change #orientation", [&] {
        Type("#orientation", "2");
        grid().Post();
    });
    main().SelectKind(6);
    auto* monster = static_cast<TMonster*>(tower->Monsters->Element(0));
    Click(monster->Left, monster->Top, Qt::LeftButton);
    ASSERT_EQ(grid().ShownElement(), monster);
    for (const TPropertyRow& row : grid().Table.Rows()) // the group that holds "x" is opened
        if (row.name == "x" && row.grp.value_or(0) != grid().ExpandedGroup())
            for (const TPropertyRow& heading : grid().Table.Rows())
                if (heading.name[0] == '+' && heading.grp == row.grp) {
                    grid().ClickHeading(heading.name);
                    break;
                }
    step("Change x", [&] {
        Type("x", "1");
        grid().Post();
    });
    main().SelectKind(0);
    main().Browser().ShowMap(tower);
    step("Change sizeX", [&] {
        Type("sizeX", "5");
        grid().Post();
    });
    EXPECT_EQ(tower->SizeX, 5);
    step("Change title", [&] {
        Type("title", "Renamed tower");
        grid().Post();
    });
    dialogs.InputAnswers = {"heading"};
    step("Rename field title to heading", [&] {
        ASSERT_TRUE(grid().Table.Locate(TPropertyTable::Field::Name, "title"));
        grid().RenameRow();
    });
    dialogs.ConfirmAnswers = {true};
    step("Remove field heading", [&] {
        ASSERT_TRUE(grid().Table.Locate(TPropertyTable::Field::Name, "heading"));
        grid().RemoveRow();
    });

    // Scripts, names and parameters.
    step("Add script onSoak", [&] {
        code().OpenEvent(tower, "onSoak");
        code().Editor()->SetText("say('hello');");
    });
    dialogs.InputAnswers = {"greeting"};
    step("Convert text to name", [&] {
        code().Editor()->SetSelStart(6);
        code().ConvertTextToName();
    });
    step("Edit script onSoak", [&] { code().Editor()->SetText("say('again');"); });
    main().SelectKind(2);
    step("Rename script onSoak to onSoak [1,1]", [&] { main().Gestures().DropEvent("onSoak", 1, 1, 0); });
    step("Edit Game parameters", [&] {
        QTimer::singleShot(0, [this] {
            TfrmParamEdit& edit = *windows.ParamEdit;
            edit.Table().Append();
            edit.Table().SetName("soakParam");
            edit.Table().SetValue("7");
            edit.Table().Post();
            edit.accept();
        });
        main().MenuAction("Game params")->trigger();
    });

    // Colours, and adding, removing and renaming elements and maps.
    main().SetLibMode(true);
    main().SelectKind(1);
    main().PatternEditor().ChooseColour = [](QColor) -> std::optional<QColor> { return QColor(1, 2, 3); };
    step("Change colour " + std::to_string(TPatternEditor::FirstUserColour), [&] {
        main().PatternEditor().EditSwatchColour(TPatternEditor::FirstUserColour);
    });
    // The project's own wall (the shared ones are not edited), painted on a map.
    TWalls& walls = *main().Proj().Walls;
    int own = 0;
    while (walls.Element(own)->Shared)
        ++own;
    main().Browser().ShowMap(tower);
    main().SetLibMode(false);
    main().Browser().SelectByIndex(own);
    Click(1, 1, Qt::LeftButton);
    main().SetLibMode(true);
    main().Browser().SelectByIndex(own);
    dialogs.InputAnswers = {"Granite"};
    step("Rename wall " + walls.Element(own)->Name + " to Granite", [&] { main().Browser().Rename(); });
    main().Browser().SelectByIndex(own);
    dialogs.ConfirmAnswers = {true};
    step("Remove wall Granite", [&] { main().Browser().Remove(); });
    dialogs.InputAnswers = {"Basalt"};
    step("Add wall Basalt", [&] { main().Browser().Add(); });
    main().SetLibMode(false);
    main().SelectKind(0);
    dialogs.InputAnswers = {"Annex"};
    step("Add map Annex", [&] { main().Browser().Add(); });
    main().Browser().ShowMap(tower);
    main().Browser().SelectByName("Tower");
    dialogs.InputAnswers = {"Keep"};
    step("Rename map Tower to Keep", [&] { main().Browser().Rename(); });
    EXPECT_TRUE(fs::exists(maps / "Keep.map"));
    main().Browser().ShowMap(tower);
    dialogs.ConfirmAnswers = {true};
    step("Remove map Keep", [&] { main().Browser().Remove(); });
    EXPECT_FALSE(fs::exists(maps / "Keep.map"));
    stack.undo();
    EXPECT_TRUE(fs::exists(maps / "Keep.map")); // undo writes the file back

    // The history window lists every step, and survives the removals.
    EXPECT_EQ(stack.index(), stack.count() - 1);
    while (stack.canUndo())
        stack.undo();
    EXPECT_EQ(Map("Tower"), tower);
    EXPECT_TRUE(fs::exists(maps / "Tower.map"));
}

} // namespace
} // namespace kestrune::test
