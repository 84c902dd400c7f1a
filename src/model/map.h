#pragma once
// A map: a grid of up to 256 by 256 cells with walls, floors, ceilings and
// objects, the items and monsters placed on it, and its keyed events and
// parameters; and the map file.

#include "core/errors.h"
#include "model/placements.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TQVFileStreamBinary;

// A map file that cannot be loaded as a map (impossible sizes, an element
// beyond what a cell can refer to). The project load reports it and goes on
// with the other maps; the file stays as it is.
class TMapRefused : public KestruneError {
public:
    using KestruneError::KestruneError;
};

// One cell: slots 0 to 3 the walls of sides 0 to 3, 4 the floor, 5 the
// ceiling, 6 the object, 7 the object's orientation, 8 the number of items
// on it. Slots 0 to 6 hold a 1-based library position, 0 for none.
// A range of cells, both ends included.
struct TCellRange {
    int FirstX = 0, LastX = 0, FirstY = 0, LastY = 0;
};

struct TMapCell {
    uint8_t Slots[8] = {};
    // Derived from the item list, never stored; wide enough for every item a
    // file can hold (its item count is 16 bits). Past that it stays at the top.
    uint16_t ItemCount = 0;

    void ItemAdded()
    {
        if (ItemCount < UINT16_MAX)
            ++ItemCount;
    }
    void ItemRemoved()
    {
        if (ItemCount > 0)
            --ItemCount;
    }

    uint8_t& Wall(int side) { return Slots[side]; }
    uint8_t Wall(int side) const { return Slots[side]; }
    uint8_t& Floor() { return Slots[4]; }
    uint8_t Floor() const { return Slots[4]; }
    uint8_t& Ceiling() { return Slots[5]; }
    uint8_t Ceiling() const { return Slots[5]; }
    uint8_t& ObjectIndex() { return Slots[6]; }
    uint8_t ObjectIndex() const { return Slots[6]; }
    uint8_t& Orientation() { return Slots[7]; }
    uint8_t Orientation() const { return Slots[7]; }

    // Slot 0 to 8 by number (8 is ItemCount).
    int Slot(int slot) const { return slot == 8 ? ItemCount : Slots[slot]; }
    void SetSlot(int slot, int value);
    bool Empty() const;
};

class TMap : public TListedItem {
public:
    static constexpr int MaxSize = 256;
    // The four layers of slots 0 to 6: walls, floors, ceilings, objects.
    static constexpr int LayerCount = 4;

    // A new map of the given size (Create).
    TMap(std::string name, TListedList* owner, int sizeX, int sizeY);
    // Loads the map from a file of the project's maps folder (CreateFromFile).
    // Throws KestruneError when the file cannot be opened or its sizes are
    // outside 1 to 256; the file is left untouched.
    static std::unique_ptr<TMap> CreateFromFile(const std::string& fileName, TListedList* owner);
    // The same from a file anywhere (its name gives the map's name).
    static std::unique_ptr<TMap> LoadFile(const std::filesystem::path& path, TListedList* owner);
    // The same from the bytes of a map file.
    static std::unique_ptr<TMap> LoadBytes(const std::string& bytes, const std::string& fileName, TListedList* owner);

    int32_t SizeX = 1, SizeY = 1;
    std::unique_ptr<TItemList> Items;
    std::unique_ptr<TMonstersList> Monsters;
    int32_t SelX = 0, SelY = 0, SelSide = 0;
    bool Changed = false;
    int32_t ScrollV = 0, ScrollH = 0;
    // The ending of the file the map came from, as spelled there (".map" for new maps).
    std::string FileExtension = ".map";

    // The cell at (x, y). Every cell of the map is held; a cell beyond the
    // map's size reads as empty unless it kept content from a larger size.
    // Writing to a cell beyond the held grid (0 to 255 a side) grows the grid.
    TMapCell& Cell(int x, int y)
    {
        if (InGrid(x, y))
            return cells_[static_cast<size_t>(x) * static_cast<size_t>(gridY_) + static_cast<size_t>(y)];
        return CellBeyondGrid(x, y);
    }
    const TMapCell& Cell(int x, int y) const
    {
        if (InGrid(x, y))
            return cells_[static_cast<size_t>(x) * static_cast<size_t>(gridY_) + static_cast<size_t>(y)];
        return EmptyCell();
    }
    // The columns and rows of cells held: at least the map's size, more
    // while cells beyond a smaller size keep content.
    int GridX() const { return gridX_; }
    int GridY() const { return gridY_; }
    bool InMap(int x, int y) const { return x >= 0 && y >= 0 && x < SizeX && y < SizeY; }
    TMapCell& SelectedCell() { return Cell(SelX, SelY); }

    TMapParList& MapParams() const { return static_cast<TMapParList&>(*Params); }
    TMapEventsList& MapEvents() const { return static_cast<TMapEventsList&>(*Events); }

    void SaveToStream(TQVFileStream& stream) override;
    // Writes the whole file; clears Changed once it is written.
    void SaveToFile(const std::filesystem::path& path);
    std::filesystem::path MapFileName(const std::filesystem::path& folder) const;

    // Throws KestruneError for sizes outside 1 to 256 (the map keeps its size).
    void SetSize(int sizeX, int sizeY);
    // The slot of the selected cell a browser kind paints, or -1.
    int SelectedSlot(int kind) const;
    bool ParameterChanged(const std::string& name, std::string_view value) override;
    // The size parameters always name the map's size, as after loading.
    void ParametersReplaced() override;
    std::vector<int32_t> DerivedState() const override;
    void RestoreDerivedState(const std::vector<int32_t>& state) override;
    void RemoveElementReferences(int layer, int index);
    void RecountItems();

    // The changed-map mark of the element tree.
    void Draw(TCanvas& canvas, int x, int y, int orientation, int zoom) override;
    // Draws the cells of a range that lie in the map for a browser kind at
    // the project's zoom: each cell assembled off-screen, then copied.
    void DrawArea(TCanvas& canvas, int kind, TCellRange range);
    // The same drawn straight onto the canvas.
    void DrawAreaDirect(TCanvas& canvas, int kind, TCellRange range);

    // Placements (items and monsters).
    TItem* AddItem(TItemDef* def, int x, int y);
    TMonster* AddMonster(TMonsterDef* def, int x, int y);
    void MoveItem(TItem* item, int x, int y);
    TItem* FirstItemAt(int x, int y) const;
    // The placements of the selected cell for browser kinds 5 (items),
    // 6 (monsters) and 7 (NPCs, from the project's instances).
    std::vector<TListedItem*> PlacementsAtSelection(int kind) const;
    // Takes an item or monster off the map (the element is destroyed).
    void RemovePlacement(TListedItem* placement);

    // The layer of a slot 0 to 6, and the slots of a layer.
    static int LayerOfSlot(int slot) { return slot < 4 ? 0 : slot - 3; }

private:
    bool InGrid(int x, int y) const
    {
        return static_cast<unsigned>(x) < static_cast<unsigned>(gridX_) &&
               static_cast<unsigned>(y) < static_cast<unsigned>(gridY_);
    }
    TMapCell& CellBeyondGrid(int x, int y);
    static const TMapCell& EmptyCell();
    // Holds columns x rows cells, keeping the content of the cells both grids hold.
    void Regrid(int columns, int rows);
    // Grows the grid to hold at least columns x rows cells.
    void GrowGrid(int columns, int rows);

    // Column by column: cell (x, y) at x * gridY_ + y.
    std::vector<TMapCell> cells_;
    int gridX_ = 0, gridY_ = 0;
    TMapCell spare_; // what writes outside 0 to 255 reach

    void DrawMonsterOutlines(TCanvas& canvas, int zoom) const;
    void LoadFromBytes(TQVFileStreamBinary& stream, const std::filesystem::path& path);
    void InitLists();
};

// One message for the map files a load refused, given the message of each:
// a single one as it is; more as a count and the first `listed` of them,
// with how many are left out.
std::string RefusedMapsMessage(const std::vector<std::string>& messages, size_t listed = 20);

// The maps of a project.
class TMapList : public TListedList {
public:
    using TListedList::TListedList;
    TMap* MapAt(int index) const { return static_cast<TMap*>(Item(index)); }
    std::unique_ptr<TLoadSaveItem> CreateItem() override;
};

} // namespace kestrune
