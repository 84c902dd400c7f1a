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

#include "model/picturelimits.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QImage>

namespace kestrune {

// Reads the whole file and decodes it by its extension.
std::unique_ptr<QImage> DecodePictureFile(const std::filesystem::path& path);

// Decodes a picture held in memory; `extension` is given without the dot
// ("png", "GIF", "Jpeg"...).
std::unique_ptr<QImage> DecodePictureBytes(const std::string& bytes, const std::string& extension);

// The decoded pictures of element files, shared: a file is decoded once while
// it stays as it is, and every element that names it gets the same pixels
// (a copy of a QImage shares its pixel memory). The pictures held together
// stay within a budget; a picture that would pass it is refused as one beyond
// the size limits is (no picture), and told once per file. The store of the
// running program serves every project in it.
class TPictureStore {
public:
    static constexpr std::size_t DefaultBudget = std::size_t{256} * 1024 * 1024;
    static TPictureStore& Shared();

    // The picture of a file, or nullptr when it cannot be decoded, lies
    // beyond the size limits or would pass the budget.
    std::unique_ptr<QImage> Load(const std::filesystem::path& path);

    void SetBudget(std::size_t bytes);
    std::size_t Budget() const;
    // The bytes of the pictures held now.
    std::size_t BytesHeld() const;
    // The messages of pictures refused for the budget since the last call,
    // each file once.
    std::vector<std::string> TakeMessages();
    // Lets go of every picture held (those given out stay with their holders).
    void Clear();

private:
    struct Entry {
        std::filesystem::file_time_type time;
        std::uintmax_t size = 0;
        QImage image;
        bool refused = false;
    };
    std::size_t FreeUnused();

    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    std::size_t held_ = 0;
    std::size_t budget_ = DefaultBudget;
    std::vector<std::string> messages_;
};

} // namespace kestrune
