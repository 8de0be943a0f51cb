#pragma once
// DNG files made at test time: a little-endian TIFF with the DNG tags, the sensor data as a
// Bayer mosaic (CFA, RGGB) or as three linear channels (LinearRaw), 16 bits, uncompressed,
// and an optional preview in a sub-IFD, as a JPEG or as 8-bit RGB. The colour matrix makes
// the camera's colours linear sRGB and the white balance neutral, so that a faithful
// developer gives back the stored picture.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cmath>
#include <cstdint>
#include <vector>

enum class DngSensor { Cfa, LinearRaw };
enum class DngPreview { None, Jpeg, Rgb };

namespace dngwriter {

inline uint16_t linear(int srgb)
{
    const double c = srgb / 255.0;
    const double l = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    return uint16_t(std::lround(l * 65535));
}

struct Entry {
    uint16_t tag;
    uint16_t type; // 1 BYTE, 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 10 SRATIONAL
    uint32_t count;
    QByteArray data; // little-endian values
};

inline void put16(QByteArray &out, uint16_t v) { out.append(char(v & 0xff)).append(char(v >> 8)); }
inline void put32(QByteArray &out, uint32_t v)
{
    put16(out, uint16_t(v & 0xffff));
    put16(out, uint16_t(v >> 16));
}
inline Entry shorts(uint16_t tag, std::vector<uint16_t> values)
{
    Entry e{tag, 3, uint32_t(values.size()), {}};
    for (uint16_t v : values)
        put16(e.data, v);
    return e;
}
inline Entry longs(uint16_t tag, std::vector<uint32_t> values)
{
    Entry e{tag, 4, uint32_t(values.size()), {}};
    for (uint32_t v : values)
        put32(e.data, v);
    return e;
}
inline Entry bytes(uint16_t tag, std::vector<uint8_t> values)
{
    Entry e{tag, 1, uint32_t(values.size()), {}};
    for (uint8_t v : values)
        e.data.append(char(v));
    return e;
}
inline Entry ascii(uint16_t tag, const char *text)
{
    Entry e{tag, 2, 0, QByteArray(text)};
    e.data.append('\0');
    e.count = uint32_t(e.data.size());
    return e;
}
inline Entry rationals(uint16_t tag, uint16_t type, std::vector<double> values)
{
    Entry e{tag, type, uint32_t(values.size()), {}};
    for (double v : values) {
        put32(e.data, uint32_t(int32_t(std::lround(v * 10000))));
        put32(e.data, 10000);
    }
    return e;
}

// Appends an IFD (entries sorted by tag) and the values that do not fit in an entry;
// `valueFields` gets the file offset of each entry's value field, in order.
inline uint32_t appendIfd(QByteArray &file, std::vector<Entry> entries, std::vector<uint32_t> *valueFields = nullptr)
{
    if (file.size() % 2)
        file.append('\0');
    const uint32_t at = uint32_t(file.size());
    uint32_t extra = at + 2 + uint32_t(entries.size()) * 12 + 4;
    QByteArray table;
    QByteArray outside;
    put16(table, uint16_t(entries.size()));
    for (const Entry &e : entries) {
        put16(table, e.tag);
        put16(table, e.type);
        put32(table, e.count);
        if (valueFields)
            valueFields->push_back(at + uint32_t(table.size()));
        if (e.data.size() <= 4) {
            table.append(e.data).append(QByteArray(4 - e.data.size(), '\0'));
        } else {
            put32(table, extra + uint32_t(outside.size()));
            outside.append(e.data);
            if (outside.size() % 2)
                outside.append('\0');
        }
    }
    put32(table, 0); // no next IFD
    file.append(table).append(outside);
    return at;
}

inline void patch32(QByteArray &file, uint32_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[at + i] = char((value >> (8 * i)) & 0xff);
}

} // namespace dngwriter

// `stored` is the picture as the sensor holds it; `orientation` (EXIF numbering) the turn
// that brings it upright. A null `preview` writes none.
inline QByteArray makeDng(const QImage &stored, DngSensor sensor, int orientation, const QImage &preview = {},
                          DngPreview kind = DngPreview::Jpeg)
{
    using namespace dngwriter;
    const QImage rgb = stored.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width();
    const int h = rgb.height();
    const int samples = sensor == DngSensor::Cfa ? 1 : 3;
    QByteArray pixels;
    pixels.reserve(qsizetype(w) * h * samples * 2);
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const int channel[3] = {qRed(line[x]), qGreen(line[x]), qBlue(line[x])};
            if (sensor == DngSensor::Cfa) {
                const int colour = (y % 2) + (x % 2); // R G / G B
                put16(pixels, linear(channel[colour]));
            } else {
                for (int c : channel)
                    put16(pixels, linear(c));
            }
        }
    }
    QByteArray previewData;
    if (!preview.isNull()) {
        const QImage shown = preview.convertToFormat(QImage::Format_RGB888);
        if (kind == DngPreview::Jpeg) {
            QBuffer buffer(&previewData);
            buffer.open(QIODevice::WriteOnly);
            shown.save(&buffer, "JPEG", 95);
        } else {
            for (int y = 0; y < shown.height(); ++y)
                previewData.append(reinterpret_cast<const char *>(shown.constScanLine(y)), shown.width() * 3);
        }
    }

    // XYZ (D65) to linear sRGB: the camera's colours are sRGB's.
    const std::vector<double> xyzToSrgb{3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108,
                                        0.0415560, 0.0556434,  -0.2040259, 1.0572252};
    QByteArray file("II*\0\x08\0\0\0", 8);
    std::vector<Entry> raw{
        longs(254, {0}),
        longs(256, {uint32_t(w)}),
        longs(257, {uint32_t(h)}),
        shorts(258, std::vector<uint16_t>(size_t(samples), 16)),
        shorts(259, {1}),
        shorts(262, {uint16_t(sensor == DngSensor::Cfa ? 32803 : 34892)}),
        ascii(271, "Lumo"),
        ascii(272, "Test Camera"),
        longs(273, {0}), // patched: the pixels' offset
        shorts(274, {uint16_t(orientation)}),
        shorts(277, {uint16_t(samples)}),
        longs(278, {uint32_t(h)}),
        longs(279, {uint32_t(pixels.size())}),
        shorts(284, {1}),
    };
    if (!preview.isNull())
        raw.push_back(longs(330, {0})); // patched: the preview's IFD
    if (sensor == DngSensor::Cfa) {
        raw.push_back(shorts(33421, {2, 2}));
        raw.push_back(bytes(33422, {0, 1, 1, 2}));
    }
    raw.push_back(bytes(50706, {1, 4, 0, 0}));
    raw.push_back(bytes(50707, {1, 1, 0, 0}));
    raw.push_back(ascii(50708, "Lumo Test Camera"));
    raw.push_back(longs(50717, {65535}));
    raw.push_back(rationals(50721, 10, xyzToSrgb));
    raw.push_back(rationals(50728, 5, {1, 1, 1}));
    raw.push_back(shorts(50778, {21}));
    std::vector<uint32_t> fields;
    appendIfd(file, raw, &fields);
    const auto fieldOf = [&raw, &fields](uint16_t tag) {
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i].tag == tag)
                return fields[i];
        }
        return uint32_t(0);
    };
    if (!preview.isNull()) {
        std::vector<Entry> sub{
            longs(254, {1}),
            longs(256, {uint32_t(preview.width())}),
            longs(257, {uint32_t(preview.height())}),
            shorts(258, {8, 8, 8}),
            shorts(259, {uint16_t(kind == DngPreview::Jpeg ? 7 : 1)}),
            shorts(262, {uint16_t(kind == DngPreview::Jpeg ? 6 : 2)}),
            longs(273, {0}),
            shorts(277, {3}),
            longs(278, {uint32_t(preview.height())}),
            longs(279, {uint32_t(previewData.size())}),
            shorts(284, {1}),
        };
        std::vector<uint32_t> subFields;
        const uint32_t subAt = appendIfd(file, sub, &subFields);
        patch32(file, fieldOf(330), subAt);
        if (file.size() % 2)
            file.append('\0');
        patch32(file, subFields[6], uint32_t(file.size()));
        file.append(previewData);
    }
    if (file.size() % 2)
        file.append('\0');
    patch32(file, fieldOf(273), uint32_t(file.size()));
    file.append(pixels);
    return file;
}

inline bool writeDng(const QString &path, const QImage &stored, DngSensor sensor, int orientation,
                     const QImage &preview = {}, DngPreview kind = DngPreview::Jpeg)
{
    const QByteArray bytes = makeDng(stored, sensor, orientation, preview, kind);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
