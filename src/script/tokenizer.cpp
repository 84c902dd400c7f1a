#include "script/tokenizer.h"

#include <algorithm>

namespace kestrune {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

// The line as seen by the tokenizer: its characters, then one line feed.
struct LineView {
    std::string_view text;
    int n;
    int At(int i) const { return i < n ? static_cast<unsigned char>(text[static_cast<size_t>(i)]) : '\n'; }
    // Whether s lies at offset i (the line feed at n included).
    bool Matches(int i, const std::string& s) const
    {
        const int len = static_cast<int>(s.size());
        if (i + len > n + 1)
            return false;
        for (int k = 0; k < len; ++k)
            if (At(i + k) != static_cast<unsigned char>(s[static_cast<size_t>(k)]))
                return false;
        return true;
    }
    // Offset just after the first occurrence of s at or after `from`, or -1.
    int FindEnd(int from, const std::string& s) const
    {
        if (s.empty())
            return from;
        const size_t lf = s.find('\n');
        if (lf == std::string::npos) {
            if (from >= n)
                return -1;
            const size_t at = text.find(s, static_cast<size_t>(from));
            return at == std::string_view::npos ? -1 : static_cast<int>(at + s.size());
        }
        if (lf + 1 != s.size())
            return -1;  // a line feed inside the end text never matches
        // Only the line's own break can hold the line feed.
        const int at = n - static_cast<int>(lf);
        if (at < from || !Matches(at, s))
            return -1;
        return n + 1;
    }
};

bool IsWord(unsigned char c) { return TSyntaxRules::IsWordChar(static_cast<char>(c)); }
bool IsSymbol(unsigned char c) { return TSyntaxRules::IsSymbolChar(static_cast<char>(c)); }

} // namespace

// ---------------------------------------------------------------------------

TWordList::TWordList(std::string caption, std::uint32_t colour, bool bold, bool boldShown)
    : Caption(std::move(caption)), Colour(colour), Bold(bold), BoldShown(boldShown)
{
}

void TWordList::SetWords(std::vector<std::string> words)
{
    words_ = std::move(words);
    Rebuild();
}

void TWordList::SetCaseSensitive(bool on)
{
    if (on == caseSensitive_)
        return;
    caseSensitive_ = on;
    Rebuild();
}

void TWordList::Rebuild()
{
    lookup_.clear();
    lookup_.reserve(words_.size());
    for (const std::string& w : words_)
        lookup_.insert(caseSensitive_ ? w : Lowered(w));
}

bool TWordList::Holds(std::string_view word) const
{
    if (lookup_.empty())
        return false;
    return lookup_.count(caseSensitive_ ? std::string(word) : Lowered(word)) != 0;
}

// ---------------------------------------------------------------------------

TSyntaxRules TSyntaxRules::QV5Lang()
{
    TSyntaxRules rules;
    TWordList keyWords("key words", 0x000080, true);
    keyWords.SetWords({"if", "else", "while", "for", "break", "local", "function", "return", "exit", "do",
                       "cancelAction", "terminate"});
    rules.Lists.push_back(std::move(keyWords));
    rules.Lists.emplace_back("in commands", 0x000000, true);
    // The names' style is bold (lists of names use it) but the text shows them normal.
    rules.Lists.emplace_back("Names", 0x008080, true, false);
    rules.Lists.emplace_back("Values", 0x008080, false);

    rules.Spans.push_back({"String", "'", "'", 0x800000, false});
    rules.Spans.push_back({"String 2", "\"", "\"", 0x800000, false});
    rules.Spans.push_back({"", "//", "\n", 0x808080, false});
    rules.Spans.push_back({"", "/*", "*/", 0x808080, false});
    return rules;
}

bool TSyntaxRules::IsWordChar(char ch)
{
    const unsigned char c = static_cast<unsigned char>(ch);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '@';
}

bool TSyntaxRules::IsSymbolChar(char c)
{
    switch (c) {
    case '!': case '"': case '#': case '%': case '&': case '\'': case '*': case '+': case ',':
    case '-': case '.': case '/': case ':': case ';': case '<': case '=': case '>': case '?':
    case '[': case '\\': case ']': case '^': case '{': case '|': case '}': case '~':
        return true;
    default:
        return false;
    }
}

std::uint32_t TSyntaxRules::ParenColour(int level) const
{
    if (level <= 0)
        return SymbolColour;
    return ParenColours[static_cast<size_t>((level - 1) % static_cast<int>(ParenColours.size()))];
}

std::uint32_t TokenColour(const TSyntaxRules& rules, const TToken& t)
{
    switch (t.Kind) {
    case TTokenKind::Span:
        return (t.Style >= 0 && t.Style < static_cast<int>(rules.Spans.size()))
                   ? rules.Spans[static_cast<size_t>(t.Style)].Colour
                   : rules.PlainColour;
    case TTokenKind::Word:
    case TTokenKind::Value:
        return (t.Style >= 0 && t.Style < static_cast<int>(rules.Lists.size()))
                   ? rules.Lists[static_cast<size_t>(t.Style)].Colour
                   : rules.PlainColour;
    case TTokenKind::Number:
        return rules.NumberColour;
    case TTokenKind::Symbol:
        return rules.SymbolColour;
    case TTokenKind::Paren:
        return rules.ParenColour(t.Style);
    case TTokenKind::Plain:
        break;
    }
    return rules.PlainColour;
}

bool TokenBold(const TSyntaxRules& rules, const TToken& t)
{
    if (t.Kind == TTokenKind::Span)
        return t.Style >= 0 && t.Style < static_cast<int>(rules.Spans.size()) &&
               rules.Spans[static_cast<size_t>(t.Style)].Bold;
    if (t.Kind == TTokenKind::Word && t.Style >= 0 && t.Style < static_cast<int>(rules.Lists.size())) {
        const TWordList& list = rules.Lists[static_cast<size_t>(t.Style)];
        return list.Bold && list.BoldShown;
    }
    return false;
}

// ---------------------------------------------------------------------------

int TLineState::Pack() const
{
    const int span = std::clamp(Span, -1, TSyntaxRules::kMaxSpans - 1);
    const int depth = std::clamp(Depth, 0, kMaxDepth);
    return (depth << 8) | (span + 1);
}

TLineState TLineState::Unpack(int packed)
{
    TLineState s;
    if (packed < 0)
        return s;
    s.Span = (packed & 0xFF) - 1;
    s.Depth = packed >> 8;
    return s;
}

TLineState TokenizeLine(std::string_view line, TLineState state, const TSyntaxRules& rules,
                        std::vector<TToken>& out)
{
    const LineView v{line, static_cast<int>(line.size())};
    const int n = v.n;
    const int spanCount = std::min(static_cast<int>(rules.Spans.size()), TSyntaxRules::kMaxSpans);
    state.Depth = std::clamp(state.Depth, 0, TLineState::kMaxDepth);

    // First characters of the span begin texts: a quick test before matching.
    std::array<bool, 256> spanFirst{};
    for (int s = 0; s < spanCount; ++s)
        if (!rules.Spans[static_cast<size_t>(s)].Begin.empty())
            spanFirst[static_cast<unsigned char>(rules.Spans[static_cast<size_t>(s)].Begin[0])] = true;
    auto spanAt = [&](int i) -> int {
        if (!spanFirst[static_cast<size_t>(v.At(i))])
            return -1;
        for (int s = 0; s < spanCount; ++s) {
            const std::string& begin = rules.Spans[static_cast<size_t>(s)].Begin;
            if (!begin.empty() && v.Matches(i, begin))
                return s;
        }
        return -1;
    };

    int i = 0;
    if (state.Span >= spanCount)
        state.Span = -1;  // the rules lost that span style
    if (state.Span >= 0) {
        const int end = v.FindEnd(0, rules.Spans[static_cast<size_t>(state.Span)].End);
        if (end < 0) {
            out.push_back({TTokenKind::Span, 0, n + 1, state.Span});
            return state;
        }
        if (end > 0)
            out.push_back({TTokenKind::Span, 0, end, state.Span});
        state.Span = -1;
        i = end;
    }

    while (i <= n) {
        const int s = spanAt(i);
        if (s >= 0) {
            const TSpanStyle& style = rules.Spans[static_cast<size_t>(s)];
            const int end = v.FindEnd(i + static_cast<int>(style.Begin.size()), style.End);
            if (end < 0) {
                out.push_back({TTokenKind::Span, i, n + 1, s});
                state.Span = s;
                return state;
            }
            out.push_back({TTokenKind::Span, i, end, s});
            i = end;
            continue;
        }
        if (i == n) {
            out.push_back({TTokenKind::Plain, n, n + 1, -1});  // the line break
            break;
        }
        const unsigned char c = static_cast<unsigned char>(line[static_cast<size_t>(i)]);
        if (c == '(') {
            if (state.Depth < TLineState::kMaxDepth)
                ++state.Depth;
            out.push_back({TTokenKind::Paren, i, i + 1, state.Depth});
            ++i;
        } else if (c == ')') {
            out.push_back({TTokenKind::Paren, i, i + 1, state.Depth});
            if (state.Depth > 0)
                --state.Depth;
            ++i;
        } else if (IsSymbol(c)) {
            out.push_back({TTokenKind::Symbol, i, i + 1, -1});
            ++i;
        } else if (IsWord(c)) {
            int j = i + 1;
            while (j < n && IsWord(static_cast<unsigned char>(line[static_cast<size_t>(j)])) && spanAt(j) < 0)
                ++j;
            TToken t{TTokenKind::Word, i, j, -1};
            if (c >= '0' && c <= '9') {
                t.Kind = TTokenKind::Number;
            } else if (c == '$') {
                t.Kind = TTokenKind::Value;
                t.Style = TSyntaxRules::kValues;
            } else {
                const std::string_view word = line.substr(static_cast<size_t>(i), static_cast<size_t>(j - i));
                for (size_t l = 0; l < rules.Lists.size(); ++l)
                    if (rules.Lists[l].Holds(word)) {
                        t.Style = static_cast<int>(l);
                        break;
                    }
            }
            out.push_back(t);
            i = j;
        } else {
            // Blanks and other characters outside words, up to the next
            // token of another kind.
            int j = i + 1;
            while (j < n) {
                const unsigned char d = static_cast<unsigned char>(line[static_cast<size_t>(j)]);
                if (d == '(' || d == ')' || IsSymbol(d) || IsWord(d) || spanAt(j) >= 0)
                    break;
                ++j;
            }
            out.push_back({TTokenKind::Plain, i, j, -1});
            i = j;
        }
    }
    return state;
}

std::vector<TToken> TokenizeText(std::string_view text, const TSyntaxRules& rules)
{
    std::vector<TToken> tokens;
    std::vector<TToken> lineTokens;
    TLineState state;
    const int size = static_cast<int>(text.size());
    int start = 0;
    while (start <= size) {
        int end = start;
        while (end < size && text[static_cast<size_t>(end)] != '\r' && text[static_cast<size_t>(end)] != '\n')
            ++end;
        int breakLength = 0;
        if (end < size)
            breakLength = (text[static_cast<size_t>(end)] == '\r' && end + 1 < size &&
                           text[static_cast<size_t>(end) + 1] == '\n')
                              ? 2
                              : 1;
        const int n = end - start;
        const bool continues = state.Span >= 0;
        lineTokens.clear();
        state = TokenizeLine(text.substr(static_cast<size_t>(start), static_cast<size_t>(n)), state, rules,
                             lineTokens);
        for (size_t k = 0; k < lineTokens.size(); ++k) {
            TToken t = lineTokens[k];
            auto place = [&](int o) { return o <= n ? start + o : end + breakLength; };
            t.Start = place(t.Start);
            t.End = place(t.End);
            if (t.End <= t.Start)
                continue;
            if (k == 0 && continues && t.Kind == TTokenKind::Span && !tokens.empty() &&
                tokens.back().Kind == TTokenKind::Span && tokens.back().End == t.Start) {
                tokens.back().End = t.End;
                continue;
            }
            tokens.push_back(t);
        }
        if (breakLength == 0)
            break;
        start = end + breakLength;
    }
    return tokens;
}

std::optional<TToken> TokenAtOffset(std::string_view text, int offset, const TSyntaxRules& rules)
{
    if (offset < 0 || offset >= static_cast<int>(text.size()))
        return std::nullopt;
    const std::vector<TToken> tokens = TokenizeText(text, rules);
    auto it = std::upper_bound(tokens.begin(), tokens.end(), offset,
                               [](int o, const TToken& t) { return o < t.Start; });
    if (it == tokens.begin())
        return std::nullopt;
    --it;
    if (offset < it->End)
        return *it;
    return std::nullopt;
}

} // namespace kestrune
