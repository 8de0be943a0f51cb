#include "pictures/uprightpicture.h"

#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Qt's allocation limit set for one test and given back after it, as it was.
class AllocationLimit
{
public:
    explicit AllocationLimit(int megabytes) : m_before(QImageReader::allocationLimit())
    {
        QImageReader::setAllocationLimit(megabytes);
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(m_before); }
    AllocationLimit(const AllocationLimit &) = delete;
    AllocationLimit &operator=(const AllocationLimit &) = delete;

private:
    int m_before;
};

struct BeyondLimitCase {
    const char *row;
    const char *format;
    QImage::Format stored;
    double wanted; // the scale asked for
    bool shown;    // false: its reader decodes the whole even to give it smaller
};

class BeyondLimit : public ::testing::TestWithParam<BeyondLimitCase> {};

// A picture whose whole needs more than Qt's allocation limit is decoded smaller, to fit
// it, or refused where its reader cannot; the limit stays as it was.
TEST_P(BeyondLimit, DecodesWithinTheLimit)
{
    const BeyondLimitCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.") + QString::fromLatin1(c.format).toLower());
    const QSize side(3000, 2000);
    {
        QImage image(side, c.stored);
        image.fill(QColor(30, 120, 220));
        ASSERT_TRUE(image.save(path, c.format)) << c.row;
    }
    constexpr int LimitMb = 8; // the whole takes 23 MB as 32-bit pixels, 46 MB as 64-bit ones
    const AllocationLimit limit(LimitMb);
    const UprightPicture picture = decodeUprightPicture(path, [&c](QSize) { return c.wanted; });
    EXPECT_EQ(QImageReader::allocationLimit(), LimitMb) << c.row;
    ASSERT_EQ(!picture.image.isNull(), c.shown) << c.row;
    if (!c.shown)
        return;
    EXPECT_EQ(picture.size, side) << c.row;
    EXPECT_LE(picture.image.sizeInBytes(), qint64(LimitMb) * 1024 * 1024) << c.row;
    // Not smaller than it has to be, and of the picture's shape.
    EXPECT_GE(picture.image.width(), side.width() / 3) << c.row;
    EXPECT_NEAR(double(picture.image.width()) / picture.image.height(), 1.5, 0.02) << c.row;
    EXPECT_NEAR(picture.scale, double(picture.image.width()) / side.width(), 1e-9) << c.row;
    EXPECT_GT(picture.image.pixelColor(10, 10).blue(), 180) << c.row;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, BeyondLimit,
    ::testing::Values(BeyondLimitCase{"PNG, asked at its size", "PNG", QImage::Format_RGB32, 1.0, true},
                      BeyondLimitCase{"PNG, asked at most of its size", "PNG", QImage::Format_RGB32, 0.9, true},
                      BeyondLimitCase{"JPEG, asked at its size", "JPEG", QImage::Format_RGB32, 1.0, true},
                      BeyondLimitCase{"JPEG, asked at most of its size", "JPEG", QImage::Format_RGB32, 0.7, true},
                      BeyondLimitCase{"16-bit PNG: read whole, so refused", "PNG", QImage::Format_RGBX64, 1.0, false}));

} // namespace
