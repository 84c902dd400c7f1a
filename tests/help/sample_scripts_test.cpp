// The sample game's scripts against the sample's own help pages: every word
// of every event script and NPC key word is one that the completion list
// offers at its place, so colouring, completion, hints and help know the
// sample's code.

#include "help/functionindex.h"
#include "model/elements.h"
#include "model/map.h"
#include "model/model_test_util.h"
#include "model/placements.h"
#include "script/completionlogic.h"
#include "script/tokenizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::test {
namespace {

using TScripts = std::vector<std::pair<std::string, std::string>>; // where, text

void AddList(TScripts& out, const std::string& where, const TParList* list)
{
    for (int i = 0; list && i < list->Count(); ++i)
        out.emplace_back(where + " " + list->Par(i)->Name, list->Par(i)->Value);
}

void AddLibrary(TScripts& out, const TListedList& library)
{
    for (int i = 0; i < library.Count(); ++i) {
        const TListedItem* e = library.Element(i);
        AddList(out, e->Name, e->Events.get());
        if (const auto* npc = dynamic_cast<const TNPCDef*>(e))
            AddList(out, e->Name + " key word", npc->Keywords.get());
    }
}

TScripts SampleScripts(const Project& p)
{
    TScripts out;
    for (const TListedList* library : std::initializer_list<const TListedList*>{
             p.Walls.get(), p.Floors.get(), p.Ceilings.get(), p.Objects.get(), p.ItemDefs.get(),
             p.MonsterDefs.get(), p.NpcDefs.get()})
        AddLibrary(out, *library);
    for (int m = 0; m < p.Maps->Count(); ++m) {
        const auto* map = static_cast<const TMap*>(p.Maps->Element(m));
        AddList(out, map->Name, map->Events.get());
        AddLibrary(out, *map->Items);
        AddLibrary(out, *map->Monsters);
    }
    for (int i = 0; i < p.Npcs->Count(); ++i) {
        const TNPC* npc = p.Npcs->NpcAt(i);
        AddList(out, npc->Name, npc->Events.get());
        AddList(out, npc->Name + " key word", npc->Keywords.get());
    }
    for (int i = 0; i < p.GameParams->Count(); ++i)
        if (p.GameParams->Par(i)->Name.rfind("on", 0) == 0)
            out.emplace_back("game " + p.GameParams->Par(i)->Name, p.GameParams->Par(i)->Value);
    return out;
}

TEST(SampleHelp, DocumentsEveryFunctionOfTheSampleScripts)
{
    TFunctionIndex index;
    index.BuildFunctionIndex(SourceDir() / "examples" / "game" / "qv5lang");
    auto p = NewProject();
    p->Load((SourceDir() / "examples" / "game" / "demo.game").string());
    ASSERT_TRUE(p->LoadComplete());
    const TScripts scripts = SampleScripts(*p);
    ASSERT_GE(scripts.size(), 60u);

    const TSyntaxRules rules = TSyntaxRules::QV5Lang();
    std::set<std::string> called;
    for (const auto& [where, text] : scripts) {
        const std::vector<TToken> tokens = TokenizeText(text, rules);
        const TTokenLookup tokenAt = [&](int offset) {
            for (const TToken& t : tokens)
                if (t.Start <= offset && offset < t.End)
                    return TTokenSpan{text.substr(t.Start, t.Length()), t.Start, t.End};
            return TTokenSpan{};
        };
        std::set<std::string> locals;
        std::string previous;
        for (const TToken& t : tokens) {
            if (t.Kind != TTokenKind::Word)
                continue;
            const std::string word = text.substr(t.Start, t.Length());
            const bool declared = previous == "local";
            previous = word;
            if (declared)
                locals.insert(word);
            if (t.Style == TSyntaxRules::kKeyWords || word[0] == '@' || locals.count(word))
                continue;
            // Offered here: a global function, or one of the class that the
            // code before the "." gives.
            const std::string context = ContextBefore(text, t.Start, &index, tokenAt);
            const auto rows = CompletionRows(word, context, &index, {});
            EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const TCompletionRow& r) { return r.Text == word; }))
                << where << ": " << word << " is not documented for the context " << context;
            called.insert(word);
        }
    }
    EXPECT_GE(called.size(), 30u);
}

} // namespace
} // namespace kestrune::test
