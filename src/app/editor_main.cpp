// kestrune-editor: the desktop editor.

#include "controls/userdialogs.h"
#include "shell/editorwindows.h"
#include "shell/mainwindow.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune game editor"));

    kestrune::QtUserDialogs dialogs;
    kestrune::TEditorWindows windows(dialogs);
    windows.CreateAll();
    // The program's own arguments, 8-bit as the rest of the editor.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    windows.Main->Arguments = args;
    windows.Main->show();
    return QApplication::exec();
}
