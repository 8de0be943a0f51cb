#include "heifgrid.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

// Tile s of four, each of its own colour under a gradient, so that a tile out of place shows.
QImage tilePicture(int s)
{
    static const QRgb colours[] = {qRgb(220, 40, 40), qRgb(40, 200, 60), qRgb(50, 60, 230), qRgb(230, 220, 60)};
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb c = colours[s];
            image.setPixel(x, y, qRgb(qRed(c) * (128 + x) / 192, qGreen(c) * (128 + y) / 192, qBlue(c)));
        }
    return image;
}

const std::vector<HeifTile> &codedTiles()
{
    static const std::vector<HeifTile> tiles = [] {
        std::vector<HeifTile> coded;
        for (int s = 0; s < 4; ++s)
            if (const auto tile = codeTile(tilePicture(s)))
                coded.push_back(*tile);
        return coded;
    }();
    return tiles;
}

// The mean difference of a channel between a cell of the read picture and its tile.
double cellDifference(const QImage &read, int column, int row, const QImage &tile)
{
    long long sum = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb a = read.pixel(column * 64 + x, row * 64 + y), b = tile.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
    return double(sum) / (64.0 * 64.0 * 3.0);
}

struct GridCase {
    const char *row;
    int columns;
    int rows;
    int tileItems; // 0: one a cell
    int codedTiles;
    bool shareBytes;
    int otherItems;
    bool wideCounts;
    int metaSizeField;
    bool readable;
};

class HeifGridLimits : public ::testing::TestWithParam<GridCase> {};

// Grids as cameras write them are read, tile by tile in place; a file of more items, item
// references or tiles than any camera writes is refused before libheif parses it.
TEST_P(HeifGridLimits, ReadsCameraGridsAndRefusesHostileCounts)
{
    const GridCase &c = GetParam();
    if (codedTiles().size() < 4)
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    HeifGridFile grid;
    grid.columns = c.columns;
    grid.rows = c.rows;
    grid.tiles.assign(codedTiles().begin(), codedTiles().begin() + c.codedTiles);
    grid.tileItems = c.tileItems;
    grid.shareBytes = c.shareBytes;
    grid.otherItems = c.otherItems;
    grid.wideCounts = c.wideCounts;
    grid.metaSizeField = c.metaSizeField;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("grid.heic"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(grid.bytes()) > 0);
    file.close();

    QImageReader reader(path);
    const QSize size = reader.size();
    if (!c.readable) {
        ASSERT_FALSE(size.isValid()) << c.row;
        EXPECT_TRUE(reader.read().isNull()) << c.row;
        return;
    }
    ASSERT_EQ(size, QSize(c.columns * 64, c.rows * 64)) << c.row;
    const QImage picture = reader.read();
    ASSERT_EQ(picture.size(), size) << c.row;
    const int tiles = c.tileItems > 0 ? c.tileItems : c.columns * c.rows;
    for (int k = 0; k < c.columns * c.rows; ++k)
        EXPECT_LE(cellDifference(picture, k % c.columns, k / c.columns, tilePicture(k % tiles % c.codedTiles)), 6.0)
            << c.row << ": tile " << k;
}

INSTANTIATE_TEST_SUITE_P(
    Counts, HeifGridLimits,
    ::testing::Values(
        GridCase{"2x2 grid", 2, 2, 0, 4, false, 0, false, -1, true},
        GridCase{"8x6 grid as a phone writes it", 8, 6, 0, 4, false, 3, false, -1, true},
        GridCase{"2x2 grid of 32-bit counts and ids", 2, 2, 0, 4, false, 0, true, -1, true},
        GridCase{"2x2 grid, meta of a 64-bit size", 2, 2, 0, 4, false, 0, false, 1, true},
        GridCase{"32x32 distinct tiles", 32, 32, 0, 4, false, 0, false, -1, true},
        GridCase{"16,384 tile items over one tile", 128, 128, 0, 1, true, 0, false, -1, false},
        GridCase{"10,000 tile items over one tile", 100, 100, 0, 1, true, 0, false, -1, false},
        GridCase{"16,384 references to one tile item", 128, 128, 1, 1, false, 0, false, -1, false},
        GridCase{"2,304 distinct tiles", 48, 48, 0, 4, false, 0, false, -1, false},
        GridCase{"3,000 items beside a 2x2 grid", 2, 2, 0, 4, false, 3000, false, -1, false},
        GridCase{"10,000 tile items of 32-bit counts", 100, 100, 0, 1, true, 0, true, -1, false},
        GridCase{"10,000 tile items, meta sized to the end", 100, 100, 0, 1, true, 0, false, 0, false},
        GridCase{"10,000 tile items, meta of a 64-bit size", 100, 100, 0, 1, true, 0, false, 1, false}),
    [](const ::testing::TestParamInfo<GridCase> &info) {
        std::string name = info.param.row;
        std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

} // namespace
