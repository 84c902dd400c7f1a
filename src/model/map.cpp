#include "model/map.h"

#include "core/errors.h"
#include "core/qvstream.h"
#include "core/text.h"
#include "model/project.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace kestrune {

namespace {

// The slots of a layer: walls 0 to 3, floors 4, ceilings 5, objects 6.
constexpr int LayerFirstSlot[TMap::LayerCount] = {0, 4, 5, 6};
constexpr int LayerLastSlot[TMap::LayerCount] = {3, 4, 5, 6};
const char* const LayerLabel[TMap::LayerCount] = {"Wall", "Floor", "Ceiling", "Object"};
const char* const LayerWord[TMap::LayerCount] = {"wall", "floor", "ceiling", "object"};
// Cell record byte i holds memory slot RecordSlot[i].
constexpr int RecordSlot[8] = {2, 3, 0, 1, 4, 5, 6, 7};
constexpr int RecordSize = 8;

TListedList* LayerLibrary(const Project& p, int layer)
{
    switch (layer) {
    case 0: return p.Walls.get();
    case 1: return p.Floors.get();
    case 2: return p.Ceilings.get();
    case 3: return p.Objects.get();
    default: return nullptr;
    }
}

bool IsDecimal(const std::string& s)
{
    const std::string t = Trim(s);
    size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    if (i >= t.size())
        return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9')
            return false;
    return true;
}

std::string PathText(const std::filesystem::path& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return (ec ? path : full).string();
}

} // namespace

// ------------------------------------------------------------------- TMapCell

void TMapCell::SetSlot(int slot, int value)
{
    if (slot == 8)
        ItemCount = static_cast<uint16_t>(std::clamp(value, 0, static_cast<int>(UINT16_MAX)));
    else if (slot >= 0 && slot < 8)
        Slots[slot] = static_cast<uint8_t>(value);
}

bool TMapCell::Empty() const
{
    for (uint8_t s : Slots)
        if (s != 0)
            return false;
    return ItemCount == 0;
}

// ----------------------------------------------------------------------- TMap

TMap::TMap(std::string name, TListedList* owner, int sizeX, int sizeY)
    : TListedItem("map", owner, NoDefaultsTag{})
{
    Name = std::move(name);
    InitLists();
    SetSize(sizeX, sizeY);
}

void TMap::InitLists()
{
    Params = std::make_unique<TMapParList>("map", this);
    Events = std::make_unique<TMapEventsList>("map");
    Project* p = Proj();
    Items = std::make_unique<TItemList>(p, this);
    Monsters = std::make_unique<TMonstersList>(p, this);
}

std::unique_ptr<TMap> TMap::CreateFromFile(const std::string& fileName, TListedList* owner)
{
    const Project* p = owner ? owner->Proj : nullptr;
    const std::string folder = p ? p->ProjectFolder : std::string();
    return LoadFile(std::filesystem::path(folder + "maps" + PathSeparator() + fileName), owner);
}

std::unique_ptr<TMap> TMap::LoadFile(const std::filesystem::path& path, TListedList* owner)
{
    const std::string fileName = path.filename().string();
    const size_t cut = fileName.size() >= 4 ? fileName.size() - 4 : 0;
    auto map = std::make_unique<TMap>(fileName.substr(0, cut), owner, 1, 1);
    map->FileExtension = fileName.substr(cut);
    TQVFileStreamBinary stream(path, TFileStream::Mode::Read);
    map->LoadFromBytes(stream, path);
    return map;
}

std::unique_ptr<TMap> TMap::LoadBytes(const std::string& bytes, const std::string& fileName, TListedList* owner)
{
    const size_t cut = fileName.size() >= 4 ? fileName.size() - 4 : 0;
    auto map = std::make_unique<TMap>(fileName.substr(0, cut), owner, 1, 1);
    map->FileExtension = fileName.substr(cut);
    TQVFileStreamBinary stream(TFileStream::MemoryTag{}, bytes);
    map->LoadFromBytes(stream, fileName);
    return map;
}

void TMap::LoadFromBytes(TQVFileStreamBinary& stream, const std::filesystem::path& path)
{
    Project* p = Proj();
    const int version = stream.ReadByte();
    stream.ReadToken(); // header text, not used

    std::array<std::vector<std::string>, LayerCount> names;
    for (auto& table : names) {
        const int count = stream.ReadByte();
        table.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            table.push_back(stream.ReadToken());
    }
    const int sizeX = version == 1 ? stream.ReadByte() : stream.ReadWord();
    const int sizeY = version == 1 ? stream.ReadByte() : stream.ReadWord();
    if (sizeX < 1 || sizeX > MaxSize || sizeY < 1 || sizeY > MaxSize)
        throw TMapRefused("The map file " + PathText(path) + " gives the map the size " + std::to_string(sizeX) +
                            " x " + std::to_string(sizeY) + ", but a map has 1 to 256 cells a side. " +
                            "The map is not loaded and its file is left as it is.");

    // The table number of a cell record becomes the element's library position + 1.
    std::array<std::array<uint8_t, 256>, LayerCount> translate{};
    for (int layer = 0; layer < LayerCount; ++layer) {
        TListedList* library = p ? LayerLibrary(*p, layer) : nullptr;
        // The names the library holds are looked up together; the others
        // are resolved one by one, in order, as the loop reaches them.
        const std::vector<int> found =
            library ? library->IndexOfNames(names[layer]) : std::vector<int>(names[layer].size(), -1);
        for (size_t i = 0; i < names[layer].size(); ++i) {
            const int position =
                found[i] >= 0 || !library ? found[i] : library->ResolveName(LayerLabel[layer], names[layer][i]);
            if (position >= 255)
                throw TMapRefused("The map file " + PathText(path) + " uses the " + LayerWord[layer] + " " +
                                    names[layer][i] + ", element " + std::to_string(position + 1) +
                                    " of its library, but a map can only use the first 255 elements of a " +
                                    "library. The map is not loaded and its file is left as it is.");
            translate[layer][i + 1] = position < 0 ? 0 : static_cast<uint8_t>(position + 1);
        }
    }
    const uint8_t* const walls = translate[0].data();
    const uint8_t* const floors = translate[1].data();
    const uint8_t* const ceilings = translate[2].data();
    const uint8_t* const objects = translate[3].data();

    if (p)
        p->MapFileVersion = version;
    SizeX = sizeX;
    SizeY = sizeY;
    cells_.assign(static_cast<size_t>(sizeX) * static_cast<size_t>(sizeY), TMapCell{});
    gridX_ = sizeX;
    gridY_ = sizeY;
    std::vector<uint8_t> column(static_cast<size_t>(sizeY) * RecordSize);
    for (int x = 0; x < sizeX; ++x) {
        const size_t got = stream.Read(column.data(), column.size());
        std::fill(column.begin() + static_cast<std::ptrdiff_t>(got), column.end(), 0); // a short file leaves zeros
        TMapCell* cells = &Cell(x, 0);
        for (int y = 0; y < sizeY; ++y) {
            // Slot s takes record byte i where RecordSlot[i] == s.
            static_assert(RecordSlot[0] == 2 && RecordSlot[1] == 3 && RecordSlot[2] == 0 && RecordSlot[3] == 1 &&
                              RecordSlot[4] == 4 && RecordSlot[5] == 5 && RecordSlot[6] == 6 && RecordSlot[7] == 7,
                          "the cell record layout");
            const uint8_t* record = &column[static_cast<size_t>(y) * RecordSize];
            const uint8_t cell[8] = {walls[record[2]],  walls[record[3]],    walls[record[0]],   walls[record[1]],
                                     floors[record[4]], ceilings[record[5]], objects[record[6]], record[7]};
            std::memcpy(cells[y].Slots, cell, sizeof cell); // one store for the whole cell
        }
    }

    Events->Clear();
    Events->LoadFromStream(stream);
    Items->LoadFromStream(stream);
    RecountItems();
    Params->Clear();
    Params->LoadFromStream(stream);
    Monsters->LoadFromStream(stream);
    stream.Close();

    Params->SetValue("sizeX", std::to_string(SizeX));
    Params->SetValue("sizeY", std::to_string(SizeY));
    try {
        ApplyParameters();
    } catch (const KestruneError&) {
        // A stored "#orientation" that is no number changes nothing.
    }
}

void TMap::SaveToStream(TQVFileStream& stream)
{
    Project* p = Proj();
    // Name tables in the order the elements are first met. The values in use
    // are marked first; the ordered walk then stops once every one of them
    // has its number.
    std::array<std::array<uint8_t, 256>, LayerCount> used{};
    for (int x = 0; x < SizeX; ++x) {
        const TMapCell* cells = &Cell(x, 0);
        for (int y = 0; y < SizeY; ++y) {
            const uint8_t* s = cells[y].Slots;
            used[0][s[0]] = used[0][s[1]] = used[0][s[2]] = used[0][s[3]] = 1;
            used[1][s[4]] = 1;
            used[2][s[5]] = 1;
            used[3][s[6]] = 1;
        }
    }
    size_t distinct = 0;
    for (auto& layer : used) {
        layer[0] = 0;
        for (uint8_t u : layer)
            distinct += u;
    }
    std::array<std::array<uint8_t, 256>, LayerCount> number{};
    std::array<std::vector<int>, LayerCount> tables;
    size_t numbered = 0;
    // A slot value is looked at only when it has no number yet; `known`
    // holds 1 for 0 and for every value numbered, per layer, so most cells
    // take seven loads and one test.
    std::array<std::array<uint8_t, 256>, LayerCount> known{};
    for (auto& layer : known)
        layer[0] = 1;
    for (int x = 0; x < SizeX && numbered < distinct; ++x) {
        const TMapCell* cells = &Cell(x, 0);
        for (int y = 0; y < SizeY && numbered < distinct; ++y) {
            const uint8_t* s = cells[y].Slots;
            if (known[0][s[0]] & known[0][s[1]] & known[0][s[2]] & known[0][s[3]] & known[1][s[4]] &
                known[2][s[5]] & known[3][s[6]])
                continue;
            for (int slot = 0; slot < 7; ++slot) {
                const uint8_t v = s[slot];
                const int layer = LayerOfSlot(slot);
                if (!known[layer][v]) {
                    known[layer][v] = 1;
                    tables[layer].push_back(v);
                    number[layer][v] = static_cast<uint8_t>(tables[layer].size());
                    ++numbered;
                }
            }
        }
    }

    if (p)
        p->MapFileVersion = 2;
    stream.WriteByte(2);
    stream.WriteToken("");
    for (int layer = 0; layer < LayerCount; ++layer) {
        const TListedList* library = p ? LayerLibrary(*p, layer) : nullptr;
        stream.WriteByte(static_cast<unsigned char>(tables[layer].size()));
        for (int v : tables[layer]) {
            const int position = v - 1;
            stream.WriteToken(library && position < library->Count()
                                  ? std::string_view(library->Item(position)->Name)
                                  : std::string_view("?"));
        }
    }
    stream.WriteWord(SizeX);
    stream.WriteWord(SizeY);
    const uint8_t* const walls = number[0].data();
    const uint8_t* const floors = number[1].data();
    const uint8_t* const ceilings = number[2].data();
    const uint8_t* const objects = number[3].data();
    std::vector<uint8_t> column(static_cast<size_t>(SizeY) * RecordSize);
    for (int x = 0; x < SizeX; ++x) {
        const TMapCell* cells = &Cell(x, 0);
        for (int y = 0; y < SizeY; ++y) {
            // Record byte i holds slot RecordSlot[i], as in the load.
            const uint8_t* s = cells[y].Slots;
            const uint8_t record[8] = {walls[s[2]],  walls[s[3]],    walls[s[0]],   walls[s[1]],
                                       floors[s[4]], ceilings[s[5]], objects[s[6]], s[7]};
            std::memcpy(&column[static_cast<size_t>(y) * RecordSize], record, sizeof record);
        }
        stream.Write(column.data(), column.size());
    }
    Events->SaveToStream(stream);
    Items->SaveToStream(stream);
    Params->SaveToStream(stream);
    Monsters->SaveToStream(stream);
}

void TMap::SaveToFile(const std::filesystem::path& path)
{
    TQVFileStreamBinary stream(path, TFileStream::Mode::Write);
    SaveToStream(stream);
    stream.Close();
    Changed = false;
}

std::filesystem::path TMap::MapFileName(const std::filesystem::path& folder) const
{
    return std::filesystem::path(folder.string() + Name + FileExtension);
}

void TMap::SetSize(int sizeX, int sizeY)
{
    if (sizeX < 1 || sizeX > MaxSize || sizeY < 1 || sizeY > MaxSize)
        throw KestruneError("A map has 1 to 256 cells a side; the size " + std::to_string(sizeX) + " x " +
                            std::to_string(sizeY) + " is not possible.");
    if (sizeX > gridX_ || sizeY > gridY_) {
        GrowGrid(sizeX, sizeY);
    } else if (sizeX < gridX_ || sizeY < gridY_) {
        // The cells beyond the new size are let go when they hold nothing;
        // otherwise they stay, to come back when the map grows again.
        bool outerEmpty = true;
        for (int x = 0; x < gridX_ && outerEmpty; ++x)
            for (int y = x < sizeX ? sizeY : 0; y < gridY_ && outerEmpty; ++y) {
                const uint8_t* s = Cell(x, y).Slots;
                outerEmpty = std::all_of(s, s + sizeof Cell(x, y).Slots, [](uint8_t v) { return v == 0; });
            }
        if (outerEmpty)
            Regrid(sizeX, sizeY);
    }
    SizeX = sizeX;
    SizeY = sizeY;
    ParametersReplaced();
    // Items beyond a new edge go where loading the saved map puts them,
    // rather than lie unseen and move when the project is opened again.
    if (Items)
        RecountItems();
}

void TMap::ParametersReplaced()
{
    Params->SetValue("sizeX", std::to_string(SizeX));
    Params->SetValue("sizeY", std::to_string(SizeY));
}

std::vector<int32_t> TMap::DerivedState() const
{
    // The size, and where the items lie: a smaller size moves those beyond it.
    std::vector<int32_t> state{SizeX, SizeY};
    for (int i = 0; Items && i < Items->Count(); ++i) {
        state.push_back(Items->ItemAt(i)->X);
        state.push_back(Items->ItemAt(i)->Y);
    }
    return state;
}

void TMap::RestoreDerivedState(const std::vector<int32_t>& state)
{
    if (state.size() < 2 || state[0] < 1 || state[0] > MaxSize || state[1] < 1 || state[1] > MaxSize)
        return;
    SizeX = state[0];
    SizeY = state[1];
    GrowGrid(SizeX, SizeY);
    if (!Items)
        return;
    if (state.size() == 2 + 2 * static_cast<size_t>(Items->Count())) {
        for (int i = 0; i < Items->Count(); ++i) {
            Items->ItemAt(i)->X = state[2 + 2 * static_cast<size_t>(i)];
            Items->ItemAt(i)->Y = state[3 + 2 * static_cast<size_t>(i)];
        }
    }
    RecountItems();
}

TMapCell& TMap::CellBeyondGrid(int x, int y)
{
    if (x < 0 || y < 0 || x >= MaxSize || y >= MaxSize) {
        spare_ = TMapCell{};
        return spare_;
    }
    GrowGrid(x + 1, y + 1);
    return cells_[static_cast<size_t>(x) * static_cast<size_t>(gridY_) + static_cast<size_t>(y)];
}

const TMapCell& TMap::EmptyCell()
{
    static const TMapCell empty;
    return empty;
}

void TMap::GrowGrid(int columns, int rows)
{
    if (columns > gridX_ || rows > gridY_)
        Regrid(std::max(columns, gridX_), std::max(rows, gridY_));
}

void TMap::Regrid(int columns, int rows)
{
    if (columns == gridX_ && rows == gridY_)
        return;
    std::vector<TMapCell> cells(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    const int keepX = std::min(columns, gridX_);
    const int keepY = std::min(rows, gridY_);
    for (int x = 0; x < keepX; ++x)
        std::copy_n(&cells_[static_cast<size_t>(x) * static_cast<size_t>(gridY_)], keepY,
                    &cells[static_cast<size_t>(x) * static_cast<size_t>(rows)]);
    cells_.swap(cells);
    gridX_ = columns;
    gridY_ = rows;
}

int TMap::SelectedSlot(int kind) const
{
    switch (kind) {
    case 1: return std::clamp(SelSide, 0, 3);
    case 2: return 4;
    case 3: return 5;
    case 4: return 6;
    default: return -1;
    }
}

bool TMap::ParameterChanged(const std::string& name, std::string_view value)
{
    if (std::string_view(name) != std::string_view("#orientation"))
        return false;
    const std::optional<int32_t> v = IsDecimal(std::string(value)) ? StrToInt32(value) : std::nullopt;
    if (!v)
        throw KestruneError("'" + std::string(value) + "' is not a valid integer value");
    if (InMap(SelX, SelY))
        Cell(SelX, SelY).Orientation() = static_cast<uint8_t>(std::clamp<int32_t>(*v, 0, 3));
    return true;
}

void TMap::RemoveElementReferences(int layer, int index)
{
    if (layer < 0 || layer >= LayerCount)
        return;
    const int r = index + 1;
    for (int x = 0; x < SizeX; ++x) {
        TMapCell* cells = &Cell(x, 0);
        for (int y = 0; y < SizeY; ++y)
            for (int slot = LayerFirstSlot[layer]; slot <= LayerLastSlot[layer]; ++slot) {
                uint8_t& s = cells[y].Slots[slot];
                if (s == r)
                    s = 0;
                else if (s > r)
                    --s;
            }
    }
}

void TMap::RecountItems()
{
    for (int x = 0; x < SizeX; ++x) {
        TMapCell* cells = &Cell(x, 0);
        for (int y = 0; y < SizeY; ++y)
            cells[y].ItemCount = 0;
    }
    for (int i = 0; i < Items->Count(); ++i) {
        TItem* item = Items->ItemAt(i);
        if (item->X < 0 || item->X >= SizeX)
            item->X = 0;
        if (item->Y < 0 || item->Y >= SizeY)
            item->Y = 0;
        Cell(item->X, item->Y).ItemAdded();
    }
}


TItem* TMap::AddItem(TItemDef* def, int x, int y)
{
    if (!InMap(x, y))
        return nullptr;
    Changed = true;
    auto* item = static_cast<TItem*>(Items->Add(std::make_unique<TItem>(def, Items.get(), x, y)));
    if (Cell(x, y).ObjectIndex() != 0)
        item->Params->SetValue("visible", "F");
    Cell(x, y).ItemAdded();
    return item;
}

TMonster* TMap::AddMonster(TMonsterDef* def, int x, int y)
{
    Changed = true;
    return static_cast<TMonster*>(Monsters->Add(std::make_unique<TMonster>(def, Monsters.get(), x, y)));
}

void TMap::MoveItem(TItem* item, int x, int y)
{
    if (!item || !InMap(x, y))
        return;
    if (InMap(item->X, item->Y))
        Cell(item->X, item->Y).ItemRemoved();
    Cell(x, y).ItemAdded();
    item->X = x;
    item->Y = y;
}

TItem* TMap::FirstItemAt(int x, int y) const
{
    for (int i = 0; i < Items->Count(); ++i) {
        TItem* item = Items->ItemAt(i);
        if (item->X == x && item->Y == y)
            return item;
    }
    return nullptr;
}

std::vector<TListedItem*> TMap::PlacementsAtSelection(int kind) const
{
    std::vector<TListedItem*> result;
    if (kind == 5) {
        if (!InMap(SelX, SelY) || Cell(SelX, SelY).ItemCount == 0)
            return result;
        for (int i = 0; i < Items->Count(); ++i)
            if (Items->ItemAt(i)->X == SelX && Items->ItemAt(i)->Y == SelY)
                result.push_back(Items->ItemAt(i));
    } else if (kind == 6) {
        for (int i = 0; i < Monsters->Count(); ++i)
            if (Monsters->MonsterAt(i)->Area().Holds(SelX, SelY))
                result.push_back(Monsters->MonsterAt(i));
    } else if (kind == 7) {
        const Project* p = Proj();
        if (!p || !p->Npcs)
            return result;
        for (int i = 0; i < p->Npcs->Count(); ++i) {
            TNPC* npc = p->Npcs->NpcAt(i);
            if (npc->Area().Holds(SelX, SelY) && npc->Params->GetValue("map") == Name)
                result.push_back(npc);
        }
    }
    return result;
}

void TMap::RemovePlacement(TListedItem* placement)
{
    const int item = Items->IndexOf(placement);
    if (item >= 0) {
        const TItem* it = Items->ItemAt(item);
        if (InMap(it->X, it->Y))
            Cell(it->X, it->Y).ItemRemoved();
        Items->Delete(item);
        return;
    }
    const int monster = Monsters->IndexOf(placement);
    if (monster >= 0)
        Monsters->Delete(monster);
}

std::string RefusedMapsMessage(const std::vector<std::string>& messages, size_t listed)
{
    if (messages.size() == 1)
        return messages.front();
    std::string text = std::to_string(messages.size()) +
                       " map files were not loaded; their files are left as they are.\n";
    for (size_t i = 0; i < messages.size() && i < listed; ++i)
        text += "\n" + messages[i];
    if (messages.size() > listed)
        text += "\n\n... and " + std::to_string(messages.size() - listed) + " more.";
    return text;
}

// -------------------------------------------------------------------- TMapList

std::unique_ptr<TLoadSaveItem> TMapList::CreateItem() { return std::make_unique<TMap>("", this, 10, 10); }

} // namespace kestrune
