#pragma once
// What lies on a map: placed items and monsters, the NPC instances, and the
// map's events and parameters keyed by cell and cell side.

#include "model/elements.h"

#include <string>

namespace kestrune {

class TMap;

// The key of a cell, "[x,y]", or of a cell side, "[x,y,side]".
std::string CellKey(int x, int y);
std::string CellKey(int x, int y, int side);

struct TCellRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TCellRect& o) const
    {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
    bool Holds(int x, int y) const { return Left <= x && x <= Right && Top <= y && y <= Bottom; }
};

// An item lying on one cell.
class TItem : public TListedItem {
public:
    // An empty item, as the item list creates it for reading.
    explicit TItem(TListedList* owner);
    // A new item of a definition at a cell.
    TItem(TItemDef* def, TListedList* owner, int x, int y);

    int X = 0, Y = 0;
    TItemDef* Def = nullptr;

    void Draw(TCanvas& canvas, int x, int y, int orientation, int zoom) override;
    bool ParameterChanged(const std::string& name, std::string_view value) override;
    void ParametersReplaced() override;
    std::vector<int32_t> DerivedState() const override;
    void RestoreDerivedState(const std::vector<int32_t>& state) override;
    void PreparePictures() override {}
};

// A monster covering a rectangle of cells.
class TMonster : public TListedItem {
public:
    explicit TMonster(TListedList* owner);
    TMonster(TMonsterDef* def, TListedList* owner, int x, int y);

    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    TMonsterDef* Def = nullptr;

    TCellRect Area() const { return {Left, Top, Right, Bottom}; }
    void MoveTo(int x, int y);
    TCellRect AreaAt(int x, int y) const;
    void SetArea(const TCellRect& r);

    void Draw(TCanvas&, int, int, int, int) override {}
    bool ParameterChanged(const std::string& name, std::string_view value) override;
    void ParametersReplaced() override;
    std::vector<int32_t> DerivedState() const override;
    void RestoreDerivedState(const std::vector<int32_t>& state) override;
    void PreparePictures() override {}

protected:
    TMonster(std::string defName, TListedList* owner);
};

// An NPC instance; it names its map in the parameter "map".
class TNPC : public TMonster {
public:
    explicit TNPC(TListedList* owner);

    std::unique_ptr<TEventList> Keywords;

    bool LoadFromStream(TQVFileStream& stream) override;
    void LoadParameters(TQVFileStream& stream, const std::string& defName) override;
    void SaveParameters(TQVFileStream& stream) override;
};

// The items of a map, read and written inside the map file.
class TItemList : public TListedList {
public:
    TItemList(Project* project, TMap* map) : TListedList(project), Map(map) {}

    TMap* Map;

    TItem* ItemAt(int index) const { return static_cast<TItem*>(Item(index)); }
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TItem>(this); }
    void LoadFromStream(TQVFileStream& stream) override;
    void SaveToStream(TQVFileStream& stream) override;

protected:
    // Room for the count of elements a file announces before reading them.
    void ReserveForLoad(const TQVFileStream& stream, int count);
};

class TMonstersList : public TItemList {
public:
    using TItemList::TItemList;

    TMonster* MonsterAt(int index) const { return static_cast<TMonster*>(Item(index)); }
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TMonster>(this); }
    void LoadFromStream(TQVFileStream& stream) override;
    void SaveToStream(TQVFileStream& stream) override;
};

// The project-wide NPC instances ("defined.npcs"), read as a library.
class TNPCsList : public TMonstersList {
public:
    explicit TNPCsList(Project* project) : TMonstersList(project, nullptr) {}

    TNPC* NpcAt(int index) const { return static_cast<TNPC*>(Item(index)); }
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TNPC>(this); }
    void LoadFromStream(TQVFileStream& stream) override { TListedList::LoadFromStream(stream); }
    void SaveToStream(TQVFileStream& stream) override { TListedList::SaveToStream(stream); }
};

// The events of a map: plain names belong to the whole map, names followed
// by a cell key to that cell or cell side. The key is the filter.
class TMapEventsList : public TEventList {
public:
    using TEventList::TEventList;

    void AddEntry(const std::string& name, const std::string& value, const std::string& filter) override;
    bool Accepts(const std::string& name, const std::string& filter) const override;
    std::string DisplayName(const std::string& name, const std::string& filter) const override;
};

// The parameters of a map, keyed like its events.
class TMapParList : public TMapEventsList {
public:
    TMapParList(std::string name, TMap* map) : TMapEventsList(std::move(name)), Map(map) {}

    TMap* Map;

    int Kind() const override { return 0; }
    void ExpandToTable(TPropertyTable& table, const std::string& filter, const TValList* definitions) override;
};

} // namespace kestrune
