#include "model/placements.h"

#include "core/definitions.h"
#include "core/proptable.h"
#include "core/qvstream.h"
#include "core/text.h"
#include "model/map.h"
#include "model/project.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace kestrune {

using namespace std::string_view_literals;

std::string CellKey(int x, int y) { return "[" + std::to_string(x) + "," + std::to_string(y) + "]"; }

std::string CellKey(int x, int y, int side)
{
    return "[" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(side) + "]";
}

namespace {
int32_t Clamp32(int64_t v)
{
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

int64_t Extent(int32_t from, int32_t to) { return std::llabs(static_cast<int64_t>(to) - from); }
} // namespace

// ---------------------------------------------------------------------- TItem

TItem::TItem(TListedList* owner) : TListedItem("item", owner) {}

TItem::TItem(TItemDef* def, TListedList* owner, int x, int y) : TListedItem("item", owner), X(x), Y(y), Def(def)
{
    if (def) {
        Name = def->Name;
        Params->SetValue("itemDef", def->Name);
    }
}

bool TItem::ParameterChanged(const std::string& name, std::string_view value)
{
    if (std::string_view(name) != "itemDef"sv)
        return false;
    const Project* p = Proj();
    Def = p && p->ItemDefs ? static_cast<TItemDef*>(p->ItemDefs->FindByName(value)) : nullptr;
    Name = Def ? Def->Name : "?????" + std::string(value);
    return true;
}

void TItem::ParametersReplaced()
{
    Def = nullptr;
    Name.clear();
    ApplyParameters();
}

std::vector<int32_t> TItem::DerivedState() const { return {X, Y}; }

void TItem::RestoreDerivedState(const std::vector<int32_t>& state)
{
    if (state.size() != 2)
        return;
    X = state[0];
    Y = state[1];
}

void TItem::Draw(TCanvas& canvas, int x, int y, int orientation, int zoom)
{
    if (Def)
        Def->Draw(canvas, x, y, orientation, zoom);
}

// ------------------------------------------------------------------- TMonster

TMonster::TMonster(TListedList* owner) : TListedItem("monster", owner) {}

TMonster::TMonster(std::string defName, TListedList* owner) : TListedItem(std::move(defName), owner) {}

TMonster::TMonster(TMonsterDef* def, TListedList* owner, int x, int y)
    : TListedItem("monster", owner), Left(x), Top(y), Right(x), Bottom(y), Def(def)
{
    if (def) {
        Name = def->Name;
        Params->SetValue("1monsterDef", def->Name);
    }
    Params->SetValue("x", std::to_string(x));
    Params->SetValue("y", std::to_string(y));
}

TCellRect TMonster::AreaAt(int x, int y) const
{
    return {x, y, Clamp32(x + Extent(Left, Right)), Clamp32(y + Extent(Top, Bottom))};
}

void TMonster::MoveTo(int x, int y)
{
    const TCellRect r = AreaAt(x, y);
    Left = r.Left;
    Top = r.Top;
    Right = r.Right;
    Bottom = r.Bottom;
    Params->SetValue("x", std::to_string(x));
    Params->SetValue("y", std::to_string(y));
}

void TMonster::SetArea(const TCellRect& r)
{
    Left = r.Left;
    Top = r.Top;
    Right = r.Right;
    Bottom = r.Bottom;
    Params->SetValue("x", std::to_string(Left));
    Params->SetValue("y", std::to_string(Top));
    Params->SetValue("sizeX", std::to_string(static_cast<int64_t>(Right) - Left));
    Params->SetValue("sizeY", std::to_string(static_cast<int64_t>(Bottom) - Top));
}

bool TMonster::ParameterChanged(const std::string& name, std::string_view value)
{
    // Most parameters of a monster are none of these: the names are told
    // apart by length first.
    const std::string_view n = name;
    if (n == "1monsterDef"sv) {
        const Project* p = Proj();
        Def = p && p->MonsterDefs ? static_cast<TMonsterDef*>(p->MonsterDefs->FindByName(value)) : nullptr;
        Name = Def ? Def->Name : "??1monsterDef";
        return true;
    }
    const bool sizeX = n == "sizeX"sv, sizeY = n == "sizeY"sv;
    const bool x = n == "x"sv, y = n == "y"sv;
    if (value.empty() || !(sizeX || sizeY || x || y))
        return false;
    const std::optional<int32_t> v = StrToInt32(value);
    if (sizeX) {
        Right = v ? Clamp32(static_cast<int64_t>(Left) + *v) : Left;
    } else if (sizeY) {
        Bottom = v ? Clamp32(static_cast<int64_t>(Top) + *v) : Top;
    } else if (v) {
        const TCellRect r = x ? AreaAt(*v, Top) : AreaAt(Left, *v);
        Left = r.Left;
        Top = r.Top;
        Right = r.Right;
        Bottom = r.Bottom;
    }
    return true;
}

void TMonster::ParametersReplaced()
{
    Left = Top = Right = Bottom = 0;
    Def = nullptr;
    // An NPC's name is its own; a placed monster's comes from its definition.
    if (!dynamic_cast<TNPC*>(this))
        Name.clear();
    ApplyParameters();
}

std::vector<int32_t> TMonster::DerivedState() const { return {Left, Top, Right, Bottom}; }

void TMonster::RestoreDerivedState(const std::vector<int32_t>& state)
{
    if (state.size() != 4)
        return;
    Left = state[0];
    Top = state[1];
    Right = state[2];
    Bottom = state[3];
}

// ----------------------------------------------------------------------- TNPC

TNPC::TNPC(TListedList* owner) : TMonster("NPC", owner), Keywords(std::make_unique<TEventList>("NPC")) {}

bool TNPC::LoadFromStream(TQVFileStream& stream)
{
    // The instances file is in the counted form: the name is a plain token.
    Name = stream.ReadToken();
    LoadParameters(stream, "NPC");
    return true;
}

void TNPC::LoadParameters(TQVFileStream& stream, const std::string& defName)
{
    TMonster::LoadParameters(stream, defName);
    Keywords->Clear();
    Keywords->Name = defName;
    Keywords->LoadFromStream(stream);
}

void TNPC::SaveParameters(TQVFileStream& stream)
{
    TMonster::SaveParameters(stream);
    Keywords->SaveToStream(stream);
}

// ------------------------------------------------------- item and monster lists

void TItemList::ReserveForLoad(const TQVFileStream& stream, int count)
{
    // Every element takes at least a byte, so a count beyond what the rest
    // of the file holds reserves no more than that.
    const uint64_t left = stream.Size() - stream.Position();
    Reserve(static_cast<size_t>(Count()) + static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), left)));
}

namespace {
// Applies the parameters of the placements a list just read. Each looks up
// its definition by name, and the definitions lie all over memory: the one a
// few placements ahead is fetched while the current one is applied, so that
// the waits for memory overlap.
void ApplyRead(const std::vector<TListedItem*>& read, std::string_view defParameter, const TLoadSaveList* library)
{
    constexpr size_t Ahead = 8;
    auto prefetch = [&](const TListedItem& placed) {
        const TParList& params = *placed.Params;
        for (int k = 0; k < params.Count(); ++k)
            if (params.Par(k)->Name == defParameter) {
                library->PrefetchName(params.Par(k)->Value);
                return;
            }
    };
    for (size_t i = 0; i < read.size(); ++i) {
        if (library && i + Ahead < read.size())
            prefetch(*read[i + Ahead]);
        read[i]->ApplyParameters();
    }
}
} // namespace

void TItemList::LoadFromStream(TQVFileStream& stream)
{
    const int count = stream.ReadWord();
    const bool byteSized = Proj && Proj->MapFileVersion == 1;
    ReserveForLoad(stream, count);
    std::vector<TListedItem*> read;
    read.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        // A file that ends early holds no more items; entries made only of
        // the zeros read past the end are not items.
        if (stream.AtEnd())
            break;
        std::unique_ptr<TLoadSaveItem> created = CreateForLoad();
        auto* item = static_cast<TItem*>(created.get());
        item->X = byteSized ? stream.ReadByte() : stream.ReadWord();
        item->Y = byteSized ? stream.ReadByte() : stream.ReadWord();
        item->ReadParameters(stream, item->DefName);
        AddLoaded(std::move(created));
        read.push_back(item);
    }
    ApplyRead(read, "itemDef", Proj ? Proj->ItemDefs.get() : nullptr);
}

void TItemList::SaveToStream(TQVFileStream& stream)
{
    stream.WriteWord(Count());
    const bool byteSized = Proj && Proj->MapFileVersion == 1;
    for (int i = 0; i < Count(); ++i) {
        TItem* item = ItemAt(i);
        if (byteSized) {
            stream.WriteByte(static_cast<unsigned char>(item->X));
            stream.WriteByte(static_cast<unsigned char>(item->Y));
        } else {
            stream.WriteWord(item->X);
            stream.WriteWord(item->Y);
        }
        item->SaveParameters(stream);
    }
}

void TMonstersList::LoadFromStream(TQVFileStream& stream)
{
    const int count = stream.ReadWord();
    ReserveForLoad(stream, count);
    std::vector<TListedItem*> read;
    read.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        if (stream.AtEnd())
            break;
        std::unique_ptr<TLoadSaveItem> created = CreateForLoad();
        auto* monster = static_cast<TMonster*>(created.get());
        monster->ReadParameters(stream, monster->DefName);
        AddLoaded(std::move(created));
        read.push_back(monster);
    }
    ApplyRead(read, "1monsterDef", Proj ? Proj->MonsterDefs.get() : nullptr);
}

void TMonstersList::SaveToStream(TQVFileStream& stream)
{
    stream.WriteWord(Count());
    for (int i = 0; i < Count(); ++i)
        static_cast<TListedItem*>(Item(i))->SaveParameters(stream);
}

// ------------------------------------------------------------- keyed map lists

void TMapEventsList::AddEntry(const std::string& name, const std::string& value, const std::string& filter)
{
    // Appended: two rows whose names differ only in letter case are two entries.
    Add(std::make_unique<TPar>(name + filter, value));
}

bool TMapEventsList::Accepts(const std::string& name, const std::string& filter) const
{
    if (filter.empty())
        return name.empty() || name.back() != ']';
    if (name.size() < filter.size())
        return false;
    return name.find(filter) == name.size() - filter.size();
}

std::string TMapEventsList::DisplayName(const std::string& name, const std::string& filter) const
{
    return filter.size() <= name.size() ? name.substr(0, name.size() - filter.size()) : std::string();
}

void TMapParList::ExpandToTable(TPropertyTable& table, const std::string& filter, const TValList* definitions)
{
    BeginTableUpdate(table);
    TMapEventsList::ExpandToTable(table, filter, definitions);
    const Project* p = Map ? Map->Proj() : nullptr;
    if (p && p->CurrentKind == 4 && Map->InMap(Map->SelX, Map->SelY))
        table.AppendRow("#orientation", std::to_string(Map->Cell(Map->SelX, Map->SelY).Orientation()));
    EndTableUpdate(table);
}

} // namespace kestrune
