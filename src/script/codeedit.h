#pragma once
// "Code editor": edits, entry by entry, the texts of one parameter list (the
// event scripts of an element or map, the key words of an NPC). Created at
// start-up and docked into the main window's code area; it never shows a
// window of its own.

#include "model/editsession.h"

#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QListWidget;
class QToolBar;
class QAction;
class QSplitter;

namespace kestrune {

class Project;
class TCodeCompletion;
class TForm3;
class TfrmParamEdit;
class TListedItem;
class TLoadSaveList;
class TParList;
class TPropertyTable;
class TSettings;
class TSourceEdit;
class UserDialogs;

class TfrmCodeEdit : public QWidget {
public:
    explicit TfrmCodeEdit(QWidget* parent = nullptr);
    ~TfrmCodeEdit() override;

    // ---- what the editor works with (set by the main window) ----
    void SetDialogs(UserDialogs* dialogs) { dialogs_ = dialogs; }
    void SetHelp(TForm3* help);
    void SetParamEdit(TfrmParamEdit* paramEdit) { paramEdit_ = paramEdit; }
    void SetProject(Project* project) { project_ = project; }
    // The naming dialog: asks for a name the list does not hold yet.
    std::function<std::optional<std::string>(const TLoadSaveList& list, const std::string& label,
                                             const std::string& initial)>
        AskNewName;
    // What is being edited: the code pane's element and list live there, as
    // do the grid's shown lists and cell filter (for example "[3,7]"). The
    // editor has a session of its own until one is given.
    void SetSession(TEditSession* session);
    TEditSession& Session() { return *session_; }
    // A double click on an entry of the entry list (its text).
    std::function<void(const std::string&)> OnEntryDoubleClick;
    // A text was stored into a list (the project has changed).
    std::function<void()> OnModified;

    // ---- operations ----
    std::string OpenList(TListedItem* element, TParList* list, const std::string& name);
    void SaveCurrent();
    std::string SwitchList(TListedItem* element, TParList* list, const std::string& name);
    std::string OpenEvent(TListedItem* element, const std::string& name);
    // False when refused: no entry is current, or another entry has the name.
    bool RenameCurrent(const std::string& newName);
    void Detach();
    void RefreshNames(const Project& project);
    void SetTableLink(TPropertyTable* table) { tableLink_ = table; }
    void ShowNamesEditor();
    void SetAddParentheses(bool on);
    void SetCompletionDelay(int ms);
    bool AddParentheses() const;
    int CompletionDelay() const;

    // ---- commands of the pane ----
    void AddEntry();
    void RemoveEntry();
    void RenameEntry();
    // A click on the entry in that row of the entry list.
    void ClickEntry(int row);
    // Selects the entry the current one shown again (the shown text is
    // stored and shown anew), as a click on it does.
    void ReselectCurrent();
    // Mouse wheel: steps > 0 towards the top.
    void WheelStep(int steps);
    void ConvertTextToName();
    void CutAll();
    void HelpAtCaret();
    // The word around the caret (letters, digits, "_").
    std::string WordAtCaret() const;

    // ---- docking and focus ----
    // Moves the pane into the code area and the completion panels into the
    // work area (the whole right side of the main window).
    void DockInto(QWidget* codeArea, QWidget* workArea = nullptr);
    // Takes the pane back (before the main window goes).
    void Undock();
    // Word list 2: the function names of the help's index.
    void FillFunctionWords();
    bool TextHasFocus() const;
    // The entry list or the text area has the focus.
    bool PaneHasFocus() const;
    void FocusText();

    // The geometry values of the code editor's host window and of the help
    // window: read at creation, written at exit.
    void ReadSettings(TSettings& settings);
    void WriteSettings(TSettings& settings);
    QRect HostGeometry() const { return hostGeometry_; }

    // ---- state ----
    TListedItem* CurrentElement() const { return session_->CodeElement; }
    // The open list belongs to an element of the data folder, which is never saved.
    bool ReadOnly() const;
    TParList* CurrentList() const { return session_->CodeList; }
    const std::string& CurrentEntry() const { return entry_; }
    TPropertyTable* TableLink() const { return tableLink_; }
    const std::vector<std::string>& NameChoices() const { return nameChoices_; }
    // The property-table row of the current entry, or empty.
    std::string RowName() const;
    std::string RowNameOf(const std::string& entry) const;

    TSourceEdit* Editor() const { return edit_; }
    QListWidget* EntryList() const { return entries_; }
    TCodeCompletion* Completion() const { return completion_; }
    QWidget* Pane() const { return pane_; }
    QAction* UndoAction() const { return undo_; }
    QAction* RedoAction() const { return redo_; }

    // The mime type a dragged entry carries (its text).
    static const char* EntryMimeType();

private:
    // Records the change the edited list is about to get, seen at the entry's cell.
    TRecordListEdit RecordChange(const std::string& step, const std::string& entry, int merge);
    void BuildPane();
    void FillEntryList(int selectRow);
    void ShowText(const std::string& text);
    void UpdateHistoryButtons();
    bool IsCurrentEvents() const;
    bool EditKeyDown(class QKeyEvent* event);
    void EntryListKey(int key);
    std::string LabelForList() const;
    TParList* ProjectNames() const;

    UserDialogs* dialogs_ = nullptr;
    TForm3* help_ = nullptr;
    TfrmParamEdit* paramEdit_ = nullptr;
    Project* project_ = nullptr;

    std::unique_ptr<TEditSession> ownSession_;
    TEditSession* session_ = nullptr;
    int observerId_ = 0;
    std::string entry_;
    TPropertyTable* tableLink_ = nullptr;
    std::vector<std::string> nameChoices_;
    bool filling_ = false;
    // Stores of one shown text are one step of the history.
    int textSerial_ = 0;
    static int NewSerial();
    // A change the pane makes to its list, told to the other windows (the
    // grid's table may show it) but not to the pane itself.
    class TOwnListChange {
    public:
        explicit TOwnListChange(TfrmCodeEdit& pane);
        ~TOwnListChange();
        TOwnListChange(const TOwnListChange&) = delete;
        TOwnListChange& operator=(const TOwnListChange&) = delete;

    private:
        TfrmCodeEdit& pane_;
        TParList* list_;
        bool was_;
    };
    bool ownChange_ = false;

    QWidget* pane_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QListWidget* entries_ = nullptr;
    TSourceEdit* edit_ = nullptr;
    TCodeCompletion* completion_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QRect hostGeometry_;
};

} // namespace kestrune
