#include "loadsave.h"

#include "qvstream.h"
#include "text.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

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

namespace {
// An open-addressed table of positions, each with the high bits of its
// name's hash, so a probe touches no element but the one it finds; its size
// is a power of two, at most half full. The names are kept upper-cased side
// by side in one string, so that telling two names of one tag apart reads
// no element either.
struct IndexSlot {
    uint32_t hashTag = 0;
    int32_t position = -1; // -1: an empty slot
    uint32_t nameAt = 0;   // in Names
    uint32_t nameLength = 0;
};
} // namespace

struct TLoadSaveList::NameIndex {
    std::vector<IndexSlot> Slots;
    size_t Used = 0;
    std::string Names;
};

TLoadSaveList::TLoadSaveList() = default;

TLoadSaveList::~TLoadSaveList() { Clear(); }

void TLoadSaveList::NamesChanged()
{
    index_.reset();
    scansSinceChange_ = 0;
}

TLoadSaveItem* TLoadSaveList::OutOfRange() { throw std::out_of_range("TLoadSaveList::Item"); }

void TLoadSaveList::Materialize()
{
    if (!inOrder_)
        return;
    std::vector<TLoadSaveItem*> all;
    all.reserve(static_cast<size_t>(inOrder_) + 1); // the only step that can fail: nothing changed yet
    for (size_t i = 0; i < inOrder_; ++i)
        all.push_back(InOrderAt(i));
    items_.swap(all);
    inOrder_ = 0;
}

void TLoadSaveList::Reserve(size_t count)
{
    Materialize();
    items_.reserve(count);
}

bool TLoadSaveList::InBlock(const TLoadSaveItem* element) const
{
    if (!block_)
        return false;
    const auto* at = reinterpret_cast<const unsigned char*>(element);
    const unsigned char* first = block_->First();
    return at >= first && at < first + block_->Count * block_->Type->Stride;
}

void TLoadSaveList::Dispose(TLoadSaveItem* element)
{
    if (!InBlock(element)) {
        delete element;
        return;
    }
    element->~TLoadSaveItem();
    if (--block_->Live == 0) {
        ::operator delete(block_);
        block_ = nullptr;
    }
}

std::unique_ptr<TLoadSaveItem> TLoadSaveList::Release(TLoadSaveItem* element)
{
    if (!InBlock(element))
        return std::unique_ptr<TLoadSaveItem>(element);
    std::unique_ptr<TLoadSaveItem> moved = block_->Type->MoveOut(*element);
    Dispose(element);
    return moved;
}

void* TLoadSaveList::NewBlock(const BlockType& type, size_t count, size_t extraBytes)
{
    if (block_ || count == 0 || count > UINT32_MAX)
        return nullptr;
    Materialize();
    if (!items_.empty())
        items_.reserve(items_.size() + count); // AddFromBlock cannot fail half-way
    static_assert(sizeof(BlockHeader) == 16, "elements after the header keep the alignment of new");
    void* memory = ::operator new(sizeof(BlockHeader) + count * type.Stride + extraBytes);
    block_ = new (memory) BlockHeader{&type, static_cast<uint32_t>(count), 0};
    NamesChanged();
    return block_->First();
}

void TLoadSaveList::AddFromBlock(TLoadSaveItem* element)
{
    ++block_->Live;
    // Elements made in storage order into an empty list need no array.
    if (items_.empty() && reinterpret_cast<unsigned char*>(element) == block_->First() + inOrder_ * block_->Type->Stride) {
        ++inOrder_;
        return;
    }
    Materialize();
    items_.push_back(element);
}

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
    Materialize();
    items_.push_back(nullptr);
    items_.back() = item.release();
}

void TLoadSaveList::SaveToStream(TQVFileStream& stream)
{
    for (size_t i = 0, n = static_cast<size_t>(Count()); i < n; ++i)
        At(i)->SaveToStream(stream);
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

int TLoadSaveList::LinearIndexOfName(std::string_view name) const
{
    for (size_t i = 0, n = static_cast<size_t>(Count()); i < n; ++i)
        if (SameText(At(i)->Name, name))
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

// A hash of the upper-case bytes, so that names equal without regard to case
// hash alike: eight bytes are mixed in at a time.
uint64_t NameHash(std::string_view s)
{
    const unsigned char* upper = Upper();
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    size_t left = s.size();
    while (left > 0) {
        const size_t n = left < 8 ? left : 8;
        uint64_t word = 0;
        for (size_t i = 0; i < n; ++i)
            word |= static_cast<uint64_t>(upper[p[i]]) << (8 * i);
        h = (h ^ word) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
        p += n;
        left -= n;
    }
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

// The slot a hash starts its probe at, and the tag kept to tell names apart.
size_t HomeSlot(uint64_t hash, size_t mask) { return static_cast<size_t>(hash) & mask; }
uint32_t HashTag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

// A name against an upper-cased one.
bool SameAsUpper(std::string_view name, const char* upperName, size_t length)
{
    if (name.size() != length)
        return false;
    const unsigned char* upper = Upper();
    for (size_t i = 0; i < length; ++i)
        if (upper[static_cast<unsigned char>(name[i])] != static_cast<unsigned char>(upperName[i]))
            return false;
    return true;
}
} // namespace

void TLoadSaveList::BuildIndex() const
{
    size_t slots = 64;
    const size_t count = static_cast<size_t>(Count());
    while (slots < count * 2)
        slots *= 2;
    if (!index_)
        index_ = std::make_unique<NameIndex>();
    index_->Slots.assign(slots, IndexSlot{});
    index_->Used = 0;
    index_->Names.clear();
    for (size_t i = 0; i < count && index_; ++i)
        IndexElement(i);
}

void TLoadSaveList::IndexElement(size_t position) const
{
    NameIndex& index = *index_;
    if ((index.Used + 1) * 2 > index.Slots.size()) {
        BuildIndex(); // grown; it takes in the new element as well
        return;
    }
    const std::string& name = At(position)->Name;
    const uint64_t hash = NameHash(name);
    const uint32_t tag = HashTag(hash);
    const size_t mask = index.Slots.size() - 1;
    for (size_t s = HomeSlot(hash, mask);; s = (s + 1) & mask) {
        IndexSlot& slot = index.Slots[s];
        if (slot.position < 0) {
            if (index.Names.size() + name.size() > UINT32_MAX) {
                index_.reset(); // past what the slots can point into: searched one by one
                return;
            }
            slot.hashTag = tag;
            slot.position = static_cast<int32_t>(position);
            slot.nameAt = static_cast<uint32_t>(index.Names.size());
            slot.nameLength = static_cast<uint32_t>(name.size());
            const unsigned char* upper = Upper();
            for (const char c : name)
                index.Names += static_cast<char>(upper[static_cast<unsigned char>(c)]);
            ++index.Used;
            return;
        }
        if (slot.hashTag == tag && SameAsUpper(name, index.Names.data() + slot.nameAt, slot.nameLength))
            return; // an earlier element of that name keeps its place
    }
}

namespace {
// Short lists, and lists searched only a few times between changes (a
// parameter list whose two size entries are set after loading), are searched
// one by one; the index pays off for repeated lookups.
constexpr size_t IndexFrom = 24;
constexpr int ScansBeforeIndex = 4;
} // namespace

int TLoadSaveList::IndexedPosition(std::string_view name) const
{
    const NameIndex& index = *index_;
    const uint64_t hash = NameHash(name);
    const uint32_t tag = HashTag(hash);
    const size_t mask = index.Slots.size() - 1;
    for (size_t s = HomeSlot(hash, mask);; s = (s + 1) & mask) {
        const IndexSlot& slot = index.Slots[s];
        if (slot.position < 0)
            return -1;
        if (slot.hashTag == tag && SameAsUpper(name, index.Names.data() + slot.nameAt, slot.nameLength))
            return slot.position;
    }
}

int TLoadSaveList::IndexOfName(std::string_view name) const
{
    if (!index_ && (static_cast<size_t>(Count()) < IndexFrom || scansSinceChange_ < ScansBeforeIndex)) {
        ++scansSinceChange_;
        return LinearIndexOfName(name);
    }
    if (!index_) {
        BuildIndex();
        if (!index_)
            return LinearIndexOfName(name);
    }
    const int position = IndexedPosition(name);
    // Names change only through NamesChanged(), so a miss is final.
    if (position < 0 || SameText(At(static_cast<size_t>(position))->Name, name))
        return position;
    // The element was renamed without telling the list: look again one by
    // one, and index afresh later.
    index_.reset();
    scansSinceChange_ = 0;
    return LinearIndexOfName(name);
}

std::vector<int> TLoadSaveList::IndexOfNames(const std::vector<std::string>& names) const
{
    std::vector<int> found(names.size(), -1);
    if (!index_ && static_cast<size_t>(Count()) >= IndexFrom && names.size() >= ScansBeforeIndex)
        BuildIndex();
    if (!index_) {
        for (size_t i = 0; i < names.size(); ++i)
            found[i] = IndexOfName(names[i]);
        return found;
    }
    // Each name's candidate comes from the index first. The elements, and
    // then their names' texts, lie all over memory: each is fetched for all
    // names together before the names are compared, instead of two waits
    // for memory per name.
    for (size_t i = 0; i < names.size(); ++i) {
        found[i] = IndexedPosition(names[i]);
        if (found[i] >= 0)
            PrefetchElement(static_cast<size_t>(found[i]));
    }
    for (size_t i = 0; i < names.size(); ++i)
        if (found[i] >= 0)
            __builtin_prefetch(At(static_cast<size_t>(found[i]))->Name.data());
    for (size_t i = 0; i < names.size(); ++i)
        if (found[i] >= 0 && !SameText(At(static_cast<size_t>(found[i]))->Name, names[i]))
            found[i] = IndexOfName(names[i]); // renamed without telling the list
    return found;
}

void TLoadSaveList::PrefetchName(std::string_view name) const
{
    if (!index_)
        return;
    const int position = IndexedPosition(name);
    if (position >= 0)
        PrefetchElement(static_cast<size_t>(position));
}

void TLoadSaveList::PrefetchElement(size_t position) const
{
    // The start of the element, where its name lies, over two cache lines.
    const auto* element = reinterpret_cast<const char*>(At(position));
    __builtin_prefetch(element);
    __builtin_prefetch(element + 32);
}

TLoadSaveItem* TLoadSaveList::FindByName(std::string_view name) const
{
    const int i = IndexOfName(name);
    return i < 0 ? nullptr : At(static_cast<size_t>(i));
}

int TLibraryList::ResolveName(const std::string& kindLabel, const std::string& name)
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
    Materialize();
    std::stable_sort(items_.begin(), items_.end(),
                     [](const TLoadSaveItem* a, const TLoadSaveItem* b) { return a->Name < b->Name; });
}

TLoadSaveItem* TLoadSaveList::Add(std::unique_ptr<TLoadSaveItem> item)
{
    Materialize();
    items_.push_back(nullptr);
    items_.back() = item.release();
    if (index_) // an appended name only counts where no earlier one is equal
        IndexElement(items_.size() - 1);
    return items_.back();
}

TLoadSaveItem* TLoadSaveList::Insert(int index, std::unique_ptr<TLoadSaveItem> item)
{
    NamesChanged();
    Materialize();
    const size_t at = std::min(static_cast<size_t>(std::max(index, 0)), items_.size());
    TLoadSaveItem* const raw = item.get();
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), raw);
    item.release();
    return raw;
}

void TLoadSaveList::Delete(int index)
{
    NamesChanged();
    Materialize();
    TLoadSaveItem* const element = items_.at(static_cast<size_t>(index));
    items_.erase(items_.begin() + index);
    Dispose(element);
}

std::unique_ptr<TLoadSaveItem> TLoadSaveList::Extract(int index)
{
    NamesChanged();
    Materialize();
    TLoadSaveItem* const element = items_.at(static_cast<size_t>(index));
    std::unique_ptr<TLoadSaveItem> out = Release(element);
    items_.erase(items_.begin() + index);
    return out;
}

void TLoadSaveList::Move(int from, int to)
{
    if (from == to)
        return;
    NamesChanged();
    Materialize();
    TLoadSaveItem* const element = items_.at(static_cast<size_t>(from));
    items_.erase(items_.begin() + from);
    const size_t at = std::min(static_cast<size_t>(std::max(to, 0)), items_.size());
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), element);
}

void TLoadSaveList::Clear()
{
    NamesChanged();
    // No allocation here: the destructor clears too.
    const size_t inOrder = inOrder_;
    inOrder_ = 0;
    if (inOrder) {
        unsigned char* const first = block_->First();
        const size_t stride = block_->Type->Stride;
        for (size_t i = 0; i < inOrder; ++i) // the last one frees the block
            Dispose(reinterpret_cast<TLoadSaveItem*>(first + i * stride));
    }
    std::vector<TLoadSaveItem*> gone;
    gone.swap(items_);
    for (TLoadSaveItem* element : gone)
        Dispose(element);
}

int TLoadSaveList::IndexOf(const TLoadSaveItem* item) const
{
    for (size_t i = 0, n = static_cast<size_t>(Count()); i < n; ++i)
        if (At(i) == item)
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> TLoadSaveList::Names() const
{
    std::vector<std::string> names;
    const size_t n = static_cast<size_t>(Count());
    names.reserve(n);
    for (size_t i = 0; i < n; ++i)
        names.push_back(At(i)->Name);
    return names;
}

} // namespace kestrune
