#include "picturefacts.h"

#include "jpegmemory.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutexLocker>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libexif/exif-data.h>
}

namespace {

// Enough for the markers before the picture data (EXIF at most 64 KiB, tables, ICC profiles).
constexpr qint64 HeaderBytes = 256 * 1024;

// The standard luminance table at quality 50, natural order.
constexpr quint16 StandardLuminance[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

QString exifText(ExifData *exif, ExifIfd ifd, ExifTag tag)
{
    ExifEntry *entry = exif_content_get_entry(exif->ifd[ifd], tag);
    if (!entry || entry->format != EXIF_FORMAT_ASCII || !entry->data)
        return {};
    const auto text = reinterpret_cast<const char *>(entry->data);
    return QString::fromUtf8(text, qstrnlen(text, entry->size)).trimmed();
}

// Orientation, date taken and camera from the EXIF block of the file's first bytes.
void readExif(const QByteArray &head, PictureFacts &facts)
{
    ExifData *exif = exif_data_new();
    if (!exif)
        return;
    // Read what is there; the library's repairs would invent tags.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, reinterpret_cast<const unsigned char *>(head.constData()), unsigned(head.size()));
    if (ExifEntry *entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
        entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1) {
        const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        if (value >= 1 && value <= 8)
            facts.orientation = value;
    }
    QString taken = exifText(exif, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
    if (taken.isEmpty())
        taken = exifText(exif, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_DIGITIZED);
    facts.taken = QDateTime::fromString(taken.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    facts.camera = exifText(exif, EXIF_IFD_0, EXIF_TAG_MODEL);
    exif_data_unref(exif);
}

// Detail and colour from the coefficients of a decompressor whose header has been read.
void measureCoefficients(jpeg_decompress_struct &info, jvirt_barray_ptr *arrays, PictureFacts &facts)
{
    const jpeg_component_info &luma = info.comp_info[0];
    const JQUANT_TBL *table = luma.quant_table ? luma.quant_table : info.quant_tbl_ptrs[luma.quant_tbl_no];
    if (!table)
        return;
    auto counts = std::make_shared<DetailCounts>();
    for (int k = 0; k < DCTSIZE2; ++k)
        counts->steps[k] = table->quantval[k];
    // The highest rung each value reaches, by value.
    std::array<qint8, 257> rungOf{};
    for (int v = 0, rung = -1; v <= 256; ++v) {
        while (rung + 1 < int(DetailRungs.size()) && DetailRungs[rung + 1] <= v)
            ++rung;
        rungOf[v] = qint8(rung);
    }
    std::array<std::array<quint32, DetailRungs.size()>, 64> highest{};
    for (JDIMENSION row = 0; row < luma.height_in_blocks; ++row) {
        JBLOCKARRAY line = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info), arrays[0], row, 1, FALSE);
        for (JDIMENSION column = 0; column < luma.width_in_blocks; ++column) {
            const JCOEF *block = line[0][column];
            for (int k = 1; k < DCTSIZE2; ++k) {
                if (block[k] == 0)
                    continue;
                const int rung = rungOf[std::min(256, std::abs(int(block[k])) * counts->steps[k])];
                if (rung >= 0)
                    ++highest[k][rung];
            }
        }
        counts->blocks += luma.width_in_blocks;
    }
    for (int k = 1; k < DCTSIZE2; ++k) {
        quint32 reaching = 0;
        for (int rung = int(DetailRungs.size()) - 1; rung >= 0; --rung)
            counts->reaching[k][rung] = reaching += highest[k][rung];
    }
    facts.counts = counts;
    facts.detail = detailAtSteps(facts, counts->steps);

    // Colour: the chroma blocks' mean offset from neutral, in levels (a DC of 8 is one level).
    if (info.num_components < 3) {
        facts.grey = true;
        return;
    }
    qint64 offset = 0;
    qint64 chromaBlocks = 0;
    for (int c = 1; c < 3; ++c) {
        const jpeg_component_info &chroma = info.comp_info[c];
        const JQUANT_TBL *q = chroma.quant_table ? chroma.quant_table : info.quant_tbl_ptrs[chroma.quant_tbl_no];
        if (!q)
            return;
        for (JDIMENSION row = 0; row < chroma.height_in_blocks; ++row) {
            JBLOCKARRAY line
                = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info), arrays[c], row, 1, FALSE);
            for (JDIMENSION column = 0; column < chroma.width_in_blocks; ++column)
                offset += std::abs(int(line[0][column][0]) * int(q->quantval[0]));
            chromaBlocks += chroma.width_in_blocks;
        }
    }
    // YCbCr only: other colour spaces keep their colour in other ways.
    facts.grey = info.jpeg_color_space == JCS_YCbCr && chromaBlocks > 0 && offset < 8 * chromaBlocks;
}

// The JPEG facts of the file's bytes: size, quality, and with `coefficients` detail and
// colour. False when the bytes are not a JPEG that the library reads.
bool readJpeg(const QByteArray &data, bool coefficients, PictureFacts &facts)
{
    if (data.size() < 2 || uchar(data[0]) != 0xFF || uchar(data[1]) != 0xD8)
        return false;
    jpeg_decompress_struct info;
    JpegFailure failure;
    bool header = readJpegHeader(info, failure, data);
    header = header && info.image_width > 0 && info.image_height > 0 && info.num_components > 0;
    if (header) {
        facts.width = int(info.image_width);
        facts.height = int(info.image_height);
        const JQUANT_TBL *table = info.quant_tbl_ptrs[info.comp_info[0].quant_tbl_no];
        facts.quality = table ? estimateJpegQuality(table->quantval) : 0;
        facts.grey = info.num_components == 1;
        jvirt_barray_ptr *arrays = nullptr;
        if (coefficients && jpegStep(failure, [&info, &arrays] { arrays = jpeg_read_coefficients(&info); }) && arrays)
            jpegStep(failure, [&info, arrays, &facts] { measureCoefficients(info, arrays, facts); });
    }
    jpeg_destroy_decompress(&info);
    return header;
}

PictureFacts readFacts(const QString &path, bool coefficients)
{
    PictureFacts facts;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return facts;
    facts.bytes = info.size();
    facts.modified = info.lastModified().toMSecsSinceEpoch();
    facts.identity = fileIdentity(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return facts;
    QByteArray data = file.read(coefficients ? facts.bytes : HeaderBytes);
    bool jpeg = readJpeg(data, coefficients, facts);
    if (!jpeg && !coefficients && data.size() == HeaderBytes) {
        data += file.readAll(); // markers longer than the usual head
        jpeg = readJpeg(data, false, facts);
    }
    if (jpeg) {
        readExif(data.left(HeaderBytes), facts);
    } else {
        // Another format: its reader tells the size and orientation; the content decides, so
        // a mislabelled picture still counts.
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            return facts;
        facts.width = size.width();
        facts.height = size.height();
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            facts.orientation = 6;
    }
    // Orientations 5 to 8 turn the picture a quarter: shown, its sides swap.
    if (facts.orientation >= 5)
        std::swap(facts.width, facts.height);
    facts.pixels = qint64(facts.width) * facts.height;
    facts.readable = facts.pixels > 0;
    return facts;
}

} // namespace

DetailSteps coarsestSteps(const std::vector<const PictureFacts *> &pictures)
{
    DetailSteps steps{};
    for (const PictureFacts *picture : pictures) {
        if (picture && picture->counts) {
            for (int k = 0; k < 64; ++k)
                steps[k] = std::max(steps[k], picture->counts->steps[k]);
        }
    }
    return steps;
}

double detailAtSteps(const PictureFacts &facts, const DetailSteps &steps)
{
    if (!facts.counts || facts.counts->blocks == 0)
        return facts.counts ? 0.0 : -1.0;
    // A coefficient of one coarse step may stand for a weak value rounded up: with such a
    // step, it counts from more than one step, at the lowest rung above it.
    quint64 strong = 0;
    for (int k = 1; k < 64; ++k) {
        const int limit = std::max(DetailThreshold, steps[k] + 1);
        const auto rung = std::lower_bound(DetailRungs.begin(), DetailRungs.end(), limit);
        if (rung != DetailRungs.end())
            strong += facts.counts->reaching[k][size_t(rung - DetailRungs.begin())];
    }
    return double(strong) / double(facts.counts->blocks);
}

int estimateJpegQuality(const quint16 *table)
{
    if (!table)
        return 0;
    // Encoders scale the standard table by s = 5000 / q below 50 and 200 - 2q from 50; the
    // quality whose scaled table is nearest to this one is the estimate.
    int best = 0;
    qint64 bestError = -1;
    for (int q = 1; q <= 100; ++q) {
        const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
        qint64 error = 0;
        for (int i = 0; i < 64; ++i) {
            const int expected = std::clamp((StandardLuminance[i] * scale + 50) / 100, 1, 255);
            const int difference = expected - int(table[i]);
            error += qint64(difference) * difference;
        }
        if (bestError < 0 || error < bestError) {
            bestError = error;
            best = q;
        }
    }
    return best;
}

PictureFacts readPictureFacts(const QString &path)
{
    return readFacts(path, true);
}

PictureFacts readPictureHeaderFacts(const QString &path)
{
    return readFacts(path, false);
}

bool PictureFactsCache::cached(const QString &path, qint64 bytes, qint64 modified, PictureFacts &facts)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_entries.constFind(path);
    if (found == m_entries.constEnd() || found->bytes != bytes || found->modified != modified)
        return false;
    facts = found->facts;
    return true;
}

PictureFacts PictureFactsCache::facts(const QString &path)
{
    const QFileInfo info(path);
    const qint64 bytes = info.size();
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
    PictureFacts facts;
    if (cached(path, bytes, modified, facts))
        return facts;
    // Read outside the lock, so that the threads read at once; two threads that read one
    // file at the same moment store the same facts.
    facts = readPictureFacts(path);
    QMutexLocker lock(&m_mutex);
    m_entries.insert(path, {bytes, modified, facts});
    return facts;
}

PictureFacts PictureFactsCache::headerFacts(const QString &path)
{
    const QFileInfo info(path);
    PictureFacts facts;
    if (cached(path, info.size(), info.lastModified().toMSecsSinceEpoch(), facts))
        return facts;
    return readPictureHeaderFacts(path);
}

void PictureFactsCache::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}
