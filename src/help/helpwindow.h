#pragma once
// "QV5Lang help": the help window over the language's HTML pages, and the
// function index built from them at start-up.
//
// The tree on the left lists the class pages and their functions; the view on
// the right shows a page. Choosing a function shows its class page at the
// function's anchor; every place shown is recorded in the Back list and the
// tree follows the page (with the synchronisation flag set, so that following
// loads nothing). The decisions are plain methods; the widgets only turn
// clicks and keys into them.

#include "help/functionindex.h"

#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPixmap;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

class THtmlView;
class TSettings;
class UserDialogs;

class TForm3 : public QWidget {
public:
    // Failures are reported through the dialogs; without any, the window
    // shows message boxes of its own.
    explicit TForm3(QWidget* parent = nullptr, UserDialogs* dialogs = nullptr);
    ~TForm3() override;

    // Reads the help pages of a document set and builds the function index
    // that the code editor's colouring, completion and help use, and the tree.
    void LoadHelp(const std::string& docName);
    // Shows the function of that name, or the start page when the index has
    // no such function, and brings the window up.
    void ShowHelpFor(const std::string& word);

    // Geometry in the settings subkey "qv5editor\help".
    void ReadGeometry(TSettings& settings);
    void WriteGeometry(TSettings& settings);

    // Shows a page (a path that may end in "#anchor"): the page shown now
    // only scrolls to the top. False when the page could not be loaded.
    bool ShowPage(const std::string& path);
    // Selects a node of the index (as a click in the tree would) and shows
    // what it stands for; -1 or an unknown node does nothing.
    void SelectNode(int node);
    // What choosing a node shows: a function at its anchor on its class page,
    // or a class page.
    void NodeChosen(int node);
    // Records the place shown in the Back list, updates the title line and
    // selects the matching node; byWindow adds the last function target.
    void RecordLocation(bool byWindow);
    // Selects the function name of the anchor of a location or target on the
    // page shown; no anchor clears the selection.
    void MarkAnchor(const std::string& location);

    // The tool bar's buttons.
    void Back();
    void Top();
    void ShowIndex();
    void CloseHelp();
    // The go button: the function of that name, or the next one of the same
    // name when one is selected already (wrapping to the first).
    void Search(const std::string& text);

    // Node number of the selected tree item, or -1.
    int SelectedNode() const;
    const std::vector<std::string>& BackList() const { return backList_; }
    const std::string& LastFunctionTarget() const { return lastFunctionTarget_; }
    std::string TitleText() const;
    std::string CurrentFile() const;
    std::string SearchText() const;

    THtmlView* View() const { return view_; }
    QTreeWidget* Tree() const { return tree_; }
    QLineEdit* SearchBox() const { return searchBox_; }
    QTreeWidgetItem* ItemOfNode(int node) const;

    // The tree images: 0 class page without functions, 1 class page with
    // functions, 2 function, 3 selected function.
    static QPixmap HelpImage(int index);

    std::string DocName;
    TFunctionIndex Index;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FillTree();
    // Selects an item (or none) without reacting to the change.
    void SyncSelection(QTreeWidgetItem* item);
    void ViewKeyPressed(QKeyEvent* event);

    THtmlView* view_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QLineEdit* searchBox_ = nullptr;
    QToolButton* goButton_ = nullptr;
    QLabel* title_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QAction* searchAction_ = nullptr;

    std::vector<QTreeWidgetItem*> items_; // by node number
    std::vector<std::string> backList_;
    std::string lastFunctionTarget_;
    bool goingBack_ = false;
    bool syncing_ = false;
};

} // namespace kestrune
