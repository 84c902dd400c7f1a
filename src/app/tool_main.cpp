// kestrune-tool: loads and saves or dumps a project without a display.

#include "app/toolcommands.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "kestrune-tool " KESTRUNE_VERSION "\n";
        return 0;
    }
    const int status = kestrune::RunTool(args, std::cout, std::cerr, true);
    std::cout.flush();
    return status;
}
