#pragma once
// The library base: named elements that read and write themselves on a
// record stream, and ordered owning lists of them stored as one file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
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
    TLoadSaveList() = default;
    virtual ~TLoadSaveList() = default;
    TLoadSaveList(const TLoadSaveList&) = delete;
    TLoadSaveList& operator=(const TLoadSaveList&) = delete;

    // Answers given for missing names (no regard to case); -1 means none.
    std::vector<std::pair<std::string, int>> Replacements;
    // Who is asked for a missing name; without one a missing name resolves to -1.
    TReplacementChooser* Chooser = nullptr;

    virtual std::unique_ptr<TLoadSaveItem> CreateItem() = 0;
    virtual void LoadFromStream(TQVFileStream& stream);
    virtual void SaveToStream(TQVFileStream& stream);

    // Appends the elements of an existing file; a missing file loads nothing.
    void LoadFromFile(const std::filesystem::path& path, bool counted);
    // Replaces the file, written whole or not at all.
    void SaveToFile(const std::filesystem::path& path, bool counted);

    int IndexOfName(const std::string& name) const;
    TLoadSaveItem* FindByName(const std::string& name) const;
    int ResolveName(const std::string& kindLabel, const std::string& name);
    void SortByName();

    // The owned elements.
    int Count() const { return static_cast<int>(items_.size()); }
    TLoadSaveItem* Item(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
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
    void NamesChanged()
    {
        indexValid_ = false;
        scansSinceChange_ = 0;
    }

protected:
    // Appends an element read by LoadFromStream.
    void AddLoaded(std::unique_ptr<TLoadSaveItem> item);

    // Room for count elements in all, ahead of reading a known number of them.
    void Reserve(size_t count) { items_.reserve(count); }

private:
    int LinearIndexOfName(const std::string& name) const;
    void BuildIndex() const;
    // Enters the element at a position unless an earlier one of that name is there.
    void IndexElement(size_t position) const;

    std::vector<std::unique_ptr<TLoadSaveItem>> items_;
    // Lookup by name without regard to case (first element of that name):
    // built for long lists that are searched repeatedly, dropped whenever the
    // list changes. An open-addressed table of positions, each with the high
    // bits of its name's hash, so a probe touches no element but the one it
    // finds; its size is a power of two, at most half full.
    struct IndexSlot {
        uint32_t hashTag = 0;
        int32_t position = -1; // -1: an empty slot
    };
    mutable std::vector<IndexSlot> index_;
    mutable size_t indexed_ = 0; // slots in use
    mutable bool indexValid_ = false;
    mutable int scansSinceChange_ = 0;
};

} // namespace kestrune
