#pragma once
// The map view: the open map drawn cell by cell at the current zoom inside
// the main window's scroll area. It draws only the cells that an exposed
// part of the view covers.

#include "model/render.h"

#include <QMimeData>
#include <QPainter>
#include <QWidget>

#include <functional>

namespace kestrune {

class Project;

class TMap;

class TMapView : public QWidget {
public:
    TMapView(Project& project, QWidget* parent = nullptr);

    // Shows a map (none: nothing) and sizes the view for it.
    void ShowMap(TMap* map);
    TMap* Map() const { return map_; }
    // Sizes the view for the map at the current zoom.
    void LayoutView();
    void RepaintCell(int x, int y);
    void RepaintAll() { update(); }

    // A press and a move over the view, in view pixels.
    std::function<void(int px, int py, Qt::MouseButton button)> OnPress;
    std::function<void(int px, int py, Qt::MouseButtons buttons)> OnMove;
    std::function<void()> OnRelease;
    // A drag over the view: whether it is accepted, and the drop.
    std::function<bool(const QMimeData& data)> AcceptsDrag;
    std::function<void(int px, int py, const QMimeData& data)> OnDrop;
    // In Lib mode the view shows the selected element's pattern instead of
    // the map: its size, and who paints it.
    QSize PatternSize;
    std::function<void(TCanvas& canvas)> OnPaintPattern;
    // Drawn over the map's cells after them (the region outline).
    std::function<void(QPainter& painter)> OnPaintOverlay;

    // Cells drawn by paint events so far (for measuring repaint work).
    long long CellsDrawn = 0;

    // The cells a rectangle of the view covers.
    TCellRange CellsIn(const QRect& area) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void PaintCells(QPainter& painter, const QRect& exposed);

    Project& project_;
    TMap* map_ = nullptr;
};

} // namespace kestrune
