#pragma once
// The plan of `similar --keep`: which picture of each group the keep rules keep and which
// they drop. Only reads the files; nothing on disk changes.

#include <keeprules.h>
#include <picturecollection.h>
#include <similargrouping.h>

#include <QTextStream>

#include <vector>

// The groups by path.
std::vector<PictureGroup> pictureGroups(const std::vector<SimilarGroup> &groups, const PictureCollection &pictures);

// One plan per group; the pictures' headers, sizes and times are read on `jobs` threads.
std::vector<GroupPlan> planKeeping(const std::vector<PictureGroup> &groups, const std::vector<KeepRule> &rules,
                                   const ProtectedFolders &protect, int jobs);

// The pictures to drop, group after group: one a line, or each ended by a NUL.
void writeDropList(const std::vector<GroupPlan> &plans, bool null, QTextStream &out);
