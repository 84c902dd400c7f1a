// The QV5Lang tokenizer: spans shield their contents, parentheses nest
// through lines, words take the colour of the first list holding them, and
// the line state carries spans and depth from line to line.

#include "script/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune {
namespace {

using K = TTokenKind;

struct Piece {
    K kind;
    std::string text;
    int style;
    bool operator==(const Piece& o) const { return kind == o.kind && text == o.text && style == o.style; }
};

std::ostream& operator<<(std::ostream& os, const Piece& p)
{
    return os << "{" << static_cast<int>(p.kind) << " '" << p.text << "' " << p.style << "}";
}

std::vector<Piece> Pieces(const std::string& text, const TSyntaxRules& rules = TSyntaxRules::QV5Lang())
{
    std::vector<Piece> out;
    for (const TToken& t : TokenizeText(text, rules))
        out.push_back({t.Kind, text.substr(static_cast<size_t>(t.Start), static_cast<size_t>(t.Length())), t.Style});
    return out;
}

// Tokens cover the text without gaps or overlaps, whatever it holds.
void ExpectCovers(const std::string& text)
{
    const auto tokens = TokenizeText(text, TSyntaxRules::QV5Lang());
    int at = 0;
    for (const TToken& t : tokens) {
        ASSERT_EQ(t.Start, at) << text;
        ASSERT_GT(t.End, t.Start) << text;
        at = t.End;
    }
    EXPECT_EQ(at, static_cast<int>(text.size())) << text;
}

TEST(Tokenizer, SpansShieldTheirContents)
{
    // A comment marker inside a string, a quote inside a comment.
    EXPECT_EQ(Pieces("'a // b' x"), (std::vector<Piece>{{K::Span, "'a // b'", 0}, {K::Plain, " ", -1}, {K::Word, "x", -1}}));
    EXPECT_EQ(Pieces("// it's\r\nif"), (std::vector<Piece>{{K::Span, "// it's\r\n", 2}, {K::Word, "if", 0}}));
    EXPECT_EQ(Pieces("/* \"( */)"), (std::vector<Piece>{{K::Span, "/* \"( */", 3}, {K::Paren, ")", 0}}));
    EXPECT_EQ(Pieces("\"it's\"'x\"y'"), (std::vector<Piece>{{K::Span, "\"it's\"", 1}, {K::Span, "'x\"y'", 0}}));
    // No escape character: the backslash does not hide the quote.
    EXPECT_EQ(Pieces("'a\\'b"), (std::vector<Piece>{{K::Span, "'a\\'", 0}, {K::Word, "b", -1}}));
    // The end text is searched after the begin text: "/*/" does not close itself.
    EXPECT_EQ(Pieces("/*/ x */y"), (std::vector<Piece>{{K::Span, "/*/ x */", 3}, {K::Word, "y", -1}}));
}

TEST(Tokenizer, UnclosedSpansRunToTheEnd)
{
    EXPECT_EQ(Pieces("a /* b\r\n\r\nc ( 'd"), (std::vector<Piece>{{K::Word, "a", -1}, {K::Plain, " ", -1},
                                                               {K::Span, "/* b\r\n\r\nc ( 'd", 3}}));
    EXPECT_EQ(Pieces("x 'open"), (std::vector<Piece>{{K::Word, "x", -1}, {K::Plain, " ", -1}, {K::Span, "'open", 0}}));
    // "//" on the last line without a break runs to the end of the text.
    EXPECT_EQ(Pieces("a;// end"), (std::vector<Piece>{{K::Word, "a", -1}, {K::Symbol, ";", -1}, {K::Span, "// end", 2}}));
}

TEST(Tokenizer, LineCommentEndsWithAnyLineBreak)
{
    EXPECT_EQ(Pieces("//a\nb"), (std::vector<Piece>{{K::Span, "//a\n", 2}, {K::Word, "b", -1}}));
    EXPECT_EQ(Pieces("//a\rb"), (std::vector<Piece>{{K::Span, "//a\r", 2}, {K::Word, "b", -1}}));
    EXPECT_EQ(Pieces("//\r\n//x\r\n"), (std::vector<Piece>{{K::Span, "//\r\n", 2}, {K::Span, "//x\r\n", 2}}));
    // Outside spans a line break is a token of its own.
    EXPECT_EQ(Pieces("a\r\n\r\nb"), (std::vector<Piece>{{K::Word, "a", -1}, {K::Plain, "\r\n", -1},
                                                         {K::Plain, "\r\n", -1}, {K::Word, "b", -1}}));
}

TEST(Tokenizer, StringsCrossLinesAsOneToken)
{
    EXPECT_EQ(Pieces("x='a\r\nb\r\n'+1"),
              (std::vector<Piece>{{K::Word, "x", -1}, {K::Symbol, "=", -1}, {K::Span, "'a\r\nb\r\n'", 0},
                                  {K::Symbol, "+", -1}, {K::Number, "1", -1}}));
}

TEST(Tokenizer, ParenthesesNestAndColourByLevel)
{
    TSyntaxRules rules = TSyntaxRules::QV5Lang();
    EXPECT_EQ(Pieces("f(a(b)[c]{d})"),
              (std::vector<Piece>{{K::Word, "f", -1}, {K::Paren, "(", 1}, {K::Word, "a", -1}, {K::Paren, "(", 2},
                                  {K::Word, "b", -1}, {K::Paren, ")", 2}, {K::Symbol, "[", -1}, {K::Word, "c", -1},
                                  {K::Symbol, "]", -1}, {K::Symbol, "{", -1}, {K::Word, "d", -1},
                                  {K::Symbol, "}", -1}, {K::Paren, ")", 1}}));
    // Seven levels: the seventh takes the first colour again.
    const auto deep = TokenizeText("(((((((", rules);
    ASSERT_EQ(deep.size(), 7u);
    EXPECT_EQ(deep[6].Style, 7);
    EXPECT_EQ(TokenColour(rules, deep[0]), 0xA0A000u);
    EXPECT_EQ(TokenColour(rules, deep[5]), 0xC00000u);
    EXPECT_EQ(TokenColour(rules, deep[6]), 0xA0A000u);
    // An unmatched ")" is level 0, in the symbol colour, and the depth stays 0.
    const auto stray = TokenizeText(") ()", rules);
    EXPECT_EQ(stray[0].Style, 0);
    EXPECT_EQ(TokenColour(rules, stray[0]), 0x808000u);
    EXPECT_EQ(stray[2].Style, 1);
    EXPECT_EQ(stray[3].Style, 1);
    // Depth carries across lines; parentheses in spans do not count.
    EXPECT_EQ(Pieces("(\r\n'('(")[3], (Piece{K::Paren, "(", 2}));
}

TEST(Tokenizer, WordsNumbersAndValues)
{
    TSyntaxRules rules = TSyntaxRules::QV5Lang();
    rules.Lists[TSyntaxRules::kCommands].SetWords({"Message", "if"});
    rules.Lists[TSyntaxRules::kNames].SetWords({"@Gate"});
    EXPECT_EQ(Pieces("if If Message message @Gate @gate Gate", rules),
              (std::vector<Piece>{{K::Word, "if", 0}, {K::Plain, " ", -1}, {K::Word, "If", -1},
                                  {K::Plain, " ", -1}, {K::Word, "Message", 1}, {K::Plain, " ", -1},
                                  {K::Word, "message", -1}, {K::Plain, " ", -1}, {K::Word, "@Gate", 2},
                                  {K::Plain, " ", -1}, {K::Word, "@gate", -1}, {K::Plain, " ", -1},
                                  {K::Word, "Gate", -1}}));
    // Digit-first words are numbers, letters and all; "$" words are values.
    EXPECT_EQ(Pieces("12.5 3rd x2 $if $1 _a$b@c", rules),
              (std::vector<Piece>{{K::Number, "12", -1}, {K::Symbol, ".", -1}, {K::Number, "5", -1},
                                  {K::Plain, " ", -1}, {K::Number, "3rd", -1}, {K::Plain, " ", -1},
                                  {K::Word, "x2", -1}, {K::Plain, " ", -1}, {K::Value, "$if", 3},
                                  {K::Plain, " ", -1}, {K::Value, "$1", 3}, {K::Plain, " ", -1},
                                  {K::Word, "_a$b@c", -1}}));
    // 8-bit characters end words and are plain text.
    EXPECT_EQ(Pieces("caf\xE9\t\xA0x", rules),
              (std::vector<Piece>{{K::Word, "caf", -1}, {K::Plain, "\xE9\t\xA0", -1}, {K::Word, "x", -1}}));
}

TEST(Tokenizer, WordListsCanIgnoreCase)
{
    TWordList list("l", 0, false);
    list.SetWords({"Foo"});
    EXPECT_FALSE(list.Holds("foo"));
    list.SetCaseSensitive(false);
    EXPECT_TRUE(list.Holds("FOO"));
    EXPECT_FALSE(list.Holds("Fo"));
}

TEST(Tokenizer, LineStateCarriesSpansAndDepth)
{
    const TSyntaxRules rules = TSyntaxRules::QV5Lang();
    std::vector<TToken> tokens;
    TLineState s = TokenizeLine("f( /* a", {}, rules, tokens);
    EXPECT_EQ(s.Span, 3);
    EXPECT_EQ(s.Depth, 1);
    EXPECT_EQ(tokens.back().End, 8);  // takes in the line break

    tokens.clear();
    TLineState s2 = TokenizeLine("b )", s, rules, tokens);
    EXPECT_EQ(s2, s);  // still inside the comment: nothing changes
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].Kind, K::Span);
    EXPECT_EQ(tokens[0].Start, 0);

    tokens.clear();
    TLineState s3 = TokenizeLine("*/ )", s2, rules, tokens);
    EXPECT_EQ(s3, TLineState{});
    EXPECT_EQ(tokens[0].End, 2);
    EXPECT_EQ(tokens[2].Style, 1);  // closes the "(" of the first line

    // A "//" comment ends with its line: the next line starts outside it.
    tokens.clear();
    EXPECT_EQ(TokenizeLine("x // y", {}, rules, tokens).Span, -1);
    EXPECT_EQ(tokens.back().End, 7);

    // The packed state comes back unchanged.
    for (const TLineState st : {TLineState{}, TLineState{3, 0}, TLineState{0, 12345}, TLineState{-1, 5}})
        EXPECT_EQ(TLineState::Unpack(st.Pack()), st);
    EXPECT_EQ(TLineState::Unpack(-1), TLineState{});
}

TEST(Tokenizer, TokenAtOffset)
{
    const TSyntaxRules rules = TSyntaxRules::QV5Lang();
    const std::string text = "ab 'c\r\nd' (x)\r\n// e";
    auto at = [&](int o) { return TokenAtOffset(text, o, rules); };
    ASSERT_TRUE(at(1));
    EXPECT_EQ(at(1)->Start, 0);
    EXPECT_EQ(at(5)->Kind, K::Span);  // CR inside the string
    EXPECT_EQ(at(6)->Start, 3);
    EXPECT_EQ(at(6)->End, 9);
    EXPECT_EQ(at(14)->Kind, K::Plain);  // the LF of the second line's break
    EXPECT_EQ(at(14)->Start, 13);
    EXPECT_EQ(at(16)->Start, 15);
    EXPECT_FALSE(at(static_cast<int>(text.size())));
    EXPECT_FALSE(at(-1));
    EXPECT_FALSE(TokenAtOffset("", 0, rules));
}

TEST(Tokenizer, OddInputAndRulesAreSafe)
{
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += static_cast<char>(c);
    for (const std::string& t : {std::string(), std::string("\r"), std::string("\n\r"), std::string("'"),
                                 std::string("/"), std::string("/*"), std::string("*/"), std::string("//\r"),
                                 std::string(")))((("), bytes, std::string("a\0b", 3)})
        ExpectCovers(t);

    // Empty begin texts are ignored, empty end texts close at once, a line
    // feed inside an end text never matches and more span styles than the
    // state can hold are left out.
    TSyntaxRules rules = TSyntaxRules::QV5Lang();
    rules.Spans.insert(rules.Spans.begin(), {{"none", "", "x", 0, false}, {"mark", "#", "", 0, false},
                                             {"odd", "<", "\n>", 0, false}});
    for (int k = 0; k < 300; ++k)
        rules.Spans.push_back({"more", "%", "%", 0, false});
    EXPECT_EQ(Pieces("#a<b\r\nc", rules),
              (std::vector<Piece>{{K::Span, "#", 1}, {K::Word, "a", -1}, {K::Span, "<b\r\nc", 2}}));
    rules.Lists.clear();
    EXPECT_EQ(TokenColour(rules, TokenizeText("$x", rules)[0]), kWindowTextColour);
}

} // namespace
} // namespace kestrune
