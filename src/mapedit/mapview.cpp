#include "mapedit/mapview.h"

#include "model/project.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>

namespace kestrune {

TMapView::TMapView(Project& project, QWidget* parent) : QWidget(parent), project_(project)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    setMouseTracking(false);
}

void TMapView::ShowMap(TMap* map)
{
    map_ = map;
    LayoutView();
    update();
}

void TMapView::LayoutView()
{
    const int c = CellUnits * std::max(project_.Zoom, 1);
    if (project_.LibMode)
        resize(PatternSize);
    else if (map_)
        resize(map_->SizeX * c, map_->SizeY * c);
    else
        resize(0, 0);
}

TCellRange TMapView::CellsIn(const QRect& area) const
{
    TCellRange r;
    if (!map_)
        return {0, -1, 0, -1};
    const int c = CellUnits * std::max(project_.Zoom, 1);
    r.FirstX = area.left() / c;
    r.LastX = area.right() / c;
    // Rows run bottom to top.
    r.LastY = map_->SizeY - 1 - area.top() / c;
    r.FirstY = map_->SizeY - 1 - area.bottom() / c;
    return r;
}

void TMapView::RepaintCell(int x, int y)
{
    if (!map_)
        return;
    const int c = CellUnits * std::max(project_.Zoom, 1);
    update(x * c, (map_->SizeY - 1 - y) * c, c, c);
}

void TMapView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QColor face = QColor::fromRgb(ToRgb(project_.FaceColor));
    if (project_.LibMode) {
        QImage pattern(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
        pattern.fill(face);
        TCanvas canvas(pattern);
        if (OnPaintPattern)
            OnPaintPattern(canvas);
        painter.drawImage(0, 0, pattern);
        return;
    }
    if (!map_) {
        painter.fillRect(event->rect(), face);
        return;
    }
    // Each exposed rectangle on its own: two cells far apart do not bring
    // everything between them along.
    for (const QRect& exposed : event->region())
        PaintCells(painter, exposed);
    if (OnPaintOverlay) {
        painter.setClipRegion(event->region());
        OnPaintOverlay(painter);
    }
}

void TMapView::PaintCells(QPainter& painter, const QRect& exposed)
{
    const int c = CellUnits * std::max(project_.Zoom, 1);
    const TCellRange range = CellsIn(exposed);
    if (range.FirstX > range.LastX || range.FirstY > range.LastY)
        return;
    const int left = std::max(range.FirstX, 0) * c;
    const int top = (map_->SizeY - 1 - std::min(range.LastY, map_->SizeY - 1)) * c;
    const int columns = std::min(range.LastX, map_->SizeX - 1) - std::max(range.FirstX, 0) + 1;
    const int rows = std::min(range.LastY, map_->SizeY - 1) - std::max(range.FirstY, 0) + 1;
    if (columns <= 0 || rows <= 0)
        return;
    CellsDrawn += static_cast<long long>(columns) * rows;
    // The cells are drawn into a picture of just those cells.
    QImage part(columns * c, rows * c, QImage::Format_RGB32);
    part.fill(QColor::fromRgb(ToRgb(project_.FaceColor)));
    TCanvas canvas(part);
    canvas.SetOrigin(left, top);
    if (project_.MapDirectDraw)
        map_->DrawAreaDirect(canvas, project_.CurrentKind, range);
    else
        map_->DrawArea(canvas, project_.CurrentKind, range);
    painter.drawImage(left, top, part);
}

void TMapView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnPress)
        OnPress(p.x(), p.y(), event->button());
}

void TMapView::dragEnterEvent(QDragEnterEvent* event)
{
    if (AcceptsDrag && event->mimeData() && AcceptsDrag(*event->mimeData()))
        event->acceptProposedAction();
}

void TMapView::dragMoveEvent(QDragMoveEvent* event)
{
    if (AcceptsDrag && event->mimeData() && AcceptsDrag(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMapView::dropEvent(QDropEvent* event)
{
    if (!OnDrop || !event->mimeData())
        return;
    const QPoint p = event->position().toPoint();
    OnDrop(p.x(), p.y(), *event->mimeData());
    event->acceptProposedAction();
}

void TMapView::mouseReleaseEvent(QMouseEvent*)
{
    if (OnRelease)
        OnRelease();
}

void TMapView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnMove)
        OnMove(p.x(), p.y(), event->buttons());
}

} // namespace kestrune
