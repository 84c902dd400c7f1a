#include "model_test_util.h"

#include "model/picture.h"
#include "model/pngwriter.h"
#include "model/render.h"

#include <gtest/gtest.h>

#include <random>

namespace kestrune::test {
namespace {

const QRgb Face = ToRgb(0xF0F0F0);
const QRgb Grid = ToRgb(GridColor);
const QRgb Red = ToRgb(RedColor);
const QRgb Lime = ToRgb(LimeColor);
const QRgb Aqua = ToRgb(AquaColor);
const QRgb Yellow = ToRgb(YellowColor);
const QRgb White = ToRgb(WhiteColor);
const QRgb Key = ToRgb(KeyColor);

class Drawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        p.LoadingShared = false;
        wall = Add(*p.Walls, "Brick");
        floor = Add(*p.Floors, "Moss");
        empty = Add(*p.Floors, "Nothing");
        object = Add(*p.Objects, "Chest");
        for (int q = 0; q < 11; ++q) {
            wall->PatternCells[0][q] = 10; // red along the edge
            wall->PatternCells[1][q] = 13; // rows 1 to 3 are never drawn
            for (int r = 0; r < 11; ++r)
                floor->PatternCells[r][q] = 3; // green
        }
        object->PatternCells[5][5] = 13; // one blue square in the middle
        map = static_cast<TMap*>(p.Maps->Add(std::make_unique<TMap>("M", p.Maps.get(), 5, 5)));
    }
    static TListedItem* Add(TListedList& library, const std::string& name)
    {
        auto* e = static_cast<TListedItem*>(library.Add(library.CreateItem()));
        e->Name = name;
        return e;
    }
    void Prepare(int zoom)
    {
        p.Zoom = zoom;
        for (TListedList* library : {static_cast<TListedList*>(p.Walls.get()), static_cast<TListedList*>(p.Floors.get()),
                                     static_cast<TListedList*>(p.Objects.get())})
            PrepareAllPictures(*library);
    }
    // The whole map drawn for a kind, buffered or direct.
    QImage Render(int kind, bool direct = false)
    {
        const int c = CellUnits * p.Zoom;
        QImage image(map->SizeX * c, map->SizeY * c, QImage::Format_RGB32);
        image.fill(Qt::black);
        TCanvas canvas(image);
        p.MapDirectDraw = direct;
        const TCellRange all{0, map->SizeX - 1, 0, map->SizeY - 1};
        if (direct)
            map->DrawAreaDirect(canvas, kind, all);
        else
            map->DrawArea(canvas, kind, all);
        return image;
    }
    // The top-left pixel of a cell.
    QPoint Origin(int x, int y) const
    {
        const int c = CellUnits * p.Zoom;
        return {x * c, (map->SizeY - 1 - y) * c};
    }

    Project p;
    TListedItem* wall = nullptr;
    TListedItem* floor = nullptr;
    TListedItem* empty = nullptr;
    TListedItem* object = nullptr;
    TMap* map = nullptr;
};

TEST_F(Drawing, CellsRunBottomToTop)
{
    map->SetSize(4, 10);
    Prepare(3);
    map->SelX = map->SelY = 0;
    const QImage image = Render(2);
    // Cell (0, 0) of a 10-row map at zoom 3 starts at (0, 351) and is 39 pixels.
    EXPECT_EQ(image.width(), 4 * 39);
    EXPECT_EQ(image.pixel(0, 351), Red);
    EXPECT_EQ(image.pixel(38, 389), Red);
    EXPECT_EQ(image.pixel(0, 350), Grid);
    EXPECT_EQ(image.pixel(5, 360), Face);
}

TEST_F(Drawing, HitTestFindsTheTriangleOfEachSide)
{
    const struct {
        int px, py, side;
    } cases[] = {{6, 1, 0}, {12, 6, 1}, {6, 12, 2}, {0, 6, 3}};
    for (const auto& c : cases) {
        const TCellHit hit = CellAt(*map, c.px, c.py, 1);
        EXPECT_TRUE(hit.Hit);
        EXPECT_EQ(hit.X, 0);
        EXPECT_EQ(hit.Y, map->SizeY - 1);
        EXPECT_EQ(hit.Side, c.side) << c.px << "," << c.py;
    }
    EXPECT_FALSE(CellAt(*map, -1, 3, 1).Hit);
    EXPECT_FALSE(CellAt(*map, 65, 3, 1).Hit);
    const TCellHit lower = CellAt(*map, 3 * 39 + 20, 4 * 39 + 1, 3);
    EXPECT_EQ(lower.X, 3);
    EXPECT_EQ(lower.Y, 0);
    EXPECT_EQ(lower.Side, 0);
}

TEST_F(Drawing, WallIsOneUnitOnTheEdgeOfItsSideInBothVariants)
{
    Prepare(2);
    map->Cell(0, 4).Wall(1) = 1; // side 1 of the top-left cell
    map->SelX = 4;
    for (bool direct : {false, true}) {
        const QImage image = Render(1, direct);
        for (int y = 0; y < 26; ++y)
            for (int x = 20; x < 26; ++x) {
                const bool onWall = x >= 24 && y >= 2 && y <= 23;
                EXPECT_EQ(image.pixel(x, y) == Red, onWall) << x << "," << y << (direct ? " direct" : " buffered");
            }
        EXPECT_NE(image.pixel(22, 10), ToRgb(RgbColor(0, 0, 255))); // the other rows are not drawn
    }
}

TEST_F(Drawing, MonsterOutlinesCoverTheirCellsInsetByTwo)
{
    Prepare(1);
    TMonsterDef* rat = static_cast<TMonsterDef*>(Add(*p.MonsterDefs, "Rat"));
    map->AddMonster(rat, 2, 0)->SetArea({2, 0, 3, 1});
    for (bool direct : {false, true}) {
        const QImage image = Render(6, direct);
        EXPECT_EQ(image.pixel(28, 41), Yellow);
        EXPECT_EQ(image.pixel(49, 62), Yellow);
        EXPECT_EQ(image.pixel(28, 62), Yellow);
        EXPECT_NE(image.pixel(50, 41), Yellow);
        EXPECT_NE(image.pixel(27, 41), Yellow);
        EXPECT_NE(image.pixel(28, 63), Yellow);
        // White forward-diagonal hatch inside.
        int white = 0;
        for (int y = 42; y < 62; ++y)
            for (int x = 29; x < 49; ++x)
                white += image.pixel(x, y) == White;
        EXPECT_GT(white, 20);
        EXPECT_EQ(image.pixel(29, 42), White); // (x + y) % 8 == 7
    }
    // Other kinds show no outlines.
    EXPECT_NE(Render(5).pixel(28, 41), Yellow);
}

TEST_F(Drawing, EventsAndParametersMarkCellsInFloorKindsOnly)
{
    Prepare(1);
    map->Events->SetValue("onEnter[2,3]", "Say(1);");
    map->Params->SetValue("dark[2,3]", "T");
    const QPoint o = Origin(2, 3);
    const QImage floors = Render(2);
    EXPECT_EQ(floors.pixel(o.x(), o.y()), Aqua); // outline
    // A diagonal cross of lime inside: both diagonals appear.
    bool backward = false, forward = false;
    for (int y = 1; y < 12; ++y)
        for (int x = 1; x < 12; ++x) {
            const int ax = o.x() + x, ay = o.y() + y;
            if (floors.pixel(ax, ay) == Lime) {
                backward |= ((ax - ay) & 7) == 0;
                forward |= ((ax + ay) & 7) == 7;
            }
        }
    EXPECT_TRUE(backward && forward);

    const QImage items = Render(5);
    EXPECT_EQ(items.pixel(o.x(), o.y()), Grid);
    for (int y = 1; y < 12; ++y)
        for (int x = 1; x < 12; ++x)
            EXPECT_NE(items.pixel(o.x() + x, o.y() + y), Lime);

    // The selected cell's mark is outlined in red; the direct variant marks events only.
    map->SelX = 2;
    map->SelY = 3;
    EXPECT_EQ(Render(2).pixel(o.x(), o.y()), Red);
    map->Events->Clear();
    const QImage direct = Render(2, true);
    for (int y = 1; y < 12; ++y)
        for (int x = 1; x < 12; ++x)
            EXPECT_NE(direct.pixel(o.x() + x, o.y() + y), Lime);
}

TEST_F(Drawing, SideWithOnlyAParameterGetsAForwardHatchOnThatSide)
{
    Prepare(2);
    map->Params->SetValue("locked[1,1,3]", "T");
    const QPoint o = Origin(1, 1);
    const QImage image = Render(1);
    const int c = 26;
    int lime = 0;
    for (int y = 0; y < c; ++y)
        for (int x = 0; x < c; ++x) {
            const QRgb px = image.pixel(o.x() + x, o.y() + y);
            if (px != Lime)
                continue;
            ++lime;
            EXPECT_LT(x, 6) << "outside the left side's rectangle";
            EXPECT_EQ((o.x() + x + o.y() + y) & 7, 7) << "not a forward diagonal";
        }
    EXPECT_GT(lime, 3);
    EXPECT_EQ(image.pixel(o.x(), o.y() + 10), Aqua); // the side's outline
    // In the floors kind the side key does not mark the cell.
    const QImage floors = Render(2);
    EXPECT_EQ(floors.pixel(o.x() + 1, o.y() + 13), Face);
}

TEST_F(Drawing, FloorsOffStillShowsObjectsAndItems)
{
    Prepare(1);
    map->Cell(1, 1).Floor() = 1;
    map->Cell(1, 1).ObjectIndex() = 1;
    const QPoint o = Origin(1, 1);
    const QPoint middle(o.x() + 1 + 5, o.y() + 1 + 5); // the object's blue square, one unit in
    p.PaintFloors = true;
    EXPECT_EQ(Render(4).pixel(o.x() + 2, o.y() + 2), ToRgb(RgbColor(0, 128, 0)));
    EXPECT_EQ(Render(4).pixel(middle), ToRgb(RgbColor(0, 0, 255)));
    EXPECT_NE(Render(2).pixel(middle), ToRgb(RgbColor(0, 0, 255))); // no objects in the floors kind
    p.PaintFloors = false;
    const QImage off = Render(4);
    EXPECT_EQ(off.pixel(o.x() + 2, o.y() + 2), Face);
    EXPECT_EQ(off.pixel(middle), ToRgb(RgbColor(0, 0, 255)));
    // The direct variant shows only background, walls and marks without floors.
    EXPECT_EQ(Render(4, true).pixel(middle), Face);
}

TEST_F(Drawing, EmptyPatternsAndUnknownSlotsLeaveTheBackground)
{
    Prepare(3);
    map->Cell(0, 0).Floor() = 2;   // all-zero pattern
    map->Cell(1, 0).Wall(0) = 9;   // beyond the wall library
    map->Cell(1, 0).Floor() = 200; // beyond the floor library
    map->SelX = map->SelY = 4;
    for (bool direct : {false, true}) {
        const QImage image = Render(1, direct);
        for (int x : {0, 1}) {
            const QPoint o = Origin(x, 0);
            for (int y = 1; y < 38; ++y)
                for (int i = 1; i < 38; ++i)
                    ASSERT_EQ(image.pixel(o.x() + i, o.y() + y), Face) << direct << " " << x;
        }
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_NE(image.pixel(x, y), Key);
    }
}

TEST_F(Drawing, ItemsShowTheirDefinitionsPictureInTheItemKind)
{
    Prepare(1);
    auto* sword = static_cast<TItemDef*>(Add(*p.ItemDefs, "Sword"));
    QImage icon(4, 4, QImage::Format_ARGB32);
    icon.fill(Qt::magenta);
    sword->Picture = std::make_unique<QImage>(icon);
    map->AddItem(sword, 3, 2);
    const QPoint o = Origin(3, 2);
    EXPECT_EQ(Render(5).pixel(o.x() + 5, o.y() + 5), QColor(Qt::magenta).rgb());
    EXPECT_NE(Render(4).pixel(o.x() + 5, o.y() + 5), QColor(Qt::magenta).rgb());
    // Direct: the outline of a cell with items is yellow in the item kind.
    EXPECT_EQ(Render(5, true).pixel(o.x() + 5, o.y()), Yellow);
}

TEST_F(Drawing, ChangedMapMarkComesWithPaintingAndGoesWithSaving)
{
    Installation inst;
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::white);
    TCanvas canvas(image);
    map->Draw(canvas, 0, 0, 0, 1);
    EXPECT_EQ(image.pixel(6, 6), QColor(Qt::white).rgb());
    map->AddItem(static_cast<TItemDef*>(Add(*p.ItemDefs, "Key")), 0, 0);
    map->Draw(canvas, 0, 0, 0, 1);
    EXPECT_EQ(image.pixel(4, 4), ToRgb(BlackColor));
    EXPECT_EQ(image.pixel(11, 11), ToRgb(BlackColor));
    EXPECT_EQ(image.pixel(6, 6), ToRgb(SilverColor));
    EXPECT_EQ(image.pixel(12, 12), QColor(Qt::white).rgb());
    map->SaveToFile(inst.Map("M.map"));
    image.fill(Qt::white);
    map->Draw(canvas, 0, 0, 0, 1);
    EXPECT_EQ(image.pixel(6, 6), QColor(Qt::white).rgb());
}

TEST_F(Drawing, PatternPaintingModes)
{
    floor->PatternCells[0][0] = 0;
    QImage image(11, 11, QImage::Format_RGB32);
    image.fill(Qt::white);
    TCanvas onMap(image, TCanvas::PatternMode::Map);
    floor->DrawPattern(onMap, 0, 0, 0, 1);
    EXPECT_EQ(image.pixel(0, 0), QColor(Qt::white).rgb()); // transparent squares are left out
    EXPECT_EQ(image.pixel(1, 0), ToRgb(RgbColor(0, 128, 0)));
    TCanvas cache(image, TCanvas::PatternMode::Cache);
    floor->DrawPattern(cache, 0, 0, 0, 1);
    EXPECT_EQ(image.pixel(0, 0), Key);
    // The caches hold zoom 1 and the current zoom.
    Prepare(4);
    ASSERT_TRUE(floor->PatternPictures[0]);
    EXPECT_EQ(floor->PatternPictures[0]->size(), QSize(11, 11));
    EXPECT_EQ(floor->PatternPictures[1]->size(), QSize(44, 44));
    ASSERT_TRUE(static_cast<TWall*>(wall)->DirectionPictures[1][1]);
    EXPECT_EQ(static_cast<TWall*>(wall)->DirectionPictures[1][1]->size(), QSize(4, 44));
}

TEST(CellMarks, IndexAgreesWithSearchingEveryName)
{
    std::mt19937 rng(5);
    const std::vector<std::string> parts = {"[", "]", ",", "0", "1", "2", "3", "10", "01", "a", "[1,2]", "[2,1,3]",
                                            "[0,0]", "[3,10,2]", "-1", "255", "256"};
    Project p;
    TMap map("M", p.Maps.get(), 12, 12);
    for (int i = 0; i < 400; ++i) {
        std::string name = "e";
        const int n = std::uniform_int_distribution<int>(1, 8)(rng);
        for (int k = 0; k < n; ++k)
            name += parts[std::uniform_int_distribution<size_t>(0, parts.size() - 1)(rng)];
        TParList& list = i % 2 ? static_cast<TParList&>(*map.Events) : *map.Params;
        list.Add(std::make_unique<TPar>(name, "v"));
    }
    const TCellMarks marks(map);
    auto contains = [](const TParList& list, const std::string& key) {
        for (int i = 0; i < list.Count(); ++i)
            if (list.Par(i)->Name.find(key) != std::string::npos)
                return true;
        return false;
    };
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 12; ++y) {
            const uint16_t f = marks.At(x, y);
            EXPECT_EQ(bool(f & TCellMarks::CellEvents), contains(*map.Events, CellKey(x, y)));
            EXPECT_EQ(bool(f & TCellMarks::CellParams), contains(*map.Params, CellKey(x, y)));
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(bool(f & TCellMarks::SideEvents(k)), contains(*map.Events, CellKey(x, y, k)));
                EXPECT_EQ(bool(f & TCellMarks::SideParams(k)), contains(*map.Params, CellKey(x, y, k)));
            }
        }
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Drawing, APartDrawnWithItsOriginMatchesTheWholeDrawing)
{
    Prepare(2);
    map->Cell(1, 1).Floor() = 1;
    map->Cell(1, 1).Wall(2) = 1;
    map->Cell(2, 3).ObjectIndex() = 1;
    map->Events->SetValue("onEnter[2,2]", "x");
    map->Params->SetValue("dark[1,2,0]", "T");
    map->SelX = 2;
    map->SelY = 2;
    for (bool direct : {false, true})
        for (int kind : {1, 2, 4}) {
            const QImage whole = Render(kind, direct);
            const int c = CellUnits * 2;
            // Columns 1 to 2 and rows 1 to 3: pixels from (c, c) on.
            QImage part(2 * c, 3 * c, QImage::Format_RGB32);
            part.fill(Qt::black);
            TCanvas canvas(part);
            canvas.SetOrigin(c, (map->SizeY - 1 - 3) * c);
            const TCellRange range{1, 2, 1, 3};
            if (direct)
                map->DrawAreaDirect(canvas, kind, range);
            else
                map->DrawArea(canvas, kind, range);
            EXPECT_EQ(part, whole.copy(c, (map->SizeY - 1 - 3) * c, 2 * c, 3 * c)) << kind << " " << direct;
        }
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

TEST_F(Drawing, PngOfARenderedMapDecodesToItsPixels)
{
    map->SetSize(7, 5);
    std::mt19937 rng(7);
    for (int x = 0; x < 7; ++x)
        for (int y = 0; y < 5; ++y) {
            map->Cell(x, y).Floor() = static_cast<uint8_t>(rng() % 3);
            map->Cell(x, y).Wall(static_cast<int>(rng() % 4)) = 1;
        }
    for (int q = 0; q < 11; ++q)
        object->PatternCells[q][q] = static_cast<uint8_t>(1 + q);
    map->Cell(3, 2).ObjectIndex() = 1;
    Prepare(3);
    const QImage rendered = Render(4);

    // With alpha too, and a picture of one pixel.
    QImage translucent(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            translucent.setPixel(x, y, qRgba(x * 50, y * 90, 7, x * 60 + y));
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(qRgb(1, 2, 3));

    for (const QImage& image : {rendered, translucent, dot}) {
        const std::string png = EncodePng(image);
        ASSERT_FALSE(png.empty());
        const std::unique_ptr<QImage> ours = DecodePictureBytes(png, "png");
        QImage theirs;
        ASSERT_TRUE(theirs.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG"));
        ASSERT_TRUE(ours);
        ASSERT_EQ(ours->size(), image.size());
        EXPECT_EQ(theirs.convertToFormat(QImage::Format_ARGB32), image.convertToFormat(QImage::Format_ARGB32));
        EXPECT_EQ(*ours, image.convertToFormat(QImage::Format_ARGB32));
    }
    EXPECT_TRUE(EncodePng(QImage()).empty());
}

} // namespace
} // namespace kestrune::test
