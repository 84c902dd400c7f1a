#pragma once
// The editor's own pictures, drawn in code: the eleven images of the big
// toolbar and the logo of the splash and about window.

#include <QIcon>
#include <QPixmap>

namespace kestrune {

// The toolbar images in the order of the big toolbar's buttons.
enum TToolbarImage {
    tiMaps,
    tiWalls,
    tiFloors,
    tiCeilings,
    tiObjects,
    tiItems,
    tiMonsters,
    tiNPC,
    tiNames,
    tiLib,
    tiSave,
    ToolbarImageCount
};

// The image of a toolbar button as a square icon of `size` pixels (32 for
// the big set, 16 for the small one; other sizes are drawn too). A null icon
// for an index outside 0 .. ToolbarImageCount - 1 or a size below 1.
QIcon ToolbarIcon(int index, int size);

// The logo: a kestrel over a dungeon grid beside the product's name, on a
// transparent background.
QPixmap LogoPicture();

} // namespace kestrune
