#include "parlist.h"

#include "definitions.h"
#include "proptable.h"
#include "qvstream.h"
#include "text.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace kestrune {

// ----------------------------------------------------------------------- TPar

TPar::TPar(std::string name, std::string value) : Value(std::move(value)) { Name = std::move(name); }

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
    // entries of a list are read first and then made side by side in one
    // block (a list of one gets a heap entry, which is no larger).
    thread_local std::vector<std::pair<std::string, std::string>> read;
    read.clear();
    while (!stream.AtEnd()) {
        std::string name = stream.ReadToken();
        if (name.empty())
            break;
        std::string value = stream.ReadToken();
        read.emplace_back(std::move(name), std::move(value));
    }
    void* block = read.size() >= 2 ? NewBlock(ParBlock, read.size()) : nullptr;
    if (!block) {
        Reserve(static_cast<size_t>(Count()) + read.size());
        for (auto& [name, value] : read) {
            std::unique_ptr<TLoadSaveItem> entry = CreateItem();
            auto* par = static_cast<TPar*>(entry.get());
            par->Name = std::move(name);
            par->Value = std::move(value);
            AddLoaded(std::move(entry));
        }
    } else {
        auto* at = static_cast<unsigned char*>(block);
        for (auto& [name, value] : read) {
            AddFromBlock(new (at) TPar(std::move(name), std::move(value)));
            at += ParBlock.Stride;
        }
    }
    read.clear();
}

std::string TParList::GetValue(const std::string& name) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (Par(i)->Name == name)
            return Par(i)->Value;
    return {};
}

TPar* TParList::SetValue(const std::string& name, const std::string& value)
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
