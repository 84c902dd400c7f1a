#pragma once
// The element browser of the main window's left panel: the kind chosen by the
// kind buttons, the element tree (flat, grouped or nested by a parameter),
// the two working modes, the map chooser, and adding, removing and renaming
// maps and elements. The tree and the chooser are the main window's widgets;
// everything else the browser changes goes through TBrowserHost.

#include <QObject>
#include <QPointer>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QImage;
class QMimeData;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

class Project;
class TListedItem;
class TListedList;
class TLoadSaveList;
class TLoadSaveItem;
class TEditSession;
struct HeldMap;
struct HeldElement;
class TMap;
class TParList;
class UserDialogs;

// What the browser needs of the rest of the main window.
class TBrowserHost {
public:
    virtual ~TBrowserHost() = default;

    virtual void SetModified() = 0;

    // ---- property grid ----
    // Shows an element, map or placement (none: nothing).
    virtual void ShowElement(TListedItem* element) = 0;
    // Posts an unposted edit of the property table.
    virtual void PostPendingEdit() = 0;
    // The element whose lists the grid shows, or none.
    virtual TListedItem* ShownElement() = 0;
    // Forgets the shown element and its lists without storing them (they
    // are about to be destroyed).
    virtual void ForgetShownLists() = 0;

    // ---- map view ----
    // Lays the view out for the map and restores its scroll position; the
    // browser makes it the current map right after and then asks for a repaint.
    virtual void OpenMapInView(TMap& map) = 0;
    virtual void RepaintMap() = 0;
    virtual void RepaintCell(int x, int y) = 0;
    // Sizes the drawing area for an element's pattern (Lib mode), in pixels.
    virtual void SizeForPattern(int width, int height) = 0;
    virtual void HoldRepaint() = 0;
    virtual void ReleaseRepaint() = 0;
    // Refills the list of placed elements of the cursor cell.
    virtual void ListPlacements() = 0;
    // The same without showing an entry in the grid (another map opened).
    virtual void RefreshPlacements() {}

    // ---- code editor ----
    virtual void SaveCurrent() = 0;
    // ---- what is being edited ----
    // A map, element or placement is about to be removed for good: every
    // window lets go of it, of its lists and of what lies on it.
    virtual void Removing(TListedItem& thing) = 0;
    // An item or monster was placed on a map (for undo).
    virtual void Placed(TMap&, TListedItem&) {}
    // A list is about to be changed, and has been changed, by the browser.
    virtual void ListChanging(TParList&) {}
    virtual void ListChanged(TParList&) {}
    // Where changes are recorded for undo, if anywhere.
    virtual TEditSession* EditSession() { return nullptr; }
    // Selects an element in its kind (switching mode and kind as needed).
    virtual void ShowInKind(TListedItem&) {}

    // ---- element panel (upper part of the right column) ----
    virtual void SetElementPanelVisible(bool visible) = 0;
    virtual void SetElementPanelTitle(const std::string& title) = 0;
    virtual void SetPlacementsListVisible(bool visible) = 0;
    // The picture of the selected element, or none (the image stays the
    // element's; the host draws or copies it at once).
    virtual void SetPreviewPicture(const QImage* picture) = 0;
    virtual void SetPreviewVisible(bool visible) = 0;

    // ---- toolbars and menus ----
    // The add, remove and rename buttons of the small toolbar.
    virtual void SetEditButtonsEnabled(bool add, bool remove, bool rename) = 0;
    // The radio mark of the "Edit mode" entry and the pressed kind button.
    virtual void SetKindMarks(int kind) = 0;
    // The caption of the kind 0 button: "Maps" or "Game".
    virtual void SetMapsCaption(const std::string& caption) = 0;
    // The window follows the working mode: the "Lib" button and the menu
    // check, the map area's layout for the pattern view, the picture
    // preview area's height, the pattern editor's swatch bar.
    virtual void SetWorkingMode(bool lib) = 0;
    // Game-data mode hides the "Maps" button.
    virtual bool MapsButtonHidden() = 0;
};

// The naming dialog: an input box titled "Enter new " + kind word + " name".
// Cancel, an empty answer and a name for which taken() holds give nothing
// (the last two after an error message). Used by the browser and the code
// editor.
std::optional<std::string> AskNewName(UserDialogs& dialogs, const std::function<bool(const std::string&)>& taken,
                                      const std::string& kindWord, const std::string& initial);
// The same for a list: a name is taken when an element of the list has it,
// whatever the letter case.
std::optional<std::string> AskNewName(UserDialogs& dialogs, const TLoadSaveList& list, const std::string& kindWord,
                                      const std::string& initial);

class TElementBrowser : public QObject {
    Q_OBJECT

public:
    static constexpr int KindCount = 8;
    // Node numbers: 0 for a group, 65535 for "__ Clear __", an element's
    // library position + 1 otherwise; positions are browsable up to this.
    static constexpr int GroupNumber = 0;
    static constexpr int ClearNumber = 65535;
    static constexpr int MaxNumber = 65521;
    static constexpr const char* ClearCaption = "__ Clear __";
    // The drag from the tree carries "kind,position".
    static constexpr const char* DragMimeType = "application/x-kestrune-element";

    enum class Shape { Flat, Grouped, Nested };
    struct Kind {
        const char* Caption;  // the toolbar caption
        const char* Grouping; // the grouping parameter, or none
        Shape TreeShape;
    };
    static const Kind& KindInfo(int kind);

    TElementBrowser(Project& project, UserDialogs& dialogs, TBrowserHost& host, QTreeWidget& tree,
                    QComboBox& mapChooser, QObject* parent = nullptr);
    ~TElementBrowser() override;

    // ---- state ----
    int CurrentKind() const;
    bool LibMode() const;
    // The map open in the map view (the placeholder when no real map is), or none.
    TMap* CurrentMap() const { return currentMap_; }
    // The unnamed map shown when no real map is open.
    void SetPlaceholderMap(TMap* map) { placeholder_ = map; }
    TMap* PlaceholderMap() const { return placeholder_; }
    // Per kind, the caption selected when the kind was last left.
    std::array<std::string, KindCount> RememberedSelection;
    bool Rebuilding() const { return rebuilding_; }
    bool TreeDragEnabled() const { return treeDrag_; }

    // ---- tree ----
    void SelectKind(int kind);
    void RebuildTree();
    // Element position of the selected node, or -1.
    int SelectedIndex() const;
    QTreeWidgetItem* SelectedNode() const;
    // The library element of the selected node, or none.
    TListedItem* SelectedLibraryElement() const;
    void SelectByName(const std::string& name);
    void SelectByIndex(int position);
    // The tree's selection changed or the tree got the focus.
    void SelectionChanged();
    void RefreshPreview();
    // Moves the selected node with its subtree under the first node of that
    // caption outside the subtree (the top level when there is none); the
    // node stays selected without counting as a selection change.
    void MoveSelectedNode(const std::string& parentCaption);

    // Caption and number of a node.
    static std::string Caption(const QTreeWidgetItem* node);
    static int Number(const QTreeWidgetItem* node);

    // ---- modes and maps ----
    void SetLibMode(bool on);
    // Opens a map in the map view (none: the placeholder) and makes it current.
    void ShowMap(TMap* map);
    void FillMapChooser();
    // The user chose an entry of the map chooser.
    void ChooseMap(int entry);

    // ---- commands of the small toolbar ----
    void Add();
    void Remove();
    void Rename();
    std::optional<std::string> AskNewName(const TLoadSaveList& list, const std::string& kindWord,
                                          const std::string& initial);

    // ---- placing from the tree ----
    // A click with any button selects the node; with the right button an
    // item or monster definition is placed at the current map's cursor.
    void RightClickNode(QTreeWidgetItem* node);
    // A drag of a node begins: sets Modified and gives what the drag carries.
    std::unique_ptr<QMimeData> BeginDrag(QTreeWidgetItem* node);
    // The kind and position a drag from the tree carries.
    static std::optional<std::pair<int, int>> DragSource(const QMimeData& data);

    // ---- drawing ----
    static constexpr int RowHeight = 17;
    // The picture of one node's row, from its text start to the right edge.
    QImage NodePicture(const QTreeWidgetItem* node, int width, bool selected, bool active = true) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Delegate;
    struct Builder;

    TListedList* Library() const;
    // The project's maps and the placeholder map.
    std::vector<TMap*> AllMaps() const;
    // The items and monsters of every map, and those the undo history keeps.
    std::vector<TListedItem*> AllPlacements() const;
    // Every parameter that names an element of the library by its old name
    // takes the new one.
    void CarryReferences(const TLoadSaveList& library, const std::string& from, const std::string& to);
    bool IsRealMap(const TMap* map) const;
    std::string MapsFolder() const;
    bool MapFileExists(const std::string& name) const;
    void ShowGridElement(TListedItem* element);
    void SelectNode(QTreeWidgetItem* node);
    void Populate(const Builder& builder);
    void AddMap(std::string& name);
    void AddElement(std::string& name);
    void RemoveMap();
    void RemoveElement();
    TEditSession* Session() const;
    // Removing and putting back, for the steps of the history.
    bool DeleteMapFile(HeldMap& held);
    std::unique_ptr<TLoadSaveItem> TakeMapOut(TMap* map);
    void PutMapBack(HeldMap& held);
    void TakeElementOut(TListedItem* element, HeldElement& held);
    void PutElementBack(HeldElement& held);
    bool MoveMapFile(const std::filesystem::path& from, const std::filesystem::path& to);
    void RenameMap();
    void RenameElement();
    void ConfigureTree();
    int MarkLeft(const QTreeWidgetItem* node) const;

    Project& project_;
    UserDialogs& dialogs_;
    TBrowserHost& host_;
    QTreeWidget& tree_;
    QComboBox& chooser_;
    QPointer<QTreeWidget> treeAlive_;
    Delegate* delegate_ = nullptr;
    TMap* currentMap_ = nullptr;
    TMap* placeholder_ = nullptr;
    bool rebuilding_ = false;
    bool treeDrag_ = false;
    // A left press on a node that a move may turn into a drag.
    bool pressed_ = false;
    int pressX_ = 0, pressY_ = 0;
};

} // namespace kestrune
