#pragma once
// The command-line tool's commands, callable in-process so that they can be
// tested without starting a program.

#include "core/text.h" // JsonString

#include "model/color.h"

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrune {

class Project;

// What "render" draws, and where to.
struct TRenderRequest {
    std::string map;
    std::string out;
    int zoom = 3;
    int kind = 2;
    bool direct = false;
    bool floors = true;
    std::optional<std::array<int, 3>> select;
    TColor face = RgbColor(240, 240, 240);
};

// kestrune-tool itself loads no toolkit library, so that its data commands
// start at once; "render" and "check" (which decodes pictures) run in this
// program beside it, which draws (tool_main.cpp).
constexpr const char* DrawingProgram = "kestrune-tool-drawing";

// Draws a map as asked into a PNG file; false with the message on err.
using TMapRenderer = bool (*)(Project& project, const TRenderRequest& request, std::ostream& err);
// The renderer of a program that draws (app/toolrender.cpp): installs it
// for RunTool, through SetMapRenderer.
void UseToolDrawing();
void SetMapRenderer(TMapRenderer renderer);

// Runs the tool with its arguments (without the program name). Returns the
// exit status: 0 on success, 1 on any failure (the message on err); "check"
// returns 3 when it found problems.
// With leaveProject the loaded project is never freed: for a process that
// ends as soon as the command returns.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool leaveProject = false);

// The project as one JSON object (the "dump" command's output).
void DumpProject(const Project& project, std::ostream& out);

} // namespace kestrune
