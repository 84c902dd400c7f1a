#include "shell/selectproject.h"

#include "model/project.h"
#include "controls/settings.h"
#include "shell/shell_test_util.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace kestrune::test {
namespace {

using Texts = std::vector<std::string>;

// Scripted answers; the input box's caption, prompt and first value are kept.
class Dialogs : public ScriptedDialogs {
public:
    Texts Asked;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override
    {
        Asked.push_back(caption + "|" + prompt + "|" + value);
        return ScriptedDialogs::Input(caption, prompt, value);
    }
};

// An installation folder with "data", the window and a settings file of its own.
class SelectProject : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(install / "data"); }
    std::string Install() const { return install.Path().string() + "/"; }
    void Open(const std::string& folder)
    {
        window.SetFolderText(folder);
        ASSERT_TRUE(window.OpenFolder());
    }
    static std::string GameDir(const std::string& section = "qv5editor")
    {
        return TSettings::OpenSettings()->ReadString(section, "gameDir", "<none>");
    }
    static void SetGameDir(const std::string& section, const std::string& value)
    {
        auto s = TSettings::OpenSettings();
        s->WriteString(section, "gameDir", value);
        s->CloseSettings();
    }
    Texts Tree() const // everything below the installation folder, sorted
    {
        Texts paths;
        for (const auto& e : fs::recursive_directory_iterator(install.Path()))
            paths.push_back(e.path().string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    OwnSettings settings;
    TempDir install;
    Dialogs dialogs;
    TfrmSelectProject window{dialogs};
};

TEST_F(SelectProject, FirstStartShowsTheExecutableFolderAndItsErrorAtOnce)
{
    EXPECT_EQ(window.findChild<QLabel*>()->text(), QStringLiteral("Game dir : "));
    EXPECT_TRUE(window.OkButton()->isDefault());
    const std::string exe = Project::ExecutableFolder();
    ASSERT_FALSE(fs::exists(exe + "data")) << "the test executable's folder must not be a game folder";
    window.show();
    EXPECT_EQ(window.FolderText(), exe);
    EXPECT_EQ(dialogs.Errors, Texts{exe + " is not main game folder!"});
    EXPECT_TRUE(window.Projects().empty());
    EXPECT_FALSE(window.NewEnabled());
    EXPECT_FALSE(window.OkEnabled());
    window.hide();
    EXPECT_EQ(window.ProjectFolder(), "");
}

TEST_F(SelectProject, RememberedFolderComesFromTheEditorThenTheRunnerUnlessPreset)
{
    SetGameDir("qv5run", "/runner/games/");
    window.FormShow();
    EXPECT_EQ(window.FolderText(), "/runner/games/");

    SetGameDir("qv5editor", Install());
    window.SetFolderText("");
    window.FormShow();
    EXPECT_EQ(window.InstallFolder(), Install());
    EXPECT_TRUE(window.NewEnabled());

    window.SetFolderText("/preset/games"); // from the command line
    window.FormShow();
    EXPECT_EQ(dialogs.Errors.back(), "/preset/games/ is not main game folder!");
    EXPECT_EQ(GameDir("qv5run"), "/runner/games/");
}

TEST_F(SelectProject, OkCompletesTheSeparatorOpensTheProjectAndRemembersTheFolder)
{
    fs::create_directory(install / "demo.game");
    Open(install.Path().string());
    EXPECT_EQ(window.FolderText(), Install());
    EXPECT_EQ(window.Projects(), Texts{"demo"});
    EXPECT_FALSE(window.OkEnabled());
    window.ChooseProject(0);
    ASSERT_TRUE(window.OpenProject());
    EXPECT_EQ(window.ProjectFolder(), Install() + "demo.game/");
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(GameDir(), Install());
}

TEST_F(SelectProject, DataButNoProjectsAllowsOnlyNew)
{
    fs::create_directory(install / "maps");
    WriteFile(install / "notes.gam", "");
    Open(Install());
    EXPECT_EQ(window.ProjectList()->count(), 0);
    EXPECT_TRUE(window.NewEnabled());
    window.ChooseProject(0);
    EXPECT_FALSE(window.OkEnabled());
    EXPECT_FALSE(window.OpenProject());
    EXPECT_EQ(GameDir(), "<none>");
}

TEST_F(SelectProject, EveryEndingIsListedWithoutItAndOpenedAsSpelled)
{
    for (const char* name : {"Big.GAME", "small.game", "Mixed.Game", "other.gamex", "game"})
        fs::create_directory(install / name);
    WriteFile(install / "x.game", "a plain file");
    Open(Install());

    Texts expected; // in the file system's own order
    for (const auto& e : fs::directory_iterator(install.Path())) {
        const std::string n = e.path().filename().string();
        if (n != "data" && n != "other.gamex" && n != "game")
            expected.push_back(n.substr(0, n.size() - 5));
    }
    ASSERT_EQ(window.Projects(), expected);
    ASSERT_EQ(window.ProjectList()->count(), 4);
    EXPECT_EQ(FromQ(window.ProjectList()->item(3)->text()), expected[3]);

    window.ChooseProject(static_cast<int>(std::find(expected.begin(), expected.end(), "Big") - expected.begin()));
    ASSERT_TRUE(window.OpenProject());
    EXPECT_EQ(window.ProjectFolder(), Install() + "Big.GAME/");
}

TEST_F(SelectProject, FoldersWithoutDataAreRefusedAndClearTheList)
{
    fs::create_directory(install / "demo.game");
    Open(Install());
    window.ChooseProject(0);
    for (const std::string& bad : {Install() + "missing", Install() + "demo.game", Install() + "data/"}) {
        window.SetFolderText(bad);
        EXPECT_FALSE(window.OpenFolder());
        EXPECT_EQ(dialogs.Errors.back(), WithSeparator(bad) + " is not main game folder!");
        EXPECT_EQ(window.ProjectList()->count(), 0);
        EXPECT_FALSE(window.OkEnabled() || window.NewEnabled() || window.OpenProject() || window.NewProject());
    }
    EXPECT_TRUE(dialogs.Asked.empty());
    EXPECT_EQ(GameDir(), "<none>");
}

TEST_F(SelectProject, NewCreatesTheFoldersAndOpensWithoutRememberingTheFolder)
{
    Open(Install());
    dialogs.InputAnswers = {std::nullopt, std::string()};
    EXPECT_FALSE(window.NewProject()); // cancelled
    EXPECT_EQ(Tree(), Texts{Install() + "data"});

    ASSERT_TRUE(window.NewProject()); // an empty name is a name too
    EXPECT_EQ(dialogs.Asked, Texts(2, "New project|Enter project name : |"));
    const std::string p = Install() + ".game";
    Texts expected = {Install() + "data", p, p + "/def", p + "/images", p + "/images/backgrounds",
                      p + "/images/items", p + "/images/monsters", p + "/images/objects",
                      p + "/images/textures", p + "/maps"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Tree(), expected);
    EXPECT_EQ(window.ProjectFolder(), p + "/");
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(GameDir(), "<none>");
    ASSERT_TRUE(window.OpenFolder());
    EXPECT_EQ(window.Projects(), Texts{""});
}

TEST_F(SelectProject, NewWithAnExistingNameChangesNothing)
{
    SetGameDir("qv5editor", "/before/");
    fs::create_directory(install / "demo.game");
    fs::create_directory(install / "Old.GAME");
    Open(Install());
    window.ChooseProject(0);
    const Texts before = Tree();
    dialogs.InputAnswers = {std::string("demo"), std::string("Old")};
    EXPECT_FALSE(window.NewProject());
    EXPECT_FALSE(window.NewProject());
    EXPECT_EQ(dialogs.Errors, (Texts{"Project demo already exists!", "Project Old already exists!"}));
    EXPECT_EQ(Tree(), before);
    EXPECT_EQ(window.Projects().size(), 2u);
    EXPECT_TRUE(window.OkEnabled());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_EQ(window.ProjectFolder(), "");
    EXPECT_EQ(GameDir(), "/before/");
}

TEST_F(SelectProject, NewOpensEvenWhenItsFoldersCannotBeCreated)
{
    WriteFile(install / "Blocked.game", "a plain file where the folder would go");
    Open(Install());
    dialogs.InputAnswers = {std::string("Blocked")};
    EXPECT_TRUE(window.NewProject());
    EXPECT_TRUE(dialogs.Errors.empty());
    EXPECT_EQ(window.ProjectFolder(), Install() + "Blocked.game/");
}

TEST_F(SelectProject, ClicksReachTheCommands)
{
    fs::create_directory(install / "demo.game");
    window.SetFolderText(install.Path().string());
    window.OpenButton()->click();
    ASSERT_EQ(window.ProjectList()->count(), 1);
    window.ProjectList()->item(0)->setSelected(true);
    EXPECT_TRUE(window.OkButton()->isEnabled());
    window.ProjectList()->clearSelection();
    EXPECT_FALSE(window.OkButton()->isEnabled());
    emit window.ProjectList()->itemDoubleClicked(window.ProjectList()->item(0));
    EXPECT_EQ(window.ProjectFolder(), Install() + "demo.game/");

    window.setResult(QDialog::Accepted);
    window.ExitButton()->click();
    EXPECT_EQ(window.result(), QDialog::Rejected);
}

} // namespace
} // namespace kestrune::test
