#pragma once
// The code editor window, docked into the main window's code area.


#include <QWidget>

#include <string>

namespace kestrune {

class Project;
class TParList;

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
