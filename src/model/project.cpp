#include "model/project.h"

#include "core/errors.h"
#include "core/heap.h"
#include "core/qvstream.h"
#include "core/text.h"

#include <algorithm>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

constexpr uint32_t FixedColors[17] = {
    0,                    // the button face, filled in from FaceColor
    Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0), Rgb(0, 0, 128),
    Rgb(128, 0, 128),   Rgb(0, 128, 128), Rgb(128, 128, 128), Rgb(192, 192, 192), Rgb(255, 0, 0),
    Rgb(0, 255, 0),     Rgb(255, 255, 0), Rgb(0, 0, 255),   Rgb(255, 0, 255), Rgb(0, 255, 255),
    Rgb(255, 255, 255),
};

bool IsFile(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
}

std::string AbsoluteText(const std::string& path)
{
    std::error_code ec;
    const fs::path full = fs::absolute(fs::path(path), ec);
    return ec ? path : full.lexically_normal().string();
}

} // namespace

std::string ToPlatformSeparators(std::string path)
{
    const char sep = static_cast<char>(fs::path::preferred_separator);
    std::replace(path.begin(), path.end(), '/', sep);
    return path;
}

std::string PathSeparator() { return std::string(1, static_cast<char>(fs::path::preferred_separator)); }

std::string WithSeparator(std::string folder)
{
    if (!folder.empty() && folder.back() != '/' && folder.back() != static_cast<char>(fs::path::preferred_separator))
        folder += PathSeparator();
    return folder;
}

Project::Project() : DefinitionFile(InstalledFile("qv5game.def"))
{
    CreateLibraries();
    SetFixedColors();
}

Project::~Project()
{
    // Maps and NPC instances refer to the definition libraries; free them first.
    Npcs.reset();
    Maps.reset();
}

std::string Project::ExecutableFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return WithSeparator(exe.parent_path().string());
    return WithSeparator(fs::current_path(ec).string());
}

fs::path Project::InstalledFile(const std::string& name)
{
    const fs::path here = fs::path(ExecutableFolder());
    const fs::path beside = here / name;
    std::error_code ec;
    if (fs::exists(beside, ec))
        return beside;
    // bin/ and, for the tool's drawing program, lib/kestrune/.
    for (const fs::path& up : {here / "..", here / ".." / ".."}) {
        const fs::path shared = (up / "share" / "kestrune" / name).lexically_normal();
        if (fs::exists(shared, ec))
            return shared;
    }
    return beside;
}

void Project::CreateLibraries()
{
    Walls = std::make_unique<TWalls>(this);
    ItemDefs = std::make_unique<TItemsDef>(this);
    Floors = std::make_unique<TFloors>(this);
    Ceilings = std::make_unique<TCeilings>(this);
    Objects = std::make_unique<TObjects>(this);
    MonsterDefs = std::make_unique<TMonstersDef>(this);
    NpcDefs = std::make_unique<TNPCsDef>(this);
    SharedNames = std::make_unique<TParList>("names");
    Maps = std::make_unique<TMapList>(this);
    Npcs = std::make_unique<TNPCsList>(this);
    FillLibraryTable();
}

void Project::FillLibraryTable()
{
    LibraryTable = {ItemDefs.get(), MonsterDefs.get(), Walls.get(), Floors.get(),
                    Ceilings.get(), NpcDefs.get(),     Maps.get(),  nullptr};
    if (Definitions) {
        for (size_t i = 0; i < LibraryTable.size(); ++i)
            Definitions->Context.LibraryTable[i] = LibraryTable[i];
        Definitions->Context.DataFolder = DataFolder;
        Definitions->Context.ProjectFolder = ProjectFolder;
    }
}

void Project::SetFixedColors()
{
    std::copy(std::begin(FixedColors), std::end(FixedColors), MapColors.begin());
    MapColors[0] = FaceColor & 0xFFFFFF;
}

// ----------------------------------------------------------------------- load

std::array<std::pair<TListedList*, const char*>, 7> Project::LibraryFiles() const
{
    // The order in which the libraries are read and written.
    return {{{Walls.get(), "walls.qv5"},
             {ItemDefs.get(), "items.qv5"},
             {Floors.get(), "floors.qv5"},
             {Ceilings.get(), "ceilings.qv5"},
             {Objects.get(), "objects.qv5"},
             {MonsterDefs.get(), "monsters.qv5"},
             {NpcDefs.get(), "npcs.qv5"}}};
}

void Project::Load(const std::string& projectFolder)
{
    loadComplete_ = false;
    ProjectFolder = WithSeparator(projectFolder);
    DataFolder = WithSeparator(AbsoluteText(ProjectFolder + ".." + PathSeparator() + "data"));
    // The project's own files, from a recovered state when one is given.
    const std::string files = FilesFolder.empty() ? ProjectFolder : WithSeparator(FilesFolder);
    FilesFolder.clear();
    if (DataEditMode)
        LoadingShared = false;
    const std::string def = "def" + PathSeparator();
    auto progress = [this](const std::string& text) {
        if (Progress)
            Progress(text);
    };
    PrefetchLoadFiles(DataFolder + def, files + def, files + "maps" + PathSeparator());
    progress("game data from " + DataFolder);
    LoadSharedLibraries(DataFolder + def);
    progress("game data from " + ProjectFolder);
    if (!DataEditMode) {
        LoadProjectLibraries(files + def);
    } else {
        // The folder being edited keeps its colours file: read it so that
        // saving writes back what it holds.
        LoadMapColors(files + def + "mapColors.qv5");
    }
    progress("maps " + ProjectFolder);
    LoadMaps(files + "maps" + PathSeparator());
    loadComplete_ = true;
}

// Starts the disk reading the files a load reads, ahead of their turn: it
// reads the later files while the ones before them are parsed. In the order
// they are loaded; anything missing is simply skipped here.
void Project::PrefetchLoadFiles(const std::string& dataDef, const std::string& projectDef,
                                const std::string& mapsFolder) const
{
    uint64_t bytes = PrefetchFile(DefinitionFile);
    for (const std::string& folder : {dataDef, projectDef}) {
        for (const auto& [library, file] : LibraryFiles())
            bytes += PrefetchFile(folder + file);
        for (const char* file : {"names.qv5", "game.qv5", "mapColors.qv5"})
            bytes += PrefetchFile(folder + file);
    }
    std::vector<fs::path> maps;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(mapsFolder), ec), end; !ec && it != end; it.increment(ec))
        if (UpperCase(it->path().extension().string()) == ".MAP")
            maps.push_back(it->path());
    std::sort(maps.begin(), maps.end());
    for (const fs::path& map : maps)
        bytes += PrefetchFile(map);
    bytes += PrefetchFile(mapsFolder + "defined.npcs");
    // What the files become in memory, for a project that is mostly entries.
    MakeHeapRoom(3 * bytes);
}

void Project::LoadSharedLibraries(const std::string& folder)
{
    Definitions = std::make_unique<TValList>(DefinitionFile);
    CreateLibraries();
    for (const auto& [library, file] : LibraryFiles())
        library->LoadFromFile(folder + file, false);
    FillLibraryTable();
    SharedNames = std::make_unique<TParList>("names", fs::path(folder + "names.qv5"));
}

void Project::LoadProjectLibraries(const std::string& folder)
{
    LoadingShared = false;
    for (const auto& [library, file] : LibraryFiles())
        library->LoadFromFile(folder + file, false);
    ProjectNames = std::make_unique<TParList>("names", fs::path(folder + "names.qv5"));
    GameParams = std::make_unique<TParList>("game params", fs::path(folder + "game.qv5"));
    LoadMapColors(folder + "mapColors.qv5");
}

void Project::LoadMaps(const std::string& folder)
{
    Maps = std::make_unique<TMapList>(this);
    RefusedMaps.clear();
    for (TListedList* library : {static_cast<TListedList*>(Walls.get()), static_cast<TListedList*>(Floors.get()),
                                 static_cast<TListedList*>(Ceilings.get()), static_cast<TListedList*>(Objects.get())})
        library->Chooser = Chooser;

    std::vector<fs::path> files;
    std::error_code ec;
    if (fs::is_directory(fs::path(folder), ec)) {
        for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& path = it->path();
            std::error_code typeError;
            if (it->is_directory(typeError))
                continue;
            if (UpperCase(path.extension().string()) == ".MAP")
                files.push_back(path);
        }
        if (ec)
            throw KestruneError(FormatMessage("Cannot open file %s", folder));
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
        try {
            Maps->Add(TMap::LoadFile(path, Maps.get()));
        } catch (const TMapRefused& refused) {
            Warnings.push_back(refused.what());
            RefusedMaps.push_back({path, refused.what()});
        }
    }

    Npcs = std::make_unique<TNPCsList>(this);
    Npcs->LoadFromFile(folder + "defined.npcs", true);
    FillLibraryTable();
    Maps->SortByName();
}

// ----------------------------------------------------------------------- save

void Project::Save()
{
    if (!loadComplete_)
        throw KestruneError("The project was not loaded completely, so it is not saved: saving it would "
                            "overwrite its files with less than they hold.");
    SaveTo(ProjectFolder);
}

void Project::SaveTo(const std::string& folder)
{
    if (!loadComplete_)
        throw KestruneError("The project was not loaded completely, so it is not saved: saving it would "
                            "overwrite its files with less than they hold.");
    // Every file or none: a project saved half-way would name elements its
    // libraries no longer hold.
    TSaveTransaction save;
    SaveLibraries(WithSeparator(folder) + "def" + PathSeparator());
    SaveMaps(WithSeparator(folder) + "maps" + PathSeparator());
    save.Commit();
}

void Project::SaveLibraries(const std::string& folder)
{
    LoadingShared = false;
    for (const auto& [library, file] : LibraryFiles())
        library->SaveToFile(folder + file, false);
    if (folder != DataFolder + "def" + PathSeparator()) {
        if (ProjectNames)
            ProjectNames->SaveToFile(folder + "names.qv5", false);
    } else if (SharedNames) {
        SharedNames->SaveToFile(folder + "names.qv5", false);
    }
    if (GameParams)
        GameParams->SaveToFile(folder + "game.qv5", false);
    SaveMapColors(folder + "mapColors.qv5");
}

void Project::SaveMaps(const std::string& folder)
{
    for (int i = 0; i < Maps->Count(); ++i) {
        TMap* map = Maps->MapAt(i);
        map->SaveToFile(map->MapFileName(folder));
    }
    Npcs->SaveToFile(folder + "defined.npcs", true);
}

// -------------------------------------------------------------------- colours

void Project::LoadMapColors(const fs::path& path)
{
    SetFixedColors();
    std::error_code ec;
    if (!fs::exists(path, ec))
        return;
    TQVFileStream stream(path, TFileStream::Mode::Read);
    ReadMapColors(stream);
}

void Project::ReadMapColors(TQVFileStream& stream)
{
    auto component = [&stream]() -> uint32_t {
        const std::string token = Trim(stream.ReadToken());
        if (token.empty())
            return 0;
        const std::optional<int32_t> v = StrToInt32(token);
        if (!v)
            throw KestruneError("'" + token + "' is not a valid integer value");
        return static_cast<uint32_t>(*v);
    };
    for (int index = 17; !stream.AtEnd() && index < ColorCount; ++index) {
        const uint32_t r = component();
        const uint32_t g = component();
        const uint32_t b = component();
        MapColors[static_cast<size_t>(index)] = (r + 256u * g + 65536u * b) & 0xFFFFFF;
    }
}

void Project::SaveMapColors(const fs::path& path)
{
    TQVFileStream stream(path, TFileStream::Mode::Write);
    for (int index = 17; index < ColorCount; ++index) {
        const uint32_t c = MapColors[static_cast<size_t>(index)];
        stream.WriteToken(std::to_string(c & 0xFF));
        stream.WriteToken(std::to_string((c >> 8) & 0xFF));
        stream.WriteToken(std::to_string((c >> 16) & 0xFF));
        stream.WriteWord(3338);
    }
    stream.WriteToken("");
    stream.Close();
}

// ---------------------------------------------------------------------- misc

std::vector<int> Project::ReferencesIn(const TParList& list, const TLoadSaveList& library, const std::string& name) const
{
    std::vector<int> found;
    if (!Definitions)
        return found;
    int kind = -1;
    for (size_t i = 0; i < LibraryTable.size(); ++i)
        if (LibraryTable[i] == &library)
            kind = static_cast<int>(i);
    if (kind < 0)
        return found;
    for (int i = 0; i < list.Count(); ++i) {
        const TPar* par = list.Par(i);
        if (!SameText(par->Value, name))
            continue;
        const size_t open = par->Name.find('[');
        const std::string key = open == std::string::npos ? std::string() : par->Name.substr(open);
        const TDefValue* def = Definitions->GetDefValue(list.SectionFor(key));
        const auto* field = def ? dynamic_cast<const TListedField*>(
                                      TDefValue::FindField(def->ParamDefs, par->Name.substr(0, open)))
                                : nullptr;
        if (field && field->LibraryKind == kind)
            found.push_back(i);
    }
    return found;
}

TListedList* Project::LibraryOfKind(int kind) const
{
    switch (kind) {
    case 0: return Maps.get();
    case 1: return Walls.get();
    case 2: return Floors.get();
    case 3: return Ceilings.get();
    case 4: return Objects.get();
    case 5: return ItemDefs.get();
    case 6: return MonsterDefs.get();
    case 7: return LibMode ? static_cast<TListedList*>(NpcDefs.get()) : static_cast<TListedList*>(Npcs.get());
    default: return nullptr;
    }
}

void Project::PrepareMapPictures()
{
    for (TListedList* library : {static_cast<TListedList*>(Walls.get()), static_cast<TListedList*>(Floors.get()),
                                 static_cast<TListedList*>(Ceilings.get()), static_cast<TListedList*>(Objects.get())})
        PrepareAllPictures(*library);
}

void Project::RemoveFromMaps(int layer, int position)
{
    for (int i = 0; i < Maps->Count(); ++i)
        Maps->MapAt(i)->RemoveElementReferences(layer, position);
}

void Project::LoadElementPicture(TPicture& picture, const std::string& path) const
{
    picture.Request(this, path, true);
}

void Project::LoadPicture(TPicture& picture, const std::string& path) const
{
    picture.Request(this, path, false);
}

std::string Project::ElementPicturePath(const std::string& path) const
{
    std::string relative = path.substr(0, path.find('|'));
    relative = relative.substr(0, relative.find(','));
    relative = ToPlatformSeparators(relative);
    const std::string full = AbsoluteText(ProjectFolder + relative);
    return IsFile(full) ? full : AbsoluteText(DataFolder + relative);
}

bool Project::PictureFileExists(const std::string& path) { return IsFile(ToPlatformSeparators(path)); }

std::string Project::CellKeyOf(const TMap& map) const
{
    if (LibMode)
        return {};
    switch (CurrentKind) {
    case 1: return CellKey(map.SelX, map.SelY, map.SelSide);
    case 2:
    case 3:
    case 4: return CellKey(map.SelX, map.SelY);
    case 5:
    case 6: return SelectedElement == &map ? CellKey(map.SelX, map.SelY) : std::string();
    default: return {};
    }
}

} // namespace kestrune
