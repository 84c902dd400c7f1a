#pragma once
// The editor's command line, argument by argument: the first rule that
// matches an argument decides; when several arguments set the same thing,
// the last one wins.

#include <string>
#include <vector>

namespace kestrune {

struct TCommandLine {
    std::string ProjectFolder;  // from a ".game" argument or "/game="
    bool DataEditMode = false;  // "/game="
    bool Develop = false;       // "/DEVELOP": the splash window does not stay on top
    std::string DocName = "qv5lang";
    std::string PresetFolder;   // anything else: the selection window's folder box
    bool PresetGiven = false;
};

TCommandLine ParseCommandLine(const std::vector<std::string>& args);

} // namespace kestrune
