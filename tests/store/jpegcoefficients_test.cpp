// A picture's coefficients streamed a row at a time are those the library reads into its
// own buffer of the whole picture, for whole files and for damaged ones; and where the data
// run out, the rest is not streamed, so a few bytes that claim a huge picture cost little.

#include "jpegwriter.h"
#include "pictures/jpeg/jpegdecoder.h"
#include "pictures/picturefacts.h"
#include "storetestutil.h"

#include <QImage>
#include <QPainter>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

namespace {

QImage shapes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QRandomGenerator random(7);
    for (int i = 0; i < 300; ++i) {
        painter.setBrush(QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
        painter.drawEllipse(random.bounded(width), random.bounded(height), random.bounded(4, 50), random.bounded(4, 50));
    }
    return image;
}

// The rows handed on that hold anything, each as its blocks' values, by component and row;
// the padding past the picture's edge is left out.
class Rows : public JpegBlockRows
{
public:
    explicit Rows(const JpegDecoder &jpeg)
    {
        for (int c = 0; c < jpeg.components(); ++c) {
            m_width.push_back(jpeg.blocksAcross(c));
            m_height.push_back(jpeg.blocksDown(c));
        }
    }

    void addRow(int component, unsigned row, const qint16 *blocks) override
    {
        ++handed;
        if (row >= m_height[size_t(component)])
            return;
        const std::vector<qint16> values(blocks, blocks + size_t(m_width[size_t(component)]) * 64);
        if (std::any_of(values.begin(), values.end(), [](qint16 v) { return v != 0; }))
            held[{component, row}] = values;
    }

    std::map<std::pair<int, unsigned>, std::vector<qint16>> held;
    int handed = 0;

private:
    std::vector<unsigned> m_width;
    std::vector<unsigned> m_height;
};

enum class Cut { None, AfterHeader, Quarter, Half, NearEnd, ShortOfEnd };

QByteArray cut(QByteArray jpeg, Cut cut)
{
    const qsizetype data = jpeg.lastIndexOf("\xFF\xDA") + 12;
    const qsizetype length = jpeg.size() - data;
    switch (cut) {
    case Cut::None: return jpeg;
    case Cut::AfterHeader: return jpeg.left(data + 1);
    case Cut::Quarter: return jpeg.left(data + length / 4);
    case Cut::Half: return jpeg.left(data + length / 2);
    case Cut::NearEnd: return jpeg.left(data + length * 9 / 10);
    case Cut::ShortOfEnd: return jpeg.left(jpeg.size() - 3);
    }
    return jpeg;
}

struct StreamCase {
    const char *name;
    int width, height;
    JpegEncoding encoding;
    Cut cut;
};

void PrintTo(const StreamCase &c, std::ostream *os) { *os << c.name; }

class Streamed : public ::testing::TestWithParam<StreamCase>
{
};

TEST_P(Streamed, AsTheLibraryReadsThem)
{
    const StreamCase &c = GetParam();
    const QByteArray jpeg = cut(encodeJpeg(shapes(c.width, c.height), c.encoding), c.cut);

    JpegDecoder whole(jpeg);
    ASSERT_TRUE(whole.readHeader());
    Rows read(whole);
    ASSERT_TRUE(whole.readCoefficients(read, 64L << 20));

    JpegDecoder streamed(jpeg);
    ASSERT_TRUE(streamed.readHeader());
    Rows stream(streamed);
    std::vector<qint16> workspace;
    ASSERT_TRUE(streamed.streamCoefficients(stream, workspace));

    EXPECT_FALSE(read.held.empty());
    EXPECT_EQ(stream.held.size(), read.held.size());
    EXPECT_TRUE(stream.held == read.held);
    if (c.cut == Cut::None) {
        EXPECT_GE(stream.handed, read.handed); // every row, and the padding rows too
    } else if (c.cut != Cut::NearEnd && c.cut != Cut::ShortOfEnd) {
        EXPECT_LT(stream.handed, read.handed); // not the rows after the end
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Streamed,
    ::testing::Values(StreamCase{"Whole", 320, 240, {}, Cut::None},
                      StreamCase{"AfterHeader", 320, 240, {}, Cut::AfterHeader},
                      StreamCase{"Quarter", 320, 240, {}, Cut::Quarter},
                      StreamCase{"Half", 320, 240, {}, Cut::Half},
                      StreamCase{"NearEnd", 320, 240, {}, Cut::NearEnd},
                      StreamCase{"ShortOfEnd", 320, 240, {}, Cut::ShortOfEnd},
                      StreamCase{"HalfOneMcuAcross", 16, 400, {}, Cut::Half},
                      StreamCase{"HalfFullChroma", 317, 233, {JCS_YCbCr, 1, 1}, Cut::Half},
                      StreamCase{"HalfGrey", 320, 240, {JCS_GRAYSCALE}, Cut::Half},
                      StreamCase{"HalfCmyk", 320, 240, {JCS_CMYK, 1, 1}, Cut::Half},
                      StreamCase{"HalfRestartEvery3", 320, 240, {JCS_YCbCr, 2, 2, 85, 3}, Cut::Half},
                      StreamCase{"HalfRestartEachMcu", 305, 199, {JCS_YCbCr, 2, 2, 85, 1}, Cut::Half},
                      StreamCase{"WholeRestartEachMcu", 305, 199, {JCS_YCbCr, 2, 2, 85, 1}, Cut::None},
                      StreamCase{"HalfArithmetic", 320, 240, {JCS_YCbCr, 2, 2, 85, 0, false, false, true}, Cut::NearEnd}),
    [](const ::testing::TestParamInfo<StreamCase> &info) { return std::string(info.param.name); });

// The frame's size set to `width` x `height`.
QByteArray claiming(QByteArray jpeg, int width, int height)
{
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    jpeg[frame + 5] = char(height >> 8);
    jpeg[frame + 6] = char(height & 0xFF);
    jpeg[frame + 7] = char(width >> 8);
    jpeg[frame + 8] = char(width & 0xFF);
    return jpeg;
}

TEST(Streamed, StopsWhereTheDataEnd)
{
    const QByteArray jpeg = claiming(encodeJpeg(shapes(64, 64), {}), 65000, 65000);
    JpegDecoder decoder(jpeg);
    ASSERT_TRUE(decoder.readHeader());
    ASSERT_EQ(decoder.width(), 65000);
    Rows stream(decoder);
    std::vector<qint16> workspace;
    EXPECT_TRUE(decoder.streamCoefficients(stream, workspace));
    // The data hold less than one row of MCUs of such a picture: its 3 components' bands,
    // 2 rows of blocks for the first.
    EXPECT_LE(stream.handed, 4);
    EXPECT_FALSE(stream.held.empty());
}

// The facts of a few bytes that claim a picture of 65,000 x 65,000: its size, and detail where
// the work is bounded by the data (Huffman coding) and none where only the picture's size
// would bound it (arithmetic coding, whose decoder goes on through zeros).
TEST(Streamed, FactsOfAHugeClaim)
{
    for (const bool arithmetic : {false, true}) {
        JpegEncoding encoding;
        encoding.arithmetic = arithmetic;
        QByteArray jpeg = encodeJpeg(shapes(64, 64), encoding);
        const qsizetype frame = jpeg.indexOf(arithmetic ? "\xFF\xC9" : "\xFF\xC0");
        ASSERT_GT(frame, 0);
        jpeg.replace(frame, 2, "\xFF\xC0"); // found by claiming() as any baseline frame
        jpeg = claiming(jpeg, 65000, 65000);
        jpeg.replace(frame, 2, arithmetic ? "\xFF\xC9" : "\xFF\xC0");
        QTemporaryDir temp;
        const QString path = temp.filePath(QStringLiteral("p.jpg"));
        ASSERT_TRUE(writeFile(path, jpeg));
        const PictureFacts facts = readPictureFacts(path);
        EXPECT_TRUE(facts.readable) << arithmetic;
        EXPECT_EQ(facts.width, 65000) << arithmetic;
        EXPECT_EQ(bool(facts.counts), !arithmetic) << arithmetic;
    }
}

} // namespace
