#pragma once
// A drawing surface over a QImage with the few operations the map drawing
// needs, done pixel by pixel so that every picture is exact: rectangles with
// a 1-pixel pen and a solid, hollow or hatched brush over a transparent
// background, pixels, copies that leave out a key colour, and stretching.

#include "model/color.h"

#include <cstdint>
#include <optional>

#include <QImage>

namespace kestrune {

// The QImage pixel of a game colour.
constexpr QRgb ToRgb(TColor c) { return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// Brushes. The diagonals are named by their lines: backward diagonal runs
// from top-left to bottom-right, forward diagonal from bottom-left to
// top-right; both make the cross. Hatch lines repeat every 8 pixels,
// aligned to the canvas's own origin.
enum class TBrush { Hollow, Solid, BackwardDiagonal, ForwardDiagonal, DiagonalCross };

class TCanvas {
public:
    // How squares of a pattern are painted: into a cached picture every pixel
    // is set, the key colour included; on the map key-coloured squares are
    // left out.
    enum class PatternMode { Cache, Map };

    explicit TCanvas(QImage& image, PatternMode mode = PatternMode::Map);

    QImage& Image() { return image_; }
    // Drawing coordinates of the image's top-left pixel: a picture of one part
    // of a larger drawing takes that part's position. Hatch lines keep the
    // phase of the larger drawing.
    void SetOrigin(int x, int y)
    {
        ox_ = x;
        oy_ = y;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    PatternMode Mode() const { return mode_; }

    void SetPixel(int x, int y, QRgb c)
    {
        x -= ox_;
        y -= oy_;
        if (x >= 0 && y >= 0 && x < width_ && y < height_)
            Row(y)[x] = c;
    }
    QRgb Pixel(int x, int y) const
    {
        return reinterpret_cast<const QRgb*>(image_.constScanLine(y - oy_))[x - ox_];
    }

    // Fills x1 <= x < x2, y1 <= y < y2 (clipped to the canvas).
    void Fill(int x1, int y1, int x2, int y2, QRgb c);
    // A rectangle as the map drawing knows it: corners in any order, right
    // and bottom exclusive; the pen draws the 1-pixel border (none: no
    // border), the brush fills the inside.
    void Rectangle(int x1, int y1, int x2, int y2, std::optional<QRgb> pen, TBrush brush, QRgb brushColour = 0);
    // A line from (x1, y1) towards (x2, y2), horizontal or vertical, without
    // its last pixel.
    void Line(int x1, int y1, int x2, int y2, QRgb pen);
    // A square of a pattern of size s in a colour.
    void PatternSquare(int x, int y, int s, QRgb c)
    {
        if (mode_ == PatternMode::Map && c == KeyRgb)
            return;
        x -= ox_;
        y -= oy_;
        if (x < 0 || y < 0 || x + s > width_ || y + s > height_) {
            FillDevice(x, y, x + s, y + s, c);
            return;
        }
        for (int row = y; row < y + s; ++row) {
            QRgb* p = Row(row) + x;
            for (int i = 0; i < s; ++i)
                p[i] = c;
        }
    }

    // Copies a picture with its top-left corner at (x, y).
    void Copy(const QImage& picture, int x, int y);
    // The same, leaving out the pixels of the key colour.
    void CopyKeyed(const QImage& picture, int x, int y, QRgb key);
    // Stretches a picture over x1 <= x < x2, y1 <= y < y2 (alpha blended).
    void Stretch(const QImage& picture, int x1, int y1, int x2, int y2);

    static constexpr QRgb KeyRgb = 0xFF87D612u; // the key colour as a pixel

private:
    QRgb* Row(int y) { return reinterpret_cast<QRgb*>(image_.scanLine(y)); }
    // Where a 32-bit picture placed at (x, y) lies on the image: its corner
    // in image pixels and the rows and columns [x1, x2) x [y1, y2) it covers.
    struct Overlap {
        int x = 0, y = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        bool empty = true;
    };
    Overlap OverlapOf(const QImage& picture, int x, int y) const;
    // The same operations in the image's own pixels.
    void FillDevice(int x1, int y1, int x2, int y2, QRgb c);
    void HatchDevice(int x1, int y1, int x2, int y2, TBrush brush, QRgb c);
    int ox_ = 0, oy_ = 0;

    QImage& image_;
    PatternMode mode_;
    int width_;
    int height_;
};

// The colour that stands for "transparent" in cached pictures (135, 214, 18).
constexpr TColor KeyColor = 1234567;

} // namespace kestrune
