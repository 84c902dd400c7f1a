#pragma once
// The text side of code completion and the parameter hint, Qt-free: words and
// positions around the caret, the context that decides which classes'
// functions are offered, the backwards scan for the call holding the caret,
// the rows of the completion list, what accepting a row inserts, and the
// hint's text with its bold parameter.
//
// Offsets are character offsets into the whole text (a CR LF line break
// counts two). Syntax tokens are asked through a callback so that this code
// does not depend on how the edit control splits its text.

#include "help/functionindex.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// A syntax token as the completion needs it: its text and the offsets of its
// first character and just after its last one. An empty text means no token.
struct TTokenSpan {
    std::string Text;
    int Start = 0;
    int End = 0;
};

// Gives the token holding the character at an offset. May be empty (no
// callback): then no position counts as inside a token.
using TTokenLookup = std::function<TTokenSpan(int offset)>;

// The context that offers the functions belonging to no object.
extern const std::string kDefaultContext;   // "*#index##"
// The context marking a string literal before the "." or ":".
extern const std::string kStringContext;    // "-"

// Letters A-Z a-z, digits, "_", "$", "[" and "]".
bool IsIdentChar(char c);
// Space and tab.
bool IsBlank(char c);

// The start of the word before the caret: the run of identifier characters
// ending at the caret, with a "@" directly before it. Equals the caret when
// the word is empty. The caret is clamped to the text.
int WordStart(std::string_view text, int caret);
std::string WordBefore(std::string_view text, int caret);
// The offset just after the identifier characters that follow the caret.
int WordEnd(std::string_view text, int caret);

// Whether "#" + cls + "#" occurs in the context.
bool ClassOffered(std::string_view context, std::string_view cls);

// Kinds of delimited spans, told by a token's first characters.
bool IsStringToken(std::string_view tokenText);   // begins with ' or "
bool IsCommentToken(std::string_view tokenText);  // begins with // or /*
// Whether a span token is complete: a string with its closing quote, a line
// comment with its line feed, a block comment with its "*/".
bool IsClosedSpan(std::string_view tokenText);

// Whether the character at pos lies inside a string-literal token; the
// closing quote of a complete string does not.
bool InsideStringLiteral(const TTokenLookup& tokenAt, int pos);

// Whether the caret stands in a string literal or a comment, given the token
// holding the character before it. A caret just after a complete span (after
// the closing quote, the comment's line feed or its "*/") stands outside it.
bool CaretInSpan(const TTokenSpan& caretToken, int caret);
bool CaretInString(const TTokenSpan& caretToken, int caret);
// Completion is allowed unless the caret stands in a string or a comment
// (also at the start of the text, where no token precedes the caret).
bool CompletionAllowed(const TTokenSpan& caretToken, int caret);

// Result of the backwards call scan.
struct TCallScan {
    bool Found = false;
    int Pos = -1;         // the character reached: just before the "(" found,
                          // or where a scan with a character to skip stopped
    int Paren = -1;       // offset of the "(" found, -1 when none was needed
    int ParamIndex = 0;   // top-level commas between that "(" and the start
};

// Scans backwards from the character at `start` for the "(" of the call
// holding it, skipping strings, block and line comments and nested
// parentheses and counting top-level commas. With a character to skip
// (non-zero): a start inside a string gives "not found"; otherwise blanks
// are stepped over and, unless the character reached is `skip`, the scan
// stops there; if it is, the scan steps over it and looks for its "(".
TCallScan ScanCall(std::string_view text, int start, const TTokenLookup& tokenAt, char skip = 0);

// The context for the position `pos` (the offset just after the text that
// precedes the word being completed): the default context unless a "." or
// ":" stands there; "-" after a string literal; otherwise the return types,
// each followed by "#", of every function named like the identifier before
// the "." (after a call's parentheses, the identifier before them).
std::string ContextBefore(std::string_view text, int pos, const TFunctionIndex* index,
                          const TTokenLookup& tokenAt);

// A row of the completion list: its text and, for a function, its entry in
// FunctionNames (-1 for a name).
struct TCompletionRow {
    std::string Text;
    int Entry = -1;
};

// The rows for a prefix and a context: names ("@" prefixes, compared with
// case) or the functions whose class the context offers; sorted without
// regard to case. A "-" context with a non-empty prefix offers the default
// context's functions.
std::vector<TCompletionRow> CompletionRows(const std::string& prefix, const std::string& context,
                                           const TFunctionIndex* index,
                                           const std::vector<std::string>& names);

// The parts a function row is drawn from.
struct TRowParts {
    std::string ClassName;   // empty for the class "index"
    std::string Name;
    std::string Params;      // parameter text or "()", with ": " when a return type follows
    std::string Returns;     // return type without its leading "#"
    bool ClassType = false;  // the return type names a class
};
TRowParts RowPartsOf(const TFunctionIndex& index, int entry);

// What accepting a row does to the text.
struct TAcceptance {
    int Start = 0;          // range replaced: [Start, End)
    int End = 0;
    std::string Text;       // text inserted
    int Caret = 0;          // caret afterwards
    bool HasParams = false; // the function takes parameters: show the hint
    bool Member = false;    // the text ends with ".": list the members
};
TAcceptance AcceptText(std::string_view text, int caret, bool wholeWord, const TCompletionRow& row,
                       const TFunctionIndex* index, bool addParentheses);

// The call holding the caret, as the parameter hint sees it.
struct THintCall {
    bool Found = false;
    std::string Name;      // identifier before the "(" (blanks skipped)
    int NameStart = 0;     // its offset
    int ParamIndex = 0;
};
THintCall FindHintCall(std::string_view text, int caret, const TTokenLookup& tokenAt);

// The entries of FunctionNames named `name` (no regard to case): the first
// one and how many there are (0 when none).
struct TOverloads {
    int First = -1;
    int Count = 0;
};
TOverloads OverloadsOf(const TFunctionIndex* index, std::string_view name);

// The first overload whose class the context offers, else the last one.
int ChooseOverload(const TFunctionIndex& index, TOverloads overloads, std::string_view context);
// An overload index moved beyond the ends wraps round.
int WrapOverload(int overload, int count);

// The signature of an entry: "Class.name(params)", with "()" for an empty
// parameter text; a function of the class "index" (of no object) shows no
// class: "name(params)".
std::string HintSignature(const TFunctionIndex& index, int entry);
// The hint: the overload's signature, followed by "  k/n" when there are
// several overloads.
std::string HintText(const TFunctionIndex& index, TOverloads overloads, int overload);

// The part of a signature to draw in bold for parameter k: starts after the
// "(" or after the comma closing parameter k - 1, ends with the comma closing
// parameter k or before the ")" closing the list. Past the last parameter,
// every parameter is bold. Offsets in the signature are offsets in the hint.
struct TTextRun {
    int Start = 0;
    int Length = 0;
};
TTextRun BoldRun(std::string_view signature, int k);

} // namespace kestrune
