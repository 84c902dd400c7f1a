// The record stream's readers in both forms: the input's first byte picks
// the form, the next bytes a script of read operations, the rest is the file.

#include "fuzz_common.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const bool counted = data[0] & 1;
    const size_t scriptLength = std::min<size_t>(data[1], size - 2);
    const uint8_t* script = data + 2;
    const std::string file = fuzz::Bytes(data + 2 + scriptLength, size - 2 - scriptLength);
    std::unique_ptr<TQVFileStream> s = counted
        ? std::unique_ptr<TQVFileStream>(new TQVFileStreamBinary(TFileStream::MemoryTag{}, file))
        : std::make_unique<TQVFileStream>(TFileStream::MemoryTag{}, file);
    size_t consumed = 0;
    for (size_t i = 0; !s->AtEnd() && consumed < 100000; ++i, ++consumed) {
        const uint8_t op = scriptLength ? script[i % scriptLength] : static_cast<uint8_t>(i);
        const uint64_t before = s->Position();
        std::string token;
        switch (op % 7) {
        case 0: s->ReadByte(); break;
        case 1: s->ReadWord(); break;
        case 2: token = s->ReadCounted(); break;
        case 3: token = s->ReadToken(); break;
        case 4: token = s->ReadHeadToken(); break;
        case 5: token = s->ReadTerminated(op, (op & 8) != 0); break;
        case 6: s->Seek(before / 2); s->ReadByte(); s->Seek(before); s->ReadByte(); break;
        }
        if (s->Position() > s->Size() || token.size() > file.size())
            __builtin_trap();
    }
    return 0;
}
