#pragma once
// Region editing on the open map: a rectangle of cells selected with the
// "Select" tool (or the whole map), drawn as an outline over the map, and
// copied, cut, pasted at the map cursor, deleted, filled with the tree's
// element or dragged to another place. Each change is one step of the
// project history. The clipboard carries the region in its own type and,
// for reading, as a plain listing.

#include "model/region.h"

#include <QRect>
#include <Qt>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QPainter;
class QToolBar;
class QWidget;

namespace kestrune {

class Project;
class TEditSession;
class TGestureHost;
class TListedItem;
class TMap;
class TMapArea;
class TMapGestures;
class TMapHistory;
class UserDialogs;

class TRegionEdit {
public:
    TRegionEdit(Project& project, UserDialogs& dialogs, TGestureHost& host);
    ~TRegionEdit();
    TRegionEdit(const TRegionEdit&) = delete;
    TRegionEdit& operator=(const TRegionEdit&) = delete;

    // Where changes are recorded and announced, and who lists the placements.
    TMapHistory* History = nullptr;
    TEditSession* Session = nullptr;
    TMapGestures* Gestures = nullptr;
    // The status bar.
    std::function<void(const std::string&)> OnStatus;

    // Adds "Select" beside the zoom controls and the region entries to the
    // menu; the keys work while the focus is in one of the widgets given.
    // Takes over the map area's mouse handling in select mode and draws the
    // outline. Returns the actions made.
    std::vector<QAction*> Install(QMenu* menu, QToolBar* bar, TMapArea* area, const std::vector<QWidget*>& keyWidgets);
    QAction* SelectAction() const { return selectAction_; }

    // ---- the selection (of the open map only) ----
    bool SelectMode() const { return selectMode_; }
    void SetSelectMode(bool on);
    bool HasSelection() const;
    TRegionRect Selection() const { return HasSelection() ? selection_ : TRegionRect{}; }
    void Select(const TRegionRect& rect);
    void SelectAll();
    void ClearSelection();

    // ---- commands; false when nothing changed ----
    bool Copy();
    bool Cut();
    // The clipboard's region at the map cursor.
    bool Paste();
    // A region at a cell (its top-left cell on screen lands there).
    bool PasteAt(const TRegion& region, int x, int y, const std::string& step = "Paste region");
    bool Delete();
    // The current kind's slot of every selected cell (walls: the cursor's side)
    // becomes the tree's element, or empty for "__ Clear __".
    bool Fill();
    // The selection and what it holds moved by whole cells.
    bool MoveSelection(int dx, int dy);

    // ---- the mouse in select mode; true when the press was taken ----
    bool Press(int px, int py, Qt::MouseButton button);
    bool MoveTo(int px, int py, Qt::MouseButtons buttons);
    bool Release();

    // Draws the outline (and a move's outline where it would land).
    void Paint(QPainter& painter) const;

private:
    TMap* Map() const;
    void Status(const std::string& text);
    void Changed(TMap* map);
    void RecordCells(TMap* map, const std::vector<TRegionCellChange>& cells);
    // Clears the rectangle as one part of the open step.
    void ClearRecorded(TMap* map, const TRegionRect& rect);
    // Pastes as one part of the open step; `said` is what the status bar is to say.
    bool PasteRecorded(TMap* map, const TRegion& region, int x, int y, const std::string& step, std::string& said);
    void RepaintOutline();
    // The pixels of a rectangle of cells of the selection's map on the view.
    QRect PixelsOf(const TRegionRect& r) const;
    // The selection where a move drag would put it.
    TRegionRect MovedSelection() const;

    Project& project_;
    UserDialogs& dialogs_;
    TGestureHost& host_;
    TMapArea* area_ = nullptr;
    QAction* selectAction_ = nullptr;
    bool selectMode_ = false;
    TMap* map_ = nullptr;
    TRegionRect selection_;
    // A press in select mode: selecting from the anchor, or dragging the selection.
    enum class Drag { None, Selecting, Moving } drag_ = Drag::None;
    int anchorX_ = 0, anchorY_ = 0, dragX_ = 0, dragY_ = 0;
    int observer_ = 0;
};

} // namespace kestrune
