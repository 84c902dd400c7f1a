// kestrune-tool: loads and saves or dumps a project without a display.
//
// Built twice: kestrune-tool loads no toolkit library, so that resave and
// dump start at once, and hands render and check (which decodes pictures)
// to kestrune-tool-drawing, the same program with the drawing side, found
// beside it or, installed, in ../lib/kestrune/.

#include "app/toolcommands.h"
#include "model/project.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

#ifndef KESTRUNE_TOOL_DRAWING
// Replaces this process with the drawing program and the same arguments;
// returns only when that program cannot be started.
int RunDrawingProgram(char** argv)
{
    namespace fs = std::filesystem;
    const fs::path here = kestrune::Project::ExecutableFolder();
    fs::path program = here / kestrune::DrawingProgram;
    std::error_code ec;
    if (!fs::is_regular_file(program, ec))
        program = here / ".." / "lib" / "kestrune" / kestrune::DrawingProgram;
    const std::string path = program.lexically_normal().string();
    argv[0] = const_cast<char*>(path.c_str());
    ::execv(path.c_str(), argv);
    std::cerr << "kestrune-tool: cannot start " << path << ": " << std::strerror(errno) << '\n';
    return 1;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "kestrune-tool " KESTRUNE_VERSION "\n";
        return 0;
    }
#ifdef KESTRUNE_TOOL_DRAWING
    kestrune::UseToolDrawing();
#else
    if (!args.empty() && (args[0] == "render" || args[0] == "check"))
        return RunDrawingProgram(argv);
#endif
    const int status = kestrune::RunTool(args, std::cout, std::cerr, true);
    std::cout.flush();
    return status;
}
