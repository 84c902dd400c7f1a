#include "model/canvas.h"

#include <algorithm>
#include <utility>

#include <QPainter>

static_assert(kestrune::TCanvas::KeyRgb == kestrune::ToRgb(kestrune::KeyColor), "key colour pixel");

namespace kestrune {

TCanvas::TCanvas(QImage& image, PatternMode mode) : image_(image), mode_(mode)
{
    const QImage::Format f = image_.format();
    if (!image_.isNull() && f != QImage::Format_RGB32 && f != QImage::Format_ARGB32)
        image_ = image_.convertToFormat(QImage::Format_ARGB32);
    width_ = image_.width();
    height_ = image_.height();
}

void TCanvas::Fill(int x1, int y1, int x2, int y2, QRgb c) { FillDevice(x1 - ox_, y1 - oy_, x2 - ox_, y2 - oy_, c); }

void TCanvas::FillDevice(int x1, int y1, int x2, int y2, QRgb c)
{
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width_);
    y2 = std::min(y2, height_);
    for (int y = y1; y < y2; ++y)
        std::fill(Row(y) + x1, Row(y) + std::max(x1, x2), c);
}

void TCanvas::HatchDevice(int x1, int y1, int x2, int y2, TBrush brush, QRgb c)
{
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width_);
    y2 = std::min(y2, height_);
    const bool backward = brush == TBrush::BackwardDiagonal || brush == TBrush::DiagonalCross;
    const bool forward = brush == TBrush::ForwardDiagonal || brush == TBrush::DiagonalCross;
    for (int y = y1; y < y2; ++y) {
        QRgb* row = Row(y);
        for (int x = x1; x < x2; ++x)
            if ((backward && ((x + ox_ - y - oy_) & 7) == 0) || (forward && ((x + ox_ + y + oy_) & 7) == 7))
                row[x] = c;
    }
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2, std::optional<QRgb> pen, TBrush brush, QRgb brushColour)
{
    x1 -= ox_;
    x2 -= ox_;
    y1 -= oy_;
    y2 -= oy_;
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    const int inset = pen ? 1 : 0;
    if (brush == TBrush::Solid)
        FillDevice(x1 + inset, y1 + inset, x2 - inset, y2 - inset, brushColour);
    else if (brush != TBrush::Hollow)
        HatchDevice(x1 + inset, y1 + inset, x2 - inset, y2 - inset, brush, brushColour);
    if (pen && x2 > x1 && y2 > y1) {
        FillDevice(x1, y1, x2, y1 + 1, *pen);
        FillDevice(x1, y2 - 1, x2, y2, *pen);
        FillDevice(x1, y1, x1 + 1, y2, *pen);
        FillDevice(x2 - 1, y1, x2, y2, *pen);
    }
}

void TCanvas::Line(int x1, int y1, int x2, int y2, QRgb pen)
{
    if (y1 == y2) {
        if (x2 >= x1)
            Fill(x1, y1, x2, y1 + 1, pen);
        else
            Fill(x2 + 1, y1, x1 + 1, y1 + 1, pen);
    } else if (x1 == x2) {
        if (y2 >= y1)
            Fill(x1, y1, x1 + 1, y2, pen);
        else
            Fill(x1, y2 + 1, x1 + 1, y1 + 1, pen);
    }
}

TCanvas::Overlap TCanvas::OverlapOf(const QImage& picture, int x, int y) const
{
    Overlap o;
    o.x = x - ox_;
    o.y = y - oy_;
    o.x1 = std::max(o.x, 0);
    o.y1 = std::max(o.y, 0);
    o.x2 = std::min(o.x + picture.width(), width_);
    o.y2 = std::min(o.y + picture.height(), height_);
    o.empty = o.x2 <= o.x1 || o.y2 <= o.y1 || picture.depth() != 32;
    return o;
}

void TCanvas::Copy(const QImage& picture, int x, int y)
{
    const Overlap o = OverlapOf(picture, x, y);
    if (o.empty)
        return;
    for (int row = o.y1; row < o.y2; ++row) {
        const QRgb* src = reinterpret_cast<const QRgb*>(picture.constScanLine(row - o.y)) + (o.x1 - o.x);
        std::copy(src, src + (o.x2 - o.x1), Row(row) + o.x1);
    }
}

void TCanvas::CopyKeyed(const QImage& picture, int x, int y, QRgb key)
{
    const Overlap o = OverlapOf(picture, x, y);
    if (o.empty)
        return;
    key |= 0xFF000000u;
    for (int row = o.y1; row < o.y2; ++row) {
        const QRgb* src = reinterpret_cast<const QRgb*>(picture.constScanLine(row - o.y)) + (o.x1 - o.x);
        QRgb* dest = Row(row) + o.x1;
        for (int i = 0; i < o.x2 - o.x1; ++i)
            if ((src[i] | 0xFF000000u) != key)
                dest[i] = src[i] | 0xFF000000u;
    }
}

void TCanvas::Stretch(const QImage& picture, int x1, int y1, int x2, int y2)
{
    if (picture.isNull() || x2 <= x1 || y2 <= y1)
        return;
    QPainter painter(&image_);
    painter.drawImage(QRect(x1 - ox_, y1 - oy_, x2 - x1, y2 - y1), picture);
}

} // namespace kestrune
