#include "pictures/picturesignature.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString writePicture(const QTemporaryDir &dir, const QString &name, const QImage &image, int quality = 95)
{
    const QString path = dir.filePath(name);
    QImageWriter writer(path);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return path;
}

// Left half one colour, right half another: easy to reason about cell by cell.
QImage halves(int width, int height, QColor left, QColor right)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height, left);
    p.fillRect(width / 2, 0, width - width / 2, height, right);
    return image;
}

int channelSpread(const Signature &s)
{
    int lo = 255, hi = 0;
    for (int16_t v : s) {
        lo = std::min<int>(lo, v);
        hi = std::max<int>(hi, v);
    }
    return hi - lo;
}

} // namespace

TEST(PictureSignature, StretchesThePictureIgnoringItsAspectRatio)
{
    // A wide picture with a red left half and a blue right half fills columns 0-3 red and 4-7 blue.
    QTemporaryDir dir;
    const QString path = writePicture(dir, QStringLiteral("wide.png"), halves(640, 160, Qt::red, Qt::blue));
    const auto sig = computePictureSignature(path);
    ASSERT_TRUE(sig.has_value());
    EXPECT_EQ(sig->face.size(), QSize(64, 64));
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(sig->cells[3 * (8 * row + 0)], 255);
        EXPECT_EQ(sig->cells[3 * (8 * row + 0) + 2], 0);
        EXPECT_EQ(sig->cells[3 * (8 * row + 7) + 2], 255);
        EXPECT_EQ(sig->cells[3 * (8 * row + 7)], 0);
    }
}

TEST(PictureSignature, FineDetailIsAveragedNotSampled)
{
    // One-pixel black and white stripes average to grey in every cell; sampling would give 0 or 255.
    QImage stripes(1000, 750, QImage::Format_RGB32);
    for (int y = 0; y < stripes.height(); ++y)
        for (int x = 0; x < stripes.width(); ++x)
            stripes.setPixel(x, y, (x % 2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    QTemporaryDir dir;
    for (const QString &name : {QStringLiteral("stripes.png"), QStringLiteral("stripes.bmp")}) {
        const auto sig = computePictureSignature(writePicture(dir, name, stripes));
        ASSERT_TRUE(sig.has_value());
        for (int16_t v : sig->cells) {
            EXPECT_GE(v, 110) << name.toStdString();
            EXPECT_LE(v, 145) << name.toStdString();
        }
    }
}

TEST(PictureSignature, LargeJpegDecodedAtReducedSizeKeepsItsColours)
{
    // A 12-megapixel JPEG gives the same grid as its colours say, within JPEG's rounding.
    QImage big = halves(4000, 3000, QColor(200, 40, 40), QColor(30, 160, 90));
    QTemporaryDir dir;
    const auto sig = computePictureSignature(writePicture(dir, QStringLiteral("big.jpg"), big, 90));
    ASSERT_TRUE(sig.has_value());
    for (int row = 0; row < 8; ++row) {
        EXPECT_NEAR(sig->cells[3 * (8 * row + 1)], 200, 4);
        EXPECT_NEAR(sig->cells[3 * (8 * row + 6) + 1], 160, 4);
    }
}

TEST(PictureSignature, SameFileSameSignatureEveryTime)
{
    // Repeated computation of one file gives identical signatures (the catalogue must be reproducible).
    QImage image(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            image.setPixel(x, y, qRgb(x * 255 / 800, y * 255 / 600, (x + y) * 255 / 1400));
    QTemporaryDir dir;
    const QString path = writePicture(dir, QStringLiteral("gradient.jpg"), image, 85);
    const auto first = computePictureSignature(path);
    ASSERT_TRUE(first.has_value());
    EXPECT_GT(channelSpread(first->cells), 50);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(computePictureSignature(path)->cells, first->cells);
}

TEST(PictureSignature, BytesInMemoryGiveWhatTheirFileGives)
{
    // A picture's bytes read from memory give the signature and face of its file; bytes that are no picture give none.
    QTemporaryDir dir;
    for (const QString &name : {QStringLiteral("p.jpg"), QStringLiteral("p.png")}) {
        const QString path = writePicture(dir, name, halves(300, 200, QColor(10, 200, 30), QColor(250, 20, 120)), 80);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const auto fromMemory = computePictureSignature(buffer);
        ASSERT_TRUE(fromMemory.has_value()) << name.toStdString();
        EXPECT_EQ(fromMemory->cells, computePictureSignature(path)->cells) << name.toStdString();
        EXPECT_EQ(fromMemory->face, computePictureSignature(path)->face) << name.toStdString();
    }
    QByteArray text("not a picture at all");
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_FALSE(computePictureSignature(buffer).has_value());
}

TEST(PictureSignature, TransparentPartsShowTheFaceColour)
{
    // A fully transparent picture reads as the face's grey 224.
    QImage clear(100, 100, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    QTemporaryDir dir;
    const auto sig = computePictureSignature(writePicture(dir, QStringLiteral("clear.png"), clear));
    ASSERT_TRUE(sig.has_value());
    for (int16_t v : sig->cells)
        EXPECT_EQ(v, 224);
}

TEST(PictureSignature, FilesThatAreNotPicturesGiveNoSignature)
{
    // A text file, an empty file and a missing file are refused.
    QTemporaryDir dir;
    QFile text(dir.filePath(QStringLiteral("notes.jpg")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture at all");
    text.close();
    QFile empty(dir.filePath(QStringLiteral("empty.jpg")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_FALSE(computePictureSignature(text.fileName()).has_value());
    EXPECT_FALSE(computePictureSignature(empty.fileName()).has_value());
    EXPECT_FALSE(computePictureSignature(dir.filePath(QStringLiteral("missing.jpg"))).has_value());
}

namespace {

// A 64 x 64 picture whose every pixel differs from its neighbours' in some channel.
QImage noisePicture()
{
    QImage image(64, 64, QImage::Format_RGB32);
    uint32_t state = 12345;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            state = state * 1103515245u + 12345u;
            image.setPixel(x, y, qRgb((state >> 8) & 0xFF, (state >> 16) & 0xFF, (state >> 24) & 0xFF));
        }
    }
    return image;
}

} // namespace

TEST(PictureSignature, TurningsOfTheGridAreThoseOfThePicture)
{
    // A square picture turned clockwise and mirrored left to right by Qt has exactly the
    // kernel's turning of its grid, in the order the kernel numbers them.
    const QImage picture = noisePicture();
    const Signature grid = signatureOfSurface(picture);
    for (int t = 0; t < pixcore::GridTurnCount; ++t) {
        Signature expected;
        pixcore::turnSignature(grid.data(), pixcore::GridTurn(t), expected.data());
        const QImage source = t >= 4 ? picture.mirrored(true, false) : picture;
        EXPECT_EQ(signatureOfSurface(source.transformed(QTransform().rotate(90 * (t % 4)))), expected) << "turning " << t;
    }
}

namespace {

struct DecodeCase {
    const char *name;
    int width;
    int height;
    bool progressive = false;
    bool grey = false;
    bool cut = false; // the file ends half-way
};

class JpegFromFile : public ::testing::TestWithParam<DecodeCase>
{
};

// A JPEG file gives exactly the face and signature Qt's reader gives for its bytes, whatever
// its size (each 1/8 step), scan order, colour kind or damage.
TEST_P(JpegFromFile, GivesWhatTheReaderGives)
{
    const DecodeCase &c = GetParam();
    QImage image(c.width, c.height, QImage::Format_RGB32);
    std::srand(c.width * 7919 + c.height);
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x)
            image.setPixel(x, y, qRgb((x * 255) / c.width, std::rand() % 256, (y * 255) / c.height));
    }
    if (c.grey)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.jpg"));
    QImageWriter writer(path);
    writer.setQuality(85);
    writer.setProgressiveScanWrite(c.progressive);
    ASSERT_TRUE(writer.write(image));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    if (c.cut) {
        bytes.truncate(bytes.size() / 2);
        ASSERT_TRUE(file.resize(bytes.size()));
    }
    file.close();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const auto fromReader = computePictureSignature(buffer);
    const auto fromFile = computePictureSignature(path);
    ASSERT_EQ(fromFile.has_value(), fromReader.has_value());
    ASSERT_TRUE(fromFile.has_value());
    EXPECT_EQ(fromFile->face, fromReader->face);
    EXPECT_EQ(fromFile->cells, fromReader->cells);
}

INSTANTIATE_TEST_SUITE_P(Sizes, JpegFromFile,
                         ::testing::Values(DecodeCase{"exact", 64, 64}, DecodeCase{"small", 100, 70},
                                           DecodeCase{"wide", 1000, 13}, DecodeCase{"tall", 90, 700},
                                           DecodeCase{"eighth", 513, 700}, DecodeCase{"quarter", 300, 200},
                                           DecodeCase{"large", 1600, 1200}, DecodeCase{"progressive", 900, 600, true},
                                           DecodeCase{"grey", 800, 600, false, true},
                                           DecodeCase{"cut", 800, 600, false, false, true}),
                         [](const ::testing::TestParamInfo<DecodeCase> &info) { return std::string(info.param.name); });

} // namespace
