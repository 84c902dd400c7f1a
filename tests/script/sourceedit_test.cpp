// The script edit control: 8-bit text and its line breaks come back as set,
// offsets count CR LF as two, tokens at the caret, incremental colouring of
// spans across lines, the history, the control's own keys, the
// notifications and auto-indent.

#include "script/sourceedit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <string>
#include <tuple>
#include <vector>

namespace kestrune {
namespace {

// The foreground colour (0xRRGGBB) the highlighter gave a character, -1 for
// the control's own text colour.
long ColourAt(const TSourceEdit& edit, int line, int column)
{
    const QTextBlock block = edit.document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        if (r.start <= column && column < r.start + r.length && r.format.hasProperty(QTextFormat::ForegroundBrush))
            return static_cast<long>(r.format.foreground().color().rgb() & 0xFFFFFF);
    return -1;
}

bool BoldAt(const TSourceEdit& edit, int line, int column)
{
    const QTextBlock block = edit.document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        if (r.start <= column && column < r.start + r.length)
            return r.format.fontWeight() == QFont::Bold;
    return false;
}

void TypeChar(TSourceEdit& edit, QChar ch)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(&edit, &press);
}

TEST(SourceEdit, TextComesBackByteForByte)
{
    TSourceEdit edit;
    std::string bytes = "first\r\n";
    for (int c = 0; c < 256; ++c)
        if (c != '\r' && c != '\n')
            bytes += static_cast<char>(c);
    bytes += "\r\n\r\nlast \xA0\xE9";
    edit.SetText(bytes);
    EXPECT_EQ(edit.Text(), bytes);
    EXPECT_EQ(edit.document()->blockCount(), 4);

    edit.SetText("a\nb\n");
    EXPECT_EQ(edit.Text(), "a\nb\n");
    EXPECT_EQ(edit.LineBreak(), "\n");
    edit.SetText("one line");
    EXPECT_EQ(edit.Text(), "one line");
    EXPECT_EQ(edit.LineBreak(), "\r\n");
    edit.SetText("");
    EXPECT_EQ(edit.Text(), "");
}

TEST(SourceEdit, OffsetsCountCrLfAsTwo)
{
    TSourceEdit edit;
    edit.SetText("ab\r\ncd\r\n\r\nef");
    edit.SetSelStart(4);
    EXPECT_EQ(edit.textCursor().blockNumber(), 1);
    EXPECT_EQ(edit.textCursor().positionInBlock(), 0);
    EXPECT_EQ(edit.SelStart(), 4);
    edit.SetSelStart(3);  // between CR and LF: the line's end
    EXPECT_EQ(edit.SelStart(), 2);
    edit.SetSelStart(10);
    EXPECT_EQ(edit.textCursor().blockNumber(), 3);
    edit.SetSelStart(999);
    EXPECT_EQ(edit.SelStart(), 12);
    edit.SetSelStart(-5);
    EXPECT_EQ(edit.SelStart(), 0);

    edit.SetSelStart(1);
    edit.SetSelLength(5);
    EXPECT_EQ(edit.SelStart(), 1);
    EXPECT_EQ(edit.SelLength(), 5);
    EXPECT_EQ(edit.textCursor().selectedText(), QStringLiteral("b\u2029cd"));

    // A text set with LF breaks counts them as one.
    edit.SetText("ab\ncd");
    edit.SetSelStart(3);
    EXPECT_EQ(edit.textCursor().blockNumber(), 1);
    EXPECT_EQ(edit.SelStart(), 3);
}

TEST(SourceEdit, TokensAtTheCaret)
{
    TSourceEdit edit;
    edit.SetText("x = 'Hello' + 42;\r\na /* b\r\nc\r\nd */ e");
    edit.SetSelStart(0);
    EXPECT_TRUE(edit.CaretToken().Text.empty());

    edit.SetSelStart(7);  // inside the string
    TSourceToken t = edit.CaretToken();
    EXPECT_EQ(t.Text, "'Hello'");
    EXPECT_EQ(t.Start, 4);
    EXPECT_EQ(t.End, 11);
    EXPECT_EQ(t.Length, 7);
    EXPECT_EQ(t.Kind, TTokenKind::Span);

    edit.SetSelStart(16);  // just after "42"
    t = edit.CaretToken();
    EXPECT_EQ(t.Text, "42");
    EXPECT_EQ(t.Kind, TTokenKind::Number);

    // The line break after ";" is a token of its own, two characters long.
    t = edit.TokenAt(18);
    EXPECT_EQ(t.Text, "\r\n");
    EXPECT_EQ(t.Start, 17);

    // A comment over three lines is one token, whichever line is asked.
    for (int offset : {21, 27, 30, 31}) {
        t = edit.TokenAt(offset);
        EXPECT_EQ(t.Text, "/* b\r\nc\r\nd */") << offset;
        EXPECT_EQ(t.Start, 21) << offset;
        EXPECT_EQ(t.End, 34) << offset;
    }
    EXPECT_EQ(edit.TokenAt(35).Text, "e");
    EXPECT_TRUE(edit.TokenAt(36).Text.empty());
    EXPECT_TRUE(edit.TokenAt(-1).Text.empty());

    // An unclosed comment runs to the end; a "//" comment takes in its break.
    edit.SetText("// c\r\n(/* x\r\n\r\n");
    EXPECT_EQ(edit.TokenAt(0).Text, "// c\r\n");
    t = edit.TokenAt(13);
    EXPECT_EQ(t.Text, "/* x\r\n\r\n");
    EXPECT_EQ(t.End, 15);
}

// The control finds tokens line by line from the colouring state; it must
// agree with the tokenizer run over the whole text.
TEST(SourceEdit, TokenAtAgreesWithTheWholeText)
{
    TSourceEdit edit;
    for (const std::string text :
         {"'a\r\n\r\nb' /*\r\n// x\r\n*/ y", "//\r\n//\r\n(/* \r\n\r\n", "a\nb'\nc\n'd // e\n",
          "\r\n'\r\n", "x /* */ /*\r\n( )\r\n\t*/ 'q"}) {
        edit.SetText(text);
        const std::string shown = edit.Text();
        ASSERT_EQ(shown, text);
        for (int offset = 0; offset < static_cast<int>(text.size()); ++offset) {
            const auto expected = TokenAtOffset(text, offset, edit.Rules());
            const TSourceToken t = edit.TokenAt(offset);
            ASSERT_TRUE(expected);
            EXPECT_EQ(t.Start, expected->Start) << text << " @" << offset;
            EXPECT_EQ(t.End, expected->End) << text << " @" << offset;
            EXPECT_EQ(t.Kind, expected->Kind) << text << " @" << offset;
            EXPECT_EQ(t.Text, text.substr(static_cast<size_t>(t.Start), static_cast<size_t>(t.Length)));
        }
    }
}

TEST(SourceEdit, ReplaceTokenIsOneUndoStep)
{
    TSourceEdit edit;
    edit.SetText("Say('Hello');\r\nx");
    edit.ClearUndo();
    edit.SetSelStart(6);
    edit.ReplaceToken(edit.CaretToken(), "@Greeting");
    EXPECT_EQ(edit.Text(), "Say(@Greeting);\r\nx");
    EXPECT_EQ(edit.SelStart(), 13);
    EXPECT_EQ(edit.SelLength(), 0);
    ASSERT_TRUE(edit.CanUndo());
    edit.Undo();
    EXPECT_EQ(edit.Text(), "Say('Hello');\r\nx");
    EXPECT_FALSE(edit.CanUndo());

    // Ranges across line breaks, with breaks in the new text.
    edit.ReplaceRange(11, 15, "\r\ny\r\n");
    EXPECT_EQ(edit.Text(), "Say('Hello'\r\ny\r\nx");
    edit.ReplaceRange(999, 2, "");
    EXPECT_EQ(edit.Text(), "Sa");
}

TEST(SourceEdit, SpanOpenedAboveColoursBelowUntilClosed)
{
    TSourceEdit edit;
    edit.SetText("a /* b\r\nc\r\nd\r\ne\r\nf");
    EXPECT_EQ(ColourAt(edit, 2, 0), 0x808080);
    EXPECT_EQ(ColourAt(edit, 4, 0), 0x808080);

    // Closing it on line 2 re-colours the lines below, and only those.
    edit.ResetRecolouredLines();
    edit.SetSelStart(9);
    QTextCursor c = edit.textCursor();
    c.insertText(QStringLiteral("*/"));
    EXPECT_EQ(edit.Text(), "a /* b\r\nc*/\r\nd\r\ne\r\nf");
    EXPECT_EQ(ColourAt(edit, 1, 0), 0x808080);
    EXPECT_EQ(ColourAt(edit, 2, 0), -1);
    EXPECT_EQ(ColourAt(edit, 4, 0), -1);
    EXPECT_EQ(edit.RecolouredLines(), 4);

    // Typing inside a line that keeps its end state re-colours that line only.
    edit.ResetRecolouredLines();
    edit.SetSelStart(16);
    TypeChar(edit, QLatin1Char('x'));
    EXPECT_EQ(edit.RecolouredLines(), 1);

    // Undo reopens the span.
    edit.Undo();
    edit.Undo();
    EXPECT_EQ(ColourAt(edit, 3, 0), 0x808080);
}

TEST(SourceEdit, ColoursFollowTheRules)
{
    TSourceEdit edit;
    edit.SetWords(TSyntaxRules::kCommands, {"Message"});
    edit.SetWords(TSyntaxRules::kNames, {"@Gate"});
    edit.SetWords(99, {"ignored"});
    edit.SetText("if Message(@Gate, $v, 3) ~");
    EXPECT_EQ(ColourAt(edit, 0, 0), 0x000080);
    EXPECT_TRUE(BoldAt(edit, 0, 0));
    EXPECT_EQ(ColourAt(edit, 0, 3), 0x000000);
    EXPECT_TRUE(BoldAt(edit, 0, 3));
    EXPECT_EQ(ColourAt(edit, 0, 10), 0xA0A000);
    EXPECT_EQ(ColourAt(edit, 0, 11), 0x008080);
    EXPECT_FALSE(BoldAt(edit, 0, 11));
    EXPECT_EQ(ColourAt(edit, 0, 18), 0x008080);
    EXPECT_EQ(ColourAt(edit, 0, 22), 0xFF0000);
    EXPECT_EQ(ColourAt(edit, 0, 25), 0x808000);
    EXPECT_EQ(ColourAt(edit, 0, 2), -1);

    // Changed rules colour the text again.
    edit.Rules().SymbolColour = 0x123456;
    edit.RulesChanged();
    EXPECT_EQ(ColourAt(edit, 0, 25), 0x123456);
}

TEST(SourceEdit, History)
{
    TSourceEdit edit;
    edit.SetText("abc");
    edit.ClearUndo();
    EXPECT_FALSE(edit.CanUndo());
    EXPECT_FALSE(edit.CanRedo());
    edit.SetSelStart(3);
    TypeChar(edit, QLatin1Char('d'));
    EXPECT_TRUE(edit.CanUndo());
    edit.Undo();
    EXPECT_EQ(edit.Text(), "abc");
    EXPECT_TRUE(edit.CanRedo());
    edit.Redo();
    EXPECT_EQ(edit.Text(), "abcd");
    edit.Undo();
    edit.ClearUndo();
    EXPECT_FALSE(edit.CanUndo());
    EXPECT_FALSE(edit.CanRedo());

    // SetText keeps the history: it can be undone.
    edit.SetText("new");
    edit.Undo();
    EXPECT_EQ(edit.Text(), "abc");
}

TEST(SourceEdit, OwnKeys)
{
    TSourceEdit edit;
    edit.SetText("one");
    edit.ClearUndo();
    edit.ReplaceRange(0, 3, "two");

    QTest::keyClick(&edit, Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(edit.Text(), "one");
    QTest::keyClick(&edit, Qt::Key_Backspace, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit.Text(), "two");
    QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), "one");
    QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit.Text(), "two");

    // Backspace deletes.
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.Text(), "tw");

    // The own keys are not taken away by a window's shortcuts; others are.
    for (const auto& [key, mods, own] :
         std::vector<std::tuple<int, Qt::KeyboardModifiers, bool>>{{Qt::Key_Backspace, Qt::AltModifier, true},
                                                                   {Qt::Key_Z, Qt::ControlModifier, true},
                                                                   {Qt::Key_Insert, Qt::ShiftModifier, true},
                                                                   {Qt::Key_F1, Qt::ControlModifier, false}}) {
        QKeyEvent override(QEvent::ShortcutOverride, key, mods);
        override.ignore();
        QApplication::sendEvent(&edit, &override);
        EXPECT_EQ(override.isAccepted(), own) << key;
    }

    QClipboard* clipboard = QApplication::clipboard();
    edit.SetText("ab\r\ncd \xA0");
    edit.SetSelStart(1);
    edit.SetSelLength(4);
    QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("b\nc"));
    clipboard->clear();
    QTest::keyClick(&edit, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("b\nc"));

    QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), "ad \xA0");
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), "ab\r\ncd \xA0");
    QTest::keyClick(&edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(edit.Text(), "ab\r\ncb\r\ncd \xA0");

    // A no-break space is copied as itself; Shift+Delete cuts.
    edit.SetSelStart(11);
    edit.SetSelLength(1);
    QTest::keyClick(&edit, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(clipboard->text(), QString(QChar(0xA0)));
    EXPECT_EQ(edit.Text(), "ab\r\ncb\r\ncd ");

    // Pasted text gets the control's breaks and 8-bit characters.
    clipboard->setText(QStringLiteral("1\r\n2\r3\u20AC\u00E9"));
    edit.SetSelStart(0);
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), "1\r\n2\r\n3?\xE9" "ab\r\ncb\r\ncd ");
}

TEST(SourceEdit, TypedCharactersAreEightBit)
{
    TSourceEdit edit;
    TypeChar(edit, QChar(0xE9));
    TypeChar(edit, QChar(0x20AC));  // not 8-bit: nothing typed
    QTest::keyClick(&edit, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_Tab);
    QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);  // selects all, types nothing
    EXPECT_EQ(edit.Text(), "\xE9 \t");
    EXPECT_EQ(edit.SelLength(), 3);
}

TEST(SourceEdit, Notifications)
{
    TSourceEdit edit;
    std::vector<std::string> log;
    edit.OnKeyDown = [&](QKeyEvent* e) {
        log.push_back("down " + e->text().toStdString());
        return e->text() == QStringLiteral("a");
    };
    edit.OnChar = [&](char c) {
        log.push_back(std::string("char ") + c);
        return c == 'b';
    };
    edit.OnAfterInsert = [&](char c) { log.push_back(std::string("after ") + c); };
    edit.OnKeyUp = [&](QKeyEvent*) { log.push_back("up"); };
    int changes = 0;
    edit.OnChange = [&] { ++changes; };

    QTest::keyClicks(&edit, QStringLiteral("abc"));
    EXPECT_EQ(edit.Text(), "c");
    EXPECT_EQ(log, (std::vector<std::string>{"down a", "up", "down b", "char b", "up", "down c", "char c",
                                             "after c", "up"}));
    EXPECT_EQ(changes, 1);

    // A consumed key does nothing else, own keys included.
    edit.OnKeyDown = [](QKeyEvent*) { return true; };
    QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.Text(), "c");
    edit.OnKeyDown = nullptr;

    // Re-colouring is no change; SetText, ReplaceRange and undo are.
    changes = 0;
    edit.RulesChanged();
    EXPECT_EQ(changes, 0);
    edit.SetText("x");
    edit.ReplaceRange(0, 1, "y");
    edit.Undo();
    EXPECT_EQ(changes, 3);

    int mouse = 0, focus = 0;
    edit.OnMouseDown = [&] { ++mouse; };
    edit.OnFocusLost = [&] { ++focus; };
    QTest::mousePress(edit.viewport(), Qt::LeftButton);
    QTest::mouseRelease(edit.viewport(), Qt::LeftButton);
    EXPECT_EQ(mouse, 1);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&edit, &out);
    EXPECT_EQ(focus, 1);
}

TEST(SourceEdit, AutoIndent)
{
    TSourceEdit edit;
    edit.SetText("  if (a) {  ");
    edit.SetSelStart(12);
    std::vector<char> after;
    edit.OnAfterInsert = [&](char c) { after.push_back(c); };
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Text(), "  if (a) {  \r\n    ");
    EXPECT_EQ(after, std::vector<char>{'\r'});
    QTest::keyClicks(&edit, QStringLiteral("x;"));
    QTest::keyClick(&edit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(edit.Text(), "  if (a) {  \r\n    x;\r\n    ");
    // "}" on a blank line goes back one level.
    QTest::keyClicks(&edit, QStringLiteral("}"));
    EXPECT_EQ(edit.Text(), "  if (a) {  \r\n    x;\r\n  }");
    // Not after other text on the line.
    QTest::keyClicks(&edit, QStringLiteral(" }"));
    EXPECT_EQ(edit.Text(), "  if (a) {  \r\n    x;\r\n  } }");

    // Tabs indent by tabs; Enter in the indentation keeps only what is before the caret.
    edit.SetText("\tf {");
    edit.SetSelStart(4);
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClicks(&edit, QStringLiteral("}"));
    EXPECT_EQ(edit.Text(), "\tf {\r\n\t}");
    edit.SetText("    y");
    edit.SetSelStart(2);
    QTest::keyClick(&edit, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(edit.Text(), "  \r\n    y");

    // Enter replaces the selection; a consumed Enter does nothing.
    edit.SetText("ab");
    edit.SetSelStart(0);
    edit.SetSelLength(2);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Text(), "\r\n");
    edit.OnChar = [](char c) { return c == '\r'; };
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Text(), "\r\n");
}

TEST(SourceEdit, FirstVisibleLineFollowsTheCaret)
{
    TSourceEdit edit;
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    edit.resize(300, 200);
    edit.show();
    edit.SetText(text);
    EXPECT_EQ(edit.FirstVisibleLine(), 0);
    edit.SetSelStart(static_cast<int>(text.size()) - 2);
    edit.ScrollCaretIntoView();
    EXPECT_GT(edit.FirstVisibleLine(), 150);
    edit.grab();  // painting with the caret shown while unfocused
}

} // namespace
} // namespace kestrune
