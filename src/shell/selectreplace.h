#pragma once
// "Select replace": asks which library element stands in for a name that a
// map refers to and the library lacks. Created once at start-up; the
// "Remove all missing" check box keeps its state for the rest of the run.

#include "core/loadsave.h"

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace kestrune {

class TForm2 : public QDialog, public TReplacementChooser {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // The message and the list of names, each entry carrying its position;
    // no entry is selected. The check box shows RemoveAllMissing.
    void Fill(const std::string& message, const std::vector<std::string>& names);
    // The answer after the window closed with `result`: the position of the
    // selected entry when closed with "Use this", nothing otherwise.
    std::optional<int> Answer(int result) const;

    QLabel* MessageLabel;
    QLabel* ChooseLabel;
    QListWidget* ListBox;
    QCheckBox* RemoveAllBox;
    QPushButton* UseThisButton;
    QPushButton* NoneButton;

protected:
    std::optional<int> ShowModal(const std::string& message, const std::vector<std::string>& names) override;
    // Runs the window modally and gives its result.
    virtual int RunModal();
};

} // namespace kestrune
