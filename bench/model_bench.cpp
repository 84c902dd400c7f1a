// Loading and saving a whole project of full size, each beside a plain read
// or write of the same bytes in the same run, and the peak memory of one load.
//
//   build-release/bench/bench_model
//
// At start-up the program writes a game installation into a temporary folder
// through the model itself:
//
//   install/data/def/     500 shared elements of each of the seven libraries
//   install/bench.game/   500 more of each in def/, 20 maps of 256 x 256 and
//                         300 NPC instances in maps/
//
// Every map has floors and ceilings on all cells, walls on many sides,
// objects on some, 2,000 items, 500 monsters, 5,000 cell-keyed events and
// 5,000 cell-keyed parameters. Elements carry their default parameters plus
// a few more, picture parameters whose files do not exist, and an event or
// two. The folder is removed when the program ends.
//
// BM_MakeObjectsOnly makes every object a load makes, copied from a loaded
// project without reading or parsing: what the data model alone costs.
//
// BM_CheckProject runs the project check over the loaded project: without a
// function index, and with one that documents the functions its scripts call.
//
// BM_ToolResave runs `kestrune-tool resave` on a copy of the project, a new
// process each time, beside BM_PlainReadWrite: the same files read and
// written with plain file calls, flushed as the save flushes them.
//
// BM_PeakMemory starts this program once more (a fresh process) to load the
// project once and reports its peak resident memory against the bytes on disk,
// and how long that first load in a fresh process took.

#include "core/loadsave.h"
#include "core/parlist.h"
#include "core/qvstream.h"
#include "help/functionindex.h"
#include "model/elements.h"
#include "model/map.h"
#include "model/placements.h"
#include "model/project.h"
#include "model/projectcheck.h"
#include "model/recovery.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrune;
namespace fs = std::filesystem;

namespace {

constexpr int MapCount = 20;
constexpr int MapSize = 256;
constexpr int ItemsPerMap = 2000;
constexpr int MonstersPerMap = 500;
constexpr int EventsPerMap = 5000;
constexpr int ParamsPerMap = 5000;
constexpr int SharedPerLibrary = 500;
constexpr int OwnPerLibrary = 500;
constexpr int NpcCount = 300;
constexpr int CellElements = 255; // a cell refers to the first 255 elements only

const char* const PeakOption = "--kestrune-peak-load=";

// ------------------------------------------------------------ the installation

struct Installation {
    fs::path Root;        // the temporary folder
    fs::path DataFolder;  // Root/install/data
    fs::path GameFolder;  // Root/install/bench.game
    fs::path PlainFolder; // Root/plain: the plain writes
    fs::path Definitions; // qv5game.def
    std::vector<fs::path> LoadFiles; // every file a load reads, the definition file too
    uint64_t LoadBytes = 0;
    uint64_t DiskBytes = 0; // the installation's files
    std::vector<std::pair<fs::path, std::string>> SavedFiles; // what a save writes, relative to GameFolder
    uint64_t SaveBytes = 0;
    double GenerateSeconds = 0;
};

fs::path FindDefinitionFile()
{
    const fs::path exe = Project::ExecutableFolder();
    for (const fs::path& p : {exe / "qv5game.def", exe / ".." / "qv5game.def"})
        if (fs::is_regular_file(p))
            return fs::canonical(p);
    std::cerr << "qv5game.def not found beside " << exe << " or one folder up\n";
    std::exit(1);
}

std::string Folder(const fs::path& p) { return WithSeparator(p.string()); }

// Some QV5Lang-like script text of a few lines.
std::string Script(std::mt19937& rng, const std::string& what)
{
    static const char* const lines[] = {
        "if party.has(\"silver key\") then",  "  say(\"The lock gives way with a click.\")",
        "  sound(\"door_open.wav\")",          "else",
        "  say(\"It does not move.\")",        "end",
        "setFlag(\"visited\", true)",          "damage(party, rnd(1, 6))",
        "teleport(\"level2\", 12, 40, NORTH)", "give(party, \"torch\", 1)",
    };
    std::string s = "// " + what + "\r\n";
    const int n = 2 + static_cast<int>(rng() % 4);
    for (int i = 0; i < n; ++i) {
        s += lines[rng() % (sizeof lines / sizeof lines[0])];
        s += "\r\n";
    }
    return s;
}

void SetPattern(TListedItem& e, std::mt19937& rng)
{
    const auto [columns, rows] = e.GetPatternSize();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            e.PatternCells[r][c] = static_cast<uint8_t>(rng() % 34);
}

// Parameters and events of one new element by its kind (1 walls .. 7 NPC definitions).
void FillElement(TListedItem& e, int kind, int n, std::mt19937& rng)
{
    const std::string number = std::to_string(n);
    TParList& p = *e.Params;
    TEventList& ev = *e.Events;
    switch (kind) {
    case 1:
        if (n % 3 == 0)
            p.SetValue("imageDir", "stone" + std::to_string(n % 7));
        p.SetValue("imageFront", "front" + number + ".png");
        p.SetValue("imageSide", "side" + number + ".png");
        p.SetValue("door", n % 5 == 0 ? "T" : "F");
        p.SetValue("strength", std::to_string(n % 90));
        ev.SetValue("onHit", Script(rng, "wall " + number + " hit"));
        if (n % 5 == 0)
            ev.SetValue("onOpen", Script(rng, "door " + number + " opens"));
        break;
    case 2:
    case 3:
        p.SetValue("image", (kind == 2 ? "floor" : "ceiling") + number + ".png");
        p.SetValue(kind == 2 ? "damage" : "sky", kind == 2 ? std::to_string(n % 4) : "F");
        ev.SetValue("onEnter", Script(rng, "entering " + number));
        break;
    case 4:
        p.SetValue("image", "objects/object" + number + ".png");
        p.SetValue("light", std::to_string(n % 16));
        p.SetValue("container", n % 4 == 0 ? "T" : "F");
        ev.SetValue("onUse", Script(rng, "object " + number + " used"));
        ev.SetValue("onSearch", Script(rng, "object " + number + " searched"));
        break;
    case 5:
        p.SetValue("icon", "icon" + number + ".gif");
        p.SetValue("image", "large/item" + number + ".png");
        p.SetValue("title", "Item of the deep halls number " + number);
        p.SetValue("weight", std::to_string(1 + n % 200));
        p.SetValue("price", std::to_string(n * 3));
        ev.SetValue("onUse", Script(rng, "item " + number + " used"));
        break;
    case 6:
        p.SetValue("image", "monster" + number + ".png");
        p.SetValue("imageAttack", "monster" + number + "_attack.png");
        p.SetValue("hitPoints", std::to_string(5 + n % 300));
        p.SetValue("attack", std::to_string(1 + n % 20));
        ev.SetValue("onDeath", Script(rng, "monster " + number + " dies"));
        ev.SetValue("onSee", Script(rng, "monster " + number + " sees the party"));
        break;
    case 7: {
        p.SetValue("image", "npc" + number + ".png");
        p.SetValue("portrait", "portrait" + number + ".png");
        p.SetValue("title", "Villager " + number);
        p.SetValue("greeting", "Well met, traveller. I am number " + number + ".");
        ev.SetValue("onTalk", Script(rng, "talking to " + number));
        auto& keywords = *static_cast<TNPCDef&>(e).Keywords;
        keywords.SetValue("name", "They call me number " + number + ".");
        keywords.SetValue("job", "I keep the gate.");
        break;
    }
    default: break;
    }
}

const char* const KindWord[8] = {"", "Wall", "Floor", "Ceiling", "Object", "Item", "Monster", "NPC"};

TListedList* Library(Project& p, int kind)
{
    switch (kind) {
    case 1: return p.Walls.get();
    case 2: return p.Floors.get();
    case 3: return p.Ceilings.get();
    case 4: return p.Objects.get();
    case 5: return p.ItemDefs.get();
    case 6: return p.MonsterDefs.get();
    case 7: return p.NpcDefs.get();
    default: return nullptr;
    }
}

void AddElements(Project& p, bool shared, int count, std::mt19937& rng)
{
    for (int kind = 1; kind <= 7; ++kind) {
        TListedList* library = Library(p, kind);
        for (int i = 0; i < count; ++i) {
            const int n = (shared ? 0 : SharedPerLibrary) + i + 1;
            std::unique_ptr<TLoadSaveItem> created = library->CreateItem();
            auto& e = static_cast<TListedItem&>(*created);
            char name[64];
            std::snprintf(name, sizeof name, "%s %s %04d", KindWord[kind], shared ? "shared" : "own", n);
            e.Name = name;
            SetPattern(e, rng);
            FillElement(e, kind, n, rng);
            library->Add(std::move(created));
        }
    }
}

void FillMap(Project& p, TMap& map, int mapNumber, std::mt19937& rng)
{
    auto pick = [&rng] { return static_cast<uint8_t>(1 + rng() % CellElements); };
    for (int x = 0; x < MapSize; ++x)
        for (int y = 0; y < MapSize; ++y) {
            TMapCell& c = map.Cell(x, y);
            c.Floor() = pick();
            c.Ceiling() = pick();
            for (int side = 0; side < 4; ++side)
                if (rng() % 100 < 40)
                    c.Wall(side) = pick();
            if (rng() % 100 < 8) {
                c.ObjectIndex() = pick();
                c.Orientation() = static_cast<uint8_t>(rng() % 4);
            }
        }

    const int itemDefs = p.ItemDefs->Count();
    for (int i = 0; i < ItemsPerMap; ++i) {
        auto* def = static_cast<TItemDef*>(p.ItemDefs->Element(static_cast<int>(rng() % itemDefs)));
        TItem* item = map.AddItem(def, static_cast<int>(rng() % MapSize), static_cast<int>(rng() % MapSize));
        if (i % 4 == 0)
            item->Params->SetValue("amount", std::to_string(1 + i % 20));
        if (i % 10 == 0)
            item->Events->SetValue("onTake", Script(rng, "item taken"));
    }
    const int monsterDefs = p.MonsterDefs->Count();
    for (int i = 0; i < MonstersPerMap; ++i) {
        auto* def = static_cast<TMonsterDef*>(p.MonsterDefs->Element(static_cast<int>(rng() % monsterDefs)));
        TMonster* m = map.AddMonster(def, static_cast<int>(rng() % (MapSize - 2)), static_cast<int>(rng() % (MapSize - 2)));
        if (i % 3 == 0)
            m->SetArea({m->Left, m->Top, m->Left + 1, m->Top + 1});
        if (i % 5 == 0)
            m->Events->SetValue("onDeath", Script(rng, "guardian falls"));
    }

    // Keyed entries: a different cell (or cell side) for each, so the keys
    // are unique by construction and can be appended without a lookup.
    static const char* const cellEvents[] = {"onEnter", "onLeave", "onTurn", "onSearch"};
    static const char* const sideEvents[] = {"onHit", "onUse", "onOpen"};
    for (int i = 0; i < EventsPerMap; ++i) {
        const int cell = (i * 7919 + mapNumber * 131) % (MapSize * MapSize);
        const int x = cell / MapSize, y = cell % MapSize;
        const std::string key = i % 3 == 2 ? sideEvents[(i / 3) % 3] + CellKey(x, y, i % 4)
                                           : cellEvents[i % 4] + CellKey(x, y);
        map.Events->Add(std::make_unique<TPar>(key, Script(rng, key)));
    }
    static const char* const cellParams[] = {"dark", "noMagic", "text", "teleportX"};
    static const char* const sideParams[] = {"secret", "locked", "writing"};
    for (int i = 0; i < ParamsPerMap; ++i) {
        const int cell = (i * 104729 + mapNumber * 17) % (MapSize * MapSize);
        const int x = cell / MapSize, y = cell % MapSize;
        std::string key, value;
        if (i % 2 == 0) {
            const char* name = sideParams[(i / 2) % 3];
            key = name + CellKey(x, y, i % 4);
            value = name[0] == 'w' ? "Here lies a forgotten name, scratched into the stone." : "T";
        } else {
            const char* name = cellParams[(i / 2) % 4];
            key = name + CellKey(x, y);
            value = name[0] == 't' && name[1] == 'e' && name[2] == 'x' ? "A cold wind blows from the north."
                    : name[0] == 't' ? std::to_string(i % MapSize) : "T";
        }
        map.Params->Add(std::make_unique<TPar>(key, value));
    }
    map.Params->SetValue("title", "Level " + std::to_string(mapNumber + 1));
    map.Params->SetValue("defaultFloor", p.Floors->Element(0)->Name);
    map.Events->SetValue("onEnter", Script(rng, "arriving on the level"));
}

void ListFiles(const fs::path& folder, std::vector<fs::path>& out)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            out.push_back(entry.path());
}

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Generate(Installation& inst)
{
    const auto start = std::chrono::steady_clock::now();
    std::mt19937 rng(20240611);
    const fs::path install = inst.Root / "install";
    fs::create_directories(inst.DataFolder / "def");
    fs::create_directories(inst.GameFolder / "def");
    fs::create_directories(inst.GameFolder / "maps");
    fs::create_directories(inst.PlainFolder);

    // The shared libraries, written in game-data form.
    {
        Project shared;
        shared.DefinitionFile = inst.Definitions;
        shared.Definitions = std::make_unique<TValList>(inst.Definitions);
        shared.DataFolder = Folder(inst.DataFolder);
        shared.LoadingShared = false; // elements of the folder being written
        AddElements(shared, true, SharedPerLibrary, rng);
        shared.SharedNames->SetValue("gameName", "The Bench Halls");
        shared.SharedNames->SetValue("gold", "crowns");
        shared.SaveLibraries(Folder(inst.DataFolder / "def"));
    }

    // The project: load the (still empty) project over the shared
    // libraries, add its own elements, maps and NPCs, save.
    Project p;
    p.DefinitionFile = inst.Definitions;
    p.Load(inst.GameFolder.string());
    AddElements(p, false, OwnPerLibrary, rng);
    p.ProjectNames->SetValue("hero1", "Aldis");
    p.GameParams->SetValue("startMap", "level01");
    p.GameParams->SetValue("startX", "12");
    p.GameParams->SetValue("startY", "40");
    p.GameParams->SetValue("startItem", p.ItemDefs->Element(3)->Name);
    p.GameParams->SetValue("onStart", Script(rng, "a new game"));
    for (int m = 0; m < MapCount; ++m) {
        char name[32];
        std::snprintf(name, sizeof name, "level%02d", m + 1);
        auto map = std::make_unique<TMap>(name, p.Maps.get(), MapSize, MapSize);
        FillMap(p, *map, m, rng);
        p.Maps->Add(std::move(map));
    }
    for (int i = 0; i < NpcCount; ++i) {
        auto npc = std::make_unique<TNPC>(p.Npcs.get());
        const auto* def = p.NpcDefs->Element(i % p.NpcDefs->Count());
        npc->Name = "npc" + std::to_string(i + 1);
        npc->Params->SetValue("1NPCDef", def->Name);
        npc->Params->SetValue("map", p.Maps->MapAt(i % MapCount)->Name);
        npc->Params->SetValue("x", std::to_string(rng() % MapSize));
        npc->Params->SetValue("y", std::to_string(rng() % MapSize));
        npc->Params->SetValue("greeting", "Hello again, number " + std::to_string(i) + ".");
        npc->Events->SetValue("onTalk", Script(rng, "npc talk"));
        npc->Keywords->SetValue("rumours", "They say the lower halls are flooded.");
        p.Npcs->Add(std::move(npc));
    }
    p.Save();

    ListFiles(install, inst.LoadFiles);
    std::sort(inst.LoadFiles.begin(), inst.LoadFiles.end());
    for (const fs::path& f : inst.LoadFiles)
        inst.DiskBytes += fs::file_size(f);
    inst.LoadFiles.push_back(inst.Definitions);
    for (const fs::path& f : inst.LoadFiles)
        inst.LoadBytes += fs::file_size(f);

    std::vector<fs::path> saved;
    ListFiles(inst.GameFolder, saved);
    std::sort(saved.begin(), saved.end());
    for (const fs::path& f : saved) {
        std::string bytes = Slurp(f);
        inst.SaveBytes += bytes.size();
        inst.SavedFiles.emplace_back(fs::relative(f, inst.GameFolder), std::move(bytes));
    }
    for (const char* sub : {"def", "maps"}) {
        fs::create_directories(inst.PlainFolder / "direct" / sub);
        fs::create_directories(inst.PlainFolder / "renamed" / sub);
    }
    inst.GenerateSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Installation* TheInstallation = nullptr;

Installation& Inst()
{
    if (!TheInstallation) {
        auto* inst = new Installation;
        inst->Root = fs::temp_directory_path() / ("kestrune-model-bench-" + std::to_string(::getpid()));
        inst->DataFolder = inst->Root / "install" / "data";
        inst->GameFolder = inst->Root / "install" / "bench.game";
        inst->PlainFolder = inst->Root / "plain";
        inst->Definitions = FindDefinitionFile();
        TheInstallation = inst;
        Generate(*inst);
        std::fprintf(stderr, "installation: %zu files, %.1f MiB (%.1f MiB written by a save), generated in %.1f s\n",
                     inst->LoadFiles.size() - 1, inst->DiskBytes / 1048576.0, inst->SaveBytes / 1048576.0,
                     inst->GenerateSeconds);
    }
    return *TheInstallation;
}

std::unique_ptr<Project> LoadProject(const Installation& inst)
{
    auto p = std::make_unique<Project>();
    p->DefinitionFile = inst.Definitions;
    p->Load(inst.GameFolder.string());
    return p;
}

double MiB(uint64_t bytes) { return static_cast<double>(bytes) / 1048576.0; }

// ------------------------------------------------------------------ benchmarks

void BM_LoadProject(benchmark::State& state)
{
    Installation& inst = Inst();
    int64_t elements = 0, placements = 0, keyed = 0;
    for (auto _ : state) {
        std::unique_ptr<Project> p = LoadProject(inst);
        benchmark::DoNotOptimize(p->Maps->Count());
        state.PauseTiming(); // the teardown is not part of the load
        elements = placements = keyed = 0;
        for (int kind = 1; kind <= 7; ++kind)
            elements += Library(*p, kind)->Count();
        for (int i = 0; i < p->Maps->Count(); ++i) {
            const TMap* map = p->Maps->MapAt(i);
            placements += map->Items->Count() + map->Monsters->Count();
            keyed += map->Events->Count() + map->Params->Count();
        }
        placements += p->Npcs->Count();
        p.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.LoadBytes));
    // What was loaded, to check the installation.
    state.counters["elements"] = static_cast<double>(elements);
    state.counters["placements"] = static_cast<double>(placements);
    state.counters["map_entries"] = static_cast<double>(keyed);
}

// The floor under any load into this data model: every object a load makes
// (elements, maps with their grids, placements, parameter entries and their
// texts) made again by copying from a loaded project, with no file read, no
// parsing and no lookups.
void CopyEntries(const TParList& from, TParList& to)
{
    for (int i = 0; i < from.Count(); ++i)
        to.Add(std::make_unique<TPar>(from.Par(i)->Name, from.Par(i)->Value));
}

void CopyLists(const TListedItem& from, TListedItem& to)
{
    to.Name = from.Name;
    CopyEntries(*from.Params, *to.Params);
    CopyEntries(*from.Events, *to.Events);
}

struct ObjectCopies {
    std::vector<std::unique_ptr<TListedItem>> Elements;
    std::vector<std::unique_ptr<TMap>> Maps;
};

void BM_MakeObjectsOnly(benchmark::State& state)
{
    Installation& inst = Inst();
    const std::unique_ptr<Project> source = LoadProject(inst);
    for (auto _ : state) {
        auto copies = std::make_unique<ObjectCopies>();
        for (int kind = 1; kind <= 7; ++kind) {
            const TListedList* library = Library(*source, kind);
            for (int i = 0; i < library->Count(); ++i) {
                auto element = std::make_unique<TListedItem>(library->Element(i)->DefName, nullptr);
                CopyLists(*library->Element(i), *element);
                copies->Elements.push_back(std::move(element));
            }
        }
        for (int m = 0; m < source->Maps->Count(); ++m) {
            const TMap* from = source->Maps->MapAt(m);
            auto map = std::make_unique<TMap>(from->Name, nullptr, from->SizeX, from->SizeY);
            for (int x = 0; x < from->SizeX; ++x)
                for (int y = 0; y < from->SizeY; ++y)
                    map->Cell(x, y) = from->Cell(x, y);
            CopyLists(*from, *map);
            for (int i = 0; i < from->Items->Count(); ++i) {
                auto item = std::make_unique<TItem>(map->Items.get());
                CopyLists(*static_cast<const TListedItem*>(from->Items->Item(i)), *item);
                map->Items->Add(std::move(item));
            }
            for (int i = 0; i < from->Monsters->Count(); ++i) {
                auto monster = std::make_unique<TMonster>(map->Monsters.get());
                CopyLists(*static_cast<const TListedItem*>(from->Monsters->Item(i)), *monster);
                map->Monsters->Add(std::move(monster));
            }
            copies->Maps.push_back(std::move(map));
        }
        for (int i = 0; i < source->Npcs->Count(); ++i) {
            auto npc = std::make_unique<TNPC>(nullptr);
            CopyLists(*source->Npcs->Element(i), *npc);
            CopyEntries(*static_cast<const TNPC*>(source->Npcs->Element(i))->Keywords, *npc->Keywords);
            copies->Elements.push_back(std::move(npc));
        }
        benchmark::DoNotOptimize(copies->Maps.size());
        state.PauseTiming();
        copies.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.LoadBytes));
}

// Reads every file of the installation whole, with plain reads.
size_t ReadAll(const Installation& inst)
{
    size_t total = 0;
    for (const fs::path& f : inst.LoadFiles) {
        std::FILE* file = std::fopen(f.c_str(), "rb");
        std::fseek(file, 0, SEEK_END);
        const long size = std::ftell(file);
        std::fseek(file, 0, SEEK_SET);
        std::string buf(static_cast<size_t>(size), '\0');
        total += std::fread(buf.data(), 1, buf.size(), file);
        std::fclose(file);
        benchmark::DoNotOptimize(buf.data());
    }
    return total;
}

void BM_PlainRead(benchmark::State& state)
{
    Installation& inst = Inst();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadAll(inst));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.LoadBytes));
}

// Drops the page cache (root only), so that the next read comes from the disk.
bool DropCaches()
{
    ::sync();
    std::FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
    if (!f)
        return false;
    const bool ok = std::fputs("3", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// The same two reads with the files coming from the disk rather than from
// the page cache, as when a designer opens a project for the first time.
void BM_LoadProjectCold(benchmark::State& state)
{
    Installation& inst = Inst();
    for (auto _ : state) {
        state.PauseTiming();
        if (!DropCaches()) {
            state.SkipWithError("the page cache cannot be dropped (needs root)");
            break;
        }
        state.ResumeTiming();
        std::unique_ptr<Project> p = LoadProject(inst);
        benchmark::DoNotOptimize(p->Maps->Count());
        state.PauseTiming();
        p.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.LoadBytes));
}

void BM_PlainReadCold(benchmark::State& state)
{
    Installation& inst = Inst();
    for (auto _ : state) {
        state.PauseTiming();
        if (!DropCaches()) {
            state.SkipWithError("the page cache cannot be dropped (needs root)");
            break;
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(ReadAll(inst));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.LoadBytes));
}

// Arg 1: every file flushed to the disk before it is put in place (as the
// editor saves); 0: without, to see what the flush costs.
void BM_SaveProject(benchmark::State& state)
{
    Installation& inst = Inst();
    std::unique_ptr<Project> p = LoadProject(inst);
    TFileStream::Durable = state.range(0) != 0;
    for (auto _ : state)
        p->Save();
    TFileStream::Durable = true;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.SaveBytes));
}

// One autosave: the whole project written into a recovery folder.
void BM_Autosave(benchmark::State& state)
{
    Installation& inst = Inst();
    std::unique_ptr<Project> p = LoadProject(inst);
    const std::string folder = inst.PlainFolder.string() + "/recovery";
    for (auto _ : state)
        recovery::Write(*p, folder);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.SaveBytes));
}

// The files a save writes, written whole; with rename, each through a
// temporary file beside it as the save does; durable: each file flushed to
// the disk before it is put in place, and each folder once after.
struct PlainTargets {
    std::vector<std::pair<std::string, std::string>> files; // final, temporary
    std::vector<std::string> folders;
};

PlainTargets TargetsIn(const Installation& inst, const fs::path& folder)
{
    PlainTargets t;
    for (const auto& [relative, bytes] : inst.SavedFiles) {
        const fs::path target = folder / relative;
        t.files.emplace_back(target.string(), (target.parent_path() / ("." + target.filename().string() + ".tmp")).string());
        if (std::find(t.folders.begin(), t.folders.end(), target.parent_path().string()) == t.folders.end())
            t.folders.push_back(target.parent_path().string());
    }
    return t;
}

void WriteAll(const Installation& inst, const PlainTargets& t, bool rename, bool durable)
{
    for (size_t i = 0; i < t.files.size(); ++i) {
        const std::string& bytes = inst.SavedFiles[i].second;
        const std::string& name = rename ? t.files[i].second : t.files[i].first;
        std::FILE* f = std::fopen(name.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        if (durable) {
            std::fflush(f);
            ::fsync(::fileno(f));
        }
        std::fclose(f);
        if (rename)
            std::rename(t.files[i].second.c_str(), t.files[i].first.c_str());
    }
    if (durable)
        for (const std::string& name : t.folders) {
            const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY);
            ::fsync(fd);
            ::close(fd);
        }
}

void PlainWrite(benchmark::State& state, bool rename, bool durable = false)
{
    Installation& inst = Inst();
    const PlainTargets t = TargetsIn(inst, inst.PlainFolder / (rename ? "renamed" : "direct"));
    for (auto _ : state)
        WriteAll(inst, t, rename, durable);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inst.SaveBytes));
}

// `kestrune-tool resave` of a copy of the project, run as a designer runs
// it (a new process each time, every file flushed), beside reading every
// file the load reads and writing every file the save writes with plain
// file calls, flushed the same way.
fs::path ToolProgram()
{
    const fs::path exe = Project::ExecutableFolder();
    for (const fs::path& p : {exe / "kestrune-tool", exe / ".." / "kestrune-tool"})
        if (fs::is_regular_file(p))
            return p;
    return {};
}

void BM_ToolResave(benchmark::State& state)
{
    Installation& inst = Inst();
    const fs::path tool = ToolProgram();
    if (tool.empty()) {
        state.SkipWithError("kestrune-tool not found beside the benchmark or one folder up");
        return;
    }
    const fs::path copy = inst.PlainFolder / "resave";
    std::error_code ec;
    fs::remove_all(copy, ec);
    fs::create_directories(copy);
    fs::copy(inst.Root / "install", copy, fs::copy_options::recursive, ec);
    const std::string game = (copy / "bench.game").string();
    const std::string def = inst.Definitions.string();
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::execl(tool.c_str(), tool.c_str(), "resave", game.c_str(), "--def", def.c_str(),
                    static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("kestrune-tool resave failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (inst.LoadBytes + inst.SaveBytes)));
}

void BM_PlainReadWrite(benchmark::State& state)
{
    Installation& inst = Inst();
    const PlainTargets t = TargetsIn(inst, inst.PlainFolder / "renamed");
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadAll(inst));
        WriteAll(inst, t, true, true);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (inst.LoadBytes + inst.SaveBytes)));
}

// The whole check of the loaded project (the load is not timed). With the
// argument 1 the scripts' calls are looked up in a function index that
// documents every function they call. Its pictures do not exist, so each
// element with a picture parameter is one problem.
void BM_CheckProject(benchmark::State& state)
{
    Installation& inst = Inst();
    const std::unique_ptr<Project> p = LoadProject(inst);
    TFunctionIndex functions;
    TCheckOptions options;
    if (state.range(0)) {
        const fs::path help = inst.Root / "help";
        fs::create_directories(help);
        std::ofstream page(help / "index.class.html", std::ios::binary);
        for (const char* name : {"has", "say", "sound", "setFlag", "damage", "rnd", "teleport", "give"})
            page << "<a name=functions." << name << "><b>" << name << "</b> (what)<ul>\r\n";
        page.close();
        functions.BuildFunctionIndex(help);
        options.functions = &functions;
    }
    size_t problems = 0;
    for (auto _ : state) {
        const std::vector<TProblem> found = CheckProject(*p, options);
        problems = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["problems"] = static_cast<double>(problems);
}

void BM_PlainWrite(benchmark::State& state) { PlainWrite(state, false); }
void BM_PlainWriteRename(benchmark::State& state) { PlainWrite(state, true); }
// As the save with the flush: each file flushed to the disk before it is put
// in place, and each folder once after.
void BM_PlainWriteDurable(benchmark::State& state) { PlainWrite(state, true, true); }

// One load in a fresh process of this program; its peak resident memory
// (VmHWM) against the bytes of the installation on disk.
void BM_PeakMemory(benchmark::State& state)
{
    Installation& inst = Inst();
    double baseline = 0, peak = 0, loadMs = 0;
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        const std::string exe = fs::read_symlink("/proc/self/exe").string();
        const std::string arg = PeakOption + inst.GameFolder.string();
        const std::string def = "--kestrune-def=" + inst.Definitions.string();
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execl(exe.c_str(), exe.c_str(), arg.c_str(), def.c_str(), static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        ::close(fds[1]);
        std::string out;
        char buf[256];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            out.append(buf, static_cast<size_t>(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            std::sscanf(out.c_str(), "%lf %lf %lf", &baseline, &peak, &loadMs) != 3) {
            state.SkipWithError(("the loading process failed: " + out).c_str());
            return;
        }
    }
    const double project = MiB(inst.DiskBytes);
    state.counters["baseline_MiB"] = baseline / 1024.0;
    state.counters["peak_MiB"] = peak / 1024.0;
    state.counters["project_MiB"] = project;
    state.counters["limit_MiB"] = 2 * project + 50;
    // The load in a fresh process, as on opening the editor: every page of
    // the heap is new and faulted in on first use.
    state.counters["fresh_load_ms"] = loadMs;
}

// VmHWM of this process in kB.
long PeakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// The child side of BM_PeakMemory: loads once, prints "baseline peak" in kB.
int PeakLoad(const std::string& gameFolder, const std::string& definitions)
{
    const long baseline = PeakKilobytes();
    try {
        Project p;
        p.DefinitionFile = definitions;
        const auto start = std::chrono::steady_clock::now();
        p.Load(gameFolder);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(p.Maps->Count());
        std::printf("%ld %ld %.3f\n", baseline, PeakKilobytes(), ms);
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace

BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_MakeObjectsOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_LoadProjectCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PlainReadCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SaveProject)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_Autosave)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PlainWriteRename)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PlainWriteDurable)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ToolResave)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PlainReadWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CheckProject)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strncmp(argv[1], PeakOption, std::strlen(PeakOption)) == 0) {
        const std::string def = argc >= 3 && std::strncmp(argv[2], "--kestrune-def=", 15) == 0 ? argv[2] + 15 : "";
        return PeakLoad(argv[1] + std::strlen(PeakOption), def);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (TheInstallation) {
        // KESTRUNE_BENCH_KEEP keeps the installation, to load it again with
        // --kestrune-peak-load= under a profiler.
        std::error_code ec;
        if (std::getenv("KESTRUNE_BENCH_KEEP"))
            std::fprintf(stderr, "installation kept in %s\n", TheInstallation->Root.c_str());
        else
            fs::remove_all(TheInstallation->Root, ec);
        delete TheInstallation;
    }
    return 0;
}
