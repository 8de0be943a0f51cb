#pragma once
// The program of a window benchmark: offscreen unless told otherwise, and the run's
// settings, shared thumbnails and caches kept in a temporary folder that lasts the run.

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

inline int runWindowBenchmarks(int argc, char **argv, QTemporaryDir *&dir)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    dir = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", dir->filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir->filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", dir->filePath(QStringLiteral("cache")).toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete dir;
    dir = nullptr;
    return 0;
}
