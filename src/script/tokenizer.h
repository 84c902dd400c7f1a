#pragma once
// The QV5Lang colouring rules, Qt-free: splits text into syntax tokens.
//
// Tokens are found from left to right; at each position the first rule that
// applies decides:
//   1. a delimited span (string literal, comment) whose begin text is found
//      here, running up to and including its end text (or to the end of the
//      text); nothing inside a span is examined further;
//   2. a parenthesis, coloured by nesting level;
//   3. a symbol character;
//   4. plain text: words of A-Z a-z 0-9 _ $ @ (numbers, "$" values, words
//      of the word lists) and runs of other characters.
//
// The line-wise tokenizer carries a small state (the open span, the
// parenthesis depth) from one line to the next so that an editor can colour
// line by line and stop as soon as a line's end state did not change.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kestrune {

enum class TTokenKind { Plain, Word, Number, Value, Symbol, Paren, Span };

// A colour meaning "the control's own text colour" (no colour of its own).
constexpr std::uint32_t kWindowTextColour = 0xFF000000u;

// A list of words coloured alike.
class TWordList {
public:
    TWordList() = default;
    TWordList(std::string caption, std::uint32_t colour, bool bold, bool boldShown = true);

    std::string Caption;
    std::uint32_t Colour = 0;  // 0xRRGGBB
    bool Bold = false;         // the list's style (also used outside the text, e.g. for lists of its words)
    bool BoldShown = true;     // false: the text shows the words normal whatever Bold says

    const std::vector<std::string>& Words() const { return words_; }
    void SetWords(std::vector<std::string> words);
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool on);
    bool Holds(std::string_view word) const;

private:
    void Rebuild();
    std::vector<std::string> words_;
    std::unordered_set<std::string> lookup_;
    bool caseSensitive_ = true;
};

// A span delimited by a begin and an end text (compared with case). The end
// text may hold a line feed only as its last character: it then matches the
// end of a line, whatever line break the text has.
struct TSpanStyle {
    std::string Caption;
    std::string Begin;
    std::string End;
    std::uint32_t Colour = 0;
    bool Bold = false;
};

struct TSyntaxRules {
    static constexpr int kKeyWords = 0;
    static constexpr int kCommands = 1;
    static constexpr int kNames = 2;
    static constexpr int kValues = 3;  // "$" words take this list's colour
    // Only this many span styles take part (the line state keeps one index).
    static constexpr int kMaxSpans = 255;

    std::vector<TWordList> Lists;
    std::vector<TSpanStyle> Spans;
    std::uint32_t SymbolColour = 0x808000;
    std::uint32_t NumberColour = 0xFF0000;
    std::array<std::uint32_t, 6> ParenColours{{0xA0A000, 0x00A0A0, 0xA000A0, 0x0000C0, 0x00C000, 0xC00000}};
    std::uint32_t PlainColour = kWindowTextColour;

    // The configuration of the script editor: key words, the (empty) lists
    // of functions, names and values, strings and comments.
    static TSyntaxRules QV5Lang();

    static bool IsWordChar(char c);
    static bool IsSymbolChar(char c);

    // The colour of parenthesis level n (1-based, repeating after the last);
    // level 0, an unmatched ")", takes the symbol colour.
    std::uint32_t ParenColour(int level) const;
};

// One token. Start and End are offsets (End just after the last character).
// Style: span index for Span, word list index (-1: in no list) for Word,
// the values list for Value, nesting level for Paren (0: an unmatched ")"),
// -1 otherwise.
struct TToken {
    TTokenKind Kind = TTokenKind::Plain;
    int Start = 0;
    int End = 0;
    int Style = -1;
    int Length() const { return End - Start; }
    bool operator==(const TToken& o) const
    {
        return Kind == o.Kind && Start == o.Start && End == o.End && Style == o.Style;
    }
};

// The colour and boldness a token is shown in.
std::uint32_t TokenColour(const TSyntaxRules& rules, const TToken& token);
bool TokenBold(const TSyntaxRules& rules, const TToken& token);

// What one line hands on to the next.
struct TLineState {
    static constexpr int kMaxDepth = (1 << 22) - 1;
    int Span = -1;   // the span style still open at the end of the line, -1 none
    int Depth = 0;   // parentheses open, 0 .. kMaxDepth (saturates)

    bool operator==(const TLineState& o) const { return Span == o.Span && Depth == o.Depth; }
    bool operator!=(const TLineState& o) const { return !(*this == o); }
    // As a non-negative int (for an editor's per-line state), and back.
    int Pack() const;
    static TLineState Unpack(int packed);
};

// Tokenizes one line (without its line break) that starts in `state`,
// appending tokens with offsets into the line, and gives the state at the
// line's end. The line is taken as followed by a line break at offset
// line.size(): a token may end at line.size() + 1 when it takes in the
// break (a span running on, or a "//" comment ending with it); outside a
// span the break is a Plain token [size, size + 1). When the line starts
// inside a span, its first token is the span's continuation.
TLineState TokenizeLine(std::string_view line, TLineState state, const TSyntaxRules& rules,
                        std::vector<TToken>& out);

// The tokens of a whole text with offsets into it (CR LF counts two, CR and
// LF line breaks one). A span crossing lines is one token; a line break
// outside any span is a Plain token of its own.
std::vector<TToken> TokenizeText(std::string_view text, const TSyntaxRules& rules);

// The token holding the character at offset; none beyond the text.
std::optional<TToken> TokenAtOffset(std::string_view text, int offset, const TSyntaxRules& rules);

} // namespace kestrune
