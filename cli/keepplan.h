#pragma once
// The plan of `similar --keep`: which picture of each group the keep rules keep and which
// they drop. Only reads the files; nothing on disk changes.

#include <keeprules.h>
#include <picturecollection.h>
#include <similargrouping.h>

#include <QStringList>
#include <QTextStream>

#include <vector>

// A group's pictures as the keep rules take them: the base first, then the members, all in
// catalogue order. A plan's indexes point into this list.
QStringList keepRulePictures(const SimilarGroup &group, const PictureCollection &pictures);

// The facts of every group's pictures, in keepRulePictures order, read on `jobs` threads.
using GroupFacts = std::vector<std::vector<PictureFacts>>;
GroupFacts readGroupFacts(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures, int jobs);

// One plan per group from its facts.
std::vector<KeepPlan> planKeeping(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures,
                                  const GroupFacts &facts, const std::vector<KeepRule> &rules,
                                  const ProtectedFolders &protect);

// The pictures to drop, group after group: one a line, or each ended by a NUL.
void writeDropList(const std::vector<SimilarGroup> &groups, const std::vector<KeepPlan> &plans,
                   const PictureCollection &pictures, bool null, QTextStream &out);
