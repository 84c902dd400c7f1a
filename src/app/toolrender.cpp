// The drawing half of the tool's commands: "render" draws a map with the
// model's drawing side and writes it as PNG.

#include "app/toolcommands.h"

#include "core/errors.h"
#include "core/text.h"
#include "model/map.h"
#include "model/picture.h"
#include "model/pngwriter.h"
#include "model/project.h"
#include "model/render.h"

#include <QSaveFile>
#include <QString>

namespace kestrune {

namespace {

// Draws a whole map as the map view shows it and writes it as PNG, through
// a temporary file so that a failure leaves no file behind.
bool RenderMap(Project& project, const TRenderRequest& o, std::ostream& err)
{
    TMap* map = nullptr;
    for (int i = 0; i < project.Maps->Count() && !map; ++i)
        if (SameText(project.Maps->MapAt(i)->Name, o.map))
            map = project.Maps->MapAt(i);
    if (!map) {
        err << "The project has no map named " << o.map << ".\n";
        return false;
    }
    project.Zoom = o.zoom;
    project.CurrentKind = o.kind;
    project.PaintFloors = o.floors;
    project.MapDirectDraw = o.direct;
    project.FaceColor = o.face;
    project.MapColors[0] = o.face;
    project.PrepareMapPictures();
    if (o.select) {
        map->SelX = (*o.select)[0];
        map->SelY = (*o.select)[1];
        map->SelSide = (*o.select)[2];
    }
    const int c = CellUnits * o.zoom;
    QImage image(map->SizeX * c, map->SizeY * c, QImage::Format_RGB32);
    if (image.isNull()) {
        err << "There is not enough memory for a picture of " << map->SizeX * c << " x " << map->SizeY * c
            << " pixels.\n";
        return false;
    }
    image.fill(ToRgb(o.face));
    TCanvas canvas(image);
    const TCellRange all{0, map->SizeX - 1, 0, map->SizeY - 1};
    if (o.direct)
        map->DrawAreaDirect(canvas, o.kind, all);
    else
        map->DrawArea(canvas, o.kind, all);

    for (const std::string& refused : TPictureStore::Shared().TakeMessages())
        err << refused << '\n';
    const std::string png = EncodePng(image);
    QSaveFile file(QString::fromLocal8Bit(o.out.c_str()));
    if (png.empty() || !file.open(QIODevice::WriteOnly) ||
        file.write(png.data(), static_cast<qint64>(png.size())) != static_cast<qint64>(png.size()) || !file.commit()) {
        err << FormatMessage("Cannot create file %s", o.out) << '\n';
        return false;
    }
    return true;
}
} // namespace

void UseToolDrawing() { SetMapRenderer(RenderMap); }

} // namespace kestrune
