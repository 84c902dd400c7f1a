// Region editing in the editor on the sample game: fill, delete, cut and
// paste through the clipboard, a move by dragging in select mode, refusals
// that change nothing; each one step that undoes to the exact project.

#include "app/toolcommands.h"
#include "mapedit/history.h"
#include "mapedit/mapview.h"
#include "mapedit/regionedit.h"
#include "model/map.h"
#include "shell/editorwindows.h"
#include "shell/mainwindow.h"
#include "shell_test_util.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <sstream>

namespace kestrune::test {
namespace {

class Regions : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "game", install.Path(), fs::copy_options::recursive);
        windows.CreateAll();
        TForm1& main = *windows.Main;
        main.DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
        main.Arguments = {(install.Path() / "demo.game").string()};
        ASSERT_TRUE(main.FormShow()) << (dialogs.Errors.empty() ? "" : dialogs.Errors[0]);
        dialogs.Errors.clear();
        main.SelectKind(2);
        map = main.Proj().Maps->MapAt(0);
        main.Browser().ShowMap(map);
    }
    TForm1& Main() { return *windows.Main; }
    TRegionEdit& Edit() { return windows.Main->RegionEdit(); }
    QUndoStack& Stack() { return windows.Main->History().Stack(); }
    std::string Dump()
    {
        std::ostringstream out;
        DumpProject(Main().Proj(), out);
        return out.str();
    }
    std::string Status() { return Main().StatusText()->text().toStdString(); }
    // The step was one step of that name, and undo and redo give back both dumps exactly.
    void ExpectOneStep(const std::string& before, int steps, const std::string& name)
    {
        ASSERT_EQ(Stack().count(), steps + 1);
        EXPECT_EQ(Stack().text(steps).toStdString(), name);
        const std::string after = Dump();
        EXPECT_NE(after, before);
        Stack().undo();
        EXPECT_EQ(Dump(), before) << name;
        Stack().redo();
        EXPECT_EQ(Dump(), after) << name;
    }

    OwnSettings settings;
    TempDir install;
    ScriptedDialogs dialogs;
    TEditorWindows windows{dialogs};
    TMap* map = nullptr;
};

TEST_F(Regions, FillAndDeleteAreOneStepEachAndUndoExactly)
{
    ASSERT_GE(map->SizeX, 6);
    Main().SelectByIndex(1);
    Edit().Select(TRegionRect::Spanning(1, 1, 4, 3));
    std::string before = Dump();
    int steps = Stack().count();
    ASSERT_TRUE(Edit().Fill());
    for (int x = 1; x <= 4; ++x)
        for (int y = 1; y <= 3; ++y)
            EXPECT_EQ(map->Cell(x, y).Floor(), 2);
    ExpectOneStep(before, steps, "Fill region");

    // Delete takes everything the cells hold: slots, keyed entries, placements.
    map->Events->Add(std::make_unique<TPar>("onEnter[2,2,1]", "Message(1);"));
    map->AddItem(static_cast<TItemDef*>(Main().Proj().ItemDefs->Element(0)), 3, 2);
    map->AddMonster(static_cast<TMonsterDef*>(Main().Proj().MonsterDefs->Element(0)), 1, 3);
    before = Dump();
    steps = Stack().count();
    ASSERT_TRUE(Edit().Delete());
    EXPECT_EQ(map->Events->GetValue("onEnter[2,2,1]"), "");
    EXPECT_EQ(map->Cell(3, 2).ItemCount, 0);
    for (int slot = 0; slot < 8; ++slot)
        EXPECT_EQ(map->Cell(2, 2).Slot(slot), 0);
    ExpectOneStep(before, steps, "Delete region");
}

TEST_F(Regions, CutPasteAndMoveThroughTheClipboardAcrossMaps)
{
    map->Cell(0, 0).Wall(2) = 1;
    map->Params->Add(std::make_unique<TPar>("light[0,0,2]", "T"));
    map->AddItem(static_cast<TItemDef*>(Main().Proj().ItemDefs->Element(0)), 1, 0);
    Edit().Select({0, 0, 1, 1});
    std::string before = Dump();
    int steps = Stack().count();
    ASSERT_TRUE(Edit().Cut());
    EXPECT_EQ(map->Cell(0, 0).Wall(2), 0);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat(QString::fromLatin1(TRegion::MimeType)));
    EXPECT_NE(data->text().toStdString().find("parameter light[0,0,2] = T"), std::string::npos);
    ExpectOneStep(before, steps, "Cut region");

    // Into another map, its top-left corner at the cursor; the corner of
    // that map cuts the region, and the status bar says so.
    TMap* other = Main().Proj().Maps->MapAt(1);
    Main().Browser().ShowMap(other);
    other->SelX = other->SizeX - 1;
    other->SelY = 1;
    before = Dump();
    steps = Stack().count();
    ASSERT_TRUE(Edit().Paste());
    EXPECT_EQ(other->Cell(other->SizeX - 1, 0).Wall(2), 1);
    EXPECT_EQ(other->Params->GetValue("light[" + std::to_string(other->SizeX - 1) + ",0,2]"), "T");
    EXPECT_NE(Status().find("2 cells fall outside the map and were left out (with "), std::string::npos) << Status();
    ExpectOneStep(before, steps, "Paste region");

    // A drag inside the selection in select mode moves it, one step.
    Edit().SetSelectMode(true);
    Edit().Select({other->SizeX - 1, 0, other->SizeX - 1, 1});
    const int c = 13 * Main().Zoom();
    auto pixel = [&](int x, int y) { return QPoint(x * c + c / 2, (other->SizeY - 1 - y) * c + c / 2); };
    TMapView* view = Main().MapView();
    const QPoint from = pixel(other->SizeX - 1, 0), to = pixel(other->SizeX - 3, 2);
    before = Dump();
    steps = Stack().count();
    view->OnPress(from.x(), from.y(), Qt::LeftButton);
    view->OnMove(to.x(), to.y(), Qt::LeftButton);
    view->OnRelease();
    EXPECT_EQ(other->Cell(other->SizeX - 3, 2).Wall(2), 1);
    EXPECT_EQ(other->Cell(other->SizeX - 1, 0).Wall(2), 0);
    EXPECT_EQ(Edit().Selection(), (TRegionRect{other->SizeX - 3, 2, other->SizeX - 3, 3}));
    ExpectOneStep(before, steps, "Move region");
}

TEST_F(Regions, PastesTheProjectCannotTakeAreRefusedUnchanged)
{
    TRegion region;
    region.Width = region.Height = 1;
    region.Cells.assign(1, {});
    region.Cells[0][0] = 1;
    region.Names[0] = {"Glass wall"};
    region.Items.push_back({"Golden idol", 0, 0, 0, 0, {{"itemDef", "Golden idol"}}, {}});
    const std::string before = Dump();
    const int steps = Stack().count();
    EXPECT_FALSE(Edit().PasteAt(region, 0, 0));
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "The region cannot be pasted: this project lacks Wall Glass wall, Item Golden idol.");

    // Garbage under the region's own type: a message, nothing changed.
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(TRegion::MimeType), QByteArray("KRGN\x01garbage"));
    QGuiApplication::clipboard()->setMimeData(data);
    EXPECT_FALSE(Edit().Paste());
    ASSERT_EQ(dialogs.Errors.size(), 2u);
    EXPECT_EQ(dialogs.Errors[1], "The map region on the clipboard is damaged.");
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(Stack().count(), steps);
}

} // namespace
} // namespace kestrune::test
