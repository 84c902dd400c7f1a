// Element libraries in the text form: the first byte picks the kind. A
// library written and read again must give the same bytes.

#include "fuzz_common.h"

using namespace kestrune;

namespace {
std::unique_ptr<TListedList> NewLibrary(Project& p, int kind)
{
    switch (kind % 7) {
    case 0: return std::make_unique<TWalls>(&p);
    case 1: return std::make_unique<TFloors>(&p);
    case 2: return std::make_unique<TCeilings>(&p);
    case 3: return std::make_unique<TObjects>(&p);
    case 4: return std::make_unique<TItemsDef>(&p);
    case 5: return std::make_unique<TMonstersDef>(&p);
    default: return std::make_unique<TNPCsDef>(&p);
    }
}

std::string Save(TListedList& library)
{
    TQVFileStream out{TFileStream::MemoryTag{}};
    library.SaveToStream(out);
    return out.Bytes();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    Project& p = fuzz::SharedProject();
    auto library = NewLibrary(p, data[0]);
    TQVFileStream in{TFileStream::MemoryTag{}, fuzz::Bytes(data + 1, size - 1)};
    library->LoadFromStream(in);
    std::string first;
    try {
        first = Save(*library);
    } catch (const KestruneError&) {
        return 0;
    }
    auto again = NewLibrary(p, data[0]);
    TQVFileStream back{TFileStream::MemoryTag{}, first};
    again->LoadFromStream(back);
    if (again->Count() != library->Count() || Save(*again) != first)
        __builtin_trap();
    return 0;
}
