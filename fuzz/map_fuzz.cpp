// Map files: whatever loads must save, and a saved map must load and save
// to the same bytes.

#include "fuzz_common.h"

using namespace kestrune;

namespace {
std::string Save(TMap& map)
{
    TQVFileStreamBinary out{TFileStream::MemoryTag{}};
    map.SaveToStream(out);
    return out.Bytes();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Project& p = fuzz::SharedProject();
    // Answers for missing names are remembered per library; start afresh.
    for (TListedList* library : {static_cast<TListedList*>(p.Walls.get()), static_cast<TListedList*>(p.Floors.get()),
                                 static_cast<TListedList*>(p.Ceilings.get()), static_cast<TListedList*>(p.Objects.get())})
        library->Replacements.clear();
    std::unique_ptr<TMap> map;
    try {
        map = TMap::LoadBytes(fuzz::Bytes(data, size), "fuzz.map", p.Maps.get());
    } catch (const TMapRefused&) {
        return 0;
    }
    for (int i = 0; i < map->Items->Count(); ++i)
        if (!map->InMap(map->Items->ItemAt(i)->X, map->Items->ItemAt(i)->Y))
            __builtin_trap();
    std::string first;
    try {
        first = Save(*map);
    } catch (const KestruneError&) {
        return 0; // more than a word can count
    }
    auto again = TMap::LoadBytes(first, "fuzz.map", p.Maps.get());
    if (Save(*again) != first)
        __builtin_trap();
    return 0;
}
