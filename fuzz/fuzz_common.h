#pragma once
// Shared setup of the data-file harnesses: a project with a small definition
// list and a few elements in each library, built once per process.

#include "core/definitions.h"
#include "core/errors.h"
#include "core/qvstream.h"
#include "model/project.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrune::fuzz {

inline const char* DefinitionText()
{
    return "wallDef\n"
           " imageDir|DIRS(images/walls)||folder\n"
           "+Look\n"
           " imageFront|IMAGE(images/walls/$imageDir)|front.png|picture\n"
           " door|BOOL|F|a door\n"
           ".EVENTS\n"
           " onHit|||hit\n"
           "FloorDef\n"
           " image|IMAGE(images/floors)||picture\n"
           " frames|INT|1|frames\n"
           "itemDef\n"
           " kind|[WEAPON,MISC]|MISC|kind\n"
           " icon|IMAGE(images/items)|item.gif|icon\n"
           "1monsterDef\n"
           " parent|||parent\n"
           "map\n"
           " sizeX|INT||w\n"
           " sizeY|INT||h\n"
           "mapSquare\n"
           " dark|BOOL|F|dark\n"
           "mapWall\n"
           " locked|BOOL|F|locked\n"
           "item\n"
           " itemDef|ITEMS||def\n"
           " visible|BOOL|T|seen\n"
           "monster\n"
           " 1monsterDef|MONSTERS||def\n"
           " x|INT|0|x\n"
           "NPC\n"
           " map|MAPS||map\n";
}

inline Project& SharedProject()
{
    static Project* project = [] {
        auto* p = new Project();
        p->Definitions = std::make_unique<TValList>();
        p->Definitions->LoadFromText(DefinitionText());
        p->PreviewPictures = false; // no file system access while fuzzing
        for (TListedList* library :
             {static_cast<TListedList*>(p->Walls.get()), static_cast<TListedList*>(p->Floors.get()),
              static_cast<TListedList*>(p->Ceilings.get()), static_cast<TListedList*>(p->Objects.get()),
              static_cast<TListedList*>(p->ItemDefs.get()), static_cast<TListedList*>(p->MonsterDefs.get())})
            for (const char* name : {"A", "B", "C"})
                library->Add(library->CreateItem())->Name = name;
        p->LoadingShared = false;
        return p;
    }();
    return *project;
}

inline std::string Bytes(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

} // namespace kestrune::fuzz
