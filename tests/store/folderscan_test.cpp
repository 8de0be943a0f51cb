#include "files/folderscan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Creates a file (and its folders) under root, the path given as raw bytes.
void touch(const QString &root, const QByteArray &relative)
{
    const QByteArray path = QFile::encodeName(root) + '/' + relative;
    for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0755); // raw bytes: the name may not be UTF-8
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ::close(fd);
}

// The files a scan of root reports, as paths relative to root; "?" marks an unreadable one.
// (The order and the filters are tested through FileFind and lumo-cli add.)
std::vector<std::string> scanned(const QString &root)
{
    std::vector<std::string> found;
    FolderScan scan(root);
    ScannedFile file;
    for (FolderScan::Step step; (step = scan.next(file)) != FolderScan::Step::End;) {
        if (step != FolderScan::Step::File)
            continue;
        QByteArray relative = file.nativePath.mid(QFile::encodeName(root).size() + 1);
        if (!file.readable)
            relative.prepend('?');
        else
            EXPECT_EQ(QFile::encodeName(file.path()), file.nativePath);
        found.push_back(relative.toStdString());
    }
    return found;
}

} // namespace

TEST(FolderScan, NamesThatAreNotUtf8AreMarkedWithTheirBytes)
{
    // A name (or a folder name) that is not UTF-8 comes as bytes marked unreadable, in its
    // place in the order; a valid name is readable and its path opens the file.
    QTemporaryDir dir;
    touch(dir.path(), "caf\xE9.jpg");        // Latin-1
    touch(dir.path(), "\x8E\xCA\x90^.jpg"); // code page 932
    touch(dir.path(), "d.jpg");
    touch(dir.path(), "\xFF/in.jpg");
    touch(dir.path(), "\xE5\x86\x99.jpg"); // UTF-8
    EXPECT_EQ(scanned(dir.path()), (std::vector<std::string>{"?caf\xE9.jpg", "d.jpg", "\xE5\x86\x99.jpg",
                                                             "?\x8E\xCA\x90^.jpg", "?\xFF/in.jpg"}));
    EXPECT_TRUE(isValidUtf8(QByteArray("/\xE5\x86\x99/a.jpg")));
    EXPECT_FALSE(isValidUtf8(QByteArray("\xC0\xAF"))); // an overlong '/'
}

TEST(FolderScan, PictureIsGoneOnlyFromAFolderThatIsThere)
{
    // Optimising drops a picture missing from its folder (or replaced by a folder), keeps
    // one whose folder is missing altogether, and drops a blank name.
    QTemporaryDir dir;
    touch(dir.path(), "here.jpg");
    touch(dir.path(), "sub/x");
    const struct {
        const char *path;
        bool gone;
    } cases[] = {{"/here.jpg", false}, {"/missing.jpg", true}, {"/sub", true},
                 {"/away/a.jpg", false}, {"/away/deeper/a.jpg", false}, {"/sub/x/a.jpg", true}};
    for (const auto &c : cases)
        EXPECT_EQ(isPictureGone(dir.path() + QLatin1String(c.path)), c.gone) << c.path;
    EXPECT_TRUE(isPictureGone(QString()));
}
