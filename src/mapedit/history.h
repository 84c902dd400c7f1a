#pragma once
// Undo and redo of map edits. Each step keeps only what changed: the slots
// of the cells a press or a drag stroke painted, or the one placement that
// was placed, moved, stretched or deleted; never a copy of a map.

#include <QUndoStack>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

class TEditSession;
struct TListEdit;
struct TStep;
class TListedItem;
class TMap;
struct TCellRect;
struct TRegionCellChange;

class TMapHistory {
public:
    TMapHistory();

    QUndoStack& Stack() { return stack_; }

    // Told of the lists a step changes when it is undone or redone.
    TEditSession* Session = nullptr;
    // Told before a step is undone or redone, with the map and the cell it
    // changes (-1, -1 when none), so that the change can be seen happening.
    std::function<void(TMap*, int, int)> OnShow;
    // Told before a step of an element that lies on no map (a pattern, a
    // library element's lists) is undone or redone, with the element.
    std::function<void(TListedItem*)> OnShowElement;
    // Told after a step was undone or redone, with the map it changed.
    std::function<void(TMap*)> OnChanged;
    // Told before a placement leaves its map through undo or redo, so that
    // nothing keeps showing it.
    std::function<void(TListedItem*)> OnPlacementLeaving;

    // Painting: every change of one stroke (a press and the drag that
    // follows it) is one step.
    void BeginStroke();
    void CellChanged(TMap* map, int x, int y, int slot, int before, int after);
    // Many cells of one map changed at once (a region pasted, cleared or filled).
    void CellsChanged(TMap* map, const std::vector<TRegionCellChange>& changes);

    // Placements, recorded after the change was made.
    void PlacementAdded(TMap* map, TListedItem* placement);
    void ItemMoved(TMap* map, TListedItem* item, int fromX, int fromY);
    // A monster moved or stretched: its area and parameters before.
    void MonsterAreaChanged(TMap* map, TListedItem* monster, const TCellRect& before,
                            const std::vector<std::pair<std::string, std::string>>& parameters);
    // An NPC moved (on the map, perhaps from another): its parameters before.
    void NpcMoved(TMap* map, TListedItem* npc, const std::vector<std::pair<std::string, std::string>>& before);
    static std::vector<std::pair<std::string, std::string>> ParametersOf(const TListedItem& element);
    // Takes a placement off its map, keeping it for undo.
    void RemovePlacement(TMap* map, TListedItem* placement);

    // A pattern stroke of an element: its pattern before the stroke (the
    // element holds the pattern after it). Nothing is recorded when equal.
    void PatternChanged(TListedItem* element, const uint8_t (&before)[11][11]);

    // A window changed a list (it holds the entries after the change).
    // Nothing is recorded when nothing changed.
    void ListEdited(TListEdit& edit);

    // Any other change, made already.
    void Record(TStep& step);

    // The steps recorded between these two are one step of that name (none
    // when nothing was recorded).
    void BeginSteps(const std::string& name);
    void EndSteps();

    // The placements that steps keep off their maps (deleted, or placed and undone).
    std::vector<TListedItem*> HeldPlacements() const;

    // Forgets every step (a map or an element was removed).
    void Clear()
    {
        stack_.clear();
        groupDepth_ = 0;
        groupOpen_ = false;
    }

    // Records a step (inside the open group, if one is open).
    void Push(QUndoCommand* step);

private:
    QUndoStack stack_;
    int groupDepth_ = 0;
    bool groupOpen_ = false;
    QString groupName_;
    int stroke_ = 0;
};

} // namespace kestrune
