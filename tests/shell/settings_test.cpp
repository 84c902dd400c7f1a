#include "core/test_util.h"
#include "controls/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kestrune::test {
namespace {

// Points the store at a file of its own for one test.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("KESTRUNE_SETTINGS");
        saved = old ? old : "";
        path = dir / "sub" / "settings.ini";
        setenv("KESTRUNE_SETTINGS", path.c_str(), 1);
    }
    void TearDown() override { setenv("KESTRUNE_SETTINGS", saved.c_str(), 1); }
    TempDir dir;
    fs::path path;
    std::string saved;
};

TEST_F(SettingsFile, DefaultsRoundTripsAndNestedSections)
{
    {
        auto s = TSettings::OpenSettings();
        EXPECT_EQ(s->ReadInteger("qv5editor", "width", 751), 751);
        EXPECT_TRUE(s->ReadBool("qv5editor", "floors", true));
        EXPECT_EQ(s->ReadString("qv5editor", "gameDir", "/games/"), "/games/");
        s->WriteInteger("qv5editor", "width", 1024);
        s->WriteInteger("qv5editor", "left", -20);
        s->WriteBool("qv5editor", "floors", false);
        s->WriteBool("qv5editor\\config", "CheckBox2", true);
        s->WriteString("qv5editor", "gameDir", "/h\xE9ros/games/");
        s->CloseSettings();
    }
    auto s = TSettings::OpenSettings();
    EXPECT_EQ(s->ReadInteger("qv5editor", "width", 751), 1024);
    EXPECT_EQ(s->ReadInteger("qv5editor", "left", 0), -20);
    EXPECT_FALSE(s->ReadBool("qv5editor", "floors", true));
    EXPECT_TRUE(s->ReadBool("qv5editor\\config", "CheckBox2", false));
    EXPECT_EQ(s->ReadInteger("qv5editor\\config", "CheckBox2", 7), 1);
    EXPECT_EQ(s->ReadString("qv5editor", "gameDir", ""), "/h\xE9ros/games/");
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("[qv5editor]"), std::string::npos);
    EXPECT_NE(text.find("width=1024"), std::string::npos);
    EXPECT_NE(text.find("floors=0"), std::string::npos);
}

TEST_F(SettingsFile, GarbageValuesGiveTheDefault)
{
    fs::create_directories(path.parent_path());
    WriteFile(path, "[qv5editor]\nwidth=wide\nheight=12px\nzoom=\ntop=99999999999\nfloors=yes\nleft= 7\n");
    TSettings::OpenSettings()->WriteString("qv5editor\\config", "TrackBar1", "$10");
    auto s = TSettings::OpenSettings();
    EXPECT_EQ(s->ReadInteger("qv5editor", "width", 751), 751);
    EXPECT_EQ(s->ReadInteger("qv5editor", "height", 576), 576);
    EXPECT_EQ(s->ReadInteger("qv5editor", "zoom", 3), 3);
    EXPECT_EQ(s->ReadInteger("qv5editor", "top", 158), 158);
    EXPECT_TRUE(s->ReadBool("qv5editor", "floors", true));
    EXPECT_FALSE(s->ReadBool("qv5editor", "floors", false));
    EXPECT_EQ(s->ReadInteger("qv5editor", "left", 0), 7);
    EXPECT_EQ(s->ReadInteger("qv5editor\\config", "TrackBar1", 4), 4);
}

TEST_F(SettingsFile, AStoreThatCannotBeWrittenIsNoError)
{
    fs::create_directories(dir / "blocked");
    setenv("KESTRUNE_SETTINGS", (dir / "blocked").c_str(), 1); // a folder, not a file
    auto s = TSettings::OpenSettings();
    s->WriteInteger("qv5editor", "width", 5);
    s->CloseSettings();
    EXPECT_EQ(TSettings::OpenSettings()->ReadInteger("qv5editor", "height", 3), 3);
}

} // namespace
} // namespace kestrune::test
