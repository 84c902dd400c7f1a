// The text side of code completion: words around the caret, contexts, the
// backwards call scan, list rows, accepted texts and the parameter hint, on
// a small help folder written for the tests.

#include "script/completionlogic.h"

#include "core/test_util.h"

#include "help/help_pages_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace kestrune {
namespace {

using test::ClassLink;
using test::Function;
using test::WritePage;

// index: functions of no object; Say has three overloads (Npc, Monster,
// index in scan order), Map two with different documentation.
class CompletionLogic : public ::testing::Test {
protected:
    void SetUp() override
    {
        Write("index", Function("monster", "", ClassLink("Monster")) + Function("MoveAll", "(x, y)", "") +
                           Function("Mood", "", "") + Function("f", "(a, b, c)", "") + Function("g", "(x)", "") +
                           Function("Random", "(min, max)", "int") + Function("Beep", "", "") +
                           Function("Say", "(text)", "") + Function("Map", "(name)", ClassLink("Map")) +
                           Function("+", "(a, b)", ""));
        Write("Monster", Function("Attack", "(target)", "") + Function("Say", "(text, seconds)", "") +
                             Function("Map", "", ClassLink("Map")));
        Write("Npc", Function("Say", "(text, mood)", ""));
        Write("Map", Function("Width", "", "int"));
        index.BuildFunctionIndex(dir.Path());
    }

    void Write(const std::string& cls, const std::string& body)
    {
        std::ofstream(dir / (cls + ".class.html"), std::ios::binary) << "<html><body>\n" << body << "</body></html>\n";
    }

    std::vector<std::string> Texts(const std::vector<TCompletionRow>& rows)
    {
        std::vector<std::string> out;
        for (const auto& r : rows)
            out.push_back(r.Text);
        return out;
    }

    test::TempDir dir;
    TFunctionIndex index;
};

// Tokens as the edit control forms them: string literals and comments are
// one token with their delimiters, words and other characters their own.
TTokenLookup Tokens(const std::string& text)
{
    return [text](int offset) -> TTokenSpan {
        const int n = static_cast<int>(text.size());
        int i = 0;
        while (i < n) {
            int end = i + 1;
            auto spanTo = [&](const std::string& close, int from) {
                const size_t at = text.find(close, from);
                return at == std::string::npos ? n : static_cast<int>(at + close.size());
            };
            if (text[i] == '\'' || text[i] == '"')
                end = spanTo(std::string(1, text[i]), i + 1);
            else if (text.compare(i, 2, "//") == 0)
                end = spanTo("\n", i + 2);
            else if (text.compare(i, 2, "/*") == 0)
                end = spanTo("*/", i + 2);
            else if (IsIdentChar(text[i]))
                while (end < n && IsIdentChar(text[end]))
                    ++end;
            if (offset >= i && offset < end)
                return {text.substr(i, end - i), i, end};
            i = end;
        }
        return {};
    };
}

std::string Context(const std::string& text, const TFunctionIndex& index)
{
    return ContextBefore(text, static_cast<int>(text.size()), &index, Tokens(text));
}

TCallScan ScanFromEnd(const std::string& text)
{
    return ScanCall(text, static_cast<int>(text.size()) - 1, Tokens(text));
}

TEST(CompletionWords, WordBeforeAndAfterTheCaret)
{
    EXPECT_EQ(WordBefore("x = @Hero_1", 11), "@Hero_1");
    EXPECT_EQ(WordBefore("a.b[2]$", 7), "b[2]$");
    EXPECT_EQ(WordBefore("a@@b", 4), "@b");
    EXPECT_EQ(WordBefore("x = @", 5), "@");
    EXPECT_EQ(WordBefore("f(", 2), "");
    EXPECT_EQ(WordBefore("abc", 0), "");
    EXPECT_EQ(WordBefore("abc", 2), "ab");
    EXPECT_EQ(WordBefore("abc", 99), "abc");   // clamped to the text
    EXPECT_EQ(WordBefore("abc", -3), "");
    EXPECT_EQ(WordBefore("h\xe9llo", 6), "llo"); // Latin-1 letters are no identifier characters
    EXPECT_EQ(WordEnd("Mood(x)", 2), 4);
    EXPECT_EQ(WordEnd("Mo", 2), 2);
}

TEST(CompletionWords, CaretInStringsAndComments)
{
    const TTokenSpan closed{"'abc'", 4, 9};
    EXPECT_TRUE(CaretInString(closed, 8));
    EXPECT_FALSE(CaretInString(closed, 9));     // after the closing quote
    EXPECT_TRUE(CaretInString({"'ab", 4, 7}, 7)); // a string running to the end of the text
    EXPECT_TRUE(CaretInString({"\"", 0, 1}, 1));
    EXPECT_FALSE(CompletionAllowed({"// note\r\n", 0, 9}, 8));
    EXPECT_TRUE(CompletionAllowed({"// note\r\n", 0, 9}, 9)); // the next line begins
    EXPECT_FALSE(CompletionAllowed({"// note", 0, 7}, 7));
    EXPECT_FALSE(CompletionAllowed({"/* a */", 0, 7}, 6));
    EXPECT_TRUE(CompletionAllowed({"/* a */", 0, 7}, 7));
    EXPECT_FALSE(CompletionAllowed({"/*/", 0, 3}, 3));      // "*/" may not share the "*" of "/*"
    EXPECT_TRUE(CompletionAllowed({}, 0));                  // the start of the text
    EXPECT_TRUE(CompletionAllowed({"Mo", 0, 2}, 2));
    EXPECT_TRUE(CompletionAllowed({"/", 0, 1}, 1));
}

TEST_F(CompletionLogic, ContextFromTheTextBeforeTheDot)
{
    EXPECT_EQ(Context("x = y", index), kDefaultContext);
    EXPECT_EQ(Context("", index), kDefaultContext);
    EXPECT_EQ(Context("monster().", index), "#Monster#");
    EXPECT_EQ(Context("monster ( 1, ')', f(2) ) :", index), "#Monster#");
    EXPECT_EQ(Context("a := monster.  ", index), "#Monster#");
    EXPECT_EQ(Context("Map().", index), "#Map##Map#");  // every entry of the name
    EXPECT_EQ(Context("Random(1, 2).", index), "int#");
    EXPECT_EQ(Context("unknown().", index), kDefaultContext);
    EXPECT_EQ(Context("(monster).", index), kDefaultContext); // nothing before the "("
    EXPECT_EQ(Context("x.", index), kDefaultContext);
    EXPECT_EQ(Context(".", index), kDefaultContext);
    // string literals
    EXPECT_EQ(Context("'abc'.", index), kStringContext);
    EXPECT_EQ(Context("\"a.b\" :", index), kStringContext);
    EXPECT_EQ(Context("'ab(c).", index), kDefaultContext); // the "." lies in a string
    EXPECT_EQ(Context("'(' monster().", index), "#Monster#");
    // only a call's parentheses are skipped, nothing else
    EXPECT_EQ(Context("monster() /* c */.", index), kDefaultContext);
    EXPECT_EQ(ContextBefore("monster().Na", 10, &index, Tokens("monster().Na")), "#Monster#");
    EXPECT_EQ(ContextBefore("monster().", 10, nullptr, {}), kDefaultContext);
}

TEST_F(CompletionLogic, RowsForPrefixAndContext)
{
    // prefixes compare with case; rows are sorted without regard to case
    EXPECT_EQ(Texts(CompletionRows("Mo", kDefaultContext, &index, {})),
              (std::vector<std::string>{"Mood", "MoveAll"}));
    EXPECT_EQ(Texts(CompletionRows("", kDefaultContext, &index, {})),
              (std::vector<std::string>{"Beep", "f", "g", "Map", "monster", "Mood", "MoveAll", "Random", "Say"}));
    EXPECT_EQ(Texts(CompletionRows("", "#Monster#", &index, {})),
              (std::vector<std::string>{"Attack", "Map", "Say"}));
    // one row per offered class
    const auto says = CompletionRows("Sa", "#Monster##Npc#", &index, {});
    ASSERT_EQ(says.size(), 2u);
    EXPECT_EQ(index.ClassOf(says[0].Entry), "Npc");
    EXPECT_EQ(index.ClassOf(says[1].Entry), "Monster");
    // after a string literal: nothing, unless a word has been begun
    EXPECT_TRUE(CompletionRows("", kStringContext, &index, {}).empty());
    EXPECT_EQ(Texts(CompletionRows("R", kStringContext, &index, {})), (std::vector<std::string>{"Random"}));
    EXPECT_TRUE(CompletionRows("", "int#", &index, {}).empty());
    EXPECT_TRUE(CompletionRows("", kDefaultContext, nullptr, {}).empty());

    const std::vector<std::string> names = {"@alpha", "@bet", "@Beta", "@gamma"};
    EXPECT_EQ(Texts(CompletionRows("@", "-", &index, names)), names);
    EXPECT_EQ(Texts(CompletionRows("@B", kDefaultContext, &index, names)), (std::vector<std::string>{"@Beta"}));
    EXPECT_TRUE(CompletionRows("@x", kDefaultContext, &index, names).empty());
}

TEST_F(CompletionLogic, RowParts)
{
    const auto part = [&](const std::string& name, const std::string& context) {
        return RowPartsOf(index, CompletionRows(name, context, &index, {}).at(0).Entry);
    };
    TRowParts p = part("monster", kDefaultContext);
    EXPECT_EQ(p.ClassName, "");
    EXPECT_EQ(p.Params, ": ");
    EXPECT_EQ(p.Returns, "Monster");
    EXPECT_TRUE(p.ClassType);
    p = part("Random", kDefaultContext);
    EXPECT_EQ(p.Params, "(min, max): ");
    EXPECT_EQ(p.Returns, "int");
    EXPECT_FALSE(p.ClassType);
    p = part("Beep", kDefaultContext);
    EXPECT_EQ(p.Params, "()");
    EXPECT_EQ(p.Returns, "");
    p = part("Attack", "#Monster#");
    EXPECT_EQ(p.ClassName, "Monster");
    EXPECT_EQ(p.Name, "Attack");
    EXPECT_EQ(p.Params, "(target)");
}

TEST_F(CompletionLogic, AcceptedTexts)
{
    const std::string text = "x = Mood + 1";
    const auto row = [&](const std::string& name, const std::string& context = kDefaultContext) {
        return CompletionRows(name, context, &index, {}).at(0);
    };
    // parameters: "()" with the caret between them; whole word or up to the caret
    TAcceptance a = AcceptText(text, 6, true, row("MoveAll"), &index, true);
    EXPECT_EQ(a.Start, 4);
    EXPECT_EQ(a.End, 8);
    EXPECT_EQ(a.Text, "MoveAll()");
    EXPECT_EQ(a.Caret, 4 + 8);
    EXPECT_TRUE(a.HasParams);
    EXPECT_FALSE(a.Member);
    a = AcceptText(text, 6, false, row("MoveAll"), &index, true);
    EXPECT_EQ(a.End, 6);
    // neither parameters nor a return type: "()" only with the option on
    a = AcceptText(text, 8, true, row("Beep"), &index, true);
    EXPECT_EQ(a.Text, "Beep()");
    EXPECT_EQ(a.Caret, 4 + 5);
    EXPECT_FALSE(a.HasParams);
    a = AcceptText(text, 8, true, row("Beep"), &index, false);
    EXPECT_EQ(a.Text, "Beep");
    EXPECT_EQ(a.Caret, 8);
    // a class return type: "." and the members open
    a = AcceptText("mon", 3, true, row("monster"), &index, true);
    EXPECT_EQ(a.Text, "monster.");
    EXPECT_EQ(a.Caret, 8);
    EXPECT_TRUE(a.Member);
    // the row's own class decides between differently documented entries
    EXPECT_EQ(AcceptText("M", 1, true, row("Map", "#Monster#"), &index, true).Text, "Map.");
    EXPECT_EQ(AcceptText("M", 1, true, row("Map"), &index, true).Text, "Map()");
    EXPECT_EQ(AcceptText("M", 1, true, {"Map", -1}, &index, true).Text, "Map."); // the first entry
    // names and unknown texts are inserted as they are
    a = AcceptText("say @He", 7, true, {"@Hero", -1}, &index, true);
    EXPECT_EQ(a.Start, 4);
    EXPECT_EQ(a.Text, "@Hero");
    EXPECT_EQ(a.Caret, 9);
    EXPECT_EQ(AcceptText("x", 1, true, {"Nothing", -1}, &index, true).Text, "Nothing");
    EXPECT_EQ(AcceptText("x", 1, true, {"Beep", 999}, nullptr, true).Text, "Beep");
}

TEST(CompletionCallScan, ParametersStringsAndComments)
{
    TCallScan s = ScanFromEnd("x := f(a, g(b), c");
    ASSERT_TRUE(s.Found);
    EXPECT_EQ(s.Paren, 6);
    EXPECT_EQ(s.Pos, 5);
    EXPECT_EQ(s.ParamIndex, 2);
    // commas and parentheses inside strings and block comments do not count
    s = ScanFromEnd("f('x,(', \"y)\", c");
    EXPECT_EQ(s.Paren, 1);
    EXPECT_EQ(s.ParamIndex, 2);
    s = ScanFromEnd("f(a /* ,( */, b");
    EXPECT_EQ(s.Paren, 1);
    EXPECT_EQ(s.ParamIndex, 1);
    s = ScanFromEnd("f(a, /* (x*y/z */ b");
    EXPECT_EQ(s.Paren, 1);
    EXPECT_EQ(s.ParamIndex, 1);
    s = ScanFromEnd("f(a, // g(x, 'y\r\n b");
    EXPECT_EQ(s.Paren, 1);
    EXPECT_EQ(s.ParamIndex, 1);
    // the caret inside a string: the scan begins in it
    s = ScanFromEnd("f(a, 'b, (c");
    EXPECT_EQ(s.Paren, 1);
    EXPECT_EQ(s.ParamIndex, 1);
    s = ScanFromEnd("f(a, 'b, (c' ");
    EXPECT_EQ(s.ParamIndex, 1);
    // not found
    EXPECT_FALSE(ScanFromEnd("a, b").Found);
    EXPECT_FALSE(ScanFromEnd("f(a), b").Found);
    EXPECT_FALSE(ScanFromEnd("").Found);
    EXPECT_FALSE(ScanFromEnd("*/ x").Found);
    EXPECT_FALSE(ScanCall("/**/", 3, {}).Found);
    // without tokens the text alone is read
    s = ScanCall("f(a /* ( */, b", 13, {});
    EXPECT_EQ(s.Paren, 1);
    EXPECT_EQ(s.ParamIndex, 1);
    // a character to skip: the scan stops unless it is that character
    s = ScanCall("x  abc  ", 7, Tokens("x  abc  "), ')');
    EXPECT_EQ(s.Pos, 5);
    EXPECT_EQ(s.Paren, -1);
    s = ScanCall("f(x) ", 4, Tokens("f(x) "), ')');
    EXPECT_EQ(s.Pos, 0);
    EXPECT_FALSE(ScanCall("'a)", 2, Tokens("'a)"), ')').Found);
}

TEST_F(CompletionLogic, HintCallAndOverloads)
{
    const std::string text = "f (a, g(b), c";
    THintCall call = FindHintCall(text, static_cast<int>(text.size()), Tokens(text));
    ASSERT_TRUE(call.Found);
    EXPECT_EQ(call.Name, "f");
    EXPECT_EQ(call.NameStart, 0);
    EXPECT_EQ(call.ParamIndex, 2);
    EXPECT_FALSE(FindHintCall("(a", 2, Tokens("(a")).Found);
    EXPECT_FALSE(FindHintCall("f(", 0, Tokens("f(")).Found);
    EXPECT_EQ(FindHintCall("x.Say(", 6, Tokens("x.Say(")).NameStart, 2);

    const TOverloads f = OverloadsOf(&index, "f");
    EXPECT_EQ(f.Count, 1);
    EXPECT_EQ(HintText(index, f, 0), "f(a, b, c)");
    EXPECT_EQ(HintText(index, OverloadsOf(&index, "beep"), 0), "Beep()");
    EXPECT_EQ(OverloadsOf(&index, "Unknown").Count, 0);
    EXPECT_EQ(OverloadsOf(nullptr, "f").Count, 0);

    // three overloads: the one of an offered class, else the last
    const TOverloads say = OverloadsOf(&index, "say");
    ASSERT_EQ(say.Count, 3);
    EXPECT_EQ(ChooseOverload(index, say, kDefaultContext), 2);
    EXPECT_EQ(HintText(index, say, 2), "Say(text)  3/3");
    EXPECT_EQ(ChooseOverload(index, say, "#Npc#"), 0);
    EXPECT_EQ(HintText(index, say, 0), "Npc.Say(text, mood)  1/3");
    EXPECT_EQ(ChooseOverload(index, say, "int#"), 2);
    EXPECT_EQ(ChooseOverload(index, OverloadsOf(&index, "Map"), "#Monster#"), 0);
    EXPECT_EQ(ChooseOverload(index, OverloadsOf(&index, "Map"), kDefaultContext), 1);
    EXPECT_EQ(WrapOverload(3, 3), 0);
    EXPECT_EQ(WrapOverload(-1, 3), 2);
    EXPECT_EQ(WrapOverload(1, 3), 1);
}

TEST(CompletionHint, BoldParameter)
{
    const std::string sig = "index.f(a, b, c)";
    const auto bold = [&](const std::string& s, int k) {
        const TTextRun r = BoldRun(s, k);
        return s.substr(r.Start, r.Length);
    };
    EXPECT_EQ(bold(sig, 0), "a,");
    EXPECT_EQ(bold(sig, 1), " b,");
    EXPECT_EQ(bold(sig, 2), " c");
    EXPECT_EQ(bold(sig, 3), "a, b, c");   // past the last parameter
    EXPECT_EQ(BoldRun(sig, 2).Start, 13);
    EXPECT_EQ(bold("index.Beep()", 0), "");
    EXPECT_EQ(BoldRun("index.Beep()", 0).Start, 11);
    EXPECT_EQ(bold("index.Beep()", 2), "");
    EXPECT_EQ(bold("M.g(x, y", 1), " y");    // a parameter text without ")"
    EXPECT_EQ(bold("M.g(x, y", 4), "x, y");
    EXPECT_EQ(bold("M.g(x) more", 0), "x");
    EXPECT_EQ(bold("M.g", 0), "");
}

} // namespace
} // namespace kestrune
