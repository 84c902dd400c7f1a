#pragma once
// What the elements and maps ask of the drawing side. Drawing and picture
// decoding need the toolkit; the code that does them installs itself here
// when a program links it (src/model/render.cpp). Without it the elements
// draw nothing and hold no picture, which is all the data-only commands of
// the tool need, so that they start without loading the toolkit.

#include <filesystem>

class QImage;

namespace kestrune {

class TCanvas;
class TItemDef;
class TListedItem;
class TMap;
class TWall;

class TDrawing {
public:
    virtual ~TDrawing() = default;

    virtual void DeleteImage(QImage* image) = 0;
    virtual bool PictureFileDecodes(const std::filesystem::path& path) = 0;

    // The element operations of the same names.
    virtual void PreparePictures(TListedItem& element) = 0;
    virtual void DrawPattern(TListedItem& element, TCanvas& canvas, int x, int y, int orientation, int zoom) = 0;
    virtual void Draw(TListedItem& element, TCanvas& canvas, int x, int y, int orientation, int zoom) = 0;
    virtual void PrepareWallPictures(TWall& wall) = 0;
    virtual void DrawWallPattern(TWall& wall, TCanvas& canvas, int x, int y, int side, int zoom) = 0;
    virtual void DrawWall(TWall& wall, TCanvas& canvas, int x, int y, int side, int zoom) = 0;
    virtual void DrawItemDef(TItemDef& def, TCanvas& canvas, int x, int y, int orientation, int zoom) = 0;
    virtual void DrawMap(TMap& map, TCanvas& canvas, int x, int y) = 0;

    // The drawing side of this program, or nullptr when it has none.
    static TDrawing* Current();
    static void Install(TDrawing* drawing);
};

} // namespace kestrune
