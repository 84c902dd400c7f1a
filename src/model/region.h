#pragma once
// Map regions: a rectangle of a map taken out as a value that travels by
// name (between maps and between projects), and what putting it on a map,
// clearing it and filling it change. The value holds every slot of its
// cells, the events and parameters keyed to its cells and sides (keys made
// relative to its bottom-left cell), and the items and monsters lying on
// it with their lists. Elements are named, never numbered, so that a
// region copied from one project finds its elements by name in another.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

class Project;
class TListedItem;
class TMap;

using TRegionEntries = std::vector<std::pair<std::string, std::string>>;

// Columns Left to Right and rows Bottom to Top of a map, inclusive.
struct TRegionRect {
    int Left = 0, Bottom = 0, Right = -1, Top = -1;
    bool Empty() const { return Right < Left || Top < Bottom; }
    int Width() const { return Right - Left + 1; }
    int Height() const { return Top - Bottom + 1; }
    bool Holds(int x, int y) const { return Left <= x && x <= Right && Bottom <= y && y <= Top; }
    bool operator==(const TRegionRect& o) const
    {
        return Left == o.Left && Bottom == o.Bottom && Right == o.Right && Top == o.Top;
    }
    // The rectangle of two corner cells, in any order.
    static TRegionRect Spanning(int x1, int y1, int x2, int y2);
    // The part that lies in a map of that size.
    TRegionRect ClippedTo(int sizeX, int sizeY) const;
};

// An item or a monster of a region: its definition's name, its cell (and a
// monster's extent) relative to the region, and its lists.
struct TRegionPlacement {
    std::string Def;
    int Dx = 0, Dy = 0;
    int Width = 0, Height = 0; // monsters: Right - Left, Bottom - Top
    TRegionEntries Params, Events;
};

struct TRegion {
    static constexpr const char* MimeType = "application/x-kestrune-region";

    int Width = 0, Height = 0;
    // Slots 0 to 7 of each cell, index dx * Height + dy. Slots 0 to 6 refer
    // to the name tables (1-based, 0 none); slot 7 is the orientation.
    std::vector<std::array<uint8_t, 8>> Cells;
    // Walls, floors, ceilings, objects.
    std::array<std::vector<std::string>, 4> Names;
    // Keyed entries, their keys relative to the region's bottom-left cell.
    TRegionEntries Events, Params;
    std::vector<TRegionPlacement> Items, Monsters;

    bool Empty() const { return Width <= 0 || Height <= 0; }
    const std::array<uint8_t, 8>& Cell(int dx, int dy) const
    {
        return Cells[static_cast<size_t>(dx) * static_cast<size_t>(Height) + static_cast<size_t>(dy)];
    }

    // The clipboard form; FromBytes refuses anything else with a message.
    std::string ToBytes() const;
    static std::optional<TRegion> FromBytes(const std::string& bytes, std::string* error = nullptr);
    // A readable listing, one line per cell that holds anything, entry and placement.
    std::string Listing() const;
};

// A cell key at the end of an entry's name: "onEnter[3,4]" gives 3, 4, side
// -1 and the key's start 7; "light[3,4,2]" side 2. False for a name without
// a key (written as CellKey writes it).
bool SplitCellKey(const std::string& name, int& x, int& y, int& side, size_t& keyStart);

// Takes the rectangle (clipped to the map) of a map of a project.
TRegion CopyRegion(const Project& project, const TMap& map, TRegionRect rect);

// The elements of a region a project lacks ("Wall Brick", "Item Torch"), or
// cannot place (beyond the 255th of its library), in the region's order.
std::vector<std::string> MissingElements(const TRegion& region, const Project& project);

// A slot of one cell changed: the map holds `after`.
struct TRegionCellChange {
    int X, Y, Slot, Before, After;
};

// What putting a region on a map did.
struct TPasteResult {
    TRegionRect Target;       // the cells written, in the map
    int CellsLeftOut = 0;     // cells that fell outside the map
    int EntriesLeftOut = 0;   // keyed entries of those cells
    int PlacementsLeftOut = 0;
    int EntriesReplaced = 0;  // keys that were there already
    std::vector<TRegionCellChange> Cells;
    std::vector<TListedItem*> Placed; // items and monsters, in the order placed
};

// Puts a region on a map with its top-left cell (on screen) at (x, y): the
// region's cell (0, Height - 1) lands on (x, y). Cells outside the map are
// left out with their entries and placements; a pasted entry replaces one
// of the same name. The region's elements must be in the project
// (MissingElements empty); a name it lacks leaves that slot empty. The
// changes are made; the result says what they were.
TPasteResult PasteRegion(const Project& project, TMap& map, const TRegion& region, int x, int y);

// What clearing a rectangle does: every slot of its cells to 0, and its
// keyed entries removed (made here); its items and monsters are returned
// for the caller to take off the map.
struct TClearResult {
    std::vector<TRegionCellChange> Cells;
    int EntriesRemoved = 0;
    std::vector<TListedItem*> Placements;
};
TClearResult ClearRegion(TMap& map, TRegionRect rect);
// The items and monsters a region of the map holds: items on its cells,
// monsters whose top-left cell lies in it.
std::vector<TListedItem*> PlacementsIn(const TMap& map, TRegionRect rect);

// Sets one slot of every cell of a rectangle to a value (made here).
std::vector<TRegionCellChange> FillRegion(TMap& map, TRegionRect rect, int slot, int value);

} // namespace kestrune
