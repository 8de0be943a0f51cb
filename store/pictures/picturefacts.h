#pragma once
// What a picture file holds, as the keep rules, the grid's tooltip and lumo-cli's --facts
// see it: its upright size, its file size and time, an estimate of its JPEG quality, how
// much detail it carries, whether it is grey, and the date taken, camera and orientation
// from its EXIF data (read through libexif).
//
// Detail is measured in the file's own DCT coefficients, luminance only: the mean number of
// AC coefficients per 8 x 8 block whose dequantised value is at least DetailThreshold and
// more than one quantisation step (a single coarse step may be a weak value rounded up). A
// block holds 8 x 8 pixels whatever the picture's size, so pictures of about the same pixel
// count compare at one scale. Blurred, up-scaled and heavily re-compressed copies lose their
// strong high-frequency coefficients; blocking from earlier compression lies on the edges of
// the blocks or is weaker than the threshold, so it adds little. Pictures compared with each
// other are measured at one quantisation too, the standard table of the lowest quality among
// them (coarsestSteps, detailAtSteps), so that a re-save at a higher quality gains nothing
// from the rounding of its original.

#include "files/fileidentity.h"
#include "sigboxcore_export.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QString>

#include <array>
#include <memory>
#include <vector>

// The qualities at which a picture's detail is kept: pictures compared with each other are
// measured at the standard table of the lowest quality among them, taken down to one of
// these. Finer between 70 and 100, where originals and their re-saves lie.
inline constexpr std::array<int, 18> DetailQualities{5, 10, 20, 30, 40, 50, 60, 70, 75, 80, 85, 88, 90, 92, 94, 96, 98, 100};

// Per quality of DetailQualities, the strong coefficients of all the picture's blocks when
// counted at that quantisation (detailAtSteps): of every AC frequency, and of the finer ones
// alone (FineDetailFrequency). A few numbers a picture, so that the facts cache on disk stays
// small; all that a comparison reads of the picture.
struct DetailCounts {
    std::array<quint64, DetailQualities.size()> all{};
    std::array<quint64, DetailQualities.size()> fine{};
    qint64 blocks = 0;
};

struct PictureFacts {
    bool readable = false; // the file is there and its picture header could be read
    int width = 0;         // upright: as shown, after the EXIF orientation
    int height = 0;
    qint64 pixels = 0;     // width x height
    qint64 bytes = 0;
    qint64 modified = 0;   // milliseconds since the epoch
    int quality = 0;       // estimated JPEG quality 1 to 100; 0 unknown (not a JPEG)
    bool raw = false;      // a camera RAW: its size is the sensor's, it has no JPEG quality
    int primaryQuality = 0; // the quality of an earlier, coarser compression it shows; 0 none seen
    double detail = -1;    // strong AC coefficients per block; -1 not measured
    bool grey = false;     // one component, or colour components without colour
    int orientation = 1;   // EXIF orientation 1 to 8 (1 when there is none)
    QDateTime taken;       // EXIF date taken, local time; invalid when there is none
    QString camera;        // EXIF camera model; empty when there is none
    std::shared_ptr<const DetailCounts> counts; // behind `detail`; null when not measured
    FileIdentity identity; // which file, whatever the path's spelling
};

// The quantisation at which pictures are compared: the standard table of a quality of
// DetailQualities.
struct DetailSteps {
    int quality = DetailQualities.back();
    bool operator==(const DetailSteps &) const = default;
};
// The coarsest among measured pictures: that of the lowest quality, taken down to one of
// DetailQualities.
SIGBOXCORE_EXPORT DetailSteps coarsestSteps(const std::vector<const PictureFacts *> &pictures);
// The finer frequencies, from which a slight blur takes most: a copy blurred and re-saved
// finer may keep as many strong coefficients of the lowest ones as its original.
inline constexpr int FineDetailFrequency = 3;
// Which frequencies detail is counted of: every AC one, or those whose horizontal and vertical
// index in the block add up to FineDetailFrequency or more.
enum class DetailFrequencies { All, Fine };
// The detail of a measured picture counted as if quantised with `steps` (no finer than its
// own at any frequency); -1 when not measured.
SIGBOXCORE_EXPORT double detailAtSteps(const PictureFacts &facts, const DetailSteps &steps,
                                       DetailFrequencies frequencies = DetailFrequencies::All);

// The dequantised value from which an AC coefficient counts as detail.
inline constexpr int DetailThreshold = 8;

// All the facts, decoding the picture's coefficients for the detail. Safe on any thread.
SIGBOXCORE_EXPORT PictureFacts readPictureFacts(const QString &path);
// The facts of the headers alone (no detail): cheap enough for a tooltip. Safe on any thread.
SIGBOXCORE_EXPORT PictureFacts readPictureHeaderFacts(const QString &path);

// The estimated quality of a JPEG quantisation table (64 values in natural order) against
// the standard luminance table scaled as encoders scale it; 0 for an empty table.
SIGBOXCORE_EXPORT int estimateJpegQuality(const quint16 *table);
// The standard luminance table scaled to `quality` (1 to 100) as encoders scale it, natural order.
SIGBOXCORE_EXPORT std::array<int, 64> standardLuminanceTable(int quality);

class FactsStore;
struct FactsKey;

// The facts of a run, read at most once per file, whatever names it goes by (links, other
// spellings): a file is read again only when its size or modification time changed. With a store, facts read in an earlier run are taken from it and
// new ones go to it. Safe to use from many threads at once.
class SIGBOXCORE_EXPORT PictureFactsCache
{
public:
    explicit PictureFactsCache(std::shared_ptr<FactsStore> store = {});
    ~PictureFactsCache();
    PictureFacts facts(const QString &path);
    // The cached facts when there are any for the file as it is now, else its header facts.
    PictureFacts headerFacts(const QString &path);
    void clear();
    // Writes to the store what it still holds back.
    void flush();

    // Which file, and how its name has it read.
    struct Key {
        quint64 device;
        quint64 inode;
        bool rawName;
        bool operator==(const Key &) const = default;
        friend size_t qHash(const Key &key, size_t seed = 0)
        {
            return qHashMulti(seed, key.device, key.inode, key.rawName);
        }
    };

private:
    struct Entry {
        qint64 bytes;
        qint64 modified;    // nanoseconds, as the file's key has it
        PictureFacts facts; // without its counts
        QByteArray counts;  // the facts with their counts as stored (encodeFacts); empty without
    };
    bool cached(const Key &key, const FactsKey &file, PictureFacts &facts);
    void keep(const Key &key, const FactsKey &file, const PictureFacts &facts);
    bool stored(const QString &path, const FactsKey &key, PictureFacts &facts, bool headers);

    std::shared_ptr<FactsStore> m_store;
    QMutex m_mutex;
    QHash<Key, Entry> m_entries;
};
