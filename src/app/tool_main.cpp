// kestrune-tool: loads and saves or dumps a project without a display.

#include "app/toolcommands.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return kestrune::RunTool(args, std::cout, std::cerr);
}
