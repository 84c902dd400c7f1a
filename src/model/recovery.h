#pragma once
// The recovery of unsaved changes: the whole project written every few
// minutes into a folder of the user's state folder, never into the project,
// and offered again when the editor starts on a project whose recovery is
// newer than its files (the editor ended without closing).

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace kestrune {

class Project;

namespace recovery {

// $XDG_STATE_HOME/Kestrune/recovery/ (~/.local/state when unset), one
// folder per project path; the folder need not exist.
std::string FolderFor(const std::string& projectFolder);

// Writes the project there (through a save of its own, so that a failure
// leaves the recovery before it); the project's maps keep their changed
// marks. Throws KestruneError.
void Write(Project& project, const std::string& folder);

// Removes a recovery folder, if there is one.
void Remove(const std::string& folder);

// When the folder holds a recovery newer than every file of the project's
// def and maps folders: when it was written.
std::optional<std::filesystem::file_time_type> Newer(const std::string& folder, const std::string& projectFolder);

// "2026-12-09 17:45": a time for a message.
std::string TimeText(std::filesystem::file_time_type time);

} // namespace recovery
} // namespace kestrune
