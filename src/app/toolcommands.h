#pragma once
// The command-line tool's commands, callable in-process so that they can be
// tested without starting a program.

#include "core/text.h" // JsonString

#include <ostream>
#include <string>
#include <vector>

namespace kestrune {

class Project;

// Runs the tool with its arguments (without the program name). Returns the
// exit status: 0 on success, 1 on any failure (the message on err); "check"
// returns 3 when it found problems.
// With leaveProject the loaded project is never freed: for a process that
// ends as soon as the command returns.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool leaveProject = false);

// The project as one JSON object (the "dump" command's output).
void DumpProject(const Project& project, std::ostream& out);

} // namespace kestrune
