#pragma once
// Map drawing: the geometry of cells and sides, the fixed colours, the
// event and parameter marks, and the hit test.

#include "model/canvas.h"
#include "model/map.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

class TMap;
class TParList;

// Fixed colours of the map view.
constexpr TColor GridColor = RgbColor(191, 180, 164);
constexpr TColor LimeColor = RgbColor(0, 255, 0);
constexpr TColor AquaColor = RgbColor(0, 255, 255);
constexpr TColor RedColor = RgbColor(255, 0, 0);
constexpr TColor YellowColor = RgbColor(255, 255, 0);
constexpr TColor WhiteColor = RgbColor(255, 255, 255);
constexpr TColor SilverColor = RgbColor(192, 192, 192);
constexpr TColor BlackColor = RgbColor(0, 0, 0);

// A cell is 13 units of Zoom pixels.
constexpr int CellUnits = 13;

// The rectangle of side 0 to 3 in units from the cell's top-left corner
// (left, top, right, bottom; right and bottom exclusive).
struct TUnitRect {
    int Left, Top, Right, Bottom;
};
TUnitRect SideRect(int side);

// The hit test: which cell and side of a map a pixel of its view lies in.
struct TCellHit {
    bool Hit = false;
    int X = 0, Y = 0, Side = 0;
};
TCellHit CellAt(const TMap& map, int px, int py, int zoom);

// Which cells and sides of a map carry events or parameters: for every cell
// the keys [x,y] and [x,y,side] that occur anywhere in an entry's name.
class TCellMarks {
public:
    enum : uint16_t { CellEvents = 1, CellParams = 2 };
    static uint16_t SideEvents(int side) { return static_cast<uint16_t>(4u << side); }
    static uint16_t SideParams(int side) { return static_cast<uint16_t>(64u << side); }

    TCellMarks() = default;
    // Indexes the names of a map's events and parameters.
    explicit TCellMarks(const TMap& map);
    uint16_t At(int x, int y) const;

    // Calls found(x, y, side) for every cell key in a name (side -1 for a cell key).
    template <typename F>
    static void ForEachKey(const std::string& name, F found);

private:
    void Scan(const TParList& list, bool events);
    std::vector<uint16_t> flags_;
};

// ---- template definition ----

namespace detail {
// A decimal number as a cell key writes it: no sign, no leading zeros.
// Returns the position after it, or npos; values above 65535 give -1.
size_t ParseKeyNumber(const std::string& s, size_t at, int& value);
} // namespace detail

template <typename F>
void TCellMarks::ForEachKey(const std::string& name, F found)
{
    for (size_t open = name.find('['); open != std::string::npos; open = name.find('[', open + 1)) {
        int x = 0, y = 0, side = 0;
        size_t at = detail::ParseKeyNumber(name, open + 1, x);
        if (at == std::string::npos || at >= name.size() || name[at] != ',')
            continue;
        at = detail::ParseKeyNumber(name, at + 1, y);
        if (at == std::string::npos || at >= name.size())
            continue;
        if (name[at] == ']') {
            found(x, y, -1);
            continue;
        }
        if (name[at] != ',')
            continue;
        at = detail::ParseKeyNumber(name, at + 1, side);
        if (at != std::string::npos && at < name.size() && name[at] == ']')
            found(x, y, side);
    }
}

} // namespace kestrune
