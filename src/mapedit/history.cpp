#include "mapedit/history.h"

#include "model/editsession.h"
#include "core/errors.h"
#include "core/text.h"
#include "model/map.h"
#include "model/placements.h"
#include "model/region.h"

#include <QPoint>
#include <QUndoCommand>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace kestrune {

namespace {

QString ToQ(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }

// "Place item Bread", "Move monster Rat", "Move NPC Mara".
QString StepName(const char* verb, const TListedItem* placement)
{
    const char* what = dynamic_cast<const TNPC*>(placement)       ? "NPC"
                       : dynamic_cast<const TMonster*>(placement) ? "monster"
                                                                   : "item";
    return QString::fromLatin1(verb) + QLatin1Char(' ') + QLatin1String(what) + QLatin1Char(' ') +
           ToQ(placement->Name);
}

QPoint CellOf(const TListedItem* placement)
{
    if (const auto* item = dynamic_cast<const TItem*>(placement))
        return {item->X, item->Y};
    if (const auto* monster = dynamic_cast<const TMonster*>(placement))
        return {monster->Left, monster->Top};
    return {-1, -1};
}

// A list made to hold exactly these entries (names as they are, duplicates kept).
void ReplaceEntries(TParList& list, const TEntries& entries)
{
    list.Clear();
    for (const auto& [name, value] : entries)
        list.Add(std::make_unique<TPar>(name, value));
    list.NamesChanged();
}

// The first redo comes from QUndoStack::push right after the change was
// made; it has nothing left to do.
class TRecordedCommand : public QUndoCommand {
public:
    TRecordedCommand(TMapHistory& history, TMap* map, const QString& text)
        : QUndoCommand(text), history_(history), map_(map)
    {
    }
    void undo() override
    {
        Show();
        Undo();
        Changed();
    }
    void redo() override
    {
        if (first_) {
            first_ = false;
            return;
        }
        Show();
        Redo();
        Changed();
    }

protected:
    virtual void Undo() = 0;
    virtual void Redo() = 0;
    // The cell the step changes, brought into view before it changes.
    virtual QPoint Where() const { return {-1, -1}; }
    void Show()
    {
        if (history_.OnShow)
            history_.OnShow(map_, Where().x(), Where().y());
    }
    void Changed()
    {
        if (history_.OnChanged)
            history_.OnChanged(map_);
    }
    void Leaving(TListedItem* placement)
    {
        if (history_.OnPlacementLeaving)
            history_.OnPlacementLeaving(placement);
    }

    TMapHistory& history_;
    TMap* map_;

private:
    bool first_ = true;
};

class TCellsCommand : public TRecordedCommand {
public:
    // A map has at most 256 cells a side and a slot holds a byte: five bytes a change.
    struct Change {
        uint8_t x, y, slot, before, after;
    };
    TCellsCommand(TMapHistory& history, TMap* map, int stroke, Change change)
        : TRecordedCommand(history, map, LayerName(change.slot)), stroke_(stroke), changes_{change}
    {
    }
    TCellsCommand(TMapHistory& history, TMap* map, int stroke, std::vector<Change> changes)
        : TRecordedCommand(history, map, LayerName(changes.front().slot)), stroke_(stroke), changes_(std::move(changes))
    {
    }
    static QString LayerName(int slot)
    {
        switch (slot) {
        case 4: return QStringLiteral("Paint floors");
        case 5: return QStringLiteral("Paint ceilings");
        case 6: return QStringLiteral("Paint objects");
        default: return QStringLiteral("Paint walls");
        }
    }
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* o = static_cast<const TCellsCommand*>(other);
        if (o->stroke_ != stroke_ || o->map_ != map_)
            return false;
        changes_.insert(changes_.end(), o->changes_.begin(), o->changes_.end());
        return true;
    }

protected:
    void Undo() override
    {
        for (auto it = changes_.rbegin(); it != changes_.rend(); ++it)
            map_->Cell(it->x, it->y).SetSlot(it->slot, it->before);
        map_->Changed = true;
    }
    void Redo() override
    {
        for (const Change& c : changes_)
            map_->Cell(c.x, c.y).SetSlot(c.slot, c.after);
        map_->Changed = true;
    }

    QPoint Where() const override { return {changes_.front().x, changes_.front().y}; }

private:
    int stroke_;
    std::vector<Change> changes_;
};

// A placement on or off its map: `held` owns it while it is off.
class TPlacementCommand : public TRecordedCommand {
public:
    TPlacementCommand(TMapHistory& history, TMap* map, TListedItem* placement, bool addedNow,
                      std::unique_ptr<TLoadSaveItem> held, int index)
        : TRecordedCommand(history, map, StepName(addedNow ? "Place" : "Delete", placement)),
          placement_(placement), added_(addedNow), held_(std::move(held)), index_(index)
    {
    }

protected:
    void Undo() override
    {
        added_ ? TakeOff() : PutBack();
        map_->Changed = true;
    }
    void Redo() override
    {
        added_ ? PutBack() : TakeOff();
        map_->Changed = true;
    }
    QPoint Where() const override { return CellOf(placement_); }

private:
    TItemList* List() const
    {
        return dynamic_cast<TItem*>(placement_) ? static_cast<TItemList*>(map_->Items.get())
                                                : static_cast<TItemList*>(map_->Monsters.get());
    }
    void TakeOff()
    {
        TItemList* list = List();
        const int at = list->IndexOf(placement_);
        if (at < 0)
            return;
        Leaving(placement_);
        if (auto* item = dynamic_cast<TItem*>(placement_); item && map_->InMap(item->X, item->Y))
            map_->Cell(item->X, item->Y).ItemRemoved();
        index_ = at;
        held_ = list->Extract(at);
    }
    void PutBack()
    {
        if (!held_)
            return;
        List()->Insert(index_, std::move(held_));
        if (auto* item = dynamic_cast<TItem*>(placement_)) {
            if (map_->InMap(item->X, item->Y))
                map_->Cell(item->X, item->Y).ItemAdded();
            else
                map_->RecountItems(); // the map shrank meanwhile: where loading puts it
        }
    }

public:
    // The placement while this step keeps it off its map, or none.
    TListedItem* Held() const { return held_ ? placement_ : nullptr; }

private:
    TListedItem* placement_;
    bool added_;
    std::unique_ptr<TLoadSaveItem> held_;
    int index_;
};

class TMoveCommand : public TRecordedCommand {
public:
    TMoveCommand(TMapHistory& history, TMap* map, TListedItem* placement, int stroke, TCellRect before,
                 TCellRect after, TEntries paramsBefore = {}, TEntries paramsAfter = {})
        : TRecordedCommand(history, map, MoveName(placement, before, after)), placement_(placement), stroke_(stroke),
          before_(before), after_(after), paramsBefore_(std::move(paramsBefore)), paramsAfter_(std::move(paramsAfter))
    {
    }
    static QString MoveName(const TListedItem* placement, const TCellRect& before, const TCellRect& after)
    {
        const bool resized = after.Right - after.Left != before.Right - before.Left ||
                             after.Bottom - after.Top != before.Bottom - before.Top;
        return StepName(resized ? "Stretch" : "Move", placement);
    }
    // The steps of one drag are one move: from where it started to where it ended.
    int id() const override { return 2; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* o = static_cast<const TMoveCommand*>(other);
        if (o->stroke_ != stroke_ || o->placement_ != placement_)
            return false;
        after_ = o->after_;
        paramsAfter_ = o->paramsAfter_;
        return true;
    }

protected:
    void Undo() override { Apply(before_, paramsBefore_); }
    void Redo() override { Apply(after_, paramsAfter_); }
    QPoint Where() const override { return CellOf(placement_); }

private:
    void Apply(const TCellRect& r, const TEntries& params)
    {
        map_->Changed = true;
        if (auto* item = dynamic_cast<TItem*>(placement_)) {
            map_->MoveItem(item, r.Left, r.Top);
        } else if (auto* monster = dynamic_cast<TMonster*>(placement_)) {
            // The parameters come back as they were (a move writes the
            // position into them, adding rows the monster had not).
            TListChange change(history_.Session, monster->Params.get());
            ReplaceEntries(*monster->Params, params);
            monster->RestoreDerivedState({r.Left, r.Top, r.Right, r.Bottom});
        }
    }
    TListedItem* placement_;
    int stroke_;
    TCellRect before_, after_;
    TEntries paramsBefore_, paramsAfter_;
};

class TPatternCommand : public TRecordedCommand {
public:
    TPatternCommand(TMapHistory& history, TListedItem* element, const uint8_t (&before)[11][11])
        : TRecordedCommand(history, nullptr, QStringLiteral("Paint pattern of ") + ToQ(element->Name)),
          element_(element)
    {
        std::memcpy(before_, before, sizeof before_);
        std::memcpy(after_, std::as_const(*element).PatternCells.Data(), sizeof after_);
    }

protected:
    void Undo() override { Apply(before_); }
    void Redo() override { Apply(after_); }

private:
    void Apply(const uint8_t (&cells)[11][11])
    {
        if (history_.OnShowElement)
            history_.OnShowElement(element_);
        std::memcpy(element_->PatternCells.Data(), cells, TPatternCells::Bytes);
        element_->PreparePictures();
    }
    TListedItem* element_;
    uint8_t before_[11][11];
    uint8_t after_[11][11];
};

// An NPC dropped on a cell, perhaps of another map: its whole parameter
// list before and after (position, size and map live there).
class TNpcCommand : public TRecordedCommand {
public:
    TNpcCommand(TMapHistory& history, TMap* map, TListedItem* npc, TEntries before)
        : TRecordedCommand(history, map, StepName("Move", npc)), npc_(npc), before_(std::move(before)),
          after_(TEditSession::EntriesOf(*npc->Params))
    {
    }

protected:
    void Undo() override { Apply(before_); }
    void Redo() override { Apply(after_); }
    QPoint Where() const override { return CellOf(npc_); }

private:
    void Apply(const TEntries& entries)
    {
        TListChange change(history_.Session, npc_->Params.get());
        ReplaceEntries(*npc_->Params, entries);
        npc_->ParametersReplaced();
    }
    TListedItem* npc_;
    TEntries before_, after_;
};

// A stretch of a list replaced by another: entries [At, At + Removed) of
// the list before became Inserted.
struct TListDiff {
    int At = 0;
    TEntries Removed, Inserted;

    bool Empty() const { return Removed.empty() && Inserted.empty(); }

    static TListDiff Between(const TEntries& before, const TEntries& after)
    {
        TListDiff d;
        size_t head = 0;
        while (head < before.size() && head < after.size() && before[head] == after[head])
            ++head;
        size_t tail = 0;
        while (tail < before.size() - head && tail < after.size() - head &&
               before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
            ++tail;
        d.At = static_cast<int>(head);
        d.Removed.assign(before.begin() + static_cast<std::ptrdiff_t>(head),
                         before.end() - static_cast<std::ptrdiff_t>(tail));
        d.Inserted.assign(after.begin() + static_cast<std::ptrdiff_t>(head),
                          after.end() - static_cast<std::ptrdiff_t>(tail));
        return d;
    }

    // Replaces `from` at At in the list by `to`.
    static void Apply(TParList& list, int at, const TEntries& from, const TEntries& to)
    {
        for (size_t i = 0; i < from.size() && at < list.Count(); ++i)
            list.Delete(at);
        for (size_t i = 0; i < to.size(); ++i)
            list.Insert(at + static_cast<int>(i), std::make_unique<TPar>(to[i].first, to[i].second));
        list.NamesChanged();
    }

    // This change followed by `next`, given the list after both.
    void Then(const TListDiff& next, const TParList& list)
    {
        // The stretch of the list between the two changes, as it was between them.
        const int start = std::min(At, next.At);
        const int end = std::max(At + static_cast<int>(Inserted.size()), next.At + static_cast<int>(next.Removed.size()));
        TEntries middle;
        for (int k = start; k < end; ++k) {
            if (k >= next.At && k < next.At + static_cast<int>(next.Removed.size())) {
                middle.push_back(next.Removed[static_cast<size_t>(k - next.At)]);
            } else {
                const int now = k < next.At ? k : k - static_cast<int>(next.Removed.size()) + static_cast<int>(next.Inserted.size());
                middle.emplace_back(list.Par(now)->Name, list.Par(now)->Value);
            }
        }
        auto replaced = [&middle, start](int at, size_t count, const TEntries& by) {
            TEntries r(middle.begin(), middle.begin() + (at - start));
            r.insert(r.end(), by.begin(), by.end());
            r.insert(r.end(), middle.begin() + (at - start) + static_cast<std::ptrdiff_t>(count), middle.end());
            return r;
        };
        const TEntries first = replaced(At, Inserted.size(), Removed);
        const TEntries last = replaced(next.At, next.Removed.size(), next.Inserted);
        TListDiff whole = Between(first, last);
        whole.At += start;
        *this = std::move(whole);
    }
};

// A list edited in a window: the changed stretch, and what the list's
// element derives from it made again.
class TListCommand : public TRecordedCommand {
public:
    TListCommand(TMapHistory& history, const TListEdit& edit, TListDiff diff)
        : TRecordedCommand(history, edit.Map, ToQ(edit.Step)), edit_(edit), diff_(std::move(diff))
    {
        edit_.Before.clear();
    }
    int id() const override { return 3; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* o = static_cast<const TListCommand*>(other);
        if (edit_.Merge == 0 || o->edit_.Merge != edit_.Merge || o->edit_.List != edit_.List)
            return false;
        diff_.Then(o->diff_, *edit_.List);
        edit_.SlotAfter = o->edit_.SlotAfter;
        edit_.StateAfter = o->edit_.StateAfter;
        // Typed back to where it began: no step is left.
        setObsolete(Empty());
        return true;
    }
    bool Empty() const
    {
        return diff_.Empty() && (edit_.Slot < 0 || edit_.SlotBefore == edit_.SlotAfter) &&
               edit_.StateBefore == edit_.StateAfter;
    }

protected:
    void Undo() override { Apply(diff_.Inserted, diff_.Removed, edit_.SlotBefore, edit_.StateBefore); }
    void Redo() override { Apply(diff_.Removed, diff_.Inserted, edit_.SlotAfter, edit_.StateAfter); }
    QPoint Where() const override { return {edit_.X, edit_.Y}; }

private:
    void Apply(const TEntries& from, const TEntries& to, int slot, const std::vector<int32_t>& state)
    {
        if (!map_ && history_.OnShowElement && edit_.Owner)
            history_.OnShowElement(edit_.Owner);
        TListChange change(history_.Session, edit_.List);
        TListDiff::Apply(*edit_.List, diff_.At, from, to);
        if (map_) {
            map_->Changed = true;
            if (edit_.Slot >= 0 && map_->InMap(edit_.X, edit_.Y))
                map_->Cell(edit_.X, edit_.Y).SetSlot(edit_.Slot, slot);
        }
        TListedItem* owner = edit_.Owner;
        if (!owner || edit_.List != owner->Params.get())
            return;
        // What the element derives from its parameters follows them; where
        // it lies and its size are put back as they were.
        if (!dynamic_cast<TMap*>(owner)) {
            owner->ParametersReplaced();
            if (!dynamic_cast<TItem*>(owner) && !dynamic_cast<TMonster*>(owner)) {
                try {
                    owner->ApplyParameters();
                } catch (const KestruneError&) {
                }
            }
        }
        owner->RestoreDerivedState(state);
        if (map_ && dynamic_cast<TItem*>(owner))
            map_->RecountItems();
    }

    TListEdit edit_;
    TListDiff diff_;
};

class TFunctionCommand : public TRecordedCommand {
public:
    TFunctionCommand(TMapHistory& history, TStep& step)
        : TRecordedCommand(history, step.Map, ToQ(step.Name)), step_(std::move(step))
    {
    }

protected:
    void Undo() override { Run(step_.Undo); }
    void Redo() override { Run(step_.Redo); }

private:
    void Run(const std::function<void()>& change)
    {
        if (!map_ && step_.Element && history_.OnShowElement)
            history_.OnShowElement(step_.Element);
        if (change)
            change();
    }
    TStep step_;
};

} // namespace

TMapHistory::TMapHistory() = default;

void TMapHistory::Record(TStep& step) { Push(new TFunctionCommand(*this, step)); }

void TMapHistory::Push(QUndoCommand* step)
{
    if (groupDepth_ > 0 && !groupOpen_) {
        stack_.beginMacro(groupName_);
        groupOpen_ = true;
    }
    stack_.push(step);
}

void TMapHistory::BeginSteps(const std::string& name)
{
    if (groupDepth_++ == 0) {
        groupName_ = ToQ(name);
        groupOpen_ = false;
    }
}

void TMapHistory::EndSteps()
{
    if (groupDepth_ == 0 || --groupDepth_ > 0)
        return;
    if (groupOpen_)
        stack_.endMacro();
    groupOpen_ = false;
}

void TMapHistory::ListEdited(TListEdit& edit)
{
    if (!edit.List)
        return;
    if (edit.Owner)
        edit.StateAfter = edit.Owner->DerivedState();
    auto* step = new TListCommand(*this, edit, TListDiff::Between(edit.Before, TEditSession::EntriesOf(*edit.List)));
    if (step->Empty()) {
        delete step;
        return;
    }
    Push(step);
}

void TMapHistory::NpcMoved(TMap* map, TListedItem* npc, const std::vector<std::pair<std::string, std::string>>& before)
{
    if (npc && TEditSession::EntriesOf(*npc->Params) != before)
        Push(new TNpcCommand(*this, map, npc, before));
}

std::vector<std::pair<std::string, std::string>> TMapHistory::ParametersOf(const TListedItem& element)
{
    return TEditSession::EntriesOf(*element.Params);
}

void TMapHistory::PatternChanged(TListedItem* element, const uint8_t (&before)[11][11])
{
    if (!element || std::memcmp(before, std::as_const(*element).PatternCells.Data(), TPatternCells::Bytes) == 0)
        return;
    Push(new TPatternCommand(*this, element, before));
}

void TMapHistory::BeginStroke() { ++stroke_; }

std::vector<TListedItem*> TMapHistory::HeldPlacements() const
{
    std::vector<TListedItem*> held;
    for (int i = 0; i < stack_.count(); ++i)
        if (const auto* step = dynamic_cast<const TPlacementCommand*>(stack_.command(i)))
            if (TListedItem* placement = step->Held())
                held.push_back(placement);
    return held;
}

void TMapHistory::CellChanged(TMap* map, int x, int y, int slot, int before, int after)
{
    if (before == after)
        return;
    auto byte = [](int v) { return static_cast<uint8_t>(v); };
    Push(new TCellsCommand(*this, map, stroke_, {byte(x), byte(y), byte(slot), byte(before), byte(after)}));
}

void TMapHistory::CellsChanged(TMap* map, const std::vector<TRegionCellChange>& changes)
{
    auto byte = [](int v) { return static_cast<uint8_t>(v); };
    std::vector<TCellsCommand::Change> kept;
    kept.reserve(changes.size());
    for (const TRegionCellChange& c : changes)
        if (c.Before != c.After)
            kept.push_back({byte(c.X), byte(c.Y), byte(c.Slot), byte(c.Before), byte(c.After)});
    if (!kept.empty())
        Push(new TCellsCommand(*this, map, stroke_, std::move(kept)));
}

void TMapHistory::PlacementAdded(TMap* map, TListedItem* placement)
{
    Push(new TPlacementCommand(*this, map, placement, true, nullptr, 0));
}

void TMapHistory::ItemMoved(TMap* map, TListedItem* item, int fromX, int fromY)
{
    const auto* it = static_cast<const TItem*>(item);
    Push(
        new TMoveCommand(*this, map, item, stroke_, {fromX, fromY, fromX, fromY}, {it->X, it->Y, it->X, it->Y}));
}

void TMapHistory::MonsterAreaChanged(TMap* map, TListedItem* monster, const TCellRect& before,
                                     const std::vector<std::pair<std::string, std::string>>& parameters)
{
    const TCellRect after = static_cast<const TMonster*>(monster)->Area();
    TEntries now = TEditSession::EntriesOf(*monster->Params);
    if (after == before && now == parameters)
        return;
    Push(new TMoveCommand(*this, map, monster, stroke_, before, after, parameters, std::move(now)));
}

void TMapHistory::RemovePlacement(TMap* map, TListedItem* placement)
{
    TItemList* list = dynamic_cast<TItem*>(placement) ? static_cast<TItemList*>(map->Items.get())
                                                      : static_cast<TItemList*>(map->Monsters.get());
    const int at = list->IndexOf(placement);
    if (at < 0)
        return;
    if (auto* item = dynamic_cast<TItem*>(placement); item && map->InMap(item->X, item->Y))
        map->Cell(item->X, item->Y).ItemRemoved();
    std::unique_ptr<TLoadSaveItem> held = list->Extract(at);
    Push(new TPlacementCommand(*this, map, placement, false, std::move(held), at));
}

} // namespace kestrune
