#pragma once
// The clean-up rules: which picture of each group of look-alikes to keep, and so which of
// the others to drop. One implementation for the similar-pictures window's "選択" menu and
// lumo-cli's `similar --keep`, so that both choose exactly the same pictures.
//
// A group's pictures are given in catalogue order, its base (the earliest entry) first.
// The rules pick the one picture to keep; each later rule breaks the ties of the earlier
// ones, and the remaining ties go to the larger file, then the newer file, then the earlier
// entry; where best is among the rules, to the older file, then the shorter path, then the
// earlier entry (byte-identical copies are always such a tie). A picture that is gone or whose header cannot be read is never the one kept (a
// group with no readable picture keeps everything). A picture inside a protected folder is
// never dropped, so a group may drop fewer than all the others; never every picture. Nor is
// another entry of the kept picture's file or of a protected picture's file, whatever its
// spelling: pictures are compared by their file's identity, folders by where they really lie.

#include "pictures/picturefacts.h"
#include "files/fileidentity.h"
#include "sigboxcore_export.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

enum class KeepRule {
    Best,   // the most picture: pixels, then colour, then detail, then quality (see below)
    Pixels, // the most pixels (width x height from the file's header)
    Size,   // the largest file
    Newest, // the latest modification time
    Oldest, // the earliest modification time
    Base,   // the group's base, its earliest entry
};

// "best", "pixels", "size", "newest", "oldest", "base"; nullopt for anything else.
SIGBOXCORE_EXPORT std::optional<KeepRule> keepRuleFromName(const QString &name);
SIGBOXCORE_EXPORT QString keepRuleName(KeepRule rule);

// Best ranks what a picture holds, not what it weighs, in steps, each deciding only among
// the pictures the step before left level:
//  1. the most pixels, where the difference is real: within 1 % (a column or two of
//     cropping) the pictures are level;
//  2. colour over grey;
//  3. a camera RAW over the pictures made from it (it has no JPEG quality, no detail
//     measured in coefficients);
//  4. detail (picturefacts.h): first a picture with less than 60 % of the most goes (a
//     blurred or blown-up copy, even when its file is larger), then the most pixels exactly
//     (a copy cropped by a column and re-saved finer gains detail from its original's
//     blocking), then detail of the finer frequencies within 17 % is level;
//  5. the most pixels exactly;
//  6. the quality held, where the difference is a real loss: a picture of quality at most
//     BestLossQuality and BestLossSteps or more below the best goes (q40 against q90), a
//     few steps of setting either way do not decide (q95 against q92, or against q75 in an
//     edit whose earlier compression does not show). The quality held is that of an
//     earlier compression where the picture shows one (a q98 re-save of a q75 picture
//     holds q75); an unknown quality (not a JPEG) is no loss;
//  7. a picture that shows no earlier compression over one that shows it was re-saved from
//     about that picture's own quality (within BestSourceSteps).
// A copy edited at the original's size and sharpness (brightened, mirrored) stays level
// through all seven, and the ties after the rules settle it.
inline constexpr double BestPixelTolerance = 0.01;
// A tone change of a tenth scales every coefficient by about that much, and the count of the
// strong fine ones, many near the threshold, grows by up to a fifth (1.19 at most among a
// 10 % brighter photo's fine frequencies); a photo shrunk and blown up again keeps at most
// about four fifths (0.81). Within 17 % is level: 1/1.2 stays in, 0.81 goes.
inline constexpr double BestDetailTolerance = 0.17;
// The earlier compression's estimate lands within 5 steps of the quality first saved at.
inline constexpr int BestSourceSteps = 6;
// Quality 60 is where the blocking of a JPEG begins to show in a photo; 20 steps below
// the best is more than the spread of settings that editors and cameras save at.
inline constexpr int BestLossQuality = 60;
inline constexpr int BestLossSteps = 20;

// Folders whose pictures no rule drops: a path is protected when it lies inside one of them
// or any of its sub-folders, compared on whole path components (/photos/keep protects
// /photos/keep/a.jpg, not /photos/keeper/a.jpg). Both sides are judged where they really
// lie (links resolved) and as written once cleaned, so "x/../keep/a.jpg" and a link to
// the folder are inside it; either place inside a folder protects.
class SIGBOXCORE_EXPORT ProtectedFolders
{
public:
    ProtectedFolders() = default;
    explicit ProtectedFolders(const QStringList &folders);
    bool protects(const QString &path) const;
    bool isEmpty() const { return m_folders.isEmpty(); }

private:
    QStringList m_folders; // cleaned and resolved spellings, each ending in '/'
};

// The choice for one group: indexes into the group's pictures.
struct KeepPlan {
    int keep = -1;         // -1: nothing kept, nothing dropped (no readable picture)
    std::vector<int> drop; // ascending; never the kept picture nor a protected one
    bool operator==(const KeepPlan &) const = default;
};

// Applies the rules (at least one) to one group. `pictures` in catalogue order, base first;
// `facts` one per picture.
SIGBOXCORE_EXPORT KeepPlan planGroup(const QStringList &pictures, const std::vector<PictureFacts> &facts,
                                     const std::vector<KeepRule> &rules, const ProtectedFolders &protect);

// A group of look-alikes by path, as the search found it: its base and its members in
// catalogue order. The base is "" once it has been deleted.
struct PictureGroup {
    QString base;
    QStringList members;
    bool operator==(const PictureGroup &) const = default;
};

// The pictures of the groups as the rules take them, group after group, each group's base
// first and then its members: the pictures whose facts planGroups wants, in that order
// (read them on any threads, with readPictureFacts).
SIGBOXCORE_EXPORT QStringList groupPictures(const std::vector<PictureGroup> &groups);

// What the rules decided for one group, by path.
struct GroupPlan {
    QString keep; // "" when nothing is kept (no readable picture)
    QStringList drop;
    bool operator==(const GroupPlan &) const = default;
};

// Plans every group: `facts` one per picture of groupPictures(groups).
SIGBOXCORE_EXPORT std::vector<GroupPlan> planGroups(const std::vector<PictureGroup> &groups,
                                                    const QList<PictureFacts> &facts,
                                                    const std::vector<KeepRule> &rules, const ProtectedFolders &protect);
