// The script text side of the code editor on any text: the tokens cover the
// text without gaps or overlaps, the token at an offset holds it, and the
// completion's scans stay within the text at every caret position tried.

#include "script/completionlogic.h"
#include "script/tokenizer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 512)
        return 0; // every caret position is tried: keep the text short
    static const TSyntaxRules rules = [] {
        TSyntaxRules r = TSyntaxRules::QV5Lang();
        r.Lists[TSyntaxRules::kCommands].SetWords({"Say", "monster", "Map"});
        r.Lists[TSyntaxRules::kNames].SetWords({"@Door"});
        return r;
    }();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int length = static_cast<int>(size);

    const std::vector<TToken> tokens = TokenizeText(text, rules);
    int at = 0;
    for (const TToken& t : tokens) {
        if (t.Start != at || t.End <= t.Start || t.End > length)
            __builtin_trap();
        at = t.End;
    }
    if (at != length)
        __builtin_trap();

    const TTokenLookup lookup = [&](int offset) {
        TTokenSpan span;
        if (const std::optional<TToken> t = TokenAtOffset(text, offset, rules)) {
            if (offset < t->Start || offset >= t->End)
                __builtin_trap();
            span.Start = t->Start;
            span.End = t->End;
            span.Text = std::string(text.substr(static_cast<size_t>(t->Start), static_cast<size_t>(t->Length())));
        }
        return span;
    };
    for (int caret = 0; caret <= length; ++caret) {
        const int start = WordStart(text, caret);
        if (start < 0 || start > caret || WordEnd(text, caret) < caret || WordEnd(text, caret) > length)
            __builtin_trap();
        if (caret > 0) {
            const TCallScan scan = ScanCall(text, caret - 1, lookup);
            if (scan.Found && (scan.Paren < 0 || scan.Paren >= caret))
                __builtin_trap();
            ScanCall(text, caret - 1, lookup, ')');
        }
        const std::string context = ContextBefore(text, start, nullptr, lookup);
        if (context.empty())
            __builtin_trap();
        const THintCall call = FindHintCall(text, caret, lookup);
        if (call.Found && (call.NameStart < 0 || call.NameStart > caret))
            __builtin_trap();
        const TAcceptance accept = AcceptText(text, caret, true, TCompletionRow{"@Door", -1}, nullptr, true);
        if (accept.Start < 0 || accept.Start > accept.End || accept.End > length)
            __builtin_trap();
    }
    return 0;
}
