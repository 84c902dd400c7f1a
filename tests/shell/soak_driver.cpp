#include "soak_driver.h"

#include "app/toolcommands.h"
#include "controls/datagrid.h"
#include "core/definitions.h"
#include "core/proptable.h"
#include "core/text.h"
#include "mapedit/gestures.h"
#include "mapedit/history.h"
#include "mapedit/mapview.h"
#include "mapedit/regionedit.h"
#include "model/map.h"
#include "model/project.h"
#include "script/codeedit.h"
#include "script/sourceedit.h"
#include "shell/browser.h"
#include "shell/editorwindows.h"
#include "shell/mainwindow.h"
#include "shell/propertygrid.h"
#include "shell_test_util.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QTabBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUndoStack>

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

namespace kestrune::test {

namespace {

const char* const MarkerTag = "soak#";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string CellText(int x, int y) { return "(" + std::to_string(x) + "," + std::to_string(y) + ")"; }

// The first line where two dumps differ: its beginning (which names the
// element or map) and the text around the first difference in it.
std::string FirstDifference(const std::string& a, const std::string& b)
{
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const size_t line = a.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t start = line == std::string::npos ? 0 : line + 1;
    const size_t from = std::max(start, at > 100 ? at - 100 : 0);
    auto around = [&](const std::string& s) {
        const std::string part = s.substr(from, 200);
        return part.substr(0, part.find('\n'));
    };
    return "\n  line: " + a.substr(start, std::min<size_t>(70, a.find('\n', start) - start)) +
           "\n  in the editor: ..." + around(a) + "\n  read back:     ..." + around(b);
}

// Shared elements are never saved with a project, and showing one in the
// grid may put its parameters in the grid's order: where a shared element of
// the reloaded project holds the same entries as the editor's, they take
// the editor's order.
void ShowSharedInEditorOrder(const Project& editor, Project& reloaded)
{
    auto entries = [](const TParList& list) {
        std::vector<std::pair<std::string, std::string>> v;
        for (int i = 0; i < list.Count(); ++i)
            v.emplace_back(list.Par(i)->Name, list.Par(i)->Value);
        return v;
    };
    auto reorder = [&](const TParList& from, TParList& to) {
        auto a = entries(from), b = entries(to);
        const auto order = a;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a != b)
            return;
        to.Clear();
        for (const auto& [name, value] : order)
            to.Add(std::make_unique<TPar>(name, value));
    };
    for (int kind = 1; kind <= 7; ++kind) {
        const TListedList* mine = kind == 7 ? editor.NpcDefs.get() : editor.LibraryOfKind(kind);
        TListedList* theirs = kind == 7 ? reloaded.NpcDefs.get() : reloaded.LibraryOfKind(kind);
        for (int i = 0; mine && theirs && i < mine->Count() && i < theirs->Count(); ++i) {
            const TListedItem* e = mine->Element(i);
            TListedItem* r = theirs->Element(i);
            if (e->Shared && r->Shared && e->Name == r->Name) {
                reorder(*e->Params, *r->Params);
                reorder(*e->Events, *r->Events);
            }
        }
    }
}

} // namespace

// Everything that is in the project now: its elements, maps, placements and
// NPCs, and every list they own, each with a few words that say what it is.
struct SoakDriver::Live {
    std::unordered_map<const TListedItem*, std::string> elements;
    std::unordered_map<const TParList*, std::string> lists;
    std::unordered_set<const TMap*> maps;

    void Element(const TListedItem* e, const std::string& what)
    {
        elements[e] = what;
        lists[e->Params.get()] = what + " params";
        lists[e->Events.get()] = what + " events";
        if (const auto* npc = dynamic_cast<const TNPC*>(e))
            lists[npc->Keywords.get()] = what + " key words";
        if (const auto* def = dynamic_cast<const TNPCDef*>(e))
            lists[def->Keywords.get()] = what + " key words";
    }
    void Map(const TMap* map, const std::string& what)
    {
        maps.insert(map);
        Element(map, what);
        for (int i = 0; i < map->Items->Count(); ++i)
            Element(map->Items->ItemAt(i),
                    what + " item " + Quoted(map->Items->ItemAt(i)->Name) + " #" + std::to_string(i));
        for (int i = 0; i < map->Monsters->Count(); ++i)
            Element(map->Monsters->MonsterAt(i),
                    what + " monster " + Quoted(map->Monsters->MonsterAt(i)->Name) + " #" + std::to_string(i));
    }
    std::string What(const void* thing) const
    {
        if (!thing)
            return "nothing";
        if (auto e = elements.find(static_cast<const TListedItem*>(thing)); e != elements.end())
            return e->second;
        if (auto l = lists.find(static_cast<const TParList*>(thing)); l != lists.end())
            return l->second;
        return "something not in the project";
    }
};

SoakDriver::SoakDriver(TEditorWindows& windows, ScriptedDialogs& dialogs, Options options)
    : windows_(windows), dialogs_(dialogs), options_(std::move(options)), rng_(options_.Seed)
{
    // The larger text editor would open a window: it appends to the text instead.
    Main().EditText = [](const std::string& text) { return text + " more"; };
}

TForm1& SoakDriver::Main() { return *windows_.Main; }
Project& SoakDriver::Proj() { return Main().Proj(); }
TfrmCodeEdit& SoakDriver::Code() { return *windows_.CodeEdit; }

int SoakDriver::Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
bool SoakDriver::Chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }

void SoakDriver::Say(const std::string& text)
{
    if (!note_.empty())
        note_ += "; ";
    note_ += text;
}

// ------------------------------------------------------------- the run

std::string SoakDriver::Run()
{
    // The whole run stays undoable, back to the project as loaded.
    Main().History().Clear();
    Main().History().Stack().setUndoLimit(0);
    asLoaded_ = Dump();
    {
        const Live live = Collect();
        CheckValues(live, true);
        if (const std::string f = CheckPlacements(live); !f.empty())
            return Report("as loaded: " + f);
    }
    using Step = void (SoakDriver::*)();
    struct Weighted {
        int weight;
        const char* name;
        Step step;
    };
    static const Weighted steps[] = {
        {12, "paint", &SoakDriver::Paint},
        {3, "pick", &SoakDriver::PickFromCell},
        {4, "region", &SoakDriver::Region},
        {6, "cursor", &SoakDriver::MoveCursor},
        {8, "place", &SoakDriver::Place},
        {5, "move", &SoakDriver::MovePlacement},
        {4, "stretch", &SoakDriver::Stretch},
        {4, "choose placement", &SoakDriver::ChoosePlacement},
        {3, "delete placement", &SoakDriver::DeletePlacement},
        {4, "npc", &SoakDriver::DropNpc},
        {14, "type value", &SoakDriver::TypeValue},
        {5, "rows", &SoakDriver::EditRows},
        {10, "script", &SoakDriver::WriteScript},
        {8, "switch", &SoakDriver::Switch},
        {5, "library", &SoakDriver::Library},
        {6, "undo/redo", &SoakDriver::UndoRedo},
        {2, "save", &SoakDriver::Save},
    };
    int total = 0;
    for (const Weighted& s : steps)
        total += s.weight;

    for (step_ = 1; step_ <= options_.Steps; ++step_) {
        dialogs_.InputAnswers.clear();
        dialogs_.ConfirmAnswers.clear();
        dialogs_.YesNoCancelAnswers.clear();
        dialogs_.PictureAnswers.clear();
        const size_t errors = dialogs_.Errors.size();
        note_.clear();
        int roll = Int(0, total - 1);
        const Weighted* chosen = steps;
        while (roll >= chosen->weight)
            roll -= (chosen++)->weight;
        if (options_.Trace) // the step's name first: it may not come back
            std::cerr << "#" << step_ << " " << chosen->name << std::endl;
        (this->*chosen->step)();
        for (size_t i = errors; i < dialogs_.Errors.size(); ++i)
            note_ += " [message: " + dialogs_.Errors[i] + "]";
        std::string line = "#" + std::to_string(step_) + " " + chosen->name + ": " + note_;
        if (options_.Trace)
            std::cerr << "    did: " << note_ << std::endl;
        log_.push_back(std::move(line));
        if (log_.size() > 20)
            log_.pop_front();
        done_ = step_;
        const bool reload = step_ % std::max(options_.ReloadEvery, 1) == 0 || step_ == options_.Steps;
        std::string failure = stepFailure_.empty() ? Check(reload) : stepFailure_;
        if (!failure.empty())
            return Report(failure);
    }
    return {};
}

std::string SoakDriver::Report(const std::string& failure) const
{
    std::ostringstream out;
    out << "soak seed " << options_.Seed << " failed at step " << step_ << ": " << failure << "\nlast steps:\n";
    for (const std::string& line : log_)
        out << "  " << line << "\n";
    out << "replay: KESTRUNE_SOAK_SEED=" << options_.Seed << " KESTRUNE_SOAK_STEPS=" << step_
        << " soak_tests --gtest_filter=Soak.FromEnvironment\n";
    return out.str();
}

// ------------------------------------------------------ small gestures

void SoakDriver::Kind(int kind)
{
    if (Main().CurrentKind() == kind)
        return;
    Say("kind " + std::to_string(kind));
    Main().SelectKind(kind);
}

void SoakDriver::EditMode()
{
    if (Main().LibMode() && !Proj().DataEditMode) {
        Say("edit mode");
        Main().SetLibMode(false);
    }
}

void SoakDriver::LibMode()
{
    if (!Main().LibMode()) {
        Say("Lib mode");
        Main().SetLibMode(true);
    }
}

// Mostly works on a real map rather than the placeholder shown at start.
void SoakDriver::RealMap()
{
    const TMap* map = Main().CurrentMap();
    if ((map && map != Main().Browser().PlaceholderMap()) || Chance(0.1))
        return;
    ChooseMap();
}

void SoakDriver::ChooseMap()
{
    QComboBox* chooser = Main().MapChooser();
    if (chooser->count() == 0)
        return;
    const int entry = Int(0, chooser->count() - 1);
    Say("map chooser " + Quoted(chooser->itemText(entry).toStdString()));
    Main().Browser().ChooseMap(entry);
}

std::vector<QTreeWidgetItem*> SoakDriver::Nodes(bool elementsOnly)
{
    std::vector<QTreeWidgetItem*> nodes;
    for (QTreeWidgetItemIterator it(Main().ElementTree()); *it; ++it) {
        const int number = TElementBrowser::Number(*it);
        if (!elementsOnly || (number >= 1 && number <= TElementBrowser::MaxNumber))
            nodes.push_back(*it);
    }
    return nodes;
}

QTreeWidgetItem* SoakDriver::NodeOf(int position)
{
    for (QTreeWidgetItem* node : Nodes(true))
        if (TElementBrowser::Number(node) == position + 1)
            return node;
    return nullptr;
}

// A click on a node of the tree, by one of the ways the tree is clicked.
void SoakDriver::ClickTree(bool withClear)
{
    TElementBrowser& browser = Main().Browser();
    if (withClear && Chance(0.15)) {
        Say("tree " + Quoted(TElementBrowser::ClearCaption));
        browser.SelectByName(TElementBrowser::ClearCaption);
        return;
    }
    const std::vector<QTreeWidgetItem*> nodes = Nodes(false);
    if (nodes.empty())
        return;
    QTreeWidgetItem* node = nodes[static_cast<size_t>(Int(0, static_cast<int>(nodes.size()) - 1))];
    const std::string caption = TElementBrowser::Caption(node);
    switch (Int(0, 3)) {
    case 0:
        Say("tree by name " + Quoted(caption));
        browser.SelectByName(caption);
        break;
    case 1:
        Say("tree by position " + Quoted(caption));
        browser.SelectByIndex(TElementBrowser::Number(node) - 1);
        break;
    case 2:
        Say("tree focus on " + Quoted(caption));
        Main().ElementTree()->setCurrentItem(node);
        browser.SelectionChanged();
        break;
    default:
        Say("tree click " + Quoted(caption));
        Main().ElementTree()->setCurrentItem(node);
        break;
    }
}

SoakDriver::Cell SoakDriver::RandomCell(const TMap& map)
{
    if (Chance(0.5))
        return Near(map, {map.SelX, map.SelY, Int(0, 3)}, 1);
    return {Int(0, map.SizeX - 1), Int(0, map.SizeY - 1), Int(0, 3)};
}

SoakDriver::Cell SoakDriver::Near(const TMap& map, const Cell& c, int reach)
{
    return {std::clamp(c.x + Int(-reach, reach), 0, map.SizeX - 1), std::clamp(c.y + Int(-reach, reach), 0, map.SizeY - 1),
            Int(0, 3)};
}

// The cell of a random placement of the kind on the map (a random cell when there is none).
SoakDriver::Cell SoakDriver::PlacementCell(const TMap& map, int kind)
{
    std::vector<Cell> cells;
    if (kind == 5)
        for (int i = 0; i < map.Items->Count(); ++i)
            cells.push_back({map.Items->ItemAt(i)->X, map.Items->ItemAt(i)->Y, 0});
    if (kind == 6)
        for (int i = 0; i < map.Monsters->Count(); ++i)
            cells.push_back({map.Monsters->MonsterAt(i)->Left, map.Monsters->MonsterAt(i)->Top, 0});
    if (kind == 7)
        for (int i = 0; i < Proj().Npcs->Count(); ++i)
            if (Proj().Npcs->NpcAt(i)->Params->GetValue("map") == map.Name)
                cells.push_back({Proj().Npcs->NpcAt(i)->Left, Proj().Npcs->NpcAt(i)->Top, 0});
    cells.erase(std::remove_if(cells.begin(), cells.end(), [&map](const Cell& c) { return !map.InMap(c.x, c.y); }),
                cells.end());
    if (cells.empty())
        return RandomCell(map);
    return cells[static_cast<size_t>(Int(0, static_cast<int>(cells.size()) - 1))];
}

// A pixel of the map view inside the cell, on the given side of it.
QPoint SoakDriver::Pixel(const TMap& map, const Cell& c)
{
    const int size = CellUnits * std::max(Proj().Zoom, 1);
    const int left = c.x * size, top = (map.SizeY - 1 - c.y) * size;
    switch (c.side) {
    case 0: return {left + size / 2, top + 1};
    case 1: return {left + size - 2, top + size / 2};
    case 2: return {left + size / 2, top + size - 2};
    default: return {left + 1, top + size / 2};
    }
}

void SoakDriver::Press(Qt::MouseButton button, const Cell& c)
{
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    const QPoint p = Pixel(*map, c);
    const char* name = button == Qt::LeftButton ? "left" : button == Qt::RightButton ? "right" : "middle";
    Say(std::string(name) + " press " + CellText(c.x, c.y) + " side " + std::to_string(c.side));
    Main().Gestures().PressCell(TMapGestures::Source::Mouse, button, p.x(), p.y());
}

void SoakDriver::Drag(Qt::MouseButtons buttons, const Cell& c)
{
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    const QPoint p = Pixel(*map, c);
    Say(std::string(buttons & Qt::RightButton ? "right" : "left") + " drag to " + CellText(c.x, c.y));
    Main().Gestures().MouseMove(buttons, p.x(), p.y());
}

// Switches the property tab as a click on the tab bar does.
void SoakDriver::PropertyTab(int tab)
{
    for (QTabBar* bar : Main().PropertyPanel()->findChildren<QTabBar*>()) {
        if (bar->count() != 2 || bar->tabText(1) != QStringLiteral("Events"))
            continue;
        if (bar->currentIndex() != tab) {
            Say(tab == 1 ? "Events tab" : "Properties tab");
            bar->setCurrentIndex(tab);
        }
        return;
    }
    stepFailure_ = "the property panel has no tab bar";
}

// A grid row that is not a heading (mostly a numeric field when asked), or -1.
int SoakDriver::PickRow(bool preferNumbers)
{
    TDataGrid& view = *Main().GridView();
    std::vector<int> rows, numbers;
    for (int r = 0; r < view.RowCount(); ++r) {
        const TPropertyRow* row = view.RowAt(r);
        if (!row || IsHeadingRow(*row))
            continue;
        rows.push_back(r);
        if (dynamic_cast<TIntField*>(Main().Grid().FieldOf(row->name)))
            numbers.push_back(r);
    }
    const std::vector<int>& from = preferNumbers && !numbers.empty() && Chance(0.7) ? numbers : rows;
    if (from.empty())
        return -1;
    return from[static_cast<size_t>(Int(0, static_cast<int>(from.size()) - 1))];
}

// A value for a row: valid and invalid numbers for numeric fields, choices
// and strangers for choice fields, plain text otherwise.
std::string SoakDriver::ValueFor(const std::string& row)
{
    TField* field = Main().Grid().FieldOf(row);
    if (dynamic_cast<TIntField*>(field)) {
        static const char* const wrong[] = {"5x", "x", "1.5", "--2", "7 7", "0x10"};
        if (Chance(0.45))
            return wrong[Int(0, 5)];
        if (Chance(0.1))
            return "";
        return std::to_string(row == "sizeX" || row == "sizeY" ? Int(0, 30) : Int(-2, 20));
    }
    if (field && field->GetValues() && !field->GetValues()->empty() && Chance(0.6)) {
        const std::vector<std::string>& choices = *field->GetValues();
        return choices[static_cast<size_t>(Int(0, static_cast<int>(choices.size()) - 1))];
    }
    if (field && field->GetValues() && Chance(0.5))
        return "bogus";
    return "text" + std::to_string(++names_);
}

// Types into the in-place editor as the keyboard does (false when the row has none).
bool SoakDriver::TypeInEditor(const std::string& text)
{
    QWidget* editor = Main().GridView()->OpenEditor();
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(QString::fromStdString(text));
        return true;
    }
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (combo->isEditable())
            combo->setEditText(QString::fromStdString(text));
        else
            combo->setCurrentText(QString::fromStdString(text));
        return true;
    }
    return false;
}

// Leaves the row being edited by one of the ways out of it.
void SoakDriver::LeaveRow()
{
    TDataGrid& view = *Main().GridView();
    switch (Int(0, 12)) {
    case 0: Say(view.CommitEdit() ? "Enter" : "Enter refused"); break;
    case 1:
        Say("Escape");
        view.CancelEdit();
        break;
    case 2: {
        const int row = PickRow(false);
        Say("to row " + std::to_string(row) + (view.SetCurrentRow(row) ? "" : " refused"));
        break;
    }
    case 3: PropertyTab(Main().Grid().CurrentTab() == TPropertyGrid::Tab::Events ? 0 : 1); break;
    case 4: ClickTree(true); break;
    case 5: Kind(Int(0, 7)); break;
    case 6:
        if (TMap* map = Main().CurrentMap())
            Press(Qt::LeftButton, RandomCell(*map));
        break;
    case 7: ChooseMap(); break;
    case 8: Save(); break;
    case 9:
        dialogs_.YesNoCancelAnswers = {UserDialogs::Answer::Cancel};
        Say(Main().CloseQuery() ? "close question: may close" : "close question: Cancel");
        dialogs_.YesNoCancelAnswers.clear();
        break;
    case 10:
        dialogs_.InputAnswers = {std::string("extra") + std::to_string(++names_)};
        Say("+ row " + *dialogs_.InputAnswers.front());
        Main().Grid().AddRow();
        break;
    case 11:
        if (Main().LibMode())
            EditMode();
        else
            LibMode();
        break;
    default: Say("stays on the row"); break;
    }
}

// Writes a marker text into the entry the code pane shows.
void SoakDriver::TypeMarker()
{
    TfrmCodeEdit& code = Code();
    const TParList* list = code.CurrentList();
    const std::string entry = code.CurrentEntry();
    if (!list || entry.empty())
        return;
    // The data folder's scripts are shown, not edited.
    if (code.Editor()->isReadOnly()) {
        Say("the pane is read-only");
        return;
    }
    const Live live = Collect();
    const auto where = live.lists.find(list);
    if (where == live.lists.end())
        return; // the pointer check reports it
    for (Marker& m : markers_)
        if (m.list == list && m.entry == entry)
            m.retired = true;
    Marker m;
    m.id = static_cast<int>(markers_.size()) + 1;
    m.list = list;
    m.entry = entry;
    m.where = where->second + " " + Quoted(entry);
    m.step = step_;
    markers_.push_back(m);
    const std::string text = "say('" + std::string(MarkerTag) + std::to_string(m.id) + "#');";
    Say("write marker " + std::to_string(m.id) + " into " + m.where);
    code.Editor()->SetText(text);
}

void SoakDriver::Relocate(const TParList* list)
{
    if (!list || !Collect().lists.count(list))
        return;
    const bool paneHere = Code().CurrentList() == list;
    for (Marker& m : markers_) {
        if (m.list != list || m.gone)
            continue;
        if (paneHere && Code().CurrentEntry() == m.entry)
            continue;
        const std::string tag = std::string(MarkerTag) + std::to_string(m.id) + "#";
        std::string found;
        for (int i = 0; i < list->Count() && found.empty(); ++i)
            if (list->Par(i)->Value.View().find(tag) != std::string::npos)
                found = list->Par(i)->Name;
        if (found.empty() && paneHere && Code().Editor()->Text().find(tag) != std::string::npos)
            found = Code().CurrentEntry();
        if (found.empty())
            m.gone = true;
        else
            m.entry = found;
    }
}

// ----------------------------------------------------------------- steps

void SoakDriver::Paint()
{
    EditMode();
    RealMap();
    Kind(Int(1, 4));
    ClickTree(true);
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    Cell c = RandomCell(*map);
    Press(Qt::LeftButton, c);
    for (int i = Int(0, 4); i > 0; --i) {
        c = Near(*map, c, 1);
        Drag(Qt::LeftButton, c);
    }
}

// Copy and paste, cut, delete, fill or move a small region of the map.
void SoakDriver::Region()
{
    EditMode();
    RealMap();
    Kind(Int(0, 4));
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    TRegionEdit& edit = Main().RegionEdit();
    const Cell a = RandomCell(*map), b = Near(*map, a, 3);
    edit.Select(TRegionRect::Spanning(a.x, a.y, b.x, b.y));
    switch (Int(0, 4)) {
    case 0:
        Say("copy " + CellText(a.x, a.y) + " to " + CellText(b.x, b.y) + ", paste at the cursor");
        edit.Copy();
        edit.Paste();
        break;
    case 1:
        Say("cut " + CellText(a.x, a.y) + " to " + CellText(b.x, b.y));
        edit.Cut();
        break;
    case 2:
        Say("delete " + CellText(a.x, a.y) + " to " + CellText(b.x, b.y));
        edit.Delete();
        break;
    case 3:
        ClickTree(true);
        Say("fill " + CellText(a.x, a.y) + " to " + CellText(b.x, b.y));
        edit.Fill();
        break;
    default: {
        const int dx = Int(-3, 3), dy = Int(-3, 3);
        Say("move " + CellText(a.x, a.y) + " to " + CellText(b.x, b.y) + " by " + CellText(dx, dy));
        edit.MoveSelection(dx, dy);
        break;
    }
    }
    for (Marker& m : markers_)
        if (m.where.rfind("map '", 0) == 0)
            m.free = true;
}

void SoakDriver::PickFromCell()
{
    EditMode();
    RealMap();
    Kind(Int(1, 4));
    if (TMap* map = Main().CurrentMap())
        Press(Qt::RightButton, RandomCell(*map));
}

void SoakDriver::MoveCursor()
{
    EditMode();
    if (Main().CurrentKind() == 0)
        Kind(Int(1, 7));
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    switch (Int(0, 3)) {
    case 0:
    case 1: {
        const int dx = Int(-1, 1), dy = Int(-1, 1), side = Int(-1, 3);
        const bool shift = Chance(0.15);
        Say("cursor by " + CellText(dx, dy) + " side " + std::to_string(side) + (shift ? " with Shift" : ""));
        Main().Gestures().MoveCursor(dx, dy, side, shift);
        break;
    }
    case 2: Press(Qt::MiddleButton, RandomCell(*map)); break;
    default:
        if (Main().CurrentKind() >= 5)
            Press(Qt::LeftButton, RandomCell(*map));
        break;
    }
}

void SoakDriver::Place()
{
    EditMode();
    RealMap();
    const int kind = Int(5, 6);
    Kind(kind);
    TMap* map = Main().CurrentMap();
    const TListedList* library = Proj().LibraryOfKind(kind);
    if (!map || !library || library->Count() == 0)
        return;
    const int position = Int(0, library->Count() - 1);
    const std::string name = Quoted(library->Element(position)->Name);
    const Cell c = RandomCell(*map);
    switch (Int(0, 2)) {
    case 0:
        Say("drop " + name + " from the tree on " + CellText(c.x, c.y));
        Main().Gestures().DropFromTree(position, c.x, c.y);
        break;
    case 1:
        Press(Qt::LeftButton, c);
        if (QTreeWidgetItem* node = NodeOf(position)) {
            Say("right click on " + name);
            Main().Browser().RightClickNode(node);
        }
        break;
    default:
        Press(Qt::LeftButton, c);
        if (QTreeWidgetItem* node = NodeOf(position)) {
            Say("drag " + name + " onto the placements list");
            const std::unique_ptr<QMimeData> data = Main().Browser().BeginDrag(node);
            Main().DropOnPlacementList(*data);
        }
        break;
    }
}

void SoakDriver::MovePlacement()
{
    EditMode();
    RealMap();
    const int kind = Int(5, 6);
    Kind(kind);
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    Cell c = PlacementCell(*map, kind);
    Press(Qt::LeftButton, c);
    if (Chance(0.5) && !Main().Gestures().Placements().empty()) {
        const int index = Int(0, static_cast<int>(Main().Gestures().Placements().size()) - 1);
        Say("choose placement " + std::to_string(index));
        Main().Gestures().ChoosePlacement(index);
    }
    if (Chance(0.5)) {
        c = Near(*map, c, 3);
        Say("drop from the list on " + CellText(c.x, c.y));
        Main().Gestures().DropFromList(c.x, c.y);
    } else {
        for (int i = Int(1, 3); i > 0; --i) {
            c = Near(*map, c, 1);
            Drag(Qt::LeftButton, c);
        }
    }
}

void SoakDriver::Stretch()
{
    EditMode();
    RealMap();
    Kind(6);
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    Cell c = PlacementCell(*map, 6);
    Press(Qt::LeftButton, c);
    for (int i = Int(1, 3); i > 0; --i) {
        c = {std::clamp(c.x + Int(0, 2), 0, map->SizeX - 1), std::clamp(c.y + Int(-1, 2), 0, map->SizeY - 1), 0};
        Drag(Qt::RightButton, c);
    }
}

void SoakDriver::ChoosePlacement()
{
    EditMode();
    RealMap();
    const int kind = Int(5, 7);
    Kind(kind);
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    Press(Qt::LeftButton, PlacementCell(*map, kind));
    const int count = static_cast<int>(Main().Gestures().Placements().size());
    if (count == 0)
        return;
    const int index = Int(0, count - 1);
    Say("choose placement " + std::to_string(index));
    Main().Gestures().ChoosePlacement(index);
}

void SoakDriver::DeletePlacement()
{
    EditMode();
    RealMap();
    const int kind = Int(5, 6);
    Kind(kind);
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    Press(Qt::LeftButton, PlacementCell(*map, kind));
    const int count = static_cast<int>(Main().Gestures().Placements().size());
    if (count > 1 && Chance(0.5))
        Main().Gestures().ChoosePlacement(Int(0, count - 1));
    Say("delete placement " + std::to_string(Main().Gestures().PlacementIndex()) + " of " + std::to_string(count));
    Main().Gestures().DeletePlacement();
}

void SoakDriver::DropNpc()
{
    EditMode();
    RealMap();
    Kind(7);
    ClickTree(false);
    TMap* map = Main().CurrentMap();
    if (!map)
        return;
    if (Chance(0.2)) {
        Say("key words");
        Main().OpenKeyWords();
        TypeMarker();
        return;
    }
    const Cell c = RandomCell(*map);
    Say("drop the NPC on " + CellText(c.x, c.y));
    Main().Gestures().DropFromTree(Int(0, 3), c.x, c.y);
}

void SoakDriver::TypeValue()
{
    if (Chance(0.85))
        PropertyTab(0);
    TDataGrid& view = *Main().GridView();
    const int row = PickRow(true);
    if (row < 0)
        return;
    if (!view.SetCurrentRow(row))
        Say("row change refused");
    const TPropertyRow* current = view.RowAt(view.CurrentRow());
    if (!current)
        return;
    const std::string name = current->name;
    const std::string value = ValueFor(name);
    const bool typed = Chance(0.7) ? view.StartEdit(value) : TypeInEditor(value);
    Say("type " + Quoted(value) + " into " + name + (typed ? "" : " (not typable)"));
    LeaveRow();
}

void SoakDriver::EditRows()
{
    PropertyTab(Chance(0.8) ? 0 : 1);
    TPropertyGrid& grid = Main().Grid();
    TDataGrid& view = *Main().GridView();
    const TParList* events = grid.CurrentTab() == TPropertyGrid::Tab::Events ? grid.ShownEvents() : nullptr;
    switch (Int(0, 3)) {
    case 0:
    case 1: {
        // Mostly a new name; sometimes one the list has, an empty one or Cancel.
        std::optional<std::string> answer = "field" + std::to_string(++names_);
        if (Chance(0.15) && view.RowCount() > 0 && view.RowAt(0))
            answer = view.RowAt(0)->name;
        else if (Chance(0.1))
            answer = std::nullopt;
        dialogs_.InputAnswers = {answer};
        if (Chance(0.3)) { // a refused value first
            const int row = PickRow(true);
            if (row >= 0 && view.SetCurrentRow(row) && view.StartEdit("5x"))
                Say("type '5x' into " + view.RowAt(view.CurrentRow())->name);
        }
        Say("+ row " + answer.value_or("(Cancel)"));
        grid.AddRow();
        break;
    }
    case 2: {
        const int row = PickRow(false);
        if (row < 0 || !view.SetCurrentRow(row))
            return;
        const bool yes = Chance(0.8);
        dialogs_.ConfirmAnswers = {yes};
        Say("- row " + view.RowAt(view.CurrentRow())->name + (yes ? "" : " (No)"));
        grid.RemoveRow();
        break;
    }
    default: {
        const int row = PickRow(false);
        if (row < 0 || !view.SetCurrentRow(row))
            return;
        const std::string answer = "renamed" + std::to_string(++names_);
        dialogs_.InputAnswers = {answer};
        Say("rename row " + view.RowAt(view.CurrentRow())->name + " to " + answer);
        grid.RenameRow();
        break;
    }
    }
    for (Marker& m : markers_)
        if (events && m.list == events)
            m.loose = true;
}

void SoakDriver::WriteScript()
{
    TfrmCodeEdit& code = Code();
    switch (Int(0, 6)) {
    case 0:
    case 1: { // an event of the "Events" tab
        PropertyTab(1);
        const int row = PickRow(false);
        if (row < 0 || !Main().GridView()->SetCurrentRow(row))
            return;
        Say("open event " + Main().GridView()->RowAt(Main().GridView()->CurrentRow())->name);
        if (Chance(0.5))
            Main().GridView()->ClickEllipsis();
        else
            Main().Grid().Ellipsis(nullptr);
        TypeMarker();
        break;
    }
    case 2: TypeMarker(); break;
    case 3: {
        const int count = code.EntryList()->count();
        if (count == 0)
            return;
        const int row = Int(0, count - 1);
        Say("entry " + std::to_string(row));
        code.ClickEntry(row);
        if (Chance(0.6))
            TypeMarker();
        break;
    }
    case 4: {
        const std::string name = "onSoak" + std::to_string(++names_);
        dialogs_.InputAnswers = {name};
        Say("new entry " + name);
        code.AddEntry();
        TypeMarker();
        break;
    }
    case 5: {
        const TParList* list = code.CurrentList();
        const std::string name = "onRenamed" + std::to_string(++names_);
        dialogs_.InputAnswers = {name};
        Say("rename entry " + Quoted(code.CurrentEntry()) + " to " + name);
        code.RenameEntry();
        Relocate(list);
        break;
    }
    default: {
        const TParList* list = code.CurrentList();
        const bool yes = Chance(0.8);
        dialogs_.ConfirmAnswers = {yes};
        Say("remove entry " + Quoted(code.CurrentEntry()) + (yes ? "" : " (No)"));
        code.RemoveEntry();
        Relocate(list);
        break;
    }
    }
}

void SoakDriver::Switch()
{
    switch (Int(0, 6)) {
    case 0: PropertyTab(Main().Grid().CurrentTab() == TPropertyGrid::Tab::Events ? 0 : 1); break;
    case 1: Kind(Int(0, 7)); break;
    case 2: ChooseMap(); break;
    case 3:
        if (Main().LibMode())
            EditMode();
        else
            LibMode();
        break;
    case 4: {
        const int mode = Int(0, 2);
        Say("view mode " + std::to_string(mode));
        Main().SetViewMode(mode);
        break;
    }
    case 5: {
        TDataGrid& view = *Main().GridView();
        for (int r = 0; r < view.RowCount(); ++r)
            if (const TPropertyRow* row = view.RowAt(r); row && IsHeadingRow(*row)) {
                Say("heading " + row->name);
                view.CellClicked(r);
                break;
            }
        break;
    }
    default: ClickTree(true); break;
    }
}

// Adds, renames and removes maps, library elements and NPC instances.
void SoakDriver::Library()
{
    TElementBrowser& browser = Main().Browser();
    const int what = Int(0, 2);
    if (what == 0) {
        EditMode();
        Kind(0);
    } else if (what == 1) {
        LibMode();
        Kind(Int(1, 7));
    } else {
        EditMode();
        Kind(7);
    }
    const TListedList* list = Proj().LibraryOfKind(Main().CurrentKind());
    if (!list)
        return;
    switch (Int(0, 2)) {
    case 0: {
        if (list->Count() >= (what == 0 ? 6 : 40))
            return;
        std::optional<std::string> name = "Soak" + std::to_string(++names_);
        if (Chance(0.1) && list->Count() > 0)
            name = list->Item(0)->Name; // taken
        dialogs_.InputAnswers = {name};
        Say("add " + *name);
        browser.Add();
        break;
    }
    case 1: {
        ClickTree(false);
        const std::string name = "Renamed" + std::to_string(++names_);
        dialogs_.InputAnswers = {name};
        Say("rename to " + name);
        browser.Rename();
        break;
    }
    default: {
        if (what == 0 && list->Count() <= 1)
            return;
        ClickTree(false);
        const bool yes = Chance(0.8);
        dialogs_.ConfirmAnswers = {yes};
        Say(std::string("remove") + (yes ? "" : " (No)"));
        browser.Remove();
        break;
    }
    }
}

void SoakDriver::UndoRedo()
{
    QUndoStack& stack = Main().History().Stack();
    Main().SettleEdits();
    // A script may go back to what it was, or move with a renamed entry.
    for (Marker& m : markers_)
        m.retired = m.loose = true;
    for (int i = Int(1, 3); i > 0; --i) {
        if (Chance(0.6)) {
            Say(stack.canUndo() ? "undo " + stack.undoText().toStdString() : "undo (nothing)");
            stack.undo();
        } else {
            Say(stack.canRedo() ? "redo " + stack.redoText().toStdString() : "redo (nothing)");
            stack.redo();
        }
    }
}

void SoakDriver::Save()
{
    const size_t errors = dialogs_.Errors.size();
    Say("save");
    if (!Main().SaveProject() && stepFailure_.empty())
        stepFailure_ = "saving failed" + (dialogs_.Errors.size() > errors ? ": " + dialogs_.Errors.back() : std::string());
}

// ----------------------------------------------------------------- checks

SoakDriver::Live SoakDriver::Collect()
{
    Live live;
    const Project& p = Proj();
    const std::pair<const char*, const TListedList*> libraries[] = {
        {"wall", p.Walls.get()},         {"floor", p.Floors.get()},          {"ceiling", p.Ceilings.get()},
        {"object", p.Objects.get()},     {"item def", p.ItemDefs.get()},     {"monster def", p.MonsterDefs.get()},
        {"NPC def", p.NpcDefs.get()}};
    for (const auto& [kind, library] : libraries)
        for (int i = 0; library && i < library->Count(); ++i)
            live.Element(library->Element(i), std::string(kind) + " " + Quoted(library->Element(i)->Name));
    for (int i = 0; p.Maps && i < p.Maps->Count(); ++i)
        live.Map(p.Maps->MapAt(i), "map " + Quoted(p.Maps->MapAt(i)->Name));
    if (const TMap* placeholder = Main().Browser().PlaceholderMap())
        live.Map(placeholder, "the placeholder map");
    for (int i = 0; p.Npcs && i < p.Npcs->Count(); ++i)
        live.Element(p.Npcs->NpcAt(i), "NPC " + Quoted(p.Npcs->NpcAt(i)->Name));
    if (p.SharedNames)
        live.lists[p.SharedNames.get()] = "shared names";
    if (p.ProjectNames)
        live.lists[p.ProjectNames.get()] = "project names";
    if (p.GameParams)
        live.lists[p.GameParams.get()] = "game params";
    return live;
}

std::string SoakDriver::Check(bool reload)
{
    const Live live = Collect();
    const auto run = [this](const char* name) { return !options_.Skip.count(name); };
    std::string f;
    if (f.empty() && run("pointers"))
        f = CheckPointers(live);
    if (f.empty() && run("markers"))
        f = CheckMarkers(live);
    if (f.empty() && run("values"))
        f = CheckValues(live, false);
    if (f.empty() && run("placements"))
        f = CheckPlacements(live);
    if (f.empty() && reload && run("reload"))
        f = CheckReload();
    if (f.empty() && reload && run("history"))
        f = CheckHistory();
    return f;
}

std::string SoakDriver::Dump()
{
    std::ostringstream out;
    DumpProject(Proj(), out);
    return out.str();
}

std::string SoakDriver::CheckHistory()
{
    Main().SettleEdits();
    for (Marker& m : markers_)
        m.retired = m.loose = true;
    QUndoStack& stack = Main().History().Stack();
    const int at = stack.index();
    const std::string now = Dump();
    while (stack.canUndo())
        stack.undo();
    const std::string first = Dump();
    while (stack.index() < at)
        stack.redo();
    const std::string again = Dump();
    if (first != asLoaded_)
        return "undoing every step does not give the project as loaded:" + FirstDifference(asLoaded_, first);
    if (again != now)
        return "redoing the steps does not give the project back:" + FirstDifference(now, again);
    // A long run starts afresh, so that the walk back stays short.
    if (stack.count() > 400) {
        Main().History().Clear();
        asLoaded_ = now;
    }
    return {};
}

// Every pointer a window holds refers to something in the project, and the
// grid shows the lists of what it shows.
std::string SoakDriver::CheckPointers(const Live& live)
{
    auto in = [&live](const TListedItem* e) { return !e || live.elements.count(e) > 0; };
    auto listIn = [&live](const TParList* l) { return !l || live.lists.count(l) > 0; };
    TPropertyGrid& grid = Main().Grid();
    if (!in(grid.ShownElement()))
        return "the grid shows an element that is not in the project";
    if (!listIn(grid.ShownParams()) || !listIn(grid.ShownEvents()))
        return "the grid shows a list that is not in the project";
    if (const TListedItem* e = grid.ShownElement()) {
        if (grid.ShownParams() != e->Params.get() || grid.ShownEvents() != e->Events.get())
            return "the grid shows " + live.What(e) + " with the lists " + live.What(grid.ShownParams()) + " and " +
                   live.What(grid.ShownEvents());
    }
    if (!in(Proj().SelectedElement))
        return "the selected element is not in the project";
    TfrmCodeEdit& code = Code();
    if (!in(code.CurrentElement()))
        return "the code pane edits an element that is not in the project";
    if (!listIn(code.CurrentList()))
        return "the code pane edits a list that is not in the project (of " + live.What(code.CurrentElement()) + ")";
    if (const TListedItem* e = code.CurrentElement(); e && code.CurrentList()) {
        const TParList* l = code.CurrentList();
        const auto* npc = dynamic_cast<const TNPC*>(e);
        const auto* def = dynamic_cast<const TNPCDef*>(e);
        if (l != e->Params.get() && l != e->Events.get() && !(npc && l == npc->Keywords.get()) &&
            !(def && l == def->Keywords.get()))
            return "the code pane edits " + live.What(l) + " as a list of " + live.What(e);
    }
    if (code.TableLink() && code.TableLink() != &grid.Table)
        return "the code pane is linked to a table that is not the grid's";
    const TMap* map = Main().CurrentMap();
    if (map && !live.maps.count(map))
        return "the browser's open map is not in the project";
    if (const TMap* drawn = Main().MapView()->Map(); drawn && !live.maps.count(drawn))
        return "the map view draws a map that is not in the project";
    for (const TListedItem* placement : Main().Gestures().Placements()) {
        if (!in(placement))
            return "the placements list holds an element that is not in the project";
        const bool onMap = map && (map->Items->IndexOf(placement) >= 0 || map->Monsters->IndexOf(placement) >= 0);
        if (!onMap && Proj().Npcs->IndexOf(placement) < 0)
            return "the placements list holds " + live.What(placement) + ", which is not on the open map";
    }
    return {};
}

// Every marker typed into the code pane is, once the pane has moved on, in
// the entry it was typed into and in no other.
std::string SoakDriver::CheckMarkers(const Live& live)
{
    std::map<int, std::vector<std::pair<const TParList*, std::string>>> found;
    const size_t tag = std::char_traits<char>::length(MarkerTag);
    for (const auto& [list, what] : live.lists)
        for (int i = 0; i < list->Count(); ++i) {
            const std::string& value = list->Par(i)->Value;
            for (size_t at = value.find(MarkerTag); at != std::string::npos; at = value.find(MarkerTag, at + 1))
                found[std::atoi(value.c_str() + at + tag)].emplace_back(list, list->Par(i)->Name);
        }
    TfrmCodeEdit& code = Code();
    for (Marker& m : markers_) {
        if (m.free)
            continue;
        if (!live.lists.count(m.list))
            m.sawDead = true;
        bool home = false;
        for (const auto& [list, entry] : found[m.id]) {
            if (list == m.list && (m.loose || (entry == m.entry && !m.gone))) {
                home = true;
                continue;
            }
            return "the script written at step " + std::to_string(m.step) + " into " + m.where + " is in " +
                   live.What(list) + " " + Quoted(entry);
        }
        const bool paneOnIt = code.CurrentList() == m.list && code.CurrentEntry() == m.entry;
        if (!home && !paneOnIt && !m.retired && !m.sawDead && !m.gone && !m.loose)
            return "the script written at step " + std::to_string(m.step) + " into " + m.where + " is lost";
    }
    return {};
}

TField* SoakDriver::FieldFor(const TParList& list, const std::string& entry, std::string& section, std::string& name)
{
    name = entry;
    std::string key;
    if (dynamic_cast<const TMapParList*>(&list)) {
        if (const size_t open = entry.find('['); open != std::string::npos) {
            name = entry.substr(0, open);
            key = entry.substr(open);
        }
    }
    section = list.SectionFor(key);
    const TDefValue* def = Proj().Definitions ? Proj().Definitions->GetDefValue(section) : nullptr;
    return def ? TDefValue::FindField(def->ParamDefs, name) : nullptr;
}

// No stored parameter fails the validation of its definition, unless the
// same value did so when the project was loaded. Fields that name library
// elements or files are left out: renaming and removing elements makes
// their values stale on purpose.
std::string SoakDriver::CheckValues(const Live& live, bool baseline)
{
    for (const auto& [list, what] : live.lists) {
        if (list->Kind() != 0)
            continue;
        for (int i = 0; i < list->Count(); ++i) {
            const TPar* par = list->Par(i);
            std::string section, name;
            const TField* field = FieldFor(*list, par->Name, section, name);
            const bool checked = dynamic_cast<const TIntField*>(field) ||
                                 (dynamic_cast<const TListField*>(field) && !dynamic_cast<const TListedField*>(field) &&
                                  !dynamic_cast<const TDirField*>(field));
            if (!checked || field->IsValid(par->Value))
                continue;
            const std::string key = section + "|" + name + "|" + par->Value.str();
            if (baseline)
                loadedInvalid_.insert(key);
            else if (!loadedInvalid_.count(key))
                return what + " holds " + par->Name + "=" + Quoted(par->Value) + ", which its definition refuses";
        }
    }
    return {};
}

// Every cell of a map counts the items lying on it, and a monster's or NPC's
// place and size agree with its parameters (as the grid holds them when it
// shows them).
std::string SoakDriver::CheckPlacements(const Live& live)
{
    for (const TMap* map : live.maps) {
        std::map<std::pair<int, int>, int> items;
        for (int i = 0; i < map->Items->Count(); ++i)
            ++items[{map->Items->ItemAt(i)->X, map->Items->ItemAt(i)->Y}];
        for (int x = 0; x < map->SizeX; ++x)
            for (int y = 0; y < map->SizeY; ++y)
                if (const int n = items.count({x, y}) ? items[{x, y}] : 0; map->Cell(x, y).ItemCount != n)
                    return live.What(map) + " counts " + std::to_string(map->Cell(x, y).ItemCount) + " items on " +
                           CellText(x, y) + ", where " + std::to_string(n) + " lie";
    }
    TPropertyGrid& grid = Main().Grid();
    for (const auto& [element, what] : live.elements) {
        const auto* m = dynamic_cast<const TMonster*>(element);
        if (!m)
            continue;
        const bool shown = grid.ShownParams() == m->Params.get() && grid.CurrentTab() == TPropertyGrid::Tab::Properties;
        auto value = [&](const char* name) -> std::string {
            if (!shown)
                return m->Params->GetValue(name);
            for (const TPropertyRow& row : grid.Table.Rows())
                if (row.name == name)
                    return row.value;
            return {};
        };
        const std::pair<const char*, int64_t> expected[] = {{"x", m->Left},
                                                             {"y", m->Top},
                                                             {"sizeX", int64_t(m->Right) - m->Left},
                                                             {"sizeY", int64_t(m->Bottom) - m->Top}};
        for (const auto& [name, number] : expected) {
            const std::string v = value(name);
            const std::optional<int32_t> parsed = StrToInt32(v);
            if (!v.empty() && parsed && *parsed != number)
                return what + " lies at " + CellText(m->Left, m->Top) + " to " + CellText(m->Right, m->Bottom) +
                       " but its " + name + " is " + v + (shown ? " in the grid" : "");
        }
    }
    return {};
}

// What is saved reads back as what the editor holds.
std::string SoakDriver::CheckReload()
{
    const size_t errors = dialogs_.Errors.size();
    if (!Main().SaveProject())
        return "saving failed" + (dialogs_.Errors.size() > errors ? ": " + dialogs_.Errors.back() : std::string());
    std::ostringstream mine, theirs;
    DumpProject(Proj(), mine);
    try {
        Project again;
        again.DefinitionFile = Main().DefinitionFile;
        again.FaceColor = Proj().FaceColor;
        again.Load(Proj().ProjectFolder);
        ShowSharedInEditorOrder(Proj(), again);
        DumpProject(again, theirs);
    } catch (const std::exception& e) {
        return std::string("the saved project cannot be read back: ") + e.what();
    }
    if (mine.str() == theirs.str())
        return {};
    return "the saved project reads back differently:" + FirstDifference(mine.str(), theirs.str());
}

} // namespace kestrune::test
