#include "search/keeprules.h"
#include "picturefiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <unistd.h>

namespace {

enum class Made { Picture, Missing, Undecodable };

// One file of a group: where it lies in the test's folder, its pixel size, its byte count
// (a JPEG padded after its end) and how many minutes before a fixed moment it was modified.
struct Pic {
    const char *path;
    int width = 16;
    int height = 16;
    int bytes = 4000;
    int minutesAgo = 0;
    Made made = Made::Picture;
};

Pic missing(const char *path) { return {path, 0, 0, 0, 0, Made::Missing}; }
Pic undecodable(const char *path, int bytes) { return {path, 0, 0, bytes, 0, Made::Undecodable}; }

struct KeepCase {
    const char *name;
    std::vector<Pic> group; // catalogue order, base first
    std::vector<KeepRule> rules;
    std::vector<const char *> protect; // folders of the test's folder
    const char *keep;                  // nullptr: nothing kept
    std::vector<const char *> drop;
};

void PrintTo(const KeepCase &c, std::ostream *os) { *os << c.name; }

const QDateTime moment = QDateTime::fromSecsSinceEpoch(1700000000);

void make(const QDir &dir, const Pic &pic)
{
    const QString path = dir.filePath(QString::fromUtf8(pic.path));
    if (pic.made == Made::Missing)
        return;
    const QSize size = pic.made == Made::Picture ? QSize(pic.width, pic.height) : QSize();
    ASSERT_TRUE(writeSizedPicture(path, size, pic.bytes, moment.addSecs(-60 * pic.minutesAgo))) << pic.path;
}

class KeepRules : public ::testing::TestWithParam<KeepCase>
{
};

// The plan keeps the picture the rules prefer (later rules, then the larger file, the newer
// file, the earlier entry breaking ties), never keeps a missing or undecodable file, never
// drops a protected picture nor the whole group, and keeps everything when nothing is readable.
TEST_P(KeepRules, ChoosesWhatToKeepAndDrop)
{
    const KeepCase &c = GetParam();
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir dir(temp.path());
    QStringList pictures;
    std::vector<PictureFacts> facts;
    for (const Pic &pic : c.group) {
        make(dir, pic);
        pictures << dir.filePath(QString::fromUtf8(pic.path));
    }
    for (const QString &picture : pictures)
        facts.push_back(readPictureFacts(picture));
    QStringList folders;
    for (const char *folder : c.protect)
        folders << dir.filePath(QString::fromUtf8(folder));

    const KeepPlan plan = planGroup(pictures, facts, c.rules, ProtectedFolders(folders));

    const std::string kept = plan.keep < 0 ? "(none)" : c.group.at(plan.keep).path;
    EXPECT_EQ(kept, c.keep ? c.keep : "(none)");
    std::vector<std::string> dropped;
    for (int index : plan.drop)
        dropped.push_back(c.group.at(index).path);
    EXPECT_EQ(dropped, std::vector<std::string>(c.drop.begin(), c.drop.end()));
}

using R = KeepRule;

INSTANTIATE_TEST_SUITE_P(
    Groups, KeepRules,
    ::testing::Values(
        KeepCase{"MostPixels", {{"a.jpg", 40, 30}, {"b.jpg", 80, 60}, {"c.jpg", 20, 20}}, {R::Pixels}, {}, "b.jpg",
                 {"a.jpg", "c.jpg"}},
        KeepCase{"LargestFile", {{"a.jpg", 80, 60, 3000}, {"b.jpg", 16, 16, 5000}}, {R::Size}, {}, "b.jpg", {"a.jpg"}},
        KeepCase{"Newest", {{"a.jpg", 16, 16, 4000, 60}, {"b.jpg", 16, 16, 4000, 5}, {"c.jpg", 16, 16, 4000, 30}},
                 {R::Newest}, {}, "b.jpg", {"a.jpg", "c.jpg"}},
        KeepCase{"Oldest", {{"a.jpg", 16, 16, 4000, 60}, {"b.jpg", 16, 16, 4000, 5}, {"c.jpg", 16, 16, 4000, 90}},
                 {R::Oldest}, {}, "c.jpg", {"a.jpg", "b.jpg"}},
        KeepCase{"BaseWhateverTheOthers", {{"a.jpg", 16, 16, 3000, 60}, {"b.jpg", 80, 60, 6000, 1}}, {R::Base}, {},
                 "a.jpg", {"b.jpg"}},
        KeepCase{"PixelTieGoesToTheLaterRule",
                 {{"a.jpg", 40, 30, 4000, 5}, {"b.jpg", 30, 40, 4000, 50}, {"c.jpg", 20, 20, 4000, 90}},
                 {R::Pixels, R::Oldest}, {}, "b.jpg", {"a.jpg", "c.jpg"}},
        KeepCase{"LaterRuleOnlyBreaksTies", {{"a.jpg", 80, 60, 3000, 90}, {"b.jpg", 40, 30, 5000, 1}},
                 {R::Pixels, R::Newest}, {}, "a.jpg", {"b.jpg"}},
        KeepCase{"RuleTieGoesToTheLargerFile", {{"a.jpg", 40, 30, 3000, 1}, {"b.jpg", 30, 40, 3500, 90}},
                 {R::Pixels}, {}, "b.jpg", {"a.jpg"}},
        KeepCase{"SizeTieGoesToTheNewerFile", {{"a.jpg", 40, 30, 4000, 30}, {"b.jpg", 30, 40, 4000, 10}},
                 {R::Pixels}, {}, "b.jpg", {"a.jpg"}},
        KeepCase{"FullTieGoesToTheEarlierEntry", {{"a.jpg", 40, 30, 4000, 10}, {"b.jpg", 40, 30, 4000, 10}},
                 {R::Newest}, {}, "a.jpg", {"b.jpg"}},
        KeepCase{"MissingFileDroppedNeverKept", {missing("a.jpg"), {"b.jpg", 16, 16, 3000}}, {R::Base}, {}, "b.jpg",
                 {"a.jpg"}},
        KeepCase{"UndecodableFileDroppedNeverKept", {{"a.jpg", 16, 16, 3000}, undecodable("b.jpg", 9000)},
                 {R::Size}, {}, "a.jpg", {"b.jpg"}},
        KeepCase{"ProtectedPictureNeverDropped",
                 {{"keep/a.jpg", 20, 20}, {"b.jpg", 80, 60}, {"c.jpg", 20, 20}, {"keep/sub/d.jpg", 20, 20}},
                 {R::Pixels}, {"keep"}, "b.jpg", {"c.jpg"}},
        KeepCase{"SiblingPrefixNotProtected", {{"keeper/a.jpg", 20, 20}, {"b.jpg", 80, 60}, {"keep.jpg", 20, 20}},
                 {R::Pixels}, {"keep/"}, "b.jpg", {"keeper/a.jpg", "keep.jpg"}},
        KeepCase{"ProtectedPictureMayBeTheKeptOne", {{"a.jpg", 20, 20}, {"keep/b.jpg", 80, 60}, {"c.jpg", 20, 20}},
                 {R::Pixels}, {"keep"}, "keep/b.jpg", {"a.jpg", "c.jpg"}},
        KeepCase{"AllProtectedDropsNothing", {{"keep/a.jpg", 20, 20}, {"keep/b.jpg", 80, 60}}, {R::Pixels},
                 {"keep"}, "keep/b.jpg", {}},
        KeepCase{"NeverTheWholeGroup",
                 {missing("a.jpg"), undecodable("b.jpg", 9000), {"c.jpg", 8, 8, 3000}, missing("d.jpg")},
                 {R::Size, R::Pixels}, {}, "c.jpg", {"a.jpg", "b.jpg", "d.jpg"}},
        KeepCase{"DroppedFileListedTwiceDroppedTwice", {{"a.jpg", 20, 20}, {"b.jpg", 80, 60}, {"./b.jpg", 80, 60}},
                 {R::Base, R::Pixels}, {}, "a.jpg", {"b.jpg", "./b.jpg"}},
        KeepCase{"SecondEntryOfTheKeptFile", {{"a.jpg", 20, 20}, {"b.jpg", 80, 60}, {"./b.jpg", 80, 60}},
                 {R::Pixels}, {}, "b.jpg", {"a.jpg"}},
        KeepCase{"NoReadablePictureKeepsEverything", {missing("a.jpg"), undecodable("b.jpg", 3000)}, {R::Base}, {},
                 nullptr, {}}),
    [](const ::testing::TestParamInfo<KeepCase> &info) { return std::string(info.param.name); });

struct SameFileCase {
    const char *name;
    std::vector<const char *> group; // spellings, base first
    const char *protect;             // nullptr: none
    std::vector<const char *> drop;
    bool bind = false; // bound -> photos and keepbound -> keep are bind mounts (root only)
};

// A bind mount that goes with the test, whatever the outcome.
struct BindMount {
    QByteArray target;
    ~BindMount()
    {
        if (!target.isEmpty())
            ::umount2(target.constData(), MNT_DETACH);
    }
};

void PrintTo(const SameFileCase &c, std::ostream *os) { *os << c.name; }

class SameFile : public ::testing::TestWithParam<SameFileCase>
{
};

// Another spelling of the kept file or of a protected one (a linked folder, "./", "..",
// "//", a hard link) is never dropped, and a protected folder is judged where both it and
// the picture really lie. In the folder: photos/a.jpg (small), photos/b.jpg (large) with its
// hard link photos/h.jpg, keep/d.jpg with its hard link photos/dl.jpg, and links
// alias -> photos, keeplink -> keep.
TEST_P(SameFile, NeverDropsTheKeptOrProtectedFile)
{
    const SameFileCase &c = GetParam();
    QTemporaryDir temp;
    const QDir dir(temp.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("x")));
    make(dir, {"photos/a.jpg", 20, 20});
    make(dir, {"photos/b.jpg", 80, 60});
    make(dir, {"keep/d.jpg", 20, 20});
    const QByteArray root = QFile::encodeName(temp.path()) + '/';
    ASSERT_EQ(::link(root + "photos/b.jpg", root + "photos/h.jpg"), 0);
    ASSERT_EQ(::link(root + "keep/d.jpg", root + "photos/dl.jpg"), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("photos"), dir.filePath(QStringLiteral("alias"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("keep"), dir.filePath(QStringLiteral("keeplink"))));
    BindMount binds[2];
    if (c.bind) {
        if (::geteuid() != 0)
            GTEST_SKIP() << "bind mounts need root";
        const std::pair<const char *, const char *> mounts[] = {{"photos", "bound"}, {"keep", "keepbound"}};
        for (size_t i = 0; i < std::size(mounts); ++i) {
            ASSERT_TRUE(dir.mkpath(QLatin1String(mounts[i].second)));
            if (::mount(root + mounts[i].first, root + mounts[i].second, nullptr, MS_BIND, nullptr) != 0)
                GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
            binds[i].target = root + mounts[i].second;
        }
    }
    QStringList pictures;
    for (const char *path : c.group)
        pictures << temp.path() + QLatin1Char('/') + QString::fromUtf8(path);
    std::vector<PictureFacts> facts;
    for (const QString &picture : pictures)
        facts.push_back(readPictureFacts(picture));
    const QStringList folders{c.protect ? temp.path() + QLatin1Char('/') + QString::fromUtf8(c.protect) : QString()};

    const KeepPlan plan = planGroup(pictures, facts, {KeepRule::Pixels}, ProtectedFolders(folders));

    std::vector<std::string> dropped;
    for (int index : plan.drop)
        dropped.push_back(c.group.at(index));
    EXPECT_EQ(dropped, std::vector<std::string>(c.drop.begin(), c.drop.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, SameFile,
    ::testing::Values(
        SameFileCase{"LinkedFolder", {"alias/b.jpg", "photos/a.jpg", "photos/b.jpg"}, nullptr, {"photos/a.jpg"}},
        SameFileCase{"DotDotAndDoubleSlash",
                     {"photos/./b.jpg", "photos/a.jpg", "x/../photos/b.jpg", "photos//b.jpg"}, nullptr,
                     {"photos/a.jpg"}},
        SameFileCase{"HardLink", {"photos/a.jpg", "photos/h.jpg", "photos/b.jpg"}, nullptr, {"photos/a.jpg"}},
        SameFileCase{"PictureThroughLinkedFolder", {"photos/b.jpg", "keeplink/d.jpg", "photos/a.jpg"}, "keep",
                     {"photos/a.jpg"}},
        SameFileCase{"FolderNamedThroughLink", {"photos/b.jpg", "keep/d.jpg", "photos/a.jpg"}, "keeplink",
                     {"photos/a.jpg"}},
        SameFileCase{"PictureSpelledWithDotDot", {"photos/b.jpg", "x/../keep/d.jpg", "keep/./d.jpg", "photos/a.jpg"},
                     "keep", {"photos/a.jpg"}},
        SameFileCase{"FolderSpelledWithDotDot", {"photos/b.jpg", "keep/d.jpg", "photos/a.jpg"}, "x/../keep//",
                     {"photos/a.jpg"}},
        SameFileCase{"HardLinkOfAProtectedFile", {"photos/b.jpg", "photos/dl.jpg", "keep/d.jpg", "photos/a.jpg"},
                     "keep", {"photos/a.jpg"}},
        SameFileCase{"OtherFolderThroughLinkNotProtected", {"photos/b.jpg", "alias/a.jpg"}, "keeplink",
                     {"alias/a.jpg"}},
        SameFileCase{"BindMountedFolder", {"bound/b.jpg", "photos/a.jpg", "photos/b.jpg"}, nullptr, {"photos/a.jpg"},
                     true},
        SameFileCase{"BindOfAProtectedFile", {"photos/b.jpg", "keepbound/d.jpg", "keep/d.jpg", "photos/a.jpg"},
                     "keep", {"photos/a.jpg"}, true}),
    [](const ::testing::TestParamInfo<SameFileCase> &info) { return std::string(info.param.name); });

// Rule names as lumo-cli takes them: exactly the lower-case words, and back.
TEST(KeepRuleNames, RoundTripAndRejectOthers)
{
    for (KeepRule rule : {R::Best, R::Pixels, R::Size, R::Newest, R::Oldest, R::Base})
        EXPECT_EQ(keepRuleFromName(keepRuleName(rule)), rule);
    for (const char *other : {"", "Pixels", "largest", "pixels,size"})
        EXPECT_EQ(keepRuleFromName(QString::fromUtf8(other)), std::nullopt) << other;
}

} // namespace
