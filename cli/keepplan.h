#pragma once
// The plan of `similar --keep`: which picture of each group the keep rules keep and which
// they drop. Only reads the files; nothing on disk changes.

#include "search/keeprules.h"
#include "catalogue/picturecollection.h"
#include "search/similargrouping.h"

#include <QTextStream>

#include <vector>

// The groups by path.
std::vector<PictureGroup> pictureGroups(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures);

// The facts of every group's pictures, in groupPictures order, read on `jobs` threads.
QList<PictureFacts> readGroupFacts(const std::vector<PictureGroup> &groups, int jobs);

// The pictures to drop, group after group: one a line, or each ended by a NUL.
void writeDropList(const std::vector<GroupPlan> &plans, bool null, QTextStream &out);
