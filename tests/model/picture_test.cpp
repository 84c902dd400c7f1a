#include "model/picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QImage>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "core/test_util.h"
#include "model/project.h"

namespace kestrune {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Writers for the test pictures, built with the same libraries the decoder uses.

void AppendToString(png_structp png, png_bytep data, std::size_t size)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), size);
}

struct PngPicture {
    int width = 0;
    int height = 0;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<std::string> rows; // packed as PNG stores them
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha; // tRNS for palette pictures
    png_color_16 transparent{};         // tRNS for grey and RGB pictures
    bool hasTransparent = false;
};

std::string WritePng(const PngPicture& p)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test picture";
        return {};
    }
    png_set_write_fn(png, &out, AppendToString, nullptr);
    png_set_IHDR(png, info, p.width, p.height, p.bitDepth, p.colorType,
                 p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty())
        png_set_PLTE(png, info, p.palette.data(), static_cast<int>(p.palette.size()));
    if (!p.paletteAlpha.empty())
        png_set_tRNS(png, info, p.paletteAlpha.data(), static_cast<int>(p.paletteAlpha.size()), nullptr);
    if (p.hasTransparent)
        png_set_tRNS(png, info, nullptr, 0, &p.transparent);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (const std::string& r : p.rows)
        rows.push_back(reinterpret_cast<png_bytep>(const_cast<char*>(r.data())));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A PNG holding only a header for width x height (valid CRC) and an end marker.
std::string PngHeaderOnly(std::uint32_t width, std::uint32_t height)
{
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    auto chunk = [&](const std::string& type, const std::string& body) {
        const std::string typed = type + body;
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
        return be32(static_cast<std::uint32_t>(body.size())) + typed + be32(static_cast<std::uint32_t>(crc));
    };
    const std::string ihdr = be32(width) + be32(height) + std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IEND", "");
}

enum class JpegKind { Rgb, Grey, Progressive, AdobeCmyk };

// A width x height JPEG whose left half is `left` and right half `right`
// (given as R, G, B; for the CMYK kind as the stored, inverted C, M, Y, K).
std::string WriteJpeg(JpegKind kind, int width, int height, const std::vector<int>& left,
                      const std::vector<int>& right)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    const int components = static_cast<int>(left.size());
    cinfo.input_components = components;
    cinfo.in_color_space = kind == JpegKind::Grey ? JCS_GRAYSCALE : kind == JpegKind::AdobeCmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width * components));
    for (int x = 0; x < width; ++x) {
        const auto& colour = x < width / 2 ? left : right;
        for (int c = 0; c < components; ++c)
            row[static_cast<std::size_t>(x * components + c)] = static_cast<JSAMPLE>(colour[c]);
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

int AppendGif(GifFileType* gif, const GifByteType* data, int size)
{
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
    return size;
}

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int transparent = NO_TRANSPARENT_COLOR;
    std::vector<std::vector<GifPixelType>> rows; // top to bottom
};

// A GIF with a four-colour global palette: red, green, blue, white.
std::string WriteGif(int screenWidth, int screenHeight, const std::vector<GifFrame>& frames)
{
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendGif, &error);
    EXPECT_NE(gif, nullptr);
    const GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EXPECT_EQ(EGifPutScreenDesc(gif, screenWidth, screenHeight, 2, 0, map), GIF_OK);
    for (const GifFrame& f : frames) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = f.transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension), GIF_OK);
        EXPECT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, nullptr), GIF_OK);
        std::vector<int> order;
        if (f.interlaced) {
            const int start[] = {0, 4, 2, 1};
            const int step[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < f.height; y += step[pass])
                    order.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y)
                order.push_back(y);
        }
        for (int y : order) {
            std::vector<GifPixelType> row = f.rows[static_cast<std::size_t>(y)];
            EXPECT_EQ(EGifPutLine(gif, row.data(), f.width), GIF_OK);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

GifFrame SolidFrame(int width, int height, GifPixelType index)
{
    GifFrame f;
    f.width = width;
    f.height = height;
    f.rows.assign(static_cast<std::size_t>(height), std::vector<GifPixelType>(static_cast<std::size_t>(width), index));
    return f;
}

std::string WriteBmpWithQt(const QImage& image)
{
    TempDir dir;
    const auto path = dir / "p.bmp";
    EXPECT_TRUE(image.save(QString::fromStdString(path.string()), "BMP"));
    return test::ReadFile(path);
}

// A small sample of every format, for the tests that damage them.
std::vector<std::pair<std::string, std::string>> Samples()
{
    QImage q(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < q.height(); ++y)
        for (int x = 0; x < q.width(); ++x)
            q.setPixel(x, y, qRgb(x * 6, y * 8, (x + y) * 3));
    PngPicture rgba;
    rgba.width = 40;
    rgba.height = 30;
    rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    for (int y = 0; y < 30; ++y) {
        std::string row;
        for (int x = 0; x < 40; ++x)
            row += std::string{static_cast<char>(x * 6), static_cast<char>(y * 8), static_cast<char>(x ^ y), '\x80'};
        rgba.rows.push_back(row);
    }
    GifFrame frame = SolidFrame(40, 30, 1);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            frame.rows[y][x] = static_cast<GifPixelType>((x * y) % 4);
    return {
        {"png", WritePng(rgba)},
        {"jpg", WriteJpeg(JpegKind::Rgb, 40, 30, {200, 10, 10}, {10, 10, 200})},
        {"jpg", WriteJpeg(JpegKind::Progressive, 40, 30, {200, 10, 10}, {10, 10, 200})},
        {"gif", WriteGif(40, 30, {frame})},
        {"bmp", WriteBmpWithQt(q)},
    };
}

void ExpectNear(QRgb actual, QRgb expected, int tolerance)
{
    EXPECT_NEAR(qRed(actual), qRed(expected), tolerance);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance);
    EXPECT_EQ(qAlpha(actual), qAlpha(expected));
}

// ---------------------------------------------------------------------------

TEST(Picture, PngOfEveryColourTypeBecomesStraightArgb)
{
    auto make = [](int width, int height, int colorType, int bitDepth, std::vector<std::string> rows) {
        PngPicture p;
        p.width = width;
        p.height = height;
        p.colorType = colorType;
        p.bitDepth = bitDepth;
        p.rows = std::move(rows);
        return p;
    };
    struct Case {
        const char* name;
        PngPicture picture;
        std::vector<QRgb> expected; // row by row
    };
    std::vector<Case> cases = {
        {"rgba 8-bit", make(2, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8, {test::Bytes("FF0000FF 00FF0080"), test::Bytes("0000FF00 0A141E28")}),
         {qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 128), qRgba(0, 0, 255, 0), qRgba(10, 20, 30, 40)}},
        {"palette 4-bit with tRNS", make(3, 1, PNG_COLOR_TYPE_PALETTE, 4, {test::Bytes("0120")}),
         {qRgba(255, 0, 0, 0), qRgba(0, 255, 0, 99), qRgba(0, 0, 255, 255)}},
        {"grey 1-bit", make(3, 1, PNG_COLOR_TYPE_GRAY, 1, {test::Bytes("60")}),
         {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 255, 255)}},
        {"grey + alpha", make(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {test::Bytes("07C8 FA01")}),
         {qRgba(7, 7, 7, 200), qRgba(250, 250, 250, 1)}},
        {"grey with a transparent level", make(2, 1, PNG_COLOR_TYPE_GRAY, 8, {test::Bytes("0032")}),
         {qRgba(0, 0, 0, 0), qRgb(50, 50, 50)}},
        {"rgb with a transparent colour", make(2, 1, PNG_COLOR_TYPE_RGB, 8, {test::Bytes("010203 010204")}),
         {qRgba(1, 2, 3, 0), qRgb(1, 2, 4)}},
        // 16 bits a channel, Adam7: the high byte of each sample survives.
        {"rgb 16-bit interlaced", make(3, 3, PNG_COLOR_TYPE_RGB, 16, {}), {}},
    };
    cases[1].picture.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    cases[1].picture.paletteAlpha = {0, 99}; // the third entry stays opaque
    cases[4].picture.hasTransparent = true;
    cases[4].picture.transparent.gray = 0;
    cases[5].picture.hasTransparent = true;
    cases[5].picture.transparent = png_color_16{0, 1, 2, 3, 0};
    Case& deep = cases[6];
    deep.picture.interlaced = true;
    for (int y = 0; y < 3; ++y) {
        std::string row;
        for (int x = 0; x < 3; ++x) {
            row += std::string{static_cast<char>(x * 100), '\x7F', static_cast<char>(y * 100), '\xFF', '\x12', '\x34'};
            deep.expected.push_back(qRgb(x * 100, y * 100, 0x12));
        }
        deep.picture.rows.push_back(row);
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = DecodePictureBytes(WritePng(c.picture), "png");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->format(), QImage::Format_ARGB32);
        ASSERT_EQ(image->size(), QSize(c.picture.width, c.picture.height));
        for (int y = 0; y < c.picture.height; ++y)
            for (int x = 0; x < c.picture.width; ++x)
                EXPECT_EQ(image->pixel(x, y), c.expected[static_cast<std::size_t>(y * c.picture.width + x)])
                    << "at " << x << "," << y;
    }
}

TEST(Picture, FilesAreChosenByExtensionWithoutRegardToCase)
{
    TempDir dir;
    QImage q(5, 4, QImage::Format_ARGB32);
    q.fill(qRgba(10, 20, 30, 77));
    q.setPixel(4, 3, qRgba(200, 100, 0, 255));
    ASSERT_TRUE(q.save(QString::fromStdString((dir / "A.PNG").string()), "PNG"));

    auto image = DecodePictureFile(dir / "A.PNG");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format(), QImage::Format_ARGB32);
    EXPECT_EQ(*image, q);

    const std::string bytes = test::ReadFile(dir / "A.PNG");
    EXPECT_NE(DecodePictureBytes(bytes, "Png"), nullptr);
    // The extension decides: PNG bytes are not a JPEG, a GIF or a Targa file.
    EXPECT_EQ(DecodePictureBytes(bytes, "jpg"), nullptr);
    EXPECT_EQ(DecodePictureBytes(bytes, "gif"), nullptr);
    EXPECT_EQ(DecodePictureBytes(bytes, "tga"), nullptr);
    EXPECT_EQ(DecodePictureBytes(bytes, ""), nullptr);
    EXPECT_EQ(DecodePictureBytes(bytes, ".png"), nullptr);
    test::WriteFile(dir / "x.tga", bytes);
    test::WriteFile(dir / "png", bytes);
    EXPECT_EQ(DecodePictureFile(dir / "x.tga"), nullptr);
    EXPECT_EQ(DecodePictureFile(dir / "png"), nullptr);

    // Missing, a folder, too short to be a picture.
    EXPECT_EQ(DecodePictureFile(dir / "missing.png"), nullptr);
    std::filesystem::create_directory(dir / "folder.png");
    EXPECT_EQ(DecodePictureFile(dir / "folder.png"), nullptr);
    test::WriteFile(dir / "short.png", bytes.substr(0, 15));
    EXPECT_EQ(DecodePictureFile(dir / "short.png"), nullptr);
    test::WriteFile(dir / "empty.gif", "");
    EXPECT_EQ(DecodePictureFile(dir / "empty.gif"), nullptr);
}

TEST(Picture, JpegRgbGreyProgressiveAndAdobeCmyk)
{
    struct Case {
        JpegKind kind;
        const char* extension;
        std::vector<int> left, right;
        QRgb expectLeft, expectRight;
    };
    const Case cases[] = {
        {JpegKind::Rgb, "jpg", {200, 30, 40}, {20, 90, 220}, qRgb(200, 30, 40), qRgb(20, 90, 220)},
        {JpegKind::Progressive, "JPEG", {0, 0, 0}, {255, 255, 0}, qRgb(0, 0, 0), qRgb(255, 255, 0)},
        {JpegKind::Grey, "Jpg", {30}, {220}, qRgb(30, 30, 30), qRgb(220, 220, 220)},
        // Stored inverted: red is no cyan, full magenta and yellow, no black.
        {JpegKind::AdobeCmyk, "jpeg", {255, 0, 0, 255}, {255, 255, 255, 128}, qRgb(255, 0, 0), qRgb(128, 128, 128)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        auto image = DecodePictureBytes(WriteJpeg(c.kind, 32, 24, c.left, c.right), c.extension);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->format(), QImage::Format_ARGB32);
        ASSERT_EQ(image->size(), QSize(32, 24));
        ExpectNear(image->pixel(3, 5), c.expectLeft, 6);
        ExpectNear(image->pixel(28, 20), c.expectRight, 6);
    }
}

TEST(Picture, GifFirstFrameWithTransparencyAndInterlace)
{
    GifFrame first = SolidFrame(6, 9, 0);
    first.transparent = 3;
    first.interlaced = true;
    for (int y = 0; y < 9; ++y)
        first.rows[y] = {static_cast<GifPixelType>(y % 3), 3, 1, 2, 0, static_cast<GifPixelType>(y == 8 ? 3 : 2)};
    GifFrame second = SolidFrame(6, 9, 1);

    auto image = DecodePictureBytes(WriteGif(6, 9, {first, second}), "GIF");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format(), QImage::Format_ARGB32);
    ASSERT_EQ(image->size(), QSize(6, 9));
    const QRgb palette[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgba(0, 0, 0, 0)};
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(image->pixel(x, y), palette[first.rows[y][x]]) << "at " << x << "," << y;

    // A frame smaller than the screen: the rest is transparent. A frame beyond
    // the screen grows the picture.
    GifFrame inner = SolidFrame(2, 2, 2);
    inner.left = 3;
    inner.top = 1;
    image = DecodePictureBytes(WriteGif(6, 4, {inner}), "gif");
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->size(), QSize(6, 4));
    EXPECT_EQ(image->pixel(3, 1), qRgb(0, 0, 255));
    EXPECT_EQ(image->pixel(4, 2), qRgb(0, 0, 255));
    EXPECT_EQ(image->pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(image->pixel(5, 3), qRgba(0, 0, 0, 0));
    image = DecodePictureBytes(WriteGif(2, 2, {inner}), "gif");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(5, 3));
}

TEST(Picture, BmpFromQtTopDownAndRunLength)
{
    QImage q(7, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            q.setPixel(x, y, qRgb(x * 30, y * 80, 255 - x));
    auto image = DecodePictureBytes(WriteBmpWithQt(q), "BMP");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format(), QImage::Format_ARGB32);
    EXPECT_EQ(*image, q.convertToFormat(QImage::Format_ARGB32));

    // 2 x 2, 24 bits, top row first (negative height).
    const std::string topDown = test::Bytes(
        "424D 46000000 00000000 36000000"
        "28000000 02000000 FEFFFFFF 0100 1800 00000000 10000000 130B0000 130B0000 00000000 00000000"
        "0000FF 00FF00 0000"
        "FF0000 FFFFFF 0000");
    image = DecodePictureBytes(topDown, "bmp");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image->pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image->pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(image->pixel(1, 1), qRgb(255, 255, 255));

    // 4 x 2, 8-bit run-length coded, two colours.
    const std::string rle = test::Bytes(
        "424D 4A000000 00000000 3E000000"
        "28000000 04000000 02000000 0100 0800 01000000 0C000000 130B0000 130B0000 02000000 00000000"
        "00FF0000 0000FF00"
        "0400 0000 0201 0200 0000 0001");
    image = DecodePictureBytes(rle, "bmp");
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->size(), QSize(4, 2));
    EXPECT_EQ(image->pixel(0, 1), qRgb(0, 255, 0)); // bottom row is stored first
    EXPECT_EQ(image->pixel(3, 1), qRgb(0, 255, 0));
    EXPECT_EQ(image->pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image->pixel(2, 0), qRgb(0, 255, 0));
    // The same without its end codes: the data runs out before the picture does.
    EXPECT_EQ(DecodePictureBytes(rle.substr(0, rle.size() - 4), "bmp"), nullptr);
}

TEST(Picture, TruncatedPicturesOfEveryFormatFail)
{
    for (const auto& [extension, bytes] : Samples()) {
        SCOPED_TRACE(extension);
        ASSERT_NE(DecodePictureBytes(bytes, extension), nullptr);
        for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{16}, std::size_t{30}, bytes.size() / 4,
                                bytes.size() / 2, bytes.size() * 3 / 4, bytes.size() - 20}) {
            SCOPED_TRACE(cut);
            EXPECT_EQ(DecodePictureBytes(bytes.substr(0, cut), extension), nullptr);
        }
    }
}

TEST(Picture, DamagedBytesNeverCrash)
{
    std::mt19937 rng(1234);
    const std::string magic[][2] = {{"png", "\x89PNG\r\n\x1a\n"}, {"jpg", "\xFF\xD8\xFF"}, {"gif", "GIF89a"}, {"bmp", "BM"}};
    for (const auto& m : magic) {
        for (int i = 0; i < 200; ++i) {
            // Garbage behind a valid signature: no crash, and whatever comes
            // out is within the limits.
            auto image = DecodePictureBytes(m[1] + test::RandomBytes(rng, 300), m[0]);
            if (image) {
                EXPECT_LE(std::max(image->width(), image->height()), kMaxPictureSide);
                EXPECT_LE(static_cast<std::size_t>(image->sizeInBytes()), kMaxPictureBytes);
            }
        }
    }
    // Valid pictures with bytes flipped here and there.
    for (const auto& [extension, bytes] : Samples()) {
        for (int i = 0; i < 100; ++i) {
            std::string damaged = bytes;
            for (int k = 0; k < 4; ++k)
                damaged[rng() % damaged.size()] = static_cast<char>(rng());
            auto image = DecodePictureBytes(damaged, extension);
            if (image) {
                EXPECT_EQ(image->format(), QImage::Format_ARGB32);
            }
        }
    }
    // A PNG whose first pixel data fails its checksum.
    std::string png = Samples()[0].second;
    const auto idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    png[idat + 8] = static_cast<char>(png[idat + 8] ^ 0x40);
    EXPECT_EQ(DecodePictureBytes(png, "png"), nullptr);
}

TEST(Picture, SizeLimitsHoldAtTheirBoundaries)
{
    // A side of 16384 pixels is allowed, 16385 is not, whichever side it is.
    auto greyLine = [](int width, int height) {
        PngPicture p;
        p.width = width;
        p.height = height;
        p.colorType = PNG_COLOR_TYPE_GRAY;
        p.rows.assign(static_cast<std::size_t>(height), std::string(static_cast<std::size_t>(width), '\x40'));
        return WritePng(p);
    };
    auto image = DecodePictureBytes(greyLine(kMaxPictureSide, 1), "png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(kMaxPictureSide - 1, 0), qRgb(64, 64, 64));
    EXPECT_NE(DecodePictureBytes(greyLine(1, kMaxPictureSide), "png"), nullptr);
    EXPECT_EQ(DecodePictureBytes(greyLine(kMaxPictureSide + 1, 1), "png"), nullptr);
    EXPECT_EQ(DecodePictureBytes(greyLine(1, kMaxPictureSide + 1), "png"), nullptr);
    EXPECT_EQ(DecodePictureBytes(WriteGif(1, kMaxPictureSide + 1, {SolidFrame(1, 1, 0)}), "gif"), nullptr);

    // 16384 x 4096 pixels need exactly 256 MiB; one more row is too many. A GIF
    // screen of that size with a one-pixel frame is a complete, tiny file.
    image = DecodePictureBytes(WriteGif(kMaxPictureSide, 4096, {SolidFrame(1, 1, 1)}), "gif");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image->pixel(kMaxPictureSide - 1, 4095), qRgba(0, 0, 0, 0));
    image.reset();
    EXPECT_EQ(DecodePictureBytes(WriteGif(kMaxPictureSide, 4097, {SolidFrame(1, 1, 1)}), "gif"), nullptr);
}

TEST(Picture, OversizedHeadersAreRefused)
{
    // PNG: one side too long; both sides allowed but 1 GiB of pixels.
    EXPECT_EQ(DecodePictureBytes(PngHeaderOnly(20000, 10), "png"), nullptr);
    EXPECT_EQ(DecodePictureBytes(PngHeaderOnly(16000, 16000), "png"), nullptr);

    // JPEG: the frame header of a real file edited to 20000 x 24 and 16000 x 16000.
    const std::string jpeg = WriteJpeg(JpegKind::Rgb, 32, 24, {1, 2, 3}, {4, 5, 6});
    const auto sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    std::string wide = jpeg;
    wide.replace(sof + 7, 2, "\x4E\x20");
    EXPECT_EQ(DecodePictureBytes(wide, "jpg"), nullptr);
    std::string huge = jpeg;
    huge.replace(sof + 5, 4, "\x3E\x80\x3E\x80");
    EXPECT_EQ(DecodePictureBytes(huge, "jpg"), nullptr);

    // GIF: a screen too wide; a frame of 16000 x 16000 on a small screen.
    EXPECT_EQ(DecodePictureBytes(WriteGif(20000, 1, {SolidFrame(1, 1, 0)}), "gif"), nullptr);
    std::string gif = WriteGif(1, 1, {SolidFrame(1, 1, 0)});
    const auto descriptor = gif.find(',');
    ASSERT_NE(descriptor, std::string::npos);
    gif.replace(descriptor + 5, 4, "\x80\x3E\x80\x3E");
    EXPECT_EQ(DecodePictureBytes(gif, "gif"), nullptr);

    // BMP: 20000 x 1 and 16000 x -16000.
    std::string bmp = WriteBmpWithQt(QImage(2, 2, QImage::Format_RGB32));
    bmp.replace(18, 8, test::Bytes("204E0000 01000000"));
    EXPECT_EQ(DecodePictureBytes(bmp, "bmp"), nullptr);
    bmp.replace(18, 8, test::Bytes("803E0000 80C1FFFF"));
    EXPECT_EQ(DecodePictureBytes(bmp, "bmp"), nullptr);
}

// Eight item definitions name a GIF of a few bytes whose frame sits on an
// 8192 x 8192 canvas (256 MiB decoded), three others a small icon.
TEST(PictureStore, OneDecodeIsSharedAndAPicturePastTheBudgetIsRefusedOnce)
{
    TempDir dir;
    const fs::path items = dir / "images" / "items";
    fs::create_directories(items);
    test::WriteFile(items / "vast.gif", WriteGif(8192, 8192, {SolidFrame(1, 1, 1)}));
    test::WriteFile(items / "ring.gif", WriteGif(16, 16, {SolidFrame(16, 16, 1)}));
    TPictureStore& store = TPictureStore::Shared();
    store.Clear();
    store.TakeMessages();
    const std::size_t budget = store.Budget();
    store.SetBudget(64 * 1024);

    Project p;
    p.LoadingShared = false;
    p.ProjectFolder = dir.Path().string() + "/";
    std::vector<TListedItem*> defs;
    for (int i = 0; i < 11; ++i) {
        auto* def = static_cast<TListedItem*>(p.ItemDefs->Add(p.ItemDefs->CreateItem()));
        def->Name = "I" + std::to_string(i);
        def->ParameterChanged("icon", i < 8 ? "vast.png" : "ring.png");
        defs.push_back(def);
    }
    for (int i = 0; i < 8; ++i)
        EXPECT_FALSE(defs[i]->Picture) << i;
    ASSERT_TRUE(defs[8]->Picture);
    for (int i = 9; i < 11; ++i)
        EXPECT_EQ(defs[i]->Picture->constBits(), defs[8]->Picture->constBits());
    EXPECT_EQ(defs[8]->Picture->pixel(3, 3), defs[10]->Picture->pixel(3, 3));
    EXPECT_EQ(store.BytesHeld(), std::size_t{16 * 16 * 4});
    const std::vector<std::string> messages = store.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("vast.gif"), std::string::npos);

    // A file changed on disk is decoded again, in the room its old picture leaves.
    test::WriteFile(items / "ring.gif", WriteGif(8, 8, {SolidFrame(8, 8, 1)}));
    fs::last_write_time(items / "ring.gif", fs::last_write_time(items / "ring.gif") + std::chrono::seconds(5));
    defs[9]->ParameterChanged("icon", "ring.png");
    ASSERT_TRUE(defs[9]->Picture);
    EXPECT_EQ(defs[9]->Picture->size(), QSize(8, 8));
    EXPECT_EQ(store.BytesHeld(), std::size_t{8 * 8 * 4});

    store.SetBudget(budget);
    store.Clear();
}

} // namespace
} // namespace kestrune
