#pragma once
// Picture loading for element images, wall textures and the like.
//
// The decoder is chosen by the file's extension without regard to case:
//   "png"          libpng; every colour type, bit depth, palette, tRNS and interlace
//                  is normalised to 8 bits per channel with alpha
//   "jpg", "jpeg"  libjpeg; greyscale, YCbCr/RGB and CMYK/YCCK pictures
//   "gif"          giflib; the first frame on the logical screen, the frame's
//                  transparent colour (and anything it does not cover) as alpha 0
//   "bmp"          QImage's own reader after the header has been checked here
//
// The result is a QImage in QImage::Format_ARGB32 (straight, not premultiplied
// alpha), or nullptr when the extension is none of these, the file is missing,
// unreadable, truncated or damaged, or the picture would exceed the size limits
// below. The sizes are read from the header and checked before any pixel memory
// is allocated. Nothing is printed; every call is independent of every other, so
// pictures may be decoded on several threads at once.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include <QImage>

namespace kestrune {

// Neither side of a picture may be longer than this many pixels...
constexpr int kMaxPictureSide = 16384;
// ...and the decoded picture, at 4 bytes a pixel, may not need more than this.
constexpr std::size_t kMaxPictureBytes = std::size_t{256} * 1024 * 1024;

// Reads the whole file and decodes it by its extension.
std::unique_ptr<QImage> DecodePictureFile(const std::filesystem::path& path);

// Decodes a picture held in memory; `extension` is given without the dot
// ("png", "GIF", "Jpeg"...).
std::unique_ptr<QImage> DecodePictureBytes(const std::string& bytes, const std::string& extension);

} // namespace kestrune
