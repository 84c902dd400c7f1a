#include "model/canvas.h"
#include "model/map.h"
#include "model/project.h"
#include "shell/browser.h"
#include "shell_test_util.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QMimeData>
#include <QTreeWidget>

#include <fstream>

namespace kestrune::test {
namespace {

// Records what the browser asks of the rest of the window.
class FakeBrowserHost : public TBrowserHost {
public:
    int modified = 0, posted = 0, forgotten = 0, repaints = 0, placements = 0, saves = 0, detaches = 0;
    int holds = 0, releases = 0, kindMark = -1;
    std::vector<TListedItem*> shown;
    std::vector<TMap*> opened;
    std::vector<std::pair<int, int>> cells;
    std::pair<int, int> patternSize{-1, -1};
    TListedItem* grid = nullptr;
    bool panel = false, placementsList = false, previewVisible = false, lib = false, mapsHidden = false;
    bool add = false, remove = false, rename = false;
    std::string title, mapsCaption;
    const QImage* picture = nullptr;

    void SetModified() override { ++modified; }
    void ShowElement(TListedItem* e) override { shown.push_back(grid = e); }
    void PostPendingEdit() override { ++posted; }
    TListedItem* ShownElement() override { return grid; }
    void ForgetShownLists() override { ++forgotten, grid = nullptr; }
    void OpenMapInView(TMap& map) override { opened.push_back(&map); }
    void RepaintMap() override { ++repaints; }
    void RepaintCell(int x, int y) override { cells.emplace_back(x, y); }
    void SizeForPattern(int w, int h) override { patternSize = {w, h}; }
    void HoldRepaint() override { ++holds; }
    void ReleaseRepaint() override { ++releases; }
    void ListPlacements() override { ++placements; }
    void SaveCurrent() override { ++saves; }
    void Removing(TListedItem&) override { ++detaches; }
    void SetElementPanelVisible(bool v) override { panel = v; }
    void SetElementPanelTitle(const std::string& t) override { title = t; }
    void SetPlacementsListVisible(bool v) override { placementsList = v; }
    void SetPreviewPicture(const QImage* p) override { picture = p; }
    void SetPreviewVisible(bool v) override { previewVisible = v; }
    void SetEditButtonsEnabled(bool a, bool r, bool n) override { add = a, remove = r, rename = n; }
    void SetKindMarks(int kind) override { kindMark = kind; }
    void SetMapsCaption(const std::string& caption) override { mapsCaption = caption; }
    void SetWorkingMode(bool on) override { lib = on; }
    bool MapsButtonHidden() override { return mapsHidden; }
};

// Scripted answers that also keep the input boxes' titles and preset names.
class NamingDialogs : public ScriptedDialogs {
public:
    std::vector<std::string> Captions, Presets;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override
    {
        Captions.push_back(caption);
        Presets.push_back(value);
        EXPECT_EQ(prompt, "Name : ");
        return ScriptedDialogs::Input(caption, prompt, value);
    }
};

class Browser : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "game", install.Path(), fs::copy_options::recursive);
        project.DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
        project.Load((install.Path() / "demo.game").string());
        project.PrepareMapPictures();
        placeholder = std::make_unique<TMap>("", project.Maps.get(), 1, 1);
        browser.SetPlaceholderMap(placeholder.get());
        browser.FillMapChooser();
        browser.SelectKind(0); // as the start-up does: opens the first map
    }

    fs::path MapsDir() const { return install.Path() / "demo.game" / "maps"; }
    TMap* MapNamed(const std::string& name) const { return static_cast<TMap*>(project.Maps->FindByName(name)); }

    // The nodes as text: "[group]", children in braces, siblings split by "|".
    static std::string Children(const QTreeWidgetItem* node)
    {
        std::string s;
        for (int i = 0; i < node->childCount(); ++i) {
            const QTreeWidgetItem* c = node->child(i);
            const std::string caption = TElementBrowser::Caption(c);
            s += (i ? "|" : "") + (TElementBrowser::Number(c) == 0 ? "[" + caption + "]" : caption);
            if (c->childCount() > 0)
                s += "{" + Children(c) + "}";
        }
        return s;
    }
    std::string Tree() const { return Children(tree.invisibleRootItem()); }
    int NumberOf(const std::string& caption) const { return TElementBrowser::Number(Node(caption)); }
    QTreeWidgetItem* Node(const std::string& caption) const
    {
        for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(&tree)); *it; ++it)
            if (TElementBrowser::Caption(*it) == caption)
                return *it;
        return nullptr;
    }
    std::string Selected() const { return TElementBrowser::Caption(browser.SelectedNode()); }
    std::string Chooser() const
    {
        std::string s;
        for (int i = 0; i < chooser.count(); ++i)
            s += (i ? "|" : "") + FromQ(chooser.itemText(i)) + "=" + std::to_string(chooser.itemData(i).toInt());
        return s;
    }
    std::vector<std::string> MapNames() const { return project.Maps->Names(); }

    TempDir install;
    Project project;
    NamingDialogs dialogs;
    FakeBrowserHost host;
    QTreeWidget tree;
    QComboBox chooser;
    std::unique_ptr<TMap> placeholder;
    TElementBrowser browser{project, dialogs, host, tree, chooser};
};

// ------------------------------------------------------------ tree shapes

TEST_F(Browser, GroupedTreesWithTheClearNodeOnlyInEditMode)
{
    browser.SelectKind(1);
    EXPECT_EQ(Tree(), "__ Clear __|Archway|Brick wall|Cracked wall|[doors]{Iron door|Portcullis|Wooden door}|"
                      "Mossy stone|Plank wall|Rough rock|Stone wall");
    EXPECT_EQ(Selected(), "__ Clear __");
    EXPECT_EQ(NumberOf("__ Clear __"), 65535);
    EXPECT_EQ(browser.SelectedIndex(), -1);
    EXPECT_EQ(host.shown.back(), MapNamed("Cellar")); // no element: the open map
    browser.SetLibMode(true);
    EXPECT_EQ(Node("__ Clear __"), nullptr);

    // Group values differing in case share the first spelling; of two
    // parameters of that name the last counts.
    project.ItemDefs->Element(0)->Params->SetValue("kind", "fOOd"); // Bread
    project.ItemDefs->Element(7)->Params->SetValue("kind", "FOOD"); // Lantern
    project.ItemDefs->Element(5)->Params->Add(std::make_unique<TPar>("kind", "KEY")); // Round shield
    browser.SelectKind(5);
    EXPECT_EQ(Tree(), "[ARMOUR]{Leather cap}|[fOOd]{Bread|Lantern}|[KEY]{Iron key|Round shield}|"
                      "[POTION]{Healing potion}|[WEAPON]{Rapier|Short sword}");

    // An ungrouped element named like a group takes the group's elements.
    project.Walls->Element(0)->Name = "Doors"; // Archway
    project.Walls->NamesChanged();
    browser.SelectKind(1);
    EXPECT_EQ(Tree(), "Brick wall|Cracked wall|Doors{Iron door|Portcullis|Wooden door}|Mossy stone|Plank wall|"
                      "Rough rock|Stone wall");
    EXPECT_EQ(NumberOf("Doors"), 1);
}

TEST_F(Browser, NestedTreesPlaceLateParentsLoopsAndOrphans)
{
    // Cave troll 0, Giant rat 1 (parent Rat), Plague rat 2 (Rat), Rat 3, Skeleton 4, Hall wraith 5.
    TMonstersDef& monsters = *project.MonsterDefs;
    monsters.Element(4)->Params->SetValue("parent", "giant RAT"); // in the pass that places Giant rat
    monsters.Element(0)->Params->SetValue("parent", "Hall wraith");
    monsters.Element(5)->Params->SetValue("parent", "Cave troll");
    auto* stray = static_cast<TListedItem*>(monsters.Add(monsters.CreateItem()));
    stray->Name = "rat";
    stray->Params->SetValue("parent", "nobody");
    browser.SelectKind(6);
    EXPECT_EQ(Tree(), "Cave troll|Hall wraith|rat|Rat{Giant rat{Skeleton}|Plague rat}");
    EXPECT_EQ(NumberOf("rat"), 4); // numbered as the first element of its name
    EXPECT_EQ(NumberOf("Skeleton"), 5);

    browser.SelectKind(7);
    EXPECT_EQ(Tree(), "Mara|Oswin|Tamsin"); // the instances in edit mode
    browser.SetLibMode(true);
    EXPECT_EQ(Tree(), "Old hermit|Smith");
}

TEST_F(Browser, SelectionIsRememberedPerKindAndFoundByNameOrIndex)
{
    browser.SelectKind(1);
    browser.SelectByName("STONE wall");
    EXPECT_EQ(browser.SelectedIndex(), 7);
    EXPECT_EQ(project.SelectedElement, project.Walls->Element(7));
    browser.SelectKind(2);
    EXPECT_EQ(Selected(), "__ Clear __");
    browser.SelectKind(1);
    EXPECT_EQ(Selected(), "Stone wall");
    project.Walls->Element(7)->Name = "stone wall"; // the remembered caption must match in case
    project.Walls->NamesChanged();
    browser.SelectKind(2);
    browser.SelectKind(1);
    EXPECT_EQ(Selected(), "__ Clear __");

    browser.SelectKind(5);
    EXPECT_EQ(Selected(), "ARMOUR");
    browser.SelectByName("key"); // never a group node
    EXPECT_EQ(browser.SelectedNode(), nullptr);
    browser.SelectByIndex(6);
    EXPECT_EQ(Selected(), "Short sword");
    browser.SelectByIndex(-1);
    EXPECT_EQ(Selected(), "ARMOUR");
}

TEST_F(Browser, NumbersBeyondTheLastBrowsablePositionSelectNothing)
{
    for (int i = project.Floors->Count(); i < 65523; ++i)
        project.Floors->Add(project.Floors->CreateItem())->Name = "f" + std::to_string(i);
    browser.SetLibMode(true);
    browser.SelectKind(2);
    browser.SelectByName("f65520");
    EXPECT_EQ(browser.SelectedIndex(), 65520);
    browser.SelectByName("f65521");
    EXPECT_EQ(TElementBrowser::Number(browser.SelectedNode()), 65522);
    EXPECT_EQ(browser.SelectedIndex(), -1);
}

// ------------------------------------------------------- selection, panels

TEST_F(Browser, SelectionShowsMapsAndElementsOnceEachRebuild)
{
    EXPECT_EQ(Tree(), "Cellar|Deep Halls|Tower");
    ASSERT_FALSE(host.opened.empty());
    EXPECT_EQ(host.opened.back(), MapNamed("Cellar"));
    EXPECT_EQ(browser.RememberedSelection[0], "Cellar");
    EXPECT_EQ(chooser.currentText(), QStringLiteral("Cellar"));
    browser.SelectByName("tower");
    EXPECT_EQ(host.shown.back(), MapNamed("Tower"));

    const size_t shown = host.shown.size();
    const int posted = host.posted;
    browser.SelectKind(5);
    EXPECT_EQ(host.shown.size(), shown + 1); // the rebuild acts once
    EXPECT_EQ(host.posted, posted + 2); // before the kind changes, and on the new selection
    browser.SelectByName("Bread");
    EXPECT_EQ(host.shown.back(), project.ItemDefs->Element(0));
    EXPECT_NE(host.picture, nullptr);
    EXPECT_EQ(host.title, " Elements");
    EXPECT_TRUE(host.placementsList);

    browser.SetLibMode(true);
    browser.SelectByName("Lantern");
    EXPECT_EQ(host.title, " Image");
    EXPECT_FALSE(host.placementsList);
    const int repaints = host.repaints;
    browser.SelectByName("Rapier");
    EXPECT_EQ(host.repaints, repaints + 1); // the pattern view follows
}

TEST_F(Browser, PanelsButtonsAndMarksFollowKindModeAndPreviewOption)
{
    browser.SelectByName("Deep halls");
    project.PreviewPictures = false;
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        browser.SelectKind(k);
        EXPECT_EQ(host.panel, k == 5 || k == 6);
        EXPECT_EQ(host.previewVisible, k <= 6);
        EXPECT_EQ(host.add && host.remove && host.rename, k == 0 || k == 7);
        EXPECT_EQ(browser.TreeDragEnabled(), k >= 5);
        EXPECT_EQ(host.kindMark, k);
    }
    project.PreviewPictures = true;
    browser.SetLibMode(true);
    EXPECT_TRUE(host.lib);
    EXPECT_EQ(host.mapsCaption, "Game");
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        browser.SelectKind(k);
        EXPECT_EQ(host.panel, k != 7); // NPCs have nothing to preview
        EXPECT_EQ(host.add, k != 0); // nothing to make a new map of
        EXPECT_TRUE(host.remove && host.rename);
        EXPECT_FALSE(browser.TreeDragEnabled());
    }
    browser.SelectKind(1); // Archway: the view takes its pattern
    EXPECT_EQ(host.patternSize, std::make_pair(66, 24));

    host.opened.clear();
    browser.SetLibMode(false);
    EXPECT_EQ(host.mapsCaption, "Maps");
    ASSERT_FALSE(host.opened.empty());
    EXPECT_EQ(host.opened.front(), MapNamed("Deep Halls")); // opened again
    host.mapsHidden = true; // game-data mode
    browser.SetLibMode(true);
    EXPECT_EQ(browser.CurrentKind(), 1);
}

TEST_F(Browser, MapChooserIsSortedAndCarriesPositions)
{
    project.Maps->Move(0, 2); // Deep Halls, Tower, Cellar
    browser.FillMapChooser();
    EXPECT_EQ(Chooser(), "Cellar=2|Deep Halls=0|Tower=1");
    EXPECT_EQ(chooser.currentText(), QStringLiteral("Cellar"));
    browser.SelectKind(2);
    browser.ChooseMap(2);
    EXPECT_EQ(browser.CurrentMap(), MapNamed("Tower"));
    EXPECT_EQ(Selected(), "__ Clear __"); // the tree stays as it was
    EXPECT_EQ(chooser.currentText(), QStringLiteral("Tower"));
    browser.SelectKind(0);
    browser.ChooseMap(1);
    EXPECT_EQ(Selected(), "Deep Halls");
    EXPECT_EQ(browser.CurrentMap(), MapNamed("Deep Halls"));
}

// ------------------------------------------------------------------- maps

TEST_F(Browser, AddingAMapWritesItsFileAndRemovingDeletesIt)
{
    dialogs.InputAnswers = {std::string("Attic")};
    browser.Add();
    EXPECT_EQ(dialogs.Captions, std::vector<std::string>{"Enter new map name"});
    EXPECT_EQ(dialogs.Presets, std::vector<std::string>{""});
    ASSERT_TRUE(fs::exists(MapsDir() / "Attic.map"));
    EXPECT_EQ(TMap::LoadFile(MapsDir() / "Attic.map", nullptr)->SizeX, 10);
    EXPECT_EQ(MapNames(), (std::vector<std::string>{"Attic", "Cellar", "Deep Halls", "Tower"}));
    EXPECT_EQ(Selected(), "Attic");
    EXPECT_EQ(chooser.currentText(), QStringLiteral("Attic"));

    dialogs.ConfirmAnswers = {false, true};
    browser.Remove();
    EXPECT_TRUE(fs::exists(MapsDir() / "Attic.map"));
    browser.Remove();
    EXPECT_EQ(dialogs.Confirmations,
              std::vector<std::string>(2, "Are you sure, that you want to remove map Attic from dik (no copy)?"));
    EXPECT_FALSE(fs::exists(MapsDir() / "Attic.map"));
    EXPECT_EQ(MapNames(), (std::vector<std::string>{"Cellar", "Deep Halls", "Tower"}));
    EXPECT_EQ(host.detaches, 1);
    EXPECT_EQ(chooser.count(), 3);
    EXPECT_EQ(host.modified, 0); // maps are written at once

    browser.ShowMap(nullptr); // the placeholder cannot be removed
    EXPECT_EQ(browser.CurrentMap(), placeholder.get());
    browser.Remove();
    EXPECT_EQ(dialogs.Confirmations.size(), 2u);
}

TEST_F(Browser, RenamingAMapMovesItsFileAndRefusesNamesTakenOnDisk)
{
    std::ofstream(MapsDir() / "Ghost.MAP") << "not a map";
    dialogs.InputAnswers = {std::string("ghost"), std::string("cellar"), std::string(""), std::nullopt};
    for (int i = 0; i < 4; ++i)
        browser.Add();
    EXPECT_EQ(dialogs.Errors, (std::vector<std::string>{"map with name ghost already exists!",
                                                        "map with name cellar already exists!", "Name can't be empty!"}));
    EXPECT_EQ(MapNames().size(), 3u);
    EXPECT_EQ(browser.SelectedNode(), nullptr); // nothing added: the selection is cleared

    browser.SelectByName("Tower");
    dialogs.InputAnswers = {std::string("GHOST"), std::string("Attic")};
    browser.Rename();
    EXPECT_EQ(dialogs.Captions.back(), "Enter new  name"); // a map has no kind word
    EXPECT_EQ(dialogs.Presets.back(), "Tower");
    EXPECT_EQ(dialogs.Errors.back(), " with name GHOST already exists!");
    browser.Rename();
    EXPECT_TRUE(fs::exists(MapsDir() / "Attic.map"));
    EXPECT_FALSE(fs::exists(MapsDir() / "Tower.map"));
    EXPECT_EQ(MapNames(), (std::vector<std::string>{"Attic", "Cellar", "Deep Halls"}));
    EXPECT_EQ(Selected(), "Attic");
    EXPECT_EQ(Chooser(), "Attic=0|Cellar=1|Deep Halls=2");
    EXPECT_EQ(host.modified, 2);
    EXPECT_EQ(host.releases, 2);
}

TEST_F(Browser, FailedFileOperationsAreReportedAndKeepTheMap)
{
    // A folder where the Cellar's file was cannot be deleted as a file.
    fs::remove(MapsDir() / "Cellar.map");
    fs::create_directories(MapsDir() / "Cellar.map" / "inside");
    dialogs.ConfirmAnswers = {true};
    browser.Remove();
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "Cannot delete file " + (MapsDir() / "Cellar.map").string());
    EXPECT_EQ(MapNames().size(), 3u);
    EXPECT_EQ(browser.CurrentMap(), MapNamed("Cellar"));
    EXPECT_EQ(host.detaches, 0); // the code editor keeps the map's events

    // A folder of the new name is no map file, but the rename fails on it.
    fs::create_directories(MapsDir() / "Vault.map" / "inside");
    browser.SelectByName("Tower");
    dialogs.InputAnswers = {std::string("Vault")};
    browser.Rename();
    ASSERT_EQ(dialogs.Errors.size(), 2u);
    EXPECT_EQ(dialogs.Errors[1], "Cannot rename file " + (MapsDir() / "Tower.map").string() + " to " +
                                     (MapsDir() / "Vault.map").string());
    EXPECT_EQ(MapNamed("Tower")->Name, "Tower");
    EXPECT_TRUE(fs::exists(MapsDir() / "Tower.map"));
    EXPECT_EQ(host.holds, host.releases);
}

// --------------------------------------------------------------- elements

TEST_F(Browser, ElementsAreAddedRenamedAndRemovedInLibModeOrAsNpcs)
{
    browser.SelectKind(1);
    browser.Add(); // walls are not added in edit mode
    EXPECT_TRUE(dialogs.Captions.empty());
    browser.SelectKind(7);
    dialogs.InputAnswers = {std::string("Bruna")};
    browser.Add();
    EXPECT_EQ(dialogs.Captions, std::vector<std::string>{"Enter new NPC name"});
    EXPECT_EQ(project.Npcs->Count(), 4);
    EXPECT_EQ(Selected(), "Bruna");

    browser.SetLibMode(true);
    browser.SelectKind(1);
    dialogs.Captions.clear();
    dialogs.InputAnswers = {std::string(""), std::string("brick WALL"), std::string("Green wall")};
    for (int i = 0; i < 3; ++i)
        browser.Add();
    EXPECT_EQ(dialogs.Captions, std::vector<std::string>(3, "Enter new wallDef name"));
    EXPECT_EQ(dialogs.Errors,
              (std::vector<std::string>{"Name can't be empty!", "wallDef with name brick WALL already exists!"}));
    ASSERT_EQ(project.Walls->Count(), 11);
    EXPECT_EQ(Selected(), "Green wall");

    browser.SelectByName("Archway"); // shared: refused without a word
    browser.Rename();
    browser.Remove();
    EXPECT_EQ(dialogs.Captions.size(), 3u);
    EXPECT_TRUE(dialogs.Confirmations.empty());

    browser.SelectByName("Cracked wall");
    dialogs.InputAnswers = {std::string("Broken wall")};
    browser.Rename();
    EXPECT_EQ(dialogs.Presets.back(), "Cracked wall");
    EXPECT_EQ(project.Walls->FindByName("broken WALL"), project.Walls->Element(9));
    EXPECT_EQ(Selected(), "Archway"); // the old caption is remembered: the first node

    TMap* cellar = MapNamed("Cellar");
    cellar->Cell(0, 0).Wall(2) = 10; // Broken wall
    cellar->Cell(1, 0).Wall(0) = 11; // Green wall
    browser.SelectByName("Broken wall");
    dialogs.ConfirmAnswers = {true};
    const int modified = host.modified;
    browser.Remove();
    EXPECT_EQ(dialogs.Confirmations, std::vector<std::string>{"Are you sure, that you want to remove wallDef "
                                                              "Broken wall from database and all maps?"});
    EXPECT_EQ(project.Walls->IndexOfName("Broken wall"), -1);
    EXPECT_EQ(cellar->Cell(0, 0).Wall(2), 0);
    EXPECT_EQ(cellar->Cell(1, 0).Wall(0), 10);
    EXPECT_EQ(host.detaches, 1);
    EXPECT_EQ(host.modified, modified + 1);

    browser.SelectKind(0);
    browser.Add(); // the map list has no element factory
    EXPECT_EQ(dialogs.Captions.size(), 4u);
}

// ------------------------------------------------------ placing from the tree

TEST_F(Browser, RightClickPlacesDefinitionsAndDragsMarkTheProjectChanged)
{
    TMap* cellar = MapNamed("Cellar");
    cellar->SelX = 2;
    cellar->SelY = 3;
    const int items = cellar->Items->Count(), monsters = cellar->Monsters->Count();
    browser.SelectKind(5);
    browser.RightClickNode(Node("FOOD"));
    EXPECT_EQ(Selected(), "FOOD"); // selected first
    EXPECT_EQ(cellar->Items->Count(), items);
    EXPECT_TRUE(host.cells.empty());
    browser.RightClickNode(Node("Lantern"));
    ASSERT_EQ(cellar->Items->Count(), items + 1);
    TItem* lantern = cellar->Items->ItemAt(items);
    EXPECT_EQ(lantern->Def, project.ItemDefs->Element(7));
    EXPECT_EQ(std::make_pair(lantern->X, lantern->Y), std::make_pair(2, 3));
    EXPECT_EQ(host.cells, (std::vector<std::pair<int, int>>{{2, 3}}));
    browser.SelectKind(6);
    browser.RightClickNode(Node("Giant rat"));
    EXPECT_EQ(cellar->Monsters->Count(), monsters + 1);

    browser.SelectKind(5);
    const int modified = host.modified;
    const std::unique_ptr<QMimeData> drag = browser.BeginDrag(Node("Bread"));
    EXPECT_EQ(host.modified, modified + 1);
    EXPECT_EQ(TElementBrowser::DragSource(*drag), std::make_optional(std::make_pair(5, 0)));

    // A removed definition leaves its placements without one.
    browser.SetLibMode(true);
    browser.SelectByName("Lantern");
    dialogs.ConfirmAnswers = {true};
    browser.Remove();
    EXPECT_EQ(project.ItemDefs->Count(), 7);
    EXPECT_EQ(lantern->Def, nullptr);
}

TEST_F(Browser, ASelectedNodeMovesUnderItsNewParent)
{
    browser.SelectKind(6);
    browser.SelectByName("Cave troll");
    const size_t shown = host.shown.size();
    browser.MoveSelectedNode("rat");
    EXPECT_EQ(Tree(), "Hall wraith|Rat{Cave troll|Giant rat|Plague rat}|Skeleton");
    EXPECT_EQ(Selected(), "Cave troll");
    EXPECT_EQ(host.shown.size(), shown); // no selection change
    browser.SelectByName("Rat");
    browser.MoveSelectedNode("Giant rat"); // inside its own subtree: stays at the top level
    EXPECT_EQ(Tree(), "Hall wraith|Rat{Cave troll|Giant rat|Plague rat}|Skeleton");
    browser.SelectByName("Cave troll");
    browser.MoveSelectedNode("");
    EXPECT_EQ(Tree(), "Cave troll|Hall wraith|Rat{Giant rat|Plague rat}|Skeleton");
}

// ---------------------------------------------------------------- drawing

TEST_F(Browser, NodesDrawMarksConnectorsAndPictures)
{
    constexpr QRgb grey = 0xFF808080u;
    browser.SelectKind(1);
    const QImage group = browser.NodePicture(Node("doors"), 200, false);
    EXPECT_EQ(group.pixel(2, 3), grey); // the expand mark's frame
    EXPECT_EQ(group.pixel(12, 13), grey);
    EXPECT_NE(group.pixel(13, 14), grey);

    // A wall of the group (level 1: x = 8) lays its pattern along side 1.
    const QImage& side = *static_cast<TWall*>(project.Walls->Element(2))->DirectionPictures[0][1];
    const QImage wall = browser.NodePicture(Node("Iron door"), 200, false);
    int checked = 0;
    for (int q = 0; q < 11; ++q)
        if (side.pixel(0, q) != TCanvas::KeyRgb) {
            EXPECT_EQ(wall.pixel(8 - 2 + 12, 2 + q), side.pixel(0, q)) << q;
            ++checked;
        }
    EXPECT_GT(checked, 0);

    browser.SelectKind(6);
    const QImage leaf = browser.NodePicture(Node("Skeleton"), 200, false);
    for (int x = 7; x <= 11; ++x)
        EXPECT_EQ(leaf.pixel(x, 8), grey) << x; // the connector
    EXPECT_NE(leaf.pixel(6, 8), grey);
    EXPECT_NE(leaf.pixel(12, 8), grey);

    browser.SelectKind(1);
    browser.SelectByName("Portcullis");
    tree.resize(240, 260);
    tree.expandAll();
    tree.show();
    const QImage shot = tree.grab().toImage();
    tree.hide();
    EXPECT_FALSE(shot.isNull());
    shot.save(QString::fromStdString((fs::path(KESTRUNE_BUILD_DIR) / "tests" / "browser.png").string()));
}

} // namespace
} // namespace kestrune::test
