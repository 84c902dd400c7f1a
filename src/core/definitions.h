#pragma once
// The definition file "qv5game.def": for every kind of element and list, the
// parameters and events it may carry, with their value types, defaults,
// groups and descriptions.

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

class TLoadSaveList;
class TParList;
class TPropertyTable;

// What the value types need to know of the loaded project: the folders
// whose files a folder choice lists, and the eight libraries whose names a
// library choice offers (filled by the project loader).
struct TDefContext {
    std::filesystem::path DataFolder;
    std::filesystem::path ProjectFolder;
    // 0 item definitions, 1 monster definitions, 2 walls, 3 floors,
    // 4 ceilings, 5 NPC definitions, 6 maps, 7 not used.
    std::array<const TLoadSaveList*, 8> LibraryTable{};
};

// A sorted list of strings without regard to case, duplicates dropped.
class TChoiceList {
public:
    void Clear() { items_.clear(); }
    // Adds unless an equal text (no regard to case) is present; false when dropped.
    bool Add(const std::string& s);
    bool Contains(const std::string& s) const; // no regard to case
    const std::vector<std::string>& Items() const { return items_; }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<std::string> items_;
};

enum TEditStyle { esPickList = 0, esEllipsis = 1, esSimple = 2 };

class TField {
public:
    virtual ~TField() = default;

    int Group = 0;
    std::string DefaultValue;
    std::string Description;

    virtual int EditStyle() const { return esEllipsis; }
    virtual bool IsValid(const std::string& value) const;
    // The choices, or nothing.
    virtual const std::vector<std::string>* GetValues() { return nullptr; }
};

class TIntField : public TField {
public:
    int EditStyle() const override { return esSimple; }
    bool IsValid(const std::string& value) const override;
};

class TListField : public TField {
public:
    TChoiceList Choices;

    int EditStyle() const override { return esPickList; }
    bool IsValid(const std::string& value) const override;
    const std::vector<std::string>* GetValues() override { return &Choices.Items(); }

    // The part of a value that is validated: cut before the first "," and
    // then before the first "|".
    static std::string ValueKey(const std::string& value);
};

class TBoolField : public TListField {
public:
    TBoolField();
};

class TPictureField : public TField {
public:
    std::string Folder; // with a trailing "/", may hold a "$" reference

    // The picture folder for an element's parameters, with platform separators.
    std::string ResolvedFolder(const TParList& params) const;
    // What to store for a picked file: its path relative to the folder, "/" separated.
    static std::string RelativePicturePath(const std::filesystem::path& fullFolder,
                                           const std::filesystem::path& file);
};

class TDirField : public TListField {
public:
    explicit TDirField(const TDefContext* context) : context_(context) {}

    std::string Pattern;
    int Attributes = 32; // 32 files of one folder, 16 files and folders, 63 every file

    bool IsValid(const std::string&) const override { return true; }
    const std::vector<std::string>* GetValues() override;

    // Lists Pattern below one folder into the choices (the walk of GetValues).
    void ListBelow(const std::filesystem::path& folder);

private:
    const TDefContext* context_;
};

class TListedField : public TListField {
public:
    TListedField(const TDefContext* context, int kind) : LibraryKind(kind), context_(context) {}

    int LibraryKind;
    const std::vector<std::string>* GetValues() override;

private:
    const TDefContext* context_;
};

using TFieldList = std::vector<std::pair<std::string, std::unique_ptr<TField>>>;

class TDefValue {
public:
    std::vector<std::string> Headings;
    TFieldList ParamDefs; // sorted by name without regard to case
    TFieldList EventDefs;

    // Adds in name order; a name already defined (no regard to case) is ignored.
    static bool AddField(TFieldList& list, const std::string& name, std::unique_ptr<TField> field);
    static TField* FindField(const TFieldList& list, const std::string& name);
};

class TValList {
public:
    TValList();
    // Loads the file; "File not found" when it is missing.
    explicit TValList(const std::filesystem::path& path);
    TValList(const TValList&) = delete;
    TValList& operator=(const TValList&) = delete;

    TDefContext Context;

    void LoadFromFile(const std::filesystem::path& path);
    // Parses definition text (the file's bytes).
    void LoadFromText(const std::string& text);

    TDefValue* GetDefValue(const std::string& section) const;
    TField* GetField(const std::string& section, const std::string& name) const;
    void CreateDefault(const std::string& section, TParList& params) const;
    void ExpandDS(TPropertyTable& table, const std::string& section, int kind) const;

    int Count() const { return static_cast<int>(sections_.size()); }
    const std::string& SectionName(int index) const { return sections_.at(static_cast<size_t>(index)).first; }
    TDefValue* Section(int index) const { return sections_.at(static_cast<size_t>(index)).second.get(); }

private:
    std::vector<std::pair<std::string, std::unique_ptr<TDefValue>>> sections_;
};

} // namespace kestrune
