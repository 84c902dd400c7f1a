#include "shell/mainwindow.h"

#include "controls/datagrid.h"
#include "controls/userdialogs.h"
#include "core/definitions.h"
#include "core/errors.h"
#include "shell/config.h"
#include "shell/editorwindows.h"
#include "shell/expandededit.h"
#include "shell/icons.h"
#include "params/paramedit.h"
#include "help/helpwindow.h"
#include "script/codeedit.h"
#include "shell/logo.h"
#include "shell/picturepreview.h"
#include "shell/placesdock.h"
#include "model/projectcheck.h"
#include "mapedit/maparea.h"
#include "mapedit/mapview.h"
#include "mapedit/regionedit.h"
#include "model/picture.h"
#include "model/placements.h"
#include "script/sourceedit.h"
#include "shell/selectproject.h"
#include "shell/selectreplace.h"
#include "model/recovery.h"
#include "controls/settings.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QUndoStack>
#include <QUndoView>
#include <QWheelEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

// Design geometry of the main window.
constexpr int DesignWidth = 751, DesignHeight = 576, DesignLeft = 266, DesignTop = 158;
constexpr int DesignPaleteWidth = 233, DesignPropertiesWidth = 186, DesignPropertiesHeight = 149;
constexpr int MinimumVisualHeight = 30;

struct KindEntry {
    const char* caption;
    const char* hint;
};
// The big toolbar's kind buttons, by kind index.
constexpr KindEntry KindButtons[TForm1::KindCount] = {
    {"Maps", "Maps & Game"}, {"Walls", "Walls"},   {"Floors", "Floors"}, {"Ceilings", "Ceilings"},
    {"Objects", "Objects"},  {"Items", "Items"},   {"Monst.", "Monsters"}, {"NPC", "NPCs"},
};

// The "Edit mode" menu's kind entries in menu order, with their kinds.
struct KindMenuEntry {
    const char* caption;
    int kind;
    const char* shortcut;
};
constexpr KindMenuEntry KindMenu[TForm1::KindCount] = {
    {"&Map", 0, "Alt+M"},     {"&Walls", 1, "Alt+W"},     {"&Ceilings", 3, "Alt+C"}, {"&Floors", 2, "Alt+F"},
    {"&Items", 5, "Alt+I"},   {"&Objects", 4, "Alt+O"},   {"Mon&sters", 6, "Alt+S"}, {"&NPC", 7, "Alt+N"},
};

// The placements of the selected cell: each entry draws its placement's
// small picture and its name, and can be dragged onto the map.
constexpr const char* PlacementMimeType = "application/x-kestrune-placement";

class TPlacementList : public QListWidget {
public:
    explicit TPlacementList(QWidget* parent) : QListWidget(parent)
    {
        setDragEnabled(true);
        setUniformItemSizes(true);
        setAcceptDrops(true);
        setDropIndicatorShown(false);
    }

    // Whether a drag may be dropped here, and the drop.
    std::function<bool(const QMimeData&)> AcceptsDrop;
    std::function<void(const QMimeData&)> OnDrop;

protected:
    QMimeData* mimeData(const QList<QListWidgetItem*>&) const override
    {
        auto* data = new QMimeData;
        data->setData(QString::fromLatin1(PlacementMimeType), QByteArray::number(currentRow()));
        return data;
    }
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (AcceptsDrop && AcceptsDrop(*event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (AcceptsDrop && AcceptsDrop(*event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (OnDrop && AcceptsDrop && AcceptsDrop(*event->mimeData())) {
            OnDrop(*event->mimeData());
            event->acceptProposedAction();
        } else {
            event->ignore();
        }
    }
};

class TPlacementDelegate : public QStyledItemDelegate {
public:
    TPlacementDelegate(const TMapGestures* const& gestures, QObject* parent)
        : QStyledItemDelegate(parent), gestures_(gestures)
    {
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 15};
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QRect r = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(r, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QRect(r.left() + 22, r.top() + 2, r.width() - 22, r.height() - 2),
                          Qt::AlignLeft | Qt::AlignTop, index.data().toString());
        const auto& placements = gestures_ ? gestures_->Placements() : std::vector<TListedItem*>{};
        if (index.row() < 0 || index.row() >= static_cast<int>(placements.size()))
            return;
        QImage icon(14, 14, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        TCanvas canvas(icon);
        placements[static_cast<size_t>(index.row())]->Draw(canvas, 1, 0, 0, 1);
        painter->drawImage(r.left(), r.top(), icon);
    }

private:
    const TMapGestures* const& gestures_;
};

QLabel* TitleBar(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAutoFillBackground(true);
    label->setMargin(1);
    return label;
}

void PaintTitle(QLabel* label, bool active)
{
    QPalette pal = label->palette();
    const QPalette app = QApplication::palette();
    pal.setColor(QPalette::Window, active ? app.color(QPalette::Highlight) : app.color(QPalette::Mid));
    pal.setColor(QPalette::WindowText, active ? app.color(QPalette::HighlightedText) : app.color(QPalette::Window));
    label->setPalette(pal);
    label->setProperty("active", active);
}

} // namespace

// --------------------------------------------------------------------- create

void TForm1::BuildPropertyPanel(QWidget* panel)
{
    auto* properties = new QVBoxLayout(panel);
    properties->setContentsMargins(0, 0, 0, 0);
    properties->setSpacing(0);
    propertiesTitle_ = TitleBar(QStringLiteral(" Properties"), panel);
    properties->addWidget(propertiesTitle_);

    auto* tabRow = new QHBoxLayout();
    tabRow->setContentsMargins(0, 0, 0, 0);
    propertyTabs_ = new QTabBar(panel);
    propertyTabs_->addTab(QStringLiteral("Properties"));
    propertyTabs_->addTab(QStringLiteral("Events"));
    connect(propertyTabs_, &QTabBar::currentChanged, this, [this](int tab) {
        grid_->SetTab(tab == 1 ? TPropertyGrid::Tab::Events : TPropertyGrid::Tab::Properties);
        gridView_->RefreshEditor();
        UpdatePropertyPanel();
    });
    tabRow->addWidget(propertyTabs_, 1);
    properties->addLayout(tabRow);

    auto* toolRow = new QHBoxLayout();
    toolRow->setContentsMargins(0, 0, 0, 0);
    auto* tools = new QToolBar(panel);
    tools->setIconSize(QSize(16, 16));
    QAction* add = tools->addAction(QStringLiteral("+"));
    add->setToolTip(QStringLiteral("Add"));
    connect(add, &QAction::triggered, this, [this] { grid_->AddRow(); });
    QAction* remove = tools->addAction(QStringLiteral("-"));
    remove->setToolTip(QStringLiteral("Remove"));
    connect(remove, &QAction::triggered, this, [this] { grid_->RemoveRow(); });
    QAction* rename = tools->addAction(QStringLiteral("R"));
    rename->setToolTip(QStringLiteral("Rename"));
    connect(rename, &QAction::triggered, this, [this] { grid_->RenameRow(); });
    gridButtons_ = {add, remove, rename};
    toolRow->addWidget(tools);
    tools->setMinimumWidth(tools->sizeHint().width()); // never folded into a menu
    gridCaption_ = new QLabel(panel);
    gridCaption_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // gives way first
    toolRow->addWidget(gridCaption_, 1);
    // On the tool row rather than beside the tabs, so that both tabs stay
    // in view in the narrow column.
    keyWordsButton_ = new QToolButton(panel);
    keyWordsButton_->setText(QStringLiteral("Key Words"));
    keyWordsButton_->setVisible(false);
    connect(keyWordsButton_, &QToolButton::clicked, this, [this] { OpenKeyWords(); });
    toolRow->addWidget(keyWordsButton_);
    properties->addLayout(toolRow);

    gridView_ = new TDataGrid(panel);
    gridView_->setFocusPolicy(Qt::ClickFocus);
    gridView_->setColumnWidth(0, 70);
    gridView_->SetTable(&grid_->Table);
    gridView_->RowEditor = [this](const TPropertyRow& row) {
        TRowEditor editor;
        if (grid_->CurrentTab() == TPropertyGrid::Tab::Events) {
            editor.style = TRowEditor::Style::Ellipsis;
            editor.typing = false;
            return editor;
        }
        TField* field = grid_->FieldOf(row.name);
        if (!field) {
            editor.style = TRowEditor::Style::Ellipsis;
            return editor;
        }
        switch (field->EditStyle()) {
        case esPickList:
            editor.style = TRowEditor::Style::PickList;
            if (const std::vector<std::string>* values = field->GetValues())
                editor.choices = *values;
            break;
        case esSimple: editor.style = TRowEditor::Style::Plain; break;
        default: editor.style = TRowEditor::Style::Ellipsis; break;
        }
        return editor;
    };
    gridView_->OnHeadingClick = [this](const std::string& name) { grid_->ClickHeading(name); };
    gridView_->OnEllipsis = [this] { grid_->Ellipsis(EditText); };
    gridView_->OnDoubleClick = [this] {
        if (grid_->CurrentTab() == TPropertyGrid::Tab::Events && !grid_->ReadOnly()) {
            if (ViewMode() == 0)
                SetViewMode(1);
            grid_->Ellipsis(EditText);
            windows_.CodeEdit->FocusText();
        }
    };
    gridView_->OnRowChange = [this] { GridRowChanged(); };
    properties->addWidget(gridView_, 1);
}

void TForm1::UpdatePropertyPanel()
{
    const bool readOnly = grid_->ReadOnly();
    gridView_->SetReadOnly(readOnly);
    const QPalette app = QApplication::palette();
    gridView_->SetColours(readOnly ? app.color(QPalette::Button) : app.color(QPalette::Base),
                          app.color(QPalette::Text));
    for (QAction* a : gridButtons_)
        a->setEnabled(!readOnly);
    gridCaption_->setText(ToQ(grid_->Caption()));
    keyWordsButton_->setVisible(grid_->KeyWordsVisible());
}

void TForm1::GridRowChanged()
{
    const TPropertyRow* row = grid_->Table.Current();
    if (!row) {
        status_->clear();
        return;
    }
    const TField* field = grid_->FieldOf(row->name);
    const auto* pictureField = dynamic_cast<const TPictureField*>(field);
    const std::string file = grid_->CurrentPreviewFile();
    // The file is loaded when it changes; the row's footprint is set every time.
    picturePreview_->ShowFile(file, file.empty() ? std::nullopt
                                                 : FootprintOf(pictureField->Description, row->value));
    status_->setText(ToQ("[" + row->name + "]" + (field ? "  " + field->Description : std::string())));
}

void TForm1::ShowElement(TListedItem* element)
{
    grid_->ShowElement(element);
    gridView_->RefreshEditor();
    UpdatePropertyPanel();
}

void TForm1::OpenMapInView(TMap& map) { mapArea_->ShowMap(&map); }

void TForm1::RepaintMap()
{
    mapArea_->LayoutView();
    mapArea_->RepaintAll();
}

void TForm1::RepaintCell(int x, int y) { mapArea_->RepaintCell(x, y); }

void TForm1::RepaintCursorCell()
{
    if (TMap* map = browser_->CurrentMap())
        mapArea_->RepaintCell(map->SelX, map->SelY);
}

void TForm1::HoldRepaint() { mapArea_->HoldRepaint(); }

void TForm1::FocusTree()
{
    if (!tree_->hasFocus())
        tree_->setFocus();
}

void TForm1::ShowCursorLists()
{
    TMap* map = browser_->CurrentMap();
    if (!map)
        return;
    // Both tabs follow what is selected: a placement chosen on this cell
    // shows its own lists, otherwise what the tree selects (a wall or floor
    // shows the cursor's cell), or the cell of the map.
    auto* selected = const_cast<TListedItem*>(project_->SelectedElement);
    const std::vector<TListedItem*>& here = gestures_->Placements();
    if (!selected || std::find(here.begin(), here.end(), selected) == here.end())
        selected = browser_->SelectedLibraryElement();
    ShowElement(selected ? selected : map);
}

bool TForm1::TreeHasSelection() { return tree_->currentItem() != nullptr; }

void TForm1::RepaintAll() { mapArea_->RepaintAll(); }

void TForm1::PlacementsChanged()
{
    elementList_->clear();
    for (const TListedItem* placement : gestures_->Placements())
        elementList_->addItem(ToQ(placement->Name));
    if (gestures_->PlacementIndex() >= 0)
        elementList_->setCurrentRow(gestures_->PlacementIndex());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (historyView_ && (watched == historyView_ || watched == historyView_->viewport()) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        SettleEdits();
    if (watched == elementList_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier)
            return QMainWindow::eventFilter(watched, event);
        if (CursorKey(*key))
            return true;
        if (key->key() == Qt::Key_Delete) {
            gestures_->DeletePlacement();
            return true;
        }
    }
    if ((watched == tree_ || watched == tree_->viewport()) && event->type() == QEvent::ContextMenu) {
        auto* request = static_cast<QContextMenuEvent*>(event);
        // In the items and monsters kinds a right click places the definition
        // on the selected cell: there the menu comes from the keyboard only.
        const int kind = project_->CurrentKind;
        if (request->reason() == QContextMenuEvent::Mouse && !project_->LibMode && (kind == 5 || kind == 6))
            return true;
        if (loaded_ && browser_->SelectedLibraryElement()) {
            QMenu menu(this);
            menu.addAction(QStringLiteral("Where used"), this, [this] { WhereUsedSelected(); });
            menu.exec(request->globalPos());
        }
        return true;
    }
    if (watched == tree_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // The tree would expand and collapse with "+" and "-": a press on
        // the map gives it the focus, and the keys zoom the map instead.
        if (ZoomKey(*key))
            return true;
        // In the painting kinds the "Elements" list is not shown: Shift with
        // the cursor keys paints from the tree (plain keys still walk it).
        const int kind = project_->CurrentKind;
        if (kind >= 1 && kind <= 4 && !project_->LibMode && key->modifiers() == Qt::ShiftModifier &&
            CursorKey(*key))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::CursorKey(const QKeyEvent& key)
{
    const bool shift = key.modifiers() & Qt::ShiftModifier;
    switch (key.key()) {
    case Qt::Key_Up: gestures_->MoveCursor(0, 1, -1, shift); return true;
    case Qt::Key_Down: gestures_->MoveCursor(0, -1, -1, shift); return true;
    case Qt::Key_Left: gestures_->MoveCursor(-1, 0, -1, shift); return true;
    case Qt::Key_Right: gestures_->MoveCursor(1, 0, -1, shift); return true;
    case Qt::Key_Home: gestures_->MoveCursor(0, 0, 0, shift); return true;
    case Qt::Key_PageUp: gestures_->MoveCursor(0, 0, 1, shift); return true;
    case Qt::Key_PageDown: gestures_->MoveCursor(0, 0, 2, shift); return true;
    case Qt::Key_End: gestures_->MoveCursor(0, 0, 3, shift); return true;
    default: return false;
    }
}

bool TForm1::ZoomKey(const QKeyEvent& key)
{
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    if (key.text() == QLatin1String("+")) {
        SetZoom(project_->Zoom + 1);
        return true;
    }
    if (key.text() == QLatin1String("-")) {
        SetZoom(project_->Zoom - 1);
        return true;
    }
    return false;
}

void TForm1::WheelStep(int step)
{
    // With the code editor's list or text focused the wheel steps
    // through its entries.
    if (windows_.CodeEdit->PaneHasFocus()) {
        windows_.CodeEdit->WheelStep(-step);
        return;
    }
    // Outside Lib mode the wheel steps through the maps of the chooser.
    if (project_->LibMode || mapChooser_->count() == 0)
        return;
    const int index = std::clamp(mapChooser_->currentIndex() + step, 0, mapChooser_->count() - 1);
    if (index != mapChooser_->currentIndex()) {
        mapChooser_->setCurrentIndex(index);
        browser_->ChooseMap(index);
    }
}

void TForm1::wheelEvent(QWheelEvent* event)
{
    // A wheel that no control took: over a panel, a title, a tool bar, or
    // at the end of a list that scrolls. The map view takes its own wheel
    // (the same step); lists, the grid and the code text scroll with it,
    // and a turn past their end steps nothing.
    event->accept();
    for (QWidget* w = childAt(event->position().toPoint()); w && w != this; w = w->parentWidget())
        if (qobject_cast<QAbstractScrollArea*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QTabBar*>(w))
            return;
    const int delta = event->angleDelta().y();
    if (delta != 0)
        WheelStep(delta < 0 ? 1 : -1);
}

void TForm1::ReleaseRepaint() { mapArea_->ReleaseRepaint(); }

void TForm1::MapResized() { RepaintMap(); }

void TForm1::PostPendingEdit() { grid_->SettleEdit(); }

void TForm1::ForgetShownLists()
{
    grid_->ForgetLists();
    UpdatePropertyPanel();
}

void TForm1::SaveCurrent() { windows_.CodeEdit->SaveCurrent(); }

void TForm1::Removing(TListedItem& thing) { session_.Leaving(thing); }

bool TForm1::PlacementListAccepts(const QMimeData& data) const
{
    const auto source = TElementBrowser::DragSource(data);
    return source && !project_->LibMode && source->first == project_->CurrentKind && browser_->CurrentMap();
}

void TForm1::DropOnPlacementList(const QMimeData& data)
{
    if (!PlacementListAccepts(data))
        return;
    TMap* map = browser_->CurrentMap();
    gestures_->DropFromTree(TElementBrowser::DragSource(data)->second, map->SelX, map->SelY);
}

bool TForm1::RenameCodeEntry(const std::string& name) { return windows_.CodeEdit->RenameCurrent(name); }

TListedItem* TForm1::CodeElement() { return windows_.CodeEdit->CurrentElement(); }
void TForm1::CodeSaveCurrent() { windows_.CodeEdit->SaveCurrent(); }
void TForm1::CodeSwitchList(TListedItem* element, TParList* list) { windows_.CodeEdit->SwitchList(element, list, {}); }
void TForm1::CodeOpenList(TListedItem* element, TParList* list) { windows_.CodeEdit->OpenList(element, list, {}); }
std::string TForm1::CodeOpenEvent(TListedItem* element, const std::string& name)
{
    return windows_.CodeEdit->OpenEvent(element, name);
}
void TForm1::CodeReselect() { windows_.CodeEdit->ReselectCurrent(); }
void TForm1::CodeSetTableLink(TPropertyTable* table) { windows_.CodeEdit->SetTableLink(table); }

void TForm1::OpenKeyWords()
{
    TEventList* keywords = grid_->KeyWordsList();
    if (!keywords)
        return;
    TListedItem* element = grid_->ShownElement();
    if (ViewMode() == 0)
        SetViewMode(1);
    windows_.CodeEdit->FocusText();
    windows_.CodeEdit->SwitchList(element, keywords, {});
}

void TForm1::SetElementPanelVisible(bool visible)
{
    const bool shown = visible && elementPanel_->isHidden();
    elementPanel_->setVisible(visible);
    if (shown) // back at the height it had
        ApplyPanelSizes();
}

void TForm1::SetElementPanelTitle(const std::string& title) { elementsTitle_->setText(ToQ(title)); }

void TForm1::SetPlacementsListVisible(bool visible) { elementList_->setVisible(visible); }

void TForm1::SetPreviewPicture(const QImage* picture)
{
    if (picture && !picture->isNull())
        preview_->setPixmap(QPixmap::fromImage(*picture));
    else
        preview_->clear();
}

void TForm1::SetPreviewVisible(bool visible) { preview_->setVisible(visible); }

void TForm1::SetEditButtonsEnabled(bool add, bool remove, bool rename)
{
    treeButtons_[0]->setEnabled(add);
    treeButtons_[1]->setEnabled(remove);
    treeButtons_[2]->setEnabled(rename);
}

void TForm1::SetKindMarks(int kind)
{
    for (int k = 0; k < KindCount; ++k) {
        kindActions_[static_cast<size_t>(k)]->setChecked(k == kind);
        kindButtons_[static_cast<size_t>(k)]->setChecked(k == kind);
    }
}

void TForm1::SetMapsCaption(const std::string& caption) { kindButtons_[0]->setText(ToQ(caption)); }

void TForm1::SizeForPattern(int width, int height)
{
    mapView_->PatternSize = QSize(width, height);
    mapArea_->LayoutView();
    mapArea_->RepaintAll();
}

void TForm1::SetWorkingMode(bool lib)
{
    libButton_->setChecked(lib);
    libModeAction_->setChecked(lib);
    patternEditor_->SetLibMode(lib);
    // The picture preview lies under the map area in Lib mode only.
    picturePreview_->setVisible(lib);
    if (lib) {
        if (auto* column = qobject_cast<QSplitter*>(picturePreview_->parentWidget())) {
            const int total = column->height();
            const int preview = std::max(mapArea_->viewport()->height() - 150, 30);
            column->setSizes({std::max(total - preview, 30), preview});
        }
    } else {
        picturePreview_->Clear();
    }
}

bool TForm1::MapsButtonHidden() { return !mapsAction_->isVisible(); }

TForm1::TForm1(UserDialogs& dialogs, TEditorWindows& windows)
    : DefinitionFile(Project::InstalledFile("qv5game.def")),
      dialogs_(dialogs), windows_(windows), project_(std::make_unique<Project>())
{
    grid_ = std::make_unique<TPropertyGrid>(*project_, dialogs_, *this, &session_);
    EditText = [this](const std::string& text) { return windows_.ExpandedEdit->EditText(text); };
    setWindowTitle(QStringLiteral("Kestrune Game Editor - v0.9"));
    project_->FaceColor = [] {
        const QColor face = QApplication::palette().color(QPalette::Button);
        return RgbColor(face.red(), face.green(), face.blue());
    }();
    project_->SetFixedColors();
    BuildMenus();
    BuildBigToolbar();
    BuildPanels();
    gestures_ = std::make_unique<TMapGestures>(*project_, dialogs_, *this);
    autosave_ = new QTimer(this);
    connect(autosave_, &QTimer::timeout, this, [this] { Autosave(); });
    gesturesView_ = gestures_.get();
    gestures_->History = &history_;
    history_.OnChanged = [this](TMap* map) {
        Modified = true;
        if (!map) { // a pattern
            mapArea_->RepaintAll();
            tree_->viewport()->update();
        } else if (map == browser_->CurrentMap()) {
            RepaintMap(); // laid out again: the step may have changed the map's size
            gestures_->ListPlacements();
        }
    };
    history_.Session = &session_;
    // Pictures are decoded when first drawn: what the store refused for its
    // budget is told a moment later, never from inside a paint.
    auto* pictureCheck = new QTimer(this);
    connect(pictureCheck, &QTimer::timeout, this, [this] {
        if (loaded_)
            TellRefusedPictures();
    });
    pictureCheck->start(1000);
    history_.OnShow = [this](TMap* map, int x, int y) { ShowStep(map, x, y); };
    history_.OnShowElement = [this](TListedItem* element) { ShowElementStep(*element); };
    session_.OnListEdited = [this](TListEdit& edit) { history_.ListEdited(edit); };
    session_.OnBeginSteps = [this](const std::string& name) { history_.BeginSteps(name); };
    session_.OnEndSteps = [this] { history_.EndSteps(); };
    session_.OnStep = [this](TStep& step) { history_.Record(step); };
    history_.OnPlacementLeaving = [this](TListedItem* placement) {
        const bool shown = grid_->ShownElement() == placement || project_->SelectedElement == placement;
        session_.Leaving(*placement);
        if (shown)
            ShowElement(browser_->CurrentMap());
    };
    gestures_->Session = &session_;
    regionEdit_ = std::make_unique<TRegionEdit>(*project_, dialogs_, *this);
    regionEdit_->History = &history_;
    regionEdit_->Session = &session_;
    regionEdit_->Gestures = gestures_.get();
    regionEdit_->OnStatus = [this](const std::string& text) { status_->setText(ToQ(text)); };
    {
        QMenu* editMode = nullptr;
        for (QAction* a : menuBar()->actions())
            if (a->menu() && a->text() == QLatin1String("Edit mode"))
                editMode = a->menu();
        for (QAction* a : regionEdit_->Install(editMode, leftPanel_->findChild<QToolBar*>(), mapArea_,
                                               {tree_, mapArea_}))
            allActions_.push_back(a);
    }
    TEditSession::Observer observer;
    observer.Leaving = [this](TListedItem& thing) {
        if (TEditSession::Holds(thing, project_->SelectedElement))
            project_->SelectedElement = nullptr;
        gestures_->Forget(thing);
        if (patternElement_ && TEditSession::Holds(thing, patternElement_))
            patternElement_ = nullptr;
        // A map leaving the view gives way to the placeholder until another opens.
        if (TMap* shown = mapArea_->CurrentMap(); shown && &thing == shown)
            mapArea_->ShowMap(placeholderMap_.get() != shown ? placeholderMap_.get() : nullptr);
        UpdatePropertyPanel();
    };
    session_.Observe(std::move(observer));
    browser_ = std::make_unique<TElementBrowser>(*project_, dialogs_, *this, *tree_, *mapChooser_, this);
    SelectProject = [this](const TCommandLine& c) -> std::optional<std::string> {
        TfrmSelectProject& select = *windows_.SelectProject;
        if (c.PresetGiven)
            select.SetFolderText(c.PresetFolder);
        if (select.exec() != QDialog::Accepted)
            return std::nullopt;
        return select.ProjectFolder();
    };
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget*) { UpdateTitleBars(); });
    ReadSettings();
}

TForm1::~TForm1()
{
    // Child widgets give up the focus as they are destroyed after this.
    disconnect(focusConnection_);
    // The code editor outlives this window and its session.
    if (windows_.CodeEdit)
        windows_.CodeEdit->SetSession(nullptr);
}

QAction* TForm1::MenuAction(const std::string& caption) const
{
    for (QAction* a : allActions_)
        if (FromQ(a->objectName()) == caption || FromQ(a->text()) == caption)
            return a;
    return nullptr;
}

void TForm1::BuildMenus()
{
    auto add = [this](QMenu* menu, const char* caption, const char* shortcut, auto slot) {
        QAction* a = menu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(caption)); // the caption may change ("Undo Paint walls")
        if (shortcut)
            a->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
        connect(a, &QAction::triggered, this, slot);
        allActions_.push_back(a);
        return a;
    };

    QMenu* projectMenu = menuBar()->addMenu(QStringLiteral("Project"));
    add(projectMenu, "Game params", nullptr, [this] {
        if (!project_->GameParams)
            return;
        TRecordListEdit record(&session_, "Edit Game parameters", nullptr, project_->GameParams.get());
        if (windows_.ParamEdit->EditList(project_->GameParams.get(), "Game parameters"))
            Modified = true;
    });
    add(projectMenu, "Game names", nullptr, [this] { windows_.CodeEdit->ShowNamesEditor(); });
    add(projectMenu, "All level variables", nullptr, [this] {
        TMap* map = browser_ ? browser_->CurrentMap() : nullptr;
        if (!loaded_ || !map)
            return;
        // The grid stores what it shows of the map first and shows it again after.
        TListChange change(&session_, map->Params.get());
        TRecordListEdit record(&session_, "Edit All level parameters", map, map->Params.get());
        if (windows_.ParamEdit->EditList(map->Params.get(), "All level parameters"))
            Modified = true;
    });
    add(projectMenu, "Save", "Ctrl+S", [this] { SaveProject(); });
    add(projectMenu, "Exit", "Alt+X", [this] { close(); });

    QMenu* modeMenu = menuBar()->addMenu(QStringLiteral("Edit mode"));
    auto* kinds = new QActionGroup(this);
    kindActions_.assign(KindCount, nullptr);
    for (const KindMenuEntry& e : KindMenu) {
        const int kind = e.kind;
        QAction* a = add(modeMenu, e.caption, e.shortcut, [this, kind] { SelectKind(kind); });
        a->setCheckable(true);
        kinds->addAction(a);
        kindActions_[static_cast<size_t>(kind)] = a;
    }
    modeMenu->addSeparator();
    paintFloorsAction_ = add(modeMenu, "Paint floors", nullptr, [this](bool on) { SetPaintFloors(on); });
    paintFloorsAction_->setCheckable(true);
    paintFloorsAction_->setChecked(true);
    libModeAction_ = add(modeMenu, "Lib/Edit mode", "F5", [this] {
        // Pressing the (possibly hidden) "Lib" button.
        libButton_->setChecked(!libButton_->isChecked());
        SetLibMode(libButton_->isChecked());
    });
    libModeAction_->setCheckable(true);
    add(modeMenu, "Code/map mode", "Alt+Return", [this] { CodeMapMode(); });
    add(modeMenu, "Both mode", "F10", [this] { BothMode(); });
    modeMenu->addSeparator();
    // While a text is being edited the keys act on the text, otherwise on the project.
    undoAction_ = add(modeMenu, "Undo", "Ctrl+Z", [this] { UndoOrRedo(true); });
    redoAction_ = add(modeMenu, "Redo", "Ctrl+Y", [this] { UndoOrRedo(false); });
    redoAction_->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
    auto name = [](QAction* action, const char* verb, const QString& step) {
        action->setText(step.isEmpty() ? QString::fromLatin1(verb) : QString::fromLatin1(verb) + QLatin1Char(' ') + step);
    };
    connect(&history_.Stack(), &QUndoStack::undoTextChanged, this,
            [this, name](const QString& step) { name(undoAction_, "Undo", step); });
    connect(&history_.Stack(), &QUndoStack::redoTextChanged, this,
            [this, name](const QString& step) { name(redoAction_, "Redo", step); });

    QMenu* zoomMenu = menuBar()->addMenu(QStringLiteral("Zoom"));
    add(zoomMenu, "Increase", "Ctrl+9", [this] { SetZoom(project_->Zoom + 1); });
    add(zoomMenu, "Decrease", "Ctrl+0", [this] { SetZoom(project_->Zoom - 1); });
    zoomMenu->addSeparator();
    auto* zooms = new QActionGroup(this);
    static const char* const ZoomCaptions[6] = {"&1", "&2", "&3", "&4", "&5", "&6"};
    static const char* const ZoomKeys[6] = {"Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "Ctrl+5", "Ctrl+6"};
    for (int z = 1; z <= 6; ++z) {
        QAction* a = add(zoomMenu, ZoomCaptions[z - 1], ZoomKeys[z - 1], [this, z] { SetZoom(z); });
        a->setCheckable(true);
        zooms->addAction(a);
        zoomActions_.push_back(a);
    }

    QMenu* toolsMenu = menuBar()->addMenu(QStringLiteral("Tools"));
    add(toolsMenu, "Editor configuration", nullptr, [this] { OpenConfiguration(); });
    add(toolsMenu, "History", nullptr, [this] { ShowHistory(); });
    toolsMenu->addSeparator();
    add(toolsMenu, "Check project", "F7", [this] { CheckProject(); });
    add(toolsMenu, "Where used", nullptr, [this] { WhereUsedSelected(); });
    add(toolsMenu, "Find in scripts", "Ctrl+Shift+F", [this] { AskFindInScripts(); });

    QAction* about = menuBar()->addAction(QStringLiteral("About"));
    connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
    allActions_.push_back(about);
}

void TForm1::BuildBigToolbar()
{
    bigToolbar_ = addToolBar(QStringLiteral("Main"));
    bigToolbar_->setMovable(false);
    bigToolbar_->setFloatable(false);
    bigToolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto button = [this](int index, const char* caption, const char* hint) {
        auto* b = new QToolButton(bigToolbar_);
        b->setText(QString::fromLatin1(caption));
        b->setToolTip(hint ? QString::fromLatin1(hint) : QString::fromLatin1(caption));
        b->setIcon(ToolbarIcon(index, 32));
        b->setAutoRaise(true);
        return b;
    };
    auto* kinds = new QActionGroup(this);
    kinds->setExclusive(true);
    for (int kind = 0; kind < KindCount; ++kind) {
        QToolButton* b = button(kind, KindButtons[kind].caption, KindButtons[kind].hint);
        b->setCheckable(true);
        b->setAutoExclusive(true);
        connect(b, &QToolButton::clicked, this, [this, kind] { SelectKind(kind); });
        QAction* a = bigToolbar_->addWidget(b);
        if (kind == 0)
            mapsAction_ = a;
        kindButtons_.push_back(b);
    }
    kindButtons_[0]->setChecked(true);
    namesButton_ = button(8, "Names", nullptr);
    namesButton_->setToolTip(QString());
    connect(namesButton_, &QToolButton::clicked, this, [this] { MenuAction("Game params")->trigger(); });
    bigToolbar_->addWidget(namesButton_);
    libSeparator_ = bigToolbar_->addSeparator();
    libButton_ = button(9, "Lib", nullptr);
    libButton_->setToolTip(QString());
    libButton_->setCheckable(true);
    connect(libButton_, &QToolButton::clicked, this, [this](bool on) { SetLibMode(on); });
    libAction_ = bigToolbar_->addWidget(libButton_);
    saveButton_ = button(10, "Save", nullptr);
    saveButton_->setToolTip(QString());
    connect(saveButton_, &QToolButton::clicked, this, [this] { SaveProject(); });
    bigToolbar_->addWidget(saveButton_);
    SetBigIcons(true);
}

void TForm1::SetBigIcons(bool big)
{
    bigIcons_ = big;
    const int size = big ? 32 : 16;
    bigToolbar_->setIconSize(QSize(size, size));
    std::vector<QToolButton*> all = kindButtons_;
    all.insert(all.end(), {namesButton_, libButton_, saveButton_});
    for (size_t i = 0; i < all.size(); ++i) {
        all[i]->setIcon(ToolbarIcon(static_cast<int>(i), size));
        all[i]->setIconSize(QSize(size, size));
        all[i]->setFixedSize(size + 6, size + 6);
    }
}

void TForm1::BuildPanels()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    mainSplitter_ = new QSplitter(Qt::Horizontal, central);
    mainSplitter_->setChildrenCollapsible(false);

    // Left panel: small toolbar with the zoom, map chooser, element tree.
    leftPanel_ = new QWidget(mainSplitter_);
    auto* left = new QVBoxLayout(leftPanel_);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(1);
    auto* smallBar = new QToolBar(leftPanel_);
    smallBar->setIconSize(QSize(16, 16));
    const char* const treeCommands[3] = {"Add", "Remove", "Rename"};
    const char* const treeGlyphs[3] = {"+", "-", "R"};
    for (int i = 0; i < 3; ++i) {
        QAction* a = smallBar->addAction(QString::fromLatin1(treeGlyphs[i]));
        a->setToolTip(QString::fromLatin1(treeCommands[i]));
        connect(a, &QAction::triggered, this, [this, i] {
            if (i == 0)
                browser_->Add();
            else if (i == 1)
                browser_->Remove();
            else
                browser_->Rename();
        });
        treeButtons_.push_back(a);
    }
    smallBar->addWidget(new QLabel(QStringLiteral("   Zoom :"), smallBar));
    zoomSpin_ = new QSpinBox(smallBar);
    zoomSpin_->setRange(1, 6);
    zoomSpin_->setValue(project_->Zoom);
    connect(zoomSpin_, qOverload<int>(&QSpinBox::valueChanged), this, [this](int z) { SetZoom(z); });
    smallBar->addWidget(zoomSpin_);
    left->addWidget(smallBar);
    mapChooser_ = new QComboBox(leftPanel_);
    left->addWidget(mapChooser_);
    tree_ = new QTreeWidget(leftPanel_);
    tree_->setHeaderHidden(true);
    tree_->installEventFilter(this);
    tree_->viewport()->installEventFilter(this);
    left->addWidget(tree_, 1);

    // Right side: the visual area above the code area.
    codeSplitter_ = new QSplitter(Qt::Vertical, mainSplitter_);
    codeSplitter_->setChildrenCollapsible(false);
    visualArea_ = new QWidget(codeSplitter_);
    auto* visualLayout = new QHBoxLayout(visualArea_);
    visualLayout->setContentsMargins(0, 0, 0, 0);
    visualSplitter_ = new QSplitter(Qt::Horizontal, visualArea_);
    visualSplitter_->setChildrenCollapsible(false);
    visualLayout->addWidget(visualSplitter_);
    auto* mapColumn = new QSplitter(Qt::Vertical, visualSplitter_);
    mapColumn->setChildrenCollapsible(false);
    // The map area: the pattern editor's swatch bar (Lib mode) above the view.
    auto* mapBox = new QWidget(mapColumn);
    auto* mapLayout = new QVBoxLayout(mapBox);
    mapLayout->setContentsMargins(0, 0, 0, 0);
    mapLayout->setSpacing(0);
    patternEditor_ = std::make_unique<TPatternEditor>(*project_, mapBox);
    mapLayout->addWidget(patternEditor_->ToolBar4());
    mapArea_ = new TMapArea(*project_, mapBox);
    mapLayout->addWidget(mapArea_, 1);
    mapView_ = mapArea_->View();
    mapArea_->OnBackgroundPress = [this] { FocusTree(); };
    mapView_->OnPaintPattern = [this](TCanvas& canvas) {
        patternEditor_->Paint(canvas, project_->SelectedElement);
    };
    mapView_->OnRelease = [this] {
        patternEditor_->Release();
        if (patternElement_)
            history_.PatternChanged(patternElement_, patternBefore_);
        patternElement_ = nullptr;
    };
    // Definitions and NPCs dragged from the tree are placed where they drop.
    mapView_->AcceptsDrag = [this](const QMimeData& data) {
        if (project_->LibMode)
            return false;
        if (data.hasFormat(QString::fromLatin1(PlacementMimeType)))
            return project_->CurrentKind == 5 || project_->CurrentKind == 6;
        if (data.hasFormat(QString::fromLatin1(TfrmCodeEdit::EntryMimeType())))
            return browser_->CurrentMap() != nullptr;
        return TElementBrowser::DragSource(data).has_value();
    };
    mapView_->OnDrop = [this](int px, int py, const QMimeData& data) {
        if (data.hasFormat(QString::fromLatin1(TfrmCodeEdit::EntryMimeType()))) {
            // An event of the code editor moves to the cell it is dropped on.
            TMap* map = browser_->CurrentMap();
            const TCellHit hit = map ? CellAt(*map, px, py, std::max(project_->Zoom, 1)) : TCellHit{};
            if (hit.Hit)
                gestures_->DropEvent(FromQ(QString::fromLatin1(data.data(QString::fromLatin1(
                                         TfrmCodeEdit::EntryMimeType())))),
                                     hit.X, hit.Y, hit.Side);
            return;
        }
        if (data.hasFormat(QString::fromLatin1(PlacementMimeType))) {
            // The shown placement moves to the cell it is dropped on.
            TMap* map = browser_->CurrentMap();
            const TCellHit hit = map ? CellAt(*map, px, py, std::max(project_->Zoom, 1)) : TCellHit{};
            if (hit.Hit) {
                history_.BeginStroke();
                gestures_->DropFromList(hit.X, hit.Y);
            }
            return;
        }
        const auto source = TElementBrowser::DragSource(data);
        TMap* map = browser_->CurrentMap();
        if (!source || !map || project_->LibMode || source->first != project_->CurrentKind)
            return;
        const TCellHit hit = CellAt(*map, px, py, std::max(project_->Zoom, 1));
        if (hit.Hit)
            gestures_->DropFromTree(source->second, hit.X, hit.Y);
    };
    auto patternEdited = [this] {
        Modified = true;
        mapArea_->RepaintAll();
        tree_->viewport()->update();
    };
    patternEditor_->OnPatternChanged = [patternEdited](TListedItem*) { patternEdited(); };
    patternEditor_->OnColoursChanged = patternEdited;
    patternEditor_->OnColourEdited = [this, patternEdited](int tag, TColor before) {
        const TColor after = project_->MapColors[static_cast<size_t>(tag)];
        auto set = [this, tag, patternEdited](TColor colour) {
            if (!project_->LibMode)
                SetLibMode(true); // where the swatches are seen
            project_->MapColors[static_cast<size_t>(tag)] = colour;
            patternEditor_->RebuildSwatches();
            project_->PrepareMapPictures();
            patternEdited();
        };
        TStep step;
        step.Name = "Change colour " + std::to_string(tag);
        step.Undo = [set, before] { set(before); };
        step.Redo = [set, after] { set(after); };
        session_.Record(std::move(step));
    };
    mapArea_->OnWheelStep = [this](int step) { WheelStep(step); };
    mapView_->OnPress = [this](int px, int py, Qt::MouseButton button) {
        if (project_->LibMode && button != Qt::MiddleButton) {
            FocusTree();
            patternElement_ = const_cast<TListedItem*>(project_->SelectedElement);
            if (patternElement_)
                std::memcpy(patternBefore_, std::as_const(*patternElement_).PatternCells.Data(), sizeof patternBefore_);
            patternEditor_->PressAt(patternElement_, QPoint(px, py), button);
            return;
        }
        gestures_->PressCell(TMapGestures::Source::Mouse, button, px, py);
    };
    mapView_->OnMove = [this](int px, int py, Qt::MouseButtons buttons) {
        if (project_->LibMode && !(buttons & Qt::MiddleButton)) {
            patternEditor_->MoveTo(const_cast<TListedItem*>(project_->SelectedElement), QPoint(px, py), buttons);
            return;
        }
        gestures_->MouseMove(buttons, px, py);
    };
    picturePreview_ = new TPicturePreview(mapColumn);
    picturePreview_->setVisible(false);
    columnSplitter_ = new QSplitter(Qt::Vertical, visualSplitter_);
    columnSplitter_->setChildrenCollapsible(false);
    elementPanel_ = new QWidget(columnSplitter_);
    auto* elements = new QVBoxLayout(elementPanel_);
    elements->setContentsMargins(0, 0, 0, 0);
    elements->setSpacing(0);
    elementsTitle_ = TitleBar(QStringLiteral(" Elements"), elementPanel_);
    elements->addWidget(elementsTitle_);
    gesturesView_ = nullptr;
    auto* placementList = new TPlacementList(elementPanel_);
    // An element of the tree dropped on the list is placed on the selected cell.
    placementList->AcceptsDrop = [this](const QMimeData& data) { return PlacementListAccepts(data); };
    placementList->OnDrop = [this](const QMimeData& data) { DropOnPlacementList(data); };
    elementList_ = placementList;
    elementList_->setItemDelegate(new TPlacementDelegate(gesturesView_, elementList_));
    elementList_->installEventFilter(this);
    connect(elementList_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { gestures_->ChoosePlacement(elementList_->row(item)); });
    elements->addWidget(elementList_, 1);
    preview_ = new QLabel(elementPanel_);
    preview_->setAlignment(Qt::AlignCenter);
    elements->addWidget(preview_, 1);
    propertyPanel_ = new QWidget(columnSplitter_);
    BuildPropertyPanel(propertyPanel_);
    codeArea_ = new QWidget(codeSplitter_);
    codeArea_->setMinimumHeight(MinimumVisualHeight);
    // The visual area keeps its height; the code area takes what is left.
    codeSplitter_->setStretchFactor(0, 0);
    codeSplitter_->setStretchFactor(1, 1);
    visualArea_->setMinimumHeight(1); // the splitter may shrink it below what its panels ask for
    connect(codeSplitter_, &QSplitter::splitterMoved, this, [this] {
        if (ViewMode() == 2 && visualArea_->isVisible() && !changingMode_)
            VisualHeight = visualArea_->height();
    });
    // The left panel, the right column and the element panel keep their size
    // when the window is resized; the map view and the grid take the rest.
    mainSplitter_->setStretchFactor(0, 0);
    mainSplitter_->setStretchFactor(1, 1);
    visualSplitter_->setStretchFactor(0, 1);
    visualSplitter_->setStretchFactor(1, 0);
    columnSplitter_->setStretchFactor(0, 0);
    columnSplitter_->setStretchFactor(1, 1);
    // splitterMoved comes from the designer's drags only.
    connect(mainSplitter_, &QSplitter::splitterMoved, this,
            [this](int pos) { paleteWidth_ = pos; });
    connect(visualSplitter_, &QSplitter::splitterMoved, this,
            [this] { propertiesWidth_ = visualSplitter_->sizes().value(1); });
    connect(columnSplitter_, &QSplitter::splitterMoved, this,
            [this](int pos) { propertiesHeight_ = pos; });

    outer->addWidget(mainSplitter_, 1);

    // Bottom strip: view-mode tabs and the status text.
    auto* bottom = new QWidget(central);
    auto* strip = new QHBoxLayout(bottom);
    strip->setContentsMargins(0, 0, 0, 0);
    viewTabs_ = new QTabBar(bottom);
    viewTabs_->setShape(QTabBar::RoundedSouth);
    viewTabs_->addTab(QStringLiteral("Visual"));
    viewTabs_->addTab(QStringLiteral("Code edit"));
    viewTabs_->addTab(QStringLiteral("Both"));
    viewTabs_->setCurrentIndex(2); // the design layout is "Both"
    connect(viewTabs_, &QTabBar::currentChanged, this, [this](int mode) { SetViewMode(mode); });
    strip->addWidget(viewTabs_);
    status_ = new QLabel(bottom);
    status_->setFrameShape(QFrame::StyledPanel);
    strip->addWidget(status_, 1);
    outer->addWidget(bottom);

    setCentralWidget(central);
    paleteWidth_ = DesignPaleteWidth;
    propertiesWidth_ = DesignPropertiesWidth;
    propertiesHeight_ = DesignPropertiesHeight;
    ApplyPanelSizes();
    PaintTitle(propertiesTitle_, false);
    PaintTitle(elementsTitle_, false);
}

void TForm1::ReadSettings()
{
    auto s = TSettings::OpenSettings();
    const int width = s->ReadInteger(Section, "width", DesignWidth);
    const int height = s->ReadInteger(Section, "height", DesignHeight);
    const int top = s->ReadInteger(Section, "top", DesignTop);
    const int left = s->ReadInteger(Section, "left", DesignLeft);
    setGeometry(left, top, std::max(width, 100), std::max(height, 100));
    paleteWidth_ = s->ReadInteger(Section, "paleteWidth", DesignPaleteWidth);
    propertiesWidth_ = s->ReadInteger(Section, "propertiesWidth", DesignPropertiesWidth);
    propertiesHeight_ = s->ReadInteger(Section, "propertiesHeight", DesignPropertiesHeight);
    ApplyPanelSizes();
    VisualHeight = s->ReadInteger(Section, "codeEdit", VisualHeight);
    const int mode = std::clamp(s->ReadInteger(Section, "viewMode", 0), 0, 2);
    paintFloorsAction_->setChecked(s->ReadBool(Section, "floors", true));
    project_->PaintFloors = paintFloorsAction_->isChecked();
    SetZoom(s->ReadInteger(Section, "zoom", project_->Zoom));
    // The history keeps this many steps (it is still empty here).
    history_.Stack().setUndoLimit(std::clamp(s->ReadInteger(TfrmConfig::Section, "undoLimit", 1000), 0, 1000000));
    autosaveMinutes_ = std::clamp(s->ReadInteger(TfrmConfig::Section, "autosaveMinutes", 5), 0, 24 * 60);
    s->CloseSettings();
    pendingMode_ = mode; // applied with the rest of the layout when the window shows
}

// ---------------------------------------------------------------------- show

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (started_)
        return;
    started_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!FormShow())
            close();
        else
            emit Started();
    });
}

void TForm1::ShowProgress(const std::string& text)
{
    if (windows_.Logo)
        windows_.Logo->ShowProgress(text);
}

bool TForm1::FormShow()
{
    started_ = true;
    // 1 to 3: the command line, then the project selection when none was given.
    project_->CurrentKind = 0;
    project_->ProjectFolder.clear();
    CommandLine = ParseCommandLine(Arguments);
    DocName = CommandLine.DocName;
    project_->DataEditMode = CommandLine.DataEditMode;
    if (CommandLine.DataEditMode) {
        project_->LibMode = true;
        project_->CurrentKind = 1;
        mapsAction_->setVisible(false);
        libAction_->setVisible(false);
        libSeparator_->setVisible(false);
    }
    std::string folder = CommandLine.ProjectFolder;
    std::error_code missing;
    if (!folder.empty() && !fs::is_directory(fs::path(folder), missing)) {
        // Opening nothing would only fail at Save: the selection is shown instead.
        dialogs_.Error(FormatMessage("Project folder %s does not exist.", folder));
        CommandLine.PresetFolder = fs::path(folder).parent_path().string();
        folder.clear();
    }
    if (folder.empty()) {
        const std::optional<std::string> chosen = SelectProject ? SelectProject(CommandLine) : std::nullopt;
        if (!chosen)
            return false;
        folder = *chosen;
    }
    // 4 to 13: the project, with the splash window reporting progress.
    if (windows_.Logo) {
        windows_.Logo->SetDevelop(CommandLine.Develop);
        windows_.Logo->ShowSplash();
    }
    project_->ProjectFolder = WithSeparator(folder);
    // Unsaved changes of an editor that ended without closing.
    recoveryFolder_ = recovery::FolderFor(folder);
    bool recovered = false;
    if (const auto when = recovery::Newer(recoveryFolder_, folder)) {
        std::string question = "Unsaved changes of %s from %s were recovered. Open them?";
        question.replace(question.find("%s"), 2, folder);
        question.replace(question.find("%s"), 2, recovery::TimeText(*when));
        if (windows_.Logo)
            windows_.Logo->hide();
        recovered = dialogs_.Confirm(question);
        if (recovered)
            project_->FilesFolder = recoveryFolder_;
    }
    if (!LoadProject()) {
        if (windows_.Logo)
            windows_.Logo->hide();
        return false;
    }
    if (recovered)
        Modified = true; // saved into the project by the designer
    readOnly_ = !FolderWritable(folder);
    if (readOnly_) {
        dialogs_.Error(FormatMessage("The project folder %s cannot be written; changes cannot be saved.", folder));
        setWindowTitle(windowTitle() + QStringLiteral(" [read-only]"));
    }
    patternEditor_->RebuildSwatches();
    // The map shown while no map is open; made once the maps list exists for good.
    placeholderMap_ = std::make_unique<TMap>("", project_->Maps.get(), 1, 1);
    // 14 to 25: the views.
    project_->PrepareMapPictures();
    browser_->SetPlaceholderMap(placeholderMap_.get());
    browser_->FillMapChooser();
    browser_->ShowMap(nullptr);
    browser_->SetLibMode(project_->LibMode);
    if (project_->DataEditMode) {
        // Game-data mode turns Lib mode on without pressing the hidden "Lib"
        // button: the first "Lib/Edit mode" presses it (Lib mode stays on),
        // the second releases it.
        const QSignalBlocker buttonQuiet(libButton_), actionQuiet(libModeAction_);
        libButton_->setChecked(false);
        libModeAction_->setChecked(false);
    }
    windows_.CodeEdit->RefreshNames(*project_);
    project_->PrepareMapPictures();
    ShowProgress("help system");
    windows_.Help->LoadHelp(HelpFolder(DocName));
    TfrmCodeEdit& code = *windows_.CodeEdit;
    code.SetDialogs(&dialogs_);
    code.SetProject(project_.get());
    code.SetParamEdit(windows_.ParamEdit.get());
    code.SetHelp(windows_.Help.get());
    code.AskNewName = [this](const TLoadSaveList& list, const std::string& label, const std::string& initial) {
        return AskNewName(dialogs_, list, label, initial);
    };
    code.SetSession(&session_);
    code.OnModified = [this] { Modified = true; };
    code.OnEntryDoubleClick = [this](const std::string& entry) { gestures_->SelectCellOfEvent(entry); };
    code.DockInto(codeArea_, centralWidget());
    code.FillFunctionWords();
    code.FocusText();
    SetViewMode(pendingMode_);
    UpdateTitleBars();
    if (windows_.Logo)
        windows_.Logo->hide();
    ApplyConfiguration();
    if (autosaveMinutes_ > 0)
        autosave_->start(autosaveMinutes_ * 60 * 1000);
    return true;
}

bool TForm1::Autosave()
{
    // Unsaved: a step since the last save (showing an element marks the
    // project modified, and changes nothing).
    if (!loaded_ || !Modified || history_.Stack().isClean() || recoveryFolder_.empty())
        return false;
    try {
        recovery::Write(*project_, recoveryFolder_);
    } catch (const std::exception& e) {
        // Told once: the next tries go on quietly.
        if (!autosaveFailed_) {
            autosaveFailed_ = true;
            dialogs_.Error(e.what());
        }
        return false;
    }
    return true;
}

std::string TForm1::HelpFolder(const std::string& docName)
{
    // The help of an installed editor lies in its share folder.
    std::error_code ec;
    if (docName.empty() || fs::is_directory(fs::path(docName), ec))
        return docName;
    const fs::path installed = (fs::path(Project::ExecutableFolder()) / ".." / "share" / "kestrune" / docName).lexically_normal();
    return fs::is_directory(installed, ec) ? installed.string() : docName;
}

bool TForm1::FolderWritable(const std::string& folder)
{
    // Tried rather than asked: permission bits say nothing of a read-only
    // mount or an immutable folder, nor of what the system lets its owner do.
    const fs::path probe = fs::path(folder) / (".kestrune-probe-" + std::to_string(static_cast<long>(::getpid())));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool TForm1::LoadProject()
{
    Project& p = *project_;
    history_.Clear(); // its steps belong to the project loaded before
    p.DefinitionFile = DefinitionFile;
    p.Chooser = windows_.SelectReplace.get();
    p.Progress = [this](const std::string& text) { ShowProgress(text); };
    try {
        p.Load(p.ProjectFolder);
    } catch (const std::exception& e) {
        if (windows_.Logo)
            windows_.Logo->hide();
        dialogs_.Error(e.what());
        return false;
    }
    // The refused map files are told in one message, however many there are.
    std::vector<std::string> refusedMaps;
    for (const Project::TRefusedFile& refused : p.RefusedMaps)
        refusedMaps.push_back(refused.Message);
    for (const std::string& warning : p.Warnings)
        if (std::find(refusedMaps.begin(), refusedMaps.end(), warning) == refusedMaps.end())
            dialogs_.Error(warning);
    if (!refusedMaps.empty())
        dialogs_.Error(RefusedMapsMessage(refusedMaps));
    TellRefusedPictures();
    loaded_ = true;
    return true;
}

void TForm1::TellRefusedPictures()
{
    // Pictures the store refused for its memory budget: told once per file,
    // all of one load or one change in one box.
    if (tellingPictures_)
        return; // the box of an earlier call is still open
    const std::vector<std::string> refused = TPictureStore::Shared().TakeMessages();
    if (refused.empty())
        return;
    tellingPictures_ = true;
    std::string text;
    for (const std::string& message : refused)
        text += (text.empty() ? "" : "\n") + message;
    dialogs_.Error(text);
    tellingPictures_ = false;
}

// ---------------------------------------------------------------- view modes

int TForm1::ViewMode() const { return viewTabs_->currentIndex(); }

void TForm1::SetViewMode(int mode)
{
    mode = std::clamp(mode, 0, 2);
    changingMode_ = true;
    if (viewTabs_->currentIndex() != mode)
        viewTabs_->setCurrentIndex(mode); // comes back here through currentChanged
    const bool visualShown = mode != 1 && visualArea_->isHidden();
    visualArea_->setVisible(mode != 1);
    codeArea_->setVisible(mode != 0);
    if (visualShown)
        ApplyPanelSizes();
    if (mode == 2) {
        // Before the first layout pass the splitter has no height of its own.
        const int total = std::max({codeSplitter_->height(), height() - 120, MinimumVisualHeight * 2});
        // Until the designer has moved the splitter the two areas share the
        // height: a strip of 30 pixels would show no map at all.
        const int visual = VisualHeight > 0 ? std::max(MinimumVisualHeight, VisualHeight) : total / 2;
        codeSplitter_->setSizes({visual, std::max(total - visual, 1)});
    }
    changingMode_ = false;
}

void TForm1::CodeMapMode()
{
    switch (ViewMode()) {
    case 0: SetViewMode(1); break;
    case 1: SetViewMode(0); break;
    default: SetViewMode(windows_.CodeEdit->TextHasFocus() ? 1 : 0); break;
    }
}

void TForm1::BothMode() { SetViewMode(2); }

// --------------------------------------------------------- kinds, lib, zoom

void TForm1::SelectKind(int kind)
{
    if (kind < 0 || kind >= KindCount)
        return;
    SaveCurrent();
    browser_->SelectKind(kind);
}

void TForm1::SetLibMode(bool on) { browser_->SetLibMode(on); }

void TForm1::SetZoom(int zoom)
{
    zoom = std::clamp(zoom, 1, 6);
    const bool changed = zoom != project_->Zoom;
    project_->Zoom = zoom;
    if (zoomSpin_->value() != zoom)
        zoomSpin_->setValue(zoom);
    zoomActions_[static_cast<size_t>(zoom - 1)]->setChecked(true);
    if (changed && loaded_) {
        project_->PrepareMapPictures();
        if (TMap* map = browser_->CurrentMap())
            mapArea_->ShowMap(map); // keeps its scroll position
    }
}

void TForm1::SetPaintFloors(bool on)
{
    paintFloorsAction_->setChecked(on);
    project_->PaintFloors = on;
    mapArea_->RepaintAll();
}

bool TForm1::PaintFloors() const { return paintFloorsAction_->isChecked(); }

void TForm1::keyPressEvent(QKeyEvent* event)
{
    if (ZoomKey(*event))
        return;
    QMainWindow::keyPressEvent(event);
}

void TForm1::UpdateTitleBars()
{
    QWidget* focus = QApplication::focusWidget();
    const bool properties = focus && propertyPanel_->isAncestorOf(focus) && focus != propertyTabs_;
    const bool elements = focus && (focus == elementList_);
    PaintTitle(propertiesTitle_, properties);
    PaintTitle(elementsTitle_, elements);
}

// ------------------------------------------------------------- configuration

void TForm1::OpenConfiguration()
{
    TfrmConfig& config = *windows_.Config;
    TConfigState state;
    state.MapDirectDraw = project_->MapDirectDraw;
    state.BigIcons = bigIcons_;
    state.PicturePreview = project_->PreviewPictures;
    state.AddParentheses = windows_.CodeEdit->AddParentheses();
    state.CompletionDelayMs = windows_.CodeEdit->CompletionDelay();
    config.SetFromState(state);
    if (config.exec() == QDialog::Accepted)
        ApplyConfiguration();
}

void TForm1::ApplyConfiguration()
{
    const TConfigState state = windows_.Config->State();
    project_->MapDirectDraw = state.MapDirectDraw;
    SetBigIcons(state.BigIcons);
    project_->PreviewPictures = state.PicturePreview;
    windows_.CodeEdit->SetAddParentheses(state.AddParentheses);
    windows_.CodeEdit->SetCompletionDelay(state.CompletionDelayMs);
    SelectKind(project_->CurrentKind);
}

void TForm1::ShowAbout()
{
    if (windows_.Logo)
        windows_.Logo->ShowAbout();
}

// --------------------------------------------------------- saving, closing

bool TForm1::SaveProject()
{
    if (!loaded_)
        return false;
    if (windows_.Logo) {
        windows_.Logo->ShowSplash();
        ShowProgress("saving");
    }
    windows_.CodeEdit->SaveCurrent();
    Modified = false;
    grid_->StoreTable();
    try {
        project_->Save();
    } catch (const std::exception& e) {
        Modified = true; // what could not be written is still unsaved
        if (windows_.Logo)
            windows_.Logo->hide();
        dialogs_.Error(e.what());
        return false;
    }
    history_.Stack().setClean();
    recovery::Remove(recoveryFolder_); // the project holds it all now
    if (windows_.Logo)
        windows_.Logo->hide();
    return true;
}

void TForm1::UndoOrRedo(bool undo)
{
    // A text being edited takes the keys first.
    QWidget* focus = QApplication::focusWidget();
    if (auto* source = dynamic_cast<TSourceEdit*>(focus); source && !source->isReadOnly()) {
        undo ? source->Undo() : source->Redo();
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(focus); line && !line->isReadOnly()) {
        undo ? line->undo() : line->redo();
        return;
    }
    if (auto* text = qobject_cast<QPlainTextEdit*>(focus); text && !text->isReadOnly()) {
        undo ? text->undo() : text->redo();
        return;
    }
    SettleEdits();
    undo ? history_.Stack().undo() : history_.Stack().redo();
}

void TForm1::ShowElementStep(TListedItem& element)
{
    // The element selected in its kind: Lib mode for the libraries (a
    // pattern shows in the pattern view there), edit mode for the NPCs placed.
    for (int kind = 1; kind <= 7; ++kind) {
        for (const bool lib : {true, false}) {
            if (!lib && kind != 7)
                continue;
            TListedList* library = kind == 7 ? (lib ? static_cast<TListedList*>(project_->NpcDefs.get())
                                                    : static_cast<TListedList*>(project_->Npcs.get()))
                                             : project_->LibraryOfKind(kind);
            if (!library || library->IndexOf(&element) < 0)
                continue;
            if (project_->LibMode != lib)
                SetLibMode(lib);
            if (project_->CurrentKind != kind)
                SelectKind(kind);
            if (browser_->SelectedLibraryElement() != &element)
                browser_->SelectByIndex(library->IndexOf(&element));
            return;
        }
    }
}

void TForm1::SettleEdits()
{
    grid_->SettleEdit(); // a value being typed in the grid is finished first
    windows_.CodeEdit->SaveCurrent();
}

void TForm1::ShowStep(TMap* map, int x, int y)
{
    const bool known = map && (map == placeholderMap_.get() || (project_->Maps && project_->Maps->IndexOf(map) >= 0));
    if (!known)
        return;
    if (project_->LibMode)
        SetLibMode(false);
    if (browser_->CurrentMap() != map)
        browser_->ShowMap(map);
    if (!map->InMap(x, y) || (map->SelX == x && map->SelY == y))
        return;
    const int oldX = map->SelX, oldY = map->SelY;
    map->SelX = x;
    map->SelY = y;
    RepaintCell(oldX, oldY);
    RepaintCell(x, y);
    gestures_->ListPlacements();
    ShowCursorLists();
}

void TForm1::ShowHistory()
{
    if (!historyView_) {
        historyView_ = new QUndoView(&history_.Stack(), this);
        historyView_->setWindowFlags(Qt::Tool);
        historyView_->setWindowTitle(QStringLiteral("History"));
        historyView_->setEmptyLabel(QStringLiteral("<as loaded>"));
        historyView_->setCleanIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
        historyView_->resize(260, 360);
        // What is being typed becomes a step before the view moves through the steps.
        historyView_->viewport()->installEventFilter(this);
        historyView_->installEventFilter(this);
    }
    historyView_->show();
    historyView_->raise();
}

void TForm1::ShowPlaces(const std::string& heading, std::vector<TProblem> places)
{
    if (!placesDock_) {
        placesDock_ = new TPlacesDock(this);
        placesDock_->OnGo = [this](const TProblem& place) {
            if (!GoToPlace(place))
                status_->setText(QStringLiteral("That place is no longer in the project."));
        };
        addDockWidget(Qt::BottomDockWidgetArea, placesDock_);
    }
    placesDock_->SetPlaces(heading, std::move(places));
    placesDock_->show();
    placesDock_->raise();
}

void TForm1::CheckProject()
{
    if (!loaded_)
        return;
    SettleEdits(); // what is being typed is checked too
    TCheckOptions options;
    if (!windows_.Help->Index.FunctionNames().empty())
        options.functions = &windows_.Help->Index;
    std::vector<TProblem> problems = kestrune::CheckProject(*project_, options);
    const size_t n = problems.size();
    ShowPlaces(n == 0 ? std::string("Check project: no problem")
                      : "Check project: " + std::to_string(n) + (n == 1 ? " problem" : " problems"),
               std::move(problems));
}

void TForm1::WhereUsed(TListedItem& element)
{
    if (!loaded_)
        return;
    SettleEdits();
    int kind = -1;
    for (int k = 0; k <= 7 && kind < 0; ++k)
        if (TListedList* library = project_->LibraryOfKind(k); library && library->IndexOf(&element) >= 0)
            kind = k;
    if (kind < 0)
        return;
    std::vector<TProblem> uses = kestrune::WhereUsed(*project_, kind, element);
    const size_t n = uses.size();
    ShowPlaces("Where used: " + element.Name + ": " +
                   (n == 0 ? std::string("not used") : std::to_string(n) + (n == 1 ? " place" : " places")),
               std::move(uses));
}

void TForm1::WhereUsedSelected()
{
    if (TListedItem* element = const_cast<TListedItem*>(browser_->SelectedLibraryElement()))
        WhereUsed(*element);
}

void TForm1::FindInScripts(const std::string& text, bool wholeWord, bool matchCase)
{
    if (!loaded_ || text.empty())
        return;
    SettleEdits();
    std::vector<TProblem> found = kestrune::FindInScripts(*project_, text, wholeWord, matchCase);
    const size_t n = found.size();
    ShowPlaces("Find in scripts: \"" + text + "\": " +
                   (n == 0 ? std::string("not found") : std::to_string(n) + (n == 1 ? " place" : " places")),
               std::move(found));
}

void TForm1::AskFindInScripts()
{
    TFindScriptsDialog ask(this);
    ask.TextBox()->setText(ToQ(windows_.CodeEdit->WordAtCaret()));
    ask.TextBox()->selectAll();
    if (ask.exec() == QDialog::Accepted)
        FindInScripts(ask.Text(), ask.WholeWord(), ask.MatchCase());
}

bool TForm1::Live(const TListedItem* element) const
{
    if (!element)
        return false;
    for (int k = 0; k <= 7; ++k)
        if (TListedList* library = project_->LibraryOfKind(k); library && library->IndexOf(element) >= 0)
            return true;
    if (project_->Npcs && project_->Npcs->IndexOf(element) >= 0)
        return true;
    if (project_->Maps)
        for (int i = 0; i < project_->Maps->Count(); ++i) {
            const TMap* map = project_->Maps->MapAt(i);
            if (map == element || map->Items->IndexOf(element) >= 0 || map->Monsters->IndexOf(element) >= 0)
                return true;
        }
    return false;
}

bool TForm1::GoToPlace(const TProblem& problem)
{
    const TPlace& place = problem.place;
    auto* map = const_cast<TMap*>(place.map);
    auto* element = const_cast<TListedItem*>(place.element);
    auto* owner = const_cast<TListedItem*>(place.scriptOwner);
    if ((map && !Live(map)) || (element && !Live(element)) || (owner && !Live(owner)))
        return false;
    if (!map && !element && !owner)
        return false;
    SettleEdits();
    // The map and its cell (and side) first, in the kind of what lies there.
    if (map) {
        const bool item = element && map->Items->IndexOf(element) >= 0;
        const bool monster = element && map->Monsters->IndexOf(element) >= 0;
        const bool npc = element && project_->Npcs && project_->Npcs->IndexOf(element) >= 0;
        if (project_->LibMode)
            SetLibMode(false);
        if (npc) {
            // The NPC chosen in its kind, then its cell on the map it names.
            ShowElementStep(*element);
        } else if (item || monster) {
            if (project_->CurrentKind != (item ? 5 : 6))
                SelectKind(item ? 5 : 6);
        } else if (project_->CurrentKind == 5 || project_->CurrentKind == 6 || project_->CurrentKind == 7) {
            SelectKind(0); // the map's own properties
        }
        int x = place.x, y = place.y;
        if (auto* placed = dynamic_cast<TItem*>(element); placed && x < 0) {
            x = placed->X;
            y = placed->Y;
        } else if (auto* m = dynamic_cast<TMonster*>(element); m && x < 0) {
            x = m->Left;
            y = m->Top;
        }
        if (npc) {
            if (browser_->CurrentMap() != map)
                browser_->ShowMap(map);
            map->SelX = std::clamp(x, 0, map->SizeX - 1);
            map->SelY = std::clamp(y, 0, map->SizeY - 1);
            RepaintMap();
            ShowElement(element); // the grid shows the NPC, not its map
        } else {
            ShowStep(map, x, y);
        }
        if (place.side >= 0 && place.side < 4 && map->InMap(x, y) && map->SelSide != place.side) {
            map->SelSide = place.side;
            RepaintCell(x, y);
        }
        if (item || monster) {
            gestures_->ListPlacements();
            const auto& listed = gestures_->Placements();
            const auto at = std::find(listed.begin(), listed.end(), element);
            if (at != listed.end()) {
                gestures_->ChoosePlacement(static_cast<int>(at - listed.begin()));
                RefreshPlacements();
            }
        }
    } else if (element) {
        ShowElementStep(*element);
    }
    if (!owner || place.entry.empty())
        return true;
    // The script: the owner's events, or an NPC's key words.
    TParList* list = nullptr;
    if (!place.keywords && owner->Events && owner->Events->IndexOfName(place.entry) >= 0) {
        list = owner->Events.get();
    } else if (auto* def = dynamic_cast<TNPCDef*>(owner); def && def->Keywords &&
               def->Keywords->IndexOfName(place.entry) >= 0) {
        list = def->Keywords.get();
    } else if (auto* npc = dynamic_cast<TNPC*>(owner); npc && npc->Keywords &&
               npc->Keywords->IndexOfName(place.entry) >= 0) {
        list = npc->Keywords.get();
    }
    if (!list)
        return false;
    if (!map && owner != element)
        ShowElementStep(*owner);
    if (ViewMode() == 0)
        SetViewMode(1);
    windows_.CodeEdit->SwitchList(owner, list, place.entry);
    windows_.CodeEdit->FocusText();
    if (place.offset >= 0) {
        TSourceEdit* text = windows_.CodeEdit->Editor();
        QTextCursor caret = text->textCursor();
        caret.setPosition(std::min(place.offset, text->document()->characterCount() - 1));
        text->setTextCursor(caret);
        text->ensureCursorVisible();
    }
    return true;
}

bool TForm1::CloseQuery()
{
    // A script being typed counts as a change too.
    if (loaded_)
        windows_.CodeEdit->SaveCurrent();
    if (!Modified || !loaded_)
        return true;
    switch (dialogs_.YesNoCancel("Save changes?")) {
    case UserDialogs::Answer::Cancel: return false;
    case UserDialogs::Answer::No:
        recovery::Remove(recoveryFolder_); // left unsaved on purpose
        return true;
    case UserDialogs::Answer::Yes:
        return SaveProject(); // a failed save keeps the editor open
    }
    return false;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!CloseQuery()) {
        event->ignore();
        return;
    }
    FormDestroy();
    event->accept();
}

void TForm1::ApplyPanelSizes()
{
    // A splitter not laid out yet is given the window's extent, so that the
    // fixed panel gets its size and the other one the rest.
    auto apply = [](QSplitter* splitter, int first, int fixed, int extent) {
        const int total = std::max({splitter->orientation() == Qt::Horizontal ? splitter->width()
                                                                               : splitter->height(),
                                    extent, fixed + 1});
        const int size = std::max(fixed, 1);
        splitter->setSizes(first == 0 ? QList<int>{size, std::max(total - size, 1)}
                                      : QList<int>{std::max(total - size, 1), size});
    };
    apply(mainSplitter_, 0, paleteWidth_, width());
    apply(visualSplitter_, 1, propertiesWidth_, width() - paleteWidth_);
    apply(columnSplitter_, 0, propertiesHeight_, height());
}

int TForm1::PaleteWidth() const { return leftPanel_->width(); }
int TForm1::PropertiesWidth() const { return columnSplitter_->width(); }
int TForm1::PropertiesHeight() const { return elementPanel_->height(); }

void TForm1::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    // The code editor's pane lives in this window until now.
    windows_.CodeEdit->Undock();
    auto s = TSettings::OpenSettings();
    const QRect g = geometry();
    s->WriteInteger(Section, "top", g.top());
    s->WriteInteger(Section, "left", g.left());
    s->WriteInteger(Section, "width", g.width());
    s->WriteInteger(Section, "height", g.height());
    s->WriteInteger(Section, "paleteWidth", paleteWidth_);
    s->WriteInteger(Section, "propertiesWidth", propertiesWidth_);
    s->WriteInteger(Section, "propertiesHeight", propertiesHeight_);
    s->WriteInteger(Section, "codeEdit", VisualHeight);
    s->WriteInteger(Section, "viewMode", ViewMode());
    s->WriteBool(Section, "floors", paintFloorsAction_->isChecked());
    s->WriteInteger(Section, "zoom", project_->Zoom);
    s->CloseSettings();
}

} // namespace kestrune
