#include "mapedit/maparea.h"
#include "model/project.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>

namespace kestrune::test {
namespace {

class MapArea : public ::testing::Test {
protected:
    void SetUp() override
    {
        a = static_cast<TMap*>(project.Maps->Add(std::make_unique<TMap>("A", project.Maps.get(), 10, 10)));
        b = static_cast<TMap*>(project.Maps->Add(std::make_unique<TMap>("B", project.Maps.get(), 200, 200)));
        area.setFrameShape(QFrame::NoFrame);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.resize(600, 500);
        area.show();
    }
    Project project;
    TMapArea area{project};
    TMap* a = nullptr;
    TMap* b = nullptr;
};

TEST_F(MapArea, SmallMapsAreCentredLargeOnesSitTenPixelsIn)
{
    ASSERT_EQ(area.viewport()->size(), QSize(600, 500));
    project.Zoom = 3;
    area.ShowMap(a);
    EXPECT_EQ(area.View()->size(), QSize(390, 390));
    EXPECT_EQ(area.BoxPosition(), QPoint(105, 55));
    EXPECT_EQ(area.ScrollRange(), QSize(600, 500));
    project.Zoom = 6;
    area.ShowMap(a);
    EXPECT_EQ(area.BoxPosition(), QPoint(10, 10));
    EXPECT_EQ(area.ScrollRange(), QSize(800, 800));
    EXPECT_EQ(area.View()->pos(), QPoint(10, 10));
}

TEST_F(MapArea, EveryMapKeepsItsScrollPositionAndPanningStaysInRange)
{
    project.Zoom = 3;
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area.ShowMap(b);
    area.horizontalScrollBar()->setValue(200);
    area.verticalScrollBar()->setValue(300);
    area.ShowMap(a);
    EXPECT_EQ(b->ScrollH, 200);
    EXPECT_EQ(b->ScrollV, 300);
    area.ShowMap(b);
    EXPECT_EQ(area.horizontalScrollBar()->value(), 200);
    EXPECT_EQ(area.verticalScrollBar()->value(), 300);

    area.StartPan(QPoint(100, 100));
    area.PanTo(QPoint(50, 100)); // 50 pixels to the left: the view scrolls 50 to the right
    EXPECT_EQ(area.horizontalScrollBar()->value(), 250);
    area.StartPan(QPoint(0, 0));
    area.PanTo(QPoint(-100000, -100000));
    EXPECT_EQ(area.horizontalScrollBar()->value(), area.horizontalScrollBar()->maximum());
    EXPECT_EQ(area.verticalScrollBar()->value(), area.verticalScrollBar()->maximum());
}

TEST_F(MapArea, HeldRepaintsHappenOnceReleased)
{
    area.ShowMap(a);
    area.HoldRepaint();
    area.HoldRepaint();
    area.RepaintCell(1, 1);
    area.ReleaseRepaint();
    area.ReleaseRepaint(); // the due paint runs here; nothing to observe but no failure
    int steps = 0;
    area.OnWheelStep = [&steps](int step) { steps += step; };
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(area.viewport(), &wheel);
    EXPECT_EQ(steps, 1);
}

} // namespace
} // namespace kestrune::test
