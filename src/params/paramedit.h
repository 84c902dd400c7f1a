#pragma once
// The parameters editor: a modal window that edits a whole parameter list as
// a table of name and value rows. One grid shows the rows and chooses the
// current one; the editing panel below it edits that row's name and value.
// Every posted row is sorted into place by name; a row posted without a name
// is refused with an error and removed. Closing the window writes the table
// back into the list. Each caption keeps its own size and position in the
// settings under "qv5editor\" followed by the caption.

#include "core/proptable.h"

#include <QDialog>

#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSplitter;
class QToolBar;
class QToolButton;
class QWidget;

namespace kestrune {

class TDataGrid;
class TParList;
class UserDialogs;

class TfrmParamEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 460;
    static constexpr int DesignHeight = 545;
    static constexpr int DesignPanelHeight = 315;
    static constexpr int DesignNameWidth = 150;
    static constexpr int MinNameWidth = 20;

    explicit TfrmParamEdit(UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TfrmParamEdit() override;

    // Edits a list modally: BeginEdit, the modal window, FinishEdit.
    // Whether the list came back changed (names, values or their order).
    bool EditList(TParList* list, const std::string& caption, const std::string& positionAt = {});

    // The steps before the window is shown: the caption, the table filled
    // from the list in name order, the row named `positionAt` (exactly)
    // current, else the first row.
    void BeginEdit(TParList* list, const std::string& caption, const std::string& positionAt = {});
    // The step after it is closed: a pending row is posted and the table is
    // written back into the list.
    void FinishEdit();

    // ---- commands of the tool bar and the editing panel ----
    // A new empty row in insert state at the current row's place (posting
    // sorts it into name order); the name box gets the focus.
    void Add();
    // Asks "Are you sure to delete <name>?"; Yes deletes the current row.
    void Remove();
    // Closes the window with the OK result (posting a pending row first).
    void CloseWindow();
    // Posts the current row's edits (the confirm button).
    bool ConfirmRow();
    // Drops the current row's edits (the cancel button).
    void CancelRow();

    // What the boxes of the editing panel write into the current row.
    void TypeName(const std::string& name);
    void TypeValue(const std::string& value);

    // ---- geometry ----
    // "qv5editor\" followed by the caption.
    std::string SettingsSection() const;
    // Read when the window is shown, written when it is hidden.
    void RestoreGeometry();
    void StoreGeometry();
    int PanelHeight() const;
    void SetPanelHeight(int height);
    int NameColumnWidth() const;

    TPropertyTable& Table() { return table_; }
    const TPropertyTable& Table() const { return table_; }
    TParList* List() const { return list_; }

    QToolBar* ToolBar;
    QAction* AddAction;
    QAction* RemoveAction;
    QAction* RenameAction; // exists, never shown
    QAction* CloseAction;
    TDataGrid* Grid;
    QSplitter* Splitter;
    QWidget* EditPanel;
    QToolButton* ConfirmButton;
    QToolButton* CancelButton;
    QLabel* NameLabel;
    QLineEdit* NameEdit;
    QPlainTextEdit* ValueEdit;
    QLabel* GroupLabel;  // covered by the value box: never shown
    QLineEdit* GroupEdit;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void TableChanged();
    // The box handlers: what the box holds goes into the row, and the box
    // keeps its text and caret unless the row could not store a character.
    void NameTyped();
    void ValueTyped();
    void RowPosted();
    void PostPending();
    void FocusChanged(QWidget* now);
    QMetaObject::Connection focusConnection_;

    UserDialogs& dialogs_;
    TPropertyTable table_;
    TParList* list_ = nullptr;
    std::string caption_;
    int panelHeight_ = DesignPanelHeight;
    bool syncing_ = false;
    QWidget* typingInto_ = nullptr; // the box whose typing is being stored
    bool posting_ = false;
};

} // namespace kestrune
