#include "mapedit/gestures.h"

#include "controls/userdialogs.h"
#include "mapedit/history.h"
#include "core/text.h"
#include "model/editsession.h"
#include "model/project.h"

#include <algorithm>

namespace kestrune {

namespace {
constexpr int MaxPlaceable = 255;

// A number of a key: its leading digits, counted only when the expected
// delimiter follows them; -1 otherwise.
int KeyNumber(const std::string& s, size_t& at, const std::string& delimiters)
{
    size_t i = at;
    long v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 100000)
        v = v * 10 + (s[i++] - '0');
    const bool digits = i > at;
    const bool delimited = i < s.size() && delimiters.find(s[i]) != std::string::npos;
    at = i < s.size() ? i + 1 : i;
    return digits && delimited ? static_cast<int>(v) : -1;
}
} // namespace

TMapGestures::TMapGestures(Project& project, UserDialogs& dialogs, TGestureHost& host)
    : project_(project), dialogs_(dialogs), host_(host)
{
}

bool TMapGestures::LibOrNoMap() const { return project_.LibMode || !host_.CurrentMap(); }

void TMapGestures::PressCell(Source source, Qt::MouseButton button, int px, int py, int dx, int dy)
{
    if (source == Source::Mouse && button == Qt::MiddleButton)
        return; // panning
    host_.FocusTree();
    TMap* map = host_.CurrentMap();
    const int kind = project_.CurrentKind;
    if (project_.LibMode || !map || kind == 0)
        return;
    int x = 0, y = 0, side = 0, oldX = map->SelX, oldY = map->SelY;
    if (source == Source::Keyboard) {
        x = map->SelX;
        y = map->SelY;
        side = map->SelSide;
        oldX = x - dx;
        oldY = y - dy;
    } else {
        const TCellHit hit = CellAt(*map, px, py, std::max(project_.Zoom, 1));
        if (!hit.Hit)
            return;
        x = hit.X;
        y = hit.Y;
        side = hit.Side;
    }
    if (source == Source::DragStep) {
        side = DragSide;
    } else {
        if (History)
            History->BeginStroke();
        LastCellX = x;
        LastCellY = y;
        DragSide = side;
    }
    map->SelX = x;
    map->SelY = y;
    map->SelSide = side;
    const bool moved = x != oldX || y != oldY;
    if (kind >= 5 && kind <= 7 && moved) {
        ListPlacements();
    } else if (kind == 6 && button == Qt::RightButton && source == Source::Mouse &&
               std::find(placements_.begin(), placements_.end(), project_.SelectedElement) == placements_.end()) {
        // A right press starts a stretch: on the selected cell too, the
        // monster lying there is the one shown and stretched.
        ListPlacements();
    }
    const int slot = map->SelectedSlot(kind);
    if (slot >= 0) {
        TMapCell& cell = map->Cell(x, y);
        if (button == Qt::LeftButton) {
            const int n = host_.SelectedIndex() + 1;
            if (n > MaxPlaceable) {
                dialogs_.Error("Only the first 255 elements of a library can be placed on a map.");
            } else {
                const int before = cell.Slot(slot);
                const bool again = before == n && source != Source::DragStep;
                cell.SetSlot(slot, again ? 0 : n);
                if (History)
                    History->CellChanged(map, x, y, slot, before, cell.Slot(slot));
                map->Changed = true;
                host_.SetModified();
            }
        } else if (button == Qt::RightButton) {
            host_.SelectByIndex(cell.Slot(slot) - 1);
        }
    }
    host_.ShowCursorLists();
    if (moved && map->InMap(oldX, oldY))
        host_.RepaintCell(oldX, oldY);
    host_.RepaintCell(x, y);
}

void TMapGestures::MouseMove(Qt::MouseButtons buttons, int px, int py)
{
    if (buttons & Qt::MiddleButton)
        return; // panning
    TMap* map = host_.CurrentMap();
    if (project_.LibMode || !map)
        return;
    const TCellHit hit = CellAt(*map, px, py, std::max(project_.Zoom, 1));
    if (!hit.Hit || (hit.X == LastCellX && hit.Y == LastCellY))
        return;
    const int kind = project_.CurrentKind;
    if (buttons & Qt::LeftButton) {
        if (kind == 5 || kind == 6)
            DropFromList(hit.X, hit.Y);
        else
            PressCell(Source::DragStep, Qt::LeftButton, px, py);
        LastCellX = hit.X;
        LastCellY = hit.Y;
    } else if (buttons & Qt::RightButton) {
        auto* monster = kind == 6 ? dynamic_cast<TMonster*>(const_cast<TListedItem*>(project_.SelectedElement))
                                  : nullptr;
        if (!monster)
            return;
        map->SelX = hit.X;
        map->SelY = hit.Y;
        StretchMonster(*monster, {monster->Left, monster->Top, std::max(monster->Left, hit.X),
                                  std::max(monster->Top, hit.Y)});
        LastCellX = hit.X;
        LastCellY = hit.Y;
    }
}

void TMapGestures::StretchMonster(TMonster& monster, const TCellRect& area)
{
    const TCellRect before = monster.Area();
    const TEntries entries = TEditSession::EntriesOf(*monster.Params);
    {
        // The grid may show the monster's position and size.
        TListChange change(Session, monster.Params.get());
        monster.SetArea(area);
    }
    if (History)
        History->MonsterAreaChanged(host_.CurrentMap(), &monster, before, entries);
    host_.ShowElement(&monster);
    host_.RepaintAll(); // the union of the old and new rectangles
}

void TMapGestures::MoveCursor(int dx, int dy, int side, bool shift)
{
    TMap* map = host_.CurrentMap();
    if (project_.LibMode || !map || project_.CurrentKind == 0)
        return;
    const int x = std::clamp(map->SelX + dx, 0, map->SizeX - 1);
    const int y = std::clamp(map->SelY + dy, 0, map->SizeY - 1);
    const int movedX = x - map->SelX, movedY = y - map->SelY;
    map->SelX = x;
    map->SelY = y;
    if (side >= 0 && side <= 3)
        map->SelSide = side;
    PressCell(Source::Keyboard, shift ? Qt::LeftButton : Qt::MiddleButton, 0, 0, movedX, movedY);
}

void TMapGestures::SelectCellOfEvent(const std::string& t)
{
    TMap* map = host_.CurrentMap();
    if (project_.LibMode || !map)
        return;
    int x = 0, y = 0, side = 0;
    const size_t open = t.find('[');
    const size_t close = t.find(']');
    if (open != std::string::npos && (close == std::string::npos || open < close)) {
        size_t at = open + 1;
        x = KeyNumber(t, at, ",");
        const size_t nextComma = t.find(',', at);
        const size_t nextClose = t.find(']', at);
        if (nextComma == std::string::npos || (nextClose != std::string::npos && nextClose < nextComma)) {
            y = KeyNumber(t, at, "]");
        } else {
            y = KeyNumber(t, at, ",");
            side = KeyNumber(t, at, "]");
        }
    }
    if (x < 0 || y < 0 || x >= map->SizeX || y >= map->SizeY || side < 0 || side > 3)
        return;
    const int oldX = map->SelX, oldY = map->SelY;
    map->SelX = x;
    map->SelY = y;
    map->SelSide = side;
    host_.RepaintCell(oldX, oldY);
    host_.RepaintCell(x, y);
}

std::string TMapGestures::DroppedEventName(const std::string& entry, int x, int y, int side) const
{
    const std::string name = entry.substr(0, entry.find('['));
    std::string key = "[" + std::to_string(x) + "," + std::to_string(y);
    if (project_.CurrentKind == 1)
        key += "," + std::to_string(side);
    return name + key + "]";
}

void TMapGestures::DropEvent(const std::string& entry, int x, int y, int side)
{
    TMap* map = host_.CurrentMap();
    if (project_.LibMode || !map || !map->InMap(x, y))
        return;
    // The old cell, when both of its coordinates can be read.
    int oldX = -1, oldY = -1;
    if (const size_t open = entry.find('['); open != std::string::npos) {
        size_t at = open + 1;
        const size_t comma = entry.find(',', at);
        if (comma != std::string::npos) {
            const std::optional<int32_t> column = StrToInt32(entry.substr(at, comma - at));
            at = comma + 1;
            const size_t end = entry.find_first_of(",]", at);
            const std::optional<int32_t> row =
                StrToInt32(entry.substr(at, end == std::string::npos ? std::string::npos : end - at));
            if (column && row) {
                oldX = *column;
                oldY = *row;
            }
        }
    }
    host_.RenameCodeEntry(DroppedEventName(entry, x, y, side));
    host_.RepaintCell(x, y);
    if (oldX >= 0 && oldY >= 0 && map->InMap(oldX, oldY))
        host_.RepaintCell(oldX, oldY);
}

void TMapGestures::DropFromTree(int position, int x, int y)
{
    TMap* map = host_.CurrentMap();
    if (project_.LibMode || !map || !map->InMap(x, y))
        return;
    const int oldX = map->SelX, oldY = map->SelY;
    const int kind = project_.CurrentKind;
    if (History)
        History->BeginStroke();
    if (kind == 5 && position >= 0 && position < project_.ItemDefs->Count()) {
        TItem* item = map->AddItem(static_cast<TItemDef*>(project_.ItemDefs->Element(position)), x, y);
        if (History && item)
            History->PlacementAdded(map, item);
    } else if (kind == 6 && position >= 0 && position < project_.MonsterDefs->Count()) {
        TMonster* monster = map->AddMonster(static_cast<TMonsterDef*>(project_.MonsterDefs->Element(position)), x, y);
        if (History)
            History->PlacementAdded(map, monster);
    } else if (kind == 7) {
        if (auto* npc = dynamic_cast<TNPC*>(host_.ShownElement())) {
            std::vector<std::pair<std::string, std::string>> before;
            {
                // The grid may show the NPC's position and map: it stores what it
                // holds first and shows the moved NPC after.
                TListChange change(Session, npc->Params.get());
                before = TMapHistory::ParametersOf(*npc);
                npc->MoveTo(x, y);
                npc->Params->SetValue("map", map->Name);
            }
            if (History)
                History->NpcMoved(map, npc, before);
            host_.RepaintCell(x, y);
        }
        host_.SetModified();
        ListPlacements();
        return;
    } else {
        return;
    }
    map->SelX = x;
    map->SelY = y;
    host_.RepaintCell(oldX, oldY);
    host_.RepaintCell(x, y);
    host_.SetModified();
    ListPlacements();
}

void TMapGestures::DropFromList(int x, int y)
{
    TMap* map = host_.CurrentMap();
    if (project_.LibMode || !map || !map->InMap(x, y))
        return;
    const int oldX = map->SelX, oldY = map->SelY;
    TListedItem* selected = const_cast<TListedItem*>(project_.SelectedElement);
    if (auto* item = project_.CurrentKind == 5 ? dynamic_cast<TItem*>(selected) : nullptr) {
        const int fromX = item->X, fromY = item->Y;
        map->MoveItem(item, x, y);
        if (History)
            History->ItemMoved(map, item, fromX, fromY);
        map->SelX = x;
        map->SelY = y;
        host_.RepaintCell(oldX, oldY);
        host_.RepaintCell(x, y);
    } else if (auto* monster = project_.CurrentKind == 6 ? dynamic_cast<TMonster*>(selected) : nullptr) {
        map->SelX = x;
        map->SelY = y;
        StretchMonster(*monster, monster->AreaAt(monster->Left - oldX + x, monster->Top - oldY + y));
    } else {
        return;
    }
    host_.SetModified();
    ListPlacements();
}

void TMapGestures::ListPlacements(bool show)
{
    // In Lib mode the list is left as it is, unless another map opened.
    if (project_.LibMode && show)
        return;
    const int remembered = placementIndex_;
    placements_.clear();
    placementIndex_ = -1;
    TMap* map = host_.CurrentMap();
    const int kind = project_.CurrentKind;
    if (map)
        placements_ = map->PlacementsAtSelection(kind);
    if (kind != 7) {
        const auto found = std::find(placements_.begin(), placements_.end(), project_.SelectedElement);
        if (found != placements_.end()) {
            placementIndex_ = static_cast<int>(found - placements_.begin());
        } else if (!show) {
            // Nothing of the list is chosen until the designer chooses.
        } else if (!placements_.empty()) {
            placementIndex_ = std::clamp(remembered, 0, static_cast<int>(placements_.size()) - 1);
            host_.ShowElement(placements_[static_cast<size_t>(placementIndex_)]);
        } else if (map && !host_.TreeHasSelection()) {
            host_.ShowElement(map);
        }
    }
    host_.PlacementsChanged();
}

void TMapGestures::ChoosePlacement(int index)
{
    if (index < 0 || index >= static_cast<int>(placements_.size()))
        return;
    placementIndex_ = index;
    host_.ShowElement(placements_[static_cast<size_t>(index)]);
}

void TMapGestures::Forget(const TListedItem& thing)
{
    const auto before = placements_.size();
    placements_.erase(std::remove_if(placements_.begin(), placements_.end(),
                                     [&thing](const TListedItem* p) { return TEditSession::Holds(thing, p); }),
                      placements_.end());
    if (placements_.size() == before)
        return;
    placementIndex_ = std::min(placementIndex_, static_cast<int>(placements_.size()) - 1);
    host_.PlacementsChanged();
}

void TMapGestures::DeletePlacement()
{
    TMap* map = host_.CurrentMap();
    if (!map || placementIndex_ < 0 || placementIndex_ >= static_cast<int>(placements_.size()))
        return;
    TListedItem* placement = placements_[static_cast<size_t>(placementIndex_)];
    if (dynamic_cast<TNPC*>(placement))
        return;
    // The grid must not keep showing what is about to go.
    if (host_.ShownElement() == placement || project_.SelectedElement == placement)
        host_.ShowElement(map);
    // Nor may the code pane keep editing it.
    if (Session)
        Session->Leaving(*placement);
    const int x = map->SelX, y = map->SelY;
    const bool item = dynamic_cast<TItem*>(placement) != nullptr;
    if (History) {
        History->BeginStroke();
        History->RemovePlacement(map, placement);
    } else {
        map->RemovePlacement(placement);
    }
    if (item)
        host_.RepaintCell(x, y);
    else
        host_.RepaintAll();
    ListPlacements();
    host_.SetModified();
}

} // namespace kestrune
