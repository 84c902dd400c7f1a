#include "model/picture.h"

#include "core/text.h"
#include "model/drawing.h"
#include "model/elements.h"
#include "model/project.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <new>
#include <system_error>
#include <vector>

#include <QByteArrayView>
#include <QtEndian>

#include <gif_lib.h>
#include <png.h>
// jpeglib.h expects size_t and FILE to be declared already.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

namespace kestrune {
namespace {

// Input larger than this is refused before any decoder sees it; no picture
// within the pixel limits needs anywhere near as much.
constexpr std::size_t kMaxInputBytes = std::size_t{512} * 1024 * 1024;
// The shortest input worth handing to a decoder; no valid picture is smaller.
constexpr std::size_t kMinInputBytes = 16;
// Progressive JPEG files normally have about ten scans; thousands of tiny scans
// only serve to make decoding slow.
constexpr int kMaxJpegScans = 200;
// libjpeg's own working memory (coefficient buffers of progressive files).
constexpr long kMaxJpegWorkBytes = 768L * 1024 * 1024;

enum class PictureKind { Unknown, Png, Jpeg, Gif, Bmp };

PictureKind KindOfExtension(const std::string& extension)
{
    std::string e = extension;
    for (char& c : e) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    if (e == "png")
        return PictureKind::Png;
    if (e == "jpg" || e == "jpeg")
        return PictureKind::Jpeg;
    if (e == "gif")
        return PictureKind::Gif;
    if (e == "bmp")
        return PictureKind::Bmp;
    return PictureKind::Unknown;
}

// What the picture store leaves of its budget for the decode under way on
// this thread, and whether that decode was refused for passing it.
thread_local std::size_t tBytesLeft = kMaxPictureBytes;
thread_local bool tPassedBudget = false;

// True when a width x height picture may be decoded at all.
bool SizeAllowed(long long width, long long height)
{
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return false;
    const unsigned long long bytes = static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) * 4;
    if (bytes > kMaxPictureBytes)
        return false;
    if (bytes > tBytesLeft) {
        tPassedBudget = true;
        return false;
    }
    return true;
}

// A fresh ARGB32 picture, or nullptr when the memory cannot be had.
std::unique_ptr<QImage> NewPicture(int width, int height)
{
    auto image = std::make_unique<QImage>(width, height, QImage::Format_ARGB32);
    if (image->isNull())
        return nullptr;
    return image;
}

QRgb* PictureLine(QImage& image, int y)
{
    return reinterpret_cast<QRgb*>(image.scanLine(y));
}

// ---------------------------------------------------------------------------
// PNG

struct PngSource {
    const unsigned char* data;
    std::size_t size;
    std::size_t pos;
};

[[noreturn]] void PngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, std::size_t count)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->pos)
        png_error(png, "unexpected end of data");
    std::memcpy(out, source->data + source->pos, count);
    source->pos += count;
}

// Owns the libpng structures and everything the decoder allocates, so that a
// longjmp out of libpng skips no destructor and leaks nothing.
struct PngDecoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngSource source{};
    std::unique_ptr<QImage> image;
    std::vector<png_bytep> rows;

    ~PngDecoder()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

std::unique_ptr<QImage> DecodePng(const unsigned char* data, std::size_t size)
{
    if (png_sig_cmp(data, 0, 8) != 0)
        return nullptr;

    PngDecoder d;
    d.source = PngSource{data, size, 0};
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!d.png)
        return nullptr;
    d.info = png_create_info_struct(d.png);
    if (!d.info)
        return nullptr;

    if (setjmp(png_jmpbuf(d.png)))
        return nullptr;

    png_set_read_fn(d.png, &d.source, PngRead);
    png_set_user_limits(d.png, kMaxPictureSide, kMaxPictureSide);
    png_read_info(d.png, d.info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(d.png, d.info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (!SizeAllowed(width, height))
        return nullptr;

    // Everything becomes 8-bit R, G, B, A, laid out in memory the way an
    // ARGB32 pixel is on this machine.
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(d.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(d.png);
    const bool hasTrns = png_get_valid(d.png, d.info, PNG_INFO_tRNS) != 0;
    if (hasTrns)
        png_set_tRNS_to_alpha(d.png);
    if (bitDepth == 16)
        png_set_strip_16(d.png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(d.png);
    const bool hasAlpha = hasTrns || (colorType & PNG_COLOR_MASK_ALPHA) != 0;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(d.png);
    if (!hasAlpha)
        png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);
#else
    if (hasAlpha)
        png_set_swap_alpha(d.png);
    else
        png_set_filler(d.png, 0xFF, PNG_FILLER_BEFORE);
#endif
    png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);

    if (png_get_bit_depth(d.png, d.info) != 8 || png_get_channels(d.png, d.info) != 4 ||
        png_get_rowbytes(d.png, d.info) != static_cast<std::size_t>(width) * 4)
        return nullptr;

    d.image = NewPicture(static_cast<int>(width), static_cast<int>(height));
    if (!d.image)
        return nullptr;
    d.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        d.rows[y] = d.image->scanLine(static_cast<int>(y));

    // Every row has been decoded once this returns; what follows the image
    // data (text chunks, the end marker) does not matter.
    png_read_image(d.png, d.rows.data());
    return std::move(d.image);
}

// ---------------------------------------------------------------------------
// JPEG

struct JpegErrors {
    jpeg_error_mgr manager; // first, so that libjpeg's pointer to it is ours too
    std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

void JpegErrorExit(j_common_ptr cinfo)
{
    JpegFail(cinfo);
}

// Warnings are not printed. Those that say the data ran out or cannot be
// decoded any further end decoding: libjpeg would fill the rest of the picture
// with grey, which is worse than no picture.
void JpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
        JpegFail(cinfo);
    default:
        ++cinfo->err->num_warnings;
        break;
    }
}

void JpegOutputMessage(j_common_ptr) {}

void JpegProgress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans)
        JpegFail(cinfo);
}

struct JpegDecoder {
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    jpeg_progress_mgr progress;
    bool created = false;
    std::unique_ptr<QImage> image;
    std::vector<JSAMPLE> row;

    JpegDecoder()
    {
        std::memset(&cinfo, 0, sizeof cinfo);
        std::memset(&errors, 0, sizeof errors);
        std::memset(&progress, 0, sizeof progress);
    }
    ~JpegDecoder()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

std::unique_ptr<QImage> DecodeJpeg(const unsigned char* data, std::size_t size)
{
    if (data[0] != 0xFF || data[1] != 0xD8)
        return nullptr;

    JpegDecoder d;
    d.cinfo.err = jpeg_std_error(&d.errors.manager);
    d.errors.manager.error_exit = JpegErrorExit;
    d.errors.manager.emit_message = JpegEmitMessage;
    d.errors.manager.output_message = JpegOutputMessage;

    if (setjmp(d.errors.jump))
        return nullptr;

    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    d.cinfo.mem->max_memory_to_use = kMaxJpegWorkBytes;
    d.progress.progress_monitor = JpegProgress;
    d.cinfo.progress = &d.progress;
    jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK)
        return nullptr;
    if (!SizeAllowed(d.cinfo.image_width, d.cinfo.image_height))
        return nullptr;

    switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.cinfo.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        d.cinfo.out_color_space = JCS_CMYK;
        break;
    case JCS_RGB:
    case JCS_YCbCr:
        d.cinfo.out_color_space = JCS_RGB;
        break;
    default:
        return nullptr;
    }

    jpeg_start_decompress(&d.cinfo);
    const int width = static_cast<int>(d.cinfo.output_width);
    const int height = static_cast<int>(d.cinfo.output_height);
    const int components = d.cinfo.output_components;
    if (!SizeAllowed(width, height) || (components != 1 && components != 3 && components != 4))
        return nullptr;
    // Adobe's CMYK files store the inks inverted.
    const bool inverted = components == 4 && d.cinfo.saw_Adobe_marker;

    d.image = NewPicture(width, height);
    if (!d.image)
        return nullptr;
    d.row.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(components));

    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int y = static_cast<int>(d.cinfo.output_scanline);
        JSAMPROW rowPointer = d.row.data();
        if (jpeg_read_scanlines(&d.cinfo, &rowPointer, 1) != 1)
            return nullptr;
        QRgb* out = PictureLine(*d.image, y);
        const JSAMPLE* in = d.row.data();
        if (components == 1) {
            for (int x = 0; x < width; ++x)
                out[x] = qRgb(in[x], in[x], in[x]);
        } else if (components == 3) {
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = qRgb(in[0], in[1], in[2]);
        } else {
            for (int x = 0; x < width; ++x, in += 4) {
                int c = in[0], m = in[1], yy = in[2], k = in[3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yy = 255 - yy;
                    k = 255 - k;
                }
                out[x] = qRgb(c * k / 255, m * k / 255, yy * k / 255);
            }
        }
    }
    // The picture is complete; the end marker is not waited for.
    return std::move(d.image);
}

// ---------------------------------------------------------------------------
// GIF

struct GifSource {
    const unsigned char* data;
    std::size_t size;
    std::size_t pos;
};

int GifRead(GifFileType* gif, GifByteType* out, int count)
{
    auto* source = static_cast<GifSource*>(gif->UserData);
    if (count <= 0)
        return 0;
    const std::size_t n = std::min(static_cast<std::size_t>(count), source->size - source->pos);
    std::memcpy(out, source->data + source->pos, n);
    source->pos += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

std::unique_ptr<QImage> DecodeGif(const unsigned char* data, std::size_t size)
{
    if (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0)
        return nullptr;

    GifSource source{data, size, 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, GifRead, &error));
    if (!gif)
        return nullptr;
    if (gif->SWidth > kMaxPictureSide || gif->SHeight > kMaxPictureSide)
        return nullptr;

    // Extensions before the first frame; only the last graphic control block
    // (the one that belongs to the frame) matters.
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return nullptr;
        if (type == IMAGE_DESC_RECORD_TYPE)
            break;
        if (type != EXTENSION_RECORD_TYPE)
            return nullptr; // the end of the file, or garbage, before any frame
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
            return nullptr;
        if (code == GRAPHICS_EXT_FUNC_CODE && block) {
            GraphicsControlBlock control;
            if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                transparent = control.TransparentColor;
        }
        while (block) {
            if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                return nullptr;
        }
    }

    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
        return nullptr;
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours || !colours->Colors || frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 ||
        frame.Top < 0)
        return nullptr;
    // The picture is the logical screen, grown when the frame reaches beyond it.
    const long long width = std::max<long long>(gif->SWidth, static_cast<long long>(frame.Left) + frame.Width);
    const long long height = std::max<long long>(gif->SHeight, static_cast<long long>(frame.Top) + frame.Height);
    if (!SizeAllowed(width, height))
        return nullptr;

    auto image = NewPicture(static_cast<int>(width), static_cast<int>(height));
    if (!image)
        return nullptr;
    image->fill(Qt::transparent);

    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    auto decodeRow = [&](int row) {
        if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR)
            return false;
        QRgb* out = PictureLine(*image, frame.Top + row) + frame.Left;
        for (int x = 0; x < frame.Width; ++x) {
            const int index = line[static_cast<std::size_t>(x)];
            if (index == transparent)
                continue;
            if (index < colours->ColorCount) {
                const GifColorType& c = colours->Colors[index];
                out[x] = qRgb(c.Red, c.Green, c.Blue);
            } else {
                out[x] = qRgb(0, 0, 0);
            }
        }
        return true;
    };

    if (frame.Interlace) {
        static const int kStart[] = {0, 4, 2, 1};
        static const int kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (int row = kStart[pass]; row < frame.Height; row += kStep[pass]) {
                if (!decodeRow(row))
                    return nullptr;
            }
        }
    } else {
        for (int row = 0; row < frame.Height; ++row) {
            if (!decodeRow(row))
                return nullptr;
        }
    }
    return image;
}

// ---------------------------------------------------------------------------
// BMP: the header is checked here, the pixels are left to QImage's reader.

std::uint32_t Le16(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t Le32(const unsigned char* p)
{
    return Le16(p) | Le16(p + 2) << 16;
}

// True when the run-length coded pixels starting at `pos` end (with an
// end-of-bitmap code or after `height` lines) before the data does.
bool BmpRleComplete(const unsigned char* data, std::size_t size, std::size_t pos, long long height,
                    bool fourBit)
{
    long long y = 0;
    for (;;) {
        if (size - pos < 2)
            return false;
        const unsigned count = data[pos];
        const unsigned code = data[pos + 1];
        pos += 2;
        if (count != 0)
            continue; // a run of one colour
        if (code == 0) { // end of line
            if (++y >= height)
                return true;
        } else if (code == 1) { // end of bitmap
            return true;
        } else if (code == 2) { // move right and down
            if (size - pos < 2)
                return false;
            y += data[pos + 1];
            pos += 2;
            if (y >= height)
                return true;
        } else { // `code` literal pixels, padded to a 16-bit boundary
            std::size_t bytes = fourBit ? (code + 1) / 2 : code;
            bytes += bytes & 1;
            if (size - pos < bytes)
                return false;
            pos += bytes;
        }
    }
}

std::unique_ptr<QImage> DecodeBmp(const unsigned char* data, std::size_t size)
{
    constexpr std::size_t kFileHeader = 14;
    if (size < kFileHeader + 12 || data[0] != 'B' || data[1] != 'M')
        return nullptr;
    const std::size_t pixelOffset = Le32(data + 10);
    const std::uint32_t headerSize = Le32(data + 14);
    if (headerSize < 12 || headerSize > 1024 || size < kFileHeader + headerSize)
        return nullptr;

    const unsigned char* h = data + kFileHeader;
    long long width = 0;
    long long height = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    if (headerSize == 12) {
        width = Le16(h + 4);
        height = Le16(h + 6);
        bits = Le16(h + 10);
    } else if (headerSize >= 40) {
        width = static_cast<std::int32_t>(Le32(h + 4));
        height = static_cast<std::int32_t>(Le32(h + 8));
        bits = Le16(h + 14);
        compression = Le32(h + 16);
        coloursUsed = Le32(h + 32);
    } else {
        return nullptr;
    }
    if (height < 0)
        height = -height; // stored top row first
    if (!SizeAllowed(width, height))
        return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return nullptr;
    if (bits <= 8 && coloursUsed > (1u << bits))
        return nullptr;
    if (pixelOffset < kFileHeader + headerSize || pixelOffset >= size)
        return nullptr;

    enum : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };
    switch (compression) {
    case kRgb:
    case kBitFields: {
        if (compression == kBitFields && bits != 16 && bits != 32)
            return nullptr;
        const unsigned long long stride = (static_cast<unsigned long long>(width) * bits + 31) / 32 * 4;
        if (stride * static_cast<unsigned long long>(height) > size - pixelOffset)
            return nullptr;
        break;
    }
    case kRle8:
    case kRle4:
        if (bits != (compression == kRle8 ? 8u : 4u) ||
            !BmpRleComplete(data, size, pixelOffset, height, compression == kRle4))
            return nullptr;
        break;
    default:
        return nullptr;
    }

    QImage image;
    if (!image.loadFromData(QByteArrayView(data, static_cast<qsizetype>(size)), "BMP") ||
        !SizeAllowed(image.width(), image.height()))
        return nullptr;
    auto result = std::make_unique<QImage>(std::move(image).convertToFormat(QImage::Format_ARGB32));
    if (result->isNull())
        return nullptr;
    return result;
}

std::unique_ptr<QImage> Decode(const unsigned char* data, std::size_t size, PictureKind kind)
{
    switch (kind) {
    case PictureKind::Png:
        return DecodePng(data, size);
    case PictureKind::Jpeg:
        return DecodeJpeg(data, size);
    case PictureKind::Gif:
        return DecodeGif(data, size);
    case PictureKind::Bmp:
        return DecodeBmp(data, size);
    case PictureKind::Unknown:
        break;
    }
    return nullptr;
}

} // namespace

std::unique_ptr<QImage> DecodePictureBytes(const std::string& bytes, const std::string& extension)
{
    const PictureKind kind = KindOfExtension(extension);
    if (kind == PictureKind::Unknown || bytes.size() < kMinInputBytes || bytes.size() > kMaxInputBytes)
        return nullptr;
    try {
        return Decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), kind);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<QImage> DecodePictureFile(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    if (!extension.empty() && extension[0] == '.')
        extension.erase(0, 1);
    if (KindOfExtension(extension) == PictureKind::Unknown)
        return nullptr;

    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return nullptr;
    const auto fileSize = std::filesystem::file_size(path, ec);
    if (ec || fileSize < kMinInputBytes || fileSize > kMaxInputBytes)
        return nullptr;

    std::string bytes;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return nullptr;
        bytes.resize(static_cast<std::size_t>(fileSize));
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    } catch (const std::exception&) {
        return nullptr;
    }
    return DecodePictureBytes(bytes, extension);
}

// ------------------------------------------------------------- TPictureStore

TPictureStore& TPictureStore::Shared()
{
    static TPictureStore store;
    return store;
}

std::unique_ptr<QImage> TPictureStore::Load(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path, ec);
    const std::uintmax_t size = ec ? 0 : std::filesystem::file_size(path, ec);
    if (ec)
        return nullptr;
    const std::string key = path.lexically_normal().string();

    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found != entries_.end()) {
        if (found->second.time == time && found->second.size == size)
            return found->second.refused ? nullptr : std::make_unique<QImage>(found->second.image);
        held_ -= static_cast<std::size_t>(found->second.image.sizeInBytes()); // the file changed
        entries_.erase(found);
    }

    const auto decode = [&] {
        tBytesLeft = budget_ > held_ ? budget_ - held_ : 0;
        tPassedBudget = false;
        std::unique_ptr<QImage> image = DecodePictureFile(path);
        tBytesLeft = kMaxPictureBytes;
        return image;
    };
    std::unique_ptr<QImage> image = decode();
    if (!image && tPassedBudget && FreeUnused() > 0)
        image = decode();
    const bool passedBudget = !image && tPassedBudget;
    tPassedBudget = false;

    Entry& entry = entries_[key];
    entry.time = time;
    entry.size = size;
    if (!image) {
        // Damaged or too large files are not tried again until they change.
        entry.refused = true;
        if (passedBudget)
            messages_.push_back("The picture " + key + " is not shown: decoded, it would take more memory than is " +
                                "left of the " + std::to_string(budget_ / (1024 * 1024)) +
                                " MiB that pictures may take together.");
        return nullptr;
    }
    entry.image = *image;
    held_ += static_cast<std::size_t>(entry.image.sizeInBytes());
    return image;
}

std::size_t TPictureStore::FreeUnused()
{
    std::size_t freed = 0;
    for (auto it = entries_.begin(); it != entries_.end();) {
        // Held by the store alone: no element shows it any more.
        if (!it->second.refused && it->second.image.isDetached()) {
            freed += static_cast<std::size_t>(it->second.image.sizeInBytes());
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    held_ -= freed;
    return freed;
}

void TPictureStore::SetBudget(std::size_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    budget_ = bytes;
}

std::size_t TPictureStore::Budget() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return budget_;
}

std::size_t TPictureStore::BytesHeld() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

std::vector<std::string> TPictureStore::TakeMessages()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> taken;
    taken.swap(messages_);
    return taken;
}

void TPictureStore::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    held_ = 0;
}

// ------------------------------------------------- pictures held by elements

// The drawing side (render.cpp) is installed by every program that decodes
// pictures, so that what it decodes is also freed by it.
TDrawing& QtDrawing();

namespace {
const bool drawingInstalled = [] {
    TDrawing::Install(&QtDrawing());
    return true;
}();
} // namespace

TImagePtr ImagePtr(std::unique_ptr<QImage> image) { return TImagePtr(image.release()); }

TPicture& TPicture::operator=(std::unique_ptr<QImage> image) { return *this = ImagePtr(std::move(image)); }

void TPicture::Resolve() const
{
    std::vector<PendingLoad> loads;
    loads.swap(pending_);
    // Only the last request whose file exists decodes anything; the ones
    // before it are overwritten, the ones after it (missing files) keep it.
    int last = -1;
    std::string file;
    for (int i = static_cast<int>(loads.size()) - 1; i >= 0 && last < 0; --i) {
        const PendingLoad& load = loads[static_cast<size_t>(i)];
        file = load.elementRelative ? load.project->ElementPicturePath(load.path) : load.path;
        if (Project::PictureFileExists(file))
            last = i;
    }
    if (last >= 0)
        image_ = ImagePtr(TPictureStore::Shared().Load(file)); // one decode shared by every element naming the file
    const bool missingAfter = last < static_cast<int>(loads.size()) - 1;
    if (!image_ && missingAfter)
        image_ = TImagePtr(new QImage()); // what a load of a missing file leaves
}

void Project::LoadElementPictureNow(TImagePtr& picture, const std::string& path) const
{
    LoadPictureNow(picture, ElementPicturePath(path));
}

void Project::LoadPictureNow(TImagePtr& picture, const std::string& path) const
{
    const std::string file = ToPlatformSeparators(path);
    if (!picture)
        picture = TImagePtr(new QImage());
    if (!PictureFileExists(path))
        return;
    picture = ImagePtr(DecodePictureFile(std::filesystem::path(file)));
}

} // namespace kestrune
