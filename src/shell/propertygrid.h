#pragma once
// The property panel's decisions: which list of which element, map, cell or
// placement the property table shows, when the table is stored back into
// its list, what may be edited, how a posted row is validated and passed on,
// and the commands of the panel's toolbar. The grid control only displays
// the table and translates clicks into these calls.

#include "core/proptable.h"
#include "model/editsession.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrune {

class Project;
class TField;
class TPictureField;
class TListedItem;
class TMap;
class TParList;
class TEventList;
class UserDialogs;

// What the property panel needs of the rest of the main window.
class TGridHost {
public:
    virtual ~TGridHost() = default;
    virtual void SetModified() = 0;
    // The map open in the map view (the placeholder map when none is), or none.
    virtual TMap* OpenMap() = 0;
    // The library element of the tree's selected node, or none.
    virtual const TListedItem* SelectedLibraryElement() = 0;
    virtual void RefreshPreview() = 0;
    virtual void RepaintCursorCell() = 0;
    virtual void ListPlacements() = 0;
    // The open map's size changed.
    virtual void MapResized() = 0;
    // Moves the tree's selected node (with its subtree) under the node of that caption.
    virtual void MoveSelectedNode(const std::string& parentCaption) = 0;

    // ---- the code editor ----
    // The element whose list the code editor edits, or none.
    virtual TListedItem* CodeElement() { return nullptr; }
    virtual void CodeSaveCurrent() {}
    // Stores the shown text and shows a list (its first entry).
    virtual void CodeSwitchList(TListedItem*, TParList*) {}
    // Shows a list without storing the shown text first.
    virtual void CodeOpenList(TListedItem*, TParList*) {}
    // Opens an event of the element (created empty when missing); its text.
    virtual std::string CodeOpenEvent(TListedItem*, const std::string&) { return {}; }
    // Stores the shown text and shows the current entry again.
    virtual void CodeReselect() {}
    virtual void CodeSetTableLink(TPropertyTable*) {}
};

// A rectangle that marks a picture's footprint in the preview.
struct TFootprint {
    int Width = 0, Height = 0; // in pixels
    int OffsetX = 0, OffsetY = 0;
};
// The footprint a picture row's description and value give, if any: the
// description begins with "WxH" and the value may carry ",X,Y" after the file.
std::optional<TFootprint> FootprintOf(const std::string& description, const std::string& value);

class TPropertyGrid {
public:
    enum class Tab { Properties = 0, Events = 1 };

    // The grid keeps what it shows in the session (its own one when none is given).
    TPropertyGrid(Project& project, UserDialogs& dialogs, TGridHost& host, TEditSession* session = nullptr);
    ~TPropertyGrid();
    TPropertyGrid(const TPropertyGrid&) = delete;
    TPropertyGrid& operator=(const TPropertyGrid&) = delete;

    TPropertyTable Table;

    // ---- what is shown ----
    void ShowElement(TListedItem* element);
    void ShowLists(TParList* params, TParList* events, const std::string& key);
    void UpdateGridState();
    // Ends a pending edit of the table before the row is left by any route
    // other than Enter: a value that passes validation is posted; one that
    // fails it is refused with the message and the edit is abandoned, so
    // that nothing stores a refused value. False when it was abandoned.
    bool SettleEdit();
    // Stores the table into the shown list (before saving, for example).
    void StoreTable();
    // Copies the shown list into the table again (after it was edited elsewhere).
    void ShowAgain();
    // Forgets the shown lists without storing (their element is gone).
    void ForgetLists();

    TListedItem* ShownElement() const { return session_.Shown; }
    TParList* ShownParams() const { return session_.ShownParams; }
    TParList* ShownEvents() const { return session_.ShownEvents; }
    const std::string& ShownKey() const { return session_.ShownKey; }
    TEditSession& Session() { return session_; }
    int ExpandedGroup() const { return expandedGroup_; }
    Tab CurrentTab() const { return tab_; }
    bool ReadOnly() const { return readOnly_; }
    // The caption beside the toolbar: the events list's name, a space, the key.
    std::string Caption() const;
    bool KeyWordsVisible() const { return keyWordsVisible_; }

    // ---- commands ----
    void SetTab(Tab tab);
    // A click on a heading row opens its group or closes it again.
    void ClickHeading(const std::string& rowName);
    // Posts the table's pending edit (validation and the after-post steps run).
    bool Post();
    void AddRow();
    void RenameRow();
    void RemoveRow();
    // The definition of a row of the shown parameters, or none.
    TField* FieldOf(const std::string& rowName) const;
    // The ellipsis button of the current row: on the events tab the code
    // editor opens the event (also when the grid is read-only); the picture
    // chooser for a picture row, otherwise the larger text editor given here.
    void Ellipsis(const std::function<std::string(const std::string&)>& editText);
    // The picture file a picture row of the shown element names, for the
    // Lib-mode preview: below the element's base folder, else below the data
    // folder; empty when it names no existing file.
    std::string PreviewFile(const TPictureField& field, const std::string& value) const;
    // The picture the current row previews: in Lib mode, on the "Properties"
    // tab, a picture row's existing file; empty otherwise.
    std::string CurrentPreviewFile() const;
    // The key words of the shown NPC definition or NPC instance, or none.
    TEventList* KeyWordsList() const;
    // The folder a picture row's files are chosen from: the field's folder
    // below the project folder when it exists there, else below the data folder.
    std::string PictureBaseFolder(const TPictureField& field) const;

private:
    bool BeforePost(TPropertyTable& table);
    // Rows of the shown parameters were removed or renamed.
    void ListEdited();
    // After the table was stored: the shown element derives again what it
    // derives from its parameters, when rows left the list.
    void Rederive(bool showAgain);
    void RewritePosted(TPropertyTable& table, const std::string& name, const std::string& value);
    void AfterPost(TPropertyTable& table);
    // What a post sets off; `store` is called once, before anything that may
    // show another list.
    void AfterPostChanges(TPropertyTable& table, const std::function<void()>& store = {});
    // Stores the table into the shown list now (a designer changed it).
    void StoreChange(TPropertyTable& table);
    void StoreIfUnstored(TParList& list);
    // Records the change the shown list is about to get, named as a step.
    TRecordListEdit RecordChange(const std::string& step);
    bool RowVisible(const TPropertyRow& row) const;
    TParList* ListOfTab() const { return tab_ == Tab::Events ? session_.ShownEvents : session_.ShownParams; }
    void ListChanging(TParList& list);
    void ListChanged(TParList& list);
    void Leaving(TListedItem& thing);
    std::optional<std::string> AskRowName(const std::string& title, const std::string& start);

    Project& project_;
    UserDialogs& dialogs_;
    TGridHost& host_;
    std::unique_ptr<TEditSession> ownSession_;
    TEditSession& session_;
    int observerId_ = 0;
    int expandedGroup_ = 0;
    Tab tab_ = Tab::Properties;
    bool busy_ = false;
    bool rederive_ = false;
    // The table holds a change its list lacks.
    bool unstored_ = false;
    // The table is shown again when it is next stored.
    bool reshow_ = false;
    // The step a post belongs to, when it is part of a larger one.
    TRecordListEdit* outerRecord_ = nullptr;
    bool readOnly_ = false;
    bool keyWordsVisible_ = false;
};

} // namespace kestrune
