#include "model/render.h"

#include "model/drawing.h"
#include "model/picture.h"
#include "model/project.h"

#include <algorithm>
#include <utility>

namespace kestrune {

namespace {

constexpr int MaxCells = TMap::MaxSize;

// The pixel of every pattern value: the map colours, the key colour for 0.
struct PatternPalette {
    QRgb colours[34];
    explicit PatternPalette(const Project* p)
    {
        colours[0] = ToRgb(KeyColor);
        for (int v = 1; v < 34; ++v)
            colours[v] = p ? ToRgb(p->MapColors[static_cast<size_t>(v)]) : ToRgb(KeyColor);
    }
    QRgb operator[](uint8_t v) const { return v < 34 ? colours[v] : colours[0]; }
};

TBrush MarkBrush(bool events, bool params)
{
    if (events && params)
        return TBrush::DiagonalCross;
    return events ? TBrush::BackwardDiagonal : TBrush::ForwardDiagonal;
}

// The zoom slot of the drawing caches: zoom 1, or the current zoom.
int ZoomSlot(int zoom) { return zoom == 1 ? 0 : 1; }

// Origin of the wall pattern of each side, in units, and the direction its
// 11 squares run.
constexpr int WallOriginX[4] = {1, 12, 1, 0};
constexpr int WallOriginY[4] = {0, 1, 12, 1};

} // namespace

// -------------------------------------------------------------------- geometry

TUnitRect SideRect(int side)
{
    switch (side) {
    case 0: return {0, 0, 13, 3};
    case 1: return {10, 0, 13, 13};
    case 2: return {0, 10, 13, 13};
    default: return {0, 0, 3, 13};
    }
}

TCellHit CellAt(const TMap& map, int px, int py, int zoom)
{
    TCellHit hit;
    const int c = CellUnits * zoom;
    if (c <= 0 || px < 0 || py < 0 || px >= map.SizeX * c || py >= map.SizeY * c)
        return hit;
    hit.Hit = true;
    hit.X = px / c;
    hit.Y = map.SizeY - py / c - 1;
    const int rx = px % c, ry = py % c;
    const bool a = ry >= rx;
    const bool b = ry >= c - rx;
    hit.Side = a ? (b ? 2 : 3) : (b ? 1 : 0);
    return hit;
}

// ----------------------------------------------------------------------- marks

size_t detail::ParseKeyNumber(const std::string& s, size_t at, int& value)
{
    if (at >= s.size() || s[at] < '0' || s[at] > '9')
        return std::string::npos;
    if (s[at] == '0') {
        value = 0;
        return at + 1;
    }
    long v = 0;
    size_t i = at;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        if (v <= 65535)
            v = v * 10 + (s[i] - '0');
    value = v > 65535 ? -1 : static_cast<int>(v);
    return i;
}

TCellMarks::TCellMarks(const TMap& map) : flags_(static_cast<size_t>(MaxCells) * MaxCells, 0)
{
    Scan(*map.Events, true);
    Scan(*map.Params, false);
}

void TCellMarks::Scan(const TParList& list, bool events)
{
    for (int i = 0; i < list.Count(); ++i)
        ForEachKey(list.Par(i)->Name, [&](int x, int y, int side) {
            if (x < 0 || y < 0 || x >= MaxCells || y >= MaxCells)
                return;
            uint16_t bit = 0;
            if (side < 0)
                bit = events ? CellEvents : CellParams;
            else if (side <= 3)
                bit = events ? SideEvents(side) : SideParams(side);
            flags_[static_cast<size_t>(x) * MaxCells + static_cast<size_t>(y)] |= bit;
        });
}

uint16_t TCellMarks::At(int x, int y) const
{
    if (flags_.empty() || x < 0 || y < 0 || x >= MaxCells || y >= MaxCells)
        return 0;
    return flags_[static_cast<size_t>(x) * MaxCells + static_cast<size_t>(y)];
}

// ------------------------------------------------------------ element drawing

namespace {

void PrepareElementPictures(TListedItem& e)
{
    const auto [columns, rows] = e.GetPatternSize();
    const Project* p = e.Proj();
    if (columns <= 0 || rows <= 0 || !p)
        return;
    const int zooms[2] = {1, p->Zoom};
    for (int slot = 0; slot < 2; ++slot) {
        const int w = std::max(zooms[slot], 1);
        TImagePtr picture(new QImage(columns * w, rows * w, QImage::Format_RGB32));
        picture->fill(ToRgb(KeyColor));
        TCanvas canvas(*picture, TCanvas::PatternMode::Cache);
        e.DrawPattern(canvas, 0, 0, 0, w);
        e.PatternPictures[static_cast<size_t>(slot)] = std::move(picture);
    }
}

void DrawElementPattern(const TListedItem& e, TCanvas& canvas, int x, int y, int zoom)
{
    const auto [columns, rows] = e.GetPatternSize();
    const PatternPalette palette(e.Proj());
    for (int r = 0; r < rows; ++r)
        for (int q = 0; q < columns; ++q)
            canvas.PatternSquare(x + q * zoom, y + r * zoom, zoom, palette[e.PatternCells[r][q]]);
}

void DrawElement(TListedItem& e, TCanvas& canvas, int x, int y, int orientation, int zoom)
{
    const Project* p = e.Proj();
    if (p && p->MapDirectDraw) {
        e.DrawPattern(canvas, x + zoom - 2, y + zoom - 2, orientation, zoom);
        return;
    }
    if (const QImage* picture = e.PatternPictures[static_cast<size_t>(ZoomSlot(zoom))].get())
        canvas.CopyKeyed(*picture, x + zoom - 2, y + zoom - 2, ToRgb(KeyColor));
}

void PrepareWall(TWall& wall)
{
    const Project* p = wall.Proj();
    if (!p)
        return;
    const int zooms[2] = {1, p->Zoom};
    for (int slot = 0; slot < 2; ++slot) {
        const int w = std::max(zooms[slot], 1);
        for (int side = 0; side < 4; ++side) {
            const bool across = side == 0 || side == 2;
            TImagePtr picture(new QImage(across ? 11 * w : w, across ? w : 11 * w, QImage::Format_RGB32));
            picture->fill(ToRgb(KeyColor));
            TCanvas canvas(*picture, TCanvas::PatternMode::Cache);
            wall.DrawPattern(canvas, 0, 0, side, w);
            wall.DirectionPictures[static_cast<size_t>(slot)][static_cast<size_t>(side)] = std::move(picture);
        }
    }
}

void DrawWallPatternAt(const TWall& wall, TCanvas& canvas, int x, int y, int side, int zoom)
{
    const bool across = side == 0 || side == 2;
    const int dx = across ? 1 : 0, dy = across ? 0 : 1;
    const PatternPalette palette(wall.Proj());
    for (int q = 0; q < 11; ++q)
        canvas.PatternSquare((x + q * dx) * zoom, (y + q * dy) * zoom, zoom, palette[wall.PatternCells[0][q]]);
}

void DrawWallAt(TWall& wall, TCanvas& canvas, int x, int y, int side, int zoom)
{
    if (side < 0 || side > 3 || zoom <= 0)
        return;
    const Project* p = wall.Proj();
    if (p && p->MapDirectDraw) {
        wall.DrawPattern(canvas, x / zoom + WallOriginX[side], y / zoom + WallOriginY[side], side, zoom);
        return;
    }
    if (const QImage* picture =
            wall.DirectionPictures[static_cast<size_t>(ZoomSlot(zoom))][static_cast<size_t>(side)].get())
        canvas.CopyKeyed(*picture, x + WallOriginX[side] * zoom, y + WallOriginY[side] * zoom, ToRgb(KeyColor));
}

// The drawing side of every program that links this file.
class TQtDrawing final : public TDrawing {
public:
    void DeleteImage(QImage* image) override { delete image; }
    bool PictureFileDecodes(const std::filesystem::path& path) override { return DecodePictureFile(path) != nullptr; }
    void PreparePictures(TListedItem& e) override { PrepareElementPictures(e); }
    void DrawPattern(TListedItem& e, TCanvas& canvas, int x, int y, int, int zoom) override
    {
        DrawElementPattern(e, canvas, x, y, zoom);
    }
    void Draw(TListedItem& e, TCanvas& canvas, int x, int y, int orientation, int zoom) override
    {
        DrawElement(e, canvas, x, y, orientation, zoom);
    }
    void PrepareWallPictures(TWall& wall) override { PrepareWall(wall); }
    void DrawWallPattern(TWall& wall, TCanvas& canvas, int x, int y, int side, int zoom) override
    {
        DrawWallPatternAt(wall, canvas, x, y, side, zoom);
    }
    void DrawWall(TWall& wall, TCanvas& canvas, int x, int y, int side, int zoom) override
    {
        DrawWallAt(wall, canvas, x, y, side, zoom);
    }
    void DrawItemDef(TItemDef& def, TCanvas& canvas, int x, int y, int, int zoom) override
    {
        if (def.Picture && !def.Picture->isNull())
            canvas.Stretch(*def.Picture, x, y, x + 12 * zoom, y + 12 * zoom);
    }
    void DrawMap(TMap& map, TCanvas& canvas, int x, int y) override
    {
        if (map.Changed)
            canvas.Rectangle(x + 4, y + 4, x + 12, y + 12, ToRgb(BlackColor), TBrush::Solid, ToRgb(SilverColor));
    }
};

} // namespace

TDrawing& QtDrawing()
{
    static TQtDrawing drawing;
    return drawing;
}

namespace {
const bool drawingInstalled = [] {
    TDrawing::Install(&QtDrawing());
    return true;
}();
} // namespace

// ---------------------------------------------------------------- map drawing

namespace {

// What a cell slot refers to in its library, or none.
TListedItem* SlotElement(const TListedList* library, int value)
{
    return library && value > 0 && value <= library->Count() ? library->Element(value - 1) : nullptr;
}

bool ClampRange(const TMap& map, TCellRange& r)
{
    r.FirstX = std::max(0, r.FirstX);
    r.LastX = std::min(map.SizeX - 1, r.LastX);
    r.FirstY = std::max(0, r.FirstY);
    r.LastY = std::min(map.SizeY - 1, r.LastY);
    return r.FirstX <= r.LastX && r.FirstY <= r.LastY;
}

void UnitRectangle(TCanvas& canvas, int x0, int y0, int side, int zoom, std::optional<QRgb> pen, TBrush brush,
                   QRgb brushColour = 0)
{
    const TUnitRect u = SideRect(side);
    canvas.Rectangle(x0 + u.Left * zoom, y0 + u.Top * zoom, x0 + u.Right * zoom, y0 + u.Bottom * zoom, pen, brush,
                     brushColour);
}

} // namespace

void TMap::DrawMonsterOutlines(TCanvas& canvas, int zoom) const
{
    const int c = CellUnits * zoom;
    for (int i = 0; i < Monsters->Count(); ++i) {
        const TMonster* m = Monsters->MonsterAt(i);
        const int64_t x1 = static_cast<int64_t>(m->Left) * c + 2;
        const int64_t y1 = (static_cast<int64_t>(SizeY) - m->Top) * c - 2;
        const int64_t x2 = (static_cast<int64_t>(m->Right) + 1) * c - 2;
        const int64_t y2 = (static_cast<int64_t>(SizeY) - 1 - m->Bottom) * c + 2;
        // Far outside the canvas there is nothing to see.
        auto fit = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -100000, 100000)); };
        canvas.Rectangle(fit(x1), fit(y1), fit(x2), fit(y2), ToRgb(YellowColor), TBrush::ForwardDiagonal,
                         ToRgb(WhiteColor));
    }
}

void TMap::DrawArea(TCanvas& canvas, int kind, TCellRange range)
{
    const Project* p = Proj();
    if (!p)
        return;
    const int zoom = std::max(p->Zoom, 1);
    const int c = CellUnits * zoom;
    const QRgb face = ToRgb(p->FaceColor), red = ToRgb(RedColor), aqua = ToRgb(AquaColor), lime = ToRgb(LimeColor);

    QImage blank(c, c, QImage::Format_RGB32);
    blank.fill(face);
    TCanvas(blank).Rectangle(0, 0, c, c, ToRgb(GridColor), TBrush::Hollow);
    QImage work(c, c, QImage::Format_RGB32);
    TCanvas cell(work);

    if (ClampRange(*this, range)) {
        const TCellMarks marks = kind >= 0 && kind <= 4 ? TCellMarks(*this) : TCellMarks();
        for (int x = range.FirstX; x <= range.LastX; ++x) {
            for (int y = range.FirstY; y <= range.LastY; ++y) {
                const TMapCell& here = Cell(x, y);
                const uint16_t flags = marks.At(x, y);
                cell.Copy(blank, 0, 0);

                if (kind == 3) {
                    if (p->PaintFloors)
                        if (TListedItem* e = SlotElement(p->Ceilings.get(), here.Ceiling()))
                            e->Draw(cell, 2, 2, 0, zoom);
                } else {
                    if (p->PaintFloors)
                        if (TListedItem* e = SlotElement(p->Floors.get(), here.Floor()))
                            e->Draw(cell, 2, 2, 0, zoom);
                    if (kind != 2)
                        if (TListedItem* e = SlotElement(p->Objects.get(), here.ObjectIndex()))
                            e->Draw(cell, 2, 2, here.Orientation(), zoom);
                    if (kind == 5 && here.ItemCount != 0)
                        if (TItem* item = FirstItemAt(x, y))
                            item->Draw(cell, 1, 1, 0, zoom);
                }

                const bool selected = x == SelX && y == SelY;
                const bool cellEvents = kind != 1 && (flags & TCellMarks::CellEvents);
                const bool cellParams = kind != 1 && (flags & TCellMarks::CellParams);
                if (cellEvents || cellParams)
                    cell.Rectangle(0, 0, c, c, selected ? red : aqua, MarkBrush(cellEvents, cellParams), lime);
                else if (kind != 0 && selected) {
                    if (kind == 1)
                        UnitRectangle(cell, 0, 0, SelSide, zoom, red, TBrush::Hollow);
                    else
                        cell.Rectangle(0, 0, c, c, red, TBrush::Hollow);
                }

                for (int k = 0; k < 4; ++k) {
                    if (kind == 1) {
                        const bool sideEvents = flags & TCellMarks::SideEvents(k);
                        const bool sideParams = flags & TCellMarks::SideParams(k);
                        if (sideEvents || sideParams)
                            UnitRectangle(cell, 0, 0, k, zoom, selected && k == SelSide ? red : aqua,
                                          MarkBrush(sideEvents, sideParams), lime);
                    }
                    if (TListedItem* wall = SlotElement(p->Walls.get(), here.Wall(k)))
                        wall->Draw(cell, 0, 0, k, zoom);
                }
                canvas.Copy(work, x * c, (SizeY - 1 - y) * c);
            }
        }
    }
    if (kind == 6)
        DrawMonsterOutlines(canvas, zoom);
}

void TMap::DrawAreaDirect(TCanvas& canvas, int kind, TCellRange range)
{
    const Project* p = Proj();
    if (!p)
        return;
    const int zoom = std::max(p->Zoom, 1);
    const int c = CellUnits * zoom;
    const QRgb face = ToRgb(p->FaceColor), red = ToRgb(RedColor), aqua = ToRgb(AquaColor), lime = ToRgb(LimeColor);
    const QRgb grid = ToRgb(GridColor), yellow = ToRgb(YellowColor);

    if (ClampRange(*this, range)) {
        const TCellMarks marks = kind >= 0 && kind <= 4 ? TCellMarks(*this) : TCellMarks();
        for (int x = range.FirstX; x <= range.LastX; ++x) {
            for (int y = range.FirstY; y <= range.LastY; ++y) {
                const TMapCell& here = Cell(x, y);
                const uint16_t flags = marks.At(x, y);
                const int x1 = x * c, y1 = (SizeY - 1 - y) * c, x2 = x1 + c, y2 = y1 + c;
                const bool cellEvents = kind != 1 && (flags & TCellMarks::CellEvents);
                const bool selected = x == SelX && y == SelY;

                canvas.Rectangle(x1 + 1, y1 + 1, x2 - 1, y2 - 1, face, TBrush::Solid, face);
                if (kind == 3 || !p->PaintFloors) {
                    TListedItem* ceiling = p->PaintFloors ? SlotElement(p->Ceilings.get(), here.Ceiling()) : nullptr;
                    if (ceiling)
                        ceiling->Draw(canvas, x1 + 2, y1 + 2, 0, zoom);
                    else
                        canvas.Rectangle(x1 + 1, y1 + 1, x2 - 1, y2 - 1, face, TBrush::Solid, face);
                } else {
                    if (TListedItem* e = SlotElement(p->Floors.get(), here.Floor()))
                        e->Draw(canvas, x1 + 2, y1 + 2, 0, zoom);
                    if (TListedItem* e = SlotElement(p->Objects.get(), here.ObjectIndex()))
                        e->Draw(canvas, x1 + 2, y1 + 2, here.Orientation(), zoom);
                    if (kind == 5 && here.ItemCount != 0)
                        if (TItem* item = FirstItemAt(x, y))
                            item->Draw(canvas, x1 + 1, y1 + 1, 0, zoom);
                }
                if (kind == 1 && selected)
                    UnitRectangle(canvas, x1, y1, SelSide, zoom, red, TBrush::Hollow);
                if (cellEvents)
                    canvas.Rectangle(x1, y1, x2, y2, lime, TBrush::BackwardDiagonal, aqua);

                const int endX[4] = {x2 - 1, x2 - 1, x1, x1};
                const int endY[4] = {y1, y2 - 1, y2 - 1, y1};
                int atX = x1, atY = y1;
                for (int k = 0; k < 4; ++k) {
                    const bool sideEvents = kind == 1 && (flags & TCellMarks::SideEvents(k));
                    QRgb pen = grid;
                    if (kind != 0 && selected && (kind != 1 || k == SelSide))
                        pen = red;
                    else if (here.ItemCount != 0 && (kind == 4 || kind == 5))
                        pen = yellow;
                    else if (cellEvents || sideEvents)
                        pen = lime;
                    canvas.Line(atX, atY, endX[k], endY[k], pen);
                    atX = endX[k];
                    atY = endY[k];
                    if (sideEvents)
                        UnitRectangle(canvas, x1, y1, k, zoom, pen, TBrush::DiagonalCross, lime);
                    if (TListedItem* wall = SlotElement(p->Walls.get(), here.Wall(k)))
                        wall->Draw(canvas, x1, y1, k, zoom);
                }
            }
        }
    }
    if (kind == 6)
        DrawMonsterOutlines(canvas, zoom);
}

} // namespace kestrune
