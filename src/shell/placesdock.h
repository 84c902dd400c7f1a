#pragma once
// "Places": the dockable list the project check, "Where used" and "Find in
// scripts" fill. Each row is one place of the project; a double click (or
// Enter) takes the designer there.

#include "model/projectcheck.h"

#include <QDialog>
#include <QDockWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTreeWidget;

namespace kestrune {

class TPlacesDock : public QDockWidget {
public:
    explicit TPlacesDock(QWidget* parent = nullptr);

    // Shows the rows under a heading ("Check project: 3 problems").
    void SetPlaces(const std::string& heading, std::vector<TProblem> places);
    const std::vector<TProblem>& Places() const { return places_; }
    QTreeWidget* List() const { return list_; }
    QString Heading() const;
    // Goes to the place of a row, as a double click on it does.
    void Activate(int row);

    // Told to go to a place.
    std::function<void(const TProblem&)> OnGo;

private:
    QLabel* heading_ = nullptr;
    QTreeWidget* list_ = nullptr;
    std::vector<TProblem> places_;
};

// The question of "Find in scripts": a text and the two options.
class TFindScriptsDialog : public QDialog {
public:
    explicit TFindScriptsDialog(QWidget* parent = nullptr);
    std::string Text() const;
    bool WholeWord() const;
    bool MatchCase() const;
    QLineEdit* TextBox() const { return text_; }

private:
    QLineEdit* text_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
};

} // namespace kestrune
