// The parameters editor driven through its methods: filling and writing
// back the list, posting with its sort and its refusal of empty names,
// removing, closing, and the geometry kept per caption.

#include "params/paramedit.h"

#include "controls/datagrid.h"
#include "core/parlist.h"
#include "controls/settings.h"
#include "shell/shell_test_util.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include <utility>
#include <vector>

namespace kestrune {
namespace {

using test::OwnSettings;
using test::ScriptedDialogs;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Entries(const TParList& list)
{
    Pairs out;
    for (int i = 0; i < list.Count(); ++i)
        out.emplace_back(list.Par(i)->Name, list.Par(i)->Value);
    return out;
}

Pairs Rows(const TPropertyTable& table)
{
    Pairs out;
    for (const TPropertyRow& r : table.Rows())
        out.emplace_back(r.name, r.value);
    return out;
}

// Presses and releases one key per character, as the keyboard would.
void TypeKeys(QWidget* box, const QString& keys)
{
    for (const QChar c : keys) {
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &release);
    }
}

int Caret(const QPlainTextEdit* box) { return box->textCursor().position(); }

void PutCaret(QPlainTextEdit* box, int at)
{
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(at);
    box->setTextCursor(cursor);
}

class ParamEditTest : public ::testing::Test {
protected:
    ParamEditTest() : list("game"), form(dialogs)
    {
        list.SetValue("startMap", "level1");
        list.SetValue("Gold", "100");
        list.SetValue("title", "The Keep");
        list.SetValue("lives", "3");
    }
    OwnSettings settings;
    ScriptedDialogs dialogs;
    TParList list;
    TfrmParamEdit form;
};

// ---------------------------------------------------------------- the window

TEST_F(ParamEditTest, WindowLayoutAndButtonStates)
{
    EXPECT_EQ(form.windowTitle().toStdString(), "Parameters editor");
    EXPECT_EQ(form.AddAction->text().toStdString(), "Add");
    EXPECT_EQ(form.RemoveAction->text().toStdString(), "Remove");
    EXPECT_EQ(form.RenameAction->text().toStdString(), "Rename");
    EXPECT_EQ(form.CloseAction->text().toStdString(), "Close");
    EXPECT_EQ(form.CloseAction->toolTip().toStdString(), "Close");
    EXPECT_FALSE(form.RenameAction->isVisible());
    EXPECT_TRUE(form.Grid->ReadOnly());
    EXPECT_EQ(form.Grid->Table(), &form.Table());
    EXPECT_EQ(form.PanelHeight(), TfrmParamEdit::DesignPanelHeight);

    form.BeginEdit(&list, "Game parameters");
    EXPECT_EQ(form.windowTitle().toStdString(), "Game parameters");
    EXPECT_FALSE(form.ConfirmButton->isEnabled());
    EXPECT_FALSE(form.CancelButton->isEnabled());
    form.TypeValue("5");
    EXPECT_TRUE(form.ConfirmButton->isEnabled());
    EXPECT_TRUE(form.CancelButton->isEnabled());
    form.ConfirmRow();
    EXPECT_FALSE(form.ConfirmButton->isEnabled());
    form.Add();
    EXPECT_EQ(form.Table().GetState(), TPropertyTable::State::Insert);
    EXPECT_TRUE(form.CancelButton->isEnabled());
}

TEST_F(ParamEditTest, BoxesFollowTheCurrentRowAndWriteIntoIt)
{
    form.BeginEdit(&list, "Game parameters", "title");
    EXPECT_EQ(form.NameEdit->text().toStdString(), "title");
    EXPECT_EQ(form.ValueEdit->toPlainText().toStdString(), "The Keep");

    // Typing in the boxes edits the row; lines come back with CR LF.
    form.ValueEdit->setPlainText(QStringLiteral("line one\nline two"));
    EXPECT_EQ(form.Table().GetState(), TPropertyTable::State::Edit);
    form.NameEdit->setText(QStringLiteral("motto"));
    emit form.NameEdit->textEdited(form.NameEdit->text());
    ASSERT_TRUE(form.ConfirmRow());
    form.FinishEdit();
    EXPECT_EQ(list.GetValue("motto"), "line one\r\nline two");
    EXPECT_EQ(list.GetValue("title"), "");

    // Bytes above 0x7F survive the boxes.
    form.BeginEdit(&list, "Game parameters", "motto");
    form.ValueEdit->setPlainText(QString::fromLatin1("caf\xe9 \xa0 end"));
    form.FinishEdit();
    EXPECT_EQ(list.GetValue("motto"), "caf\xe9 \xa0 end");
}

TEST_F(ParamEditTest, TypedKeysStayAsTypedWithTheCaretAfterThem)
{
    // Into an empty table: the first key starts a new row.
    TParList empty("game");
    form.BeginEdit(&empty, "Game parameters");
    TypeKeys(form.ValueEdit, QStringLiteral("abc 123"));
    EXPECT_EQ(form.ValueEdit->toPlainText().toStdString(), "abc 123");
    EXPECT_EQ(Caret(form.ValueEdit), 7);
    EXPECT_EQ(form.Table().GetState(), TPropertyTable::State::Insert);
    EXPECT_EQ(form.Table().Value(), "abc 123");
    TypeKeys(form.NameEdit, QStringLiteral("note"));
    // A character without a Latin-1 byte shows as the byte that was stored.
    TypeKeys(form.NameEdit, QString(QChar(0x20AC)));
    EXPECT_EQ(form.NameEdit->text().toStdString(), "note?");
    EXPECT_EQ(form.NameEdit->cursorPosition(), 5);
    ASSERT_TRUE(form.ConfirmRow());
    EXPECT_EQ(Rows(form.Table()), (Pairs{{"note?", "abc 123"}}));
    form.FinishEdit();

    // Into the empty value of a posted row: the first key starts editing it.
    form.BeginEdit(&list, "Game parameters");
    form.Add();
    TypeKeys(form.NameEdit, QStringLiteral("speed"));
    ASSERT_TRUE(form.ConfirmRow());
    ASSERT_EQ(form.Table().Name(), "speed");
    TypeKeys(form.ValueEdit, QStringLiteral("75"));
    EXPECT_EQ(form.ValueEdit->toPlainText().toStdString(), "75");
    EXPECT_EQ(Caret(form.ValueEdit), 2);
    EXPECT_EQ(form.Table().GetState(), TPropertyTable::State::Edit);
    EXPECT_EQ(form.Table().Value(), "75");
    ASSERT_TRUE(form.ConfirmRow());

    // In the middle of an existing value and name.
    ASSERT_TRUE(form.Table().Locate(TPropertyTable::Field::Name, "title"));
    PutCaret(form.ValueEdit, 4);
    TypeKeys(form.ValueEdit, QStringLiteral("Old "));
    EXPECT_EQ(form.ValueEdit->toPlainText().toStdString(), "The Old Keep");
    EXPECT_EQ(Caret(form.ValueEdit), 8);
    EXPECT_EQ(form.Table().Value(), "The Old Keep");
    form.NameEdit->setCursorPosition(1);
    TypeKeys(form.NameEdit, QStringLiteral("op"));
    EXPECT_EQ(form.NameEdit->text().toStdString(), "topitle");
    EXPECT_EQ(form.NameEdit->cursorPosition(), 3);
    EXPECT_EQ(form.Table().Name(), "topitle");
    form.CancelRow();
    EXPECT_EQ(form.NameEdit->text().toStdString(), "title");
    EXPECT_EQ(form.ValueEdit->toPlainText().toStdString(), "The Keep");

    ASSERT_TRUE(form.Table().Locate(TPropertyTable::Field::Name, "startMap"));
    form.NameEdit->setCursorPosition(5);
    TypeKeys(form.NameEdit, QStringLiteral("Up"));
    EXPECT_EQ(form.NameEdit->text().toStdString(), "startUpMap");
    EXPECT_EQ(form.NameEdit->cursorPosition(), 7);
    form.FinishEdit();
    EXPECT_EQ(Entries(list), (Pairs{{"Gold", "100"},
                                    {"lives", "3"},
                                    {"speed", "75"},
                                    {"startUpMap", "level1"},
                                    {"title", "The Keep"}}));
}

// ---------------------------------------------------------------- filling and writing back

TEST_F(ParamEditTest, FillsInNameOrderAndPositions)
{
    form.BeginEdit(&list, "Game parameters");
    EXPECT_EQ(Rows(form.Table()),
              (Pairs{{"Gold", "100"}, {"lives", "3"}, {"startMap", "level1"}, {"title", "The Keep"}}));
    EXPECT_EQ(form.Table().Name(), "Gold");

    form.BeginEdit(&list, "Names list", "startMap");
    EXPECT_EQ(form.Table().Name(), "startMap");
    // Positioning compares with case; unknown names leave the first row.
    form.BeginEdit(&list, "Names list", "STARTMAP");
    EXPECT_EQ(form.Table().Name(), "Gold");
    form.BeginEdit(&list, "Names list", "nowhere");
    EXPECT_EQ(form.Table().Name(), "Gold");
}

TEST_F(ParamEditTest, OpenedAndClosedUnchangedComesBackInNameOrder)
{
    form.BeginEdit(&list, "Game parameters");
    form.FinishEdit();
    EXPECT_EQ(Entries(list),
              (Pairs{{"Gold", "100"}, {"lives", "3"}, {"startMap", "level1"}, {"title", "The Keep"}}));
    EXPECT_EQ(form.List(), nullptr);
}

TEST_F(ParamEditTest, LongNamesAndValuesAreKeptWhole)
{
    const std::string name(70, 'n');
    const std::string value(9000, 'v');
    list.SetValue(name, value);
    form.BeginEdit(&list, "Game parameters", name);
    EXPECT_EQ(form.Table().Name(), name);
    form.FinishEdit();
    EXPECT_EQ(list.GetValue(name), value);
}

TEST_F(ParamEditTest, EmptiedValueRemovesTheParameter)
{
    form.BeginEdit(&list, "Game parameters", "lives");
    form.TypeValue("");
    form.ConfirmRow();
    EXPECT_EQ(form.Table().TotalCount(), 4); // still shown until the window closes
    form.FinishEdit();
    EXPECT_EQ(list.IndexOfName("lives"), -1);
    EXPECT_EQ(list.Count(), 3);
}

TEST_F(ParamEditTest, NamesDifferingInCaseLeaveOneEntryWithTheLaterValue)
{
    form.BeginEdit(&list, "Game parameters");
    form.Add();
    form.TypeName("GOLD");
    form.TypeValue("999");
    ASSERT_TRUE(form.ConfirmRow());
    const Pairs rows = Rows(form.Table());
    std::string later;
    for (const auto& r : rows)
        if (r.first == "Gold" || r.first == "GOLD")
            later = r.second;
    form.FinishEdit();
    EXPECT_EQ(list.Count(), 4);
    const int i = list.IndexOfName("gold");
    ASSERT_GE(i, 0);
    EXPECT_EQ(list.Par(i)->Value, later);
}

TEST_F(ParamEditTest, ReopeningRefillsAndKeepsTheRememberedRowName)
{
    RememberedRowName() = "grid row";
    form.BeginEdit(&list, "Game parameters", "lives");
    form.TypeValue("7"); // left pending on purpose
    form.FinishEdit();
    TParList other("map");
    other.SetValue("[1,2]", "x");
    form.BeginEdit(&other, "All level parameters");
    EXPECT_EQ(Rows(form.Table()), (Pairs{{"[1,2]", "x"}}));
    EXPECT_EQ(form.Table().GetState(), TPropertyTable::State::Browse);
    form.FinishEdit();
    EXPECT_EQ(list.GetValue("lives"), "7");
    EXPECT_EQ(RememberedRowName(), "grid row");
}

// ---------------------------------------------------------------- posting

TEST_F(ParamEditTest, PostedRowIsSortedIntoPlaceAndStaysCurrent)
{
    form.BeginEdit(&list, "Game parameters", "title");
    form.TypeName("Armour");
    ASSERT_TRUE(form.ConfirmRow());
    EXPECT_EQ(form.Table().Name(), "Armour");
    EXPECT_EQ(form.Table().CurrentIndex(), 0);
    EXPECT_EQ(form.Table().Rows()[0].value, "The Keep");
    EXPECT_EQ(form.Grid->CurrentRow(), 0);

    form.Add();
    form.TypeName("m");
    form.TypeValue("1");
    ASSERT_TRUE(form.ConfirmRow());
    EXPECT_EQ(Rows(form.Table()),
              (Pairs{{"Armour", "The Keep"}, {"Gold", "100"}, {"lives", "3"}, {"m", "1"}, {"startMap", "level1"}}));
    EXPECT_EQ(form.Table().Name(), "m");
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(ParamEditTest, AddInsertsAtTheCurrentRowAndPostingSortsItIn)
{
    form.BeginEdit(&list, "Game parameters", "startMap");
    form.Add();
    // Shown in front of the row that was current, as the current row.
    EXPECT_EQ(form.Table().InsertIndex(), 2);
    ASSERT_EQ(form.Grid->RowCount(), 5);
    EXPECT_EQ(form.Grid->CurrentRow(), 2);
    EXPECT_EQ(form.Grid->RowAt(3)->name, "startMap");
    form.TypeName("zone");
    form.TypeValue("9");
    EXPECT_EQ(form.Grid->RowAt(2)->name, "zone");
    ASSERT_TRUE(form.ConfirmRow());
    EXPECT_EQ(Rows(form.Table()), (Pairs{{"Gold", "100"},
                                         {"lives", "3"},
                                         {"startMap", "level1"},
                                         {"title", "The Keep"},
                                         {"zone", "9"}}));
    EXPECT_EQ(form.Table().CurrentIndex(), 4);
    EXPECT_EQ(form.Grid->CurrentRow(), 4);

    // An added row left without a name goes, and the row it stood before is current again.
    ASSERT_TRUE(form.Table().Locate(TPropertyTable::Field::Name, "lives"));
    form.Add();
    form.ConfirmRow();
    EXPECT_EQ(dialogs.Errors, (std::vector<std::string>{"Field name must have a value!"}));
    EXPECT_EQ(form.Table().Name(), "lives");
    form.FinishEdit();
    EXPECT_EQ(Entries(list), (Pairs{{"Gold", "100"},
                                    {"lives", "3"},
                                    {"startMap", "level1"},
                                    {"title", "The Keep"},
                                    {"zone", "9"}}));
}

TEST_F(ParamEditTest, EmptyNameIsRefusedAndTheRowRemoved)
{
    form.BeginEdit(&list, "Game parameters");
    // "Add" then "Close" without a name.
    form.Add();
    form.TypeValue("orphan");
    form.CloseWindow();
    EXPECT_EQ(dialogs.Errors, (std::vector<std::string>{"Field name must have a value!"}));
    EXPECT_EQ(form.Table().TotalCount(), 4);
    form.FinishEdit();
    EXPECT_EQ(list.Count(), 4);

    // Clearing an existing row's name removes that row only.
    form.BeginEdit(&list, "Game parameters", "lives");
    form.TypeName("");
    form.ConfirmRow();
    EXPECT_EQ(dialogs.Errors.size(), 2u);
    EXPECT_EQ(Rows(form.Table()), (Pairs{{"Gold", "100"}, {"startMap", "level1"}, {"title", "The Keep"}}));
    form.FinishEdit();
    EXPECT_EQ(list.IndexOfName("lives"), -1);
}

TEST_F(ParamEditTest, NamedRowWithoutValueIsShownButNotWritten)
{
    form.BeginEdit(&list, "Game parameters");
    form.Add();
    form.TypeName("pending");
    ASSERT_TRUE(form.ConfirmRow());
    EXPECT_EQ(form.Table().Name(), "pending");
    EXPECT_EQ(form.Table().TotalCount(), 5);
    form.FinishEdit();
    EXPECT_EQ(list.IndexOfName("pending"), -1);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(ParamEditTest, CancelDropsTheEditsAndClosingPostsThem)
{
    form.BeginEdit(&list, "Game parameters", "Gold");
    form.TypeValue("0");
    form.CancelRow();
    EXPECT_EQ(form.Table().Value(), "100");
    EXPECT_EQ(form.ValueEdit->toPlainText().toStdString(), "100");
    form.Add();
    form.CancelRow();
    EXPECT_EQ(form.Table().TotalCount(), 4);

    form.TypeValue("250");
    form.CloseWindow();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Table().GetState(), TPropertyTable::State::Browse);
    form.FinishEdit();
    EXPECT_EQ(list.GetValue("Gold"), "250");
}

// ---------------------------------------------------------------- removing

TEST_F(ParamEditTest, RemoveAsksAndDeletesOnYes)
{
    form.BeginEdit(&list, "Game parameters", "lives");
    dialogs.ConfirmAnswers = {false, true};
    form.Remove();
    EXPECT_EQ(form.Table().TotalCount(), 4);
    form.Remove();
    EXPECT_EQ(dialogs.Confirmations,
              (std::vector<std::string>{"Are you sure to delete lives?", "Are you sure to delete lives?"}));
    EXPECT_EQ(Rows(form.Table()), (Pairs{{"Gold", "100"}, {"startMap", "level1"}, {"title", "The Keep"}}));
    form.FinishEdit();
    EXPECT_EQ(list.IndexOfName("lives"), -1);

    TParList empty("game");
    form.BeginEdit(&empty, "Game parameters");
    form.Remove();
    EXPECT_EQ(dialogs.Confirmations.size(), 2u); // no question on an empty table
    form.FinishEdit();
    EXPECT_EQ(empty.Count(), 0);
}

// ---------------------------------------------------------------- geometry

TEST_F(ParamEditTest, GeometryDefaultsAndIsKeptPerCaption)
{
    form.BeginEdit(&list, "Game parameters");
    form.show();
    EXPECT_EQ(form.width(), TfrmParamEdit::DesignWidth);
    EXPECT_EQ(form.height(), TfrmParamEdit::DesignHeight);
    const QRect screen = form.screen()->geometry();
    EXPECT_EQ(form.x(), (screen.width() - TfrmParamEdit::DesignWidth) / 2);
    EXPECT_EQ(form.y(), (screen.height() - TfrmParamEdit::DesignHeight) / 2);
    EXPECT_EQ(form.PanelHeight(), TfrmParamEdit::DesignPanelHeight);

    form.resize(500, 600);
    form.move(10, 20);
    form.SetPanelHeight(200);
    form.Grid->setColumnWidth(0, 90);
    form.hide();
    form.FinishEdit();

    auto store = TSettings::OpenSettings();
    EXPECT_EQ(store->ReadInteger("qv5editor\\Game parameters", "width", 0), 500);
    EXPECT_EQ(store->ReadInteger("qv5editor\\Game parameters", "height", 0), 600);
    EXPECT_EQ(store->ReadInteger("qv5editor\\Game parameters", "left", 0), 10);
    EXPECT_EQ(store->ReadInteger("qv5editor\\Game parameters", "top", 0), 20);
    EXPECT_EQ(store->ReadInteger("qv5editor\\Game parameters", "spacer", 0), 200);
    EXPECT_EQ(store->ReadInteger("qv5editor\\Game parameters", "ewidth", 0), 90);
    // Another caption starts from its own values (here: none, non-numeric width).
    store->WriteString("qv5editor\\Names list", "width", "wide");
    store->WriteInteger("qv5editor\\Names list", "height", 400);
    store->CloseSettings();
    store.reset();

    TfrmParamEdit other(dialogs);
    other.BeginEdit(&list, "Names list");
    other.show();
    EXPECT_EQ(other.width(), TfrmParamEdit::DesignWidth);
    EXPECT_EQ(other.height(), 400);
    EXPECT_EQ(other.y(), (screen.height() - 400) / 2);
    other.hide();
    other.FinishEdit();

    // Reopening under the first caption restores its values.
    form.BeginEdit(&list, "Game parameters");
    form.show();
    EXPECT_EQ(form.width(), 500);
    EXPECT_EQ(form.height(), 600);
    EXPECT_EQ(form.pos(), QPoint(10, 20));
    EXPECT_EQ(form.PanelHeight(), 200);
    EXPECT_EQ(form.NameColumnWidth(), 90);
    form.hide();
    form.FinishEdit();
}

} // namespace
} // namespace kestrune

namespace kestrune {
namespace {

// The callers mark the project changed from what EditList tells.
TEST_F(ParamEditTest, EditListTellsWhetherTheListChanged)
{
    // Opened and closed unchanged: the list comes back in name order, a
    // change only while it was out of order.
    QTimer::singleShot(0, &form, [this] { form.CloseWindow(); });
    EXPECT_TRUE(form.EditList(&list, "Game parameters"));
    QTimer::singleShot(0, &form, [this] { form.CloseWindow(); });
    EXPECT_FALSE(form.EditList(&list, "Game parameters"));
    QTimer::singleShot(0, &form, [this] {
        form.TypeValue("changed");
        form.CloseWindow();
    });
    EXPECT_TRUE(form.EditList(&list, "Game parameters"));
}

} // namespace
} // namespace kestrune
