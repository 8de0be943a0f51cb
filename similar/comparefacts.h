#pragma once
// The facts the compare window writes under each picture of a group, as texts, and which of
// them differ within the group (those are drawn in bold). A fact that no picture of the
// group has is left out; one that only some have shows "なし" for the others.

#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>

#include <vector>

struct ShownFacts
{
    QString path;
    QSize size;          // upright pixels; invalid while unknown
    qint64 bytes = -1;   // -1: unknown
    QDateTime modified;
    int quality = 0;     // estimated JPEG quality 1..100; 0: unknown
    double detail = -1;  // the detail measure of the "best" rule; < 0: unknown
    QDateTime taken;     // from the camera
    QString camera;      // model, from the camera
    bool raw = false;    // a camera RAW: "RAW" stands for its quality
    int primaryQuality = 0; // of an earlier compression the picture shows; 0: none seen
};

struct FactLine
{
    QString text;
    bool differs = false;
    bool operator==(const FactLine &) const = default;
};

// For each picture its lines, in the same order for all: name, folder, pixel size, file
// size, quality, earlier quality, detail, modified, taken, camera.
std::vector<QList<FactLine>> compareFactLines(const std::vector<ShownFacts> &pictures);
