#include "shell/propertygrid.h"

#include "controls/userdialogs.h"
#include "core/definitions.h"
#include "core/errors.h"
#include "core/text.h"
#include "model/project.h"

#include <filesystem>

namespace kestrune {

namespace {

std::optional<int> Integer(const std::string& text)
{
    const std::optional<int32_t> v = StrToInt32(Trim(text));
    return v ? std::optional<int>(*v) : std::nullopt;
}

// Elements that show their own lists in edit mode; walls, floors, ceilings
// and objects show the open map's cell instead.
bool ShowsOwnLists(const TListedItem* e)
{
    return dynamic_cast<const TItem*>(e) || dynamic_cast<const TItemDef*>(e) || dynamic_cast<const TMonster*>(e) ||
           dynamic_cast<const TMonsterDef*>(e) || dynamic_cast<const TMap*>(e);
}

} // namespace

std::optional<TFootprint> FootprintOf(const std::string& description, const std::string& value)
{
    const std::string word = Trim(description.substr(0, description.find(' ')));
    const size_t x = word.find('x');
    if (x == std::string::npos)
        return std::nullopt;
    const std::optional<int> w = Integer(word.substr(0, x));
    const std::optional<int> h = Integer(word.substr(x + 1, 20));
    if (!w || !h)
        return std::nullopt;
    TFootprint f;
    f.Width = *w;
    f.Height = *h;
    // X is all of the text between the first and the second ",", Y what
    // follows the second up to a "|".
    const size_t first = value.find(',');
    if (first != std::string::npos) {
        const size_t second = value.find(',', first + 1);
        const std::string xs = value.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                                   : second - first - 1);
        const std::optional<int> ox = Integer(xs);
        if (ox) {
            f.OffsetX = *ox;
            if (second != std::string::npos) {
                const std::string ys = value.substr(second + 1);
                f.OffsetY = Integer(ys.substr(0, ys.find('|'))).value_or(0);
            }
        }
    }
    return f;
}

TPropertyGrid::TPropertyGrid(Project& project, UserDialogs& dialogs, TGridHost& host, TEditSession* session)
    : project_(project), dialogs_(dialogs), host_(host),
      ownSession_(session ? nullptr : std::make_unique<TEditSession>()), session_(session ? *session : *ownSession_)
{
    Table.BeforePost = [this](TPropertyTable& t) { return BeforePost(t); };
    Table.AfterPost = [this](TPropertyTable& t) { AfterPost(t); };
    Table.OnFilterRecord = [this](const TPropertyRow& row) { return RowVisible(row); };
    Table.SetFiltered(true);
    TEditSession::Observer observer;
    observer.Leaving = [this](TListedItem& thing) { Leaving(thing); };
    observer.ListChanging = [this](TParList& list) { ListChanging(list); };
    observer.ListChanged = [this](TParList& list) { ListChanged(list); };
    observerId_ = session_.Observe(std::move(observer));
}

TPropertyGrid::~TPropertyGrid() { session_.Forget(observerId_); }

void TPropertyGrid::Leaving(TListedItem& thing)
{
    if (!TEditSession::Holds(thing, session_.Shown) && !TEditSession::HoldsList(thing, session_.ShownParams) &&
        !TEditSession::HoldsList(thing, session_.ShownEvents))
        return;
    // What the table holds of it goes with it (an undone placement comes back with it).
    StoreTable();
    ForgetLists();
}

void TPropertyGrid::ListChanging(TParList& list)
{
    if (&list == ListOfTab())
        StoreTable();
}

void TPropertyGrid::ListChanged(TParList& list)
{
    if (&list == ListOfTab())
        ShowAgain();
}

bool TPropertyGrid::SettleEdit()
{
    if (!Table.Modified())
        return true;
    if (Table.Post())
        return true;
    // Refused (the message was shown): the row is being left, so the typed
    // value goes rather than reach the list.
    Table.Cancel();
    return false;
}

// ------------------------------------------------------------ what is shown

void TPropertyGrid::ShowElement(TListedItem* element)
{
    // Called back while the table is being filled: the outer call decides.
    if (busy_)
        return;
    // A pending edit takes effect on what it was typed for, before anything moves on.
    SettleEdit();
    if (rederive_)
        StoreTable();
    const std::string remembered = Table.Current() ? Table.Name() : std::string();
    project_.SelectedElement = element;
    host_.RefreshPreview();
    const bool ownLists = project_.LibMode || project_.CurrentKind == 7;
    if (ownLists && element != host_.CodeElement())
        host_.CodeSaveCurrent();
    if (element && dynamic_cast<TMap*>(element) && element != host_.CodeElement())
        host_.CodeSwitchList(element, element->Events.get());
    session_.Shown = element;
    keyWordsVisible_ = element && (element->DefName == "1NPCDef" || element->DefName == "NPC");
    if (element) {
        if (ownLists) {
            ShowLists(element->Params.get(), element->Events.get(), "");
            if (element != host_.CodeElement())
                host_.CodeOpenList(element, element->Events.get());
        } else {
            TMap* map = host_.OpenMap();
            if (map && !ShowsOwnLists(element))
                session_.Shown = map;
            const std::string key = session_.Shown == map && map ? project_.CellKeyOf(*map) : std::string();
            ShowLists(session_.Shown->Params.get(), session_.Shown->Events.get(), key);
        }
    }
    if (!remembered.empty())
        Table.Locate(TPropertyTable::Field::Name, remembered);
}

void TPropertyGrid::ShowLists(TParList* params, TParList* events, const std::string& key)
{
    if (busy_)
        return;
    busy_ = true;
    SettleEdit();
    // The code editor's text reaches its list (and the table) first.
    host_.CodeReselect();
    BeginTableUpdate(Table);
    TParList* list = tab_ == Tab::Events ? events : params;
    TParList* shown = ListOfTab();
    if (list != shown || key != session_.ShownKey) {
        if (shown)
            StoreIfUnstored(*shown);
        if (list) {
            session_.ShownKey = key;
            list->ExpandToTable(Table, key, project_.Definitions.get());
        }
    }
    session_.ShownParams = params;
    session_.ShownEvents = events;
    UpdateGridState();
    EndTableUpdate(Table);
    busy_ = false;
}

void TPropertyGrid::UpdateGridState()
{
    if (project_.LibMode) {
        const TListedItem* selected = host_.SelectedLibraryElement();
        readOnly_ = selected && selected->Shared;
    } else {
        readOnly_ = session_.ShownParams && UpperCase(session_.ShownParams->Name).find("DEF") != std::string::npos;
    }
}

std::string TPropertyGrid::Caption() const
{
    return (session_.ShownEvents ? session_.ShownEvents->Name : std::string()) + " " + session_.ShownKey;
}

void TPropertyGrid::StoreTable()
{
    SettleEdit();
    BeginTableUpdate(Table);
    if (TParList* list = ListOfTab())
        StoreIfUnstored(*list);
    EndTableUpdate(Table);
    if (tab_ == Tab::Properties)
        Rederive(true);
    if (reshow_) {
        reshow_ = false;
        ShowAgain();
    }
}

void TPropertyGrid::StoreIfUnstored(TParList& list)
{
    // Every designer's change is stored as it is made (and recorded); a
    // table that holds nothing new is not stored again, which would move a
    // cell's entries to the end of the map's list.
    if (!unstored_)
        return;
    unstored_ = false;
    list.StoreFromTable(Table, session_.ShownKey);
}

void TPropertyGrid::StoreChange(TPropertyTable& table)
{
    TParList* list = ListOfTab();
    if (!list)
        return;
    BeginTableUpdate(table);
    list->StoreFromTable(table, session_.ShownKey);
    EndTableUpdate(table);
    unstored_ = false;
}

TRecordListEdit TPropertyGrid::RecordChange(const std::string& step)
{
    TRecordListEdit record(&session_, step, session_.Shown, ListOfTab());
    // A cell's lists are seen at the cell.
    if (auto* map = dynamic_cast<TMap*>(session_.Shown); map && !session_.ShownKey.empty()) {
        record.Edit.X = map->SelX;
        record.Edit.Y = map->SelY;
    }
    return record;
}

void TPropertyGrid::Rederive(bool showAgain)
{
    if (!rederive_)
        return;
    rederive_ = false;
    // The list now lacks what was removed, renamed or emptied: the element
    // derives again what it derives from it.
    if (session_.Shown && session_.ShownParams == session_.Shown->Params.get()) {
        session_.Shown->ParametersReplaced();
        if (showAgain)
            ShowAgain();
    }
}

void TPropertyGrid::ShowAgain()
{
    SettleEdit();
    BeginTableUpdate(Table);
    if (TParList* list = ListOfTab())
        list->ExpandToTable(Table, session_.ShownKey, project_.Definitions.get());
    EndTableUpdate(Table);
}

void TPropertyGrid::ForgetLists()
{
    rederive_ = false;
    reshow_ = false;
    session_.Shown = nullptr;
    session_.ShownParams = session_.ShownEvents = nullptr;
    session_.ShownKey.clear();
    if (Table.Modified())
        Table.Cancel();
    BeginTableUpdate(Table);
    Table.Clear();
    EndTableUpdate(Table);
}

// ---------------------------------------------------------------- commands

void TPropertyGrid::SetTab(Tab tab)
{
    if (tab == tab_ || busy_)
        return;
    SettleEdit();
    busy_ = true;
    BeginTableUpdate(Table);
    TParList* from = ListOfTab();
    tab_ = tab;
    TParList* to = ListOfTab();
    if (from)
        StoreIfUnstored(*from);
    if (from && from == session_.ShownParams)
        Rederive(false); // the events come next: the parameters need not be shown again
    if (tab_ == Tab::Properties) {
        host_.CodeSaveCurrent();
        host_.CodeSetTableLink(nullptr);
    }
    if (to)
        to->ExpandToTable(Table, session_.ShownKey, project_.Definitions.get());
    if (tab_ == Tab::Events)
        host_.CodeSetTableLink(&Table);
    UpdateGridState();
    EndTableUpdate(Table);
    busy_ = false;
}

bool TPropertyGrid::RowVisible(const TPropertyRow& row) const
{
    const int grp = row.grp.value_or(0);
    return grp == 0 || grp == expandedGroup_ || StartsWith(row.name, "+");
}

void TPropertyGrid::ClickHeading(const std::string& rowName)
{
    for (const TPropertyRow& row : Table.Rows()) {
        if (row.name != rowName || !StartsWith(row.name, "+"))
            continue;
        const int group = row.grp.value_or(0);
        expandedGroup_ = expandedGroup_ == group ? 0 : group;
        Table.Refilter();
        return;
    }
}

bool TPropertyGrid::Post() { return Table.Post(); }

TField* TPropertyGrid::FieldOf(const std::string& rowName) const
{
    if (!session_.ShownParams || !project_.Definitions)
        return nullptr;
    const TDefValue* def = project_.Definitions->GetDefValue(session_.ShownParams->SectionFor(session_.ShownKey));
    if (!def)
        return nullptr;
    return TDefValue::FindField(def->ParamDefs, rowName);
}

std::string TPropertyGrid::PictureBaseFolder(const TPictureField& field) const
{
    const std::string folder = session_.ShownParams ? field.ResolvedFolder(*session_.ShownParams) : field.Folder;
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(project_.ProjectFolder + folder), ec))
        return project_.ProjectFolder + folder;
    return project_.DataFolder + folder;
}

std::string TPropertyGrid::PreviewFile(const TPictureField& field, const std::string& value) const
{
    std::string path = (session_.ShownParams ? field.ResolvedFolder(*session_.ShownParams) : field.Folder) + value;
    path = path.substr(0, path.find(','));
    path = path.substr(0, path.find('|'));
    const TListedItem* selected = dynamic_cast<const TListedItem*>(project_.SelectedElement);
    const std::string base = selected ? selected->BaseFolder() : project_.ProjectFolder;
    std::error_code ec;
    std::string full = base + path;
    if (!std::filesystem::is_regular_file(std::filesystem::path(full), ec))
        full = project_.DataFolder + path;
    return std::filesystem::is_regular_file(std::filesystem::path(full), ec) ? full : std::string();
}

std::string TPropertyGrid::CurrentPreviewFile() const
{
    const TPropertyRow* row = Table.Current();
    if (!row || !project_.LibMode || tab_ != Tab::Properties)
        return {};
    const auto* field = dynamic_cast<const TPictureField*>(FieldOf(row->name));
    return field ? PreviewFile(*field, row->value) : std::string();
}

TEventList* TPropertyGrid::KeyWordsList() const
{
    TListedItem* element = session_.Shown;
    if (!element)
        return nullptr;
    if (element->DefName == "1NPCDef") {
        if (auto* def = dynamic_cast<TNPCDef*>(element))
            return def->Keywords.get();
    } else if (element->DefName == "NPC") {
        if (auto* npc = dynamic_cast<TNPC*>(element))
            return npc->Keywords.get();
    }
    return nullptr;
}

void TPropertyGrid::Ellipsis(const std::function<std::string(const std::string&)>& editText)
{
    // An event opens in the code editor also from a read-only grid (the
    // events of definitions in edit mode); nothing else changes there.
    if ((readOnly_ && tab_ != Tab::Events) || !Table.Current())
        return;
    const std::string name = Table.Name();
    const std::string value = Table.Value();
    const auto* picture = tab_ == Tab::Properties ? dynamic_cast<const TPictureField*>(FieldOf(name)) : nullptr;
    if (tab_ == Tab::Events) {
        const std::string text = host_.CodeOpenEvent(session_.Shown, name + session_.ShownKey);
        // Opening an event changes nothing in the row; a read-only grid only
        // shows (an event it lacks opens another entry of the list).
        if (text == value || readOnly_)
            return;
        Table.SetValue(text);
    } else if (picture) {
        const std::string base = PictureBaseFolder(*picture);
        std::string start = base;
        const std::string file = value.substr(0, value.find_first_of(",|"));
        if (const size_t slash = file.find_last_of('/'); slash != std::string::npos)
            start += file.substr(0, slash + 1);
        const std::optional<std::string> chosen = dialogs_.OpenPicture("Picture : " + picture->Description, start);
        if (chosen)
            Table.SetValue(TPictureField::RelativePicturePath(base, *chosen));
    } else if (editText) {
        Table.SetValue(editText(value));
    }
    Table.Post();
}

void TPropertyGrid::RewritePosted(TPropertyTable& table, const std::string& name, const std::string& value)
{
    // The row just posted, written again without validation (it is the map's own value).
    if (table.GetState() != TPropertyTable::State::Browse || table.Name() != name)
        return;
    table.DisableControls();
    table.SetValue(value);
    table.Post();
    table.EnableControls();
}

bool TPropertyGrid::BeforePost(TPropertyTable& table)
{
    if (table.ControlsDisabled())
        return true;
    const std::string name = table.Name();
    const TField* field = FieldOf(name);
    if (field && !field->IsValid(table.Value())) {
        dialogs_.Error("Invalid value for field " + name + "!");
        return false;
    }
    return true;
}

void TPropertyGrid::AfterPost(TPropertyTable& table)
{
    if (table.ControlsDisabled()) {
        AfterPostChanges(table);
        return;
    }
    // A designer's post is stored at once, as one step of the history.
    const std::string name = table.Name();
    std::optional<TRecordListEdit> own;
    if (!outerRecord_)
        own.emplace(RecordChange("Change " + name));
    TRecordListEdit& record = outerRecord_ ? *outerRecord_ : *own;
    auto* map = dynamic_cast<TMap*>(session_.Shown);
    const bool turning = map && name == "#orientation" && map->InMap(map->SelX, map->SelY);
    if (turning) {
        record.Edit.Slot = 7;
        record.Edit.X = map->SelX;
        record.Edit.Y = map->SelY;
        record.Edit.SlotBefore = map->Cell(map->SelX, map->SelY).Orientation();
    }
    // Stored before anything the change sets off may show another list.
    AfterPostChanges(table, [&] {
        if (turning && map == session_.Shown && map->InMap(record.Edit.X, record.Edit.Y))
            record.Edit.SlotAfter = map->Cell(record.Edit.X, record.Edit.Y).Orientation();
        if (ListOfTab() != record.Edit.List)
            return;
        StoreChange(table);
        // What the element derives from a row emptied is made again within
        // the step; the table shows the list again when it is next stored.
        // Until then the table still holds the emptied row, and every store
        // of it empties the list again: the element derives again each time.
        if (reshow_ && tab_ == Tab::Properties)
            rederive_ = true;
        if (rederive_ && tab_ == Tab::Properties) {
            Rederive(false);
            reshow_ = true;
        }
    });
}

void TPropertyGrid::AfterPostChanges(TPropertyTable& table, const std::function<void()>& store)
{
    bool stored = false;
    auto storeNow = [&] {
        if (store && !stored) {
            stored = true;
            store();
        }
    };
    host_.SetModified();
    const std::string name = table.Name();
    const std::string value = table.Value();
    // A map's own size rows (not a cell's) resize the map shown, in whichever
    // kind and mode it is shown: a size only stored would be lost on loading.
    auto* map = dynamic_cast<TMap*>(session_.Shown);
    if (map && session_.ShownParams == map->Params.get() && session_.ShownKey.empty() && tab_ == Tab::Properties &&
        (name == "sizeX" || name == "sizeY")) {
        if (const std::optional<int> size = Integer(value); size && !value.empty()) {
            try {
                if (name == "sizeX" && *size != map->SizeX)
                    map->SetSize(*size, map->SizeY);
                else if (name == "sizeY" && *size != map->SizeY)
                    map->SetSize(map->SizeX, *size);
                host_.MapResized();
                // The row reads as the size the map has ("0x10" is 16).
                const std::string decimal = std::to_string(*size);
                if (value != decimal)
                    RewritePosted(table, name, decimal);
            } catch (const KestruneError& e) {
                dialogs_.Error(e.what());
                // The map keeps its size, and the row shows it again.
                const std::string kept = std::to_string(name == "sizeX" ? map->SizeX : map->SizeY);
                RewritePosted(table, name, kept);
                storeNow();
                return;
            }
        }
    }
    // A row that a list is copied with and that has no value stands for no
    // entry at all (the list stores none): the element hears nothing of it,
    // as it hears nothing of it when its saved list is loaded.
    const bool unset = table.ControlsDisabled() && value.empty();
    // An emptied value leaves the list when the table is stored.
    if (!table.ControlsDisabled() && value.empty() && tab_ == Tab::Properties)
        rederive_ = true;
    if (session_.Shown && !unset) {
        bool changed = false;
        try {
            changed = session_.Shown->ParameterChanged(name, value);
        } catch (const KestruneError& e) {
            dialogs_.Error(e.what());
        }
        storeNow();
        if (changed) {
            host_.RefreshPreview();
            host_.RepaintCursorCell();
            // Not while a list is being copied: refilling the list may show
            // another element, and the table is half filled.
            if (!project_.LibMode && project_.CurrentKind == 5 && !table.ControlsDisabled())
                host_.ListPlacements();
        }
    }
    storeNow();
    if (!table.ControlsDisabled() && name == "parent" && (project_.CurrentKind == 6 || project_.CurrentKind == 7))
        host_.MoveSelectedNode(value);
}

std::optional<std::string> TPropertyGrid::AskRowName(const std::string& title, const std::string& start)
{
    std::string text = start;
    for (;;) {
        const std::optional<std::string> answer = dialogs_.Input(title, "Name : ", text);
        if (!answer || answer->empty())
            return std::nullopt;
        const TParList* list = ListOfTab();
        if (list && list->IndexOfName(*answer) >= 0) {
            dialogs_.Error("Field " + *answer + " already exist!");
            text = *answer;
            continue;
        }
        return answer;
    }
}

void TPropertyGrid::AddRow()
{
    if (readOnly_)
        return;
    const std::optional<std::string> name = AskRowName("Enter new  value name", "");
    if (!name)
        return;
    Table.Append();
    // A pending edit that was refused keeps the table from inserting: the
    // name must not land on the row being edited.
    if (Table.GetState() != TPropertyTable::State::Insert)
        return;
    Table.SetName(*name);
    TRecordListEdit record = RecordChange("Add field " + *name);
    outerRecord_ = &record;
    Table.Post();
    outerRecord_ = nullptr;
}

void TPropertyGrid::RenameRow()
{
    if (readOnly_ || !Table.Current())
        return;
    // A refused value is corrected (or abandoned) before the row is renamed.
    if (Table.Modified() && !Table.Post())
        return;
    const std::optional<std::string> name = AskRowName("Enter new  name for value", Table.Name());
    if (!name)
        return;
    const std::string old = Table.Name();
    Table.Edit();
    Table.SetName(*name);
    TRecordListEdit record = RecordChange("Rename field " + old + " to " + *name);
    outerRecord_ = &record;
    const bool posted = Table.Post();
    outerRecord_ = nullptr;
    if (posted)
        ListEdited();
}

void TPropertyGrid::RemoveRow()
{
    if (readOnly_ || Table.IsEmpty())
        return;
    if (!dialogs_.Confirm("Remove this field ?"))
        return;
    TRecordListEdit record = RecordChange("Remove field " + Table.Name());
    Table.Delete();
    unstored_ = true;
    StoreTable();
    ListEdited();
}

void TPropertyGrid::ListEdited()
{
    if (tab_ != Tab::Properties || !session_.Shown || !session_.ShownParams)
        return;
    // What the element derives from a removed or renamed row goes with it;
    // the list is shown again, with the defined rows it lacks.
    rederive_ = true;
    StoreTable();
    host_.RefreshPreview();
    host_.MapResized();
}

} // namespace kestrune
