#include "loadsave.h"

#include "qvstream.h"
#include "text.h"

#include <algorithm>

namespace kestrune {

// -------------------------------------------------------- TReplacementChooser

std::string TReplacementChooser::Message(const std::string& kindLabel, const std::string& name)
{
    return kindLabel + " with name " + name + " doesn't exists!";
}

int TReplacementChooser::Ask(const std::string& kindLabel, const std::string& name, const TLoadSaveList& library)
{
    if (RemoveAllMissing)
        return -1;
    const std::vector<std::string> names = library.Names();
    const std::optional<int> chosen = ShowModal(Message(kindLabel, name), names);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(names.size()))
        return -1;
    return *chosen;
}

// -------------------------------------------------------------- TLoadSaveList

void TLoadSaveList::LoadFromStream(TQVFileStream& stream)
{
    while (!stream.AtEnd()) {
        std::unique_ptr<TLoadSaveItem> element = CreateItem();
        if (!element->LoadFromStream(stream))
            break;
        if (!element->Name.empty())
            AddLoaded(std::move(element));
    }
}

void TLoadSaveList::AddLoaded(std::unique_ptr<TLoadSaveItem> item)
{
    NamesChanged();
    items_.push_back(std::move(item));
}

void TLoadSaveList::SaveToStream(TQVFileStream& stream)
{
    for (const auto& element : items_)
        element->SaveToStream(stream);
    stream.WriteToken(IsCounted(stream) ? "" : "\r\n");
}

void TLoadSaveList::LoadFromFile(const std::filesystem::path& path, bool counted)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return;
    if (counted) {
        TQVFileStreamBinary stream(path, TFileStream::Mode::Read);
        LoadFromStream(stream);
    } else {
        TQVFileStream stream(path, TFileStream::Mode::Read);
        LoadFromStream(stream);
    }
}

void TLoadSaveList::SaveToFile(const std::filesystem::path& path, bool counted)
{
    if (counted) {
        TQVFileStreamBinary stream(path, TFileStream::Mode::Write);
        SaveToStream(stream);
        stream.Close();
    } else {
        TQVFileStream stream(path, TFileStream::Mode::Write);
        SaveToStream(stream);
        stream.Close();
    }
}

int TLoadSaveList::LinearIndexOfName(const std::string& name) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameText(items_[i]->Name, name))
            return static_cast<int>(i);
    return -1;
}

namespace {
// UpperChar of every byte, for the name index's tight loops.
struct UpperTable {
    unsigned char map[256];
    UpperTable()
    {
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<unsigned char>(UpperChar(static_cast<char>(i)));
    }
};
const unsigned char* Upper()
{
    static const UpperTable table;
    return table.map;
}

// FNV-1a over the upper-case bytes: names equal without regard to case hash alike.
uint64_t NameHash(const std::string& s)
{
    const unsigned char* upper = Upper();
    uint64_t h = 14695981039346656037ull;
    for (const char c : s) {
        h ^= upper[static_cast<unsigned char>(c)];
        h *= 1099511628211ull;
    }
    return h;
}

// The slot a hash starts its probe at, and the tag kept to tell names apart.
size_t HomeSlot(uint64_t hash, size_t mask) { return static_cast<size_t>(hash) & mask; }
uint32_t HashTag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    const unsigned char* upper = Upper();
    for (size_t i = 0; i < a.size(); ++i)
        if (upper[static_cast<unsigned char>(a[i])] != upper[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}
} // namespace

void TLoadSaveList::BuildIndex() const
{
    size_t slots = 64;
    while (slots < items_.size() * 2)
        slots *= 2;
    index_.assign(slots, IndexSlot{});
    indexed_ = 0;
    for (size_t i = 0; i < items_.size(); ++i)
        IndexElement(i);
    indexValid_ = true;
}

void TLoadSaveList::IndexElement(size_t position) const
{
    if ((indexed_ + 1) * 2 > index_.size()) {
        BuildIndex(); // grown; it takes in the new element as well
        return;
    }
    const std::string& name = items_[position]->Name;
    const uint64_t hash = NameHash(name);
    const uint32_t tag = HashTag(hash);
    const size_t mask = index_.size() - 1;
    for (size_t s = HomeSlot(hash, mask);; s = (s + 1) & mask) {
        IndexSlot& slot = index_[s];
        if (slot.position < 0) {
            slot.hashTag = tag;
            slot.position = static_cast<int32_t>(position);
            ++indexed_;
            return;
        }
        if (slot.hashTag == tag && SameName(items_[static_cast<size_t>(slot.position)]->Name, name))
            return; // an earlier element of that name keeps its place
    }
}

int TLoadSaveList::IndexOfName(const std::string& name) const
{
    // Short lists, and lists searched only a few times between changes (a
    // parameter list whose two size entries are set after loading), are
    // searched one by one; the index pays off for repeated lookups.
    constexpr size_t IndexFrom = 24;
    constexpr int ScansBeforeIndex = 4;
    if (!indexValid_ && (items_.size() < IndexFrom || scansSinceChange_ < ScansBeforeIndex)) {
        ++scansSinceChange_;
        return LinearIndexOfName(name);
    }
    if (!indexValid_)
        BuildIndex();
    const uint64_t hash = NameHash(name);
    const uint32_t tag = HashTag(hash);
    const size_t mask = index_.size() - 1;
    for (size_t s = HomeSlot(hash, mask);; s = (s + 1) & mask) {
        const IndexSlot& slot = index_[s];
        if (slot.position < 0)
            return -1; // names change only through NamesChanged(), so a miss is final
        if (slot.hashTag != tag)
            continue;
        if (SameName(items_[static_cast<size_t>(slot.position)]->Name, name))
            return slot.position;
        // Either another name of the same tag or an element renamed without
        // telling the list: look again one by one, and index afresh later.
        indexValid_ = false;
        scansSinceChange_ = 0;
        return LinearIndexOfName(name);
    }
}

TLoadSaveItem* TLoadSaveList::FindByName(const std::string& name) const
{
    const int i = IndexOfName(name);
    return i < 0 ? nullptr : items_[static_cast<size_t>(i)].get();
}

int TLoadSaveList::ResolveName(const std::string& kindLabel, const std::string& name)
{
    const int found = IndexOfName(name);
    if (found >= 0)
        return found;
    for (const auto& [missing, answer] : Replacements)
        if (SameText(missing, name))
            return answer;
    const int answer = Chooser ? Chooser->Ask(kindLabel, name, *this) : -1;
    Replacements.emplace_back(name, answer);
    return answer;
}

void TLoadSaveList::SortByName()
{
    NamesChanged();
    std::stable_sort(items_.begin(), items_.end(),
                     [](const auto& a, const auto& b) { return a->Name < b->Name; });
}

TLoadSaveItem* TLoadSaveList::Add(std::unique_ptr<TLoadSaveItem> item)
{
    items_.push_back(std::move(item));
    if (indexValid_) // an appended name only counts where no earlier one is equal
        IndexElement(items_.size() - 1);
    return items_.back().get();
}

TLoadSaveItem* TLoadSaveList::Insert(int index, std::unique_ptr<TLoadSaveItem> item)
{
    NamesChanged();
    const size_t at = std::min(static_cast<size_t>(std::max(index, 0)), items_.size());
    return items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item))->get();
}

void TLoadSaveList::Delete(int index)
{
    NamesChanged();
    items_.erase(items_.begin() + index);
}

std::unique_ptr<TLoadSaveItem> TLoadSaveList::Extract(int index)
{
    NamesChanged();
    std::unique_ptr<TLoadSaveItem> item = std::move(items_.at(static_cast<size_t>(index)));
    items_.erase(items_.begin() + index);
    return item;
}

void TLoadSaveList::Move(int from, int to)
{
    if (from == to)
        return;
    std::unique_ptr<TLoadSaveItem> item = Extract(from);
    Insert(to, std::move(item));
}

void TLoadSaveList::Clear()
{
    NamesChanged();
    items_.clear();
}

int TLoadSaveList::IndexOf(const TLoadSaveItem* item) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item)
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> TLoadSaveList::Names() const
{
    std::vector<std::string> names;
    names.reserve(items_.size());
    for (const auto& item : items_)
        names.push_back(item->Name);
    return names;
}

} // namespace kestrune
