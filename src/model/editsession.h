#pragma once
// What is being edited: the element, map, cell or placement whose lists the
// property grid shows, and the element and list the code pane edits. The
// windows read this state when they draw and act; none of them keeps a copy.
//
// Everything that takes a thing out of the project (removing an element or
// a map, deleting a placement, undo and redo) announces it here first, and
// every window lets go of it, of its lists and of what lies on it before it
// goes. A change made to a list outside the grid (an NPC moved on the map, a
// monster stretched, a step undone) is announced too, so that the grid
// stores what it holds before the change and shows the list again after it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TListedItem;
class TMap;
class TParList;

using TEntries = std::vector<std::pair<std::string, std::string>>;

// A change a window made to a list, told to the project history: the
// entries before it (the list holds those after).
struct TListEdit {
    std::string Step;               // "Change sizeX", "Edit script onEnter [3,4]"
    TListedItem* Owner = nullptr;   // the element, map or placement the list belongs to
    TParList* List = nullptr;
    TEntries Before;
    // Consecutive edits with the same non-zero number are one step.
    int Merge = 0;
    // Where the change is seen: the map and cell, when it lies on a map.
    TMap* Map = nullptr;
    int X = -1, Y = -1;
    // What the owner holds beside the list, before and after (DerivedState).
    std::vector<int32_t> StateBefore, StateAfter;
    // A slot of that cell changed alongside (the orientation), or -1.
    int Slot = -1, SlotBefore = 0, SlotAfter = 0;
};

// A change made outside the lists (an element or a map added, removed or
// renamed), with what undoes and redoes it.
struct TStep {
    std::string Name;
    std::function<void()> Undo, Redo;
    // Shown before it is undone or redone: the map, else the element in its kind.
    TMap* Map = nullptr;
    TListedItem* Element = nullptr;
    // What the step keeps while it lives (a removed element, for one).
    std::shared_ptr<void> Held;
};

class TEditSession {
public:
    // ---- what the property grid shows ----
    TListedItem* Shown = nullptr;
    TParList* ShownParams = nullptr;
    TParList* ShownEvents = nullptr;
    // The cell key the shown list was copied into the table under; empty for whole lists.
    std::string ShownKey;

    // ---- what the code pane edits ----
    TListedItem* CodeElement = nullptr;
    TParList* CodeList = nullptr;

    // The code pane edits the events list that the grid shows.
    bool GridShowsCodeList() const { return CodeList && CodeList == ShownEvents; }

    // ---- the project history ----
    // Told of every change a window makes to a list (none: nothing is recorded).
    std::function<void(TListEdit&)> OnListEdited;
    static TEntries EntriesOf(const TParList& list);
    // Changes told between these two are one step of that name.
    std::function<void(const std::string&)> OnBeginSteps;
    std::function<void()> OnEndSteps;
    void BeginSteps(const std::string& name);
    void EndSteps();
    // Told of every other change, made already.
    std::function<void(TStep&)> OnStep;
    void Record(TStep step)
    {
        if (OnStep)
            OnStep(step);
    }

    // ---- announcements ----
    struct Observer {
        // A thing is about to leave the project.
        std::function<void(TListedItem&)> Leaving;
        // A list is about to be changed, and has been changed, outside the grid.
        std::function<void(TParList&)> ListChanging;
        std::function<void(TParList&)> ListChanged;
    };
    // Observers are told in the order they were added.
    int Observe(Observer observer);
    void Forget(int id);

    void Leaving(TListedItem& thing);
    void ListChanging(TParList& list);
    void ListChanged(TParList& list);

    // Whether part is whole, one of its placements (whole a map), or lies
    // on a map that is whole.
    static bool Holds(const TListedItem& whole, const TListedItem* part);
    // Whether a list belongs to the thing or to something it holds.
    static bool HoldsList(const TListedItem& whole, const TParList* list);

private:
    std::vector<std::pair<int, Observer>> observers_;
    int next_ = 1;
};

// Brackets a change to a list made outside the grid.
class TListChange {
public:
    TListChange(TEditSession* session, TParList* list) : session_(session), list_(list)
    {
        if (session_ && list_)
            session_->ListChanging(*list_);
    }
    ~TListChange()
    {
        if (session_ && list_)
            session_->ListChanged(*list_);
    }
    TListChange(const TListChange&) = delete;
    TListChange& operator=(const TListChange&) = delete;

private:
    TEditSession* session_;
    TParList* list_;
};

// Makes the changes told while it lives one step.
class TStepGroup {
public:
    TStepGroup(TEditSession* session, const std::string& name) : session_(session)
    {
        if (session_)
            session_->BeginSteps(name);
    }
    ~TStepGroup()
    {
        if (session_)
            session_->EndSteps();
    }
    TStepGroup(const TStepGroup&) = delete;
    TStepGroup& operator=(const TStepGroup&) = delete;

private:
    TEditSession* session_;
};

// Records a change to a list: the entries at construction are compared with
// those at destruction, and a difference is told as one step.
class TRecordListEdit {
public:
    TRecordListEdit(TEditSession* session, std::string step, TListedItem* owner, TParList* list, int merge = 0);
    ~TRecordListEdit();
    TRecordListEdit(TRecordListEdit&& other) noexcept : Edit(std::move(other.Edit)), session_(other.session_)
    {
        other.session_ = nullptr;
    }
    TRecordListEdit(const TRecordListEdit&) = delete;
    TRecordListEdit& operator=(const TRecordListEdit&) = delete;

    TListEdit Edit;

private:
    TEditSession* session_;
};

} // namespace kestrune
