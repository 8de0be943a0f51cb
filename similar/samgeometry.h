#pragma once
// The arithmetic of the thumbnail grid in twips, apart from any widget so that it can be
// checked on its own: cells and hit-testing, the scroll slider's range, caption
// shortening, and the texts the window shows.

#include "pictures/picturefacts.h"
#include "search/similargrouping.h"

#include <QRect>
#include <QString>

#include <optional>

class QFontMetrics;

struct SamGeometry
{
    static constexpr int CaptionHeight = 300; // the caption strip under each picture
    static constexpr int CaptionIndent = 30;  // where the caption starts in its cell

    int width = 1200;  // W, the cell width (SamWidth)
    int height = 1600; // H, the cell's picture height (SamHeight)
    int columns = 6;   // C (SamCols)

    // The settings as the grid uses them. Hand-edited values that would divide by zero or
    // overflow the arithmetic are taken as the nearest usable ones.
    static SamGeometry fromSettings(int columns, int width, int height);

    int rowHeight() const { return height + CaptionHeight; } // R
    int areaWidth() const { return columns * width; }
    // Cell k: W wide, R high, in row k div C and column k mod C.
    QRect cellRect(int k) const;

    struct Hit
    {
        int column;
        int row;
        int cell;
        bool operator==(const Hit &) const = default;
    };
    // The cell under the point (x, y) of the picture area; none right of the last column.
    std::optional<Hit> hit(int x, int y) const;
};

// The scroll slider for a picture area of `areaHeight` in a client of `clientHeight`: in use
// only when the area is taller; then from 1 to the number of rows beyond the client plus 2,
// a page being the whole rows that fit.
struct SamSliderRange
{
    bool enabled = false;
    int minimum = 0;
    int maximum = 0;
    int pageStep = 0;
    bool operator==(const SamSliderRange &) const = default;
};
SamSliderRange samSliderRange(int areaHeight, int clientHeight, int rowHeight);

// text shortened to be narrower than width (twips) in the font of metrics, drawn at dpi:
// whole, or its longest head of at least two characters followed by "...", or else its
// first character and "..." whether that fits or not.
QString FitSamTitle(const QString &text, int width, const QFontMetrics &metrics, double dpi);

// The title while a run places pictures: the path, then "を表示中...(" (list run) or
// "を比較中...(" (comparison run), then number "/" count ")"; a comparison run that also
// looks for turned or grey copies says so after it (" [回転・反転]", " [グレー]").
enum class SamRun { List, Comparison };
QString samProgressTitle(SamRun run, const QString &path, int number, int count, SimilarRule rule = {});

// How a member came to its group, when not by its colours as they are: a mark after its
// caption ("↻" turned, "⇋" mirrored, "◐" by brightness) and words after its tooltip
// ("(90°回転)", "(左右反転・90°回転)", "(グレー)", ...). Empty for a plain match.
QString samMatchMark(const SimilarMatch &match);
QString samMatchNote(const SimilarMatch &match);

// A thumbnail's tooltip: the path, then "(", the size in whole KiB, "KB)".
QString samToolTip(const QString &path, qint64 bytes);
// What the tooltip adds on a line of its own: the pixel size as shown, the estimated JPEG
// quality ("RAW" for a camera RAW) and the date taken, each where the file has it; empty
// for an unreadable picture.
QString samFactsNote(const PictureFacts &facts);
