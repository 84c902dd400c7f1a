#pragma once
// The main window: its frame (menus, big toolbar, panels, view modes), the
// start-up that loads a project, saving and the close question, and the
// window settings.

#include "model/editsession.h"
#include "model/project.h"
#include "mapedit/gestures.h"
#include "mapedit/history.h"
#include "mapedit/patterneditor.h"
#include "shell/browser.h"
#include "shell/commandline.h"
#include "shell/propertygrid.h"

#include <QMainWindow>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QListWidget;
class QMimeData;
class QScrollArea;
class QSpinBox;
class QSplitter;
class QWheelEvent;
class QTabBar;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QUndoView;
class QTimer;
class QWidget;

namespace kestrune {

class TPlacesDock;
class TRegionEdit;
struct TProblem;

class UserDialogs;
class TEditorWindows;
class TDataGrid;
class TMapView;
class TMapArea;
class TPicturePreview;

class TForm1 : public QMainWindow, public TGridHost, public TBrowserHost, public TGestureHost {
    Q_OBJECT

public:
    static constexpr const char* Section = "qv5editor";
    static constexpr int KindCount = 8;

    // Creates the window and restores its geometry and options from the
    // settings (FormCreate).
    TForm1(UserDialogs& dialogs, TEditorWindows& windows);
    ~TForm1() override;

    // ---- start-up ----
    // The arguments of the program (without its name).
    std::vector<std::string> Arguments;
    // The definition file: "qv5game.def" beside the executable.
    std::filesystem::path DefinitionFile;
    // The larger text editor of a value ("Expanded edit").
    std::function<std::string(const std::string&)> EditText;
    // Asks for a project when none was given; the default shows the project
    // selection window. Nothing means the user left it.
    std::function<std::optional<std::string>(const TCommandLine&)> SelectProject;
    // The start-up steps (FormShow). False when it was abandoned or the
    // project could not be loaded; the window then closes.
    bool FormShow();
    // Writes the window's geometry and options to the settings (FormDestroy).
    void FormDestroy();

    // ---- state ----
    Project& Proj() { return *project_; }
    bool Loaded() const { return loaded_; }
    bool Modified = false;
    int VisualHeight = 0;
    std::string DocName = "qv5lang";
    TCommandLine CommandLine;

    // ---- commands ----
    // False when a file could not be written (the message was shown).
    bool SaveProject();
    // The close question: true when the window may close.
    bool CloseQuery();
    int ViewMode() const;
    void SetViewMode(int mode);
    void CodeMapMode(); // "Code/map mode"
    void BothMode();    // "Both mode"
    void SelectKind(int kind);
    int CurrentKind() const { return project_->CurrentKind; }
    void SetLibMode(bool on);
    bool LibMode() const { return project_->LibMode; }
    void SetZoom(int zoom);
    int Zoom() const { return project_->Zoom; }
    void SetPaintFloors(bool on);
    bool PaintFloors() const;
    void OpenConfiguration();
    // Applies the configuration window's options (end of start-up, after "Ok").
    void ApplyConfiguration();
    void ShowAbout();
    bool BigIcons() const { return bigIcons_; }

    // ---- the property panel ----
    TPropertyGrid& Grid() { return *grid_; }
    TDataGrid* GridView() const { return gridView_; }
    TElementBrowser& Browser() { return *browser_; }
    // The map open in the map view: the placeholder map until one is chosen.
    TMap* CurrentMap() override { return browser_->CurrentMap(); }
    TMapGestures& Gestures() { return *gestures_; }
    // Selecting, copying, pasting, filling and moving regions of the open map.
    TRegionEdit& RegionEdit() { return *regionEdit_; }
    int SelectedIndex() override { return browser_->SelectedIndex(); }
    void SelectByIndex(int position) override { browser_->SelectByIndex(position); }
    void FocusTree() override;
    void ShowCursorLists() override;
    bool TreeHasSelection() override;
    void RepaintAll() override;
    void PlacementsChanged() override;
    bool RenameCodeEntry(const std::string& name) override;

    // What the property panel and the browser ask of the window.
    void SetModified() override { Modified = true; }
    TMap* OpenMap() override { return browser_->CurrentMap(); }
    const TListedItem* SelectedLibraryElement() override { return browser_->SelectedLibraryElement(); }
    void RefreshPreview() override { browser_->RefreshPreview(); }
    void RepaintCursorCell() override;
    void ListPlacements() override { gestures_->ListPlacements(); }
    void RefreshPlacements() override { gestures_->ListPlacements(false); }
    void MapResized() override;
    void MoveSelectedNode(const std::string& caption) override { browser_->MoveSelectedNode(caption); }
    TListedItem* CodeElement() override;
    void CodeSaveCurrent() override;
    void CodeSwitchList(TListedItem* element, TParList* list) override;
    void CodeOpenList(TListedItem* element, TParList* list) override;
    std::string CodeOpenEvent(TListedItem* element, const std::string& name) override;
    void CodeReselect() override;
    void CodeSetTableLink(TPropertyTable* table) override;
    void ShowElement(TListedItem* element) override;
    void PostPendingEdit() override;
    TListedItem* ShownElement() override { return grid_->ShownElement(); }
    void ForgetShownLists() override;
    void OpenMapInView(TMap& map) override;
    void RepaintMap() override;
    void RepaintCell(int x, int y) override;
    void SizeForPattern(int width, int height) override;
    TPatternEditor& PatternEditor() { return *patternEditor_; }
    void HoldRepaint() override;
    void ReleaseRepaint() override;
    void SaveCurrent() override;
    // Something is about to be removed for good: every window lets go of it
    // and the undo history, which may refer to it, is forgotten.
    void Removing(TListedItem& thing) override;
    TEditSession& Session() { return session_; }
    void Placed(TMap& map, TListedItem& placement) override
    {
        history_.BeginStroke();
        history_.PlacementAdded(&map, &placement);
    }
    TEditSession* EditSession() override { return &session_; }
    void ShowInKind(TListedItem& element) override { ShowElementStep(element); }
    void ListChanging(TParList& list) override { session_.ListChanging(list); }
    void ListChanged(TParList& list) override { session_.ListChanged(list); }
    // An element dragged from the tree onto the "Elements" list goes to the
    // selected cell.
    bool PlacementListAccepts(const QMimeData& data) const;
    void DropOnPlacementList(const QMimeData& data);
    // "Key Words": the NPC's key words open in the code editor.
    void OpenKeyWords();
    TMapHistory& History() { return history_; }
    // Ctrl+Z and Ctrl+Y (Ctrl+Shift+Z): the text being edited, else the project history.
    void UndoOrRedo(bool undo);
    // "History": the steps, the saved point; a click on a step goes there.
    void ShowHistory();
    // The project check, "Where used" and "Find in scripts": their places
    // fill the "Places" dock.
    void CheckProject();
    void WhereUsed(TListedItem& element);
    void WhereUsedSelected();
    void FindInScripts(const std::string& text, bool wholeWord, bool matchCase);
    void AskFindInScripts();
    // Takes the designer to a place: its map and cell, side or placement,
    // its element, or its script in the code pane. False when the place no
    // longer exists.
    bool GoToPlace(const TProblem& place);
    TPlacesDock* PlacesDock() const { return placesDock_; }
    void ShowPlaces(const std::string& heading, std::vector<TProblem> places);
    QUndoView* HistoryView() const { return historyView_; }
    // A step is about to be undone or redone: its map, cell (or the
    // element of a pattern) comes into view.
    void ShowStep(TMap* map, int x, int y);
    void ShowElementStep(TListedItem& element);
    // The grid's pending value and the code pane's text are stored (as steps).
    void SettleEdits();
    // Whether files can be made in a folder (tried).
    // The help folder for a document name: as given (or ./NAME), else the
    // installed one.
    static std::string HelpFolder(const std::string& docName);
    // Shows the pictures refused for the memory budget since the last call.
    void TellRefusedPictures();
    static bool FolderWritable(const std::string& folder);
    bool ReadOnlyProject() const { return readOnly_; }
    // Writes the project into its recovery folder when it has unsaved
    // changes (every "autosaveMinutes"); false when nothing was written.
    bool Autosave();
    const std::string& RecoveryFolder() const { return recoveryFolder_; }
    void SetElementPanelVisible(bool visible) override;
    void SetElementPanelTitle(const std::string& title) override;
    void SetPlacementsListVisible(bool visible) override;
    void SetPreviewPicture(const QImage* picture) override;
    void SetPreviewVisible(bool visible) override;
    void SetEditButtonsEnabled(bool add, bool remove, bool rename) override;
    void SetKindMarks(int kind) override;
    void SetMapsCaption(const std::string& caption) override;
    void SetWorkingMode(bool lib) override;
    bool MapsButtonHidden() override;

    // ---- parts of the window (for the views that fill them and for tests) ----
    QToolBar* BigToolbar() const { return bigToolbar_; }
    QToolButton* KindButton(int kind) const { return kindButtons_[static_cast<size_t>(kind)]; }
    QToolButton* LibButton() const { return libButton_; }
    QAction* MenuAction(const std::string& caption) const;
    QWidget* LeftPanel() const { return leftPanel_; }
    QComboBox* MapChooser() const { return mapChooser_; }
    QTreeWidget* ElementTree() const { return tree_; }
    TMapArea* MapArea() const { return mapArea_; }
    TMapView* MapView() const { return mapView_; }
    QWidget* ElementPanel() const { return elementPanel_; }
    QTabBar* PropertyTabs() const { return propertyTabs_; }
    QToolButton* KeyWordsButton() const { return keyWordsButton_; }
    QWidget* PropertyPanel() const { return propertyPanel_; }
    QWidget* VisualArea() const { return visualArea_; }
    QWidget* CodeArea() const { return codeArea_; }
    // The Lib-mode picture preview under the map area.
    TPicturePreview* PicturePreview() const { return picturePreview_; }
    QSplitter* CodeSplitter() const { return codeSplitter_; }
    QTabBar* ViewTabs() const { return viewTabs_; }
    QLabel* StatusText() const { return status_; }
    QLabel* PropertiesTitle() const { return propertiesTitle_; }
    QLabel* ElementsTitle() const { return elementsTitle_; }
    QSpinBox* ZoomSpin() const { return zoomSpin_; }
    // The left panel, right column and element panel sizes.
    int PaleteWidth() const;
    int PropertiesWidth() const;
    int PropertiesHeight() const;

signals:
    // The start-up has shown the project.
    void Started();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // One wheel step: the code pane's entries while it has the focus,
    // otherwise (outside Lib mode) the map chooser.
    void WheelStep(int step);
    // "+" and "-" typed anywhere but in a control that edits text.
    bool ZoomKey(const QKeyEvent& key);
    // The cursor keys of the "Elements" list; false when the key is another.
    bool CursorKey(const QKeyEvent& key);
    void BuildMenus();
    void BuildBigToolbar();
    void BuildPanels();
    void ReadSettings();
    void SetBigIcons(bool big);
    void UpdateTitleBars();
    void ShowProgress(const std::string& text);
    void BuildPropertyPanel(QWidget* panel);
    // Shows the grid's state: read-only look, buttons, caption, Key Words.
    void UpdatePropertyPanel();
    void GridRowChanged();
    // Loads the project of ProjectFolder; false (after the message) on failure.
    bool LoadProject();

    UserDialogs& dialogs_;
    TEditorWindows& windows_;
    std::unique_ptr<Project> project_;
    // What is being edited; the grid and the code pane keep their state here.
    TEditSession session_;
    std::unique_ptr<TMap> placeholderMap_;
    bool loaded_ = false;
    bool started_ = false;
    bool destroyed_ = false;
    bool bigIcons_ = true;
    bool changingMode_ = false;
    int pendingMode_ = 0; // the view mode of the settings, set once the project is shown

    QToolBar* bigToolbar_ = nullptr;
    std::vector<QToolButton*> kindButtons_;
    QToolButton* namesButton_ = nullptr;
    QToolButton* libButton_ = nullptr;
    QToolButton* saveButton_ = nullptr;
    QAction* libSeparator_ = nullptr;
    QAction* mapsAction_ = nullptr;
    QAction* libAction_ = nullptr;
    std::vector<QAction*> kindActions_;
    std::vector<QAction*> zoomActions_;
    QAction* paintFloorsAction_ = nullptr;
    QAction* libModeAction_ = nullptr;
    std::vector<QAction*> allActions_;

    QSplitter* mainSplitter_ = nullptr;
    // The panel sizes of the settings: what was read, or what the designer
    // dragged since. The splitters' own sizes are not written back, as a
    // hidden panel has none and a layout pass rounds them.
    int paleteWidth_ = 0, propertiesWidth_ = 0, propertiesHeight_ = 0;
    void ApplyPanelSizes();
    QWidget* leftPanel_ = nullptr;
    QSpinBox* zoomSpin_ = nullptr;
    QComboBox* mapChooser_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QSplitter* codeSplitter_ = nullptr;
    QWidget* visualArea_ = nullptr;
    QSplitter* visualSplitter_ = nullptr;
    TMapArea* mapArea_ = nullptr;
    QSplitter* columnSplitter_ = nullptr;
    QWidget* elementPanel_ = nullptr;
    QLabel* elementsTitle_ = nullptr;
    QListWidget* elementList_ = nullptr;
    QWidget* propertyPanel_ = nullptr;
    QLabel* propertiesTitle_ = nullptr;
    QTabBar* propertyTabs_ = nullptr;
    std::unique_ptr<TPropertyGrid> grid_;
    std::unique_ptr<TElementBrowser> browser_;
    std::unique_ptr<TMapGestures> gestures_;
    std::unique_ptr<TRegionEdit> regionEdit_;
    // The gestures as the placements list's drawing sees them (set once made).
    const TMapGestures* gesturesView_ = nullptr;
    TMapHistory history_;
    // The project folder cannot be written.
    bool readOnly_ = false;
    QTimer* autosave_ = nullptr;
    int autosaveMinutes_ = 5;
    std::string recoveryFolder_;
    bool autosaveFailed_ = false;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QUndoView* historyView_ = nullptr;
    TPlacesDock* placesDock_ = nullptr;
    bool tellingPictures_ = false;
    bool Live(const TListedItem* element) const;
    std::unique_ptr<TPatternEditor> patternEditor_;
    // The pattern of the element a Lib-mode stroke started on, for undo.
    TListedItem* patternElement_ = nullptr;
    uint8_t patternBefore_[11][11] = {};
    std::vector<QAction*> treeButtons_;
    QLabel* preview_ = nullptr;
    TMapView* mapView_ = nullptr;
    class TPicturePreview* picturePreview_ = nullptr;
    TDataGrid* gridView_ = nullptr;
    QLabel* gridCaption_ = nullptr;
    QToolButton* keyWordsButton_ = nullptr;
    std::vector<QAction*> gridButtons_;
    QWidget* codeArea_ = nullptr;
    QMetaObject::Connection focusConnection_;
    QTabBar* viewTabs_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace kestrune
