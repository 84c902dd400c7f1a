#pragma once
// "Select project": lists the projects of a game installation folder (the
// folders "NAME.game" beside its "data" folder), opens one or creates a new,
// empty one, and hands the chosen project folder back to start-up. The
// installation folder last opened with "Ok" is remembered as "gameDir".
//
// Every decision lives in a plain method (FormShow, OpenFolder,
// ChooseProject, OpenProject, NewProject, Exit); the widgets only turn
// clicks into those calls.

#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;

namespace kestrune {

class UserDialogs;

class TfrmSelectProject : public QDialog {
    Q_OBJECT

public:
    explicit TfrmSelectProject(UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TfrmSelectProject() override;

    // The folder box ("Game dir : "); start-up may preset it before showing.
    void SetFolderText(const std::string& text);
    std::string FolderText() const;

    // What showing the window does: an empty folder box is filled with the
    // remembered installation folder, then the folder is listed.
    void FormShow();
    // "&Open": lists the projects of the folder in the box. False (after the
    // error box) when the folder has no "data" folder.
    bool OpenFolder();
    // A click in the list: the project at index becomes the chosen one
    // (-1 or an index outside the list: none) and "Ok" follows.
    void ChooseProject(int index);
    // "Ok": opens the chosen project and closes with the result OK. False
    // when no project is chosen.
    bool OpenProject();
    // "New": asks for a name and creates the project. True when it was
    // created and the window closed with the result OK.
    bool NewProject();
    // "Exit": closes with the result Cancel.
    void Exit();

    // The folder listed by the last "&Open" (ends with the separator unless empty).
    const std::string& InstallFolder() const { return installFolder_; }
    // The project names shown, without their ".game" ending, in listing order.
    const std::vector<std::string>& Projects() const { return projects_; }
    int ChosenProject() const { return chosen_; }
    bool OkEnabled() const;
    bool NewEnabled() const;
    // The project folder chosen by a successful "Ok" or "New", with the
    // trailing separator; untouched otherwise.
    const std::string& ProjectFolder() const { return projectFolder_; }

    QLineEdit* FolderBox() const { return folderBox_; }
    QListWidget* ProjectList() const { return list_; }
    QPushButton* OpenButton() const { return openButton_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* NewButton() const { return newButton_; }
    QPushButton* ExitButton() const { return exitButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void ShowChosen();
    bool ProjectFolderExists(const std::string& name) const;

    UserDialogs& dialogs_;
    std::string installFolder_;
    std::string projectFolder_;
    std::vector<std::string> projects_;
    std::vector<std::string> entries_; // the listed names as the file system spells them
    int chosen_ = -1;

    QLineEdit* folderBox_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* newButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
};

} // namespace kestrune
