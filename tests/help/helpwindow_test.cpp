// The "QV5Lang help" window over the sample help pages: the tree, choosing
// functions, search, Back, marking the function name, failures, keys and
// geometry.

#include "controls/htmlview.h"
#include "controls/settings.h"
#include "help/helpwindow.h"
#include "shell/shell_test_util.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeWidget>

#include <filesystem>
#include <set>

using namespace kestrune;
namespace fs = std::filesystem;
using kestrune::test::OwnSettings;
using kestrune::test::ScriptedDialogs;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

std::string SampleFolder() { return std::string(KESTRUNE_SOURCE_DIR) + "/examples/game/qv5lang"; }

std::string Page(const std::string& title, const std::string& body)
{
    return "<html>\n<head>\n<title>" + title + "</title>\n</head>\n<body>\n<a name=top></a>\n" + body +
           "\n</body>\n</html>\n";
}

void SendKey(QWidget* to, int key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
}

class HelpWindowTest : public ::testing::Test {
protected:
    void SetUp() override { help.LoadHelp(SampleFolder()); }

    int ClassNode(const std::string& cls) const
    {
        for (int top : help.Index.TopLevel())
            if (help.Index.Nodes()[top].Text == cls)
                return top;
        return -1;
    }
    int FunctionNode(const std::string& cls, const std::string& function) const
    {
        const int c = ClassNode(cls);
        if (c >= 0)
            for (int child : help.Index.Nodes()[c].Children)
                if (help.Index.Nodes()[child].Text == function)
                    return child;
        return -1;
    }
    std::string ShownFile() const { return fs::path(help.CurrentFile()).filename().string(); }
    std::string ClassOfSelection() const
    {
        const int node = help.SelectedNode();
        if (node < 0)
            return {};
        const THelpNode& n = help.Index.Nodes()[node];
        return n.IsFunction() ? help.Index.Nodes()[n.Parent].Text : n.Text;
    }

    ScriptedDialogs dialogs;
    TForm3 help{nullptr, &dialogs};
};

TEST_F(HelpWindowTest, TreeFollowsTheIndex)
{
    QTreeWidget* tree = help.Tree();
    ASSERT_EQ(tree->topLevelItemCount(), static_cast<int>(help.Index.TopLevel().size()));
    ASSERT_EQ(tree->topLevelItemCount(), 6);
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const THelpNode& cls = help.Index.Nodes()[help.Index.TopLevel()[i]];
        QTreeWidgetItem* item = tree->topLevelItem(i);
        EXPECT_EQ(FromQ(item->text(0)), cls.Text);
        EXPECT_EQ(help.ItemOfNode(help.Index.TopLevel()[i]), item);
        ASSERT_EQ(item->childCount(), static_cast<int>(cls.Children.size()));
        for (int c = 0; c < item->childCount(); ++c)
            EXPECT_EQ(help.ItemOfNode(cls.Children[c]), item->child(c));
    }
    EXPECT_EQ(help.SelectedNode(), -1);
    EXPECT_TRUE(help.BackList().empty());
}

TEST_F(HelpWindowTest, ShowHelpForKnownAndUnknownWords)
{
    help.ShowHelpFor("attack"); // no regard to case
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.SelectedNode(), FunctionNode("Monster", "Attack"));
    EXPECT_EQ(ShownFile(), "Monster.class.html");
    EXPECT_EQ(help.SearchText(), "attack");
    EXPECT_EQ(help.View()->SelectedText(), "Attack");
    EXPECT_GT(help.View()->verticalScrollBar()->value(), 0); // at the anchor, not at the top
    EXPECT_EQ(help.TitleText(), "Monster ");
    EXPECT_EQ(help.LastFunctionTarget(), "#functions.Attack");
    ASSERT_FALSE(help.BackList().empty());
    EXPECT_EQ(help.BackList().back(), help.CurrentFile() + "#functions.Attack");

    help.ShowHelpFor("Fireball");
    EXPECT_EQ(ShownFile(), "index.html");
    EXPECT_EQ(help.SelectedNode(), -1);
    EXPECT_EQ(help.TitleText(), "QV5Lang ");
    EXPECT_EQ(help.SearchText(), "attack"); // only a known word goes to the search box
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(HelpWindowTest, SearchCyclesThroughFunctionsOfOneNameAndWraps)
{
    const int first = help.Index.FunctionNames()[help.Index.IndexOfName("Say")].Node;
    help.Search("say");
    EXPECT_EQ(help.SelectedNode(), first);
    const std::string firstClass = ClassOfSelection();

    help.Search("Say");
    const std::string secondClass = ClassOfSelection();
    EXPECT_NE(help.SelectedNode(), first);
    EXPECT_EQ((std::set<std::string>{firstClass, secondClass}), (std::set<std::string>{"Monster", "Npc"}));
    EXPECT_EQ(ShownFile(), secondClass + ".class.html");
    EXPECT_EQ(help.View()->SelectedText(), "Say");

    help.Search("SAY"); // past the last "Say": back to the first
    EXPECT_EQ(help.SelectedNode(), first);
    EXPECT_EQ(ShownFile(), firstClass + ".class.html");

    // Five classes document Name: five searches visit each once, the sixth wraps.
    std::set<std::string> classes;
    help.Search("Name");
    const int firstName = help.SelectedNode();
    for (int i = 0; i < 5; ++i) {
        classes.insert(ClassOfSelection());
        help.Search("Name");
    }
    EXPECT_EQ(classes.size(), 5u);
    EXPECT_EQ(help.SelectedNode(), firstName);
}

TEST_F(HelpWindowTest, SearchForUnknownTextOrClassChangesNothing)
{
    help.SelectNode(FunctionNode("Player", "Heal"));
    const int node = help.SelectedNode();
    const std::string file = help.CurrentFile();
    const auto back = help.BackList();

    help.Search("Fireball");
    help.Search("");
    EXPECT_EQ(help.SelectedNode(), node);
    EXPECT_EQ(help.CurrentFile(), file);
    EXPECT_EQ(help.BackList(), back);

    // A class node is no entry of the index: searching its name again does nothing.
    help.SelectNode(ClassNode("Monster"));
    const auto afterClass = help.BackList();
    help.Search("monster");
    EXPECT_EQ(help.SelectedNode(), ClassNode("Monster"));
    EXPECT_EQ(help.BackList(), afterClass);
}

TEST_F(HelpWindowTest, BackReturnsToThePreviousLocation)
{
    help.Back(); // nothing recorded yet
    EXPECT_TRUE(help.CurrentFile().empty());

    help.ShowIndex();
    ASSERT_EQ(help.BackList().size(), 1u);
    help.Back(); // one location only
    EXPECT_EQ(help.BackList().size(), 1u);
    EXPECT_EQ(ShownFile(), "index.html");

    // Choosing a function on another page: the view reports the new page,
    // then the window records the function's place.
    help.SelectNode(FunctionNode("Monster", "Attack"));
    const std::string monster = help.CurrentFile();
    ASSERT_EQ(help.BackList().size(), 3u);
    EXPECT_EQ(help.BackList()[1], monster);
    EXPECT_EQ(help.BackList()[2], monster + "#functions.Attack");

    const int loads = help.View()->LoadCount();
    help.Back(); // the same page without anchor: only to its top
    EXPECT_EQ(help.BackList().size(), 2u);
    EXPECT_EQ(help.CurrentFile(), monster);
    EXPECT_EQ(help.View()->LoadCount(), loads);

    help.Back(); // another page: going back records nothing new
    EXPECT_EQ(ShownFile(), "index.html");
    EXPECT_EQ(help.BackList().size(), 1u);
    EXPECT_EQ(help.SelectedNode(), -1);
    EXPECT_EQ(help.TitleText(), "QV5Lang ");
}

TEST_F(HelpWindowTest, BackToAFunctionOnAnotherPageMarksIt)
{
    help.SelectNode(FunctionNode("Monster", "Drop"));
    help.SelectNode(ClassNode("Npc"));
    ASSERT_EQ(ShownFile(), "Npc.class.html");
    help.Back();
    EXPECT_EQ(ShownFile(), "Monster.class.html");
    EXPECT_EQ(help.View()->SelectedText(), "Drop");
    EXPECT_EQ(ClassOfSelection(), "Monster");
}

TEST_F(HelpWindowTest, ShowingThePageShownOnlyScrollsToTop)
{
    help.show();
    const std::string page = help.Index.PagePath("Monster.class.html");
    ASSERT_TRUE(help.ShowPage(page));
    const int loads = help.View()->LoadCount();
    QScrollBar* bar = help.View()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum() / 2);
    const auto back = help.BackList();

    EXPECT_TRUE(help.ShowPage(page));
    EXPECT_EQ(help.View()->LoadCount(), loads);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(help.BackList(), back);

    // With an anchor it is loaded again at the anchor, which is no navigation.
    EXPECT_TRUE(help.ShowPage(page + "#functions.Map"));
    EXPECT_EQ(help.View()->LoadCount(), loads + 1);
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(help.BackList(), back);

    // Top scrolls up and records the place with the last function target.
    help.SelectNode(FunctionNode("Monster", "Kill"));
    help.Top();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(help.BackList().back(), help.CurrentFile() + "#functions.Kill");
}

TEST_F(HelpWindowTest, ChoosingAnyFunctionSelectsItsNameInThePage)
{
    int checked = 0;
    for (int top : help.Index.TopLevel())
        for (int child : help.Index.Nodes()[top].Children) {
            help.SelectNode(child);
            EXPECT_EQ(ShownFile(), help.Index.Nodes()[top].Text + ".class.html");
            EXPECT_EQ(help.SelectedNode(), child);
            EXPECT_EQ(help.View()->SelectedText(), help.Index.Nodes()[child].Text)
                << help.Index.Nodes()[top].Text << "." << help.Index.Nodes()[child].Text;
            ++checked;
        }
    EXPECT_EQ(checked, 71);

    help.MarkAnchor(help.CurrentFile() + "#");
    EXPECT_EQ(help.View()->SelectedText(), "");
}

TEST_F(HelpWindowTest, LinksInPagesNavigateAndSyncTheTree)
{
    help.SelectNode(ClassNode("Monster"));
    help.View()->FollowLink("#functions.Say");
    EXPECT_EQ(help.SelectedNode(), FunctionNode("Monster", "Say"));
    EXPECT_EQ(help.View()->SelectedText(), "Say");
    EXPECT_EQ(help.BackList().back(), help.CurrentFile() + "#functions.Say");

    help.View()->FollowLink("Player.class.html#functions.Heal");
    EXPECT_EQ(ShownFile(), "Player.class.html");
    EXPECT_EQ(help.SelectedNode(), FunctionNode("Player", "Heal"));
    EXPECT_EQ(help.View()->SelectedText(), "Heal");
    EXPECT_EQ(help.TitleText(), "Player ");

    help.View()->FollowLink("index.html");
    EXPECT_EQ(ShownFile(), "index.html");
    EXPECT_EQ(help.SelectedNode(), -1);
    help.View()->FollowLink("http://example.org/");
    EXPECT_EQ(ShownFile(), "index.html");

    for (int i = 0; i < 150; ++i)
        help.View()->FollowLink("#top");
    EXPECT_EQ(help.View()->History().size(), THtmlView::MaxHistory);
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(HelpWindowTest, KeysOfTheWindowAndTheView)
{
    help.show();
    help.View()->setFocus();
    SendKey(help.View(), Qt::Key_PageDown);
    EXPECT_EQ(help.focusWidget(), help.View());

    SendKey(help.View(), Qt::Key_S, QStringLiteral("S"));
    EXPECT_EQ(help.focusWidget(), help.SearchBox());
    EXPECT_EQ(help.SearchText(), "S");

    help.SearchBox()->setText(QStringLiteral("Heal"));
    SendKey(help.SearchBox(), Qt::Key_Return); // the go button is the default
    EXPECT_EQ(help.SelectedNode(), FunctionNode("Player", "Heal"));

    SendKey(help.SearchBox(), Qt::Key_Escape);
    EXPECT_FALSE(help.isVisible());
    help.show();
    SendKey(help.View(), Qt::Key_Escape);
    EXPECT_FALSE(help.isVisible());
}

TEST(HelpWindowPages, TitleEndingIsCutAndBlankKept)
{
    TempDir dir;
    WriteFile(dir / "Thing.class.html", Page("Something - KESTRUNE", "<a name=functions.Run></a><b>Run</b> ()\n<ul>x</ul>"));
    WriteFile(dir / "Plain.class.html", Page("Plain title", "<p>No functions here.</p>"));
    ScriptedDialogs dialogs;
    TForm3 help(nullptr, &dialogs);
    help.LoadHelp(dir.Path().string());

    ASSERT_EQ(help.Index.TopLevel().size(), 2u);
    help.ShowHelpFor("Run");
    EXPECT_EQ(help.TitleText(), "Something ");
    const int plain = help.Index.TopLevel()[0];
    ASSERT_EQ(help.Index.Nodes()[plain].Text, "Plain");
    EXPECT_EQ(help.Index.Nodes()[plain].Image, 0);
    help.SelectNode(plain);
    EXPECT_EQ(help.TitleText(), "Plain title");
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST(HelpWindowPages, MarkingFindsTheWholeAnchorName)
{
    // "functions.Say" is a prefix of the anchor before it.
    TempDir dir;
    WriteFile(dir / "Talk.class.html",
              Page("Talk - KESTRUNE", "<a name=functions.SayHello></a><b>SayHello</b> ()\n<ul>first</ul>\n<hr>\n"
                                      "<pre>one\r\ntwo\n\nthree</pre>\n"
                                      "<a name=functions.Say></a><b>Say</b> (text)\n<ul>second</ul>"));
    ScriptedDialogs dialogs;
    TForm3 help(nullptr, &dialogs);
    help.LoadHelp(dir.Path().string());
    help.ShowHelpFor("Say");
    EXPECT_EQ(help.View()->SelectedText(), "Say");
    const QTextCursor cursor = help.View()->textCursor();
    const QString after = help.View()->document()->toPlainText().mid(cursor.selectionEnd(), 2);
    EXPECT_EQ(after, QStringLiteral(" ("));
}

TEST(HelpWindowPages, MissingPagesAreReported)
{
    TempDir dir;
    WriteFile(dir / "Ghost.class.html", Page("Ghost", "<a name=functions.Boo></a><b>Boo</b>\n<ul>x</ul>"));
    ScriptedDialogs dialogs;
    TForm3 help(nullptr, &dialogs);
    help.LoadHelp(dir.Path().string());
    fs::remove(dir / "Ghost.class.html");

    help.ShowIndex(); // the folder has no start page
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "Can't locate file: " + help.Index.PagePath("index.html"));

    help.ShowHelpFor("Boo"); // the page went away after indexing
    ASSERT_EQ(dialogs.Errors.size(), 2u);
    EXPECT_EQ(dialogs.Errors[1], "Can't locate file: " + help.Index.PagePath("Ghost.class.html"));
    EXPECT_TRUE(help.CurrentFile().empty());
    // The window still records where it is with the function's target.
    EXPECT_EQ(help.BackList(), std::vector<std::string>{"#functions.Boo"});

    // No help folder at all: an empty tree, only the start page to try.
    help.LoadHelp((dir / "none").string());
    EXPECT_EQ(help.Tree()->topLevelItemCount(), 0);
    help.ShowHelpFor("Boo");
    ASSERT_EQ(dialogs.Errors.size(), 3u);
    EXPECT_EQ(dialogs.Errors[2], "Can't locate file: " + help.Index.PagePath("index.html"));
    help.Search("Boo");
    help.Back();
    help.Top();
    EXPECT_EQ(dialogs.Errors.size(), 3u);
}

TEST(HelpWindowPages, PageChangeFindsTheFunctionFurtherDownTheTree)
{
    // Beta's page names Run without documenting it: the first Run from Beta's
    // first child on is Gamma's, not Alpha's. Nothing named Fly: Beta itself.
    TempDir dir;
    WriteFile(dir / "Alpha.class.html", Page("Alpha", "<a name=functions.Run></a><b>Run</b> ()\n<ul>a</ul>"));
    WriteFile(dir / "Beta.class.html",
              Page("Beta", "<a name=functions.Walk></a><b>Walk</b> ()\n<ul>b</ul>\n<a href=\"#functions.Run\">Run</a>"));
    WriteFile(dir / "Gamma.class.html", Page("Gamma", "<a name=functions.Run></a><b>Run</b> ()\n<ul>c</ul>"));
    WriteFile(dir / "Empty.class.html", Page("Empty", "<p>none</p>"));
    ScriptedDialogs dialogs;
    TForm3 help(nullptr, &dialogs);
    help.LoadHelp(dir.Path().string());
    const auto node = [&help](const std::string& cls, const std::string& function) {
        for (int top : help.Index.TopLevel())
            if (help.Index.Nodes()[top].Text == cls) {
                if (function.empty())
                    return top;
                for (int child : help.Index.Nodes()[top].Children)
                    if (help.Index.Nodes()[child].Text == function)
                        return child;
            }
        return -1;
    };

    help.SelectNode(node("Beta", "Walk"));
    help.View()->FollowLink("#functions.Run");
    EXPECT_EQ(fs::path(help.CurrentFile()).filename().string(), "Beta.class.html");
    EXPECT_EQ(help.SelectedNode(), node("Gamma", "Run"));
    help.View()->FollowLink("#functions.Fly");
    EXPECT_EQ(help.SelectedNode(), node("Beta", ""));
    help.View()->FollowLink("Empty.class.html#functions.Run"); // no first child: the class
    EXPECT_EQ(help.SelectedNode(), node("Empty", ""));
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST(HelpWindowPages, UpperCaseClassPageEndingsOpenUnderTheirOwnName)
{
    TempDir dir;
    WriteFile(dir / "Loud.CLASS.HTML", Page("Loud", "<a name=functions.Shout></a><b>Shout</b> (text)\n<ul>x</ul>"));
    ScriptedDialogs dialogs;
    TForm3 help(nullptr, &dialogs);
    help.LoadHelp(dir.Path().string());
    ASSERT_EQ(help.Index.TopLevel().size(), 1u);
    const int loud = help.Index.TopLevel()[0];
    EXPECT_EQ(help.Index.Nodes()[loud].Text, "Loud");

    help.ShowHelpFor("shout");
    EXPECT_EQ(fs::path(help.CurrentFile()).filename().string(), "Loud.CLASS.HTML");
    ASSERT_EQ(help.Index.Nodes()[loud].Children.size(), 1u);
    EXPECT_EQ(help.SelectedNode(), help.Index.Nodes()[loud].Children[0]);
    EXPECT_EQ(help.View()->SelectedText(), "Shout");
    EXPECT_EQ(help.BackList().back(), help.CurrentFile() + "#functions.Shout");
    help.ShowIndex(); // no start page here
    help.SelectNode(loud);
    EXPECT_EQ(fs::path(help.CurrentFile()).filename().string(), "Loud.CLASS.HTML");
    EXPECT_EQ(help.SelectedNode(), loud);
    EXPECT_EQ(dialogs.Errors.size(), 1u);
}

TEST(HelpWindowGeometry, DefaultsAndRoundTrip)
{
    OwnSettings own;
    {
        auto settings = TSettings::OpenSettings();
        TForm3 help;
        help.ReadGeometry(*settings);
        EXPECT_EQ(help.geometry(), QRect(10, 10, 757, 569));

        settings->WriteString("qv5editor\\help", "width", "wide");
        help.ReadGeometry(*settings);
        EXPECT_EQ(help.width(), 757);

        help.setGeometry(30, 40, 600, 500);
        help.WriteGeometry(*settings);
        settings->CloseSettings();
    }
    auto settings = TSettings::OpenSettings();
    EXPECT_EQ(settings->ReadString("qv5editor\\help", "width", ""), "600");
    EXPECT_EQ(settings->ReadString("qv5editor\\help", "top", ""), "40");
    TForm3 again;
    again.ReadGeometry(*settings);
    EXPECT_EQ(again.geometry(), QRect(30, 40, 600, 500));
}

} // namespace

namespace kestrune {
namespace {

// A look at the window on a function of the sample pages.
TEST_F(HelpWindowTest, Screenshot)
{
    help.ShowHelpFor("Attack");
    const QImage shot = help.grab().toImage();
    EXPECT_FALSE(shot.isNull());
    shot.save(QStringLiteral(KESTRUNE_BUILD_DIR "/tests/helpwindow.png"));
    help.hide();
}

} // namespace
} // namespace kestrune
