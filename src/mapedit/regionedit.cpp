#include "mapedit/regionedit.h"

#include "controls/userdialogs.h"
#include "mapedit/gestures.h"
#include "mapedit/history.h"
#include "mapedit/maparea.h"
#include "model/editsession.h"
#include "model/map.h"
#include "model/project.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QToolBar>

#include <algorithm>

namespace kestrune {

namespace {

constexpr int MaxPlaceable = 255;

std::string Plural(int n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : ", ") + names[i];
    return out;
}

} // namespace

TRegionEdit::TRegionEdit(Project& project, UserDialogs& dialogs, TGestureHost& host)
    : project_(project), dialogs_(dialogs), host_(host)
{
}

TRegionEdit::~TRegionEdit()
{
    if (Session && observer_)
        Session->Forget(observer_);
}

TMap* TRegionEdit::Map() const
{
    TMap* map = host_.CurrentMap();
    // Regions live on the project's maps, not on the placeholder shown before one is chosen.
    if (project_.LibMode || !map || !project_.Maps || project_.Maps->IndexOf(map) < 0)
        return nullptr;
    return map;
}

void TRegionEdit::Status(const std::string& text)
{
    if (OnStatus)
        OnStatus(text);
}

std::vector<QAction*> TRegionEdit::Install(QMenu* menu, QToolBar* bar, TMapArea* area,
                                           const std::vector<QWidget*>& keyWidgets)
{
    area_ = area;
    if (Session && !observer_) {
        TEditSession::Observer observer;
        observer.Leaving = [this](TListedItem& thing) {
            if (&thing == static_cast<TListedItem*>(map_)) {
                map_ = nullptr;
                selection_ = {};
                drag_ = Drag::None;
            }
        };
        observer_ = Session->Observe(std::move(observer));
    }
    if (area_) {
        TMapView* view = area_->View();
        auto press = view->OnPress;
        view->OnPress = [this, press](int px, int py, Qt::MouseButton button) {
            if (!Press(px, py, button) && press)
                press(px, py, button);
        };
        auto move = view->OnMove;
        view->OnMove = [this, move](int px, int py, Qt::MouseButtons buttons) {
            if (!MoveTo(px, py, buttons) && move)
                move(px, py, buttons);
        };
        auto release = view->OnRelease;
        view->OnRelease = [this, release] {
            if (!Release() && release)
                release();
        };
        view->OnPaintOverlay = [this](QPainter& painter) { Paint(painter); };
    }
    std::vector<QAction*> actions;
    auto make = [&](const char* caption, const char* key, auto slot) {
        auto* a = new QAction(QString::fromLatin1(caption), menu);
        a->setObjectName(QString::fromLatin1(caption));
        if (key) {
            a->setShortcut(QKeySequence(QString::fromLatin1(key)));
            // Only where the map is worked: the grid and the code pane keep these keys.
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            for (QWidget* w : keyWidgets)
                w->addAction(a);
        }
        QObject::connect(a, &QAction::triggered, menu, slot);
        if (menu)
            menu->addAction(a);
        actions.push_back(a);
        return a;
    };
    if (menu)
        menu->addSeparator();
    selectAction_ = make("Select", nullptr, [this](bool on) { SetSelectMode(on); });
    selectAction_->setCheckable(true);
    selectAction_->setToolTip(QStringLiteral("Select a region of the map"));
    if (bar)
        bar->addAction(selectAction_);
    make("Select all", "Ctrl+A", [this] { SelectAll(); });
    make("Clear selection", "Escape", [this] { ClearSelection(); });
    make("Copy", "Ctrl+C", [this] { Copy(); });
    make("Cut", "Ctrl+X", [this] { Cut(); });
    make("Paste", "Ctrl+V", [this] { Paste(); });
    make("Delete", "Delete", [this] { Delete(); });
    make("Fill", "Ctrl+L", [this] { Fill(); });
    return actions;
}

void TRegionEdit::SetSelectMode(bool on)
{
    selectMode_ = on;
    drag_ = Drag::None;
    if (selectAction_ && selectAction_->isChecked() != on)
        selectAction_->setChecked(on);
}

bool TRegionEdit::HasSelection() const
{
    TMap* map = Map();
    return map && map == map_ && !selection_.Empty();
}

void TRegionEdit::Select(const TRegionRect& rect)
{
    TMap* map = Map();
    RepaintOutline();
    map_ = map;
    selection_ = map ? rect.ClippedTo(map->SizeX, map->SizeY) : TRegionRect{};
    RepaintOutline();
    if (HasSelection())
        Status("Selected " + std::to_string(selection_.Width()) + " x " + std::to_string(selection_.Height()) +
               " cells from [" + std::to_string(selection_.Left) + "," + std::to_string(selection_.Bottom) + "] to [" +
               std::to_string(selection_.Right) + "," + std::to_string(selection_.Top) + "].");
}

void TRegionEdit::SelectAll()
{
    if (TMap* map = Map())
        Select({0, 0, map->SizeX - 1, map->SizeY - 1});
}

void TRegionEdit::ClearSelection()
{
    RepaintOutline();
    map_ = nullptr;
    selection_ = {};
    drag_ = Drag::None;
}

QRect TRegionEdit::PixelsOf(const TRegionRect& r) const
{
    const int c = CellUnits * std::max(project_.Zoom, 1);
    return QRect(r.Left * c, (map_->SizeY - 1 - r.Top) * c, r.Width() * c, r.Height() * c);
}

TRegionRect TRegionEdit::MovedSelection() const
{
    TRegionRect to = selection_;
    to.Left += dragX_ - anchorX_;
    to.Right += dragX_ - anchorX_;
    to.Bottom += dragY_ - anchorY_;
    to.Top += dragY_ - anchorY_;
    return to;
}

void TRegionEdit::RepaintOutline()
{
    // Only the strips the outlines are drawn on: a drag across a large
    // selection does not draw the cells inside it again.
    if (!area_ || !HasSelection())
        return;
    QRegion strips;
    auto frame = [&strips](const QRect& r) {
        strips += QRect(r.left(), r.top(), r.width(), 4);
        strips += QRect(r.left(), r.bottom() - 3, r.width(), 4);
        strips += QRect(r.left(), r.top(), 4, r.height());
        strips += QRect(r.right() - 3, r.top(), 4, r.height());
    };
    frame(PixelsOf(selection_));
    if (drag_ == Drag::Moving)
        frame(PixelsOf(MovedSelection()));
    area_->RepaintPixels(strips);
}

bool TRegionEdit::Copy()
{
    TMap* map = Map();
    if (!HasSelection()) {
        Status("Select a region first (the Select tool, or Ctrl+A for the whole map).");
        return false;
    }
    const TRegion region = CopyRegion(project_, *map, selection_);
    const std::string bytes = region.ToBytes();
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(TRegion::MimeType), QByteArray(bytes.data(), static_cast<int>(bytes.size())));
    data->setText(ToQ(region.Listing()));
    QGuiApplication::clipboard()->setMimeData(data);
    Status("Copied " + std::to_string(region.Width) + " x " + std::to_string(region.Height) + " cells.");
    return true;
}

void TRegionEdit::Changed(TMap* map)
{
    map->Changed = true;
    host_.SetModified();
    host_.RepaintAll();
    if (Gestures)
        Gestures->ListPlacements();
    host_.ShowCursorLists();
}

void TRegionEdit::RecordCells(TMap* map, const std::vector<TRegionCellChange>& cells)
{
    if (!History)
        return;
    History->BeginStroke();
    History->CellsChanged(map, cells);
}

void TRegionEdit::ClearRecorded(TMap* map, const TRegionRect& rect)
{
    TClearResult result;
    {
        TListChange events(Session, map->Events.get()), params(Session, map->Params.get());
        TRecordListEdit recordEvents(Session, "Delete region", map, map->Events.get());
        TRecordListEdit recordParams(Session, "Delete region", map, map->Params.get());
        result = ClearRegion(*map, rect);
        RecordCells(map, result.Cells);
    }
    for (TListedItem* placement : result.Placements) {
        // Nothing may keep showing or editing what goes.
        if (host_.ShownElement() == placement || project_.SelectedElement == placement)
            host_.ShowElement(map);
        if (Session)
            Session->Leaving(*placement);
        if (History)
            History->RemovePlacement(map, placement); // kept by the step for undo
        else
            map->RemovePlacement(placement);
    }
}

bool TRegionEdit::Delete()
{
    TMap* map = Map();
    if (!HasSelection()) {
        Status("Select a region first (the Select tool, or Ctrl+A for the whole map).");
        return false;
    }
    {
        TStepGroup group(Session, "Delete region");
        ClearRecorded(map, selection_);
    }
    Changed(map);
    Status("Deleted " + std::to_string(selection_.Width()) + " x " + std::to_string(selection_.Height()) + " cells.");
    return true;
}

bool TRegionEdit::Cut()
{
    TMap* map = Map();
    if (!Copy())
        return false;
    {
        TStepGroup group(Session, "Cut region");
        ClearRecorded(map, selection_);
    }
    Changed(map);
    Status("Cut " + std::to_string(selection_.Width()) + " x " + std::to_string(selection_.Height()) + " cells.");
    return true;
}

bool TRegionEdit::Paste()
{
    TMap* map = Map();
    if (!map)
        return false;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QString type = QString::fromLatin1(TRegion::MimeType);
    if (!data || !data->hasFormat(type)) {
        Status("The clipboard holds no map region.");
        return false;
    }
    const QByteArray bytes = data->data(type);
    std::string error;
    const auto region = TRegion::FromBytes(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), &error);
    if (!region) {
        dialogs_.Error(error);
        return false;
    }
    return PasteAt(*region, map->SelX, map->SelY);
}

bool TRegionEdit::PasteRecorded(TMap* map, const TRegion& region, int x, int y, const std::string& step,
                                std::string& said)
{
    TPasteResult result;
    {
        TListChange events(Session, map->Events.get()), params(Session, map->Params.get());
        TRecordListEdit recordEvents(Session, step, map, map->Events.get());
        TRecordListEdit recordParams(Session, step, map, map->Params.get());
        result = PasteRegion(project_, *map, region, x, y);
        RecordCells(map, result.Cells);
        if (History)
            for (TListedItem* placement : result.Placed)
                History->PlacementAdded(map, placement);
    }
    if (result.Target.Empty()) {
        said = "Nothing was pasted: the region falls outside the map.";
        return false;
    }
    map_ = map;
    selection_ = result.Target;
    said = "Pasted " + std::to_string(result.Target.Width()) + " x " +
                       std::to_string(result.Target.Height()) + " cells.";
    if (result.CellsLeftOut > 0) {
        said += " " + Plural(result.CellsLeftOut, "cell falls", "cells fall") + " outside the map and " +
                (result.CellsLeftOut == 1 ? "was" : "were") + " left out";
        if (result.EntriesLeftOut > 0 || result.PlacementsLeftOut > 0)
            said += " (with " + Plural(result.EntriesLeftOut, "entry", "entries") + " and " +
                    Plural(result.PlacementsLeftOut, "placement", "placements") + ")";
        said += ".";
    } else if (result.PlacementsLeftOut > 0) {
        said += " " + Plural(result.PlacementsLeftOut, "monster reaching", "monsters reaching") +
                " outside the map left out.";
    }
    if (result.EntriesReplaced > 0)
        said += " " + Plural(result.EntriesReplaced, "pasted entry replaced the entry", "pasted entries replaced the entries") +
                " of the same key.";
    return true;
}

bool TRegionEdit::PasteAt(const TRegion& region, int x, int y, const std::string& step)
{
    TMap* map = Map();
    if (!map || region.Empty())
        return false;
    // Elements travel by name: all of them must be here, or nothing changes.
    if (const auto missing = MissingElements(region, project_); !missing.empty()) {
        dialogs_.Error("The region cannot be pasted: this project lacks " + Joined(missing) + ".");
        return false;
    }
    bool pasted = false;
    std::string said;
    {
        TStepGroup group(Session, step);
        pasted = PasteRecorded(map, region, x, y, step, said);
    }
    if (pasted)
        Changed(map);
    Status(said);
    return pasted;
}

bool TRegionEdit::Fill()
{
    TMap* map = Map();
    if (!HasSelection()) {
        Status("Select a region first (the Select tool, or Ctrl+A for the whole map).");
        return false;
    }
    const int kind = project_.CurrentKind;
    if (kind < 1 || kind > 4) {
        Status("Fill paints walls, floors, ceilings or objects: choose one of those kinds.");
        return false;
    }
    const int slot = map->SelectedSlot(kind);
    const int value = host_.SelectedIndex() + 1;
    if (value > MaxPlaceable) {
        dialogs_.Error("Only the first 255 elements of a library can be placed on a map.");
        return false;
    }
    {
        TStepGroup group(Session, "Fill region");
        RecordCells(map, FillRegion(*map, selection_, slot, value));
    }
    Changed(map);
    Status("Filled " + std::to_string(selection_.Width()) + " x " + std::to_string(selection_.Height()) + " cells.");
    return true;
}

bool TRegionEdit::MoveSelection(int dx, int dy)
{
    TMap* map = Map();
    if (!HasSelection() || (dx == 0 && dy == 0))
        return false;
    const TRegionRect from = selection_;
    const TRegion region = CopyRegion(project_, *map, from);
    if (const auto missing = MissingElements(region, project_); !missing.empty()) {
        dialogs_.Error("The region cannot be moved: this project lacks " + Joined(missing) + ".");
        return false;
    }
    std::string said;
    {
        TStepGroup group(Session, "Move region");
        ClearRecorded(map, from);
        if (!PasteRecorded(map, region, from.Left + dx, from.Top + dy, "Move region", said))
            selection_ = {};
    }
    Changed(map);
    Status(said.rfind("Pasted", 0) == 0 ? "Moved" + said.substr(6) : said);
    return true;
}

bool TRegionEdit::Press(int px, int py, Qt::MouseButton button)
{
    TMap* map = Map();
    if (!selectMode_ || !map || button != Qt::LeftButton)
        return false;
    host_.FocusTree();
    const TCellHit hit = CellAt(*map, px, py, std::max(project_.Zoom, 1));
    if (!hit.Hit)
        return true;
    dragX_ = hit.X;
    dragY_ = hit.Y;
    if (HasSelection() && selection_.Holds(hit.X, hit.Y)) {
        drag_ = Drag::Moving;
        anchorX_ = hit.X;
        anchorY_ = hit.Y;
        return true;
    }
    drag_ = Drag::Selecting;
    anchorX_ = hit.X;
    anchorY_ = hit.Y;
    // The press also moves the map cursor, where Paste puts a region.
    const int oldX = map->SelX, oldY = map->SelY;
    map->SelX = hit.X;
    map->SelY = hit.Y;
    map->SelSide = hit.Side;
    host_.RepaintCell(oldX, oldY);
    Select({hit.X, hit.Y, hit.X, hit.Y});
    if (Gestures)
        Gestures->ListPlacements();
    host_.ShowCursorLists();
    return true;
}

bool TRegionEdit::MoveTo(int px, int py, Qt::MouseButtons buttons)
{
    TMap* map = Map();
    if (drag_ == Drag::None || !map || (buttons & Qt::MiddleButton))
        return false;
    if (!(buttons & Qt::LeftButton))
        return true;
    const TCellHit hit = CellAt(*map, px, py, std::max(project_.Zoom, 1));
    if (!hit.Hit || (hit.X == dragX_ && hit.Y == dragY_))
        return true;
    if (drag_ == Drag::Selecting) {
        dragX_ = hit.X;
        dragY_ = hit.Y;
        Select(TRegionRect::Spanning(anchorX_, anchorY_, hit.X, hit.Y));
    } else {
        RepaintOutline(); // where the moved outline was, and where it goes
        dragX_ = hit.X;
        dragY_ = hit.Y;
        RepaintOutline();
    }
    return true;
}

bool TRegionEdit::Release()
{
    if (drag_ == Drag::None)
        return false;
    const Drag drag = drag_;
    RepaintOutline(); // the moved outline goes
    drag_ = Drag::None;
    if (drag == Drag::Moving)
        MoveSelection(dragX_ - anchorX_, dragY_ - anchorY_);
    return true;
}

void TRegionEdit::Paint(QPainter& painter) const
{
    if (!HasSelection())
        return;
    auto outline = [&painter](const QRect& r, bool solid) {
        const QRect inner = r.adjusted(1, 1, -1, -1);
        painter.setBrush(Qt::NoBrush);
        if (solid) {
            painter.setPen(QPen(Qt::white, 2));
            painter.drawRect(inner);
        }
        painter.setPen(QPen(QColor(0, 0, 255), 2, Qt::DashLine));
        painter.drawRect(inner);
    };
    outline(PixelsOf(selection_), true);
    if (drag_ == Drag::Moving && (dragX_ != anchorX_ || dragY_ != anchorY_))
        outline(PixelsOf(MovedSelection()), false);
}

} // namespace kestrune
