#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chatdb/ImageHeaders.h"
#include "platform/formats/ImageHeader.h"

namespace nudgerly {
namespace {

using namespace std::literals;

std::optional<PixelSize> sizeOf(std::string_view bytes) {
    return ImageHeader::pixelSize(bytes);
}

std::string littleEndian(uint32_t value, int size) {
    std::string bytes;
    for (int index = 0; index < size; ++index) {
        bytes.push_back(static_cast<char>((value >> (8 * index)) & 0xFF));
    }
    return bytes;
}

std::string webp(std::string_view chunk, std::string_view data) {
    return "RIFF"s + littleEndian(static_cast<uint32_t>(12 + data.size()), 4) + "WEBP" + std::string(chunk) +
           littleEndian(static_cast<uint32_t>(data.size()), 4) + std::string(data);
}

const std::string gif = "GIF89a"s + littleEndian(640, 2) + littleEndian(360, 2) + "\xF7\x00\x00"s;
const std::string webpLossy = webp("VP8 ", "\x30\x01\x00\x9D\x01\x2A"s + littleEndian(1200, 2) + littleEndian(630, 2));
const std::string webpLossless = webp("VP8L", "\x2F"s + littleEndian((799u) | (449u << 14), 4));
const std::string webpExtended = webp("VP8X", "\x10\x00\x00\x00"s + littleEndian(4095, 3) + littleEndian(2047, 3));

TEST(ImageHeaderTests, ReadsTheSizeEachFormatDeclares) {
    EXPECT_EQ(sizeOf(test::pngHeader(1200, 630)), (PixelSize{1200, 630}));
    EXPECT_EQ(sizeOf(test::jpegHeader(800, 418)), (PixelSize{800, 418}));
    EXPECT_EQ(sizeOf(gif), (PixelSize{640, 360}));
    EXPECT_EQ(sizeOf(webpLossy), (PixelSize{1200, 630}));
    EXPECT_EQ(sizeOf(webpLossless), (PixelSize{800, 450}));
    EXPECT_EQ(sizeOf(webpExtended), (PixelSize{4096, 2048}));

    // A progressive frame counts as a frame; a Huffman table (in the same marker range) does not.
    std::string progressive = test::jpegHeader(320, 240);
    progressive[progressive.size() - 18] = '\xC2';
    EXPECT_EQ(sizeOf(progressive), (PixelSize{320, 240}));
    std::string tableOnly = test::jpegHeader(320, 240);
    tableOnly[tableOnly.size() - 18] = '\xC4';
    EXPECT_EQ(sizeOf(tableOnly), std::nullopt);
}

TEST(ImageHeaderTests, CutOrEmptyOrUnknownImagesHaveNoSize) {
    for (const std::string& image :
         {test::pngHeader(300, 200), test::jpegHeader(300, 200), gif, webpLossy, webpLossless, webpExtended}) {
        for (std::size_t length = 0; length < image.size(); ++length) {
            const auto found = sizeOf(std::string_view(image).substr(0, length));
            // Formats whose size sits before their last bytes may answer early, but never wrongly.
            EXPECT_TRUE(!found || found == sizeOf(image)) << length;
        }
        EXPECT_EQ(sizeOf(std::string_view(image).substr(0, 9)), std::nullopt);
    }

    EXPECT_EQ(sizeOf(test::pngHeader(0, 100)), std::nullopt);
    EXPECT_EQ(sizeOf(test::pngHeader(100, 0x8000'0000)), std::nullopt);
    EXPECT_EQ(sizeOf(test::jpegHeader(0, 100)), std::nullopt);
    EXPECT_EQ(sizeOf("BM\x36\x00\x0C\x00\x00\x00\x00\x00\x36\x00\x00\x00"sv), std::nullopt);  // BMP
    EXPECT_EQ(sizeOf("II*\x00\x08\x00\x00\x00"sv), std::nullopt);                             // TIFF
    EXPECT_EQ(sizeOf("\x00\x00\x00\x18"
                     "ftypheic\x00\x00\x00\x00"sv),
              std::nullopt);  // HEIC
    EXPECT_EQ(sizeOf(webp("ALPH", std::string(16, 'x'))), std::nullopt);
    // Scan data before any frame header.
    EXPECT_EQ(sizeOf("\xFF\xD8\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\xFF\xD9"sv), std::nullopt);
}

}  // namespace
}  // namespace nudgerly
