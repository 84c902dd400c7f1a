#include "parlist.h"

#include "definitions.h"
#include "proptable.h"
#include "qvstream.h"
#include "text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <new>
#include <utility>
#include <vector>

namespace kestrune {

// ------------------------------------------------------------------- TParText

TParText::TParText(TParText&& other)
{
    if (other.Kind() == Heap) { // the text changes hands
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.Clear();
    } else if (other.Kind() == Viewed) {
        Clear();
        Assign(other.View()); // owned, like a copy
    } else {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    }
}

TParText& TParText::operator=(const TParText& other)
{
    if (this != &other)
        *this = other.View();
    return *this;
}

TParText& TParText::operator=(TParText&& other)
{
    if (this == &other)
        return *this;
    if (other.Kind() == Heap) {
        Free();
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.Clear();
        return *this;
    }
    return *this = other.View();
}

TParText& TParText::operator=(std::string_view s)
{
    // The same text, as when an entry's value is set from a view of itself,
    // stays as it is; otherwise the new text is made before the old one
    // goes, since s may be part of it.
    if (s.data() == data() && s.size() == size())
        return *this;
    TParText made(s);
    Free();
    std::memcpy(bytes_, made.bytes_, sizeof bytes_);
    made.Clear();
    return *this;
}

void TParText::SetViewOf(std::string_view s)
{
    if (s.size() > UINT32_MAX)
        throw std::length_error("parameter value too long");
    Free();
    if (s.size() <= Inline)
        Assign(s);
    else
        SetLong(s.data(), s.size(), Viewed);
}

const char* TParText::LongData() const noexcept
{
    const char* p;
    std::memcpy(&p, bytes_, sizeof p);
    return p;
}

size_t TParText::LongSize() const noexcept
{
    uint32_t n;
    std::memcpy(&n, bytes_ + 8, sizeof n);
    return n;
}

void TParText::SetLong(const char* data, size_t size, unsigned char kind) noexcept
{
    const auto n = static_cast<uint32_t>(size);
    std::memcpy(bytes_, &data, sizeof data);
    std::memcpy(bytes_ + 8, &n, sizeof n);
    bytes_[15] = static_cast<char>(kind);
}

void TParText::Assign(std::string_view s)
{
    if (s.size() <= Inline) {
        if (!s.empty()) // an empty view may have no data at all
            std::memcpy(bytes_, s.data(), s.size());
        bytes_[15] = static_cast<char>(s.size());
        return;
    }
    if (s.size() > UINT32_MAX)
        throw std::length_error("parameter value too long");
    char* own = new char[s.size()];
    std::memcpy(own, s.data(), s.size());
    SetLong(own, s.size(), Heap);
}

void TParText::Free() noexcept
{
    if (Kind() == Heap)
        delete[] LongData();
    Clear();
}

// ----------------------------------------------------------------------- TPar

TPar::TPar(std::string name, std::string_view value) : Value(value) { Name = std::move(name); }

bool TPar::LoadFromStream(TQVFileStream& stream)
{
    Name = stream.ReadToken();
    if (Name.empty())
        return false;
    Value = stream.ReadToken();
    return true;
}

void TPar::SaveToStream(TQVFileStream& stream)
{
    if (!IsCounted(stream))
        stream.Write("\r\n", 2); // the line break opens the name's token
    stream.WriteToken(Name);
    stream.WriteToken(Value);
}

// ------------------------------------------------------------------- TParList

TParList::TParList(std::string name) : Name(std::move(name)) {}

TParList::TParList(std::string name, const std::filesystem::path& path) : Name(std::move(name))
{
    LoadFromFile(path, false);
}

TParList::TParList(std::string name, TQVFileStream& stream) : Name(std::move(name))
{
    LoadFromStream(stream);
}

std::unique_ptr<TLoadSaveItem> TParList::CreateItem() { return std::make_unique<TPar>(); }

namespace {
std::unique_ptr<TLoadSaveItem> MoveOutPar(TLoadSaveItem& element)
{
    auto& par = static_cast<TPar&>(element);
    return std::make_unique<TPar>(std::move(par.Name), std::move(par.Value));
}
} // namespace

const TLoadSaveList::BlockType TParList::ParBlock = {sizeof(TPar), MoveOutPar};

void TParList::LoadFromStream(TQVFileStream& stream)
{
    // What TPar::LoadFromStream reads, with the entry made only once its
    // name is known: the empty name that ends the list makes none. The
    // entries of a list are read first, as views of the stream's own bytes,
    // and then made side by side in one block, the values too long to be
    // held in an entry copied in after them (a list of one gets a heap
    // entry, which is no larger).
    thread_local std::vector<std::pair<std::string_view, std::string_view>> read;
    read.clear();
    size_t longBytes = 0;
    const bool counted = IsCounted(stream);
    auto token = [&stream, counted] {
        return counted ? stream.ReadCountedView() : stream.ReadTerminatedView(TQVFileStream::Terminator, false);
    };
    while (!stream.AtEnd()) {
        const std::string_view name = token();
        if (name.empty())
            break;
        const std::string_view value = token();
        if (value.size() > TParText::Inline)
            longBytes += value.size();
        read.emplace_back(name, value);
    }
    void* block = read.size() >= 2 ? NewBlock(ParBlock, read.size(), longBytes) : nullptr;
    if (!block) {
        Reserve(static_cast<size_t>(Count()) + read.size());
        for (const auto& [name, value] : read)
            AddLoaded(std::make_unique<TPar>(std::string(name), value));
    } else {
        auto* at = static_cast<unsigned char*>(block);
        char* text = reinterpret_cast<char*>(at + read.size() * ParBlock.Stride);
        for (const auto& [name, value] : read) {
            const bool held = value.size() <= TParText::Inline;
            auto* par = new (at) TPar(std::string(name), held ? value : std::string_view());
            if (!held) {
                std::memcpy(text, value.data(), value.size());
                par->Value.SetViewOf({text, value.size()});
                text += value.size();
            }
            AddFromBlock(par);
            at += ParBlock.Stride;
        }
    }
    read.clear();
}

void TParList::SaveToStream(TQVFileStream& stream)
{
    if (!IsCounted(stream)) {
        TLoadSaveList::SaveToStream(stream);
        return;
    }
    // What TPar::SaveToStream writes in the counted form, without a call
    // through the entry and the stream for each text.
    for (int i = 0, n = Count(); i < n; ++i) {
        const TPar* par = Par(i);
        stream.WriteCounted(par->Name);
        stream.WriteCounted(par->Value);
    }
    stream.WriteCounted({}); // the end of the list
}

std::string TParList::GetValue(const std::string& name) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (Par(i)->Name == name)
            return Par(i)->Value;
    return {};
}

TPar* TParList::SetValue(const std::string& name, std::string_view value)
{
    const int i = IndexOfName(name);
    if (i >= 0) {
        Par(i)->Value = value;
        return Par(i);
    }
    return static_cast<TPar*>(Add(std::make_unique<TPar>(name, value)));
}

void TParList::AddEntry(const std::string& name, const std::string& value, const std::string&)
{
    SetValue(name, value);
}

bool TParList::Accepts(const std::string&, const std::string&) const { return true; }

std::string TParList::DisplayName(const std::string& name, const std::string&) const { return name; }

void TParList::FillTable(TPropertyTable& table)
{
    BeginTableUpdate(table);
    table.Clear();
    for (int i = 0; i < Count(); ++i)
        table.AppendRow(Par(i)->Name, Par(i)->Value);
    EndTableUpdate(table);
}

void TParList::ReadTable(TPropertyTable& table)
{
    BeginTableUpdate(table);
    Clear();
    if (table.GetState() != TPropertyTable::State::Browse)
        table.Post();
    for (table.First(); !table.Eof(); table.Next())
        if (!table.Value().empty())
            SetValue(table.Name(), table.Value());
    EndTableUpdate(table);
}

std::string TParList::SectionFor(const std::string& filter) const
{
    if (filter.empty() || Name != "map")
        return Name;
    const auto commas = std::count(filter.begin(), filter.end(), ',');
    return commas <= 1 ? "mapSquare" : "mapWall";
}

void TParList::ExpandToTable(TPropertyTable& table, const std::string& filter, const TValList* definitions)
{
    BeginTableUpdate(table);
    table.Clear();
    for (int i = 0; i < Count(); ++i) {
        const TPar* p = Par(i);
        if (Accepts(p->Name, filter))
            table.AppendRow(DisplayName(p->Name, filter), p->Value);
    }
    if (definitions)
        definitions->ExpandDS(table, SectionFor(filter), Kind());
    else
        table.First();
    EndTableUpdate(table);
}

void TParList::StoreFromTable(TPropertyTable& table, const std::string& filter)
{
    BeginTableUpdate(table);
    for (int i = Count() - 1; i >= 0; --i)
        if (Accepts(Par(i)->Name, filter))
            Delete(i);
    if (table.GetState() != TPropertyTable::State::Browse)
        table.Post();
    for (table.First(); !table.Eof(); table.Next()) {
        const std::string name = table.Name();
        if (name.empty() || name[0] == '#')
            continue;
        const std::string value = table.Value();
        if (!TrimSpacesLines(value).empty())
            AddEntry(name, value, filter);
    }
    EndTableUpdate(table);
}

} // namespace kestrune
