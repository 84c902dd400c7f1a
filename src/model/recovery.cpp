#include "model/recovery.h"

#include "core/errors.h"
#include "model/map.h"
#include "model/project.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace kestrune::recovery {

namespace fs = std::filesystem;

namespace {

fs::path StateFolder()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return fs::path(state);
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "state";
}

// The newest file below a folder, if any.
std::optional<fs::file_time_type> Newest(const fs::path& folder)
{
    std::optional<fs::file_time_type> newest;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        const fs::file_time_type t = it->last_write_time(typeError);
        if (!typeError && (!newest || t > *newest))
            newest = t;
    }
    return newest;
}

} // namespace

std::string FolderFor(const std::string& projectFolder)
{
    std::string path = fs::absolute(fs::path(projectFolder)).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    // The project's name for the designer, its whole path's hash to tell apart.
    std::string name = fs::path(path).filename().string();
    for (char& c : name)
        if (c == '/' || c == '\\')
            c = '_';
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(std::hash<std::string>{}(path)));
    return (StateFolder() / "Kestrune" / "recovery" / (name + "-" + hash)).string();
}

void Write(Project& project, const std::string& folder)
{
    // Written whole beside the last recovery, then put in its place.
    const fs::path target(folder);
    const fs::path fresh = target.string() + ".new";
    const fs::path old = target.string() + ".old";
    std::error_code ec;
    fs::remove_all(fresh, ec);
    fs::create_directories(fresh, ec);
    if (ec)
        throw KestruneError(FormatMessage("Cannot create file %s", fresh.string()) + "\n" + ec.message());
    std::vector<bool> changed;
    for (int i = 0; project.Maps && i < project.Maps->Count(); ++i)
        changed.push_back(project.Maps->MapAt(i)->Changed);
    try {
        project.SaveTo(fresh.string() + "/");
    } catch (...) {
        for (size_t i = 0; i < changed.size(); ++i)
            project.Maps->MapAt(static_cast<int>(i))->Changed = changed[i];
        fs::remove_all(fresh, ec);
        throw;
    }
    for (size_t i = 0; i < changed.size(); ++i)
        project.Maps->MapAt(static_cast<int>(i))->Changed = changed[i];
    fs::remove_all(old, ec);
    if (fs::exists(target, ec))
        fs::rename(target, old, ec);
    fs::rename(fresh, target, ec);
    if (ec)
        throw KestruneError(FormatMessage("Cannot create file %s", target.string()) + "\n" + ec.message());
    fs::remove_all(old, ec);
}

void Remove(const std::string& folder)
{
    std::error_code ec;
    fs::remove_all(fs::path(folder), ec);
}

std::optional<fs::file_time_type> Newer(const std::string& folder, const std::string& projectFolder)
{
    const std::optional<fs::file_time_type> recovered = Newest(fs::path(folder));
    if (!recovered)
        return std::nullopt;
    for (const char* part : {"def", "maps"}) {
        const std::optional<fs::file_time_type> saved = Newest(fs::path(projectFolder) / part);
        if (saved && *saved >= *recovered)
            return std::nullopt;
    }
    return recovered;
}

std::string TimeText(fs::file_time_type time)
{
    const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        time - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    // Local time, as the designer's clock shows it.
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&t, &local))
        return {};
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) ? std::string(text) : std::string();
}

} // namespace kestrune::recovery
