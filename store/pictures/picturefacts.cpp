#include "pictures/picturefacts.h"

#include "files/regularfile.h"
#include "pictures/factsstore.h"
#include "pictures/jpeg/jpegdecoder.h"
#include "pictures/pictureformats.h"
#include "pictures/primaryquality.h"
#include "pictures/rawimage.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutexLocker>
#include <QScopeGuard>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <memory>
#include <optional>

extern "C" {
#include <libexif/exif-data.h>
}

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Enough for the markers before the picture data (EXIF at most 64 KiB, tables, ICC profiles).
constexpr qint64 HeaderBytes = 256 * 1024;
// The most memory the library may take for the coefficients of a picture of many scans:
// a progressive picture of about 180 megapixels (3 bytes a pixel with halved chroma).
constexpr long WholePictureBytes = 512L * 1024 * 1024;
// A thread's buffer of file bytes is kept for its next picture up to this size.
constexpr qint64 KeptBufferBytes = 16 * 1024 * 1024;
// Coefficients in a block.
constexpr int BlockSize = 64;

// The rungs at which coefficients are counted: a value v counts at every rung <= v.
constexpr std::array<int, 16> DetailRungs{8, 10, 12, 14, 16, 20, 24, 28, 32, 40, 48, 64, 80, 96, 128, 256};

// The rung at which a frequency of own step `own` counts as detail when measured at the
// coarser step `coarse`; DetailRungs.size() when none does. A coefficient of one coarse step
// may stand for a weak value rounded up: it counts from more than one step. A picture saved
// again at a finer step holds its first compression's values moved by up to half its own step
// and a rounding: those are not stronger than the step either. Multiples of the coarse step
// count from the second as before, whatever rung stands between.
size_t rungAt(int coarse, int own)
{
    const auto rungOf = [](int limit) {
        return size_t(std::lower_bound(DetailRungs.begin(), DetailRungs.end(), limit) - DetailRungs.begin());
    };
    const size_t lowest = rungOf(std::max(DetailThreshold, coarse + 1));
    size_t highest = size_t(std::upper_bound(DetailRungs.begin(), DetailRungs.end(), 2 * coarse) - DetailRungs.begin());
    highest = highest > 0 ? std::max(lowest, highest - 1) : lowest;
    return own < coarse ? std::clamp(rungOf(std::max(DetailThreshold, coarse + 2 + own / 2)), lowest, highest) : lowest;
}

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
void readExif(const char *head, qint64 size, PictureFacts &facts)
{
    ExifData *exif = exif_data_new();
    if (!exif)
        return;
    // Read what is there; the library's repairs would invent tags.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, reinterpret_cast<const unsigned char *>(head), unsigned(size));
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

// The detail and colour of a picture's coefficients, fed to it a row of blocks at a time in
// any order of components. It counts the quantised values (how many blocks hold each size of
// each frequency) and scales them by the quantisation steps once at the end. Only the sizes
// that can count as detail are counted, and all sizes that reach the top rung as one, so the
// counts of a usual picture stay within a few KiB. All it needs of the picture is taken from
// the header at the start: after a failure of the library the decompressor's state may no
// longer hold together.
class CoefficientMeter : public JpegBlockRows
{
public:
    // Starts on a picture whose header the decoder has read; false when the luminance
    // quantisation table is missing, which the library refuses too.
    bool start(const JpegDecoder &jpeg)
    {
        m_dcSum = {};
        m_components = jpeg.components();
        m_colour = jpeg.ycbcr();
        for (int c = 0; c < 3; ++c) {
            const bool there = c < jpeg.components();
            m_width[size_t(c)] = there ? jpeg.blocksAcross(c) : 0;
            m_height[size_t(c)] = there ? jpeg.blocksDown(c) : 0;
            const quint16 *steps = there ? jpeg.quantSteps(c) : nullptr;
            m_dcStep[size_t(c)] = steps ? steps[0] : -1;
        }
        m_stepsKnown = knowSteps(jpeg.quantSteps(0));
        return m_stepsKnown;
    }

    // Row `row` of the blocks of `component`; the padding blocks past the picture's edge are
    // left out.
    void addRow(int component, unsigned row, const qint16 *blocks) override
    {
        if (component >= 3 || row >= m_height[size_t(component)])
            return;
        const unsigned width = m_width[size_t(component)];
        if (component == 0) {
            for (unsigned column = 0; column < width; ++column)
                countAc(blocks + size_t(column) * BlockSize);
        } else {
            for (unsigned column = 0; column < width; ++column)
                m_dcSum[size_t(component)] += std::abs(int(blocks[size_t(column) * BlockSize]));
        }
    }

    // Writes the detail, its counts and the colour.
    void finish(PictureFacts &facts)
    {
        // Per frequency, for each rung, the blocks whose coefficient reaches it.
        std::array<std::array<quint32, DetailRungs.size()>, BlockSize> reaching{};
        for (int k = 1; k < BlockSize; ++k) {
            const quint32 *sizes = m_sizes.data() + m_offset[size_t(k)];
            quint32 reached = 0;
            int rung = int(DetailRungs.size()) - 1;
            // From the largest size down, so that a rung reached counts every larger size too.
            for (int size = m_top[size_t(k)]; size >= 1; --size) {
                const qint64 value = qint64(size) * m_steps[size_t(k)];
                while (rung >= 0 && DetailRungs[size_t(rung)] > value)
                    reaching[size_t(k)][size_t(rung--)] = reached;
                if (rung < 0)
                    break;
                reached += sizes[size];
            }
            for (; rung >= 0; --rung)
                reaching[size_t(k)][size_t(rung)] = reached;
        }
        auto counts = std::make_shared<DetailCounts>();
        counts->blocks = qint64(m_width[0]) * m_height[0];
        for (size_t q = 0; q < DetailQualities.size(); ++q) {
            const std::array<int, BlockSize> standard = standardLuminanceTable(DetailQualities[q]);
            for (size_t k = 1; k < BlockSize; ++k) {
                const int own = m_steps[k];
                const size_t rung = rungAt(std::max(own, standard[k]), own);
                const quint32 strong = rung < DetailRungs.size() ? reaching[k][rung] : 0;
                counts->all[q] += strong;
                if (int(k % 8 + k / 8) >= FineDetailFrequency)
                    counts->fine[q] += strong;
            }
        }
        facts.counts = counts;
        facts.detail = detailAtSteps(facts, coarsestSteps({&facts}));
        facts.primaryQuality = estimatePrimaryQuality(primaryHistograms(counts->blocks), m_steps, facts.quality);

        // Colour: the chroma blocks' mean offset from neutral, in levels (a DC of 8 is one level).
        if (m_components < 3) {
            facts.grey = true;
            return;
        }
        qint64 offset = 0;
        qint64 chromaBlocks = 0;
        for (size_t c = 1; c < 3; ++c) {
            if (m_dcStep[c] < 0)
                return;
            offset += m_dcSum[c] * m_dcStep[c];
            chromaBlocks += qint64(m_width[c]) * m_height[c];
        }
        // YCbCr only: other colour spaces keep their colour in other ways.
        facts.grey = m_colour && chromaBlocks > 0 && offset < 8 * chromaBlocks;
    }

private:
    static constexpr int TopRung = DetailRungs.back();
    static constexpr qint16 Never = 32767; // no size of a 16-bit coefficient is above it

    // Per frequency, from the luminance steps: the largest size too weak to count, and the
    // smallest that reaches the top rung.
    bool knowSteps(const quint16 *table)
    {
        if (!table)
            return false;
        size_t offset = 0;
        for (size_t k = 0; k < BlockSize; ++k) {
            const int step = table[k];
            m_steps[k] = step;
            // A size of one step never counts: detailAtSteps asks for more than one step.
            // The low frequencies are counted whole, for the traces of an earlier compression.
            const bool low = std::find(PrimaryHistograms::Natural.begin(), PrimaryHistograms::Natural.end(), int(k))
                             != PrimaryHistograms::Natural.end();
            m_weak[k] = k == 0 || step == 0 ? Never : low ? 0 : qint16(std::max(1, (DetailRungs.front() - 1) / step));
            m_top[k] = step == 0 ? 0 : qint16((TopRung + step - 1) / step);
            if (low && step > 0)
                m_top[k] = std::max<qint16>(m_top[k], PrimaryHistograms::Values - 1);
            m_offset[k] = offset;
            offset += size_t(m_top[k]) + 1;
        }
        m_used = offset;
        clearSizes();
        return true;
    }

    void clearSizes() { std::fill_n(m_sizes.begin(), m_used, 0); } // the rest is never used

    // Most coefficients of a block are zero or weak: only the others are visited.
    void countAc(const qint16 *block)
    {
        for (quint64 mask = strongOnes(block); mask; mask &= mask - 1) {
            const auto k = size_t(std::countr_zero(mask));
            const int size = std::min<int>(m_top[k], std::abs(int(block[k])));
            ++m_sizes[m_offset[k] + size_t(size)];
        }
    }

    // The low frequencies' histograms, for the traces of an earlier compression, from their
    // counts by size; the zeros are what the other sizes leave of the blocks.
    const PrimaryHistograms &primaryHistograms(qint64 blocks)
    {
        for (size_t i = 0; i < PrimaryHistograms::Natural.size(); ++i) {
            const auto k = size_t(PrimaryHistograms::Natural[i]);
            auto &histogram = m_primary.counts[i];
            histogram = {};
            if (m_steps[k] == 0)
                continue;
            const quint32 *sizes = m_sizes.data() + m_offset[k];
            quint64 nonZero = 0;
            for (int size = 1; size <= m_top[k]; ++size) {
                histogram[size_t(std::min(size, PrimaryHistograms::Values - 1))] += sizes[size];
                nonZero += sizes[size];
            }
            histogram[0] = quint32(std::max<qint64>(0, blocks - qint64(nonZero)));
        }
        return m_primary;
    }

    // Bit k set when coefficient k is larger than m_weak[k].
    quint64 strongOnes(const qint16 *block) const
    {
        quint64 mask = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const auto sizes = [&zero](const qint16 *values) {
            const __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i *>(values));
            return _mm_max_epi16(value, _mm_subs_epi16(zero, value)); // saturated: |-32768| is 32767
        };
        const auto weak = [this](int k) { return _mm_load_si128(reinterpret_cast<const __m128i *>(m_weak.data() + k)); };
        for (int k = 0; k < BlockSize; k += 16) {
            const __m128i strong = _mm_packs_epi16(_mm_cmpgt_epi16(sizes(block + k), weak(k)),
                                                   _mm_cmpgt_epi16(sizes(block + k + 8), weak(k + 8)));
            mask |= quint64(unsigned(_mm_movemask_epi8(strong))) << k;
        }
#else
        for (size_t k = 0; k < BlockSize; ++k)
            mask |= quint64(std::min(32767, std::abs(int(block[k]))) > m_weak[k]) << k;
#endif
        return mask;
    }

    bool m_stepsKnown = false;
    int m_components = 0;
    bool m_colour = false; // YCbCr
    std::array<unsigned, 3> m_width{}; // blocks of components 0 to 2
    std::array<unsigned, 3> m_height{};
    std::array<int, 3> m_dcStep{}; // -1 when the component has no table
    size_t m_used = 0;             // of m_sizes
    std::array<int, BlockSize> m_steps{};
    alignas(16) std::array<qint16, BlockSize> m_weak{};
    std::array<qint16, BlockSize> m_top{};
    std::array<size_t, BlockSize> m_offset{};
    std::array<quint32, BlockSize *(TopRung + 1)> m_sizes; // per frequency from m_offset, by size
    std::array<qint64, 3> m_dcSum{};
    PrimaryHistograms m_primary;
};

// What a thread keeps from one picture to the next, so that reading pictures one after
// another does not grow and shrink the heap for each: the file's bytes, the meter's counts
// and the stream's rows.
struct FactsWorkspace {
    QByteArray file;
    CoefficientMeter meter;
    std::vector<qint16> coefficients;
};

FactsWorkspace &threadWorkspace()
{
    thread_local FactsWorkspace workspace;
    return workspace;
}

// How much of a picture to read.
enum class Reading {
    Headers,      // no detail
    Coefficients, // every coefficient, through the library
};

// The JPEG facts of the file's bytes: size, quality, and with the coefficients detail and
// colour. False when the bytes are not a JPEG that the library reads.
bool readJpeg(const QByteArray &data, Reading reading, PictureFacts &facts)
{
    JpegDecoder jpeg(data);
    const bool header = jpeg.readHeader() && jpeg.width() > 0 && jpeg.height() > 0 && jpeg.components() > 0;
    if (!header)
        return false;
    facts.width = jpeg.width();
    facts.height = jpeg.height();
    const quint16 *steps = jpeg.quantSteps(0);
    facts.quality = steps ? estimateJpegQuality(steps) : 0;
    facts.grey = jpeg.components() == 1;
    if (reading == Reading::Headers)
        return true;
    FactsWorkspace &workspace = threadWorkspace();
    CoefficientMeter &meter = workspace.meter;
    const bool started = meter.start(jpeg);
    const std::optional<bool> scans = started ? jpeg.hasMultipleScans() : std::nullopt;
    bool measured = started && scans;
    if (measured && (*scans || jpeg.arithmetic())) {
        // Progressive pictures and others of many scans, whose every scan adds to every block;
        // and arithmetic-coded ones, whose decoder goes on through zeros past the end of their
        // data, so that only the bound on the whole picture keeps a damaged header's claim of
        // gigapixels from costing minutes.
        measured = jpeg.readCoefficients(meter, WholePictureBytes);
    } else if (measured) {
        measured = jpeg.streamCoefficients(meter, workspace.coefficients);
    }
    if (measured)
        meter.finish(facts);
    return true;
}

PictureFacts readFacts(const QString &path, Reading reading)
{
    const bool coefficients = reading != Reading::Headers;
    PictureFacts facts;
    const QFileInfo info(path);
    if (path.isEmpty() || !isPictureFile(path))
        return facts;
    facts.bytes = info.size();
    facts.modified = info.lastModified().toMSecsSinceEpoch();
    facts.identity = fileIdentity(path);
    QFile file;
    if (!openPictureFile(file, path))
        return facts;
    QByteArray &data = threadWorkspace().file;
    const auto release = qScopeGuard([&data] {
        if (data.capacity() > KeptBufferBytes)
            data = QByteArray(); // grown by a very large file: let go
    });
    data.resize(coefficients ? facts.bytes : std::min(facts.bytes, HeaderBytes));
    data.resize(std::max<qint64>(0, file.read(data.data(), data.size())));
    bool jpeg = readJpeg(data, reading, facts);
    if (!jpeg && !coefficients && data.size() == HeaderBytes) {
        data += file.readAll(); // markers longer than the usual head
        jpeg = readJpeg(data, reading, facts);
    }
    if (jpeg) {
        readExif(data.constData(), std::min(data.size(), HeaderBytes), facts);
    } else {
        // Another format: its reader tells the size and orientation; the content decides, so
        // a mislabelled picture still counts, but a RAW by its name: it looks like any TIFF.
        QImageReader reader(path);
        reader.setDecideFormatFromContent(!hasRawExtension(path));
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            return facts;
        facts.raw = isRawFormat(reader.format()) || reader.format() == "raw";
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
    int lowest = DetailQualities.back();
    for (const PictureFacts *picture : pictures) {
        if (picture && picture->counts && picture->quality > 0)
            lowest = std::min(lowest, picture->quality);
    }
    // Taken down, so that no picture is measured finer than the coarsest of them.
    const auto above = std::upper_bound(DetailQualities.begin(), DetailQualities.end(), lowest);
    return {above == DetailQualities.begin() ? DetailQualities.front() : *std::prev(above)};
}

double detailAtSteps(const PictureFacts &facts, const DetailSteps &steps, DetailFrequencies frequencies)
{
    if (!facts.counts || facts.counts->blocks == 0)
        return facts.counts ? 0.0 : -1.0;
    // Another quality is taken down too.
    const auto above = std::upper_bound(DetailQualities.begin(), DetailQualities.end(), steps.quality);
    const size_t q = above == DetailQualities.begin() ? 0 : size_t(above - DetailQualities.begin()) - 1;
    const quint64 strong = frequencies == DetailFrequencies::Fine ? facts.counts->fine[q] : facts.counts->all[q];
    return double(strong) / double(facts.counts->blocks);
}

std::array<int, 64> standardLuminanceTable(int quality)
{
    quality = std::clamp(quality, 1, 100);
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::array<int, 64> table{};
    for (size_t i = 0; i < 64; ++i)
        table[i] = std::clamp((StandardLuminance[i] * scale + 50) / 100, 1, 255);
    return table;
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
        const std::array<int, 64> expected = standardLuminanceTable(q);
        qint64 error = 0;
        for (size_t i = 0; i < 64; ++i) {
            const int difference = expected[i] - int(table[i]);
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
    return readFacts(path, Reading::Coefficients);
}

PictureFacts readPictureHeaderFacts(const QString &path)
{
    return readFacts(path, Reading::Headers);
}

PictureFactsCache::PictureFactsCache(std::shared_ptr<FactsStore> store) : m_store(std::move(store)) {}

PictureFactsCache::~PictureFactsCache()
{
    flush();
}

void PictureFactsCache::flush()
{
    if (m_store)
        m_store->flush();
}

namespace {

// Two names of one file may still be read differently: a RAW's name decides its reader.
PictureFactsCache::Key cacheKey(const FactsKey &file, const QString &path)
{
    return {file.device, file.inode, hasRawExtension(path)};
}

} // namespace

bool PictureFactsCache::cached(const Key &key, const FactsKey &file, PictureFacts &facts)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_entries.constFind(key);
    if (found == m_entries.constEnd() || found->bytes != file.bytes || found->modified != file.modifiedNs)
        return false;
    facts = found->facts;
    if (!found->counts.isEmpty())
        decodeFacts(found->counts, facts);
    return true;
}

void PictureFactsCache::keep(const Key &key, const FactsKey &file, const PictureFacts &facts)
{
    // The counts of a picture only ever serve its comparisons with others; kept whole, they
    // would take a few KiB a picture for as long as the cache lives. Their stored form holds
    // all that a comparison can ask of them.
    Entry entry{file.bytes, file.modifiedNs, facts, {}};
    if (facts.counts) {
        entry.counts = encodeFacts(facts);
        entry.facts.counts.reset();
    }
    QMutexLocker lock(&m_mutex);
    m_entries.insert(key, std::move(entry));
}

// The facts the store holds for the file as it is now, completed by what the file says of
// itself (its size, time and identity).
bool PictureFactsCache::stored(const QString &path, const FactsKey &key, PictureFacts &facts, bool headers)
{
    if (!m_store)
        return false;
    const QFileInfo info(path);
    facts.bytes = info.size();
    facts.modified = info.lastModified().toMSecsSinceEpoch();
    facts.identity = fileIdentity(path);
    if (m_store->find(key, facts))
        return true;
    if (headers)
        return false;
    facts = readPictureFacts(path);
    // Only what was read whole from the same file: a file that changed while it was read, or
    // could not be opened, is read again next time.
    if (facts.readable && factsKey(path) == key)
        m_store->put(key, facts);
    return true;
}

PictureFacts PictureFactsCache::facts(const QString &path)
{
    // By the file, not its name: another name of a file read before is not read again.
    const std::optional<FactsKey> file = factsKey(path);
    if (!file)
        return readPictureFacts(path); // no file there: nothing to read, nothing to keep
    const Key key = cacheKey(*file, path);
    PictureFacts facts;
    if (cached(key, *file, facts))
        return facts;
    // Read outside the lock, so that the threads read at once; two threads that read one
    // file at the same moment store the same facts.
    if (!stored(path, *file, facts, false))
        facts = readPictureFacts(path);
    // Kept under the time and size seen before the read: a file that changed meanwhile is
    // read again next time.
    keep(key, *file, facts);
    return facts;
}

PictureFacts PictureFactsCache::headerFacts(const QString &path)
{
    const std::optional<FactsKey> file = factsKey(path);
    if (!file)
        return readPictureHeaderFacts(path);
    PictureFacts facts;
    if (cached(cacheKey(*file, path), *file, facts))
        return facts;
    if (stored(path, *file, facts, true))
        return facts;
    return readPictureHeaderFacts(path);
}

void PictureFactsCache::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}
