#pragma once
// What the picture decoders accept, for code that only needs to know
// whether a file is a picture (the project check) and not its pixels.

#include <cstddef>
#include <filesystem>

namespace kestrune {

// Neither side of a picture may be longer than this many pixels...
constexpr int kMaxPictureSide = 16384;
// ...and the decoded picture, at 4 bytes a pixel, may not need more than this.
constexpr std::size_t kMaxPictureBytes = std::size_t{256} * 1024 * 1024;

// Whether the file decodes as a picture within those limits (see
// DecodePictureFile).
bool PictureFileDecodes(const std::filesystem::path& path);

} // namespace kestrune
