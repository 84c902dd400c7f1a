#include "model/region.h"

#include "model/map.h"
#include "model/placements.h"
#include "model/project.h"

#include <algorithm>
#include <unordered_map>

namespace kestrune {

namespace {

constexpr int MaxPlaceable = 255;
const char* const LayerLabels[4] = {"Wall", "Floor", "Ceiling", "Object"};
const char* const SideNames[4] = {"top", "right", "bottom", "left"};

TListedList* LayerLibrary(const Project& project, int layer) { return project.LibraryOfKind(layer + 1); }

// A list made to hold exactly these entries.
void ReplaceEntries(TParList& list, const TRegionEntries& entries)
{
    list.Clear();
    for (const auto& [name, value] : entries)
        list.Add(std::make_unique<TPar>(name, value));
    list.NamesChanged();
}

TRegionEntries EntriesOf(const TParList& list)
{
    TRegionEntries entries;
    entries.reserve(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        entries.emplace_back(list.Par(i)->Name, list.Par(i)->Value);
    return entries;
}

std::string Rekeyed(const std::string& name, size_t keyStart, int x, int y, int side)
{
    return name.substr(0, keyStart) + (side < 0 ? CellKey(x, y) : CellKey(x, y, side));
}

// The entries of a list keyed to cells of a rectangle, keys made relative to it.
void CopyKeyed(const TParList& list, const TRegionRect& rect, TRegionEntries& out)
{
    for (int i = 0; i < list.Count(); ++i) {
        const TPar& par = *list.Par(i);
        int x = 0, y = 0, side = -1;
        size_t at = 0;
        if (SplitCellKey(par.Name, x, y, side, at) && rect.Holds(x, y))
            out.emplace_back(Rekeyed(par.Name, at, x - rect.Left, y - rect.Bottom, side), par.Value);
    }
}

// ---- the clipboard form: a tag, then numbers little-endian and counted strings ----

constexpr char Magic[] = "KRGN";
constexpr uint8_t Version = 1;

class Writer {
public:
    std::string Bytes;
    void U8(uint8_t v) { Bytes.push_back(static_cast<char>(v)); }
    void U32(uint32_t v)
    {
        const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
        Bytes.append(b, 4);
    }
    void Str(const std::string& s)
    {
        U32(static_cast<uint32_t>(s.size()));
        Bytes += s;
    }
    void Entries(const TRegionEntries& entries)
    {
        U32(static_cast<uint32_t>(entries.size()));
        for (const auto& [name, value] : entries) {
            Str(name);
            Str(value);
        }
    }
};

class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    bool Failed = false;
    size_t Left() const { return bytes_.size() - at_; }
    uint8_t U8()
    {
        if (Left() < 1) {
            Failed = true;
            return 0;
        }
        return static_cast<uint8_t>(bytes_[at_++]);
    }
    uint32_t U32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(U8()) << (8 * i);
        return v;
    }
    std::string Str()
    {
        const uint32_t n = U32();
        if (Failed || n > Left()) {
            Failed = true;
            return {};
        }
        std::string s = bytes_.substr(at_, n);
        at_ += n;
        return s;
    }
    // A count of things each at least `least` bytes long: never more than the bytes left hold.
    uint32_t Count(size_t least)
    {
        const uint32_t n = U32();
        if (Failed || n > Left() / least) {
            Failed = true;
            return 0;
        }
        return n;
    }
    TRegionEntries Entries()
    {
        TRegionEntries entries(Count(8));
        for (auto& [name, value] : entries) {
            name = Str();
            value = Str();
        }
        return entries;
    }

private:
    const std::string& bytes_;
    size_t at_ = 0;
};

void WritePlacements(Writer& w, const std::vector<TRegionPlacement>& placements)
{
    w.U32(static_cast<uint32_t>(placements.size()));
    for (const TRegionPlacement& p : placements) {
        w.Str(p.Def);
        w.U32(static_cast<uint32_t>(p.Dx));
        w.U32(static_cast<uint32_t>(p.Dy));
        w.U32(static_cast<uint32_t>(p.Width));
        w.U32(static_cast<uint32_t>(p.Height));
        w.Entries(p.Params);
        w.Entries(p.Events);
    }
}

bool ReadPlacements(Reader& r, std::vector<TRegionPlacement>& placements, const TRegion& region)
{
    placements.resize(r.Count(28));
    for (TRegionPlacement& p : placements) {
        p.Def = r.Str();
        p.Dx = static_cast<int32_t>(r.U32());
        p.Dy = static_cast<int32_t>(r.U32());
        p.Width = static_cast<int32_t>(r.U32());
        p.Height = static_cast<int32_t>(r.U32());
        p.Params = r.Entries();
        p.Events = r.Entries();
        if (r.Failed || p.Dx < 0 || p.Dy < 0 || p.Dx >= region.Width || p.Dy >= region.Height || p.Width < 0 ||
            p.Height < 0 || p.Width >= TMap::MaxSize || p.Height >= TMap::MaxSize)
            return false;
    }
    return !r.Failed;
}

} // namespace

TRegionRect TRegionRect::Spanning(int x1, int y1, int x2, int y2)
{
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

TRegionRect TRegionRect::ClippedTo(int sizeX, int sizeY) const
{
    return {std::max(Left, 0), std::max(Bottom, 0), std::min(Right, sizeX - 1), std::min(Top, sizeY - 1)};
}

bool SplitCellKey(const std::string& name, int& x, int& y, int& side, size_t& keyStart)
{
    if (name.size() < 5 || name.back() != ']')
        return false;
    const size_t open = name.rfind('[');
    if (open == std::string::npos)
        return false;
    int numbers[3] = {0, 0, 0};
    int count = 0;
    size_t i = open + 1;
    while (count < 3) {
        const size_t start = i;
        long v = 0;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9' && v < 100000)
            v = v * 10 + (name[i++] - '0');
        if (i == start || i >= name.size())
            return false;
        numbers[count++] = static_cast<int>(v);
        if (name[i] == ']')
            break;
        if (name[i] != ',')
            return false;
        ++i;
    }
    if (i != name.size() - 1 || count < 2 || (count == 3 && numbers[2] > 3))
        return false;
    x = numbers[0];
    y = numbers[1];
    side = count == 3 ? numbers[2] : -1;
    keyStart = open;
    // Only the key as CellKey writes it (no leading zeros) names the cell.
    return name.compare(open, std::string::npos, side < 0 ? CellKey(x, y) : CellKey(x, y, side)) == 0;
}

TRegion CopyRegion(const Project& project, const TMap& map, TRegionRect rect)
{
    TRegion region;
    rect = rect.ClippedTo(map.SizeX, map.SizeY);
    if (rect.Empty())
        return region;
    region.Width = rect.Width();
    region.Height = rect.Height();
    region.Cells.resize(static_cast<size_t>(region.Width) * static_cast<size_t>(region.Height));
    // Each layer's name table numbers the elements in the order first met.
    std::array<std::vector<int>, 4> tableOf; // library position + 1 -> table number
    for (auto& t : tableOf)
        t.assign(256, 0);
    for (int dx = 0; dx < region.Width; ++dx)
        for (int dy = 0; dy < region.Height; ++dy) {
            const TMapCell& cell = map.Cell(rect.Left + dx, rect.Bottom + dy);
            auto& out = region.Cells[static_cast<size_t>(dx) * static_cast<size_t>(region.Height) +
                                     static_cast<size_t>(dy)];
            for (int slot = 0; slot < 7; ++slot) {
                const int v = cell.Slot(slot);
                if (v == 0)
                    continue;
                const int layer = TMap::LayerOfSlot(slot);
                int& number = tableOf[static_cast<size_t>(layer)][static_cast<size_t>(v)];
                if (number == 0) {
                    const TListedList* library = LayerLibrary(project, layer);
                    auto& names = region.Names[static_cast<size_t>(layer)];
                    names.push_back(library && v <= library->Count() ? library->Element(v - 1)->Name
                                                                     : std::string("?"));
                    number = static_cast<int>(names.size());
                }
                out[static_cast<size_t>(slot)] = static_cast<uint8_t>(number);
            }
            out[7] = static_cast<uint8_t>(cell.Orientation());
        }
    CopyKeyed(*map.Events, rect, region.Events);
    CopyKeyed(*map.Params, rect, region.Params);
    for (TListedItem* placement : PlacementsIn(map, rect)) {
        TRegionPlacement p;
        p.Params = EntriesOf(*placement->Params);
        p.Events = EntriesOf(*placement->Events);
        if (const auto* item = dynamic_cast<const TItem*>(placement)) {
            p.Def = placement->Params->GetValue("itemDef");
            p.Dx = item->X - rect.Left;
            p.Dy = item->Y - rect.Bottom;
            region.Items.push_back(std::move(p));
        } else {
            const auto* monster = static_cast<const TMonster*>(placement);
            p.Def = placement->Params->GetValue("1monsterDef");
            p.Dx = monster->Left - rect.Left;
            p.Dy = monster->Top - rect.Bottom;
            p.Width = std::clamp(monster->Right - monster->Left, 0, TMap::MaxSize - 1);
            p.Height = std::clamp(monster->Bottom - monster->Top, 0, TMap::MaxSize - 1);
            region.Monsters.push_back(std::move(p));
        }
    }
    return region;
}

std::vector<TListedItem*> PlacementsIn(const TMap& map, TRegionRect rect)
{
    std::vector<TListedItem*> found;
    for (int i = 0; i < map.Items->Count(); ++i)
        if (TItem* item = map.Items->ItemAt(i); rect.Holds(item->X, item->Y))
            found.push_back(item);
    for (int i = 0; i < map.Monsters->Count(); ++i)
        if (TMonster* monster = map.Monsters->MonsterAt(i); rect.Holds(monster->Left, monster->Top))
            found.push_back(monster);
    return found;
}

std::vector<std::string> MissingElements(const TRegion& region, const Project& project)
{
    std::vector<std::string> missing;
    auto need = [&missing](const TListedList* library, const char* label, const std::string& name) {
        const int at = library ? library->IndexOfName(name) : -1;
        std::string what = std::string(label) + " " + name;
        if (at < 0)
            missing.push_back(std::move(what));
        else if (at + 1 > MaxPlaceable)
            missing.push_back(std::move(what) + " (beyond the 255th of its library)");
    };
    for (int layer = 0; layer < 4; ++layer)
        for (const std::string& name : region.Names[static_cast<size_t>(layer)])
            need(LayerLibrary(project, layer), LayerLabels[layer], name);
    auto needDefs = [&](const std::vector<TRegionPlacement>& placements, const TListedList* library, const char* label) {
        std::vector<std::string> seen;
        for (const TRegionPlacement& p : placements) {
            if (std::find(seen.begin(), seen.end(), p.Def) != seen.end())
                continue;
            seen.push_back(p.Def);
            if (!library || library->IndexOfName(p.Def) < 0)
                missing.push_back(std::string(label) + " " + p.Def);
        }
    };
    needDefs(region.Items, project.ItemDefs.get(), "Item");
    needDefs(region.Monsters, project.MonsterDefs.get(), "Monster");
    return missing;
}

namespace {

// Adds entries to a list; one of a name already keyed in the target rectangle takes its place.
int PasteEntries(TParList& list, const TRegionEntries& entries, const TRegionRect& target)
{
    std::unordered_map<std::string, int> existing;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& name = list.Par(i)->Name;
        int x = 0, y = 0, side = -1;
        size_t at = 0;
        if (SplitCellKey(name, x, y, side, at) && target.Holds(x, y))
            existing.emplace(name, i);
    }
    int replaced = 0;
    for (const auto& [name, value] : entries) {
        if (auto it = existing.find(name); it != existing.end()) {
            list.Par(it->second)->Value = value;
            ++replaced;
        } else {
            list.Add(std::make_unique<TPar>(name, value));
        }
    }
    list.NamesChanged();
    return replaced;
}

} // namespace

TPasteResult PasteRegion(const Project& project, TMap& map, const TRegion& region, int x, int y)
{
    TPasteResult result;
    if (region.Empty())
        return result;
    const int left = x, bottom = y - (region.Height - 1);
    const TRegionRect whole{left, bottom, left + region.Width - 1, y};
    result.Target = whole.ClippedTo(map.SizeX, map.SizeY);
    const int total = region.Width * region.Height;
    result.CellsLeftOut = result.Target.Empty() ? total : total - result.Target.Width() * result.Target.Height();

    // The region's table numbers as positions of this project's libraries.
    std::array<std::vector<int>, 4> slotOf;
    for (int layer = 0; layer < 4; ++layer) {
        const TListedList* library = LayerLibrary(project, layer);
        auto& table = slotOf[static_cast<size_t>(layer)];
        table.push_back(0);
        for (const std::string& name : region.Names[static_cast<size_t>(layer)]) {
            const int at = library ? library->IndexOfName(name) : -1;
            table.push_back(at >= 0 && at < MaxPlaceable ? at + 1 : 0);
        }
    }
    if (!result.Target.Empty()) {
        result.Cells.reserve(static_cast<size_t>(result.Target.Width()) * static_cast<size_t>(result.Target.Height()) * 2);
        for (int tx = result.Target.Left; tx <= result.Target.Right; ++tx)
            for (int ty = result.Target.Bottom; ty <= result.Target.Top; ++ty) {
                const auto& from = region.Cell(tx - left, ty - bottom);
                TMapCell& cell = map.Cell(tx, ty);
                for (int slot = 0; slot < 8; ++slot) {
                    const int v = from[static_cast<size_t>(slot)];
                    int after = v;
                    if (slot < 7) {
                        const auto& table = slotOf[static_cast<size_t>(TMap::LayerOfSlot(slot))];
                        after = v < static_cast<int>(table.size()) ? table[static_cast<size_t>(v)] : 0;
                    }
                    const int before = cell.Slot(slot);
                    if (before != after) {
                        cell.SetSlot(slot, after);
                        result.Cells.push_back({tx, ty, slot, before, after});
                    }
                }
            }
    }

    auto keyedEntries = [&](const TRegionEntries& entries) {
        TRegionEntries placed;
        placed.reserve(entries.size());
        for (const auto& [name, value] : entries) {
            int dx = 0, dy = 0, side = -1;
            size_t at = 0;
            if (!SplitCellKey(name, dx, dy, side, at))
                continue;
            const int tx = left + dx, ty = bottom + dy;
            if (map.InMap(tx, ty) && whole.Holds(tx, ty))
                placed.emplace_back(Rekeyed(name, at, tx, ty, side), value);
            else
                ++result.EntriesLeftOut;
        }
        return placed;
    };
    if (!result.Target.Empty()) {
        result.EntriesReplaced += PasteEntries(*map.Events, keyedEntries(region.Events), result.Target);
        result.EntriesReplaced += PasteEntries(*map.Params, keyedEntries(region.Params), result.Target);
    } else {
        result.EntriesLeftOut = static_cast<int>(region.Events.size() + region.Params.size());
    }

    for (const TRegionPlacement& p : region.Items) {
        const int tx = left + p.Dx, ty = bottom + p.Dy;
        const int at = project.ItemDefs ? project.ItemDefs->IndexOfName(p.Def) : -1;
        if (!map.InMap(tx, ty) || at < 0) {
            ++result.PlacementsLeftOut;
            continue;
        }
        TItem* item = map.AddItem(static_cast<TItemDef*>(project.ItemDefs->Element(at)), tx, ty);
        ReplaceEntries(*item->Params, p.Params);
        ReplaceEntries(*item->Events, p.Events);
        item->ParametersReplaced();
        result.Placed.push_back(item);
    }
    for (const TRegionPlacement& p : region.Monsters) {
        const int tx = left + p.Dx, ty = bottom + p.Dy;
        const int at = project.MonsterDefs ? project.MonsterDefs->IndexOfName(p.Def) : -1;
        if (!map.InMap(tx, ty) || !map.InMap(tx + p.Width, ty + p.Height) || at < 0) {
            ++result.PlacementsLeftOut;
            continue;
        }
        TMonster* monster = map.AddMonster(static_cast<TMonsterDef*>(project.MonsterDefs->Element(at)), tx, ty);
        ReplaceEntries(*monster->Params, p.Params);
        ReplaceEntries(*monster->Events, p.Events);
        monster->Params->SetValue("x", std::to_string(tx));
        monster->Params->SetValue("y", std::to_string(ty));
        monster->ParametersReplaced();
        result.Placed.push_back(monster);
    }
    if (!result.Cells.empty() || !result.Placed.empty())
        map.Changed = true;
    return result;
}

TClearResult ClearRegion(TMap& map, TRegionRect rect)
{
    TClearResult result;
    rect = rect.ClippedTo(map.SizeX, map.SizeY);
    if (rect.Empty())
        return result;
    for (int x = rect.Left; x <= rect.Right; ++x)
        for (int y = rect.Bottom; y <= rect.Top; ++y) {
            TMapCell& cell = map.Cell(x, y);
            for (int slot = 0; slot < 8; ++slot)
                if (const int before = cell.Slot(slot); before != 0) {
                    cell.SetSlot(slot, 0);
                    result.Cells.push_back({x, y, slot, before, 0});
                }
        }
    for (TParList* list : {static_cast<TParList*>(map.Events.get()), map.Params.get()}) {
        TRegionEntries kept;
        kept.reserve(static_cast<size_t>(list->Count()));
        for (int i = 0; i < list->Count(); ++i) {
            const TPar& par = *list->Par(i);
            int x = 0, y = 0, side = -1;
            size_t at = 0;
            if (SplitCellKey(par.Name, x, y, side, at) && rect.Holds(x, y))
                ++result.EntriesRemoved;
            else
                kept.emplace_back(par.Name, par.Value);
        }
        if (static_cast<int>(kept.size()) != list->Count())
            ReplaceEntries(*list, kept);
    }
    result.Placements = PlacementsIn(map, rect);
    if (!result.Cells.empty() || result.EntriesRemoved > 0)
        map.Changed = true;
    return result;
}

std::vector<TRegionCellChange> FillRegion(TMap& map, TRegionRect rect, int slot, int value)
{
    std::vector<TRegionCellChange> changes;
    rect = rect.ClippedTo(map.SizeX, map.SizeY);
    if (slot < 0 || slot > 7 || rect.Empty())
        return changes;
    for (int x = rect.Left; x <= rect.Right; ++x)
        for (int y = rect.Bottom; y <= rect.Top; ++y) {
            TMapCell& cell = map.Cell(x, y);
            if (const int before = cell.Slot(slot); before != value) {
                cell.SetSlot(slot, value);
                changes.push_back({x, y, slot, before, value});
            }
        }
    if (!changes.empty())
        map.Changed = true;
    return changes;
}

// ---- clipboard form ----

std::string TRegion::ToBytes() const
{
    Writer w;
    size_t entries = 0;
    for (const auto& [name, value] : Events)
        entries += name.size() + value.size() + 8;
    for (const auto& [name, value] : Params)
        entries += name.size() + value.size() + 8;
    for (const auto* list : {&Items, &Monsters})
        for (const TRegionPlacement& p : *list) {
            entries += p.Def.size() + 32;
            for (const auto* lists : {&p.Params, &p.Events})
                for (const auto& [name, value] : *lists)
                    entries += name.size() + value.size() + 8;
        }
    w.Bytes.reserve(64 + Cells.size() * 8 + entries);
    w.Bytes.append(Magic, 4);
    w.U8(Version);
    w.U32(static_cast<uint32_t>(Width));
    w.U32(static_cast<uint32_t>(Height));
    for (const auto& names : Names) {
        w.U32(static_cast<uint32_t>(names.size()));
        for (const std::string& name : names)
            w.Str(name);
    }
    for (const auto& cell : Cells)
        w.Bytes.append(reinterpret_cast<const char*>(cell.data()), cell.size());
    w.Entries(Events);
    w.Entries(Params);
    WritePlacements(w, Items);
    WritePlacements(w, Monsters);
    return std::move(w.Bytes);
}

std::optional<TRegion> TRegion::FromBytes(const std::string& bytes, std::string* error)
{
    auto refuse = [error](const char* why) -> std::optional<TRegion> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.size() < 5 || bytes.compare(0, 4, Magic) != 0)
        return refuse("The clipboard does not hold a map region.");
    if (static_cast<uint8_t>(bytes[4]) != Version)
        return refuse("The map region on the clipboard comes from another version of the editor.");
    const std::string body = bytes.substr(5);
    Reader r(body);
    TRegion region;
    const uint32_t width = r.U32(), height = r.U32();
    if (r.Failed || width < 1 || height < 1 || width > TMap::MaxSize || height > TMap::MaxSize)
        return refuse("The map region on the clipboard is damaged.");
    region.Width = static_cast<int>(width);
    region.Height = static_cast<int>(height);
    for (auto& names : region.Names) {
        names.resize(r.Count(4));
        if (names.size() > 255)
            return refuse("The map region on the clipboard is damaged.");
        for (std::string& name : names)
            name = r.Str();
    }
    const size_t cells = static_cast<size_t>(width) * height;
    if (r.Failed || r.Left() < cells * 8)
        return refuse("The map region on the clipboard is damaged.");
    region.Cells.resize(cells);
    for (auto& cell : region.Cells)
        for (int slot = 0; slot < 8; ++slot) {
            const uint8_t v = r.U8();
            const bool valid = slot == 7 ? v < 4 : v <= region.Names[static_cast<size_t>(TMap::LayerOfSlot(slot))].size();
            if (!valid)
                return refuse("The map region on the clipboard is damaged.");
            cell[static_cast<size_t>(slot)] = v;
        }
    region.Events = r.Entries();
    region.Params = r.Entries();
    auto keysInside = [&region](const TRegionEntries& entries) {
        for (const auto& entry : entries) {
            int x = 0, y = 0, side = -1;
            size_t at = 0;
            if (!SplitCellKey(entry.first, x, y, side, at) || x >= region.Width || y >= region.Height)
                return false;
        }
        return true;
    };
    if (r.Failed || !keysInside(region.Events) || !keysInside(region.Params) ||
        !ReadPlacements(r, region.Items, region) || !ReadPlacements(r, region.Monsters, region) || r.Left() != 0)
        return refuse("The map region on the clipboard is damaged.");
    return region;
}

std::string TRegion::Listing() const
{
    // Sized once: growing a text of tens of megabytes copies it again and
    // again, and touches fresh pages each time.
    size_t entries = 0;
    for (const auto& [name, value] : Events)
        entries += name.size() + value.size() + 16;
    for (const auto& [name, value] : Params)
        entries += name.size() + value.size() + 16;
    for (const TRegionPlacement& p : Items)
        entries += p.Def.size() + 32;
    for (const TRegionPlacement& p : Monsters)
        entries += p.Def.size() + 48;
    std::string out;
    out.reserve(Cells.size() * 96 + entries + 128);
    auto number = [&out](int v) { out += std::to_string(v); };
    out += "Map region of ";
    number(Width);
    out += " x ";
    number(Height);
    out += " cells (x from the left, y from the bottom)\n";
    static const char* const SlotNames[7] = {"wall top", "wall right", "wall bottom", "wall left",
                                             "floor",    "ceiling",    "object"};
    for (int dy = Height - 1; dy >= 0; --dy)
        for (int dx = 0; dx < Width; ++dx) {
            const auto& cell = Cell(dx, dy);
            bool first = true;
            for (int slot = 0; slot < 7; ++slot) {
                const int v = cell[static_cast<size_t>(slot)];
                if (v == 0)
                    continue;
                if (first) {
                    out += '[';
                    number(dx);
                    out += ',';
                    number(dy);
                    out += "] ";
                    first = false;
                } else {
                    out += ", ";
                }
                out += SlotNames[slot];
                out += ' ';
                out += Names[static_cast<size_t>(TMap::LayerOfSlot(slot))][static_cast<size_t>(v - 1)];
            }
            if (cell[6] != 0) {
                out += " facing ";
                out += SideNames[cell[7] & 3];
            }
            if (!first)
                out += '\n';
        }
    for (const auto& [name, value] : Events) {
        out += "event ";
        out += name;
        out += ": ";
        out += value;
        out += '\n';
    }
    for (const auto& [name, value] : Params) {
        out += "parameter ";
        out += name;
        out += " = ";
        out += value;
        out += '\n';
    }
    for (const TRegionPlacement& p : Items)
        out += "item " + p.Def + " at " + CellKey(p.Dx, p.Dy) + "\n";
    for (const TRegionPlacement& p : Monsters)
        out += "monster " + p.Def + " at " + CellKey(p.Dx, p.Dy) + " to " + CellKey(p.Dx + p.Width, p.Dy + p.Height) +
               "\n";
    return out;
}

} // namespace kestrune
