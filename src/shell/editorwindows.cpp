#include "shell/editorwindows.h"

#include "params/paramedit.h"
#include "shell/config.h"
#include "shell/expandededit.h"
#include "help/helpwindow.h"
#include "script/codeedit.h"
#include "shell/logo.h"
#include "shell/mainwindow.h"
#include "shell/selectproject.h"
#include "shell/selectreplace.h"
#include "controls/settings.h"

namespace kestrune {

TEditorWindows::TEditorWindows(UserDialogs& dialogs) : dialogs_(dialogs) {}

TEditorWindows::~TEditorWindows()
{
    // The code editor's pane lives in the main window: take it back first,
    // then the main window, which refers to the others.
    if (CodeEdit)
        CodeEdit->Undock();
    Main.reset();
    if (CodeEdit) {
        // The code editor keeps its own and the help window's geometry.
        auto settings = TSettings::OpenSettings();
        CodeEdit->WriteSettings(*settings);
        settings->CloseSettings();
    }
}

void TEditorWindows::CreateAll()
{
    Main = std::make_unique<TForm1>(dialogs_, *this);
    DataModule = std::make_unique<Tdm>();
    SelectProject = std::make_unique<TfrmSelectProject>(dialogs_);
    ExpandedEdit = std::make_unique<TfrmExpandedEdit>();
    SelectReplace = std::make_unique<TForm2>();
    Help = std::make_unique<TForm3>(nullptr, &dialogs_);
    CodeEdit = std::make_unique<TfrmCodeEdit>();
    CodeEdit->SetHelp(Help.get());
    {
        auto settings = TSettings::OpenSettings();
        CodeEdit->ReadSettings(*settings);
    }
    Logo = std::make_unique<TfrmLogo>();
    Config = std::make_unique<TfrmConfig>();
    ParamEdit = std::make_unique<TfrmParamEdit>(dialogs_);
}

} // namespace kestrune
