#pragma once
// The windows whose content is still to come: the language help and the
// code editor. Each holds its caption and the
// operations the main window calls, so that start-up, saving and the menus
// run through them already.

#include "help/functionindex.h"

#include <QWidget>

#include <string>

namespace kestrune {

class Project;
class TParList;

// "QV5Lang help".
class TForm3 : public QWidget {
public:
    explicit TForm3(QWidget* parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setWindowTitle(QStringLiteral("QV5Lang help"));
    }
    // Reads the help pages of a document set and builds the function index
    // that the code editor's colouring, completion and help use.
    void LoadHelp(const std::string& docName)
    {
        DocName = docName;
        Index.BuildFunctionIndex(docName);
    }
    std::string DocName;
    TFunctionIndex Index;
};

// "Code editor": docked into the main window's code area at start-up.
class TfrmCodeEdit : public QWidget {
public:
    explicit TfrmCodeEdit(QWidget* parent = nullptr) : QWidget(parent, Qt::Window)
    {
        setWindowTitle(QStringLiteral("Code editor"));
    }
    // Moves the editor's controls into an area of the main window.
    void DockInto(QWidget* area) { DockedIn = area; }
    // Stores the text being edited into its list.
    void SaveCurrent() {}
    // Fills the list of known names from the project.
    void RefreshNames(const Project&) {}
    // Opens the editor of the game's names.
    void ShowNamesEditor() {}
    void SetAddParentheses(bool on) { AddParentheses = on; }
    void SetCompletionDelay(int ms) { CompletionDelay = ms; }
    // Whether its text control has the keyboard focus.
    bool TextHasFocus() const { return false; }

    QWidget* DockedIn = nullptr;
    bool AddParentheses = true;
    int CompletionDelay = 400;
};

} // namespace kestrune
