#pragma once
// Undo and redo of map edits. Each step keeps only what changed: the slots
// of the cells a press or a drag stroke painted, or the one placement that
// was placed, moved, stretched or deleted; never a copy of a map.

#include <QUndoStack>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kestrune {

class TEditSession;
class TListedItem;
class TMap;
struct TCellRect;

class TMapHistory {
public:
    TMapHistory();

    QUndoStack& Stack() { return stack_; }

    // Told of the lists a step changes when it is undone or redone.
    TEditSession* Session = nullptr;
    // Told after a step was undone or redone, with the map it changed.
    std::function<void(TMap*)> OnChanged;
    // Told before a placement leaves its map through undo or redo, so that
    // nothing keeps showing it.
    std::function<void(TListedItem*)> OnPlacementLeaving;

    // Painting: every change of one stroke (a press and the drag that
    // follows it) is one step.
    void BeginStroke();
    void CellChanged(TMap* map, int x, int y, int slot, int before, int after);

    // Placements, recorded after the change was made.
    void PlacementAdded(TMap* map, TListedItem* placement);
    void ItemMoved(TMap* map, TListedItem* item, int fromX, int fromY);
    void MonsterAreaChanged(TMap* map, TListedItem* monster, const TCellRect& before);
    // Takes a placement off its map, keeping it for undo.
    void RemovePlacement(TMap* map, TListedItem* placement);

    // A pattern stroke of an element: its pattern before the stroke (the
    // element holds the pattern after it). Nothing is recorded when equal.
    void PatternChanged(TListedItem* element, const uint8_t (&before)[11][11]);

    // The placements that steps keep off their maps (deleted, or placed and undone).
    std::vector<TListedItem*> HeldPlacements() const;

    // Forgets every step (a map or an element was removed).
    void Clear() { stack_.clear(); }

private:
    QUndoStack stack_;
    int stroke_ = 0;
};

} // namespace kestrune
