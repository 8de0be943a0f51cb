#include "clitestsupport.h"

#include "catalogue/catalogue.h"
#include <commandline.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>

#include <gtest/gtest.h>

CliRun runCli(const QStringList &arguments)
{
    return runCli(arguments, QByteArray());
}

CliRun runCli(const QStringList &arguments, const QByteArray &input)
{
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    QByteArray bytes = input;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    CommandContext context{out, err, false, &in};
    run.status = runCommandLine(arguments, context);
    out.flush();
    err.flush();
    return run;
}

CliRun runCliProcess(const QStringList &arguments, const QString &workingDirectory,
                     const std::function<void()> &inChild, const QByteArray &input)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(QStringLiteral(LUMO_CLI_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    CliRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "lumo-cli did not finish normally";
        return run;
    }
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void writePicture(const QString &path, QColor top, QColor bottom)
{
    QImage image(96, 64, QImage::Format_RGB32);
    image.fill(top);
    if (bottom.isValid()) {
        for (int y = 32; y < 64; ++y) {
            for (int x = 0; x < 96; ++x)
                image.setPixelColor(x, y, bottom);
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(95);
    ASSERT_TRUE(writer.write(image)) << path.toStdString();
}

QStringList writePictures(const QString &folder, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/pic_%2.jpg").arg(folder).arg(i, 2, 10, QLatin1Char('0'));
        writePicture(path, QColor::fromHsv((i * 37) % 360, 200, 90 + (i * 13) % 160),
                     QColor::fromHsv((i * 71 + 120) % 360, 120, 200));
        paths << path;
    }
    return paths;
}

void writeText(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Signature greySignature()
{
    Signature cells;
    cells.fill(100);
    return cells;
}

Signature whitePatch(int first, int count)
{
    Signature cells = greySignature();
    for (int cell = first; cell < first + count; ++cell) {
        for (int channel = 0; channel < 3; ++channel)
            cells[3 * cell + channel] = 255;
    }
    return cells;
}

Signature checkValueAgainstGrey(int value)
{
    // 53 equal cells and 11 differing by `value`: the 54th smallest distance is `value`.
    Signature cells = greySignature();
    for (int cell = 0; cell < 11; ++cell)
        cells[3 * cell] = static_cast<int16_t>(100 + value);
    return cells;
}

QString pictureName(int index)
{
    return QStringLiteral("/pictures/p%1.jpg").arg(index);
}

void writeTestCatalogue(const QString &path, const std::vector<Signature> &signatures)
{
    SignatureTable table;
    for (size_t i = 0; i < signatures.size(); ++i)
        table.append(pictureName(static_cast<int>(i)), signatures[i]);
    ASSERT_FALSE(saveCatalogue(path, table).failed());
}

QStringList listedPaths(const QString &catalogue)
{
    SignatureTable table;
    EXPECT_FALSE(loadCatalogue(catalogue, table).damaged());
    QStringList paths;
    for (int i = 0; i < table.count(); ++i)
        paths << table.name(i);
    return paths;
}
