#include "definitions.h"

#include "errors.h"
#include "loadsave.h"
#include "parlist.h"
#include "proptable.h"
#include "text.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

// Names of definitions and choices are ordered and compared with the same
// relation, so that sorting, lookup and dropping of duplicates agree:
// LocaleCompare without case gives 0 exactly for names equal without case.
int CompareNames(const std::string& a, const std::string& b) { return LocaleCompare(a, b, false); }

constexpr size_t kMaxLineText = 255; // of a definition or heading line, after its first character

// ---------------------------------------------------------------------------
// Folder listing of the folder choices

// Wildcard match without regard to case: "*" any run, "?" one character.
bool WildcardMatch(const std::string& name, const std::string& mask)
{
    if (mask == "*.*" || mask == "*")
        return true;
    size_t n = 0, m = 0;
    size_t starMask = std::string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || UpperChar(mask[m]) == UpperChar(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

bool IsHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

// Which entries a search with the attribute mask finds: 32 ordinary files,
// 16 ordinary files and folders, 63 everything. Hidden entries (names that
// begin with ".") are found by 63 only.
bool FoundByMask(int attributes, bool isFolder, bool hidden)
{
    if (attributes == 63)
        return true;
    if (hidden)
        return false;
    if (isFolder)
        return (attributes & 16) != 0;
    return true;
}

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    bool isLink = false;
};

// The entries of one folder; a missing or unreadable folder gives none.
std::vector<FolderEntry> ReadFolder(const fs::path& folder)
{
    std::vector<FolderEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return entries;
    const fs::directory_iterator end;
    while (it != end) {
        FolderEntry e;
        e.name = it->path().filename().string();
        std::error_code ec2;
        e.isLink = it->is_symlink(ec2);
        e.isFolder = it->is_directory(ec2); // a link to a folder counts as a folder
        if (!e.name.empty() && e.name != "." && e.name != "..")
            entries.push_back(std::move(e));
        it.increment(ec);
        if (ec)
            break;
    }
    return entries;
}

void ListFolder(TChoiceList& choices, const fs::path& folder, const std::string& mask, int attributes,
                const std::string& prefix)
{
    const std::vector<FolderEntry> entries = ReadFolder(folder);
    for (const FolderEntry& e : entries) {
        const bool hidden = IsHidden(e.name);
        if (!FoundByMask(attributes, e.isFolder, hidden))
            continue;
        if (attributes == 63 && e.isFolder)
            continue;
        if (WildcardMatch(e.name, mask))
            choices.Add(prefix + e.name);
    }
    // Sub-folders are looked for with the same mask; links are never
    // followed, so a link that points back up the tree cannot loop.
    for (const FolderEntry& e : entries) {
        if (!e.isFolder || e.isLink)
            continue;
        if (!FoundByMask(attributes, true, IsHidden(e.name)))
            continue;
        ListFolder(choices, folder / e.name, mask, attributes, prefix + e.name + "/");
    }
}

// ---------------------------------------------------------------------------
// Definition lines

// The argument of IMAGE(...), WAVS(...), DIRS(...) and FILES(...): the text
// after the first "(" without one ")" at its very end.
std::string TypeArgument(const std::string& typePart)
{
    const size_t open = typePart.find('(');
    if (open == std::string::npos)
        return {};
    std::string arg = typePart.substr(open + 1);
    if (!arg.empty() && arg.back() == ')')
        arg.pop_back();
    return arg;
}

std::unique_ptr<TField> MakeListField(const std::string& upperType)
{
    auto field = std::make_unique<TListField>();
    const std::string body = upperType.substr(1);
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t comma = body.find(',', start);
        if (comma == std::string::npos) {
            pieces.push_back(Trim(body.substr(start)));
            break;
        }
        pieces.push_back(Trim(body.substr(start, comma - start)));
        start = comma + 1;
    }
    std::string& last = pieces.back();
    if (!last.empty() && last.back() == ']') {
        last.pop_back();
        last = Trim(last);
    }
    for (const std::string& p : pieces)
        field->Choices.Add(p);
    return field;
}

std::unique_ptr<TField> MakeField(const std::string& typePart, const TDefContext* context)
{
    const std::string t = UpperCase(typePart);
    if (t == "INT" || t == "INTEGER")
        return std::make_unique<TIntField>();
    if (t == "BOOL" || t == "BOOLEAN")
        return std::make_unique<TBoolField>();
    static const char* const kLibraries[] = {"ITEMS", "MONSTERS", "WALL", "FLOORS", "CEILINGS", "NPCS", "MAPS"};
    for (int kind = 0; kind < 7; ++kind)
        if (t == kLibraries[kind])
            return std::make_unique<TListedField>(context, kind);
    if (StartsWith(t, "IMAGE")) {
        auto field = std::make_unique<TPictureField>();
        field->Folder = TypeArgument(typePart);
        if (!field->Folder.empty() && field->Folder.back() != '/')
            field->Folder += '/';
        return field;
    }
    if (StartsWith(t, "WAVS")) {
        auto field = std::make_unique<TDirField>(context);
        field->Attributes = 32;
        field->Pattern = TypeArgument(typePart) + "/*.wav";
        return field;
    }
    if (StartsWith(t, "DIRS")) {
        auto field = std::make_unique<TDirField>(context);
        field->Attributes = 16;
        field->Pattern = TypeArgument(typePart);
        return field;
    }
    if (StartsWith(t, "FILES")) {
        auto field = std::make_unique<TDirField>(context);
        field->Attributes = 63;
        field->Pattern = TypeArgument(typePart);
        return field;
    }
    if (StartsWith(t, "["))
        return MakeListField(t);
    return std::make_unique<TField>();
}

// Splits "name|type|default|description" into four trimmed parts; text after
// a fourth "|" is dropped.
std::array<std::string, 4> SplitDefinition(const std::string& text)
{
    std::array<std::string, 4> parts;
    size_t start = 0;
    for (size_t i = 0; i < 4 && start <= text.size(); ++i) {
        const size_t bar = text.find('|', start);
        if (bar == std::string::npos) {
            parts[i] = Trim(text.substr(start));
            break;
        }
        parts[i] = Trim(text.substr(start, bar - start));
        start = bar + 1;
    }
    return parts;
}

} // namespace

// ---------------------------------------------------------------------------
// TChoiceList

bool TChoiceList::Add(const std::string& s)
{
    auto it = std::lower_bound(items_.begin(), items_.end(), s,
                               [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; });
    if (it != items_.end() && CompareNames(*it, s) == 0)
        return false;
    items_.insert(it, s);
    return true;
}

bool TChoiceList::Contains(const std::string& s) const
{
    auto it = std::lower_bound(items_.begin(), items_.end(), s,
                               [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; });
    return it != items_.end() && CompareNames(*it, s) == 0;
}

// ---------------------------------------------------------------------------
// Value types

bool TField::IsValid(const std::string&) const { return true; }

bool TIntField::IsValid(const std::string& value) const
{
    return value.empty() || StrToInt32(value).has_value();
}

std::string TListField::ValueKey(const std::string& value)
{
    std::string key = value.substr(0, value.find(','));
    return key.substr(0, key.find('|'));
}

bool TListField::IsValid(const std::string& value) const
{
    return value.empty() || Choices.Contains(ValueKey(value));
}

TBoolField::TBoolField()
{
    Choices.Add("T");
    Choices.Add("F");
}

std::string TPictureField::ResolvedFolder(const TParList& params) const
{
    std::string result;
    const size_t dollar = Folder.find('$');
    if (dollar == std::string::npos) {
        result = Folder;
    } else {
        std::string name = Folder.substr(dollar + 1);
        if (!name.empty() && name.back() == '/')
            name.pop_back();
        const std::string value = params.GetValue(name);
        auto appendPart = [&result](const std::string& part) {
            result += part;
            if (!part.empty() && part.back() != '/')
                result += '/';
        };
        appendPart(Folder.substr(0, dollar));
        appendPart(value);
    }
    const char sep = static_cast<char>(fs::path::preferred_separator);
    std::replace(result.begin(), result.end(), '/', sep);
    return result;
}

std::string TPictureField::RelativePicturePath(const fs::path& fullFolder, const fs::path& file)
{
    std::error_code ec;
    fs::path folder = fs::absolute(fullFolder, ec);
    if (ec)
        folder = fullFolder;
    folder = folder.lexically_normal();
    if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path())
        folder = folder.parent_path();
    fs::path target = fs::absolute(file, ec);
    if (ec)
        target = file;
    target = target.lexically_normal();

    fs::path rel = target.lexically_relative(folder);
    std::string result = rel.empty() ? file.generic_string() : rel.generic_string();
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

const std::vector<std::string>* TDirField::GetValues()
{
    Choices.Clear();
    if (context_) {
        ListBelow(context_->DataFolder);
        ListBelow(context_->ProjectFolder);
    }
    return &Choices.Items();
}

void TDirField::ListBelow(const fs::path& folder)
{
    if (folder.empty())
        return;
    // Folder and pattern are joined as text: a pattern that starts with "/"
    // (a WAVS type without argument) still lies below the folder.
    const char sep = static_cast<char>(fs::path::preferred_separator);
    std::string text = folder.string();
    if (!text.empty() && text.back() != sep && text.back() != '/')
        text += sep;
    size_t skip = 0;
    while (skip < Pattern.size() && (Pattern[skip] == '/' || Pattern[skip] == sep))
        ++skip;
    text += Pattern.substr(skip);
    std::replace(text.begin(), text.end(), '/', sep);
    if (text.find('*') == std::string::npos) {
        if (text.back() != sep)
            text += sep;
        text += "*.*";
    }
    const size_t cut = text.rfind(sep);
    const std::string folderPart = text.substr(0, cut);
    const std::string mask = text.substr(cut + 1);
    ListFolder(Choices, fs::path(folderPart.empty() ? std::string(1, sep) : folderPart), mask, Attributes, {});
}

const std::vector<std::string>* TListedField::GetValues()
{
    Choices.Clear();
    Choices.Add("");
    if (context_ && LibraryKind >= 0 && LibraryKind < static_cast<int>(context_->LibraryTable.size())) {
        if (const TLoadSaveList* library = context_->LibraryTable[static_cast<size_t>(LibraryKind)]) {
            for (int i = 0; i < library->Count(); ++i)
                Choices.Add(library->Item(i)->Name);
        }
    }
    return &Choices.Items();
}

// ---------------------------------------------------------------------------
// TDefValue

namespace {

TFieldList::const_iterator LowerBound(const TFieldList& list, const std::string& name)
{
    return std::lower_bound(list.begin(), list.end(), name,
                            [](const TFieldList::value_type& entry, const std::string& key) {
                                return CompareNames(entry.first, key) < 0;
                            });
}

} // namespace

bool TDefValue::AddField(TFieldList& list, const std::string& name, std::unique_ptr<TField> field)
{
    auto it = LowerBound(list, name);
    if (it != list.end() && CompareNames(it->first, name) == 0)
        return false;
    list.emplace(it, name, std::move(field));
    return true;
}

TField* TDefValue::FindField(const TFieldList& list, const std::string& name)
{
    // AddField keeps the names unique without regard to case, and
    // CompareNames gives 0 exactly for such equal names: the one entry equal
    // to name is found by a plain pass, which for lists of this size costs
    // less than the ordered search with its full comparisons.
    for (const auto& [entryName, field] : list)
        if (entryName.size() == name.size() && SameText(entryName, name))
            return field.get();
    return nullptr;
}

// ---------------------------------------------------------------------------
// TValList

TValList::TValList() = default;

TValList::TValList(const fs::path& path) { LoadFromFile(path); }

void TValList::LoadFromFile(const fs::path& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw KestruneError("File not found");
    std::string bytes;
    {
        std::ifstream in;
        if (!fs::is_directory(path, ec))
            in.open(path, std::ios::binary);
        if (!in.is_open())
            throw KestruneError(FormatMessage("Cannot open file %s", path.string()));
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad())
            throw KestruneError(FormatMessage("Cannot open file %s", path.string()));
    }
    LoadFromText(bytes);
}

void TValList::LoadFromText(const std::string& text)
{
    sections_.clear();
    TDefValue* section = nullptr;
    bool events = false;
    int headings = 0;

    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        const std::string line = TrimRight(std::string_view(text).substr(pos, end - pos));
        pos = end;
        if (pos < text.size()) {
            if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
                pos += 2;
            else
                ++pos;
        }

        if (line.empty() || line[0] == '/' || line[0] == '#')
            continue;
        if (section && line[0] == '.') {
            if (UpperCase(line) == ".EVENTS") {
                events = true;
                headings = 0;
            } else {
                events = false;
            }
        } else if (section && line[0] == ' ') {
            const auto parts = SplitDefinition(line.substr(1, kMaxLineText));
            // A definition without a name would put an unnamed parameter
            // into elements, which no file can store; it is left out.
            if (parts[0].empty())
                continue;
            auto field = MakeField(parts[1], &Context);
            field->Group = headings;
            field->DefaultValue = parts[2];
            field->Description = parts[3];
            TDefValue::AddField(events ? section->EventDefs : section->ParamDefs, parts[0], std::move(field));
        } else if (section && line[0] == '+') {
            section->Headings.push_back(line.substr(1, kMaxLineText));
            ++headings;
        } else {
            sections_.emplace_back(line, std::make_unique<TDefValue>());
            section = sections_.back().second.get();
            events = false;
            headings = 0;
        }
    }
}

TDefValue* TValList::GetDefValue(const std::string& section) const
{
    for (const auto& entry : sections_)
        if (SameText(entry.first, section))
            return entry.second.get();
    return nullptr;
}

TField* TValList::GetField(const std::string& section, const std::string& name) const
{
    const TDefValue* def = GetDefValue(section);
    return def ? TDefValue::FindField(def->ParamDefs, name) : nullptr;
}

void TValList::CreateDefault(const std::string& section, TParList& params) const
{
    const TDefValue* def = GetDefValue(section);
    if (!def)
        return;
    for (const auto& [name, field] : def->ParamDefs)
        if (!field->DefaultValue.empty())
            params.SetValue(name, field->DefaultValue);
}

void TValList::ExpandDS(TPropertyTable& table, const std::string& section, int kind) const
{
    const TDefValue* def = GetDefValue(section);
    if (!def)
        return;
    const TFieldList& defs = kind == 0 ? def->ParamDefs : def->EventDefs;
    std::vector<std::pair<std::string, const TField*>> open;
    open.reserve(defs.size());
    for (const auto& [name, field] : defs)
        open.emplace_back(name, field.get());

    table.First();
    while (!table.Eof()) {
        const std::string name = table.Name();
        int grp = 0;
        auto it = std::find_if(open.begin(), open.end(),
                               [&name](const auto& entry) { return SameText(entry.first, name); });
        if (it != open.end()) {
            grp = it->second->Group;
            open.erase(it);
        }
        table.SetGrp(grp);
        if (!table.Post())
            table.Cancel();
        table.Next();
    }

    for (const auto& [name, field] : open)
        table.AppendRow(name, "", field->Group);
    if (kind == 0)
        for (size_t i = 0; i < def->Headings.size(); ++i)
            table.AppendRow("+" + def->Headings[i], "", static_cast<int>(i + 1));
    table.First();
}

} // namespace kestrune
