#include "model/projectcheck.h"

#include "core/definitions.h"
#include "core/qvstream.h"
#include "core/text.h"
#include "help/functionindex.h"
#include "model/map.h"
#include "model/picturelimits.h"
#include "model/placements.h"
#include "model/project.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------------ naming

// The libraries of browser kinds 1 to 7, with their files and what one
// element of each is called in a message.
struct LibraryKind {
    int kind;
    const char* file;
    const char* element;
    const char* library;
};
constexpr LibraryKind Libraries[] = {
    {1, "def/walls.qv5", "wall", "walls"},
    {2, "def/floors.qv5", "floor", "floors"},
    {3, "def/ceilings.qv5", "ceiling", "ceilings"},
    {4, "def/objects.qv5", "object", "objects"},
    {5, "def/items.qv5", "item definition", "item definitions"},
    {6, "def/monsters.qv5", "monster definition", "monster definitions"},
    {7, "def/npcs.qv5", "NPC definition", "NPC definitions"},
};
const char* const NpcFile = "maps/defined.npcs";

const TListedList* LibraryOf(const Project& p, int kind)
{
    // The NPC definitions whatever the mode (the project's own list of kind 7
    // follows Lib mode); no library of maps.
    if (kind == 7)
        return p.NpcDefs.get();
    return kind >= 1 && kind <= 6 ? p.LibraryOfKind(kind) : nullptr;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string MapFile(const TMap& map) { return "maps/" + map.Name + map.FileExtension; }

// What a library element is called: its name, marked when it comes from the
// shared data (whose file has the same name as the project's).
std::string ElementLabel(const LibraryKind& k, const TListedItem& e)
{
    return std::string(k.element) + " " + Quoted(e.Name) + (e.Shared ? " (shared data)" : "");
}

// A cell key "[x,y]" or "[x,y,side]" at the end of an entry name: its
// position in the name and its numbers; none when the name ends otherwise.
struct CellKeyOf {
    size_t start = std::string::npos;
    int x = -1, y = -1, side = -1;
};

std::optional<CellKeyOf> ParseCellKey(const std::string& name)
{
    if (name.empty() || name.back() != ']')
        return std::nullopt;
    const size_t open = name.rfind('[');
    if (open == std::string::npos)
        return std::nullopt;
    std::array<long, 3> numbers{};
    int count = 0;
    size_t i = open + 1;
    while (i < name.size() - 1) {
        if (count == 3)
            return std::nullopt;
        long v = 0;
        const size_t first = i;
        while (i < name.size() - 1 && name[i] >= '0' && name[i] <= '9') {
            v = std::min(v * 10 + (name[i] - '0'), 1000000L);
            ++i;
        }
        if (i == first)
            return std::nullopt;
        numbers[static_cast<size_t>(count++)] = v;
        if (name[i] == ',')
            ++i;
        else if (i != name.size() - 1)
            return std::nullopt;
    }
    if (count < 2 || name[name.size() - 2] == ',')
        return std::nullopt;
    CellKeyOf key;
    key.start = open;
    key.x = static_cast<int>(numbers[0]);
    key.y = static_cast<int>(numbers[1]);
    key.side = count == 3 ? static_cast<int>(numbers[2]) : -1;
    return key;
}

std::string KeyText(int x, int y, int side = -1)
{
    return side < 0 ? CellKey(x, y) : CellKey(x, y, side);
}

// ------------------------------------------------------- the lists of a project

enum class ListRole { Params, Events, Keywords };

// Who owns a parameter, event or key word list, and how its entries are
// placed: in which file, under which WHERE, and where a window goes.
struct ListOwner {
    std::string file;
    std::string where;             // for entries without a cell key
    TPlace place;                  // scriptOwner and entry are set per entry
    const TMap* keyedMap = nullptr; // a map's own lists: entries may carry a cell key
    bool mixedEvents = false;      // the game parameters: events are stored among the parameters
    int placement = 0;             // 1 item, 2 monster, 3 NPC instance: its defining entries are checked apart
};

using ListVisitor = std::function<void(const ListOwner&, const TParList&, ListRole)>;

// Every parameter, event and key word list of the project, in the order of
// its files: the libraries, the maps (their own lists, items, monsters), the
// NPC instances, the game parameters and the names lists.
void VisitLists(const Project& p, const ListVisitor& visit)
{
    for (const LibraryKind& k : Libraries) {
        const TListedList* library = LibraryOf(p, k.kind);
        for (int i = 0; library && i < library->Count(); ++i) {
            const TListedItem* e = library->Element(i);
            ListOwner owner;
            owner.file = k.file;
            owner.where = e->Name;
            owner.place.kind = k.kind;
            owner.place.element = e;
            owner.place.scriptOwner = e;
            visit(owner, *e->Params, ListRole::Params);
            visit(owner, *e->Events, ListRole::Events);
            if (const auto* npc = dynamic_cast<const TNPCDef*>(e))
                visit(owner, *npc->Keywords, ListRole::Keywords);
        }
    }
    for (int m = 0; p.Maps && m < p.Maps->Count(); ++m) {
        const TMap* map = p.Maps->MapAt(m);
        ListOwner owner;
        owner.file = MapFile(*map);
        owner.where = "-";
        owner.place.map = map;
        owner.place.kind = 0;
        owner.place.element = map;
        owner.place.scriptOwner = map;
        owner.keyedMap = map;
        visit(owner, *map->Params, ListRole::Params);
        visit(owner, *map->Events, ListRole::Events);
        // Items (placement 1, kind 5) and monsters (placement 2, kind 6), at their cell.
        auto placed = [&](const TListedItem& element, int x, int y, int placement) {
            ListOwner o;
            o.file = owner.file;
            o.where = KeyText(x, y);
            o.place.map = map;
            o.place.x = x;
            o.place.y = y;
            o.place.kind = 4 + placement;
            o.place.element = &element;
            o.place.scriptOwner = &element;
            o.placement = placement;
            visit(o, *element.Params, ListRole::Params);
            visit(o, *element.Events, ListRole::Events);
        };
        for (int i = 0; i < map->Items->Count(); ++i) {
            const TItem* item = map->Items->ItemAt(i);
            placed(*item, item->X, item->Y, 1);
        }
        for (int i = 0; i < map->Monsters->Count(); ++i) {
            const TMonster* monster = map->Monsters->MonsterAt(i);
            placed(*monster, monster->Left, monster->Top, 2);
        }
    }
    for (int i = 0; p.Npcs && i < p.Npcs->Count(); ++i) {
        const TNPC* npc = p.Npcs->NpcAt(i);
        ListOwner o;
        o.file = NpcFile;
        o.where = npc->Name;
        const std::string mapName = npc->Params->GetValue("map");
        for (int m = 0; p.Maps && m < p.Maps->Count(); ++m)
            if (p.Maps->MapAt(m)->Name == mapName)
                o.place.map = p.Maps->MapAt(m);
        if (o.place.map) {
            o.place.x = npc->Left;
            o.place.y = npc->Top;
        }
        o.place.kind = 7;
        o.place.element = npc;
        o.place.scriptOwner = npc;
        o.placement = 3;
        visit(o, *npc->Params, ListRole::Params);
        visit(o, *npc->Events, ListRole::Events);
        visit(o, *npc->Keywords, ListRole::Keywords);
    }
    if (p.GameParams) {
        ListOwner o;
        o.file = "def/game.qv5";
        o.where = "-";
        o.mixedEvents = true;
        visit(o, *p.GameParams, ListRole::Params);
    }
    for (const TParList* names : {p.SharedNames.get(), p.ProjectNames.get()}) {
        if (!names)
            continue;
        ListOwner o;
        o.file = "def/names.qv5";
        o.where = "-";
        visit(o, *names, ListRole::Params);
    }
}

// The WHERE and the place of one entry of a list.
void PlaceEntry(const ListOwner& owner, const std::string& entry, std::string& where, TPlace& place)
{
    where = owner.where;
    place = owner.place;
    place.entry = entry;
    if (!owner.keyedMap)
        return;
    if (const std::optional<CellKeyOf> key = ParseCellKey(entry)) {
        where = entry.substr(key->start);
        place.x = key->x;
        place.y = key->y;
        place.side = key->side;
    }
}

// Whether an entry of a list is a script: every entry of an event or key
// word list, and the entries of the game parameters defined as events.
bool IsScriptEntry(const Project& p, const ListOwner& owner, const TParList& list, ListRole role, const TPar& par)
{
    if (role != ListRole::Params)
        return true;
    if (!owner.mixedEvents || !p.Definitions)
        return false;
    const TDefValue* def = p.Definitions->GetDefValue(list.Name);
    return def && TDefValue::FindField(def->EventDefs, par.Name);
}

// ------------------------------------------------------------- script text

int LineOf(std::string_view text, size_t offset)
{
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(
                                                                         std::min(offset, text.size())), '\n'));
}

bool IsWordChar(char ch)
{
    const auto c = static_cast<unsigned char>(ch);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '@';
}

bool IsLanguageKeyWord(const std::string& word)
{
    static const std::set<std::string> words = {"if",       "else",   "while", "for",  "break",        "local",
                                                "function", "return", "exit",  "do",   "cancelAction", "terminate"};
    return words.count(word) != 0;
}

struct ScriptCall {
    std::string name;
    size_t offset;
};

// What a scan of a script finds: the first place where its brackets,
// quotes or comments go wrong, and the calls outside strings and comments.
struct ScriptScan {
    size_t problemAt = std::string::npos;
    std::string problem;
    std::vector<ScriptCall> calls;
    std::set<std::string> defined; // functions the script defines itself (upper case)
};

ScriptScan ScanScript(std::string_view text)
{
    ScriptScan scan;
    std::vector<std::pair<char, size_t>> open;
    auto fail = [&scan](size_t at, std::string what) {
        if (scan.problemAt == std::string::npos) {
            scan.problemAt = at;
            scan.problem = std::move(what);
        }
    };
    std::string previousWord;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            const size_t close = text.find(c, i + 1);
            if (close == std::string::npos) {
                fail(i, std::string("the string opened with ") + c + " on line " + std::to_string(LineOf(text, i)) +
                            " is not closed");
                break;
            }
            i = close + 1;
            previousWord.clear();
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            const size_t end = text.find('\n', i + 2);
            i = end == std::string::npos ? n : end + 1;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            const size_t close = text.find("*/", i + 2);
            if (close == std::string::npos) {
                fail(i, "the comment opened with /* on line " + std::to_string(LineOf(text, i)) + " is not closed");
                break;
            }
            i = close + 2;
            continue;
        }
        if (c == '(' || c == '[' || c == '{') {
            open.emplace_back(c, i);
            ++i;
            previousWord.clear();
            continue;
        }
        if (c == ')' || c == ']' || c == '}') {
            const char want = c == ')' ? '(' : c == ']' ? '[' : '{';
            if (open.empty()) {
                fail(i, std::string("the ") + c + " on line " + std::to_string(LineOf(text, i)) + " closes nothing");
            } else if (open.back().first != want) {
                fail(i, std::string("the ") + c + " on line " + std::to_string(LineOf(text, i)) + " closes the " +
                            open.back().first + " opened on line " + std::to_string(LineOf(text, open.back().second)));
                open.pop_back();
            } else {
                open.pop_back();
            }
            ++i;
            previousWord.clear();
            continue;
        }
        if (IsWordChar(c)) {
            const size_t start = i;
            while (i < n && IsWordChar(text[i]))
                ++i;
            const std::string word(text.substr(start, i - start));
            size_t next = i;
            while (next < n && (text[next] == ' ' || text[next] == '\t'))
                ++next;
            const bool digitFirst = word[0] >= '0' && word[0] <= '9';
            if (previousWord == "function")
                scan.defined.insert(UpperCase(word));
            else if (next < n && text[next] == '(' && !digitFirst && word[0] != '$' && word[0] != '@' &&
                     !IsLanguageKeyWord(word))
                scan.calls.push_back({word, start});
            previousWord = word;
            continue;
        }
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            previousWord.clear();
        ++i;
    }
    if (!open.empty())
        fail(open.front().second, std::string("the ") + open.front().first + " opened on line " +
                                      std::to_string(LineOf(text, open.front().second)) + " is not closed");
    return scan;
}

// One line of a script around an offset, trimmed and kept short.
std::string LineAround(const std::string& text, size_t offset)
{
    const size_t start = offset == 0 ? 0 : text.rfind('\n', offset - 1);
    const size_t from = start == std::string::npos || offset == 0 ? 0 : start + 1;
    const size_t end = text.find('\n', offset);
    std::string line = Trim(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    constexpr size_t Longest = 100;
    if (line.size() > Longest)
        line = line.substr(0, Longest) + "...";
    return line;
}

// ------------------------------------------------------------------ checker

bool Inside(const TMap& map, const TCellRect& r)
{
    return map.InMap(r.Left, r.Top) && map.InMap(r.Right, r.Bottom) && r.Left <= r.Right && r.Top <= r.Bottom;
}

std::string AreaText(const TCellRect& r)
{
    return "columns " + std::to_string(r.Left) + " to " + std::to_string(r.Right) + " and rows " +
           std::to_string(r.Top) + " to " + std::to_string(r.Bottom);
}

std::string WhatValueMay(const TField& field)
{
    if (dynamic_cast<const TIntField*>(&field))
        return "a whole number";
    if (dynamic_cast<const TBoolField*>(&field))
        return "T or F";
    if (const auto* listed = dynamic_cast<const TListedField*>(&field)) {
        static const char* const libraries[] = {"item definitions", "monster definitions", "walls", "floors",
                                                "ceilings",         "NPC definitions",     "maps"};
        if (listed->LibraryKind >= 0 && listed->LibraryKind < 7)
            return "a name of the " + std::string(libraries[listed->LibraryKind]);
        return "a name of its library";
    }
    if (const auto* list = dynamic_cast<const TListField*>(&field)) {
        std::string choices;
        for (const std::string& c : list->Choices.Items())
            choices += (choices.empty() ? "" : ", ") + (c.empty() ? std::string("(empty)") : c);
        return "one of " + choices;
    }
    return "another value";
}

class Checker {
public:
    Checker(const Project& project, const TCheckOptions& options) : p_(project), o_(options) {}

    std::vector<TProblem> Run()
    {
        CheckLibraries();
        CheckMaps();
        CheckNpcs();
        VisitLists(p_, [this](const ListOwner& owner, const TParList& list, ListRole role) {
            CheckList(owner, list, role);
        });
        // Grouped by file; within a file in the order found.
        std::stable_sort(out_.begin(), out_.end(),
                         [](const TProblem& a, const TProblem& b) { return a.file < b.file; });
        return std::move(out_);
    }

private:
    void Add(const char* severity, const char* kind, std::string file, std::string where, std::string message,
             TPlace place)
    {
        out_.push_back({severity, kind, std::move(file), std::move(where), std::move(message), std::move(place)});
    }

    // ---- libraries: duplicate names and pictures
    void CheckLibraries()
    {
        for (const LibraryKind& k : Libraries) {
            const TListedList* library = LibraryOf(p_, k.kind);
            if (!library)
                continue;
            std::unordered_map<std::string, const TListedItem*> seen;
            for (int i = 0; i < library->Count(); ++i) {
                const TListedItem* e = library->Element(i);
                TPlace place;
                place.kind = k.kind;
                place.element = e;
                const auto [first, fresh] = seen.emplace(UpperCase(e->Name), e);
                if (!fresh)
                    Add("error", "duplicate-name", k.file, e->Name,
                        "the " + ElementLabel(k, *e) + " has the name of the " + ElementLabel(k, *first->second) +
                            " (letter case aside); maps and parameters only ever find the first",
                        place);
                CheckPictures(k, *e, place);
            }
        }
    }

    // 0 a picture that decodes, 1 no such file, 2 a file that does not decode.
    int PictureState(const std::string& relative, std::string& full)
    {
        full = p_.ElementPicturePath(relative);
        const auto found = pictures_.find(full);
        if (found != pictures_.end())
            return found->second;
        int state = 0;
        std::error_code ec;
        if (!fs::is_regular_file(fs::path(full), ec))
            state = 1;
        else if (!PictureFileDecodes(fs::path(full)))
            state = 2;
        pictures_.emplace(full, state);
        return state;
    }

    void CheckPictures(const LibraryKind& k, const TListedItem& e, const TPlace& place)
    {
        if (!p_.Definitions)
            return;
        const TDefValue* def = p_.Definitions->GetDefValue(e.Params->Name);
        if (!def)
            return;
        for (int i = 0; i < e.Params->Count(); ++i) {
            const TPar* par = e.Params->Par(i);
            const auto* field = dynamic_cast<const TPictureField*>(TDefValue::FindField(def->ParamDefs, par->Name));
            if (!field || TrimSpacesLines(par->Value).empty())
                continue;
            std::string relative;
            if (dynamic_cast<const TItemDef*>(&e) && par->Name == "icon") {
                // The icon shown is the GIF of the value's base name.
                std::string base = par->Value;
                const size_t dot = base.find_last_of('.');
                const size_t slash = base.find_last_of("/\\");
                if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                    base.erase(dot);
                relative = "images/items/" + base + ".gif";
            } else {
                relative = field->ResolvedFolder(*e.Params) + par->Value.str();
                std::replace(relative.begin(), relative.end(), static_cast<char>(fs::path::preferred_separator), '/');
            }
            relative = relative.substr(0, relative.find('|'));
            relative = relative.substr(0, relative.find(','));
            std::string full;
            const int state = PictureState(relative, full);
            TPlace at = place;
            at.entry = par->Name;
            if (state == 1)
                Add("warning", "missing-picture", k.file, e.Name,
                    "the " + ElementLabel(k, e) + " shows " + par->Name + " = " + Quoted(par->Value) + ", but " +
                        relative + " is in neither the project folder nor the data folder",
                    at);
            else if (state == 2)
                Add("warning", "bad-picture", k.file, e.Name,
                    "the " + ElementLabel(k, e) + " shows " + par->Name + " = " + Quoted(par->Value) + ", but " +
                        relative + " cannot be decoded as a picture, or is larger than " +
                        std::to_string(kMaxPictureSide) + " pixels a side or " +
                        std::to_string(kMaxPictureBytes / (1024 * 1024)) + " MB decoded",
                    at);
        }
    }

    // ---- maps: refused files, duplicate names, names the load dropped,
    // placements outside the map or without their definition
    void CheckMaps()
    {
        for (const Project::TRefusedFile& refused : p_.RefusedMaps)
            Add("error", "unreadable-file", "maps/" + refused.File.filename().string(), "-", refused.Message, {});
        if (!p_.Maps)
            return;
        std::unordered_map<std::string, const TMap*> seen;
        for (int m = 0; m < p_.Maps->Count(); ++m) {
            const TMap* map = p_.Maps->MapAt(m);
            TPlace place;
            place.map = map;
            place.kind = 0;
            place.element = map;
            const auto [first, fresh] = seen.emplace(UpperCase(map->Name), map);
            if (!fresh)
                Add("error", "duplicate-name", MapFile(*map), map->Name,
                    "the map " + Quoted(map->Name) + " has the name of the map " + Quoted(first->second->Name) +
                        " (letter case aside); parameters that name it only ever find the first",
                    place);
        }
        CollectDroppedNames();
        for (int m = 0; m < p_.Maps->Count(); ++m) {
            const TMap* map = p_.Maps->MapAt(m);
            if (anyDropped_)
                CheckDroppedCells(*map);
            CheckPlacements(*map);
        }
    }

    // Names of walls, floors, ceilings and objects that map files name and
    // the load resolved to no element.
    void CollectDroppedNames()
    {
        const TListedList* layers[TMap::LayerCount] = {p_.Walls.get(), p_.Floors.get(), p_.Ceilings.get(),
                                                       p_.Objects.get()};
        for (int layer = 0; layer < TMap::LayerCount; ++layer) {
            if (!layers[layer])
                continue;
            for (const auto& [name, answer] : layers[layer]->Replacements)
                if (answer < 0 && layers[layer]->IndexOfName(name) < 0) {
                    dropped_[static_cast<size_t>(layer)].insert(UpperCase(name));
                    anyDropped_ = true;
                }
        }
    }

    // The cells of a map file that name a dropped element: read from the file
    // as it is on disk (in memory those cells hold nothing any more).
    void CheckDroppedCells(const TMap& map)
    {
        const fs::path path = fs::path(p_.ProjectFolder) / "maps" / (map.Name + map.FileExtension);
        std::error_code ec;
        if (!fs::is_regular_file(path, ec))
            return;
        try {
            TQVFileStreamBinary stream(path, TFileStream::Mode::Read);
            const int version = stream.ReadByte();
            stream.ReadToken();
            std::array<std::vector<std::string>, TMap::LayerCount> names;
            bool any = false;
            for (int layer = 0; layer < TMap::LayerCount; ++layer) {
                const int count = stream.ReadByte();
                for (int i = 0; i < count; ++i) {
                    names[static_cast<size_t>(layer)].push_back(stream.ReadToken());
                    any = any || dropped_[static_cast<size_t>(layer)].count(
                                     UpperCase(names[static_cast<size_t>(layer)].back()));
                }
            }
            if (!any)
                return;
            const int sizeX = version == 1 ? stream.ReadByte() : stream.ReadWord();
            const int sizeY = version == 1 ? stream.ReadByte() : stream.ReadWord();
            if (sizeX < 1 || sizeX > TMap::MaxSize || sizeY < 1 || sizeY > TMap::MaxSize)
                return;
            // Per layer and table number: the first cell (and side) and how many use it.
            struct Use {
                int x = -1, y = -1, side = -1, count = 0;
            };
            std::array<std::array<Use, 256>, TMap::LayerCount> uses{};
            static constexpr int RecordSide[4] = {2, 3, 0, 1};
            std::vector<uint8_t> column(static_cast<size_t>(sizeY) * 8);
            for (int x = 0; x < sizeX; ++x) {
                const size_t got = stream.Read(column.data(), column.size());
                std::fill(column.begin() + static_cast<std::ptrdiff_t>(got), column.end(), 0);
                for (int y = 0; y < sizeY; ++y) {
                    const uint8_t* record = &column[static_cast<size_t>(y) * 8];
                    for (int b = 0; b < 7; ++b) {
                        if (!record[b])
                            continue;
                        const int layer = b < 4 ? 0 : b - 3;
                        Use& use = uses[static_cast<size_t>(layer)][record[b]];
                        if (use.count++ == 0) {
                            use.x = x;
                            use.y = y;
                            use.side = b < 4 ? RecordSide[b] : -1;
                        }
                    }
                }
            }
            static const char* const what[] = {"wall", "floor", "ceiling", "object"};
            static const char* const library[] = {"walls", "floors", "ceilings", "objects"};
            for (int layer = 0; layer < TMap::LayerCount; ++layer) {
                const auto& table = names[static_cast<size_t>(layer)];
                for (size_t i = 0; i < table.size(); ++i) {
                    const Use& use = uses[static_cast<size_t>(layer)][i + 1];
                    if (!use.count || !dropped_[static_cast<size_t>(layer)].count(UpperCase(table[i])))
                        continue;
                    TPlace place;
                    place.map = &map;
                    place.x = use.x;
                    place.y = use.y;
                    place.side = use.side;
                    const std::string cells = std::to_string(use.count) + (layer == 0 ? " wall side" : " cell") +
                                              (use.count == 1 ? "" : "s");
                    Add("error", "missing-element", MapFile(map), KeyText(use.x, use.y, use.side),
                        "the map names the " + std::string(what[layer]) + " " + Quoted(table[i]) +
                            ", which the " + library[layer] + " library does not hold (" + cells +
                            "; the editor shows the map without it)",
                        place);
                }
            }
        } catch (const std::exception&) {
            // A file that cannot be read again now: the load already read it.
        }
    }

    void CheckPlacements(const TMap& map)
    {
        const std::string file = MapFile(map);
        const std::string size = std::to_string(map.SizeX) + " x " + std::to_string(map.SizeY);
        for (int i = 0; i < map.Items->Count(); ++i) {
            const TItem* item = map.Items->ItemAt(i);
            TPlace place;
            place.map = &map;
            place.x = item->X;
            place.y = item->Y;
            place.kind = 5;
            place.element = item;
            const std::string where = KeyText(item->X, item->Y);
            if (!item->Def) {
                const std::string def = item->Params->GetValue("itemDef");
                Add("error", "missing-element", file, where,
                    def.empty() ? "an item names no item definition"
                                : "an item names the item definition " + Quoted(def) +
                                      ", which the item definitions library does not hold",
                    place);
            }
            if (!map.InMap(item->X, item->Y))
                Add("error", "outside-map", file, where,
                    "the item " + Quoted(item->Name) + " lies outside the map's " + size + " cells", place);
        }
        for (int i = 0; i < map.Monsters->Count(); ++i) {
            const TMonster* monster = map.Monsters->MonsterAt(i);
            TPlace place;
            place.map = &map;
            place.x = monster->Left;
            place.y = monster->Top;
            place.kind = 6;
            place.element = monster;
            const std::string where = KeyText(monster->Left, monster->Top);
            if (!monster->Def) {
                const std::string def = monster->Params->GetValue("1monsterDef");
                Add("error", "missing-element", file, where,
                    def.empty() ? "a monster names no monster definition"
                                : "a monster names the monster definition " + Quoted(def) +
                                      ", which the monster definitions library does not hold",
                    place);
            }
            if (!Inside(map, monster->Area()))
                Add("error", "outside-map", file, where,
                    "the monster " + Quoted(monster->Name) + " covers " + AreaText(monster->Area()) +
                        ", outside the map's " + size + " cells",
                    place);
        }
    }

    // ---- NPC instances: duplicate names, their definition and map
    void CheckNpcs()
    {
        if (!p_.Npcs)
            return;
        std::unordered_map<std::string, const TNPC*> seen;
        for (int i = 0; i < p_.Npcs->Count(); ++i) {
            const TNPC* npc = p_.Npcs->NpcAt(i);
            TPlace place;
            place.kind = 7;
            place.element = npc;
            const std::string mapName = npc->Params->GetValue("map");
            const TMap* map = nullptr;
            const TMap* sameButCase = nullptr;
            for (int m = 0; p_.Maps && m < p_.Maps->Count(); ++m) {
                const TMap* candidate = p_.Maps->MapAt(m);
                if (candidate->Name == mapName && !map)
                    map = candidate;
                else if (SameText(candidate->Name, mapName) && !sameButCase)
                    sameButCase = candidate;
            }
            if (map) {
                place.map = map;
                place.x = npc->Left;
                place.y = npc->Top;
            }
            const auto [first, fresh] = seen.emplace(UpperCase(npc->Name), npc);
            if (!fresh)
                Add("error", "duplicate-name", NpcFile, npc->Name,
                    "the NPC " + Quoted(npc->Name) + " has the name of the NPC " + Quoted(first->second->Name) +
                        " (letter case aside)",
                    place);
            const std::string def = npc->Params->GetValue("1NPCDef");
            if (!def.empty() && p_.NpcDefs && p_.NpcDefs->IndexOfName(def) < 0)
                Add("error", "missing-element", NpcFile, npc->Name,
                    "the NPC " + Quoted(npc->Name) + " names the NPC definition " + Quoted(def) +
                        ", which the NPC definitions library does not hold",
                    place);
            if (!mapName.empty() && !map)
                Add("error", "missing-map", NpcFile, npc->Name,
                    "the NPC " + Quoted(npc->Name) + " stands on the map " + Quoted(mapName) +
                        (sameButCase ? ", but the map is called " + Quoted(sameButCase->Name) +
                                           " (letter case counts here)"
                                     : ", which the project does not have"),
                    place);
            if (map && !Inside(*map, npc->Area()))
                Add("error", "outside-map", NpcFile, npc->Name,
                    "the NPC " + Quoted(npc->Name) + " covers " + AreaText(npc->Area()) + ", outside the " +
                        Quoted(map->Name) + " map's " + std::to_string(map->SizeX) + " x " +
                        std::to_string(map->SizeY) + " cells",
                    place);
        }
    }

    // ---- every list: keys outside the map, values, scripts
    void CheckList(const ListOwner& owner, const TParList& list, ListRole role)
    {
        const TDefValue* plain = p_.Definitions ? p_.Definitions->GetDefValue(list.Name) : nullptr;
        for (int i = 0; i < list.Count(); ++i) {
            const TPar* par = list.Par(i);
            std::string where;
            TPlace place;
            PlaceEntry(owner, par->Name, where, place);
            std::string name = par->Name;
            const TDefValue* def = plain;
            if (owner.keyedMap) {
                if (const std::optional<CellKeyOf> key = ParseCellKey(par->Name)) {
                    name = par->Name.substr(0, key->start);
                    const std::string keyText = par->Name.substr(key->start);
                    def = p_.Definitions ? p_.Definitions->GetDefValue(list.SectionFor(keyText)) : nullptr;
                    const TMap& map = *owner.keyedMap;
                    if (!map.InMap(key->x, key->y) || key->side > 3)
                        Add("error", "outside-map", owner.file, where,
                            std::string(role == ListRole::Events ? "the event " : "the parameter ") + par->Name +
                                " is kept for " + (key->side > 3 ? "a side beyond 0 to 3 of " : "") +
                                "a cell outside the map's " + std::to_string(map.SizeX) + " x " +
                                std::to_string(map.SizeY) + " cells",
                            place);
                }
            }
            if (IsScriptEntry(p_, owner, list, role, *par)) {
                place.scriptOwner = owner.place.scriptOwner;
                place.keywords = role == ListRole::Keywords;
                CheckScript(owner.file, where, place, par->Name, par->Value, role == ListRole::Keywords);
                continue;
            }
            if (role == ListRole::Params && def)
                CheckValue(owner, *def, name, *par, where, place);
        }
    }

    void CheckValue(const ListOwner& owner, const TDefValue& def, const std::string& name, const TPar& par,
                    const std::string& where, TPlace place)
    {
        if (name.empty() || name[0] == '#')
            return;
        // The entries that tie a placement to its definition and map have problems of their own.
        if ((owner.placement == 1 && name == "itemDef") || (owner.placement == 2 && name == "1monsterDef") ||
            (owner.placement == 3 && (name == "1NPCDef" || name == "map")))
            return;
        TField* field = TDefValue::FindField(def.ParamDefs, name);
        if (!field || dynamic_cast<const TDirField*>(field))
            return;
        if (dynamic_cast<const TListedField*>(field) && refreshed_.insert(field).second)
            field->GetValues(); // the library's names as they are now
        if (field->IsValid(par.Value))
            return;
        place.entry = par.Name;
        Add("error", "invalid-value", owner.file, where,
            par.Name + " = " + Quoted(par.Value) + " is refused by its definition, which takes " +
                WhatValueMay(*field),
            place);
    }

    void CheckScript(const std::string& file, const std::string& where, const TPlace& place, const std::string& entry,
                     std::string_view text, bool keyword)
    {
        if (text.empty())
            return;
        const std::string label = keyword ? "the key word " + entry : entry;
        const ScriptScan scan = ScanScript(text);
        if (scan.problemAt != std::string::npos) {
            TPlace at = place;
            at.offset = static_cast<int>(scan.problemAt);
            Add("warning", "script-syntax", file, where, label + ": " + scan.problem, at);
        }
        if (!o_.functions)
            return;
        std::set<std::string> reported;
        for (const ScriptCall& call : scan.calls) {
            const std::string upper = UpperCase(call.name);
            if (scan.defined.count(upper) || o_.functions->IndexOfName(call.name) >= 0 ||
                !reported.insert(upper).second)
                continue;
            TPlace at = place;
            at.offset = static_cast<int>(call.offset);
            Add("warning", "unknown-function", file, where,
                label + " calls " + call.name + " on line " + std::to_string(LineOf(text, call.offset)) +
                    ", which the function index does not know",
                at);
        }
    }

    const Project& p_;
    const TCheckOptions& o_;
    std::vector<TProblem> out_;
    std::unordered_map<std::string, int> pictures_;
    std::unordered_set<const TField*> refreshed_;
    std::array<std::unordered_set<std::string>, TMap::LayerCount> dropped_;
    bool anyDropped_ = false;
};

} // namespace

// ------------------------------------------------------------------ public

std::vector<TProblem> CheckProject(const Project& project, const TCheckOptions& options)
{
    return Checker(project, options).Run();
}

std::vector<TProblem> WhereUsed(const Project& p, int kind, const TListedItem& element)
{
    std::vector<TProblem> out;
    auto add = [&out](std::string file, std::string where, std::string message, TPlace place) {
        out.push_back({"", "use", std::move(file), std::move(where), std::move(message), std::move(place)});
    };
    const auto* npcInstance = dynamic_cast<const TNPC*>(&element);
    if (kind == 7 && npcInstance) {
        // An NPC instance is used where it stands.
        for (int m = 0; p.Maps && m < p.Maps->Count(); ++m) {
            const TMap* map = p.Maps->MapAt(m);
            if (map->Name != npcInstance->Params->GetValue("map"))
                continue;
            TPlace place;
            place.map = map;
            place.x = npcInstance->Left;
            place.y = npcInstance->Top;
            place.kind = 7;
            place.element = npcInstance;
            add(NpcFile, npcInstance->Name,
                "the NPC stands on the map " + Quoted(map->Name) + " at " + KeyText(npcInstance->Left, npcInstance->Top),
                place);
        }
        return out;
    }

    // Cells and sides of every map.
    static const char* const layerWhat[] = {"wall", "floor", "ceiling", "object"};
    if (kind >= 1 && kind <= 4) {
        const TListedList* library = LibraryOf(p, kind);
        const int position = library ? library->IndexOf(&element) : -1;
        if (position >= 0 && position < 255) {
            const auto value = static_cast<uint8_t>(position + 1);
            const int layer = kind - 1;
            for (int m = 0; p.Maps && m < p.Maps->Count(); ++m) {
                const TMap* map = p.Maps->MapAt(m);
                for (int x = 0; x < map->SizeX; ++x)
                    for (int y = 0; y < map->SizeY; ++y) {
                        const TMapCell& cell = map->Cell(x, y);
                        for (int side = 0; side < (layer == 0 ? 4 : 1); ++side) {
                            const int slot = layer == 0 ? side : layer + 3;
                            if (cell.Slots[slot] != value)
                                continue;
                            TPlace place;
                            place.map = map;
                            place.x = x;
                            place.y = y;
                            place.side = layer == 0 ? side : -1;
                            add(MapFile(*map), KeyText(x, y, place.side),
                                layer == 0 ? "the wall on side " + std::to_string(side) + " of the cell"
                                           : std::string("the ") + layerWhat[layer] + " of the cell",
                                place);
                        }
                    }
            }
        }
    }
    // Placements and NPC instances of the definition.
    for (int m = 0; (kind == 5 || kind == 6) && p.Maps && m < p.Maps->Count(); ++m) {
        const TMap* map = p.Maps->MapAt(m);
        if (kind == 5)
            for (int i = 0; i < map->Items->Count(); ++i) {
                const TItem* item = map->Items->ItemAt(i);
                if (item->Def != &element)
                    continue;
                TPlace place;
                place.map = map;
                place.x = item->X;
                place.y = item->Y;
                place.kind = 5;
                place.element = item;
                add(MapFile(*map), KeyText(item->X, item->Y), "an item lies on the cell", place);
            }
        else
            for (int i = 0; i < map->Monsters->Count(); ++i) {
                const TMonster* monster = map->Monsters->MonsterAt(i);
                if (monster->Def != &element)
                    continue;
                TPlace place;
                place.map = map;
                place.x = monster->Left;
                place.y = monster->Top;
                place.kind = 6;
                place.element = monster;
                add(MapFile(*map), KeyText(monster->Left, monster->Top),
                    "a monster covers " + AreaText(monster->Area()), place);
            }
    }
    for (int i = 0; p.Npcs && i < p.Npcs->Count(); ++i) {
        const TNPC* npc = p.Npcs->NpcAt(i);
        const bool ofDefinition = kind == 7 && p.NpcDefs &&
                                  p.NpcDefs->FindByName(npc->Params->GetValue("1NPCDef")) == &element;
        const bool onMap = kind == 0 && npc->Params->GetValue("map") == element.Name;
        if (!ofDefinition && !onMap)
            continue;
        TPlace place;
        place.kind = 7;
        place.element = npc;
        for (int m = 0; p.Maps && m < p.Maps->Count(); ++m)
            if (p.Maps->MapAt(m)->Name == npc->Params->GetValue("map")) {
                place.map = p.Maps->MapAt(m);
                place.x = npc->Left;
                place.y = npc->Top;
            }
        add(NpcFile, npc->Name,
            ofDefinition ? "an NPC of this definition" : "the NPC stands on the map at " + KeyText(npc->Left, npc->Top),
            place);
    }

    // Parameters that name the element (the library of a kind in LibraryTable).
    const TLoadSaveList* library = kind == 0 ? static_cast<const TLoadSaveList*>(p.Maps.get())
                                             : static_cast<const TLoadSaveList*>(LibraryOf(p, kind));
    if (!library || library->IndexOf(&element) < 0)
        return out;
    VisitLists(p, [&](const ListOwner& owner, const TParList& list, ListRole role) {
        if (role != ListRole::Params)
            return;
        for (const int i : p.ReferencesIn(list, *library, element.Name)) {
            const TPar* par = list.Par(i);
            // The entries that tie a placement to its definition and map are listed above.
            if ((owner.placement == 1 && par->Name == "itemDef") ||
                (owner.placement == 2 && par->Name == "1monsterDef") ||
                (owner.placement == 3 && (par->Name == "1NPCDef" || par->Name == "map")))
                continue;
            std::string where;
            TPlace place;
            PlaceEntry(owner, par->Name, where, place);
            add(owner.file, where, "the parameter " + par->Name + " = " + Quoted(par->Value), place);
        }
    });
    return out;
}

std::vector<TProblem> FindInScripts(const Project& p, const std::string& text, bool wholeWord, bool matchCase)
{
    std::vector<TProblem> out;
    if (text.empty())
        return out;
    const std::string needle = matchCase ? text : UpperCase(text);
    VisitLists(p, [&](const ListOwner& owner, const TParList& list, ListRole role) {
        for (int i = 0; i < list.Count(); ++i) {
            const TPar* par = list.Par(i);
            if (!IsScriptEntry(p, owner, list, role, *par))
                continue;
            const std::string haystack = matchCase ? par->Value : UpperCase(par->Value);
            for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
                if (wholeWord && ((at > 0 && IsWordChar(haystack[at - 1])) ||
                                  (at + needle.size() < haystack.size() && IsWordChar(haystack[at + needle.size()]))))
                    continue;
                std::string where;
                TPlace place;
                PlaceEntry(owner, par->Name, where, place);
                place.scriptOwner = owner.place.scriptOwner;
                place.keywords = role == ListRole::Keywords;
                place.offset = static_cast<int>(at);
                const std::string label = role == ListRole::Keywords ? "key word " + par->Name : par->Name;
                out.push_back({"", "text", owner.file, where,
                               label + " line " + std::to_string(LineOf(par->Value, at)) + ": " +
                                   LineAround(par->Value, at),
                               place});
            }
        }
    });
    return out;
}

std::string ProblemLine(const TProblem& problem)
{
    std::string line = problem.severity.empty() ? std::string() : problem.severity + " ";
    line += problem.kind + " " + problem.file + " " + problem.where + ": " + problem.message;
    // One problem, one line.
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    return line;
}

std::string ProblemsJson(const std::vector<TProblem>& problems)
{
    std::string s = "{\"problems\": [";
    for (size_t i = 0; i < problems.size(); ++i) {
        const TProblem& p = problems[i];
        s += i ? ",\n  {" : "\n  {";
        s += "\"severity\": ";
        s += JsonString(p.severity);
        s += ", \"kind\": ";
        s += JsonString(p.kind);
        s += ", \"file\": ";
        s += JsonString(p.file);
        s += ", \"where\": ";
        s += JsonString(p.where);
        s += ", \"message\": ";
        s += JsonString(p.message);
        s += '}';
    }
    s += problems.empty() ? "]}\n" : "\n]}\n";
    return s;
}

} // namespace kestrune
