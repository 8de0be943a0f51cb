// Writes the fuzzers' seed corpus: small valid catalogues, pictures and box texts, made
// here rather than committed. Usage: fuzz_seeds FOLDER (gets catalogue/, picture/, number/,
// notalike/, heif/, raw/).

#include "catalogue/catalogue.h"
#include "dngwriter.h"
#include "heifgrid.h"
#include "heiffiles.h"
#include "jpegwriter.h"
#include "search/notalike.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

Signature signature(int seed)
{
    Signature cells{};
    for (int i = 0; i < pixcore::SignatureValues; ++i)
        cells[i] = int16_t((seed * 37 + i * 11) % 256);
    return cells;
}

QByteArray catalogueBytes(const SignatureTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeCatalogue(buffer, table);
    return buffer.data();
}

QMap<QString, QByteArray> catalogues()
{
    QMap<QString, QByteArray> seeds;
    SignatureTable table;
    seeds[QStringLiteral("new")] = catalogueBytes(table);
    table.append(QStringLiteral("/p/a.jpg"), signature(1));
    seeds[QStringLiteral("one")] = catalogueBytes(table);
    table.append(QStringLiteral("/写真/猫.jpg"), signature(2));
    table.append(QStringLiteral("/p/c d.jpeg"), signature(3));
    table.remove(1);
    seeds[QStringLiteral("spare")] = catalogueBytes(table);
    // One name in code page 932, as Japanese Windows wrote it: "/写真/猫.jpg".
    QByteArray sjis = catalogueBytes(SignatureTable());
    sjis.chop(2);
    sjis[0] = 1;
    sjis += char(12);
    sjis += char(0);
    sjis += QByteArray::fromHex("2f8eca905e2f944c2e6a7067");
    seeds[QStringLiteral("cp932")] = sjis;
    return seeds;
}

QImage picture(QSize size, int seed, bool alpha = false)
{
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgba(x * 16 % 256, y * 16 % 256, (x * y * seed) % 256, alpha ? x * 16 % 256 : 255));
    return image;
}

QByteArray encoded(const QImage &image, const char *format, bool progressive = false)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(75);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return buffer.data();
}

QMap<QString, QByteArray> pictures()
{
    QMap<QString, QByteArray> seeds;
    const QByteArray whole = encoded(picture({16, 12}, 1), "jpeg");
    seeds[QStringLiteral("baseline.jpg")] = whole;
    seeds[QStringLiteral("progressive.jpg")] = encoded(picture({24, 8}, 2), "jpeg", true);
    // Restart markers and other samplings.
    seeds[QStringLiteral("restart.jpg")] = encodeJpeg(picture({40, 24}, 11), {JCS_YCbCr, 2, 1, 75, 2});
    seeds[QStringLiteral("grey.jpg")] = encoded(picture({8, 8}, 3).convertToFormat(QImage::Format_Grayscale8), "jpeg");
    seeds[QStringLiteral("cut.jpg")] = whole.left(whole.size() * 2 / 3);
    seeds[QStringLiteral("trailer.jpg")] = whole + QByteArray("\0\0\0\x18" "ftypmp42", 12);
    seeds[QStringLiteral("alpha.png")] = encoded(picture({8, 8}, 4, true), "png");
    seeds[QStringLiteral("icon.ico")] = encoded(picture({16, 16}, 5, true), "ico");
    // A *.jpg file may hold any format the picture loader knows.
    seeds[QStringLiteral("plain.bmp")] = encoded(picture({5, 3}, 6), "bmp");
    seeds[QStringLiteral("plain.ppm")] = encoded(picture({4, 4}, 7), "ppm");
    seeds[QStringLiteral("mono.xbm")] = encoded(picture({8, 2}, 8).convertToFormat(QImage::Format_Mono), "xbm");
    seeds[QStringLiteral("few.xpm")] = encoded(picture({3, 3}, 9), "xpm");
    seeds[QStringLiteral("drawing.svg")] = QByteArray(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"6\">"
        "<rect width=\"4\" height=\"6\" fill=\"red\"/><circle cx=\"6\" cy=\"3\" r=\"2\" fill=\"blue\"/></svg>");
    return seeds;
}

// HEIC and AVIF files from libheif's encoder: plain, turned with a thumbnail, and with the
// second format; two grids of its tiles. A format whose encoder is missing or fails here is
// left out.
bool writeHeifSeeds(const QDir &top)
{
    if (!top.mkpath(QStringLiteral("heif")))
        return false;
    struct Seed {
        const char *name;
        heif_compression_format format;
        int orientation;
        int thumbnail;
    };
    const Seed seeds[] = {{"plain.heic", heif_compression_HEVC, 1, 0},
                          {"turned.heic", heif_compression_HEVC, 6, 16},
                          {"mirrored.avif", heif_compression_AV1, 2, 0}};
    int written = 0;
    for (const Seed &seed : seeds) {
        const QString failure = writeHeif(top.filePath(QStringLiteral("heif/") + QLatin1String(seed.name)),
                                          picture({32, 24}, 10), seed.format, seed.orientation, seed.thumbnail);
        if (failure.isEmpty())
            ++written;
        else
            std::fprintf(stderr, "seed %s left out: %s\n", seed.name, qPrintable(failure));
    }
    // Grids written box by box: 2x2 tiles, and the same with 32-bit counts and ids.
    if (const auto tile = codeTile(picture({64, 64}, 7))) {
        HeifGridFile grid;
        grid.tiles = {*tile};
        const bool plain = writeFile(top.filePath(QStringLiteral("heif/grid.heic")), grid.bytes());
        grid.wideCounts = true;
        grid.otherItems = 1;
        if (plain && writeFile(top.filePath(QStringLiteral("heif/widegrid.heic")), grid.bytes()))
            written += 2;
    }
    // Without any, the fuzzer would start from nothing it can read.
    return written > 0;
}

// DNGs from the tests' writer: a mosaic with a JPEG preview, turned; three linear channels
// with an 8-bit preview; a mosaic with none, which is developed.
QMap<QString, QByteArray> raws()
{
    const QImage stored = picture({32, 24}, 12);
    const QImage preview = stored.scaled(96, 72); // at least 64 a side, or it is passed over
    return {{QStringLiteral("jpegpreview.dng"), makeDng(stored, DngSensor::Cfa, 6, preview, DngPreview::Jpeg)},
            {QStringLiteral("rgbpreview.dng"), makeDng(stored, DngSensor::LinearRaw, 1, preview, DngPreview::Rgb)},
            {QStringLiteral("nopreview.dng"), makeDng(stored, DngSensor::Cfa, 3)}};
}

QMap<QString, QByteArray> numbers()
{
    QMap<QString, QByteArray> seeds;
    const char *texts[] = {"8", "1500", "  -12", "+7x", "0", "", "00042", "12a", "32768", "2147483648",
                           "\xEF\xBC\x91\xEF\xBC\x92"}; // full-width "１２"
    int i = 0;
    for (const char *text : texts)
        seeds[QStringLiteral("text%1").arg(i++)] = QByteArray(text);
    return seeds;
}

QMap<QString, QByteArray> decisions()
{
    QMap<QString, QByteArray> seeds;
    std::vector<NotAlikePair> pairs;
    for (int n = 0; n < 3; ++n) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        writeNotAlike(buffer, pairs);
        seeds[QStringLiteral("pairs%1").arg(n)] = buffer.data();
        NotAlikePair pair;
        pair.first = lookKey(signature(2 * n));
        pair.second = lookKey(signature(2 * n + 1));
        pair.firstName = QStringLiteral("/写真/%1.jpg").arg(n);
        pair.secondName = QStringLiteral("/p/%1.jpeg").arg(n);
        pair.marked = 1700000000000 + n;
        pairs.push_back(pair);
    }
    return seeds;
}

bool writeAll(const QDir &top, const QString &name, const QMap<QString, QByteArray> &seeds)
{
    if (!top.mkpath(name))
        return false;
    for (auto it = seeds.cbegin(); it != seeds.cend(); ++it) {
        if (!writeFile(top.filePath(name + QLatin1Char('/') + it.key()), it.value()))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir top(QString::fromLocal8Bit(argv[1]));
    const bool ok = writeAll(top, QStringLiteral("catalogue"), catalogues())
        && writeAll(top, QStringLiteral("picture"), pictures())
        && writeAll(top, QStringLiteral("number"), numbers())
        && writeAll(top, QStringLiteral("notalike"), decisions()) && writeHeifSeeds(top)
        && writeAll(top, QStringLiteral("raw"), raws());
    if (!ok)
        std::fprintf(stderr, "cannot write the seeds into %s\n", argv[1]);
    return ok ? 0 : 1;
}
