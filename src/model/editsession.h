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

#include <functional>
#include <string>
#include <vector>

namespace kestrune {

class TListedItem;
class TParList;

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

} // namespace kestrune
