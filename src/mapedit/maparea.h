#pragma once
// The map area: a scrolling area holding the map view (the paint box),
// centred when it is smaller than the area and 10 pixels in from the edges
// otherwise, with each map's scroll position kept in the map, panning with
// the middle button and repaints that bulk changes can hold back.

#include "mapedit/mapview.h"

#include <QRegion>
#include <QScrollArea>

#include <functional>

namespace kestrune {

class TMapArea : public QScrollArea {
public:
    TMapArea(Project& project, QWidget* parent = nullptr);

    TMapView* View() const { return view_; }
    TMap* CurrentMap() const { return view_->Map(); }

    // Shows a map at the current zoom, keeping the scroll position of the
    // map shown before in that map and restoring the new map's own.
    void ShowMap(TMap* map);
    // Sets the scroll ranges and places the paint box for the area's size.
    void LayoutView();
    // The paint box's place and the scroll ranges LayoutView gives.
    QPoint BoxPosition() const;
    QSize ScrollRange() const;

    void HoldRepaint();
    void ReleaseRepaint();
    void RepaintAll();
    void RepaintCell(int x, int y);
    // Pixels of the view (an overlay drawn over the cells).
    void RepaintPixels(const QRegion& pixels);

    // Panning: where the middle button went down, and a move with it held
    // (paint-box coordinates).
    void StartPan(const QPoint& at);
    void PanTo(const QPoint& at);

    // A press on the empty part of the area around the map.
    std::function<void()> OnBackgroundPress;
    // One wheel step (+1 towards the user, -1 away); the area consumes it.
    std::function<void(int step)> OnWheelStep;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* canvas_;
    TMapView* view_;
    int hold_ = 0;
    bool due_ = false;
    QPoint panAnchor_;
};

} // namespace kestrune
