// Starts the real editor on a copy of the sample game with a settings file
// of its own, lets it close itself once the project is shown, and checks
// what it wrote.

#include "model/model_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace kestrune::test {
namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TEST(EditorEndToEnd, StartsOnTheSampleGameAndWritesItsSettings)
{
    const fs::path editor = fs::path(KESTRUNE_BUILD_DIR) / "kestrune-editor";
    ASSERT_TRUE(fs::exists(editor));
    TempDir dir;
    fs::copy(SourceDir() / "examples" / "game", dir / "game", fs::copy_options::recursive);
    const fs::path settings = dir / "settings.ini";
    WriteFile(settings, "[qv5editor]\nzoom=4\nviewMode=2\ncodeEdit=120\n");
    const fs::path shot = fs::path(KESTRUNE_BUILD_DIR) / "tests" / "editor.png";
    std::ostringstream command;
    command << "QT_QPA_PLATFORM=offscreen KESTRUNE_CLOSE_AFTER_START=1 KESTRUNE_SETTINGS=" << Quote(settings.string())
            << " KESTRUNE_SCREENSHOT=" << Quote(shot.string()) << " timeout 60 " << Quote(editor.string()) << " "
            << Quote((dir / "game" / "demo.game").string()) << " > " << Quote((dir / "out.txt").string())
            << " 2>&1";
    const int status = std::system(command.str().c_str());
    ASSERT_EQ(status, 0) << ReadFile(dir / "out.txt");

    const std::string written = ReadFile(settings);
    for (const char* value : {"width=", "height=", "top=", "left=", "paleteWidth=", "propertiesWidth=",
                              "propertiesHeight=", "floors=1", "zoom=4", "viewMode=2", "codeEdit=120"})
        EXPECT_NE(written.find(value), std::string::npos) << value << " missing in\n" << written;
    EXPECT_TRUE(fs::exists(shot));
    // Nothing was changed, so nothing was saved: the sample is as it was.
    EXPECT_EQ(ReadFile(dir / "game" / "demo.game" / "maps" / "Cellar.map"),
              ReadFile(SourceDir() / "examples" / "game" / "demo.game" / "maps" / "Cellar.map"));
}

} // namespace
} // namespace kestrune::test
