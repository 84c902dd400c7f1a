#include "model/pngwriter.h"

#include <csetjmp>
#include <vector>

#include <png.h>

namespace kestrune {
namespace {

void AppendBytes(png_structp png, png_bytep data, std::size_t count)
{
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), count);
}

void NoFlush(png_structp) {}

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void PngWarning(png_structp, png_const_charp) {}

} // namespace

std::string EncodePng(const QImage& source)
{
    if (source.isNull())
        return {};
    const bool alpha = source.hasAlphaChannel();
    // 32-bit pixels as the rows are held in memory: 0xAARRGGBB words.
    const QImage::Format wanted = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const QImage image = source.format() == wanted ? source : source.convertToFormat(wanted);
    if (image.isNull())
        return {};

    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png)
        return {};
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    try {
        // About what the filtered rows compress to; saves growing the string.
        out.reserve(static_cast<std::size_t>(image.sizeInBytes()) / 16 + 1024);
        rows.resize(static_cast<std::size_t>(image.height()));
    } catch (const std::bad_alloc&) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // The word 0xAARRGGBB lies in memory as B, G, R, A.
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
#else
    // ...and here as A, R, G, B.
    if (alpha)
        png_set_swap_alpha(png);
    else
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
#endif
    for (int y = 0; y < image.height(); ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(image.constScanLine(y));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace kestrune
