// The RAW reader against a helper that fails in every way a process can: it crashes, hangs,
// stops reading, says nothing, breaks off, or claims a picture it does not send. Each is a
// file that cannot be read, within the time the reader gives the helper, and no helper
// is left running. A file that crashes LibRaw itself is one of them (rawimage_test).

#include "dngwriter.h"
#include "pictures/rawimage.h"
#include "storetestutil.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A helper header as the reader expects it, written by printf in the shell.
const char *const Header = R"(printf '\001\000\000\000\100\000\000\000\060\000\000\000\000\000\000\000\000\000\000\000\000\000\370\077' >&3)";

// This process's own children.
std::vector<pid_t> children()
{
    std::vector<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        // pid (name) state ppid ...: the name may hold spaces, never ")".
        const QByteArray line = stat.readAll();
        const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (after.size() > 1 && after[1].toInt() == getpid())
            found.push_back(pid);
    }
    return found;
}

struct HelperCase {
    const char *row;
    std::string script; // the helper's body, in sh; its channel is descriptor 3
    bool header;        // the reader gets the size from it
};

void PrintTo(const HelperCase &c, std::ostream *os) { *os << c.row; }

class FailingHelper : public ::testing::TestWithParam<HelperCase>
{
protected:
    // What a helper starts is this process's to wait for when the helper has gone, so
    // that a helper ended without its own children shows.
    void SetUp() override { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    void TearDown() override
    {
        RawImageHandler::setHelperForTests(QString(), 0);
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
};

QByteArray aDng()
{
    QImage stored(64, 48, QImage::Format_RGB32);
    stored.fill(QColor(120, 90, 200));
    return makeDng(stored, DngSensor::Cfa, 1);
}

TEST_P(FailingHelper, IsAFileThatCannotBeRead)
{
    const HelperCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("helper"));
    ASSERT_TRUE(writeFile(path, QByteArray("#!/bin/sh\n") + QByteArray::fromStdString(c.script) + '\n'));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    RawImageHandler::setHelperForTests(path, 2); // no helper of an earlier test is left

    // Larger than a socket's buffer, so that a helper that reads nothing holds up the send.
    QByteArray bytes = aDng();
    bytes.append(QByteArray(8 << 20, '\0'));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "dng");
    reader.setAutoDetectImageFormat(false);
    EXPECT_EQ(reader.size().isValid(), c.header) << reader.size().width();
    EXPECT_TRUE(reader.read().isNull());
    // Not one process of this one's is left, nor one that a helper started: those end with
    // their helper, a moment later, and are waited for here.
    for (int wait = 0; wait < 100 && !children().empty(); ++wait) {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        ::usleep(10'000);
    }
    EXPECT_TRUE(children().empty()) << "a failed helper, or what it started, is left";
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

INSTANTIATE_TEST_SUITE_P(
    Helpers, FailingHelper,
    ::testing::Values(HelperCase{"NotThere", "exec /nonexistent/lumo-raw", false},
                      HelperCase{"CrashesAtOnce", "kill -SEGV $$", false},
                      HelperCase{"SaysNothing", "exit 0", false},
                      HelperCase{"HangsReadingNothing", "sleep 30", false},
                      HelperCase{"HangsAfterReading", "cat <&3 >/dev/null & sleep 30", false},
                      HelperCase{"RefusesTheFile", R"(cat <&3 >/dev/null & printf '\000\000\000\000' >&3; sleep 30)", false},
                      HelperCase{"BreaksOffInTheHeader", R"(cat <&3 >/dev/null & printf '\001\000' >&3)", false},
                      HelperCase{"CrashesAfterTheHeader", std::string("cat <&3 >/dev/null & ") + Header + "; kill -SEGV $$",
                                 true},
                      HelperCase{"HangsAfterTheHeader", std::string("cat <&3 >/dev/null & ") + Header + "; sleep 30", true},
                      HelperCase{"ClaimsTooLargeAPicture",
                                 std::string("cat <&3 >/dev/null & ") + Header
                                     + R"(; printf '\001\000\000\000\377\177\000\000\377\177\000\000' >&3; sleep 30)",
                                 true},
                      HelperCase{"ClaimsAPictureWiderThanAny",
                                 std::string("cat <&3 >/dev/null & ") + Header
                                     + R"(; printf '\001\000\000\000\000\000\001\000\001\000\000\000' >&3; sleep 30)",
                                 true},
                      HelperCase{"SendsFewerRowsThanItSays",
                                 std::string("cat <&3 >/dev/null & ") + Header
                                     + R"(; printf '\001\000\000\000\004\000\000\000\004\000\000\000abcdefghij' >&3)",
                                 true}),
    [](const ::testing::TestParamInfo<HelperCase> &info) { return std::string(info.param.row); });

// A DNG in memory read as the viewer and the thumbnails read one: the size first.
struct DngReader {
    explicit DngReader(const QByteArray &dng)
        : bytes(dng)
    {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setFormat("dng");
        reader.setAutoDetectImageFormat(false);
    }
    QByteArray bytes;
    QBuffer buffer{&bytes};
    QImageReader reader;
};

QImage readDng(const QByteArray &dng)
{
    DngReader dngReader(dng);
    return dngReader.reader.size() == QSize(64, 48) ? dngReader.reader.read() : QImage();
}

// The helper reads one file after another; one that has gone while it waited is replaced
// without the file's being lost, and one that is asked for the size alone goes on too.
TEST(RawHelper, ReadsFileAfterFile)
{
    RawImageHandler::setHelperForTests(QString(), 0);
    ASSERT_TRUE(children().empty());
    EXPECT_FALSE(readDng(aDng()).isNull());
    const std::vector<pid_t> first = children();
    EXPECT_EQ(first.size(), 1u) << "the helper waits for the next file";
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), 0);

    EXPECT_FALSE(readDng(aDng()).isNull());
    EXPECT_EQ(children(), first) << "the same helper read the second file";

    EXPECT_EQ(DngReader(aDng()).reader.size(), QSize(64, 48));
    EXPECT_EQ(children(), first) << "a helper asked for the size alone waits for the next file";

    for (const pid_t pid : first) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0); // as if it had been ended by anyone else
    }
    EXPECT_FALSE(readDng(aDng()).isNull()) << "a helper gone while it waited loses the file";
    EXPECT_EQ(children().size(), 1u);
    RawImageHandler::setHelperForTests(QString(), 0);
    EXPECT_TRUE(children().empty());
}

// The helper's time runs from each question: a reader that asks for the picture long after
// it read the size still gets it.
TEST(RawHelper, GivesThePictureLongAfterTheSize)
{
    RawImageHandler::setHelperForTests(QString(), 1);
    DngReader dng(aDng());
    EXPECT_EQ(dng.reader.size(), QSize(64, 48));
    ::usleep(1'500'000);
    EXPECT_FALSE(dng.reader.read().isNull());
    RawImageHandler::setHelperForTests(QString(), 0);
}

} // namespace
