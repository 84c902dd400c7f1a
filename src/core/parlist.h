#pragma once
// Parameter lists: ordered name/value pairs saved inside libraries and maps
// and as files of their own, and the copies between a list and the property
// table.

#include "loadsave.h"

#include <filesystem>
#include <memory>
#include <string>

namespace kestrune {

class TPropertyTable;
class TValList;

class TPar : public TLoadSaveItem {
public:
    TPar() = default;
    TPar(std::string name, std::string value);

    std::string Value;

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

    TPar* Par(int index) const { return static_cast<TPar*>(Item(index)); }

    // Exact-case lookup; the last entry of that name wins; "" when none.
    std::string GetValue(const std::string& name) const;
    // The first entry equal without regard to case gets the value, else a new entry.
    TPar* SetValue(const std::string& name, const std::string& value);
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
