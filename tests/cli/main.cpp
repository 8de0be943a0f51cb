#include <QCoreApplication>

#include <gtest/gtest.h>

// The commands run in-process need what lumo-cli has: an application object, no display.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
