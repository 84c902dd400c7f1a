#pragma once
// The designer soak: a seeded random designer works the editor's windows
// through their public commands (painting, placing, typing into the grid,
// writing scripts, adding and removing things, undo, saving) and after every
// step checks what must always hold. The first broken rule ends the run with
// the seed, the step and the last steps taken, so that the run can be played
// again.

#include <deque>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <QPoint>
#include <Qt>

class QTreeWidgetItem;

namespace kestrune {
class Project;
class TEditorWindows;
class TField;
class TForm1;
class TListedItem;
class TMap;
class TParList;
class TfrmCodeEdit;
} // namespace kestrune

namespace kestrune::test {

class ScriptedDialogs;

class SoakDriver {
public:
    struct Options {
        unsigned Seed = 1;
        int Steps = 300;
        // Every so many steps (and after the last) the project is saved and
        // read back by a second project.
        int ReloadEvery = 25;
        // Checks left out, to get past a known fault: "pointers", "markers",
        // "values", "placements", "reload".
        std::set<std::string> Skip;
        // Every step to stderr as it is taken (to see the way into a crash).
        bool Trace = false;
    };

    // The editor must have shown its project (FormShow).
    SoakDriver(TEditorWindows& windows, ScriptedDialogs& dialogs, Options options);

    // Plays the steps. Empty when every check held; otherwise the report.
    std::string Run();
    int StepsRun() const { return done_; }

private:
    struct Live;
    struct Cell {
        int x = 0, y = 0, side = 0;
    };
    // A script marker typed into the code pane: where it belongs.
    struct Marker {
        int id = 0;
        const TParList* list = nullptr;
        std::string entry;
        std::string where;
        int step = 0;
        bool retired = false; // written over in its entry by a later marker
        bool sawDead = false; // its list left the project at some time
        bool gone = false;    // its entry was removed on purpose
        // The grid renamed or removed rows of its list: the table reaches the
        // list only when it is stored, so any entry of the list will do.
        bool loose = false;
        // A region was cut, deleted, moved or pasted on a map since: the
        // script may have gone with its cell, moved to a placement made anew,
        // or been copied, so it is no longer followed.
        bool free = false;
    };

    TForm1& Main();
    Project& Proj();
    TfrmCodeEdit& Code();

    // ---- chance ----
    int Int(int lo, int hi);
    bool Chance(double p);
    void Say(const std::string& text);

    // ---- small gestures ----
    void Kind(int kind);
    void EditMode();
    void LibMode();
    void RealMap();
    void ChooseMap();
    void ClickTree(bool withClear);
    std::vector<QTreeWidgetItem*> Nodes(bool elementsOnly);
    QTreeWidgetItem* NodeOf(int position);
    Cell RandomCell(const TMap& map);
    Cell Near(const TMap& map, const Cell& c, int reach);
    Cell PlacementCell(const TMap& map, int kind);
    QPoint Pixel(const TMap& map, const Cell& c);
    void Press(Qt::MouseButton button, const Cell& c);
    void Drag(Qt::MouseButtons buttons, const Cell& c);
    void PropertyTab(int tab);
    int PickRow(bool preferNumbers);
    std::string ValueFor(const std::string& row);
    bool TypeInEditor(const std::string& text);
    void LeaveRow();
    void TypeMarker();
    // The markers of a list follow its entries after they were renamed or removed.
    void Relocate(const TParList* list);

    // ---- steps ----
    void Paint();
    void Region();
    void PickFromCell();
    void MoveCursor();
    void Place();
    void MovePlacement();
    void Stretch();
    void ChoosePlacement();
    void DeletePlacement();
    void DropNpc();
    void TypeValue();
    void EditRows();
    void WriteScript();
    void Switch();
    void Library();
    void UndoRedo();
    void Save();

    // ---- checks ----
    Live Collect();
    TField* FieldFor(const TParList& list, const std::string& entry, std::string& section, std::string& name);
    std::string Check(bool reload);
    std::string CheckPointers(const Live& live);
    std::string CheckMarkers(const Live& live);
    std::string CheckValues(const Live& live, bool baseline);
    std::string CheckPlacements(const Live& live);
    std::string CheckReload();
    // Undoing every step gives the project as loaded; redoing them all
    // gives it back as it was.
    std::string CheckHistory();
    std::string Dump();
    std::string asLoaded_;
    std::string Report(const std::string& failure) const;

    TEditorWindows& windows_;
    ScriptedDialogs& dialogs_;
    Options options_;
    std::mt19937 rng_;
    int step_ = 0, done_ = 0;
    std::string note_;            // what the current step did
    std::string stepFailure_;     // a step that could not do what must always work
    std::deque<std::string> log_; // the last steps
    int names_ = 0;               // for new names
    std::vector<Marker> markers_;
    // "section|field|value" of the values that failed validation already when loaded.
    std::set<std::string> loadedInvalid_;
};

} // namespace kestrune::test
