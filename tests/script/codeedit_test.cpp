// The code editor through its operations: opening, storing, renaming and
// removing entries, the property-table row of an entry, names, the wheel.

#include "script/codeedit.h"

#include "controls/settings.h"
#include "core/parlist.h"
#include "core/proptable.h"
#include "model/map.h"
#include "model/project.h"
#include "params/paramedit.h"
#include "script/completion.h"
#include "script/sourceedit.h"
#include "shell/shell_test_util.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace kestrune {
namespace {

using test::ScriptedDialogs;

class CodeEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        map = std::make_unique<TMap>("Cellar", nullptr, 10, 10);
        events = map->Events.get();
        editor.SetDialogs(&dialogs);
        editor.SetProject(&project);
        editor.AskNewName = [this](const TLoadSaveList& list, const std::string& label,
                                   const std::string& initial) -> std::optional<std::string> {
            asked.push_back(label + "|" + initial);
            if (names.empty())
                return std::nullopt;
            std::string name = names.front();
            names.erase(names.begin());
            if (name.empty() || list.IndexOfName(name) >= 0)
                return std::nullopt;
            return name;
        };
        // The grid shows the map's events, unfiltered.
        editor.Session().ShownEvents = events;
        editor.OnModified = [this] { ++modified; };
    }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < editor.EntryList()->count(); ++i)
            out.push_back(editor.EntryList()->item(i)->text().toStdString());
        return out;
    }

    ScriptedDialogs dialogs;
    Project project;
    std::unique_ptr<TMap> map;
    TParList* events = nullptr;
    TfrmCodeEdit editor;
    std::vector<std::string> names;   // answers of the naming dialog
    std::vector<std::string> asked;   // label|initial of each question
    int modified = 0;
};

TEST_F(CodeEditTest, OpeningShowsTheEntryAndAddsAnAbsentOne)
{
    events->SetValue("onUse", "use();\r\nend();");
    events->SetValue("onEnter", "enter();");

    // No name: the first entry.
    EXPECT_EQ(editor.OpenList(map.get(), events, {}), "use();\r\nend();");
    EXPECT_EQ(editor.CurrentEntry(), "onUse");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"onUse", "onEnter"}));
    EXPECT_FALSE(editor.Editor()->CanUndo());

    // Asked for in other letter case: shown and stored under the stored name.
    EXPECT_EQ(editor.OpenList(map.get(), events, "ONENTER"), "enter();");
    EXPECT_EQ(editor.CurrentEntry(), "onEnter");
    editor.Editor()->SetText("changed();");
    editor.SaveCurrent();
    EXPECT_EQ(events->GetValue("onEnter"), "changed();");
    EXPECT_EQ(events->Count(), 2);

    // An absent event is added with an empty text and stays when left empty.
    EXPECT_EQ(editor.OpenEvent(map.get(), "onLeave[3,7]"), "");
    EXPECT_EQ(events->IndexOfName("onLeave[3,7]"), 2);
    EXPECT_EQ(editor.CurrentEntry(), "onLeave[3,7]");
    editor.SaveCurrent();
    EXPECT_EQ(events->Count(), 3);
    EXPECT_EQ(events->GetValue("onLeave[3,7]"), "");
}

TEST_F(CodeEditTest, SavingKeepsBytesAndSkipsBlankTextForAMissingEntry)
{
    events->SetValue("onUse", "a");
    editor.OpenList(map.get(), events, "onUse");
    const std::string text = "if (x) {\r\n  say('\xe9t\xe9');\r\n}\r\n";
    editor.Editor()->SetText(text);
    editor.SaveCurrent();
    EXPECT_EQ(events->GetValue("onUse"), text);

    // The entry went away behind the editor's back: blank text adds nothing,
    // other text comes back as a new entry.
    events->Clear();
    editor.Editor()->SetText(" \r\n\t");
    editor.SaveCurrent();
    EXPECT_EQ(events->Count(), 0);
    editor.Editor()->SetText("x");
    editor.SaveCurrent();
    EXPECT_EQ(events->GetValue("onUse"), "x");

    // Without a list nothing is stored anywhere.
    editor.Detach();
    editor.Editor()->SetText("lost");
    editor.SaveCurrent();
    EXPECT_EQ(events->GetValue("onUse"), "x");
}

TEST_F(CodeEditTest, RowNamesFollowTheCellFilter)
{
    TPropertyTable table;
    events->SetValue("onEnter", "");
    editor.OpenList(map.get(), events, "onEnter");
    // No table link: no row.
    EXPECT_EQ(editor.RowNameOf("onEnter"), "");
    editor.SetTableLink(&table);
    EXPECT_EQ(editor.RowNameOf("onEnter"), "onEnter");
    EXPECT_EQ(editor.RowNameOf("onEnter[3,7]"), "");
    editor.Session().ShownKey = "[3,7]";
    EXPECT_EQ(editor.RowNameOf("onEnter[3,7]"), "onEnter");
    EXPECT_EQ(editor.RowNameOf("onEnter[4,7]"), "");
    EXPECT_EQ(editor.RowNameOf("onEnter"), "");

    // Key words are no events list: no row.
    TEventList keywords("1NPCDef");
    keywords.SetValue("hello", "hi");
    editor.OpenList(map.get(), &keywords, {});
    editor.Session().ShownKey.clear();
    EXPECT_EQ(editor.RowNameOf("hello"), "");

    // While the grid shows another element's events, the table is not this list's.
    editor.OpenList(map.get(), events, "onEnter");
    EXPECT_EQ(editor.RowNameOf("onEnter"), "onEnter");
    TMap other("Other", nullptr, 2, 2);
    editor.Session().ShownEvents = other.Events.get();
    EXPECT_EQ(editor.RowNameOf("onEnter"), "");
}

TEST_F(CodeEditTest, SavingWritesTheTextIntoTheLinkedTableRow)
{
    TPropertyTable table;
    table.AppendRow("onUse", "old");
    table.AppendRow("other", "o");
    table.First();
    events->SetValue("onUse", "old");
    editor.OpenList(map.get(), events, "onUse");
    editor.SetTableLink(&table);

    editor.Editor()->SetText("new");
    editor.SaveCurrent();
    EXPECT_EQ(table.Rows()[0].value, "new");
    EXPECT_EQ(table.CurrentIndex(), 0);
    EXPECT_FALSE(table.Modified());

    // An entry without a row gets one; the table returns to its row.
    table.Last();
    editor.OpenEvent(map.get(), "onLeave");
    editor.Editor()->SetText("leave();");
    editor.SaveCurrent();
    ASSERT_EQ(table.TotalCount(), 3);
    EXPECT_EQ(table.Rows()[2].name, "onLeave");
    EXPECT_EQ(table.Rows()[2].value, "leave();");
    EXPECT_EQ(table.CurrentIndex(), 1);
}

TEST_F(CodeEditTest, RenamingAndRemovingEntries)
{
    TPropertyTable table;
    table.AppendRow("onUse", "text");
    events->SetValue("onUse", "text");
    editor.OpenList(map.get(), events, {});
    editor.SetTableLink(&table);

    // Renaming the only entry keeps its text; the old row is left empty.
    names = {"onTouch"};
    editor.RenameEntry();
    EXPECT_EQ(asked.back(), "map event|onUse");
    EXPECT_EQ(events->Count(), 1);
    EXPECT_EQ(events->GetValue("onTouch"), "text");
    EXPECT_EQ(editor.CurrentEntry(), "onTouch");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"onTouch"}));
    ASSERT_EQ(table.TotalCount(), 2);
    EXPECT_EQ(table.Rows()[0].value, "");
    EXPECT_EQ(table.Rows()[1].name, "onTouch");
    EXPECT_EQ(table.Rows()[1].value, "text");

    // A drop onto a taken key is refused: never two entries of one name.
    events->SetValue("onEnter[2,3]", "e");
    EXPECT_FALSE(editor.RenameCurrent("ONENTER[2,3]"));
    EXPECT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(events->GetValue("onTouch"), "text");
    EXPECT_EQ(events->Count(), 2);

    // Adding: the naming dialog on the list; the new entry is shown empty.
    names = {"onLeave"};
    editor.AddEntry();
    EXPECT_EQ(editor.CurrentEntry(), "onLeave");
    EXPECT_EQ(events->Count(), 3);

    // Removing asks; No keeps, Yes removes and shows the first entry.
    dialogs.ConfirmAnswers = {false, true};
    editor.RemoveEntry();
    EXPECT_EQ(events->Count(), 3);
    EXPECT_EQ(dialogs.Confirmations.back(), "Are you sure, that you want to remove this code?");
    editor.RemoveEntry();
    EXPECT_EQ(events->IndexOfName("onLeave"), -1);
    EXPECT_EQ(editor.CurrentEntry(), "onTouch");
    EXPECT_EQ(editor.Editor()->Text(), "text");

    // Removing the last entries leaves nothing current and an empty text.
    dialogs.ConfirmAnswers = {true, true};
    editor.RemoveEntry();
    editor.RemoveEntry();
    EXPECT_EQ(events->Count(), 0);
    EXPECT_EQ(editor.CurrentEntry(), "");
    EXPECT_EQ(editor.EntryList()->count(), 0);
    EXPECT_EQ(editor.Editor()->Text(), "");
    EXPECT_GT(modified, 0);

    // Without a list the entry commands do nothing.
    editor.Detach();
    names = {"x"};
    editor.AddEntry();
    EXPECT_EQ(events->Count(), 0);
}

TEST_F(CodeEditTest, WheelStepsThroughTheEntries)
{
    events->SetValue("a", "1");
    events->SetValue("b", "2");
    events->SetValue("c", "3");
    editor.OpenList(map.get(), events, {});
    editor.WheelStep(-1);
    EXPECT_EQ(editor.CurrentEntry(), "b");
    EXPECT_EQ(editor.Editor()->Text(), "2");
    editor.WheelStep(-1);
    editor.WheelStep(-1);
    EXPECT_EQ(editor.CurrentEntry(), "c");
    EXPECT_EQ(editor.EntryList()->currentRow(), 2);
    editor.WheelStep(1);
    editor.WheelStep(1);
    editor.WheelStep(1);
    EXPECT_EQ(editor.CurrentEntry(), "a");
}

TEST_F(CodeEditTest, ConvertingTextToNames)
{
    project.ProjectNames = std::make_unique<TParList>("names");
    project.SharedNames = std::make_unique<TParList>("names");
    project.SharedNames->SetValue("Zeta", "z");
    events->SetValue("onUse", "say('Hello', 42);");
    editor.OpenList(map.get(), events, {});

    // The caret just after the closing apostrophe of 'Hello'.
    editor.Editor()->SetSelStart(11);
    names = {"Greeting"};
    editor.ConvertTextToName();
    EXPECT_EQ(asked.back(), "name|");
    EXPECT_EQ(project.ProjectNames->GetValue("Greeting"), "Hello");
    EXPECT_EQ(editor.Editor()->Text(), "say(@Greeting, 42);");
    EXPECT_EQ(editor.NameChoices(), (std::vector<std::string>{"@Greeting", "@Zeta"}));

    // On the number 42.
    editor.Editor()->SetSelStart(17);
    names = {"Answer"};
    editor.ConvertTextToName();
    EXPECT_EQ(project.ProjectNames->GetValue("Answer"), "42");
    EXPECT_EQ(editor.Editor()->Text(), "say(@Greeting, @Answer);");

    // A refused name leaves the token selected and everything else alone.
    editor.Editor()->SetSelStart(3);
    names = {""};
    editor.ConvertTextToName();
    EXPECT_EQ(editor.Editor()->Text(), "say(@Greeting, @Answer);");
    EXPECT_GT(editor.Editor()->SelLength(), 0);

    // Nothing while text is selected, nor without a project names list.
    const size_t questions = asked.size();
    editor.ConvertTextToName();
    EXPECT_EQ(asked.size(), questions);
    project.DataEditMode = true;
    editor.Editor()->SetSelStart(3);
    editor.ConvertTextToName();
    EXPECT_EQ(asked.size(), questions);
}

TEST_F(CodeEditTest, NamesEditorOpensAtTheNameAtTheCaret)
{
    project.ProjectNames = std::make_unique<TParList>("names");
    project.ProjectNames->SetValue("Door", "the door");
    project.ProjectNames->SetValue("Key", "a key");
    TfrmParamEdit paramEdit(dialogs);
    editor.SetParamEdit(&paramEdit);
    events->SetValue("onUse", "open(@Key)");
    editor.OpenList(map.get(), events, {});
    editor.Editor()->SetSelStart(9);

    std::string current, caption;
    QTimer::singleShot(0, &paramEdit, [&] {
        current = paramEdit.Table().Name();
        caption = paramEdit.windowTitle().toStdString();
        paramEdit.CloseWindow();
    });
    editor.ShowNamesEditor();
    EXPECT_EQ(current, "Key");
    EXPECT_EQ(caption, "Names list");
    EXPECT_EQ(modified, 0); // nothing changed
    EXPECT_EQ(editor.NameChoices(), (std::vector<std::string>{"@Door", "@Key"}));
}

TEST_F(CodeEditTest, ANameOfBothListsIsOfferedOnce)
{
    project.SharedNames = std::make_unique<TParList>("names");
    project.SharedNames->SetValue("gold", "gold");
    project.SharedNames->SetValue("hero1", "Aldric");
    project.SharedNames->SetValue("turn", "turn");
    project.ProjectNames = std::make_unique<TParList>("names");
    project.ProjectNames->SetValue("Gold", "crowns");
    project.ProjectNames->SetValue("hero1", "Wenna");
    project.ProjectNames->SetValue("key", "a key");
    editor.RefreshNames(project);
    // the project's spelling stands for the shared name it repeats
    const std::vector<std::string> once{"@Gold", "@hero1", "@key", "@turn"};
    EXPECT_EQ(editor.NameChoices(), once);
    editor.Completion()->FillCompletion("@", kDefaultContext);
    EXPECT_EQ(editor.Completion()->RowTexts(), once);
}

TEST_F(CodeEditTest, CutAllHelpWordAndHistoryButtons)
{
    events->SetValue("onUse", "line1\r\nmonster_at(2)");
    editor.OpenList(map.get(), events, {});
    EXPECT_FALSE(editor.UndoAction()->isEnabled());

    editor.Editor()->SetSelStart(12);
    EXPECT_EQ(editor.WordAtCaret(), "monster_at");

    editor.CutAll();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "line1\r\nmonster_at(2)");
    EXPECT_EQ(editor.Editor()->Text(), "");
    EXPECT_TRUE(editor.UndoAction()->isEnabled());
    EXPECT_FALSE(editor.RedoAction()->isEnabled());
    editor.UndoAction()->trigger();
    EXPECT_EQ(editor.Editor()->Text(), "line1\r\nmonster_at(2)");
    EXPECT_TRUE(editor.RedoAction()->isEnabled());
}

TEST_F(CodeEditTest, GeometryValuesDefaultAndComeBack)
{
    auto settings = TSettings::OpenSettings();
    settings->WriteString("qv5editor\\codeEdit", "width", "wide");
    settings->WriteInteger("qv5editor\\codeEdit", "height", 300);
    editor.ReadSettings(*settings);
    EXPECT_EQ(editor.HostGeometry(), QRect(10, 10, 789, 300));
    editor.WriteSettings(*settings);
    EXPECT_EQ(settings->ReadInteger("qv5editor\\codeEdit", "width", 0), 789);
    EXPECT_EQ(settings->ReadInteger("qv5editor\\codeEdit", "top", 0), 10);
}

} // namespace
} // namespace kestrune

namespace kestrune {
namespace {

TEST_F(CodeEditTest, TheWheelOverTheFocusedPaneStepsThroughEntries)
{
    events->SetValue("a", "1");
    events->SetValue("b", "2");
    editor.OpenList(map.get(), events, {});
    editor.show();
    QApplication::setActiveWindow(&editor);
    editor.FocusText();
    if (!editor.PaneHasFocus())
        GTEST_SKIP() << "no keyboard focus on this platform";
    QWheelEvent towards(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
    QApplication::sendEvent(editor.Editor()->viewport(), &towards);
    EXPECT_EQ(editor.CurrentEntry(), "b");
    QWheelEvent away(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(editor.EntryList()->viewport(), &away);
    EXPECT_EQ(editor.CurrentEntry(), "a");
    editor.hide();
}

} // namespace
} // namespace kestrune
