#pragma once
// The project check, "where used" and the search through the scripts: one
// Qt-free engine for the tool's "check" command and the editor's list of
// places. Every finding is a TProblem that names the file and the place in
// it as text, and carries a TPlace for a window to go to.

#include <string>
#include <vector>

namespace kestrune {

class Project;
class TFunctionIndex;
class TListedItem;
class TMap;

// Where a designer can be taken.
struct TPlace {
    const TMap* map = nullptr;        // a map, a cell or side of it, or a placement on it
    int x = -1, y = -1, side = -1;    // the cell (and side) when known
    int kind = -1;                    // element kind 0..7 of `element` when it is a library element
    const TListedItem* element = nullptr;     // a library element, a placement (item/monster) or an NPC instance
    const TListedItem* scriptOwner = nullptr; // owner of the list holding a script (map, element, NPC...)
    std::string entry;                // the script entry's name (e.g. "onEnter[3,4]") or NPC keyword list name
    int offset = -1;                  // character offset in the script text, when known
    bool keywords = false;            // the entry is one of the NPC's key words, not an event
};

struct TProblem {
    std::string severity;   // "error" or "warning" (empty for where-used / find results)
    std::string kind;       // the problem kind, e.g. "missing-element" (for where-used / find: "use" / "text")
    std::string file;       // relative to the project or data folder: "maps/Cellar.map", "def/items.qv5"
    std::string where;      // "[3,4]", "[3,4,0]", an element's or placement's name, or "-"
    std::string message;
    TPlace place;
};

struct TCheckOptions {
    const TFunctionIndex* functions = nullptr; // the language's function index, when given
};

// Every problem of a loaded project, in the order of its files: the shared
// and the project's libraries, the maps, the NPC instances, the game
// parameters. Problem kinds and their severities:
//   missing-element  error    a map cell, item, monster or NPC instance names an element its library lacks
//   missing-map      error    an NPC instance's "map" names no map of the project
//   missing-picture  warning  an element's picture parameter names a file that does not exist
//   bad-picture      warning  a picture file that cannot be decoded or is over the size limits
//   outside-map      error    a keyed event or parameter, item, monster or NPC instance outside its map
//   invalid-value    error    a stored parameter value that its definition refuses
//   duplicate-name   error    two elements of one library, or two maps, with one name ignoring case
//   unknown-function warning  a script calls a function the function index does not know (with an index)
//   script-syntax    warning  a script whose brackets, quotes or comments are not closed
//   unreadable-file  error    a map file the load refused
// Names missing from the wall, floor, ceiling and object libraries are the
// ones a load resolved to no element (the libraries' Replacements answered
// -1); their cells are found in the map files as they are on disk.
std::vector<TProblem> CheckProject(const Project& project, const TCheckOptions& options = {});

// Every map cell, cell side, placement, NPC instance and parameter that uses
// an element of the list shown for a browser kind 0 to 7 (kind "use").
std::vector<TProblem> WhereUsed(const Project& project, int kind, const TListedItem& element);

// Every occurrence of a text in the event scripts and NPC key words of the
// project (kind "text"). Whole word: the text is neither preceded nor
// followed by a letter, digit, "_", "$" or "@".
std::vector<TProblem> FindInScripts(const Project& project, const std::string& text, bool wholeWord, bool matchCase);

// "SEVERITY KIND FILE WHERE: MESSAGE" (without the severity when it is empty).
std::string ProblemLine(const TProblem& problem);
// {"problems": [{"severity", "kind", "file", "where", "message"}, ...]} and a line end.
std::string ProblemsJson(const std::vector<TProblem>& problems);

} // namespace kestrune
