#include "clitestsupport.h"
#include "notalikecases.h"

#include "catalogue/catalogue.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString blocksOf(const std::vector<std::vector<int>> &groups)
{
    QStringList blocks;
    for (const std::vector<int> &group : groups) {
        blocks << QString();
        for (int entry : group)
            blocks.last() += casePath(entry) + QLatin1Char('\n');
    }
    return blocks.join(QLatin1Char('\n'));
}

// The decisions live in a data folder of the test's own, new for each case.
struct DataHome : QTemporaryDir {
    DataHome() { qputenv("XDG_DATA_HOME", path().toLocal8Bit()); }
};

using NotAlikeSimilar = testing::TestWithParam<NotAlikeCase>;

// `similar` keeps the pairs marked not alike apart, over one catalogue or several, and
// with --all places what it places when nothing is marked.
TEST_P(NotAlikeSimilar, PrintsTheExpectedGroups)
{
    const NotAlikeCase &row = GetParam();
    DataHome home;
    NotAlikeDecisions decisions;
    markCase(row, decisions);
    ASSERT_TRUE(decisions.save());
    const SignatureTable whole = caseTable(row);
    QStringList arguments{QStringLiteral("similar"), QStringLiteral("--level=10")};
    if (row.rule.turned)
        arguments << QStringLiteral("--turned");
    if (row.rule.grey)
        arguments << QStringLiteral("--grey");
    const int split = row.secondCatalogue ? row.secondCatalogue : whole.count();
    for (const auto &[from, to] : {std::pair{0, split}, std::pair{split, whole.count()}}) {
        SignatureTable part;
        for (int i = from; i < to; ++i)
            part.append(whole.name(i), whole.cells(i));
        arguments << home.filePath(QStringLiteral("c%1.sbx").arg(from));
        ASSERT_FALSE(from < to && saveCatalogue(arguments.last(), part).failed());
        if (from == to)
            arguments.removeLast();
    }
    EXPECT_EQ(runCli(arguments).out.toStdString(), blocksOf(row.expected).toStdString());
    const CliRun all = runCli(arguments << QStringLiteral("--all"));
    QFile::remove(NotAlikeDecisions::userFile());
    EXPECT_EQ(all.out, runCli(arguments.mid(0, arguments.size() - 1)).out);
}

INSTANTIATE_TEST_SUITE_P(Cases, NotAlikeSimilar, testing::ValuesIn(notAlikeCases()));

struct ActionCase {
    std::vector<QStringList> steps; // the last one's status is checked; A to D are pictures
    int status;
    QStringList listed;             // then `notalike list`, without the times
};

using NotAlikeActions = testing::TestWithParam<ActionCase>;

// `notalike` adds, forgets by the pictures (after a rename too, or by the paths of a
// picture gone), clears, and lists the newest pair first.
TEST_P(NotAlikeActions, LeaveTheExpectedList)
{
    DataHome home;
    const QDir dir(home.path());
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < colours.size(); ++i)
        writePicture(dir.filePath(QChar('A' + i) + QStringLiteral(".jpg")), colours[i], Qt::white);
    int status = -1;
    for (QStringList step : GetParam().steps) {
        if (step.first() == QLatin1String("mv"))
            QFile::rename(dir.filePath(step[1]), dir.filePath(step[2]));
        else
            status = runCli(QStringList{QStringLiteral("notalike")} + step.replaceInStrings(QRegularExpression("^(\\w)$"), dir.filePath("\\1.jpg"))).status;
    }
    EXPECT_EQ(status, GetParam().status);
    QStringList listed;
    for (const QString &line : runCli({QStringLiteral("notalike"), QStringLiteral("list")}).out.split('\n', Qt::SkipEmptyParts))
        listed << line.section('\t', 1).remove(dir.path() + '/');
    EXPECT_EQ(listed, GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, NotAlikeActions,
    testing::Values(ActionCase{{{"add", "A", "B"}, {"add", "D", "C"}}, 0, {"D.jpg\tC.jpg", "A.jpg\tB.jpg"}},
                    ActionCase{{{"add", "A", "B"}, {"add", "C", "D"}, {"forget", "B", "A"}}, 0, {"C.jpg\tD.jpg"}},
                    ActionCase{{{"add", "A", "B"}, {"mv", "A.jpg", "E.jpg"}, {"forget", "E", "B"}}, 0, {}},
                    ActionCase{{{"add", "A", "B"}, {"mv", "A.jpg", "E.jpg"}, {"forget", "A", "B"}}, 0, {}},
                    ActionCase{{{"add", "A", "B"}, {"forget", "A", "C"}}, 1, {"A.jpg\tB.jpg"}},
                    ActionCase{{{"add", "A", "B"}, {"clear"}}, 0, {}}, ActionCase{{{"add", "A", "E"}}, 1, {}},
                    ActionCase{{{"add", "A", "B"}, {"add", "C", "C"}}, 1, {"A.jpg\tB.jpg"}},
                    ActionCase{{{"undo"}}, 2, {}}));

} // namespace
