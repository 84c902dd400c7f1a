#include "model/editsession.h"

#include "model/elements.h"
#include "model/map.h"
#include "model/placements.h"
#include "core/parlist.h"

#include <algorithm>

namespace kestrune {

int TEditSession::Observe(Observer observer)
{
    const int id = next_++;
    observers_.emplace_back(id, std::move(observer));
    return id;
}

void TEditSession::Forget(int id)
{
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [id](const auto& entry) { return entry.first == id; }),
                     observers_.end());
}

void TEditSession::Leaving(TListedItem& thing)
{
    // An observer may add or forget observers while it is told.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers)
        if (observer.Leaving)
            observer.Leaving(thing);
    // Nothing keeps referring to what leaves, whoever forgot to let go.
    if (Holds(thing, Shown) || HoldsList(thing, ShownParams) || HoldsList(thing, ShownEvents)) {
        Shown = nullptr;
        ShownParams = ShownEvents = nullptr;
        ShownKey.clear();
    }
    if (Holds(thing, CodeElement) || HoldsList(thing, CodeList)) {
        CodeElement = nullptr;
        CodeList = nullptr;
    }
}

TEntries TEditSession::EntriesOf(const TParList& list)
{
    TEntries entries;
    entries.reserve(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        entries.emplace_back(list.Par(i)->Name, list.Par(i)->Value);
    return entries;
}

TRecordListEdit::TRecordListEdit(TEditSession* session, std::string step, TListedItem* owner, TParList* list,
                                 int merge)
    : session_(session && session->OnListEdited && list ? session : nullptr)
{
    Edit.Step = std::move(step);
    Edit.Owner = owner;
    Edit.List = list;
    Edit.Merge = merge;
    if (!session_)
        return;
    Edit.Before = TEditSession::EntriesOf(*list);
    if (owner)
        Edit.StateBefore = owner->DerivedState();
    // Where the change is seen: a map as a whole, or the cell of a placement.
    if (auto* map = dynamic_cast<TMap*>(owner)) {
        Edit.Map = map;
    } else if (owner) {
        if (const auto* placements = dynamic_cast<const TItemList*>(owner->Owner); placements && placements->Map) {
            Edit.Map = placements->Map;
            if (const auto* item = dynamic_cast<const TItem*>(owner)) {
                Edit.X = item->X;
                Edit.Y = item->Y;
            } else if (const auto* monster = dynamic_cast<const TMonster*>(owner)) {
                Edit.X = monster->Left;
                Edit.Y = monster->Top;
            }
        }
    }
}

void TEditSession::BeginSteps(const std::string& name)
{
    if (OnBeginSteps)
        OnBeginSteps(name);
}

void TEditSession::EndSteps()
{
    if (OnEndSteps)
        OnEndSteps();
}

TRecordListEdit::~TRecordListEdit()
{
    // The history keeps nothing when nothing changed.
    if (session_)
        session_->OnListEdited(Edit);
}

void TEditSession::ListChanging(TParList& list)
{
    const auto observers = observers_;
    for (const auto& [id, observer] : observers)
        if (observer.ListChanging)
            observer.ListChanging(list);
}

void TEditSession::ListChanged(TParList& list)
{
    const auto observers = observers_;
    for (const auto& [id, observer] : observers)
        if (observer.ListChanged)
            observer.ListChanged(list);
}

bool TEditSession::Holds(const TListedItem& whole, const TListedItem* part)
{
    if (!part)
        return false;
    if (part == &whole)
        return true;
    const auto* map = dynamic_cast<const TMap*>(&whole);
    if (!map)
        return false;
    if (const auto* list = dynamic_cast<const TItemList*>(part->Owner))
        return list->Map == map;
    return false;
}

bool TEditSession::HoldsList(const TListedItem& whole, const TParList* list)
{
    if (!list)
        return false;
    if (list == whole.Params.get() || list == whole.Events.get())
        return true;
    if (const auto* npc = dynamic_cast<const TNPC*>(&whole); npc && list == npc->Keywords.get())
        return true;
    if (const auto* def = dynamic_cast<const TNPCDef*>(&whole); def && list == def->Keywords.get())
        return true;
    if (const auto* map = dynamic_cast<const TMap*>(&whole)) {
        for (const TItemList* placements : {static_cast<const TItemList*>(map->Items.get()),
                                            static_cast<const TItemList*>(map->Monsters.get())}) {
            for (int i = 0; placements && i < placements->Count(); ++i) {
                const TListedItem* p = placements->Element(i);
                if (list == p->Params.get() || list == p->Events.get())
                    return true;
            }
        }
    }
    return false;
}

} // namespace kestrune
