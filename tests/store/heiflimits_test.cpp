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

// A gtest name for a row's words.
template <class Case>
std::string rowName(const ::testing::TestParamInfo<Case> &info)
{
    std::string name = info.param.row;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

// The file's bytes in `dir`, or an empty path when they could not be written.
QString writtenFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("picture.heic"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
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
    const QString path = writtenFile(dir, grid.bytes());
    ASSERT_FALSE(path.isEmpty());

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
    rowName<GridCase>);

// Where a box of `type` starts in a file's bytes (its first such box).
qsizetype boxAt(const QByteArray &bytes, const char *type)
{
    return bytes.indexOf(QByteArray(type, 4)) - 4;
}

void setSize(QByteArray &bytes, qsizetype at, uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(size >> (24 - 8 * i));
}

struct DamageCase {
    const char *row;
    bool hostile; // the grid of 10,000 tile items over one tile, else a 2x2 grid
    std::function<void(QByteArray &)> damage;
};

class HeifBoxDamage : public ::testing::TestWithParam<DamageCase> {};

// A file whose boxes do not fit in one another, or that ends inside its meta box, is not a
// picture, and hostile counts are found behind boxes of other kinds or an end cut short.
TEST_P(HeifBoxDamage, RefusesBoxesThatDoNotFit)
{
    const DamageCase &c = GetParam();
    if (codedTiles().size() < 4)
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    HeifGridFile grid;
    grid.columns = c.hostile ? 100 : 2;
    grid.rows = grid.columns;
    grid.tiles.assign(codedTiles().begin(), codedTiles().begin() + (c.hostile ? 1 : 4));
    grid.shareBytes = c.hostile;
    QByteArray bytes = grid.bytes();
    c.damage(bytes);
    QTemporaryDir dir;
    const QString path = writtenFile(dir, bytes);
    ASSERT_FALSE(path.isEmpty());
    QImageReader reader(path);
    ASSERT_FALSE(reader.size().isValid()) << c.row;
    EXPECT_TRUE(reader.read().isNull()) << c.row;
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, HeifBoxDamage,
    ::testing::Values(
        DamageCase{"cut after the meta box's header", false,
                   [](QByteArray &b) { b.truncate(boxAt(b, "meta") + 10); }},
        DamageCase{"cut inside the item infos", false,
                   [](QByteArray &b) { b.truncate(boxAt(b, "iinf") + 30); }},
        DamageCase{"cut inside the grid's references", false,
                   [](QByteArray &b) { b.truncate(boxAt(b, "dimg") + 12); }},
        DamageCase{"item infos larger than the meta box", false,
                   [](QByteArray &b) { setSize(b, boxAt(b, "iinf"), uint32_t(b.size())); }},
        DamageCase{"an item info of four bytes", false, [](QByteArray &b) { setSize(b, boxAt(b, "infe"), 4); }},
        DamageCase{"more references than the box holds", false,
                   [](QByteArray &b) {
                       const qsizetype at = boxAt(b, "dimg");
                       b[at + 10] = char(0x7f);
                   }},
        DamageCase{"a meta box larger than the file", false,
                   [](QByteArray &b) { setSize(b, boxAt(b, "meta"), 0xfffffff0u); }},
        DamageCase{"a 64-bit size cut short", false,
                   [](QByteArray &b) {
                       const qsizetype at = boxAt(b, "meta");
                       b.truncate(at + 12);
                       setSize(b, at, 1);
                   }},
        DamageCase{"hostile, behind boxes of other kinds", true,
                   [](QByteArray &b) {
                       const qsizetype at = boxAt(b, "meta");
                       b.insert(at, QByteArray("\0\0\0\x10" "free" "12345678\0\0\0\x08" "abcd", 24));
                   }},
        DamageCase{"hostile, its pictures' bytes cut short", true,
                   [](QByteArray &b) { b.truncate(boxAt(b, "mdat") + 40); }}),
    rowName<DamageCase>);

} // namespace
