// The designer soak (soak_driver.h) on a copy of the sample game: a fixed
// seed for every test run, and a run configured by the environment for
// scripts/soak:
//   KESTRUNE_SOAK_SEED   the seed (the run is skipped without it)
//   KESTRUNE_SOAK_STEPS  the number of steps (400)
//   KESTRUNE_SOAK_SKIP   checks to leave out, comma separated (pointers,
//                        markers, values, placements, reload)
//   KESTRUNE_SOAK_TRACE  1: every step to stderr as it is taken

#include "shell/editorwindows.h"
#include "shell/mainwindow.h"
#include "shell_test_util.h"
#include "soak_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <sstream>

namespace kestrune::test {
namespace {

class Soak : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(fs::path(KESTRUNE_SOURCE_DIR) / "examples" / "game", install.Path(), fs::copy_options::recursive);
        windows.CreateAll();
        TForm1& main = *windows.Main;
        main.DefinitionFile = fs::path(KESTRUNE_SOURCE_DIR) / "resources" / "qv5game.def";
        main.Arguments = {(install.Path() / "demo.game").string()};
        ASSERT_TRUE(main.FormShow()) << (dialogs.Errors.empty() ? "" : dialogs.Errors[0]);
        dialogs.Errors.clear();
    }

    OwnSettings settings;
    TempDir install;
    ScriptedDialogs dialogs;
    TEditorWindows windows{dialogs};
};

TEST_F(Soak, FixedSeed)
{
    SoakDriver::Options options;
    options.Seed = 20240611;
    options.Steps = 300;
    SoakDriver driver(windows, dialogs, options);
    const std::string failure = driver.Run();
    EXPECT_TRUE(failure.empty()) << failure;
}

TEST_F(Soak, FromEnvironment)
{
    const char* seed = std::getenv("KESTRUNE_SOAK_SEED");
    if (!seed || !*seed)
        GTEST_SKIP() << "KESTRUNE_SOAK_SEED is not set";
    SoakDriver::Options options;
    options.Seed = static_cast<unsigned>(std::strtoul(seed, nullptr, 10));
    const char* steps = std::getenv("KESTRUNE_SOAK_STEPS");
    options.Steps = steps && *steps ? std::atoi(steps) : 400;
    if (const char* skip = std::getenv("KESTRUNE_SOAK_SKIP")) {
        std::istringstream names(skip);
        for (std::string name; std::getline(names, name, ',');)
            if (!name.empty())
                options.Skip.insert(name);
    }
    if (const char* every = std::getenv("KESTRUNE_SOAK_CHECK_EVERY"); every && std::atoi(every) > 0)
        options.ReloadEvery = std::atoi(every);
    const char* trace = std::getenv("KESTRUNE_SOAK_TRACE");
    options.Trace = trace && std::string(trace) == "1";
    SoakDriver driver(windows, dialogs, options);
    const std::string failure = driver.Run();
    std::cout << "soak seed " << options.Seed << ": " << driver.StepsRun() << " steps, "
              << (failure.empty() ? "passed" : "FAILED") << std::endl;
    EXPECT_TRUE(failure.empty()) << failure;
}

} // namespace
} // namespace kestrune::test
