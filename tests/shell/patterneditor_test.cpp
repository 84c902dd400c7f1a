#include "mapedit/patterneditor.h"
#include "model/elements.h"
#include "model/project.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWidget>

#include <vector>

namespace kestrune::test {
namespace {

constexpr TColor Lime = RgbColor(0, 255, 0);
constexpr TColor Blue = RgbColor(0, 0, 255);

class PatternEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        project.LoadingShared = false; // elements made here belong to the project
        floor = Add(*project.Floors);
        wall = Add(*project.Walls);
        editor.OnPatternChanged = [this](TListedItem* e) { changed.push_back(e); };
        editor.OnColoursChanged = [this] { ++colourChanges; };
        editor.ChooseColour = [this](QColor initial) -> std::optional<QColor> {
            offered.push_back(initial);
            return answer;
        };
    }
    static TListedItem* Add(TListedList& library)
    {
        auto* e = static_cast<TListedItem*>(library.Add(library.CreateItem()));
        e->PreparePictures();
        return e;
    }
    QRgb CachedAt(const TListedItem* e, int q, int r) const { return e->PatternPictures[0]->pixel(q, r); }

    Project project;
    TPatternEditor editor{project};
    TListedItem* floor = nullptr;
    TListedItem* wall = nullptr;
    std::vector<TListedItem*> changed;
    int colourChanges = 0;
    std::vector<QColor> offered;
    std::optional<QColor> answer;
};

TEST_F(PatternEditor, PixelsAddressSixPixelCellsWithinTheElementsPatternOnly)
{
    EXPECT_EQ(TPatternEditor::PatternArea(floor), QSize(66, 66));
    EXPECT_EQ(TPatternEditor::PatternArea(wall), QSize(66, 24));
    EXPECT_EQ(TPatternEditor::PatternArea(nullptr), QSize());

    editor.ChooseSwatch(11);
    EXPECT_TRUE(editor.PressAt(floor, {13, 20}, Qt::LeftButton));
    EXPECT_EQ(floor->PatternCells[3][2], 11);
    editor.Release();
    EXPECT_TRUE(editor.PressAt(floor, {13, 20}, Qt::RightButton));
    EXPECT_EQ(floor->PatternCells[3][2], 0);
    editor.Release();

    // Beyond the pattern, or left of it, nothing changes.
    floor->PatternCells[0][0] = 0;
    for (const QPoint p : {QPoint(70, 10), QPoint(-3, 10), QPoint(10, -1), QPoint(10, 66)})
        EXPECT_FALSE(editor.PaintPatternCell(floor, p, Qt::LeftButton)) << p.x() << "," << p.y();
    EXPECT_EQ(floor->PatternCells[0][0], 0);
    EXPECT_EQ(floor->PatternCells[1][0], 0);

    // Walls have 11 columns of 4 rows: row 4 is no longer theirs.
    EXPECT_EQ(TPatternEditor::CellAt(wall, {65, 23}), QPoint(10, 3));
    EXPECT_TRUE(editor.PaintPatternCell(wall, {65, 23}, Qt::LeftButton));
    EXPECT_EQ(wall->PatternCells[3][10], 11);
    EXPECT_FALSE(editor.PaintPatternCell(wall, {30, 24}, Qt::LeftButton));
    EXPECT_EQ(wall->PatternCells[4][5], 0);

    // Elements without a pattern have no area; the middle button paints nothing.
    TListedItem* item = Add(*project.ItemDefs);
    EXPECT_EQ(TPatternEditor::PatternArea(item), QSize());
    EXPECT_FALSE(editor.PressAt(item, {1, 1}, Qt::LeftButton));
    EXPECT_FALSE(editor.PressAt(floor, {1, 1}, Qt::MiddleButton));
    EXPECT_FALSE(editor.PressAt(nullptr, {1, 1}, Qt::LeftButton));
    EXPECT_EQ(floor->PatternCells[0][0], 0);
}

TEST_F(PatternEditor, AChangedCellRebuildsTheElementsPicturesAndIsReported)
{
    editor.ChooseSwatch(11);
    editor.PaintPatternCell(floor, {13, 20}, Qt::LeftButton);
    ASSERT_EQ(changed, std::vector<TListedItem*>{floor});
    EXPECT_EQ(CachedAt(floor, 2, 3), ToRgb(Lime));

    // Painting a cell with the colour it has is no edit.
    EXPECT_FALSE(editor.PaintPatternCell(floor, {14, 21}, Qt::LeftButton));
    EXPECT_EQ(changed.size(), 1u);
    editor.PaintPatternCell(floor, {13, 20}, Qt::RightButton);
    EXPECT_EQ(changed.size(), 2u);
    EXPECT_EQ(CachedAt(floor, 2, 3), ToRgb(KeyColor));

    // The shared data is never saved by a project: its patterns stay as they are.
    floor->Shared = true;
    EXPECT_FALSE(editor.PressAt(floor, {13, 20}, Qt::LeftButton));
    EXPECT_FALSE(editor.MoveTo(floor, {40, 20}, Qt::LeftButton));
    EXPECT_EQ(floor->PatternCells[3][2], 0);
    EXPECT_EQ(changed.size(), 2u);
}

TEST_F(PatternEditor, DraggingPaintsOrErasesEveryCellThePointerPasses)
{
    editor.ChooseSwatch(12);
    editor.PressAt(floor, {3, 3}, Qt::LeftButton);
    // One big jump along the top row: the cells between are painted too, and
    // the step is reported once.
    EXPECT_TRUE(editor.MoveTo(floor, {63, 3}, Qt::LeftButton));
    for (int q = 0; q < 11; ++q)
        EXPECT_EQ(floor->PatternCells[0][q], 12) << q;
    EXPECT_EQ(floor->PatternCells[1][0], 0);
    EXPECT_EQ(changed.size(), 2u);
    // Down the diagonal and out of the pattern: each diagonal cell is hit.
    EXPECT_FALSE(editor.MoveTo(floor, {3, 3}, Qt::LeftButton)); // all painted already
    EXPECT_TRUE(editor.MoveTo(floor, {80, 80}, Qt::LeftButton));
    for (int i = 1; i < 11; ++i)
        EXPECT_EQ(floor->PatternCells[i][i], 12) << i;
    // The left button wins when both are held; without a button nothing happens.
    EXPECT_TRUE(editor.MoveTo(floor, {3, 63}, Qt::LeftButton | Qt::RightButton));
    EXPECT_EQ(floor->PatternCells[10][0], 12);
    EXPECT_FALSE(editor.MoveTo(floor, {3, 3}, Qt::NoButton));
    editor.Release();
    EXPECT_FALSE(editor.Dragging());

    // A right-button drag erases down the first column.
    editor.PressAt(floor, {3, 3}, Qt::RightButton);
    editor.MoveTo(floor, {3, 65}, Qt::RightButton);
    for (int r = 0; r < 11; ++r)
        EXPECT_EQ(floor->PatternCells[r][0], 0) << r;
    EXPECT_EQ(floor->PatternCells[0][1], 12);
    editor.Release();

    // A drag of another element does not continue from the last element's
    // position: only the cell under the pointer is painted.
    editor.PressAt(floor, {3, 3}, Qt::LeftButton);
    editor.MoveTo(wall, {63, 21}, Qt::LeftButton);
    int painted = 0;
    for (int r = 0; r < 4; ++r)
        for (int q = 0; q < 11; ++q)
            painted += wall->PatternCells[r][q] != 0;
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(wall->PatternCells[3][10], 12);
}

TEST_F(PatternEditor, PaintShowsEachCellSixPixelsWideAndTransparentOnesOutlined)
{
    floor->PatternCells[0][1] = 11;
    floor->PatternCells[10][10] = 33;
    project.MapColors[33] = Blue;
    editor.ShadowColour = QColor(160, 160, 160);
    QImage image(66, 66, QImage::Format_RGB32);
    image.fill(Qt::black);
    TCanvas canvas(image);
    editor.Paint(canvas, floor);

    const QRgb face = ToRgb(project.MapColors[0]);
    EXPECT_EQ(image.pixel(0, 0), QColor(160, 160, 160).rgb());
    EXPECT_EQ(image.pixel(5, 5), QColor(160, 160, 160).rgb());
    EXPECT_EQ(image.pixel(3, 3), face);
    for (const QPoint p : {QPoint(6, 0), QPoint(11, 5), QPoint(8, 2)})
        EXPECT_EQ(image.pixel(p), ToRgb(Lime)) << p.x() << "," << p.y();
    EXPECT_EQ(image.pixel(65, 65), ToRgb(Blue));
    EXPECT_EQ(image.pixel(60, 60), ToRgb(Blue));

    // A wall covers its four rows only; no element leaves the canvas alone.
    image.fill(Qt::black);
    editor.Paint(canvas, wall);
    EXPECT_EQ(image.pixel(3, 21), face);
    EXPECT_EQ(image.pixel(3, 24), QColor(Qt::black).rgb());
    image.fill(Qt::black);
    editor.Paint(canvas, nullptr);
    EXPECT_EQ(image.pixel(3, 3), QColor(Qt::black).rgb());
}

TEST_F(PatternEditor, SwatchesChooseTheColourAndOnlyTheProjectsOwnCanBeChanged)
{
    QToolButton* first = editor.Swatch(0);
    ASSERT_TRUE(first && editor.Swatch(33) && !editor.Swatch(34));
    EXPECT_TRUE(first->isChecked());
    EXPECT_EQ(editor.PatternColor(), 0);
    EXPECT_EQ(first->toolTip(), QStringLiteral("Use right click fto modify color"));
    // Two rows of 17.
    auto* grid = static_cast<QGridLayout*>(editor.ToolBar4()->layout());
    int row = -1, column = -1, span = 0;
    grid->getItemPosition(grid->indexOf(editor.Swatch(16)), &row, &column, &span, &span);
    EXPECT_EQ(std::make_pair(row, column), std::make_pair(0, 16));
    grid->getItemPosition(grid->indexOf(editor.Swatch(17)), &row, &column, &span, &span);
    EXPECT_EQ(std::make_pair(row, column), std::make_pair(1, 0));

    editor.Swatch(20)->click();
    EXPECT_EQ(editor.PatternColor(), 20);
    EXPECT_FALSE(first->isChecked());
    editor.ChooseSwatch(11);
    EXPECT_EQ(editor.PatternColor(), 11);
    EXPECT_TRUE(editor.Swatch(11)->isChecked());
    editor.ChooseSwatch(34);
    EXPECT_EQ(editor.PatternColor(), 11);

    // A right click on a built-in swatch asks nothing; on swatch 20 it asks
    // for a colour, starting from the present one, and leaves the choice alone.
    answer = QColor(Qt::blue);
    auto rightClick = [](QToolButton* b) {
        const QPointF at(4, 4);
        QMouseEvent press(QEvent::MouseButtonPress, at, b->mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, b->mapToGlobal(at), Qt::RightButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(b, &press);
        QApplication::sendEvent(b, &release);
    };
    const TColor builtIn = project.MapColors[5];
    rightClick(editor.Swatch(5));
    EXPECT_FALSE(editor.EditSwatchColour(16));
    EXPECT_TRUE(offered.empty());
    EXPECT_EQ(project.MapColors[5], builtIn);
    const TColor before = project.MapColors[20];
    rightClick(editor.Swatch(20));
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0], QColor::fromRgb(ToRgb(before)));
    EXPECT_EQ(project.MapColors[20], Blue);
    EXPECT_EQ(editor.PatternColor(), 11);
    EXPECT_TRUE(editor.EditSwatchColour(33));
    EXPECT_FALSE(editor.EditSwatchColour(34));
}

TEST_F(PatternEditor, AChangedColourRebuildsEveryPatternPictureAndTheSwatch)
{
    floor->PatternCells[0][0] = 20;
    wall->PatternCells[0][0] = 20;
    TListedItem* object = Add(*project.Objects);
    object->PatternCells[5][5] = 20;
    project.PrepareMapPictures();

    // Cancelling the chooser changes nothing.
    const TColor before = project.MapColors[20];
    EXPECT_FALSE(editor.EditSwatchColour(20));
    EXPECT_EQ(project.MapColors[20], before);
    EXPECT_EQ(colourChanges, 0);

    answer = QColor(0, 0, 255);
    ASSERT_TRUE(editor.EditSwatchColour(20));
    EXPECT_EQ(project.MapColors[20], Blue);
    EXPECT_EQ(colourChanges, 1);
    EXPECT_EQ(CachedAt(floor, 0, 0), ToRgb(Blue));
    EXPECT_EQ(CachedAt(object, 5, 5), ToRgb(Blue));
    EXPECT_EQ(static_cast<TWall*>(wall)->DirectionPictures[0][0]->pixel(0, 0), ToRgb(Blue));
    EXPECT_EQ(editor.SwatchImage(20).pixel(8, 8), ToRgb(Blue));
    EXPECT_TRUE(changed.empty()); // no pattern changed
}

TEST_F(PatternEditor, SwatchesAreRebuiltFromTheMapColours)
{
    project.MapColors[25] = RgbColor(10, 20, 30);
    project.MapColors[0] = RgbColor(200, 201, 202);
    EXPECT_NE(editor.SwatchImage(25).pixel(8, 8), qRgb(10, 20, 30));
    editor.RebuildSwatches();
    for (int tag : {0, 11, 25}) {
        const QImage& swatch = editor.SwatchImage(tag);
        ASSERT_EQ(swatch.size(), QSize(16, 16));
        EXPECT_EQ(swatch.pixel(8, 8), ToRgb(project.MapColors[static_cast<size_t>(tag)])) << tag;
        EXPECT_EQ(swatch.pixel(1, 1), ToRgb(project.MapColors[static_cast<size_t>(tag)])) << tag;
        EXPECT_EQ(swatch.pixel(0, 0), qRgb(0, 0, 0));
        EXPECT_EQ(swatch.pixel(15, 8), qRgb(0, 0, 0));
    }
    EXPECT_EQ(editor.SwatchImage(25).pixel(8, 8), qRgb(10, 20, 30));
    const QImage icon = editor.Swatch(25)->icon().pixmap(16, 16).toImage();
    EXPECT_EQ(icon.pixel(8, 8), qRgb(10, 20, 30));
}

TEST_F(PatternEditor, TheBarShowsInLibModeOnlyAndGoesWithTheEditor)
{
    QWidget host;
    QPointer<QWidget> bar;
    {
        TPatternEditor hosted(project, &host);
        bar = hosted.ToolBar4();
        ASSERT_EQ(bar->parentWidget(), &host);
        EXPECT_FALSE(bar->isVisibleTo(&host));
        hosted.SetLibMode(true);
        EXPECT_TRUE(bar->isVisibleTo(&host));
        hosted.PressAt(floor, {1, 1}, Qt::LeftButton);
        hosted.SetLibMode(false);
        EXPECT_FALSE(bar->isVisibleTo(&host));
        EXPECT_FALSE(hosted.Dragging());
    }
    EXPECT_TRUE(bar.isNull());
}

TEST_F(PatternEditor, Screenshot)
{
    // A picture to look at: the swatch bar over a painted floor pattern.
    project.MapColors[20] = RgbColor(255, 128, 0);
    editor.RebuildSwatches();
    editor.ChooseSwatch(20);
    editor.PressAt(floor, {3, 3}, Qt::LeftButton);
    editor.MoveTo(floor, {63, 63}, Qt::LeftButton);
    editor.ChooseSwatch(13);
    editor.PressAt(floor, {63, 3}, Qt::LeftButton);
    editor.MoveTo(floor, {3, 63}, Qt::LeftButton);
    editor.ChooseSwatch(11);
    editor.PressAt(floor, {33, 3}, Qt::LeftButton);
    editor.MoveTo(floor, {33, 63}, Qt::LeftButton);
    editor.Release();

    QWidget* bar = editor.ToolBar4();
    bar->adjustSize();
    const QImage strip = bar->grab().toImage();
    QImage pattern(TPatternEditor::PatternArea(floor), QImage::Format_RGB32);
    TCanvas canvas(pattern);
    editor.Paint(canvas, floor);

    QImage shot(std::max(strip.width(), 66 * 3 + 20), strip.height() + 66 * 3 + 20, QImage::Format_RGB32);
    shot.fill(ToRgb(project.MapColors[0]));
    QPainter painter(&shot);
    painter.drawImage(0, 0, strip);
    painter.drawImage(10, strip.height() + 10, pattern.scaled(66 * 3, 66 * 3));
    painter.end();
    EXPECT_TRUE(shot.save(QStringLiteral(KESTRUNE_BUILD_DIR "/tests/patterneditor.png")));
}

} // namespace
} // namespace kestrune::test
