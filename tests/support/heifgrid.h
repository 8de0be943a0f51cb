#pragma once
// HEIC grid files written box by box at test time, as a camera writes them or as a hostile
// file does: tiles coded once by libheif's encoder, then as many tile items, references
// and other items as asked for, every box spelled out here so that counts and damage can
// be chosen freely.

#include "heiffiles.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <vector>

// One coded tile: its decoder configuration box (hvcC, whole) and its coded bytes.
struct HeifTile {
    QByteArray config;
    QByteArray data;
    int side = 0;
};

namespace heifgrid {

inline void put16(QByteArray &out, uint32_t value)
{
    out += char(value >> 8);
    out += char(value);
}
inline void put32(QByteArray &out, uint32_t value)
{
    put16(out, value >> 16);
    put16(out, value & 0xffff);
}
inline uint32_t get32(const QByteArray &bytes, qsizetype at)
{
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.constData()) + at;
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

inline QByteArray box(const char *type, const QByteArray &content)
{
    QByteArray out;
    put32(out, uint32_t(content.size() + 8));
    out += QByteArray(type, 4);
    return out + content;
}
inline QByteArray fullBox(const char *type, int version, uint32_t flags, const QByteArray &content)
{
    QByteArray head;
    put32(head, uint32_t(version) << 24 | flags);
    return box(type, head + content);
}

// The child of `type` among the boxes in bytes [from, to), whole, or empty.
inline QByteArray child(const QByteArray &bytes, qsizetype from, qsizetype to, const char *type)
{
    while (from + 8 <= to) {
        const qsizetype size = get32(bytes, from);
        if (size < 8 || from + size > to)
            return {};
        if (bytes.mid(from + 4, 4) == type)
            return bytes.mid(from, size);
        from += size;
    }
    return {};
}

} // namespace heifgrid

// A square picture coded alone by libheif's encoder, taken apart into one tile; null where
// there is no HEVC encoder. Each tile is one encoder run, so tests code a few and reuse them.
inline std::optional<HeifTile> codeTile(const QImage &picture)
{
    using namespace heifgrid;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tile.heic"));
    if (!writeHeif(path, picture, heif_compression_HEVC).isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    // A file of one picture: its meta box holds the configuration, its mdat only the picture.
    const QByteArray meta = child(bytes, 0, bytes.size(), "meta");
    const QByteArray iprp = child(meta, 12, meta.size(), "iprp");
    const QByteArray ipco = child(iprp, 8, iprp.size(), "ipco");
    HeifTile tile{child(ipco, 8, ipco.size(), "hvcC"), child(bytes, 0, bytes.size(), "mdat").mid(8), picture.width()};
    if (tile.config.isEmpty() || tile.data.isEmpty())
        return std::nullopt;
    return tile;
}

struct HeifGridFile {
    int columns = 2;
    int rows = 2;
    // Coded tiles; tile item i holds the bytes of tiles[i % tiles.size()].
    std::vector<HeifTile> tiles;
    // Tile items; the grid's reference k names item k % tileItems. Zero: one per cell.
    int tileItems = 0;
    // Whether tile items of one coded tile share its one copy of the bytes, as a hostile
    // file does to stay small, rather than each holding a copy of its own.
    bool shareBytes = false;
    // Further items of no picture (Exif-like, unreferenced), all over one few bytes.
    int otherItems = 0;
    // How the boxes are spelled: the 32-bit counts of item infos and item ids; the meta
    // box last, with a size of zero (to the end of the file) or one (64-bit size).
    bool wideCounts = false;
    int metaSizeField = -1; // -1: its plain 32-bit size

    QByteArray bytes() const;
};

inline QByteArray HeifGridFile::bytes() const
{
    using namespace heifgrid;
    const int side = tiles.front().side;
    const int cells = columns * rows;
    const int tileCount = tileItems > 0 ? tileItems : cells;
    const uint32_t gridId = 1, firstTile = 2, firstOther = firstTile + uint32_t(tileCount);
    const uint32_t items = 1 + uint32_t(tileCount) + uint32_t(otherItems);
    const auto putId = [&](QByteArray &out, uint32_t id) { wideCounts ? put32(out, id) : put16(out, id); };

    // The mdat's content and where each item's bytes lie in it.
    QByteArray data;
    struct Extent {
        uint32_t offset, length;
    };
    std::vector<Extent> extents;
    QByteArray grid;
    grid += char(0);
    grid += char(1); // 32-bit output sides
    grid += char(rows - 1);
    grid += char(columns - 1);
    put32(grid, uint32_t(columns * side));
    put32(grid, uint32_t(rows * side));
    extents.push_back({0, uint32_t(grid.size())});
    data += grid;
    std::vector<Extent> shared;
    if (shareBytes)
        for (const HeifTile &tile : tiles) {
            shared.push_back({uint32_t(data.size()), uint32_t(tile.data.size())});
            data += tile.data;
        }
    for (int i = 0; i < tileCount; ++i) {
        const size_t coded = size_t(i) % tiles.size();
        if (shareBytes) {
            extents.push_back(shared[coded]);
        } else {
            extents.push_back({uint32_t(data.size()), uint32_t(tiles[coded].data.size())});
            data += tiles[coded].data;
        }
    }
    const Extent other{uint32_t(data.size()), 12};
    data += QByteArray(12, '\0');
    for (int i = 0; i < otherItems; ++i)
        extents.push_back(other);

    QByteArray hdlrContent(4, '\0');
    hdlrContent += "pict";
    hdlrContent += QByteArray(13, '\0');
    QByteArray pitm;
    put16(pitm, gridId);

    QByteArray infos;
    const auto info = [&](uint32_t id, const char *type) {
        QByteArray content;
        put16(content, id);
        put16(content, 0);
        content += QByteArray(type, 4);
        content += char(0);
        infos += fullBox("infe", 2, 0, content);
    };
    info(gridId, "grid");
    for (int i = 0; i < tileCount; ++i)
        info(firstTile + uint32_t(i), "hvc1");
    for (int i = 0; i < otherItems; ++i)
        info(firstOther + uint32_t(i), "Exif");
    QByteArray iinf;
    wideCounts ? put32(iinf, items) : put16(iinf, items);

    QByteArray dimg;
    putId(dimg, gridId);
    put16(dimg, uint32_t(cells));
    for (int k = 0; k < cells; ++k)
        putId(dimg, firstTile + uint32_t(k % tileCount));

    // Properties: 1 the tile's sides, 2 the grid's, then each coded tile's configuration.
    QByteArray sides, gridSides;
    put32(sides, uint32_t(side));
    put32(sides, uint32_t(side));
    put32(gridSides, uint32_t(columns * side));
    put32(gridSides, uint32_t(rows * side));
    QByteArray properties = fullBox("ispe", 0, 0, sides) + fullBox("ispe", 0, 0, gridSides);
    for (const HeifTile &tile : tiles)
        properties += tile.config;
    QByteArray ipma;
    put32(ipma, uint32_t(1 + tileCount));
    put16(ipma, gridId);
    ipma += char(1);
    put16(ipma, 2);
    for (int i = 0; i < tileCount; ++i) {
        put16(ipma, firstTile + uint32_t(i));
        ipma += char(2);
        put16(ipma, 0x8000 | (3 + uint32_t(size_t(i) % tiles.size())));
        put16(ipma, 1);
    }
    const QByteArray iprp = box("iprp", box("ipco", properties) + fullBox("ipma", 0, 1, ipma));

    const QByteArray ftyp = box("ftyp", QByteArray("heic\0\0\0\0mif1heic", 16));
    const auto meta = [&](uint32_t base) {
        QByteArray iloc;
        iloc += char(0x44); // 4-byte offsets and lengths
        iloc += char(0);    // no base offsets
        wideCounts ? put32(iloc, items) : put16(iloc, items);
        for (uint32_t id = 1; id <= items; ++id) {
            putId(iloc, id);
            if (wideCounts)
                put16(iloc, 0); // stored in the file
            put16(iloc, 0);
            put16(iloc, 1);
            put32(iloc, base + extents[id - 1].offset);
            put32(iloc, extents[id - 1].length);
        }
        const QByteArray content = QByteArray(4, '\0') + fullBox("hdlr", 0, 0, hdlrContent)
            + fullBox("pitm", 0, 0, pitm) + fullBox("iloc", wideCounts ? 2 : 0, 0, iloc)
            + fullBox("iinf", wideCounts ? 1 : 0, 0, iinf + infos)
            + fullBox("iref", wideCounts ? 1 : 0, 0, box("dimg", dimg)) + iprp;
        QByteArray out;
        if (metaSizeField == 1) {
            put32(out, 1);
            out += "meta";
            put32(out, 0);
            put32(out, uint32_t(content.size() + 16));
        } else {
            put32(out, metaSizeField == 0 ? 0 : uint32_t(content.size() + 8));
            out += "meta";
        }
        return out + content;
    };
    const QByteArray mdat = box("mdat", data);
    if (metaSizeField >= 0) // meta last: the mdat before it
        return ftyp + mdat + meta(uint32_t(ftyp.size() + 8));
    const qsizetype metaSize = meta(0).size();
    return ftyp + meta(uint32_t(ftyp.size() + metaSize + 8)) + mdat;
}
