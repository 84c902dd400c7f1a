#pragma once
// The library base: named elements that read and write themselves on a
// record stream, and ordered owning lists of them stored as one file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrune {

class TQVFileStream;
class TLoadSaveList;

class TBasicItem {
public:
    virtual ~TBasicItem() = default;
};

class TLoadSaveItem : public TBasicItem {
public:
    std::string Name;

    // Reads one element; false when the list end marker was read instead.
    virtual bool LoadFromStream(TQVFileStream& stream) = 0;
    virtual void SaveToStream(TQVFileStream& stream) = 0;
};

// The "Select replace" question for a name that a map refers to but a library
// does not hold. The "Remove all missing" state lives here and covers every
// library for the whole run; the real window derives from this class, tests
// derive scripted choosers.
class TReplacementChooser {
public:
    virtual ~TReplacementChooser() = default;

    bool RemoveAllMissing = false;

    // One question: -1 at once when "Remove all missing" is ticked, otherwise
    // the position of the chosen element, or -1 for "None" or no choice.
    int Ask(const std::string& kindLabel, const std::string& name, const TLoadSaveList& library);

    static std::string Message(const std::string& kindLabel, const std::string& name);

protected:
    // Shows the window modally with the message and the element names (in
    // library order); returns the chosen entry's position when closed with
    // "Use this" and an entry selected, nothing otherwise. May change
    // RemoveAllMissing (the check box).
    virtual std::optional<int> ShowModal(const std::string& message,
                                         const std::vector<std::string>& names) = 0;
};

class TLoadSaveList {
public:
    TLoadSaveList();
    virtual ~TLoadSaveList();
    TLoadSaveList(const TLoadSaveList&) = delete;
    TLoadSaveList& operator=(const TLoadSaveList&) = delete;

    virtual std::unique_ptr<TLoadSaveItem> CreateItem() = 0;
    virtual void LoadFromStream(TQVFileStream& stream);
    virtual void SaveToStream(TQVFileStream& stream);

    // Appends the elements of an existing file; a missing file loads nothing.
    void LoadFromFile(const std::filesystem::path& path, bool counted);
    // Replaces the file, written whole or not at all.
    void SaveToFile(const std::filesystem::path& path, bool counted);

    int IndexOfName(std::string_view name) const;
    // IndexOfName of each name, faster for many names at once.
    std::vector<int> IndexOfNames(const std::vector<std::string>& names) const;
    TLoadSaveItem* FindByName(std::string_view name) const;
    // Starts bringing the element of that name into the processor's cache,
    // for a lookup of it a little later; does nothing until the list has
    // built its name index.
    void PrefetchName(std::string_view name) const;
    void SortByName();

    // The owned elements.
    int Count() const { return static_cast<int>(inOrder_ ? inOrder_ : items_.size()); }
    TLoadSaveItem* Item(int index) const
    {
        if (inOrder_)
            return static_cast<uint32_t>(index) < inOrder_ ? InOrderAt(static_cast<size_t>(index))
                                                           : OutOfRange();
        return items_.at(static_cast<size_t>(index));
    }
    TLoadSaveItem* Add(std::unique_ptr<TLoadSaveItem> item);
    TLoadSaveItem* Insert(int index, std::unique_ptr<TLoadSaveItem> item);
    void Delete(int index);
    std::unique_ptr<TLoadSaveItem> Extract(int index);
    void Move(int from, int to);
    void Clear();
    int IndexOf(const TLoadSaveItem* item) const;
    std::vector<std::string> Names() const;

    // Must be called after an element's Name was changed in place, so that
    // lookups by name see the new name.
    void NamesChanged();

protected:
    // Appends an element read by LoadFromStream.
    void AddLoaded(std::unique_ptr<TLoadSaveItem> item);

    // Room for count elements in all, ahead of reading a known number of them.
    void Reserve(size_t count);

    // Elements a load reads together can live side by side in one block of
    // memory the list owns, instead of one heap object each. A block's
    // elements are all of one type, built in place by the list's own code.
    struct BlockType {
        size_t Stride; // the size of one element, a multiple of its alignment
        // A heap element taking over the content of an element of a block,
        // for an element that leaves the list.
        std::unique_ptr<TLoadSaveItem> (*MoveOut)(TLoadSaveItem& element);
    };
    // Storage for count elements of the type, followed by extraBytes for
    // the elements' own use, or nullptr when the list already has a block
    // (the caller then makes heap elements). Each element built there must
    // be handed to AddFromBlock, in storage order. The block lives as long
    // as one of its elements.
    void* NewBlock(const BlockType& type, size_t count, size_t extraBytes = 0);
    void AddFromBlock(TLoadSaveItem* element);

private:
    // A block: this header, then Count elements of Type->Stride bytes each.
    struct BlockHeader {
        const BlockType* Type;
        uint32_t Count; // elements the block was made for
        uint32_t Live;  // of those, the ones not yet destroyed
        unsigned char* First() { return reinterpret_cast<unsigned char*>(this) + sizeof(BlockHeader); }
    };
    TLoadSaveItem* InOrderAt(size_t index) const
    {
        return reinterpret_cast<TLoadSaveItem*>(block_->First() + index * block_->Type->Stride);
    }
    [[noreturn]] static TLoadSaveItem* OutOfRange();
    TLoadSaveItem* At(size_t index) const { return inOrder_ ? InOrderAt(index) : items_[index]; }
    // From the block order to a list of its own (before any change of order).
    void Materialize();
    int LinearIndexOfName(std::string_view name) const;
    // The position the index gives a name, not yet compared with the element's.
    int IndexedPosition(std::string_view name) const;
    // Starts bringing the element at a position into the processor's cache.
    void PrefetchElement(size_t position) const;
    void BuildIndex() const;
    // Enters the element at a position unless an earlier one of that name is there.
    void IndexElement(size_t position) const;
    // Ends an element: destroyed in its block, or deleted.
    void Dispose(TLoadSaveItem* element);
    // Takes an element out of the list's ownership into a heap object of its own.
    std::unique_ptr<TLoadSaveItem> Release(TLoadSaveItem* element);
    bool InBlock(const TLoadSaveItem* element) const;

    // Owned: elements in block_ are destroyed in place, the others deleted.
    // While inOrder_ is not 0 the list is just the block's first inOrder_
    // elements in storage order, and items_ is empty: a list as loaded needs
    // no array of its own.
    std::vector<TLoadSaveItem*> items_;
    BlockHeader* block_ = nullptr;
    // Lookup by name without regard to case (first element of that name):
    // built for long lists that are searched repeatedly, dropped whenever the
    // list changes.
    struct NameIndex;
    mutable std::unique_ptr<NameIndex> index_;
    mutable int scansSinceChange_ = 0;
    uint32_t inOrder_ = 0;
};

// A library: a list whose elements maps and placements refer to by name,
// with the answers given for names it does not hold.
class TLibraryList : public TLoadSaveList {
public:
    // Answers given for missing names (no regard to case); -1 means none.
    std::vector<std::pair<std::string, int>> Replacements;
    // Who is asked for a missing name; without one a missing name resolves to -1.
    TReplacementChooser* Chooser = nullptr;

    // The position of the element of that name, or of the one chosen for it.
    int ResolveName(const std::string& kindLabel, const std::string& name);
};

} // namespace kestrune
