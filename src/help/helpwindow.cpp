#include "help/helpwindow.h"

namespace kestrune {

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("QV5Lang help"));
}

void TForm3::LoadHelp(const std::string& docName)
{
    DocName = docName;
    Index.BuildFunctionIndex(docName);
}

void TForm3::ShowHelpFor(const std::string&)
{
    show();
    raise();
}

} // namespace kestrune
