#include "search/notalike.h"
#include "notalikecases.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

namespace {

struct FileCase {
    const char *name;
    std::optional<QByteArray> planted; // the file found before loading; none: no file
    size_t pairs;                      // what it holds; a file that cannot be read holds none
    bool loaded;
};

QByteArray writtenFile(int pairs)
{
    NotAlikeDecisions decisions(QString{});
    for (int i = 0; i < pairs; ++i)
        decisions.add(caseSignature({i}), casePath(i), caseSignature({i + 1}), QStringLiteral("/写真/%1").arg(i), i);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeNotAlike(buffer, decisions.pairs());
    return buffer.data();
}

using NotAlikeFile = testing::TestWithParam<FileCase>;

// A file that cannot be read is set aside untouched and a fresh one begun; a readable one
// is read whole; a save replaces the file with what is held.
TEST_P(NotAlikeFile, ReadsOrSetsAside)
{
    const FileCase &row = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lumo/notalike"));
    if (row.planted) {
        QDir().mkpath(dir.filePath(QStringLiteral("lumo")));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(*row.planted) == row.planted->size());
    }
    NotAlikeDecisions decisions(path);
    EXPECT_EQ(decisions.load(), row.loaded);
    EXPECT_EQ(decisions.pairs().size(), row.pairs);
    QFile aside(decisions.setAside());
    EXPECT_EQ(aside.open(QIODevice::ReadOnly) ? aside.readAll() : QByteArray("none"),
              row.loaded ? QByteArray("none") : *row.planted);
    decisions.add(caseSignature({40}), casePath(40), caseSignature({41}), casePath(41), 7);
    ASSERT_TRUE(decisions.save());
    NotAlikeDecisions again(path);
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.pairs(), decisions.pairs());
}

INSTANTIATE_TEST_SUITE_P(Files, NotAlikeFile,
                         testing::Values(FileCase{"none", std::nullopt, 0, true}, FileCase{"three", writtenFile(3), 3, true},
                                         FileCase{"cut", writtenFile(3).chopped(5), 0, false},
                                         FileCase{"longer", writtenFile(3) + "x", 0, false},
                                         FileCase{"foreign", QByteArray("[Lumo]\nLike=20\n"), 0, false},
                                         FileCase{"empty", QByteArray(), 0, false}),
                         [](const testing::TestParamInfo<FileCase> &info) { return std::string(info.param.name); });

} // namespace
