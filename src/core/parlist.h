#pragma once
// Parameter lists: ordered name/value pairs saved inside libraries and maps
// and as files of their own, and the copies between a list and the property
// table.

#include "loadsave.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace kestrune {

class TPropertyTable;
class TValList;

// The value of a parameter entry: a text of 16 bytes that holds short texts
// in itself, longer ones on the heap, or, for entries a load made side by
// side, a view of text kept in their list's block. Copies and moves always
// own their text, so only the block's own entries ever view it.
class TParText {
public:
    TParText() noexcept { Clear(); }
    explicit TParText(std::string_view s) { Assign(s); }
    TParText(const TParText& other) { Assign(other.View()); }
    TParText(TParText&& other);
    ~TParText() { Free(); }
    TParText& operator=(const TParText& other);
    TParText& operator=(TParText&& other);
    TParText& operator=(std::string_view s);
    TParText& operator=(const std::string& s) { return *this = std::string_view(s); }
    TParText& operator=(const char* s) { return *this = std::string_view(s); }

    // Makes this a view of text that outlives it and is never changed (a
    // short text is still copied in).
    void SetViewOf(std::string_view s);
    // Texts up to this length are held in the value itself.
    static constexpr size_t Inline = 15;

    const char* data() const noexcept { return Kind() < Heap ? bytes_ : LongData(); }
    size_t size() const noexcept { return Kind() < Heap ? Kind() : LongSize(); }
    bool empty() const noexcept { return size() == 0; }
    std::string_view View() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return View(); }
    operator std::string() const { return std::string(View()); }
    std::string str() const { return std::string(View()); }

    friend bool operator==(const TParText& a, std::string_view b) noexcept { return a.View() == b; }
    friend bool operator!=(const TParText& a, std::string_view b) noexcept { return a.View() != b; }
    friend bool operator==(std::string_view a, const TParText& b) noexcept { return a == b.View(); }
    friend bool operator!=(std::string_view a, const TParText& b) noexcept { return a != b.View(); }
    friend bool operator==(const TParText& a, const TParText& b) noexcept { return a.View() == b.View(); }
    friend bool operator!=(const TParText& a, const TParText& b) noexcept { return a.View() != b.View(); }
    friend std::ostream& operator<<(std::ostream& out, const TParText& t) { return out << t.View(); }

private:
    // The last byte tells the kind: 0 to Inline is the length of a text held
    // in the first bytes; Heap and Viewed keep a pointer and a 32-bit length.
    static constexpr unsigned char Heap = 0x80, Viewed = 0x81;
    unsigned char Kind() const noexcept { return static_cast<unsigned char>(bytes_[15]); }
    const char* LongData() const noexcept;
    size_t LongSize() const noexcept;
    void SetLong(const char* data, size_t size, unsigned char kind) noexcept;
    void Assign(std::string_view s);
    void Clear() noexcept { bytes_[0] = 0; bytes_[15] = 0; }
    void Free() noexcept;

    alignas(8) char bytes_[16];
};

class TPar : public TLoadSaveItem {
public:
    TPar() = default;
    TPar(std::string name, std::string_view value);
    TPar(std::string name, TParText value) : Value(std::move(value)) { Name = std::move(name); }

    TParText Value;

    bool LoadFromStream(TQVFileStream& stream) override;
    void SaveToStream(TQVFileStream& stream) override;
};

class TParList : public TLoadSaveList {
public:
    explicit TParList(std::string name);
    // Loads the text-form file when it exists.
    TParList(std::string name, const std::filesystem::path& path);
    // Reads entries up to the end marker.
    TParList(std::string name, TQVFileStream& stream);

    // The list's name, also the definition section used for it.
    std::string Name;

    std::unique_ptr<TLoadSaveItem> CreateItem() override;
    void LoadFromStream(TQVFileStream& stream) override;
    void SaveToStream(TQVFileStream& stream) override;

    TPar* Par(int index) const { return static_cast<TPar*>(Item(index)); }

    // Exact-case lookup; the last entry of that name wins; "" when none.
    std::string GetValue(const std::string& name) const;
    // The first entry equal without regard to case gets the value, else a new entry.
    TPar* SetValue(const std::string& name, std::string_view value);
    // First entry equal without regard to case, or -1.
    using TLoadSaveList::IndexOfName;

    // ---- the eight operations descendants override, in order ----
    virtual int Kind() const { return 0; }
    virtual void AddEntry(const std::string& name, const std::string& value, const std::string& filter);
    virtual void FillTable(TPropertyTable& table);
    virtual void ReadTable(TPropertyTable& table);
    virtual bool Accepts(const std::string& name, const std::string& filter) const;
    // Completes the copy from the definitions (none: a plain copy).
    virtual void ExpandToTable(TPropertyTable& table, const std::string& filter, const TValList* definitions);
    virtual void StoreFromTable(TPropertyTable& table, const std::string& filter);
    virtual std::string DisplayName(const std::string& name, const std::string& filter) const;

    // The definition section ExpandToTable completes from, for a filter.
    std::string SectionFor(const std::string& filter) const;

private:
    // Entries read by one load are made side by side in one block.
    static const BlockType ParBlock;
};

class TEventList : public TParList {
public:
    using TParList::TParList;
    int Kind() const override { return 1; }
};

} // namespace kestrune
