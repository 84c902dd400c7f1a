#include "model/drawing.h"

#include "model/elements.h"
#include "model/map.h"
#include "model/picturelimits.h"

namespace kestrune {

namespace {
TDrawing* installed = nullptr;
} // namespace

TDrawing* TDrawing::Current() { return installed; }

void TDrawing::Install(TDrawing* drawing) { installed = drawing; }

// Only the drawing side makes pictures, so one that exists has it to free it.
void TImageDelete::operator()(QImage* image) const
{
    if (image && installed)
        installed->DeleteImage(image);
}

// Without a drawing side nothing can be told about a picture: it is taken
// as one.
bool PictureFileDecodes(const std::filesystem::path& path) { return !installed || installed->PictureFileDecodes(path); }

void TListedItem::PreparePictures()
{
    if (installed)
        installed->PreparePictures(*this);
}

void TListedItem::DrawPattern(TCanvas& canvas, int x, int y, int orientation, int zoom)
{
    if (installed)
        installed->DrawPattern(*this, canvas, x, y, orientation, zoom);
}

void TListedItem::Draw(TCanvas& canvas, int x, int y, int orientation, int zoom)
{
    if (installed)
        installed->Draw(*this, canvas, x, y, orientation, zoom);
}

void TWall::PreparePictures()
{
    if (installed)
        installed->PrepareWallPictures(*this);
}

void TWall::DrawPattern(TCanvas& canvas, int x, int y, int side, int zoom)
{
    if (installed)
        installed->DrawWallPattern(*this, canvas, x, y, side, zoom);
}

void TWall::Draw(TCanvas& canvas, int x, int y, int side, int zoom)
{
    if (installed)
        installed->DrawWall(*this, canvas, x, y, side, zoom);
}

void TItemDef::Draw(TCanvas& canvas, int x, int y, int orientation, int zoom)
{
    if (installed)
        installed->DrawItemDef(*this, canvas, x, y, orientation, zoom);
}

void TMap::Draw(TCanvas& canvas, int x, int y, int, int)
{
    if (installed)
        installed->DrawMap(*this, canvas, x, y);
}

} // namespace kestrune
