#pragma once
// Every window of the editor, created once in a fixed order and alive until
// the editor ends.

#include <QIcon>

#include <memory>
#include <vector>

namespace kestrune {

class UserDialogs;
class TForm1;
class TfrmSelectProject;
class TfrmExpandedEdit;
class TForm2;
class TForm3;
class TfrmCodeEdit;
class TfrmLogo;
class TfrmConfig;
class TfrmParamEdit;

// The data module: the small image list shared by the tree and the lists.
class Tdm {
public:
    std::vector<QIcon> SmallImages;
};

class TEditorWindows {
public:
    explicit TEditorWindows(UserDialogs& dialogs);
    ~TEditorWindows();
    TEditorWindows(const TEditorWindows&) = delete;
    TEditorWindows& operator=(const TEditorWindows&) = delete;

    // Creates the windows in their order: main window, data module, project
    // selection, expanded edit, select replace, language help, code editor,
    // splash, configuration, parameters editor.
    void CreateAll();

    std::unique_ptr<TForm1> Main;
    std::unique_ptr<Tdm> DataModule;
    std::unique_ptr<TfrmSelectProject> SelectProject;
    std::unique_ptr<TfrmExpandedEdit> ExpandedEdit;
    std::unique_ptr<TForm2> SelectReplace;
    std::unique_ptr<TForm3> Help;
    std::unique_ptr<TfrmCodeEdit> CodeEdit;
    std::unique_ptr<TfrmLogo> Logo;
    std::unique_ptr<TfrmConfig> Config;
    std::unique_ptr<TfrmParamEdit> ParamEdit;

private:
    UserDialogs& dialogs_;
};

} // namespace kestrune
