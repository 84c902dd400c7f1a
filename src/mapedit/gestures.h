#pragma once
// What the mouse and the keys do to the open map: selecting cells and
// sides, painting walls, floors, ceilings and objects with the element of
// the tree, picking an element from a cell, dragging strokes, placing and
// moving items, monsters and NPCs, stretching monsters, and the list of
// placements of the selected cell.

#include "model/placements.h"
#include "model/render.h"

#include <Qt>

#include <string>
#include <vector>

namespace kestrune {

class Project;
class TListedItem;
class TMap;
class UserDialogs;
class TMapHistory;
class TEditSession;

// What the gestures need of the rest of the main window.
class TGestureHost {
public:
    virtual ~TGestureHost() = default;
    virtual TMap* CurrentMap() = 0;
    // The library position of the tree's selected element, or -1.
    virtual int SelectedIndex() = 0;
    virtual void SelectByIndex(int position) = 0;
    virtual void FocusTree() = 0;
    virtual void SetModified() = 0;
    // The grid shows the lists of the cursor's cell (or side).
    virtual void ShowCursorLists() = 0;
    virtual void ShowElement(TListedItem* element) = 0;
    virtual TListedItem* ShownElement() = 0;
    virtual bool TreeHasSelection() = 0;
    virtual void RepaintCell(int x, int y) = 0;
    virtual void RepaintAll() = 0;
    // The placements list changed (entries or selection).
    virtual void PlacementsChanged() = 0;
    // The code editor renames the entry it edits; false when it refused.
    virtual bool RenameCodeEntry(const std::string&) { return false; }
};

class TMapGestures {
public:
    enum class Source { Mouse, Keyboard, DragStep };

    TMapGestures(Project& project, UserDialogs& dialogs, TGestureHost& host);

    int LastCellX = -1, LastCellY = -1;
    int DragSide = 0;
    // Where the changes are recorded for undo, if anywhere.
    TMapHistory* History = nullptr;
    // Told of the lists a gesture changes, if anyone is.
    TEditSession* Session = nullptr;

    // A press on the map: a mouse press or drag step at a pixel, or a key
    // after the cursor moved by (dx, dy).
    void PressCell(Source source, Qt::MouseButton button, int px, int py, int dx = 0, int dy = 0);
    // The pointer moved with buttons held (left: drag stroke or moving the
    // shown placement; right: stretching the shown monster).
    void MouseMove(Qt::MouseButtons buttons, int px, int py);
    // Cursor keys: a move by (dx, dy) and/or to a side; Shift paints.
    void MoveCursor(int dx, int dy, int side, bool shift);
    // Selects the cell an event's key names ("onEnter[2,3,1]").
    void SelectCellOfEvent(const std::string& text);

    // Drops: an element of the tree (the library position of the dragged
    // node) or the shown placement (from the placements list) onto a cell.
    void DropFromTree(int position, int x, int y);
    // An entry of the code editor's list dropped on a cell (and side): the
    // entry is renamed to its name followed by the cell's key.
    void DropEvent(const std::string& entry, int x, int y, int side);
    // The name an entry gets when dropped on that cell and side.
    std::string DroppedEventName(const std::string& entry, int x, int y, int side) const;
    void DropFromList(int x, int y);

    // The placements list of the selected cell.
    // Without show, the grid keeps what it shows (another map was opened).
    void ListPlacements(bool show = true);
    const std::vector<TListedItem*>& Placements() const { return placements_; }
    int PlacementIndex() const { return placementIndex_; }
    void ChoosePlacement(int index);
    // Delete in the placements list.
    void DeletePlacement();
    // A thing leaves the project: the list lets go of it (and of what lies on it).
    void Forget(const TListedItem& thing);

private:
    bool LibOrNoMap() const;
    void StretchMonster(TMonster& monster, const TCellRect& area);

    Project& project_;
    UserDialogs& dialogs_;
    TGestureHost& host_;
    std::vector<TListedItem*> placements_;
    int placementIndex_ = -1;
};

} // namespace kestrune
