// Parameter lists in both forms, through the property table and back; a
// list written and read again must come back the same.

#include "core/proptable.h"
#include "fuzz_common.h"

using namespace kestrune;

namespace {
std::string Save(TParList& list, bool counted)
{
    std::unique_ptr<TQVFileStream> out = counted
        ? std::unique_ptr<TQVFileStream>(new TQVFileStreamBinary(TFileStream::MemoryTag{}))
        : std::make_unique<TQVFileStream>(TFileStream::MemoryTag{});
    list.SaveToStream(*out);
    return out->Bytes();
}

std::unique_ptr<TQVFileStream> Reader(const std::string& bytes, bool counted)
{
    if (counted)
        return std::unique_ptr<TQVFileStream>(new TQVFileStreamBinary(TFileStream::MemoryTag{}, bytes));
    return std::make_unique<TQVFileStream>(TFileStream::MemoryTag{}, bytes);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool counted = data[0] & 1;
    const bool keyed = data[0] & 2;
    auto in = Reader(fuzz::Bytes(data + 1, size - 1), counted);
    Project& p = fuzz::SharedProject();
    static TMap map("m", p.Maps.get(), 4, 4);
    std::unique_ptr<TParList> list = keyed ? std::unique_ptr<TParList>(new TMapParList("map", &map))
                                           : std::make_unique<TParList>("wallDef");
    list->LoadFromStream(*in);
    std::string first;
    try {
        first = Save(*list, counted);
    } catch (const KestruneError&) {
        return 0; // a text the form cannot hold is refused, not written
    }
    TParList again(list->Name);
    auto back = Reader(first, counted);
    again.LoadFromStream(*back);
    if (Save(again, counted) != first)
        __builtin_trap();

    TPropertyTable table;
    const std::string filter = keyed ? "[1,2]" : "";
    list->ExpandToTable(table, filter, p.Definitions.get());
    list->StoreFromTable(table, filter);
    return 0;
}
