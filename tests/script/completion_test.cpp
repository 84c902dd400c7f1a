// The completion list and the parameter hint driven through the text area:
// keys go to the edit control, which hands them to the completion as the
// code editor wires it.

#include "script/completion.h"

#include "core/test_util.h"
#include "script/sourceedit.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextCursor>

#include "help/help_pages_util.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {
namespace {

using test::ClassLink;
using test::Function;
using test::WritePage;

using Rows = std::vector<std::string>;

class CompletionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Write("index", Function("monster", "", ClassLink("Monster")) + Function("MoveAll", "(x, y)", "") +
                           Function("Mood", "", "") + Function("f", "(a, b, c)", "") + Function("g", "(x)", "") +
                           Function("Random", "(min, max)", "int") + Function("Beep", "", "") +
                           Function("Say", "(text)", ""));
        Write("Monster", Function("Attack", "(target)", "") + Function("Say", "(text, seconds)", "") +
                             Function("Map", "", ClassLink("Map")));
        Write("Npc", Function("Say", "(text, mood)", ""));
        index.BuildFunctionIndex(dir.Path());

        host = std::make_unique<QWidget>();
        host->resize(800, 600);
        edit = new TSourceEdit(host.get());
        edit->setFont(QFont(QStringLiteral("Courier New"), 10));
        edit->setGeometry(20, 30, 600, 400);
        completion = new TCodeCompletion(edit, host.get());
        completion->SetIndex(&index);
        completion->SetNameChoices({"@apple", "@Hero", "@Home"});
        edit->OnKeyDown = [this](QKeyEvent* e) { return completion->KeyDown(e); };
        edit->OnAfterInsert = [this](char c) { completion->AfterInsert(c); };
        edit->OnKeyUp = [this](QKeyEvent*) { completion->KeyUp(); };
        edit->OnMouseDown = [this] { completion->HideAll(); };
        edit->OnFocusLost = [this] { completion->HideAll(); };
        host->show();
    }

    void Write(const std::string& cls, const std::string& body)
    {
        std::ofstream(dir / (cls + ".class.html"), std::ios::binary) << "<html><body>\n" << body << "</body></html>\n";
    }

    // Presses and releases a key on the text area.
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {})
    {
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, mods, text);
        QApplication::sendEvent(edit, &release);
    }

    void Type(const std::string& s)
    {
        for (char c : s)
            Key(std::toupper(static_cast<unsigned char>(c)), Qt::NoModifier, QString(QLatin1Char(c)));
    }

    void SetText(const std::string& text, int caret = -1)
    {
        edit->SetText(text);
        edit->SetSelStart(caret < 0 ? static_cast<int>(text.size()) : caret);
    }

    std::string Bold() const
    {
        const TTextRun r = completion->HintBold();
        return completion->HintText().substr(r.Start, r.Length);
    }

    QPoint InHost(int x, int y) const { return edit->viewport()->mapTo(host.get(), QPoint(x, y)); }

    // The line holding an offset as the text area draws it: the x of a caret
    // at the offset, the line's top and the next line's top (-1 on the last).
    struct DrawnLine {
        int X = 0;
        int Top = 0;
        int NextTop = -1;
    };
    DrawnLine Drawn(int offset) const
    {
        QTextCursor cursor(edit->document());
        cursor.setPosition(edit->PositionOfOffset(offset));
        DrawnLine line;
        line.X = edit->cursorRect(cursor).left();
        line.Top = edit->cursorRect(cursor).top();
        if (cursor.movePosition(QTextCursor::NextBlock))
            line.NextTop = edit->cursorRect(cursor).top();
        return line;
    }

    test::TempDir dir;
    TFunctionIndex index;
    std::unique_ptr<QWidget> host;
    TSourceEdit* edit = nullptr;
    TCodeCompletion* completion = nullptr;
};

TEST_F(CompletionTest, PanelsStartHiddenWithTheirSizesAndFonts)
{
    EXPECT_FALSE(completion->ListShown());
    EXPECT_FALSE(completion->HintShown());
    EXPECT_EQ(completion->ListPanel()->size(), QSize(449, 149));
    EXPECT_EQ(completion->ListPanel()->parentWidget(), host.get());
    EXPECT_EQ(completion->HintPanel()->height(), 17);
    EXPECT_EQ(completion->List()->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(completion->List()->font().pixelSize(), 11);
    EXPECT_EQ(completion->Delay(), 400);
    EXPECT_TRUE(completion->AddParentheses());
    EXPECT_EQ(completion->List()->focusPolicy(), Qt::NoFocus);
}

TEST_F(CompletionTest, DelayListsGlobalFunctionsAndTypingRefilters)
{
    Type("x = Mo");
    EXPECT_TRUE(completion->DelayTimerActive());
    EXPECT_FALSE(completion->ListShown());
    completion->DelayTimeout();
    ASSERT_TRUE(completion->ListShown());
    EXPECT_EQ(completion->RowTexts(), (Rows{"Mood", "MoveAll"}));  // "monster" differs in case
    EXPECT_EQ(completion->SelectedRow(), 0);
    EXPECT_EQ(completion->CurrentContext(), kDefaultContext);
    // functions: the list's font is bold black
    EXPECT_TRUE(completion->List()->font().bold());
    EXPECT_EQ(completion->ListColour(), QColor(0, 0, 0));
    EXPECT_EQ(completion->List()->sizeHintForRow(0), 16);
    EXPECT_FALSE(completion->List()->grab().isNull());  // rows draw

    Type("o");
    EXPECT_EQ(edit->Text(), "x = Moo");
    EXPECT_EQ(completion->RowTexts(), (Rows{"Mood"}));
    EXPECT_FALSE(completion->DelayTimerActive());
    // a letter matching nothing leaves the list shown but empty; Enter only hides it
    Type("x");
    EXPECT_TRUE(completion->ListShown());
    EXPECT_TRUE(completion->RowTexts().empty());
    Key(Qt::Key_Return);
    EXPECT_FALSE(completion->ListShown());
    EXPECT_EQ(edit->Text(), "x = Moox");

    // every key stops the timer; a delay of 0 never starts it
    Type("y");
    EXPECT_TRUE(completion->DelayTimerActive());
    Key(Qt::Key_Left);
    EXPECT_FALSE(completion->DelayTimerActive());
    completion->SetDelay(0);
    Type("z");
    EXPECT_FALSE(completion->DelayTimerActive());
}

TEST_F(CompletionTest, CtrlSpaceListsTheIndexClassWithoutTypingABlank)
{
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    ASSERT_TRUE(completion->ListShown());
    EXPECT_EQ(edit->Text(), "");
    EXPECT_EQ(completion->RowTexts(),
              (Rows{"Beep", "f", "g", "monster", "Mood", "MoveAll", "Random", "Say"}));
    // inside a string literal or a comment the blank is typed
    SetText("x = 'ab");
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    EXPECT_EQ(edit->Text(), "x = 'ab ");
    EXPECT_FALSE(completion->ListShown());
    SetText("/* Mo");
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    EXPECT_EQ(edit->Text(), "/* Mo ");
    EXPECT_FALSE(completion->ListShown());
    // after a closed comment the caret stands outside it
    SetText("// note\r\n");
    EXPECT_TRUE(completion->CompletionAllowed());
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    EXPECT_TRUE(completion->ListShown());
}

TEST_F(CompletionTest, MemberListsAfterDotAndNothingAfterAString)
{
    Type("monster().");
    ASSERT_TRUE(completion->ListShown());
    EXPECT_EQ(completion->CurrentContext(), "#Monster#");
    EXPECT_EQ(completion->RowTexts(), (Rows{"Attack", "Map", "Say"}));
    EXPECT_FALSE(completion->List()->grab().isNull());
    // deleting the "." hides the list
    Key(Qt::Key_Backspace);
    EXPECT_FALSE(completion->ListShown());

    SetText("");
    Type("'abc'.");
    EXPECT_FALSE(completion->ListShown());
    EXPECT_EQ(completion->CurrentContext(), kStringContext);
    Type("R");
    ASSERT_TRUE(completion->DelayTimerActive());
    completion->DelayTimeout();
    EXPECT_EQ(completion->RowTexts(), (Rows{"Random"}));

    // "." inside a string opens nothing, inside a comment it does
    SetText("x = 'a");
    Type(".");
    EXPECT_FALSE(completion->ListShown());
    SetText("// see");
    Type(".");
    EXPECT_TRUE(completion->ListShown());
    EXPECT_EQ(completion->RowTexts().size(), 8u);
    // but typing in a comment starts no delay
    completion->HideAll();
    Type("x");
    EXPECT_FALSE(completion->DelayTimerActive());
}

TEST_F(CompletionTest, NamesAfterAtAreInsertedAsTheyAre)
{
    Type("x = @H");
    ASSERT_TRUE(completion->DelayTimerActive());
    completion->DelayTimeout();
    ASSERT_TRUE(completion->ListShown());
    EXPECT_EQ(completion->RowTexts(), (Rows{"@Hero", "@Home"}));
    EXPECT_TRUE(completion->List()->font().bold());
    EXPECT_EQ(completion->ListColour(), QColor(0, 0x80, 0x80));
    EXPECT_FALSE(completion->List()->grab().isNull());
    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    EXPECT_EQ(edit->Text(), "x = @Home");
    EXPECT_EQ(edit->SelStart(), 9);
    EXPECT_FALSE(completion->ListShown());
}

TEST_F(CompletionTest, AcceptingAFunctionWithParameters)
{
    SetText("MoveAxyz + 1", 5);
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    ASSERT_EQ(completion->RowTexts(), (Rows{"MoveAll"}));
    Key(Qt::Key_Return);  // the whole word goes
    EXPECT_EQ(edit->Text(), "MoveAll() + 1");
    EXPECT_EQ(edit->SelStart(), 8);
    EXPECT_FALSE(completion->ListShown());
    ASSERT_TRUE(completion->HintShown());
    EXPECT_EQ(completion->HintText(), "MoveAll(x, y)");
    EXPECT_EQ(Bold(), "x,");
    EXPECT_FALSE(completion->HintArrow(true)->isVisibleTo(completion->HintPanel()));
    EXPECT_FALSE(completion->HintPanel()->grab().isNull());
    Type("1,");
    EXPECT_EQ(Bold(), " y");
    EXPECT_EQ(completion->ParamIndex(), 1);

    // Shift+Enter keeps the rest of the word
    SetText("Moxyz", 2);
    completion->HideAll();
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    Key(Qt::Key_Down);
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(edit->Text(), "MoveAll()xyz");
    EXPECT_EQ(edit->SelStart(), 8);
}

TEST_F(CompletionTest, ParenthesesOptionAndClassReturnTypes)
{
    // the first function of the index: no parameters, no return type
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    ASSERT_FALSE(completion->RowTexts().empty());
    ASSERT_EQ(completion->RowTexts().front(), "Beep");
    Key(Qt::Key_Return);
    EXPECT_EQ(edit->Text(), "Beep()");
    EXPECT_EQ(edit->SelStart(), 5);
    EXPECT_FALSE(completion->HintShown());

    completion->SetAddParentheses(false);
    SetText("x = Be");
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    Key(Qt::Key_Return);
    EXPECT_EQ(edit->Text(), "x = Beep");
    EXPECT_EQ(edit->SelStart(), 8);

    // a class: "." and the members at once
    SetText("mons");
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    Key(Qt::Key_Return);
    EXPECT_EQ(edit->Text(), "monster.");
    ASSERT_TRUE(completion->ListShown());
    EXPECT_EQ(completion->RowTexts(), (Rows{"Attack", "Map", "Say"}));
}

TEST_F(CompletionTest, ListKeysMoveTheSelectionOnly)
{
    Type("Mo");
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    ASSERT_EQ(completion->RowTexts().size(), 2u);
    Key(Qt::Key_Up);
    EXPECT_EQ(completion->SelectedRow(), 0);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(completion->SelectedRow(), 1);
    Key(Qt::Key_Home);
    EXPECT_EQ(completion->SelectedRow(), 0);
    Key(Qt::Key_End);
    EXPECT_EQ(completion->SelectedRow(), 1);
    Key(Qt::Key_Home);
    EXPECT_EQ(completion->SelectedRow(), 0);
    EXPECT_EQ(edit->SelStart(), 2);
    EXPECT_EQ(edit->Text(), "Mo");
    // Shift and Delete leave the list as it is
    Key(Qt::Key_Shift, Qt::ShiftModifier);
    Key(Qt::Key_Delete);
    EXPECT_TRUE(completion->ListShown());
    Key(Qt::Key_Down);
    Type("v");
    EXPECT_EQ(edit->Text(), "Mov");
    EXPECT_EQ(completion->RowTexts(), (Rows{"MoveAll"}));
    // Backspace refills for the shorter word, until fewer than two characters precede the caret
    Key(Qt::Key_Backspace);
    EXPECT_EQ(completion->RowTexts(), (Rows{"Mood", "MoveAll"}));
    Key(Qt::Key_Backspace);
    EXPECT_EQ(completion->RowTexts(), (Rows{"Mood", "MoveAll"}));  // for "M"
    EXPECT_TRUE(completion->ListShown());
    Key(Qt::Key_Backspace);
    EXPECT_FALSE(completion->ListShown());
    EXPECT_EQ(edit->Text(), "");
    // any other key hides the list and goes on to the control
    SetText("ab Mo");
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    Key(Qt::Key_Left);
    EXPECT_FALSE(completion->ListShown());
    EXPECT_EQ(edit->SelStart(), 4);
}

TEST_F(CompletionTest, ShiftSpaceShowsTheHintAndNeverTypesABlank)
{
    SetText("x");
    Key(Qt::Key_Space, Qt::ShiftModifier, QStringLiteral(" "));
    EXPECT_EQ(edit->Text(), "x");
    EXPECT_FALSE(completion->HintShown());

    SetText("f(a, g(b), c");
    Key(Qt::Key_Space, Qt::ShiftModifier, QStringLiteral(" "));
    EXPECT_EQ(edit->Text(), "f(a, g(b), c");
    ASSERT_TRUE(completion->HintShown());
    EXPECT_EQ(completion->HintText(), "f(a, b, c)");  // a function of no object shows no class
    EXPECT_EQ(Bold(), " c");
    EXPECT_GT(completion->HintPanel()->width(), 10);

    // the hint follows the caret to another line but not along a line
    const QPoint first = completion->HintPanel()->pos();
    SetText("f(a,\r\n  b");
    Key(Qt::Key_Space, Qt::ShiftModifier, QStringLiteral(" "));
    const QPoint second = completion->HintPanel()->pos();
    EXPECT_GT(second.y(), first.y());
    Key(Qt::Key_Left);
    EXPECT_TRUE(completion->HintShown());
    EXPECT_EQ(completion->HintPanel()->pos(), second);
    // leaving the call, selecting text, or a comment hides it
    edit->SetSelStart(1);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_FALSE(completion->HintShown());
    SetText("f(a /* x");
    EXPECT_FALSE(completion->ShowParameterHint());
    SetText("unknown(a");
    EXPECT_FALSE(completion->ShowParameterHint());
}

TEST_F(CompletionTest, OverloadsAreNumberedAndWrap)
{
    Type("Say(");
    ASSERT_TRUE(completion->HintShown());
    EXPECT_EQ(completion->HintText(), "Say(text)  3/3");  // the class that fits the context
    EXPECT_TRUE(completion->HintArrow(false)->isVisibleTo(completion->HintPanel()));
    EXPECT_TRUE(completion->HintArrow(true)->isVisibleTo(completion->HintPanel()));
    const int caret = edit->SelStart();
    Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(completion->HintText(), "Npc.Say(text, mood)  1/3");
    EXPECT_EQ(edit->SelStart(), caret);
    EXPECT_EQ(Bold(), "text,");
    Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(completion->HintText(), "Monster.Say(text, seconds)  2/3");
    Key(Qt::Key_Left, Qt::ControlModifier);
    Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(completion->HintText(), "Say(text)  3/3");
    // the arrows do the same
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(completion->HintArrow(true), &click);
    EXPECT_EQ(completion->OverloadIndex(), 0);
    EXPECT_EQ(edit->Text(), "Say(");

    // a new hint chooses afresh: after monster(). the Monster overload
    completion->HideAll();
    SetText("monster().Say(x, ");
    Key(Qt::Key_Space, Qt::ShiftModifier, QStringLiteral(" "));
    EXPECT_EQ(completion->HintText(), "Monster.Say(text, seconds)  2/3");
    EXPECT_EQ(Bold(), " seconds");  // the ")" before the number is no part of it
    // past the last parameter every parameter is bold, and nothing of the number
    completion->HideAll();
    SetText("Say(a, b, c");
    Key(Qt::Key_Space, Qt::ShiftModifier, QStringLiteral(" "));
    EXPECT_EQ(completion->HintText(), "Say(text)  3/3");
    EXPECT_EQ(Bold(), "text");
}

TEST_F(CompletionTest, EscapeHidesTheListThenTheHint)
{
    SetText("f(Mo");
    ASSERT_TRUE(completion->ShowParameterHint());
    completion->ShowCompletion();
    ASSERT_TRUE(completion->ListShown());
    Key(Qt::Key_Escape);
    EXPECT_FALSE(completion->ListShown());
    EXPECT_TRUE(completion->HintShown());
    Key(Qt::Key_Escape);
    EXPECT_FALSE(completion->HintShown());
    // with neither shown, Escape goes on to the control
    EXPECT_FALSE(completion->KeyDown(std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_Escape,
                                                                 Qt::NoModifier).get()));

    // Ctrl+Right while both are shown steps the overload and hides the list
    SetText("Say(Mo");
    ASSERT_TRUE(completion->ShowParameterHint());
    completion->ShowCompletion();
    Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_FALSE(completion->ListShown());
    EXPECT_EQ(completion->HintText(), "Npc.Say(text, mood)  1/3");
}

TEST_F(CompletionTest, ClicksMouseDownAndFocusLoss)
{
    SetText("x = Mo");
    completion->ShowCompletion();
    QListWidget* list = completion->List();
    const QPoint row = list->visualItemRect(list->item(1)).center();
    QMouseEvent press(QEvent::MouseButtonPress, row, list->viewport()->mapToGlobal(row), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, row, list->viewport()->mapToGlobal(row), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QApplication::sendEvent(list->viewport(), &release);
    EXPECT_EQ(edit->Text(), "x = MoveAll()");
    EXPECT_FALSE(completion->ListShown());
    EXPECT_TRUE(completion->HintShown());

    // a click into the text hides both panels
    completion->ShowCompletion();
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(2, 2), edit->viewport()->mapToGlobal(QPointF(2, 2)),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit->viewport(), &down);
    EXPECT_FALSE(completion->ListShown());
    EXPECT_FALSE(completion->HintShown());
}

TEST_F(CompletionTest, ListAndHintHugTheCaretsLineAtTheTextsLineHeight)
{
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(15);
    edit->setFont(font);
    const std::string head = "a\r\nb\r\nc\r\nd\r\ne\r\n";  // the caret goes on line 6
    const int lineStart = static_cast<int>(head.size());
    SetText(head + "  x = Mo\r\ng\r\nh", lineStart + 8);
    const DrawnLine word = Drawn(lineStart + 6);
    ASSERT_NE(word.NextTop - word.Top, 16);  // lines are not 16 pixels apart

    // the list: just below the caret's line, at the word's first character
    completion->ShowCompletion();
    ASSERT_TRUE(completion->ListShown());
    EXPECT_EQ(completion->ListPanel()->pos(), InHost(word.X, word.NextTop + 3));

    // the hint: just above the caret's line, 5 pixels right of the caret
    completion->HideAll();
    SetText(head + "  f(a, b\r\ng\r\nh", lineStart + 8);
    ASSERT_TRUE(completion->ShowParameterHint());
    const DrawnLine caret = Drawn(lineStart + 8);
    EXPECT_EQ(completion->HintPanel()->pos(), InHost(caret.X + 5, caret.Top + 3 - 17));
}

TEST_F(CompletionTest, PlacementNearTheBottomAndAnotherPanelParent)
{
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "line\r\n";
    text += "Mo";
    SetText(text);
    edit->ScrollCaretIntoView();
    ASSERT_GT(edit->FirstVisibleLine(), 0);
    completion->ShowCompletion();
    ASSERT_TRUE(completion->ListShown());
    // no room below: the list ends 3 pixels below the top of the caret's line
    const DrawnLine word = Drawn(static_cast<int>(text.size()) - 2);
    ASSERT_GT(word.Top + 149, edit->viewport()->height());
    const QPoint above(word.X, word.Top + 3 - 149);
    EXPECT_EQ(completion->ListPanel()->pos(), InHost(above.x(), above.y()));

    auto other = std::make_unique<QWidget>(host.get());
    other->setGeometry(0, 0, 800, 600);
    completion->SetPanelParent(other.get());
    EXPECT_EQ(completion->ListPanel()->parentWidget(), other.get());
    EXPECT_EQ(completion->HintPanel()->parentWidget(), other.get());
    EXPECT_FALSE(completion->ListShown());
    completion->ShowCompletion();
    EXPECT_EQ(completion->ListPanel()->pos(), InHost(above.x(), above.y()));  // "other" covers the host

    // the panels go with their parent; the text area goes on working
    other.reset();
    EXPECT_EQ(completion->List(), nullptr);
    EXPECT_FALSE(completion->ListShown());
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    Type("(");
    Key(Qt::Key_Space, Qt::ShiftModifier, QStringLiteral(" "));
    completion->DelayTimeout();
    EXPECT_FALSE(completion->HintShown());
    EXPECT_TRUE(completion->RowTexts().empty());
    EXPECT_EQ(edit->Text(), text + "(");
}

TEST_F(CompletionTest, WithoutAnIndexOnlyNamesAreOffered)
{
    completion->SetIndex(nullptr);
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    EXPECT_FALSE(completion->ListShown());
    SetText("f(a");
    Key(Qt::Key_Space, Qt::ShiftModifier, QStringLiteral(" "));
    EXPECT_FALSE(completion->HintShown());
    SetText("@a");
    Key(Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    EXPECT_EQ(completion->RowTexts(), (Rows{"@apple"}));
    Key(Qt::Key_Return);
    EXPECT_EQ(edit->Text(), "@apple");
}

} // namespace
} // namespace kestrune
