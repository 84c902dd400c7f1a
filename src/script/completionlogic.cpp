#include "script/completionlogic.h"

#include "core/text.h"

#include <algorithm>

namespace kestrune {

const std::string kDefaultContext = "*#index##";
const std::string kStringContext = "-";

namespace {

int Clamp(int offset, std::string_view text)
{
    return std::clamp(offset, 0, static_cast<int>(text.size()));
}

bool IsQuote(char c)
{
    return c == '\'' || c == '"';
}

TTokenSpan TokenOf(const TTokenLookup& tokenAt, int pos)
{
    if (!tokenAt || pos < 0)
        return {};
    TTokenSpan t = tokenAt(pos);
    if (t.Text.empty() || pos < t.Start || pos >= t.End)
        return {};
    return t;
}

// Where the scan goes on after a block comment ending at the "/" at i: just
// before the comment's "/*". The token holding the "/" tells where the
// comment starts; without one, the nearest "/*" that ends before the "*/".
// -1 when the comment starts the text.
int BeforeBlockComment(std::string_view text, int i, const TTokenLookup& tokenAt)
{
    const TTokenSpan t = TokenOf(tokenAt, i);
    if (StartsWith(t.Text, "/*") && t.End == i + 1 && t.Start <= i - 3)
        return t.Start - 1;
    if (i < 3)
        return -1;
    const size_t open = text.rfind("/*", static_cast<size_t>(i - 3));
    return open == std::string_view::npos ? -1 : static_cast<int>(open) - 1;
}

} // namespace

bool IsIdentChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '[' || c == ']';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

int WordStart(std::string_view text, int caret)
{
    int i = Clamp(caret, text);
    while (i > 0 && IsIdentChar(text[i - 1]))
        --i;
    if (i > 0 && text[i - 1] == '@')
        --i;
    return i;
}

std::string WordBefore(std::string_view text, int caret)
{
    const int end = Clamp(caret, text);
    const int start = WordStart(text, end);
    return std::string(text.substr(start, end - start));
}

int WordEnd(std::string_view text, int caret)
{
    int i = Clamp(caret, text);
    while (i < static_cast<int>(text.size()) && IsIdentChar(text[i]))
        ++i;
    return i;
}

bool ClassOffered(std::string_view context, std::string_view cls)
{
    std::string key;
    key.reserve(cls.size() + 2);
    key += '#';
    key += cls;
    key += '#';
    return context.find(key) != std::string_view::npos;
}

bool IsStringToken(std::string_view tokenText)
{
    return !tokenText.empty() && IsQuote(tokenText.front());
}

bool IsCommentToken(std::string_view tokenText)
{
    return StartsWith(tokenText, "//") || StartsWith(tokenText, "/*");
}

bool IsClosedSpan(std::string_view t)
{
    if (IsStringToken(t))
        return t.size() >= 2 && t.back() == t.front();
    if (StartsWith(t, "//"))
        return t.back() == '\n' || t.back() == '\r';
    if (StartsWith(t, "/*"))
        return t.size() >= 4 && EndsWith(t, "*/");
    return false;
}

bool InsideStringLiteral(const TTokenLookup& tokenAt, int pos)
{
    const TTokenSpan t = TokenOf(tokenAt, pos);
    if (!IsStringToken(t.Text))
        return false;
    return !(IsClosedSpan(t.Text) && pos == t.End - 1);
}

bool CaretInSpan(const TTokenSpan& caretToken, int caret)
{
    const std::string& t = caretToken.Text;
    if (!IsStringToken(t) && !IsCommentToken(t))
        return false;
    return !(IsClosedSpan(t) && caret >= caretToken.End);
}

bool CaretInString(const TTokenSpan& caretToken, int caret)
{
    return IsStringToken(caretToken.Text) && CaretInSpan(caretToken, caret);
}

bool CompletionAllowed(const TTokenSpan& caretToken, int caret)
{
    // At the start of the text no token precedes the caret: it stands in
    // nothing that forbids completion.
    return !CaretInSpan(caretToken, caret);
}

TCallScan ScanCall(std::string_view text, int start, const TTokenLookup& tokenAt, char skip)
{
    TCallScan r;
    int i = std::min(start, static_cast<int>(text.size()) - 1);
    if (i < 0)
        return r;

    bool inString = false;
    char quote = 0;
    if (InsideStringLiteral(tokenAt, i)) {
        if (skip)
            return r;
        inString = true;
        quote = TokenOf(tokenAt, i).Text.front();
    } else if (skip) {
        while (i >= 0 && IsBlank(text[i]))
            --i;
        if (i < 0)
            return r;
        if (text[i] != skip) {
            r.Found = true;
            r.Pos = i;
            return r;
        }
        --i;
    }

    int depth = 0;
    while (i >= 0) {
        const char c = text[i];
        if (inString) {
            if (c == quote)
                inString = false;
            --i;
            continue;
        }
        switch (c) {
        case '(':
            if (depth == 0) {
                r.Found = true;
                r.Paren = i;
                r.Pos = i - 1;
                return r;
            }
            --depth;
            break;
        case ')':
            ++depth;
            break;
        case ',':
            if (depth == 0)
                ++r.ParamIndex;
            break;
        case '\'':
        case '"':
            inString = true;
            quote = c;
            break;
        case '/':
            if (i >= 2 && text[i - 1] == '*') {
                i = BeforeBlockComment(text, i, tokenAt);
                continue;
            }
            break;
        case '\n':
        case '\r': {
            // A line comment's text takes no part in the call.
            const TTokenSpan t = TokenOf(tokenAt, i);
            if (StartsWith(t.Text, "//") && t.End == i + 1) {
                i = t.Start - 1;
                continue;
            }
            break;
        }
        default:
            break;
        }
        --i;
    }
    return r;
}

std::string ContextBefore(std::string_view text, int pos, const TFunctionIndex* index,
                          const TTokenLookup& tokenAt)
{
    int i = Clamp(pos, text) - 1;
    while (i >= 0 && IsBlank(text[i]))
        --i;
    if (i < 0 || (text[i] != '.' && text[i] != ':'))
        return kDefaultContext;

    const TCallScan scan = ScanCall(text, i - 1, tokenAt, ')');
    if (!scan.Found || InsideStringLiteral(tokenAt, scan.Pos))
        return kDefaultContext;
    int p = scan.Pos;
    while (p >= 0 && IsBlank(text[p]))
        --p;
    if (p < 0)
        return kDefaultContext;
    if (IsQuote(text[p]))
        return kStringContext;

    int b = p + 1;
    while (b > 0 && IsIdentChar(text[b - 1]))
        --b;
    std::string context;
    const TOverloads found = OverloadsOf(index, text.substr(b, p + 1 - b));
    for (int k = 0; k < found.Count; ++k)
        context += index->ReturnsOf(found.First + k) + "#";
    return context.empty() ? kDefaultContext : context;
}

std::vector<TCompletionRow> CompletionRows(const std::string& prefix, const std::string& context,
                                           const TFunctionIndex* index,
                                           const std::vector<std::string>& names)
{
    std::vector<TCompletionRow> rows;
    if (StartsWith(prefix, "@")) {
        for (const std::string& name : names)
            if (StartsWith(name, prefix))
                rows.push_back({name, -1});
    } else if (index) {
        const std::string& offering = (!prefix.empty() && context == kStringContext) ? kDefaultContext : context;
        const auto& entries = index->FunctionNames();
        for (size_t e = 0; e < entries.size(); ++e) {
            const std::string& name = entries[e].Name;
            if (!name.empty() && IsIdentChar(name.front()) && StartsWith(name, prefix) &&
                ClassOffered(offering, index->ClassOf(e)))
                rows.push_back({name, static_cast<int>(e)});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TCompletionRow& a, const TCompletionRow& b) {
        return LocaleCompare(a.Text, b.Text, false) < 0;
    });
    return rows;
}

TRowParts RowPartsOf(const TFunctionIndex& index, int entry)
{
    TRowParts parts;
    const std::string& cls = index.ClassOf(entry);
    const std::string& params = index.ParamsOf(entry);
    const std::string& returns = index.ReturnsOf(entry);
    if (cls != "index")
        parts.ClassName = cls;
    parts.Name = index.FunctionNames()[entry].Name;
    parts.ClassType = StartsWith(returns, "#");
    parts.Params = params.empty() && !parts.ClassType ? "()" : params;
    if (!returns.empty()) {
        parts.Params += ": ";
        parts.Returns = parts.ClassType ? returns.substr(1) : returns;
    }
    return parts;
}

TAcceptance AcceptText(std::string_view text, int caret, bool wholeWord, const TCompletionRow& row,
                       const TFunctionIndex* index, bool addParentheses)
{
    TAcceptance a;
    const int at = Clamp(caret, text);
    a.Start = WordStart(text, at);
    a.End = wholeWord ? WordEnd(text, at) : at;
    a.Text = row.Text;
    if (index && !StartsWith(row.Text, "@")) {
        // The row's own entry decides (its class may document the function
        // differently from another class); a row without one takes the first
        // entry of its name.
        int entry = row.Entry;
        const int count = static_cast<int>(index->FunctionNames().size());
        if (entry < 0 || entry >= count || !SameText(index->FunctionNames()[entry].Name, row.Text))
            entry = index->IndexOfName(row.Text);
        if (entry >= 0) {
            const std::string& params = index->ParamsOf(entry);
            if (!params.empty()) {
                a.Text += "()";
                a.HasParams = true;
            } else if (StartsWith(index->ReturnsOf(entry), "#")) {
                a.Text += ".";
            } else if (addParentheses) {
                a.Text += "()";
            }
        }
    }
    a.Caret = a.Start + static_cast<int>(a.Text.size());
    if (!a.Text.empty() && a.Text.back() == ')')
        --a.Caret;
    a.Member = !a.Text.empty() && a.Text.back() == '.';
    return a;
}

THintCall FindHintCall(std::string_view text, int caret, const TTokenLookup& tokenAt)
{
    THintCall call;
    const int at = Clamp(caret, text);
    if (at <= 0)
        return call;
    const TCallScan scan = ScanCall(text, at - 1, tokenAt);
    if (!scan.Found)
        return call;
    int p = scan.Pos;
    while (p >= 0 && IsBlank(text[p]))
        --p;
    int b = p + 1;
    while (b > 0 && IsIdentChar(text[b - 1]))
        --b;
    if (b > p)
        return call;
    call.Found = true;
    call.Name = std::string(text.substr(b, p + 1 - b));
    call.NameStart = b;
    call.ParamIndex = scan.ParamIndex;
    return call;
}

TOverloads OverloadsOf(const TFunctionIndex* index, std::string_view name)
{
    TOverloads o;
    if (!index || name.empty())
        return o;
    o.First = index->IndexOfName(name);
    if (o.First < 0)
        return o;
    const auto& entries = index->FunctionNames();
    while (o.First + o.Count < static_cast<int>(entries.size()) && SameText(entries[o.First + o.Count].Name, name))
        ++o.Count;
    return o;
}

int ChooseOverload(const TFunctionIndex& index, TOverloads overloads, std::string_view context)
{
    for (int k = 0; k < overloads.Count; ++k)
        if (ClassOffered(context, index.ClassOf(overloads.First + k)))
            return k;
    return std::max(0, overloads.Count - 1);
}

int WrapOverload(int overload, int count)
{
    if (overload >= count)
        return 0;
    if (overload < 0)
        return std::max(0, count - 1);
    return overload;
}

std::string HintSignature(const TFunctionIndex& index, int entry)
{
    const std::string& params = index.ParamsOf(entry);
    const std::string& cls = index.ClassOf(entry);
    const std::string owner = cls == "index" ? std::string() : cls + ".";
    return owner + index.FunctionNames()[entry].Name + (params.empty() ? "()" : params);
}

std::string HintText(const TFunctionIndex& index, TOverloads overloads, int overload)
{
    std::string text = HintSignature(index, overloads.First + overload);
    if (overloads.Count > 1)
        text += "  " + std::to_string(overload + 1) + "/" + std::to_string(overloads.Count);
    return text;
}

TTextRun BoldRun(std::string_view signature, int k)
{
    const int size = static_cast<int>(signature.size());
    const size_t open = signature.find('(');
    if (open == std::string_view::npos)
        return {size, 0};
    const int first = static_cast<int>(open) + 1;
    int begin = first;
    int param = 0;
    bool closed = false;
    for (int i = first; i < size && !closed; ++i) {
        if (signature[i] == ',') {
            if (param == k)
                return {begin, i + 1 - begin};
            ++param;
            begin = i + 1;
        } else if (signature[i] == ')') {
            if (param == k)
                return {begin, i - begin};
            closed = true;
        }
    }
    if (!closed && param == k)
        return {begin, size - begin};  // the last parameter of a list without ")"
    int end = size;
    if (end > first && signature[end - 1] == ')')
        --end;
    return {first, std::max(0, end - first)};
}

} // namespace kestrune
