// Feeds arbitrary bytes to the picture decoders: the first byte picks the
// decoder (png, jpg, gif, bmp), the rest is the file.

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const char* const kExtensions[] = {"png", "jpg", "gif", "bmp"};
    const std::string extension = kExtensions[data[0] % 4];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    auto image = kestrune::DecodePictureBytes(bytes, extension);
    if (image && (image->format() != QImage::Format_ARGB32 || image->width() > kestrune::kMaxPictureSide ||
                  image->height() > kestrune::kMaxPictureSide))
        __builtin_trap();
    return 0;
}
