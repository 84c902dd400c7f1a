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
    const size_t first = value.find(',');
    if (first != std::string::npos) {
        const size_t second = value.find(',', first + 1);
        const std::string xs = value.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                                   : second - first - 1);
        const std::optional<int> ox = Integer(xs.substr(0, xs.find('|')));
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

TPropertyGrid::TPropertyGrid(Project& project, UserDialogs& dialogs, TGridHost& host)
    : project_(project), dialogs_(dialogs), host_(host)
{
    Table.BeforePost = [this](TPropertyTable& t) { return BeforePost(t); };
    Table.AfterPost = [this](TPropertyTable& t) { AfterPost(t); };
    Table.OnFilterRecord = [this](const TPropertyRow& row) { return RowVisible(row); };
    Table.SetFiltered(true);
}

// ------------------------------------------------------------ what is shown

void TPropertyGrid::ShowElement(TListedItem* element)
{
    const std::string remembered = Table.Current() ? Table.Name() : std::string();
    project_.SelectedElement = element;
    host_.RefreshPreview();
    const bool ownLists = project_.LibMode || project_.CurrentKind == 7;
    if (ownLists && element != host_.CodeElement())
        host_.CodeSaveCurrent();
    if (element && dynamic_cast<TMap*>(element) && element != host_.CodeElement())
        host_.CodeSwitchList(element, element->Events.get());
    shownElement_ = element;
    keyWordsVisible_ = element && (element->DefName == "1NPCDef" || element->DefName == "NPC");
    if (element) {
        if (ownLists) {
            ShowLists(element->Params.get(), element->Events.get(), "");
            if (element != host_.CodeElement())
                host_.CodeOpenList(element, element->Events.get());
        } else {
            TMap* map = host_.OpenMap();
            if (map && !ShowsOwnLists(element))
                shownElement_ = map;
            const std::string key = shownElement_ == map && map ? project_.CellKeyOf(*map) : std::string();
            ShowLists(shownElement_->Params.get(), shownElement_->Events.get(), key);
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
    // The code editor's text reaches its list (and the table) first.
    host_.CodeReselect();
    BeginTableUpdate(Table);
    TParList* list = tab_ == Tab::Events ? events : params;
    TParList* shown = ListOfTab();
    if (list != shown || key != shownKey_) {
        if (shown)
            shown->StoreFromTable(Table, shownKey_);
        if (list) {
            shownKey_ = key;
            list->ExpandToTable(Table, key, project_.Definitions.get());
        }
    }
    shownParams_ = params;
    shownEvents_ = events;
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
        readOnly_ = shownParams_ && UpperCase(shownParams_->Name).find("DEF") != std::string::npos;
    }
}

std::string TPropertyGrid::Caption() const
{
    return (shownEvents_ ? shownEvents_->Name : std::string()) + " " + shownKey_;
}

void TPropertyGrid::StoreTable()
{
    BeginTableUpdate(Table);
    if (TParList* list = ListOfTab())
        list->StoreFromTable(Table, shownKey_);
    EndTableUpdate(Table);
}

void TPropertyGrid::ShowAgain()
{
    BeginTableUpdate(Table);
    if (TParList* list = ListOfTab())
        list->ExpandToTable(Table, shownKey_, project_.Definitions.get());
    EndTableUpdate(Table);
}

void TPropertyGrid::ForgetLists()
{
    shownElement_ = nullptr;
    shownParams_ = shownEvents_ = nullptr;
    shownKey_.clear();
    BeginTableUpdate(Table);
    Table.Clear();
    EndTableUpdate(Table);
}

// ---------------------------------------------------------------- commands

void TPropertyGrid::SetTab(Tab tab)
{
    if (tab == tab_)
        return;
    if (Table.Modified())
        Table.Post();
    BeginTableUpdate(Table);
    TParList* from = ListOfTab();
    tab_ = tab;
    TParList* to = ListOfTab();
    if (from)
        from->StoreFromTable(Table, shownKey_);
    if (tab_ == Tab::Properties) {
        host_.CodeSaveCurrent();
        host_.CodeSetTableLink(nullptr);
    }
    if (to)
        to->ExpandToTable(Table, shownKey_, project_.Definitions.get());
    if (tab_ == Tab::Events)
        host_.CodeSetTableLink(&Table);
    UpdateGridState();
    EndTableUpdate(Table);
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
    if (!shownParams_ || !project_.Definitions)
        return nullptr;
    const TDefValue* def = project_.Definitions->GetDefValue(shownParams_->SectionFor(shownKey_));
    if (!def)
        return nullptr;
    return TDefValue::FindField(def->ParamDefs, rowName);
}

std::string TPropertyGrid::PictureBaseFolder(const TPictureField& field) const
{
    const std::string folder = shownParams_ ? field.ResolvedFolder(*shownParams_) : field.Folder;
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(project_.ProjectFolder + folder), ec))
        return project_.ProjectFolder + folder;
    return project_.DataFolder + folder;
}

std::string TPropertyGrid::PreviewFile(const TPictureField& field, const std::string& value) const
{
    std::string path = (shownParams_ ? field.ResolvedFolder(*shownParams_) : field.Folder) + value;
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

void TPropertyGrid::Ellipsis(const std::function<std::string(const std::string&)>& editText)
{
    if (readOnly_ || !Table.Current())
        return;
    const std::string name = Table.Name();
    const std::string value = Table.Value();
    const auto* picture = tab_ == Tab::Properties ? dynamic_cast<const TPictureField*>(FieldOf(name)) : nullptr;
    if (tab_ == Tab::Events) {
        Table.SetValue(host_.CodeOpenEvent(shownElement_, name + shownKey_));
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
    host_.SetModified();
    const std::string name = table.Name();
    const std::string value = table.Value();
    TMap* map = host_.OpenMap();
    if (map && shownParams_ == map->Params.get() && tab_ == Tab::Properties && project_.CurrentKind == 0 &&
        (name == "sizeX" || name == "sizeY")) {
        if (const std::optional<int> size = Integer(value); size && !value.empty()) {
            try {
                if (name == "sizeX" && *size != map->SizeX)
                    map->SetSize(*size, map->SizeY);
                else if (name == "sizeY" && *size != map->SizeY)
                    map->SetSize(map->SizeX, *size);
                host_.MapResized();
            } catch (const KestruneError& e) {
                dialogs_.Error(e.what());
            }
        }
    }
    if (shownElement_) {
        bool changed = false;
        try {
            changed = shownElement_->ParameterChanged(name, value);
        } catch (const KestruneError& e) {
            dialogs_.Error(e.what());
        }
        if (changed) {
            host_.RefreshPreview();
            host_.RepaintCursorCell();
            if (!project_.LibMode && project_.CurrentKind == 5)
                host_.ListPlacements();
        }
    }
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
    Table.SetName(*name);
    Table.Post();
}

void TPropertyGrid::RenameRow()
{
    if (readOnly_ || !Table.Current())
        return;
    const std::optional<std::string> name = AskRowName("Enter new  name for value", Table.Name());
    if (!name)
        return;
    Table.Edit();
    Table.SetName(*name);
    Table.Post();
}

void TPropertyGrid::RemoveRow()
{
    if (readOnly_ || Table.IsEmpty())
        return;
    if (dialogs_.Confirm("Remove this field ?"))
        Table.Delete();
}

} // namespace kestrune
