// The data grid over the property table: the model follows the table, the
// current row follows both ways, typing edits and posts (or is refused and
// stays), the per-row editing aids, and what the cells show.

#include "controls/datagrid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <memory>
#include <string>

namespace kestrune {
namespace {

using State = TPropertyTable::State;

void Key(QWidget* target, int key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

void Mouse(TDataGrid& grid, QEvent::Type type, QPoint pos)
{
    QMouseEvent e(type, pos, grid.viewport()->mapToGlobal(pos), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid.viewport(), &e);
}

void Click(TDataGrid& grid, QPoint pos)
{
    Mouse(grid, QEvent::MouseButtonPress, pos);
    Mouse(grid, QEvent::MouseButtonRelease, pos);
}

QPoint CellAt(TDataGrid& grid, int row, int column)
{
    return grid.visualRect(grid.model()->index(row, column)).center();
}

class DataGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.AppendRow("+General", "", 1);
        table.AppendRow("alpha", "1", 1);
        table.AppendRow("beta", "two", 1);
        table.AppendRow("gamma", "three", 0);
        table.First();
        grid = std::make_unique<TDataGrid>();
        grid->resize(320, 240);
        grid->SetTable(&table);
        grid->OnRowChange = [this] { ++rowChanges; };
        grid->show();
    }

    std::string NameAt(int row) const { return grid->RowAt(row) ? grid->RowAt(row)->name : "<none>"; }

    TPropertyTable table;
    std::unique_ptr<TDataGrid> grid;
    int rowChanges = 0;
};

TEST(DataGridLook, HeadingsIndentsAndValues)
{
    // A heading row: its whole name in bold, and a bar for a value.
    const TCellLook heading = CellLook({"+Looks", "ignored", 2}, 0);
    EXPECT_FALSE(heading.heading);
    EXPECT_TRUE(heading.bold);
    EXPECT_EQ(heading.indent, 0);
    EXPECT_EQ(heading.text, "+Looks");
    EXPECT_TRUE(CellLook({"+Looks", "ignored", 2}, 1).heading);
    EXPECT_EQ(CellLook({"+Looks", "ignored", 2}, 1).text, "");

    EXPECT_EQ(CellLook({"inGroup", "v", 3}, 0).indent, TDataGrid::GroupIndent);
    EXPECT_EQ(CellLook({"ungrouped", "v", 0}, 0).indent, 0);
    EXPECT_EQ(CellLook({"noGroup", "v", std::nullopt}, 0).indent, 0);
    EXPECT_FALSE(CellLook({"inGroup", "v", 3}, 0).bold);
    EXPECT_EQ(CellLook({"inGroup", "v", 3}, 0).text, "inGroup");

    // Line breaks go before the cut; the cut keeps 50 characters.
    EXPECT_EQ(ValueDisplayText("one\r\ntwo\nthree\r"), "onetwothree");
    std::string longValue;
    for (int i = 0; i < 12; ++i)
        longValue += "abcdefgh\r\n";
    const std::string shown = CellLook({"text", longValue, 0}, 1).text;
    EXPECT_EQ(shown.size(), 50u);
    EXPECT_EQ(shown.substr(0, 16), "abcdefghabcdefgh");
    EXPECT_EQ(ValueDisplayText(std::string(50, 'x')), std::string(50, 'x'));
    EXPECT_EQ(ValueDisplayText("\xE9t\xE9"), "\xE9t\xE9"); // 8-bit text kept
}

TEST_F(DataGridTest, ModelFollowsTheTable)
{
    ASSERT_EQ(grid->RowCount(), 4);
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("+General"));
    EXPECT_EQ(grid->model()->index(2, 1).data().toString(), QStringLiteral("two"));

    table.AppendRow("delta", "4", 2);
    ASSERT_EQ(grid->RowCount(), 5);
    EXPECT_EQ(NameAt(4), "delta");

    table.MoveTo(1);
    table.Delete();
    ASSERT_EQ(grid->RowCount(), 4);
    EXPECT_EQ(NameAt(1), "beta");

    // The filter hides rows while on.
    table.OnFilterRecord = [](const TPropertyRow& r) { return r.grp.value_or(0) != 1 || r.name[0] == '+'; };
    table.SetFiltered(true);
    ASSERT_EQ(grid->RowCount(), 3);
    EXPECT_EQ(NameAt(0), "+General");
    EXPECT_EQ(NameAt(1), "gamma");
    EXPECT_EQ(NameAt(2), "delta");
    table.SetFiltered(false);
    EXPECT_EQ(grid->RowCount(), 4);

    table.SortBy("GRP;NAME");
    EXPECT_EQ(NameAt(0), "gamma");
    EXPECT_EQ(NameAt(1), "+General");
    EXPECT_EQ(NameAt(2), "beta");
    EXPECT_EQ(NameAt(3), "delta");

    // Held-back notifications arrive once, when the controls are enabled.
    const int before = rowChanges;
    table.DisableControls();
    table.AppendRow("eps", "", 2);
    table.AppendRow("zeta", "", 2);
    EXPECT_EQ(grid->RowCount(), 4);
    EXPECT_EQ(rowChanges, before);
    table.EnableControls();
    EXPECT_EQ(grid->RowCount(), 6);
    EXPECT_EQ(rowChanges, before + 1);

    // A row being inserted shows last, as the current row, until posted.
    table.Append();
    table.SetName("new");
    ASSERT_EQ(grid->RowCount(), 7);
    EXPECT_EQ(NameAt(6), "new");
    EXPECT_EQ(grid->CurrentRow(), 6);
    table.Post();
    EXPECT_EQ(grid->RowCount(), 7);
    EXPECT_EQ(table.Rows().back().name, "new");
    // One inserted shows, and is posted, in front of the current row.
    table.MoveTo(2);
    table.Insert();
    table.SetName("inserted");
    EXPECT_EQ(NameAt(2), "inserted");
    EXPECT_EQ(NameAt(3), "beta");
    EXPECT_EQ(grid->CurrentRow(), 2);
    table.Post();
    EXPECT_EQ(table.Rows()[2].name, "inserted");
    EXPECT_EQ(table.CurrentIndex(), 2);
    EXPECT_EQ(grid->CurrentRow(), 2);
    EXPECT_EQ(grid->RowCount(), 8);

    table.Clear();
    EXPECT_EQ(grid->RowCount(), 0);
    EXPECT_EQ(grid->CurrentRow(), -1);
    EXPECT_FALSE(grid->currentIndex().isValid());
}

TEST_F(DataGridTest, CurrentRowFollowsBothWays)
{
    EXPECT_EQ(grid->CurrentRow(), 0);
    EXPECT_EQ(grid->currentIndex().row(), 0);

    table.MoveTo(2);
    EXPECT_EQ(grid->currentIndex().row(), 2);
    EXPECT_TRUE(grid->CurrentRowMoved());

    grid->setCurrentIndex(grid->model()->index(3, 1));
    EXPECT_EQ(table.CurrentIndex(), 3);

    Key(grid.get(), Qt::Key_Up);
    EXPECT_EQ(table.CurrentIndex(), 2);

    EXPECT_TRUE(grid->SetCurrentRow(1));
    EXPECT_EQ(table.CurrentIndex(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_FALSE(grid->SetCurrentRow(9));

    Click(*grid, CellAt(*grid, 3, 0));
    EXPECT_EQ(table.CurrentIndex(), 3);

    // Under a filter the grid rows are the visible rows.
    table.OnFilterRecord = [](const TPropertyRow& r) { return r.name != "alpha"; };
    table.SetFiltered(true);
    EXPECT_TRUE(grid->SetCurrentRow(1));
    EXPECT_EQ(table.Name(), "beta");

    // Storing a value is a change of content, not a move.
    table.SetValue("x");
    table.Post();
    EXPECT_FALSE(grid->CurrentRowMoved());
}

TEST_F(DataGridTest, TypingEditsTheTableAndEnterPosts)
{
    grid->SetCurrentRow(1);
    Key(grid.get(), Qt::Key_7, QStringLiteral("7"));
    QWidget* editor = grid->EditorWidget();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(EditorText(editor), QStringLiteral("7")); // typing replaces the old value
    EXPECT_EQ(table.GetState(), State::Edit);
    EXPECT_EQ(table.Value(), "7");
    EXPECT_EQ(table.Rows()[1].value, "1");
    EXPECT_EQ(grid->DisplayValue(1), "7");

    Key(editor, Qt::Key_8, QStringLiteral("8"));
    EXPECT_EQ(table.Value(), "78");
    Key(editor, Qt::Key_Return);
    EXPECT_EQ(table.GetState(), State::Browse);
    EXPECT_EQ(table.Rows()[1].value, "78");
    EXPECT_EQ(grid->EditorWidget(), nullptr);

    // Leaving the row posts too.
    Key(grid.get(), Qt::Key_A, QStringLiteral("a"));
    ASSERT_NE(grid->EditorWidget(), nullptr);
    Key(grid->EditorWidget(), Qt::Key_Down);
    EXPECT_EQ(table.Rows()[1].value, "a");
    EXPECT_EQ(table.CurrentIndex(), 2);
    EXPECT_EQ(table.GetState(), State::Browse);

    // Typing on a name cell edits the value; names are never edited in place.
    grid->setCurrentIndex(grid->model()->index(2, 0));
    Key(grid.get(), Qt::Key_Z, QStringLiteral("z"));
    EXPECT_EQ(table.Value(), "z");
    EXPECT_EQ(table.Name(), "beta");
    EXPECT_FALSE(grid->model()->flags(grid->model()->index(2, 0)) & Qt::ItemIsEditable);
}

TEST_F(DataGridTest, RefusedPostKeepsTheRowInEditing)
{
    bool accept = false;
    int afterPosts = 0;
    table.BeforePost = [&](TPropertyTable&) { return accept; };
    table.AfterPost = [&](TPropertyTable&) { ++afterPosts; };
    grid->SetCurrentRow(1);
    Key(grid.get(), Qt::Key_Q, QStringLiteral("q"));
    QWidget* editor = grid->EditorWidget();
    ASSERT_NE(editor, nullptr);

    Key(editor, Qt::Key_Return);
    EXPECT_EQ(table.GetState(), State::Edit);
    EXPECT_EQ(table.Value(), "q");
    EXPECT_EQ(grid->EditorWidget(), editor);
    EXPECT_EQ(EditorText(editor), QStringLiteral("q"));

    Key(editor, Qt::Key_Down);
    EXPECT_EQ(table.CurrentIndex(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_FALSE(grid->SetCurrentRow(3));
    Click(*grid, CellAt(*grid, 3, 1));
    EXPECT_EQ(table.CurrentIndex(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(table.Value(), "q");
    EXPECT_EQ(table.Rows()[1].value, "1");
    EXPECT_EQ(table.Rows()[3].value, "three");

    // A refusal that closed the editor (a message box takes the focus) opens it again.
    grid->CancelEdit();
    grid->StartEdit("r");
    ASSERT_EQ(grid->EditorWidget(), nullptr);
    EXPECT_FALSE(grid->CommitEdit());
    ASSERT_NE(grid->EditorWidget(), nullptr);
    EXPECT_EQ(EditorText(grid->EditorWidget()), QStringLiteral("r"));
    EXPECT_EQ(afterPosts, 0);

    accept = true;
    Click(*grid, CellAt(*grid, 3, 1));
    EXPECT_EQ(table.Rows()[1].value, "r");
    EXPECT_EQ(table.CurrentIndex(), 3);
    EXPECT_EQ(afterPosts, 1);
}

TEST_F(DataGridTest, EscapeCancels)
{
    grid->SetCurrentRow(2);
    Key(grid.get(), Qt::Key_W, QStringLiteral("w"));
    ASSERT_NE(grid->EditorWidget(), nullptr);
    Key(grid->EditorWidget(), Qt::Key_Escape);
    EXPECT_EQ(table.GetState(), State::Browse);
    EXPECT_EQ(table.Value(), "two");
    EXPECT_EQ(grid->EditorWidget(), nullptr);
    EXPECT_EQ(grid->DisplayValue(2), "two");

    // Also once the editor is gone, from the grid itself.
    grid->StartEdit("w");
    Key(grid.get(), Qt::Key_Escape);
    EXPECT_EQ(table.GetState(), State::Browse);
    EXPECT_EQ(table.Rows()[2].value, "two");
}

TEST_F(DataGridTest, ReadOnlyRowsHeadingsAndGrid)
{
    grid->RowEditor = [](const TPropertyRow& r) {
        return r.name == "alpha" ? TRowEditor{TRowEditor::Style::None, {}, false} : TRowEditor{};
    };
    EXPECT_EQ(grid->EditorFor(0).style, TRowEditor::Style::None); // heading
    EXPECT_EQ(grid->EditorFor(1).style, TRowEditor::Style::None);
    EXPECT_EQ(grid->EditorFor(2).style, TRowEditor::Style::Plain);

    for (int row : {0, 1}) {
        grid->SetCurrentRow(row);
        Key(grid.get(), Qt::Key_K, QStringLiteral("k"));
        EXPECT_EQ(grid->EditorWidget(), nullptr) << row;
        EXPECT_FALSE(grid->StartEdit("k")) << row;
        EXPECT_EQ(table.GetState(), State::Browse) << row;
    }

    grid->SetCurrentRow(2);
    grid->SetReadOnly(true);
    for (int row = 0; row < grid->RowCount(); ++row)
        EXPECT_EQ(grid->EditorFor(row).style, TRowEditor::Style::None);
    Key(grid.get(), Qt::Key_K, QStringLiteral("k"));
    EXPECT_EQ(grid->EditorWidget(), nullptr);
    EXPECT_EQ(table.GetState(), State::Browse);
    EXPECT_TRUE(grid->ButtonRect(2).isEmpty());

    // An ellipsis that only opens something elsewhere stays; one with typing goes.
    grid->RowEditor = [](const TPropertyRow& r) {
        return TRowEditor{TRowEditor::Style::Ellipsis, {}, r.name == "gamma"};
    };
    grid->RefreshEditor();
    EXPECT_EQ(grid->EditorFor(2).style, TRowEditor::Style::Ellipsis);
    EXPECT_EQ(grid->EditorFor(3).style, TRowEditor::Style::None);
    EXPECT_FALSE(grid->ButtonRect(2).isEmpty());
    EXPECT_TRUE(grid->ClickEllipsis());
    EXPECT_FALSE(grid->StartEdit("k"));

    grid->RowEditor = nullptr;
    grid->SetReadOnly(false);
    EXPECT_TRUE(grid->StartEdit("k"));
    EXPECT_TRUE(grid->CommitEdit());
    EXPECT_EQ(table.Rows()[2].value, "k");
}

TEST_F(DataGridTest, NameColumnIsDraggedWithinItsLimits)
{
    EXPECT_EQ(grid->NameColumnMin(), 70);
    EXPECT_EQ(grid->NameColumnMax(), 100);
    grid->setColumnWidth(0, 70);
    const int y = CellAt(*grid, 2, 0).y();
    auto drag = [&](int from, int to) {
        Mouse(*grid, QEvent::MouseButtonPress, {from, y});
        QMouseEvent move(QEvent::MouseMove, QPointF(to, y), grid->viewport()->mapToGlobal(QPointF(to, y)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &move);
        Mouse(*grid, QEvent::MouseButtonRelease, {to, y});
    };
    EXPECT_FALSE(grid->OnNameColumnEdge({40, y}));
    ASSERT_TRUE(grid->OnNameColumnEdge({71, y}));
    drag(71, 90);
    EXPECT_EQ(grid->columnWidth(0), 89);
    drag(grid->columnWidth(0), 300);
    EXPECT_EQ(grid->columnWidth(0), 100);
    drag(grid->columnWidth(0) + 1, 5);
    EXPECT_EQ(grid->columnWidth(0), 70);
    // Taking the edge neither moves the current row nor starts an edit.
    EXPECT_EQ(table.CurrentIndex(), 0);
    EXPECT_EQ(table.GetState(), State::Browse);

    grid->SetNameColumnRange(20, 200);
    drag(grid->columnWidth(0), 150);
    EXPECT_EQ(grid->columnWidth(0), 150);
}

TEST_F(DataGridTest, PickListOffersTheChoices)
{
    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i)
        many.push_back("choice" + std::to_string(i));
    grid->RowEditor = [&many](const TPropertyRow& r) {
        if (r.name == "beta")
            return TRowEditor{TRowEditor::Style::PickList, many, true};
        return TRowEditor{TRowEditor::Style::PickList, {"1", "2"}, true};
    };
    grid->SetCurrentRow(2);
    EXPECT_FALSE(grid->ButtonRect(2).isEmpty());
    auto* combo = qobject_cast<QComboBox*>(grid->OpenEditor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 30);
    EXPECT_EQ(combo->maxVisibleItems(), TDataGrid::MaxDropDownRows);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->currentText(), QStringLiteral("two"));
    EXPECT_EQ(table.GetState(), State::Browse); // opening is not editing

    combo->setCurrentIndex(17); // what choosing from the list does
    emit combo->textActivated(combo->currentText());
    EXPECT_EQ(table.Value(), "choice17");
    Key(combo, Qt::Key_Return);
    EXPECT_EQ(table.Rows()[2].value, "choice17");

    // The choices follow the row; free text is allowed.
    grid->SetCurrentRow(1);
    Key(grid.get(), Qt::Key_9, QStringLiteral("9"));
    combo = qobject_cast<QComboBox*>(grid->EditorWidget());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(table.Value(), "9");
}

TEST_F(DataGridTest, EllipsisButtonFires)
{
    int fired = 0;
    int signalled = 0;
    std::string valueSeen;
    grid->RowEditor = [](const TPropertyRow& r) {
        return TRowEditor{TRowEditor::Style::Ellipsis, {}, r.name != "gamma"};
    };
    grid->OnEllipsis = [&] {
        ++fired;
        valueSeen = table.Value();
    };
    QObject::connect(grid.get(), &TDataGrid::ellipsisClicked, [&] { ++signalled; });
    grid->SetCurrentRow(1);
    const QRect button = grid->ButtonRect(1);
    ASSERT_FALSE(button.isEmpty());
    EXPECT_TRUE(grid->ButtonRect(2).isEmpty());
    EXPECT_EQ(button.right(), grid->visualRect(grid->model()->index(1, 1)).right());

    Click(*grid, button.center());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(signalled, 1);
    EXPECT_EQ(grid->CurrentRow(), 1);

    // What was typed reaches the table first, unposted; the editor leaves the button free.
    Key(grid.get(), Qt::Key_P, QStringLiteral("p"));
    ASSERT_NE(grid->EditorWidget(), nullptr);
    EXPECT_LT(grid->EditorWidget()->geometry().right(), button.left());
    Click(*grid, button.center());
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(valueSeen, "p");
    EXPECT_EQ(table.GetState(), State::Edit);
    EXPECT_EQ(grid->EditorWidget(), nullptr);
    grid->CommitEdit();

    // A button-only row takes no typing.
    grid->SetCurrentRow(3);
    Key(grid.get(), Qt::Key_P, QStringLiteral("p"));
    EXPECT_EQ(grid->EditorWidget(), nullptr);
    EXPECT_EQ(table.GetState(), State::Browse);
    EXPECT_TRUE(grid->ClickEllipsis());
    EXPECT_EQ(fired, 3);

    grid->RowEditor = nullptr;
    grid->RefreshEditor();
    EXPECT_FALSE(grid->ClickEllipsis());
}

TEST_F(DataGridTest, HeadingClickDoubleClickAndKeys)
{
    std::string heading;
    int doubles = 0;
    int lastKey = 0;
    grid->OnHeadingClick = [&](const std::string& name) { heading = name; };
    grid->OnDoubleClick = [&] { ++doubles; };
    grid->OnKey = [&](int key, Qt::KeyboardModifiers) { lastKey = key; };

    grid->SetCurrentRow(2);
    Click(*grid, CellAt(*grid, 0, 0));
    EXPECT_EQ(heading, "+General");
    EXPECT_EQ(table.CurrentIndex(), 0);
    heading.clear();
    Click(*grid, CellAt(*grid, 1, 0));
    EXPECT_EQ(heading, "");

    Click(*grid, CellAt(*grid, 2, 0));
    Mouse(*grid, QEvent::MouseButtonDblClick, CellAt(*grid, 2, 0));
    Mouse(*grid, QEvent::MouseButtonRelease, CellAt(*grid, 2, 0));
    EXPECT_EQ(doubles, 1);

    Key(grid.get(), Qt::Key_F5);
    EXPECT_EQ(lastKey, Qt::Key_F5);
    lastKey = 0;
    grid->SetCurrentRow(2);
    Key(grid.get(), Qt::Key_B, QStringLiteral("b")); // starts an edit: used
    EXPECT_EQ(lastKey, 0);
}

TEST_F(DataGridTest, GridGoneLeavesTheTableWorking)
{
    int outside = 0;
    TPropertyTable other;
    other.OnChange = [&](TPropertyTable&) { ++outside; };
    grid->SetTable(&other);
    EXPECT_EQ(grid->RowCount(), 0);
    other.AppendRow("a", "1");
    EXPECT_EQ(grid->RowCount(), 1);
    EXPECT_GT(outside, 0);

    // Detaching gives the table its own handler back.
    grid->SetTable(&table);
    const int seen = outside;
    other.AppendRow("b", "2");
    EXPECT_GT(outside, seen);
    EXPECT_EQ(grid->RowCount(), 4);

    grid.reset();
    table.AppendRow("after", "x"); // nothing left to tell
    EXPECT_EQ(table.TotalCount(), 5);
}

TEST_F(DataGridTest, Screenshot)
{
    table.MoveTo(3);
    table.Delete();
    table.AppendRow("longText", "A value that runs on and on,\r\nwith a line break, well past fifty characters", 1);
    table.AppendRow("+Second group", "", 2);
    table.AppendRow("picture", "walls/door.png", 2);
    table.AppendRow("ungrouped", "free", 0);
    grid->RowEditor = [](const TPropertyRow& r) {
        return r.name == "picture" ? TRowEditor{TRowEditor::Style::Ellipsis, {}, true} : TRowEditor{};
    };
    grid->setColumnWidth(0, 100);
    grid->resize(360, 180);
    table.Locate(TPropertyTable::Field::Name, "picture");
    EXPECT_EQ(grid->DisplayValue(3).size(), 50u);
    const QImage shot = grid->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(KESTRUNE_BUILD_DIR "/tests/datagrid.png")));
    // A heading's name keeps its own cell; its value cell is the bar.
    EXPECT_EQ(grid->columnSpan(0, 0), 1);
    const QRect bar = grid->visualRect(grid->model()->index(0, 1)).translated(grid->viewport()->pos());
    EXPECT_EQ(shot.pixel(bar.center() + QPoint(0, 3)), grid->palette().color(QPalette::Button).rgb());
    EXPECT_EQ(shot.pixel(bar.center().x(), bar.top()), grid->palette().color(QPalette::Light).rgb());
    EXPECT_EQ(shot.pixel(bar.right(), bar.center().y()), grid->palette().color(QPalette::Dark).rgb());

    // The read-only look: the caller's colours fill the cells.
    grid->SetColours(QColor(0xF0, 0xF0, 0xF0), Qt::black);
    const QImage grey = grid->grab().toImage();
    const QPoint inside = grid->visualRect(grid->model()->index(1, 1)).bottomRight() - QPoint(3, 3);
    EXPECT_EQ(grey.pixelColor(inside + grid->viewport()->pos()), QColor(0xF0, 0xF0, 0xF0));
}

} // namespace
} // namespace kestrune
