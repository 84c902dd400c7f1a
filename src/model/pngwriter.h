#pragma once
// PNG encoding of rendered maps.
//
// Rendered maps are built from zoom-sized squares, so most rows repeat the row
// above: every row is written with the "Up" filter (the difference to the row
// above), which such pictures compress best with and which costs least to
// compute. Pictures without an alpha channel are written as 8-bit RGB,
// others as 8-bit RGBA with straight alpha.

#include <string>

#include <QImage>

namespace kestrune {

// The PNG file of a picture, or an empty string when it cannot be encoded
// (a null picture, or no memory).
std::string EncodePng(const QImage& image);

} // namespace kestrune
