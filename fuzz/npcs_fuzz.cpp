// The NPC instances file (counted form): load, save, load again.

#include "fuzz_common.h"

using namespace kestrune;

namespace {
std::string Save(TNPCsList& list)
{
    TQVFileStreamBinary out{TFileStream::MemoryTag{}};
    list.SaveToStream(out);
    return out.Bytes();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Project& p = fuzz::SharedProject();
    TNPCsList list(&p);
    TQVFileStreamBinary in{TFileStream::MemoryTag{}, fuzz::Bytes(data, size)};
    list.LoadFromStream(in);
    std::string first;
    try {
        first = Save(list);
    } catch (const KestruneError&) {
        return 0;
    }
    TNPCsList again(&p);
    TQVFileStreamBinary back{TFileStream::MemoryTag{}, first};
    again.LoadFromStream(back);
    if (Save(again) != first)
        __builtin_trap();
    return 0;
}
