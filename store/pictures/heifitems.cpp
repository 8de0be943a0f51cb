#include "pictures/heifitems.h"

#include <cstdint>
#include <optional>

using namespace heifitems;

namespace {

// Bytes [at, end) of the file, every read checked against `end`.
struct Span {
    const uint8_t *data;
    qsizetype at;
    qsizetype end;

    qsizetype left() const { return end - at; }
    std::optional<uint64_t> read(int width)
    {
        if (left() < width)
            return std::nullopt;
        uint64_t value = 0;
        for (int i = 0; i < width; ++i)
            value = value << 8 | data[at++];
        return value;
    }
};

struct Box {
    uint32_t type;
    Span content;
};

constexpr uint32_t fourcc(const char (&name)[5])
{
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 | uint32_t(uint8_t(name[2])) << 8
        | uint8_t(name[3]);
}

// The next box in `span`, moving past it; null where its header or its size does not fit.
std::optional<Box> nextBox(Span &span)
{
    const qsizetype start = span.at;
    const auto size32 = span.read(4);
    const auto type = span.read(4);
    if (!size32 || !type)
        return std::nullopt;
    uint64_t size = *size32;
    if (size == 1) {
        const auto large = span.read(8);
        if (!large)
            return std::nullopt;
        size = *large;
    } else if (size == 0) {
        size = uint64_t(span.end - start); // to the end of what holds it
    }
    const qsizetype header = span.at - start;
    if (size < uint64_t(header) || size > uint64_t(span.end - start))
        return std::nullopt;
    const Box box{uint32_t(*type), Span{span.data, span.at, start + qsizetype(size)}};
    span.at = box.content.end;
    return box;
}

// A full box's version, moving past its version and flags.
std::optional<int> version(Span &content)
{
    const auto head = content.read(4);
    return head ? std::optional<int>(int(*head >> 24)) : std::nullopt;
}

struct Counts {
    long long items = 0;
    long long locations = 0;
    long long associations = 0;
    long long references = 0;
    long long tiles = 0; // of the largest derived image
};

// The item references: boxes of one item's references of one kind each, ids of 16 bits
// (version 0) or 32.
bool countReferences(Span content, Counts &counts)
{
    const auto v = version(content);
    if (!v)
        return false;
    const int idWidth = *v == 0 ? 2 : 4;
    while (content.left() > 0) {
        auto box = nextBox(content);
        if (!box || !box->content.read(idWidth))
            return false;
        const auto count = box->content.read(2);
        if (!count || box->content.left() < qsizetype(*count) * idWidth)
            return false;
        counts.references += qsizetype(*count);
        if (box->type == fourcc("dimg") && qsizetype(*count) > counts.tiles)
            counts.tiles = qsizetype(*count);
        if (counts.references > MaxReferences)
            return false;
    }
    return true;
}

bool countMeta(Span meta, Counts &counts)
{
    if (!version(meta))
        return false;
    while (meta.left() > 0) {
        auto box = nextBox(meta);
        if (!box)
            return false;
        Span &content = box->content;
        switch (box->type) {
        case fourcc("iinf"): {
            // libheif reads every entry box there is, whatever count the header declares.
            const auto v = version(content);
            if (!v || !content.read(*v == 0 ? 2 : 4))
                return false;
            while (content.left() > 0) {
                if (!nextBox(content) || ++counts.items > MaxItems)
                    return false;
            }
            break;
        }
        case fourcc("iloc"): {
            const auto v = version(content);
            if (!v || !content.read(2))
                return false;
            const auto count = content.read(*v < 2 ? 2 : 4);
            if (!count)
                return false;
            counts.locations += qsizetype(*count);
            break;
        }
        case fourcc("iref"):
            if (!countReferences(content, counts))
                return false;
            break;
        case fourcc("iprp"):
            // Its property associations, one entry an item.
            while (content.left() > 0) {
                auto inner = nextBox(content);
                if (!inner)
                    return false;
                if (inner->type != fourcc("ipma"))
                    continue;
                if (!version(inner->content))
                    return false;
                const auto count = inner->content.read(4);
                if (!count)
                    return false;
                counts.associations += qsizetype(*count);
            }
            break;
        default:
            break;
        }
        if (counts.locations > MaxItems || counts.associations > MaxItems || counts.tiles > MaxTiles)
            return false;
    }
    return true;
}

} // namespace

bool heifItemsWithinLimits(QByteArrayView bytes)
{
    Span file{reinterpret_cast<const uint8_t *>(bytes.data()), 0, bytes.size()};
    Counts counts;
    bool found = false;
    // The top-level boxes up to the last meta box; what follows it (the pictures' bytes,
    // perhaps cut short) is libheif's to judge.
    while (file.left() >= 8) {
        const auto box = nextBox(file);
        if (!box)
            return found;
        if (box->type == fourcc("meta")) {
            if (!countMeta(box->content, counts))
                return false;
            found = true;
        }
    }
    return found;
}
