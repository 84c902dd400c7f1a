#pragma once
// Game elements: the common element with its colour pattern, picture and
// parameter lists, the seven libraries and their element kinds.

#include "core/loadsave.h"
#include "core/parlist.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Pictures are the drawing side's; the elements only hold them.
class QImage;

namespace kestrune {

class Project;
class TCanvas;
class TListedList;

// The characters that stand for the pattern values 0 to 35 in library files.
extern const char PatternAlphabet[];
// The value of one pattern character; characters outside the alphabet and
// the two letters beyond the colour table (Y and Z) read as 0.
int PatternValue(char c);
// Whether a character is a valid pattern value (0 to 33) as written.
bool IsPatternChar(char c);

// The colour pattern of an element: 11 rows of 11 values. Only walls,
// floors, ceilings and objects have one, so the rows are made on the first
// write through a non-const element; until then every value reads 0.
class TPatternCells {
public:
    static constexpr int Max = 11;
    static constexpr size_t Bytes = static_cast<size_t>(Max) * Max;
    using Row = uint8_t[Max];

    Row& operator[](int row) { return Rows()[row]; }
    const Row& operator[](int row) const { return rows_ ? rows_[row] : Zero()[row]; }
    // All rows, one after the other (Bytes values).
    uint8_t* Data() { return Rows()[0]; }
    const uint8_t* Data() const { return (*this)[0]; }
    Row* begin() { return Rows(); }
    Row* end() { return Rows() + Max; }
    const Row* begin() const { return &(*this)[0]; }
    const Row* end() const { return &(*this)[0] + Max; }

private:
    Row* Rows();
    static const Row* Zero();
    std::unique_ptr<Row[]> rows_;
};

// A drawing cache: a ready bitmap or none. Its deleter is out of line, so
// that what holds one needs no picture code.
struct TImageDelete {
    void operator()(QImage* image) const;
};
using TImagePtr = std::unique_ptr<QImage, TImageDelete>;
// Takes over a decoded picture.
TImagePtr ImagePtr(std::unique_ptr<QImage> image);

// An element's picture. Loading a picture file only records the request;
// the file is looked up and decoded when the picture is first used, so a
// project of thousands of elements loads without decoding their pictures.
// Requests are carried out in the order they were made, with the same
// result as loading at once: a missing file keeps what was there, a file
// that cannot be decoded leaves no picture.
class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture& operator=(TImagePtr image);
    TPicture& operator=(std::unique_ptr<QImage> image);
    TPicture& operator=(std::nullptr_t) { return *this = TImagePtr(); }
    void reset();

    QImage* get() const
    {
        if (!pending_.empty())
            Resolve();
        return image_.get();
    }
    QImage* operator->() const { return get(); }
    QImage& operator*() const { return *get(); }
    explicit operator bool() const { return get() != nullptr; }

    // Records a load of a picture file, relative to the project or data
    // folder of the project (element) or a path of its own.
    void Request(const Project* project, std::string path, bool elementRelative);
    bool HasPendingRequests() const { return !pending_.empty(); }

private:
    struct PendingLoad {
        const Project* project;
        std::string path;
        bool elementRelative;
    };
    void Resolve() const;

    mutable TImagePtr image_;
    mutable std::vector<PendingLoad> pending_;
};

class TListedItem : public TLoadSaveItem {
public:
    static constexpr int PatternMax = TPatternCells::Max;

    TListedItem(std::string defName, TListedList* owner);
    ~TListedItem() override;

    std::string DefName;
    std::unique_ptr<TParList> Params;
    std::unique_ptr<TEventList> Events;
    TPicture Picture;
    bool Shared = false;
    // Drawing caches of the pattern: [0] zoom 1, [1] the current zoom.
    std::array<TImagePtr, 2> PatternPictures;
    TListedList* Owner = nullptr;
    TPatternCells PatternCells;

    // ---- the nine operations descendants override, in this order ----
    bool LoadFromStream(TQVFileStream& stream) override;
    void SaveToStream(TQVFileStream& stream) override;
    virtual std::pair<int, int> GetPatternSize() const { return {0, 0}; } // columns, rows
    virtual void LoadParameters(TQVFileStream& stream, const std::string& defName);
    virtual void SaveParameters(TQVFileStream& stream);
    virtual void Draw(TCanvas& canvas, int x, int y, int orientation, int zoom);
    // May set values in Params but never removes an entry from it: name and
    // value may be an entry's own texts.
    virtual bool ParameterChanged(const std::string& name, std::string_view value);
    virtual void PreparePictures();
    virtual void DrawPattern(TCanvas& canvas, int x, int y, int orientation, int zoom);

    // ParameterChanged for every stored parameter, in list order.
    void ApplyParameters();
    // What the base LoadParameters reads, without ApplyParameters: for a
    // list that applies the parameters of the elements it read afterwards.
    void ReadParameters(TQVFileStream& stream, const std::string& defName);
    // The parameter list was edited as a whole (rows removed or renamed):
    // the element derives again what it derives from its parameters, so
    // that it is what loading its saved list would make of it.
    virtual void ParametersReplaced() {}
    // What the element holds beside its parameters that they do not give
    // back alone (where a placement lies, a map's size), kept by undo.
    virtual std::vector<int32_t> DerivedState() const { return {}; }
    // Puts that back; the parameter list is left as it is.
    virtual void RestoreDerivedState(const std::vector<int32_t>&) {}
    // The data folder for a shared element, the project folder otherwise.
    std::string BaseFolder() const;
    // The common handling of a changed parameter that may change the picture.
    bool SetPictureParameter(const std::string& name, std::string_view value,
                             const std::string& pictureParameter);

    // The project the element belongs to (through its library), or none.
    Project* Proj() const;

    // The pattern rows as library-file characters (rows of GetPatternSize).
    std::string PatternRow(int row) const;
    // Pattern characters of the last load that were not valid pattern values.
    int InvalidPatternChars = 0;

protected:
    // Without defaults: for elements that fill their lists themselves.
    struct NoDefaultsTag {};
    TListedItem(std::string defName, TListedList* owner, NoDefaultsTag);
    // Reads the pattern rows that follow the name (none for kinds without a pattern).
    void LoadPattern(TQVFileStream& stream);
};

// A library of game elements.
class TListedList : public TLibraryList {
public:
    explicit TListedList(Project* project) : Proj(project) {}

    Project* Proj;

    TListedItem* Element(int index) const { return static_cast<TListedItem*>(Item(index)); }
    void LoadFromStream(TQVFileStream& stream) override;

    // True while elements are created that will read their lists from a
    // stream at once, so their constructors can skip the defaults.
    bool CreatingForLoad() const { return creatingForLoad_; }

protected:
    // CreateItem for an element that is about to be read.
    std::unique_ptr<TLoadSaveItem> CreateForLoad();

private:
    bool creatingForLoad_ = false;
};

// PreparePictures for every element of a library.
void PrepareAllPictures(TListedList& library);

// ------------------------------------------------------------------ walls

class TWall : public TListedItem {
public:
    explicit TWall(TListedList* owner) : TListedItem("wallDef", owner) {}

    // [zoom slot][side]: the pattern's first row laid along each side.
    std::array<std::array<TImagePtr, 4>, 2> DirectionPictures;

    std::pair<int, int> GetPatternSize() const override { return {11, 4}; }
    void Draw(TCanvas& canvas, int x, int y, int side, int zoom) override;
    bool ParameterChanged(const std::string& name, std::string_view value) override;
    void PreparePictures() override;
    void DrawPattern(TCanvas& canvas, int x, int y, int side, int zoom) override;
};

class TWalls : public TListedList {
public:
    using TListedList::TListedList;
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TWall>(this); }
};

// ----------------------------------------------------- floors and ceilings

class TFloor : public TListedItem {
public:
    TFloor(std::string defName, TListedList* owner) : TListedItem(std::move(defName), owner) {}
    std::pair<int, int> GetPatternSize() const override { return {11, 11}; }
};

class TFloors : public TListedList {
public:
    using TListedList::TListedList;
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TFloor>(DefName(), this); }

protected:
    virtual std::string DefName() const { return "FloorDef"; }
};

class TCeilings : public TFloors {
public:
    using TFloors::TFloors;

protected:
    std::string DefName() const override { return "CeilingDef"; }
};

// ---------------------------------------------------------------- objects

class TMObject : public TListedItem {
public:
    explicit TMObject(TListedList* owner) : TListedItem("ObjectDef", owner) {}
    std::pair<int, int> GetPatternSize() const override { return {11, 11}; }
};

class TObjects : public TListedList {
public:
    using TListedList::TListedList;
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TMObject>(this); }
};

// ------------------------------------------------------- item definitions

class TItemDef : public TListedItem {
public:
    explicit TItemDef(TListedList* owner) : TListedItem("itemDef", owner) {}
    void Draw(TCanvas& canvas, int x, int y, int orientation, int zoom) override;
    bool ParameterChanged(const std::string& name, std::string_view value) override;
};

class TItemsDef : public TListedList {
public:
    using TListedList::TListedList;
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TItemDef>(this); }
};

// ---------------------------------------------- monster and NPC definitions

class TMonsterDef : public TListedItem {
public:
    explicit TMonsterDef(TListedList* owner) : TListedItem("1monsterDef", owner) {}
    void Draw(TCanvas&, int, int, int, int) override {}

protected:
    TMonsterDef(std::string defName, TListedList* owner) : TListedItem(std::move(defName), owner) {}
};

class TMonstersDef : public TListedList {
public:
    using TListedList::TListedList;
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TMonsterDef>(this); }
};

class TNPCDef : public TMonsterDef {
public:
    explicit TNPCDef(TListedList* owner);

    std::unique_ptr<TEventList> Keywords;

    void LoadParameters(TQVFileStream& stream, const std::string& defName) override;
    void SaveParameters(TQVFileStream& stream) override;
};

class TNPCsDef : public TListedList {
public:
    using TListedList::TListedList;
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TNPCDef>(this); }
};

} // namespace kestrune
