// The RAW reader against a helper that fails in every way a process can: it crashes, hangs,
// stops reading, says nothing, breaks off, or claims a picture it does not send. Each is a
// file that cannot be read, within the time the reader gives the helper, and no helper
// outlives its reader. A file that crashes LibRaw itself is one of them.

#include "dngwriter.h"
#include "pictures/rawimage.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <sys/wait.h>

namespace {

// A helper header as the reader expects it, written by printf in the shell.
const char *const Header = R"(printf '\001\000\000\000\100\000\000\000\060\000\000\000\000\000\000\000\000\000\000\000\000\000\370\077' >&3)";

struct HelperCase {
    const char *row;
    std::string script; // the helper's body, in sh; its channel is descriptor 3
    bool header;        // the reader gets the size from it
};

void PrintTo(const HelperCase &c, std::ostream *os) { *os << c.row; }

class FailingHelper : public ::testing::TestWithParam<HelperCase>
{
protected:
    void TearDown() override { RawImageHandler::setHelperForTests(QString(), 0); }
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
    QFile script(path);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QByteArray("#!/bin/sh\n") + QByteArray::fromStdString(c.script) + '\n');
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    RawImageHandler::setHelperForTests(path, 2);

    // Larger than a socket's buffer, so that a helper that reads nothing holds up the send.
    QByteArray bytes = aDng();
    bytes.append(QByteArray(8 << 20, '\0'));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "dng");
    reader.setAutoDetectImageFormat(false);
    EXPECT_EQ(reader.size().isValid(), c.header) << reader.size().width();
    EXPECT_TRUE(reader.read().isNull());
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a helper outlived its reader";
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

// The helper itself read through its reader, for comparison: the same file is read.
TEST(RawHelper, ReadsTheFile)
{
    QByteArray bytes = aDng();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "dng");
    reader.setAutoDetectImageFormat(false);
    EXPECT_EQ(reader.size(), QSize(64, 48));
    const QImage image = reader.read();
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

} // namespace
