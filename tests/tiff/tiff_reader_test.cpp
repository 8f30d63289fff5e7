// Tests of the TIFF reader on files made here byte by byte: damaged directories and data that
// libtiff's tools never write, and the rows a window asks for. The pictures of well-formed files
// are checked against libtiff itself by tiff_check.py.
#include <algorithm>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raster_view.h"
#include "support/temp_dir.h"
#include "tiff_reader.h"

namespace vutil::test {
namespace {

namespace tiff = vutil::tool::tiff;

/// A little-endian TIFF file: directory entries (tag, type, count, value) and data blocks.
struct TiffFile {
    std::string bytes = std::string("II*\0\0\0\0\0", 8);
    void u16(uint32_t v) { bytes += {static_cast<char>(v), static_cast<char>(v >> 8)}; }
    void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
    void setU32(std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    }
    uint32_t data(const std::string &block) {
        const auto at = static_cast<uint32_t>(bytes.size());
        bytes += block;
        return at;
    }
    /// Appends a directory; the previous one (or the header) links to it. Its own link is returned.
    std::size_t directory(const std::vector<std::array<uint32_t, 4>> &entries, std::size_t link = 4) {
        setU32(link, static_cast<uint32_t>(bytes.size()));
        u16(static_cast<uint32_t>(entries.size()));
        for (const auto &[tag, type, count, value] : entries) {
            u16(tag), u16(type), u32(count), u32(value);
        }
        u32(0);
        return bytes.size() - 4;
    }
};

/// A bilevel page: width x height, one strip of the given data (uncompressed unless said).
std::vector<std::array<uint32_t, 4>> page(uint32_t width, uint32_t height, uint32_t offset, uint32_t count,
                                          uint32_t compression = 1, uint32_t photometric = 0) {
    return {{256, 4, 1, width},  {257, 4, 1, height},      {258, 3, 1, 1},     {259, 3, 1, compression},
            {262, 3, 1, photometric}, {273, 4, 1, offset}, {278, 4, 1, height}, {279, 4, 1, count}};
}

/// The rows a reader hands out, as strings of '#' (ink) and '.'.
struct Rows : tiff::RowSink {
    int32_t width;
    std::vector<int32_t> ys;
    std::vector<std::string> text;
    explicit Rows(int32_t w) : width(w) {}
    void row(int32_t y, std::span<const int32_t> ink) override {
        std::string line(static_cast<std::size_t>(width), '.');
        for (std::size_t i = 0; i + 1 < ink.size(); i += 2) {
            for (int32_t x = ink[i]; x < ink[i + 1]; ++x) line.at(static_cast<std::size_t>(x)) = '#';
        }
        ys.push_back(y);
        text.push_back(line);
    }
};

/// Opens page `page` and reads rows [first, last); the error, empty on success.
std::string readFile(const TiffFile &file, Rows &rows, int32_t page = 0, int32_t first = 0, int32_t last = 1 << 30) {
    TempDir dir;
    tiff::Reader reader;
    std::string error;
    if (reader.open(dir.write("t.tif", file.bytes), page, error)) {
        reader.read(first, last, rows, error);
    }
    return error;
}

TEST(TiffReader, DamagedDirectoriesEndWithTheirReason) {
    struct Case {
        const char *name;
        void (*make)(TiffFile &);
        int32_t page;
        const char *reason;
    };
    const Case cases[] = {
        {"a loop: the first page still reads, the second does not exist",
         [](TiffFile &f) { f.setU32(f.directory(page(8, 1, f.data("\xF0"), 1)), 8 + 1); }, 1,
         "the chain of pages loops back after page 1"},
        {"a directory past the end", [](TiffFile &f) { f.setU32(4, 1 << 20); }, 0, "page 1 lies past the end"},
        {"a directory cut short",
         [](TiffFile &f) { f.directory(page(8, 1, 0, 1)), f.bytes.resize(f.bytes.size() - 30); }, 0,
         "runs past the end of the file"},
        {"a strip past the end", [](TiffFile &f) { f.directory(page(8, 1, 5000, 1)); }, 0, "strip 0 lies past the end"},
        {"two million strip offsets outside the file",
         [](TiffFile &f) {
             auto entries = page(8, 2000000, 8, 1);
             entries[5] = {273, 4, 2000000, 8}, entries[6] = {278, 4, 1, 1};
             f.directory(entries);
         },
         0, "not a table in the file"},
        {"fewer strips than rows need",
         [](TiffFile &f) {
             auto entries = page(8, 4, f.data("\xFF\xFF"), 2);
             entries[6] = {278, 4, 1, 2};
             f.directory(entries);
         },
         0, "lists 1 strips for 2"},
        {"BigTIFF", [](TiffFile &f) { f.bytes = std::string("II+\0\x08\0\0\0", 8); }, 0, "BigTIFF"},
        {"colour", [](TiffFile &f) { auto e = page(8, 1, 8, 1, 1, 2); f.directory(e); }, 0, "colour images"},
        {"LZW", [](TiffFile &f) { f.directory(page(8, 1, 8, 1, 5)); }, 0, "compression 5 is not read"},
        {"G4 garbage", [](TiffFile &f) { f.directory(page(64, 3, f.data(std::string(9, '\0')), 9, 4)); }, 0,
         "strip 0: no two-dimensional code in row 0"},
        {"PackBits that end inside a row", [](TiffFile &f) { f.directory(page(64, 2, f.data("\x03\x01"), 2, 32773)); },
         0, "strip 0: the PackBits data ends"},
        {"a width that is not a number", [](TiffFile &f) { auto e = page(8, 1, 8, 1); e[0][1] = 5; f.directory(e); },
         0, "the image width is not a number"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TiffFile file;
        c.make(file);
        Rows rows(8);
        EXPECT_NE(readFile(file, rows, c.page).find(c.reason), std::string::npos) << readFile(file, rows, c.page);
    }
}

TEST(TiffReader, AFullDirectoryOfUnknownTagsInAnyOrderReads) {
    TiffFile file;
    const uint32_t strip = file.data("\x81\x7E");
    std::vector<std::array<uint32_t, 4>> entries;
    for (uint32_t i = 0; entries.size() < 65526; ++i) entries.push_back({65535 - i % 65000, 7, 9, 0xFFFFFFFF});
    for (const auto &entry : page(16, 1, strip, 2)) entries.push_back(entry);
    entries.push_back({256, 4, 1, 99});  // a second width: the first one counts
    file.directory(entries);
    Rows rows(16);
    EXPECT_EQ(readFile(file, rows), "");
    EXPECT_EQ(rows.text, std::vector<std::string>{"#......#.######."});
}

TEST(TiffReader, PackBitsRunsCrossRowsAndPhotometricOneMakesZeroInk) {
    TiffFile file;
    // Rows of 12 pixels (2 bytes): a run of three 0x0F bytes crosses into the second row.
    file.directory(page(12, 2, file.data("\xFE\x0F\x00\xF0"), 4, 32773, 1));
    Rows rows(12);
    ASSERT_EQ(readFile(file, rows), "");
    EXPECT_EQ(rows.text, (std::vector<std::string>{"####....####", "####....####"}));
}

TEST(TiffReader, TilesAreCutAtTheImageAndWindowsGiveOnlyTheirRows) {
    TiffFile file;
    // 20 x 3 pixels in 16 x 2 tiles: two across, two down, the right and bottom ones cut.
    // Every tile holds ink past the image's edges, which must not show.
    const std::string tile(4, '\xFF');
    const uint32_t first = file.data(tile + tile + std::string("\x80\x00\xFF\xFF\xE0\x0F\xFF\xFF", 8));
    const uint32_t offsets = file.data(std::string("\0\0\0\0\x04\0\0\0\x08\0\0\0\x0C\0\0\0", 16));
    const uint32_t counts = file.data(std::string("\x04\0\0\0\x04\0\0\0\x04\0\0\0\x04\0\0\0", 16));
    for (uint32_t i = 0; i < 4; ++i) file.setU32(offsets + 4 * i, first + 4 * i);
    file.directory({{256, 4, 1, 20}, {257, 4, 1, 3}, {258, 3, 1, 1}, {262, 3, 1, 0}, {322, 3, 1, 16},
                    {323, 3, 1, 2}, {324, 4, 4, offsets}, {325, 4, 4, counts}});
    Rows all(20);
    ASSERT_EQ(readFile(file, all), "");
    EXPECT_EQ(all.text, (std::vector<std::string>{"####################", "####################",
                                                   "#...............###."}));
    Rows window(20);
    ASSERT_EQ(readFile(file, window, 0, 1, 2), "");
    EXPECT_EQ(window.ys, std::vector<int32_t>{1});
}

TEST(AreaFit, EachOutputPixelIsTheInkOfItsCell) {
    // 10 x 4 pixels into 5 x 2: cells of 2 x 2 pixels.
    tool::AreaFit fit;
    std::string error;
    ASSERT_TRUE(fit.start({0, 0, 10, 4}, 5, 2, error)) << error;
    const std::vector<std::vector<int32_t>> rows = {{0, 2, 4, 5}, {0, 2}, {9, 10}, {}};
    for (int32_t y = 0; y < 4; ++y) fit.row(y, rows[static_cast<std::size_t>(y)]);
    const tool::GreyPicture &picture = fit.picture();
    const std::vector<uint8_t> top(picture.pixels.begin(), picture.pixels.begin() + 5);
    const std::vector<uint8_t> bottom(picture.pixels.begin() + picture.stride, picture.pixels.begin() + picture.stride + 5);
    EXPECT_EQ(top, (std::vector<uint8_t>{0, 255, 191, 255, 255}));
    EXPECT_EQ(bottom, (std::vector<uint8_t>{255, 255, 255, 255, 191}));
}

TEST(AreaFit, AnyNumberOfCellsFitsAnyLength) {
    // A pitch of length / cells may fall a rounding short (2068 / 26 does); every pairing
    // must still cut the window, and a window wholly inked gives a wholly black picture.
    std::vector<std::pair<int32_t, int32_t>> sizes = {{2068, 26}, {18700, 1600}, {13200, 1129}};
    for (int32_t length = 1; length <= 120; ++length) {
        for (int32_t cells = 1; cells <= length; ++cells) sizes.emplace_back(length, cells);
    }
    for (const auto &[length, cells] : sizes) {
        tool::AreaFit fit;
        std::string error;
        ASSERT_TRUE(fit.start({0, 0, length, 2}, cells, 1, error)) << length << " into " << cells << ": " << error;
        const std::vector<int32_t> ink = {0, length};
        fit.row(0, ink);
        fit.row(1, ink);
        const tool::GreyPicture &picture = fit.picture();
        ASSERT_EQ(std::count(picture.pixels.begin(), picture.pixels.begin() + cells, 0), cells) << length << " into " << cells;
        ASSERT_TRUE(fit.start({0, 0, 2, length}, 1, cells, error)) << length << " rows into " << cells << ": " << error;
    }
}

}  // namespace
}  // namespace vutil::test
