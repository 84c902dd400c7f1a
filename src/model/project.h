#pragma once
// One loaded game project: the definitions, the seven element libraries
// (shared elements first), the names lists, the game parameters, the maps,
// the NPC instances and the map colours, with their load and save.

#include "core/definitions.h"
#include "model/map.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class Project {
public:
    static constexpr int ColorCount = 34;
    static constexpr uint32_t KeyColor = 1234567; // transparent pattern pixels

    Project();
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    // ---- folders and mode ----
    std::string ProjectFolder; // ends with the path separator once loading started
    std::string DataFolder;
    bool DataEditMode = false;
    bool LoadingShared = true;
    // The definition file; by default "qv5game.def" beside the executable.
    std::filesystem::path DefinitionFile;

    // ---- the loaded project ----
    std::unique_ptr<TValList> Definitions;
    std::unique_ptr<TWalls> Walls;
    std::unique_ptr<TFloors> Floors;
    std::unique_ptr<TCeilings> Ceilings;
    std::unique_ptr<TObjects> Objects;
    std::unique_ptr<TItemsDef> ItemDefs;
    std::unique_ptr<TMonstersDef> MonsterDefs;
    std::unique_ptr<TNPCsDef> NpcDefs;
    std::unique_ptr<TParList> SharedNames;
    std::unique_ptr<TParList> ProjectNames; // none in DataEditMode
    std::unique_ptr<TParList> GameParams;   // none in DataEditMode
    std::unique_ptr<TMapList> Maps;
    std::unique_ptr<TNPCsList> Npcs;
    std::array<TLoadSaveList*, 8> LibraryTable{};
    std::array<uint32_t, ColorCount> MapColors{}; // red in the low byte

    // The program-wide map file version: 2 at start, set by every map read
    // or written; the item lists read positions in its layout.
    int MapFileVersion = 2;

    // ---- settings the windows drive ----
    bool PreviewPictures = true;   // "Actual selected object image preview"
    int Zoom = 3;
    bool PaintFloors = true;
    bool MapDirectDraw = false;
    uint32_t FaceColor = 0xF0F0F0; // the system's button-face colour
    // Browser state the model reads (cell keys, the orientation row).
    int CurrentKind = 0;
    bool LibMode = false;
    const TListedItem* SelectedElement = nullptr;

    // Who answers for wall, floor, ceiling and object names that a map file
    // names and the libraries lack; without one such names resolve to none.
    TReplacementChooser* Chooser = nullptr;
    // Problems that did not stop the load (a map file refused), for the
    // caller to show.
    std::vector<std::string> Warnings;
    // The map files the last LoadMaps refused, each with the warning given
    // for it (the project check lists them).
    struct TRefusedFile {
        std::filesystem::path File;
        std::string Message;
    };
    std::vector<TRefusedFile> RefusedMaps;
    // Told the phase of the load as it begins: "game data from " + the data
    // folder, "game data from " + the project folder, "maps " + the project folder.
    std::function<void(const std::string&)> Progress;

    // ---- load and save ----
    // The whole load, in its fixed order. Throws KestruneError when a step
    // fails; a project whose load did not complete can never be saved.
    void Load(const std::string& projectFolder);
    bool LoadComplete() const { return loadComplete_; }

    void LoadSharedLibraries(const std::string& folder);
    void LoadProjectLibraries(const std::string& folder);
    void LoadMaps(const std::string& folder);
    // Save: the libraries, then the maps. Throws KestruneError (for example
    // "Cannot create file %s") and stops at the failing file.
    void Save();
    // The same into another folder (its def and maps folders), all or nothing.
    void SaveTo(const std::string& folder);
    // Where Load reads the def and maps folders from, when not the project
    // folder (a recovered state); cleared by Load.
    std::string FilesFolder;
    void SaveLibraries(const std::string& folder);
    void SaveMaps(const std::string& folder);
    void LoadMapColors(const std::filesystem::path& path);
    // Reads entries 17 to 33 from a colours file's stream.
    void ReadMapColors(TQVFileStream& stream);
    void SaveMapColors(const std::filesystem::path& path);
    // The fixed colours 0 to 16 (entry 0 is FaceColor).
    void SetFixedColors();

    // PrepareAllPictures for the walls, floors, ceilings and objects (after
    // loading and whenever the zoom changes).
    void PrepareMapPictures();

    // The list the browser shows for a kind 0 to 7, or none.
    TListedList* LibraryOfKind(int kind) const;
    // The entries of a parameter list that name an element of a library: their
    // definition chooses from that library and their value equals the name,
    // whatever the letter case. Keyed entries of a map ("upMap[3,4]") are
    // looked up in the section of their cell or side.
    std::vector<int> ReferencesIn(const TParList& list, const TLoadSaveList& library, const std::string& name) const;
    void RemoveFromMaps(int layer, int position);

    // Picture loading: relative to the project folder, else the data folder.
    // The file is looked up and decoded when the picture is first used.
    void LoadElementPicture(TPicture& picture, const std::string& path) const;
    void LoadPicture(TPicture& picture, const std::string& path) const;
    // The same at once, on a plain image pointer.
    void LoadElementPictureNow(TImagePtr& picture, const std::string& path) const;
    void LoadPictureNow(TImagePtr& picture, const std::string& path) const;
    // The file an element picture path stands for (project folder first).
    std::string ElementPicturePath(const std::string& path) const;
    static bool PictureFileExists(const std::string& path);

    // The key of the selected cell of a map for the property grid and the
    // code editor, by the current kind and selection.
    std::string CellKeyOf(const TMap& map) const;

    // The folder of the running executable (with a trailing separator).
    static std::string ExecutableFolder();
    // A file of the installation: beside the executable (a build folder),
    // else in ../share/kestrune/ from it (an installed tree; ../../ for
    // the tool's drawing program in lib/kestrune/); the first
    // place when neither has it, so that a message names where it was sought.
    static std::filesystem::path InstalledFile(const std::string& name);

private:
    // The seven libraries with their file names, in reading and writing order.
    std::array<std::pair<TListedList*, const char*>, 7> LibraryFiles() const;
    // Starts the disk reading the files a load reads, ahead of their turn.
    void PrefetchLoadFiles(const std::string& dataDef, const std::string& projectDef,
                           const std::string& mapsFolder) const;
    void CreateLibraries();
    void FillLibraryTable();
    bool loadComplete_ = false;
};

// The path separator as text.
std::string PathSeparator();
// A path with "/" turned into the platform's separator.
std::string ToPlatformSeparators(std::string path);
// Appends the separator unless the text already ends with one.
std::string WithSeparator(std::string folder);

} // namespace kestrune
