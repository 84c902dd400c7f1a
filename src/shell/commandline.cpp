#include "shell/commandline.h"

#include "core/text.h"

#include <filesystem>

namespace kestrune {

namespace {
// Whether an argument ends in ".game" (any letter case), a trailing
// separator aside, as a shell's completion writes folders.
bool IsGameFolder(std::string a)
{
    while (a.size() > 1 && (a.back() == '/' || a.back() == static_cast<char>(std::filesystem::path::preferred_separator)))
        a.pop_back();
    return UpperCase(std::filesystem::path(a).extension().string()) == ".GAME";
}
// Switches begin with "/" as absolute paths do here: an argument that names
// something on disk, or a project folder, is a path.
bool IsPath(const std::string& a)
{
    std::error_code ec;
    return IsGameFolder(a) || std::filesystem::exists(std::filesystem::path(a), ec);
}
} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    TCommandLine c;
    for (const std::string& a : args) {
        const std::string upper = UpperCase(a);
        if (upper == "/NOCOLOREDIT")
            continue;
        if (upper == "/DEVELOP") {
            c.Develop = true;
        } else if (StartsWith(a, "/doc=")) {
            c.DocName = a.substr(5);
        } else if (StartsWith(a, "/game=")) {
            c.ProjectFolder = a.substr(6);
            c.DataEditMode = true;
        } else if (a.empty() || (a[0] == '/' && !IsPath(a))) {
            continue; // an unknown switch
        } else if (IsGameFolder(a)) {
            c.ProjectFolder = a;
        } else {
            c.PresetFolder = a;
            c.PresetGiven = true;
        }
    }
    return c;
}

} // namespace kestrune
