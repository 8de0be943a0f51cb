// lumo-cli where a user could lose data: catalogues that cannot be written, damaged and
// mislabelled pictures, awkward file names, and the catalogue's size limit.

#include "clitestsupport.h"
#include "faults.h"

#include <catalogue.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QStringList listedPaths(const QString &catalogue)
{
    SignatureTable table;
    EXPECT_FALSE(loadCatalogue(catalogue, table).damaged());
    QStringList paths;
    for (int i = 0; i < table.count(); ++i)
        paths << table.name(i);
    return paths;
}

// lumo-cli run in this process as the unprivileged user (root forks for it).
CliRun runCliUnprivileged(const QStringList &arguments)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return {};
    CliRun run;
    run.status = faults::runUnprivileged([&] {
        const CliRun inner = runCli(arguments);
        const QByteArray err = inner.err.toUtf8();
        return ::write(ends[1], err.constData(), size_t(err.size())) == err.size() ? inner.status : 99;
    });
    ::close(ends[1]);
    QByteArray err;
    char buffer[4096];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, got);
    ::close(ends[0]);
    run.err = QString::fromUtf8(err);
    return run;
}

struct WriteFailure {
    const char *name;
    const char *command;
    bool diskFull; // else: the catalogue's folder may not be written
    const char *reason;
};

std::ostream &operator<<(std::ostream &os, const WriteFailure &c) { return os << c.name; }

class CatalogueNotWritten : public ::testing::TestWithParam<WriteFailure>
{
};

// A catalogue that cannot be written (a full disk, a folder the user may not write) fails
// the command with exit status 1 and one line naming it; the old file keeps its bytes and
// no temporary file is left beside it.
TEST_P(CatalogueNotWritten, ExitsOneAndKeepsTheOldFile)
{
    const WriteFailure &c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("pics")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("cat")));
    const QStringList pictures = writePictures(dir.filePath(QStringLiteral("pics")), 3);
    const QString catalogue = dir.filePath(QStringLiteral("cat/c.sbx"));
    ASSERT_EQ(runCli({QStringLiteral("add"), catalogue, pictures[0], pictures[1]}).status, 0);
    ASSERT_TRUE(QFile::remove(pictures[1])); // for optimize to drop
    const QByteArray before = readBytes(catalogue);
    const QStringList arguments = QLatin1String(c.command) == QLatin1String("add")
        ? QStringList{QStringLiteral("add"), catalogue, pictures[2]}
        : QStringList{QStringLiteral("optimize"), catalogue};

    CliRun run;
    if (c.diskFull) {
        run = runCliProcess(arguments, QString(), [] { faults::FileSizeLimit::applyInChild(0); });
    } else {
        // Everybody may read the pictures and the catalogue; nobody but root may write its folder.
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                          | QFile::ReadOther | QFile::ExeOther));
        ASSERT_TRUE(QFile::setPermissions(dir.filePath(QStringLiteral("cat")),
                                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        run = runCliUnprivileged(arguments);
        QFile::setPermissions(dir.filePath(QStringLiteral("cat")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, QStringLiteral("lumo-cli: %1: %2\n").arg(catalogue, QLatin1String(c.reason)));
    EXPECT_EQ(readBytes(catalogue), before);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("cat"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("c.sbx")});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CatalogueNotWritten,
    ::testing::Values(WriteFailure{"addDiskFull", "add", true, "cannot write catalogue"},
                      WriteFailure{"optimizeDiskFull", "optimize", true, "cannot write catalogue"},
                      WriteFailure{"addFolderNotWritable", "add", false, "permission denied"},
                      WriteFailure{"optimizeFolderNotWritable", "optimize", false, "permission denied"}),
    [](const ::testing::TestParamInfo<WriteFailure> &info) { return std::string(info.param.name); });

} // namespace
