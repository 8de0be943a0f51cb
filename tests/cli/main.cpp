#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The commands run in-process need what lumo-cli has: an application object, no display.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The user's own decisions of pictures not alike never reach the tests.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
