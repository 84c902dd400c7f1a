// The map colours file: numbers or a clear error, never anything else.

#include "fuzz_common.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Project& p = fuzz::SharedProject();
    TQVFileStream in{TFileStream::MemoryTag{}, fuzz::Bytes(data, size)};
    try {
        p.ReadMapColors(in);
    } catch (const KestruneError&) {
    }
    for (uint32_t c : p.MapColors)
        if (c > 0xFFFFFF)
            __builtin_trap();
    return 0;
}
