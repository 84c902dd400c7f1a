// kestrune-editor: the desktop editor.

#include "controls/userdialogs.h"
#include "shell/editorwindows.h"
#include "shell/mainwindow.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const Help =
    "usage: kestrune-editor [PROJECT.game] [FOLDER] [/game=DATAFOLDER] [/doc=HELPFOLDER] [/develop]\n"
    "\n"
    "Edits the maps, elements and scripts of a Kestrune game project.\n"
    "  PROJECT.game        opens that project folder\n"
    "  FOLDER              shows the project selection on that installation folder\n"
    "  /game=DATAFOLDER    edits the shared game data of a data folder\n"
    "  /doc=HELPFOLDER     the QV5Lang help pages (default: qv5lang)\n"
    "  /develop            the start-up window does not stay on top\n"
    "  --help, --version   print this text or the version, and exit\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before the toolkit starts: no display is needed.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << Help;
            return 0;
        }
        if (a == "--version") {
            std::cout << "kestrune-editor " KESTRUNE_VERSION "\n";
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
    QApplication::setApplicationName(QStringLiteral("Kestrune game editor"));

    kestrune::QtUserDialogs realDialogs;
    // For end-to-end tests (KESTRUNE_CLOSE_AFTER_START): "Save changes?" is
    // answered No, every other question as the real dialogs would be shown.
    struct NoToSaving : kestrune::UserDialogs {
        kestrune::UserDialogs& real;
        explicit NoToSaving(kestrune::UserDialogs& r) : real(r) {}
        void Error(const std::string& text) override { real.Error(text); }
        bool Confirm(const std::string& text) override { return real.Confirm(text); }
        Answer YesNoCancel(const std::string&) override { return Answer::No; }
        std::optional<std::string> Input(const std::string& c, const std::string& p, const std::string& v) override
        {
            return real.Input(c, p, v);
        }
        std::optional<std::string> OpenPicture(const std::string& t, const std::string& f) override
        {
            return real.OpenPicture(t, f);
        }
    } noToSaving(realDialogs);
    const bool closeAfterStart = qEnvironmentVariableIsSet("KESTRUNE_CLOSE_AFTER_START");
    kestrune::UserDialogs& dialogs = closeAfterStart ? static_cast<kestrune::UserDialogs&>(noToSaving)
                                                     : static_cast<kestrune::UserDialogs&>(realDialogs);
    kestrune::TEditorWindows windows(dialogs);
    windows.CreateAll();
    // The program's own arguments, 8-bit as the rest of the editor.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    windows.Main->Arguments = args;

    // For end-to-end tests: KESTRUNE_CLOSE_AFTER_START closes the editor as
    // soon as the project is shown (as the close button would), after saving a
    // picture of the window to KESTRUNE_SCREENSHOT when that is set.
    if (closeAfterStart) {
        kestrune::TForm1* main = windows.Main.get();
        QObject::connect(main, &kestrune::TForm1::Started, main, [main] {
            const QString shot = qEnvironmentVariable("KESTRUNE_SCREENSHOT");
            if (!shot.isEmpty())
                main->grab().save(shot);
            main->close();
        }, Qt::QueuedConnection);
    }
    windows.Main->show();
    return QApplication::exec();
}
