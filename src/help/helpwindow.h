#pragma once
// "QV5Lang help": the help window over the language's HTML pages, and the
// function index built from them at start-up.

#include "help/functionindex.h"

#include <QWidget>

#include <string>

namespace kestrune {

class TForm3 : public QWidget {
public:
    explicit TForm3(QWidget* parent = nullptr);
    // Reads the help pages of a document set and builds the function index
    // that the code editor's colouring, completion and help use.
    void LoadHelp(const std::string& docName);
    // Shows the function of that name, or the start page when the index has
    // no such function, and brings the window up.
    void ShowHelpFor(const std::string& word);

    std::string DocName;
    TFunctionIndex Index;
};

} // namespace kestrune
